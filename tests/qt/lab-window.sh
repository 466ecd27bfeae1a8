#!/usr/bin/env bash
# Runs on the LAN host of a router lab (scripts/with-lab.sh): starts the real
# window with a profile of two rules and waits until miniupnpd on the router
# forwards both ports to this host. The window's own start-up run does it; no
# button is pressed.
#
# On a lab with IPv6 (with-lab.sh --ipv6: PONTARO_LAB_IPV6=yes) the same run
# must also open a pinhole for each rule's internal port, and the context
# menu's "ポートを閉じる" (a right click on the window, so under an X server:
# with-xvfb.sh) must take mappings and pinholes away again.
#
#   with-lab.sh -- lab-window.sh PATH/TO/pontaro
#   with-lab.sh --ipv6 -- with-xvfb.sh lab-window.sh PATH/TO/pontaro
set -uo pipefail

pontaro=${1:?usage: lab-window.sh PATH/TO/pontaro}
: "${PONTARO_LAB_NAME:?not inside a router lab (run through with-lab.sh)}"
lab="$PONTARO_LAB_SCRIPTS/lab.sh"
host="$PONTARO_LAB_HOST_IP"
ipv6="${PONTARO_LAB_IPV6:-no}"
platform=offscreen
if [ "$ipv6" = yes ]; then
    : "${DISPLAY:?closing takes a right click: run me under with-xvfb.sh}"
    command -v xdotool >/dev/null || { echo "lab-window.sh: no xdotool; skipped" >&2; exit 77; }
    platform=xcb
fi

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

XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=$platform \
    "$pontaro" >"$work/pontaro.log" 2>&1 &
pid=$!

want=("TCP 18080 $host:8080" "UDP 18081 $host:8081")
want6=()
[ "$ipv6" = no ] || want6=("TCP 8080 $PONTARO_LAB_HOST_IP6" "UDP 8081 $PONTARO_LAB_HOST_IP6")
router() {
    mappings=$("$lab" mappings "$PONTARO_LAB_NAME" 2>/dev/null)
    pinholes=$("$lab" pinholes "$PONTARO_LAB_NAME" 2>/dev/null)
}
opened() {
    local w
    for w in "${want[@]}"; do grep -qxF "$w" <<<"$mappings" || return 1; done
    for w in "${want6[@]}"; do grep -qxF "$w" <<<"$pinholes" || return 1; done
}
closed() { [ -z "$mappings$pinholes" ]; }
# wait_for CHECK WHAT: 30 s for the router to show it.
wait_for() {
    local end=$((SECONDS + 30))
    while [ "$SECONDS" -lt "$end" ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "FAIL: pontaro ended by itself:" >&2
            cat "$work/pontaro.log" >&2
            exit 1
        fi
        router
        "$1" && return 0
        sleep 0.2
    done
    echo "FAIL: after 30 s $2; the router forwards:" >&2
    echo "${mappings:-(nothing)}" >&2
    echo "and has the pinholes:" >&2
    echo "${pinholes:-(none)}" >&2
    echo "pontaro's output:" >&2
    cat "$work/pontaro.log" >&2
    exit 1
}

wait_for opened "the window has not opened every rule"
echo "PASS: the window opened every rule:"
echo "$mappings"
[ -z "$pinholes" ] || echo "$pinholes"
[ "$ipv6" = yes ] || exit 0

# A right click on the empty space between the check boxes and the buttons,
# then the menu's first entry.
win=$(xdotool search --sync --onlyvisible --name '^Pontaro$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH * 175 / 320)) $((HEIGHT * 133 / 340)) click 3
sleep 0.5
xdotool key Down Return
wait_for closed "ポートを閉じる has not closed every rule"
echo "PASS: ポートを閉じる closed every rule"
