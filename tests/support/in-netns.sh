#!/bin/sh
# Runs a command in a network namespace of its own in which only loopback is
# up, so that nothing a window test or benchmark sends can leave the machine,
# whatever the program's search targets are. Needs root (or user namespaces);
# exits 77 (a skipped test to CTest) where no namespace can be made.
#
#   in-netns.sh CMD ARGS...
if ! unshare --net true 2>/dev/null; then
    echo "in-netns.sh: cannot create a network namespace here; skipped" >&2
    exit 77
fi
exec unshare --net sh -c 'ip link set lo up && exec "$@"' in-netns "$@"
