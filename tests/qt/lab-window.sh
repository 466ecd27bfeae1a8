#!/usr/bin/env bash
# Runs on the LAN host of a router lab (scripts/with-lab.sh): starts the real
# window with a profile of two rules and waits until miniupnpd on the router
# forwards both ports to this host. The window's own start-up run does it; no
# button is pressed.
#
#   with-lab.sh -- lab-window.sh PATH/TO/pontaro
set -uo pipefail

pontaro=${1:?usage: lab-window.sh PATH/TO/pontaro}
: "${PONTARO_LAB_NAME:?not inside a router lab (run through with-lab.sh)}"
lab="$PONTARO_LAB_SCRIPTS/lab.sh"
host="$PONTARO_LAB_HOST_IP"

work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-labwin.XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/config/pontaro"
printf '[Setting]\nSetting=%s\\r\\n%s\nAuto=0\nClose=0\n' \
    "18080, 8080, TCP, ポンタロ試験 A" "18081 ,8081, UDP, ポンタロ試験 B" \
    >"$work/config/pontaro/pontaro.ini"

XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
    "$pontaro" >"$work/pontaro.log" 2>&1 &
pid=$!

want=("TCP 18080 $host:8080" "UDP 18081 $host:8081")
for _ in $(seq 1 150); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: pontaro ended by itself:" >&2
        cat "$work/pontaro.log" >&2
        exit 1
    fi
    mappings=$("$lab" mappings "$PONTARO_LAB_NAME" 2>/dev/null)
    missing=0
    for w in "${want[@]}"; do
        grep -qxF "$w" <<<"$mappings" || missing=1
    done
    if [ $missing = 0 ]; then
        echo "PASS: the window opened both ports:"
        echo "$mappings"
        exit 0
    fi
    sleep 0.2
done
echo "FAIL: after 30 s the router forwards only:" >&2
echo "${mappings:-(nothing)}" >&2
echo "pontaro's output:" >&2
cat "$work/pontaro.log" >&2
exit 1
