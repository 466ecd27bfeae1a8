#!/usr/bin/env bash
# Runs CMD ARGS... in a network namespace made for it alone: loopback up, and
# an nftables rule that drops every SYN to 127.0.0.1 port $PONTARO_STREAM_DROP_PORT,
# so that a connect there hangs. Nothing else exists in it: no other
# interface, no route out. The namespace has no name and ends with CMD.
# Exit 77 (skipped) when namespaces cannot be made here.
set -uo pipefail
[ $# -gt 0 ] || { echo "usage: in-own-netns.sh CMD [ARGS...]" >&2; exit 2; }
if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null || ! command -v nft >/dev/null; then
    echo "in-own-netns.sh: needs root, unshare and nft; skipped" >&2
    exit 77
fi
if ! unshare --net -- true 2>/dev/null; then
    echo "in-own-netns.sh: cannot make a network namespace here; skipped" >&2
    exit 77
fi
export PONTARO_STREAM_DROP_PORT=47
exec unshare --net -- bash -c '
set -e
ip link set lo up
nft -f - <<RULES
table inet pontaro_stream {
    chain input {
        type filter hook input priority 0; policy accept;
        tcp dport $PONTARO_STREAM_DROP_PORT tcp flags & (syn | ack) == syn drop
    }
}
RULES
export PONTARO_STREAM_NETNS=1
exec "$@"
' in-own-netns "$@"
