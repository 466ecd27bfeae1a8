#!/usr/bin/env bash
# The profile under stress (needs root for the small file system):
#   two processes save the same profile 1000 times each at once, and a save
#   on a full disk keeps the previous profile.
#
#   profile-stress.sh PATH/TO/pontaro_profile_stress
set -uo pipefail
tool="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/pontaro-profile.XXXXXX")"
trap 'rm -rf -- "$work"' EXIT
failures=0

"$tool" write "$work/pontaro.ini" A 1000 &
a=$!
"$tool" write "$work/pontaro.ini" B 1000 &
b=$!
wait $a || { echo "FAIL: writer A" >&2; failures=$((failures + 1)); }
wait $b || { echo "FAIL: writer B" >&2; failures=$((failures + 1)); }
left="$(ls -A "$work" | grep -vx pontaro.ini | grep -v "pontaro.ini.check-")"
[ -z "$left" ] || { echo "FAIL: left beside the profile: $left" >&2; failures=$((failures + 1)); }
echo "two writers, 1000 saves each: done"

if ! unshare --mount true 2>/dev/null; then
    echo "profile-stress.sh: no mount namespace here; full disk skipped" >&2
    exit $((failures == 0 ? 77 : 1))
fi
# A 64 KiB tmpfs in a mount namespace of its own, filled up after the first save.
unshare --mount --propagation private bash -c '
    set -e
    mkdir -p "$2/full"
    mount -t tmpfs -o size=64k pontaro-full "$2/full"
    printf "[Setting]\nSetting=80, 80, TCP, before\nAuto=1\n" >"$2/full/pontaro.ini"
    cat /dev/zero >"$2/full/filler" 2>/dev/null || true
    "$1" full "$2/full/pontaro.ini"
' full-disk "$tool" "$work" || { echo "FAIL: full disk" >&2; failures=$((failures + 1)); }
echo "full disk: done"
echo "profile-stress: $failures failures"
[ "$failures" = 0 ]
