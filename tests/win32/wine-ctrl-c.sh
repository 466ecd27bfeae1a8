#!/usr/bin/env bash
# pontaro-cli.exe --watch under Wine on the LAN host of a router lab without
# a UPnP daemon, so that each run searches for its full 3 s: Ctrl+C in the
# middle of a periodic run lets that run finish and ends the program with
# status 0. Wine turns SIGINT into the console's CTRL_C_EVENT, as a terminal
# does when Ctrl+C is pressed.
#
#   with-lab.sh --no-upnpd -- wine-ctrl-c.sh WINE64 PONTARO-CLI.EXE WORKDIR
set -uo pipefail

wine="$1"
exe="$(realpath "$2")"
workdir="$(realpath -m "$3")"
: "${PONTARO_LAB_NAME:?run me through scripts/with-lab.sh}"
source "$(dirname "${BASH_SOURCE[0]}")/wine-console.sh"
pid=
cleanup() {
    [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null
    wine_console_cleanup
}
trap cleanup EXIT
wine_console_start "$wine" "$workdir" || exit 1

out="$workdir/out.txt"
"$wine" "$exe" --watch --interval 1 "8080, 8080, TCP, ctrl-c" >"$out" 2>"$workdir/err.txt" &
pid=$!
for _ in $(seq 1 300); do
    grep -q '自動実行します。' "$out" && break
    sleep 0.1
done
grep -q '自動実行します。' "$out" || { echo "FAIL: no periodic run began" >&2; cat "$out" "$workdir/err.txt" >&2; exit 1; }
sleep 1 # inside the periodic run's 3 s search
kill -INT "$pid"
start=$(date +%s%N)
for _ in $(seq 1 150); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: still running 15 s after Ctrl+C" >&2
    exit 1
fi
wait "$pid"
rc=$?
pid=
took=$((($(date +%s%N) - start) / 1000000))
failures=0
[ "$rc" = 0 ] || { echo "FAIL: exit status $rc after Ctrl+C" >&2; failures=1; }
# The run in progress ended with its own closing text after the time stamp
# (the console program writes CR LF).
last="$(tr -d '\r' <"$out" | grep -v '^$' | tail -2)"
if ! grep -q '自動実行します。' <<<"$(head -1 <<<"$last")" ||
    [ "$(tail -1 <<<"$last")" != 'UPnP対応ルータが見つかりませんでした。' ]; then
    echo "FAIL: the run in progress did not finish:" >&2
    cat "$out" >&2
    failures=1
fi
echo "ended $took ms after Ctrl+C with status $rc"
[ "$failures" = 0 ] && echo "ok: Ctrl+C ends --watch after the run in progress"
exit $failures
