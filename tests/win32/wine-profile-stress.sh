#!/usr/bin/env bash
# pontaro_profile_stress.exe under Wine: two processes save one profile 1000
# times each at once; after every save the file holds one save's complete
# content (MoveFileEx over a file that the other process may be reading or
# replacing at that moment).
#
#   wine-profile-stress.sh WINE64 PONTARO_PROFILE_STRESS.EXE WINEPREFIX
set -uo pipefail
wine="$1"
exe="$2"
export WINEPREFIX="$3" WINEDEBUG=-all WINEARCH=win64
server="$(dirname "$wine")/wineserver"
[ -x "$server" ] || server=wineserver
work="$(mktemp -d "${TMPDIR:-/tmp}/pontaro-wprofile.XXXXXX")"
trap '"$server" -k >/dev/null 2>&1; rm -rf -- "$work"' EXIT
"$server" -k >/dev/null 2>&1
"$server" -p >/dev/null 2>&1
[ -d "$WINEPREFIX/drive_c" ] || timeout 180 "$wine" wineboot -i >/dev/null 2>&1
target="Z:$(tr / '\\' <<<"$work")\\Pontaro.ini"
"$wine" "$exe" write "$target" A 1000 &
a=$!
"$wine" "$exe" write "$target" B 1000 &
b=$!
failures=0
wait $a || { echo "FAIL: writer A" >&2; failures=$((failures + 1)); }
wait $b || { echo "FAIL: writer B" >&2; failures=$((failures + 1)); }
left="$(ls -A "$work" | grep -vx Pontaro.ini)"
[ -z "$left" ] || { echo "FAIL: left beside the profile: $left" >&2; failures=$((failures + 1)); }
echo "wine-profile-stress: $failures failures"
[ "$failures" = 0 ]
