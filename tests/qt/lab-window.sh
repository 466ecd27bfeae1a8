#!/usr/bin/env bash
# Runs on the LAN host of a router lab (scripts/with-lab.sh): starts the real
# window with a profile of two rules and waits until miniupnpd on the router
# forwards both ports to this host. The window's own start-up run does it; no
# button is pressed. Then a window started again with one of the lines gone
# closes that line's port at its start-up run (the record of what Pontaro
# opened, beside the profile).
#
# On a lab with IPv6 (with-lab.sh --ipv6: PONTARO_LAB_IPV6=yes) the same run
# must also open a pinhole for each rule's internal port, and the context
# menu's "ポートを閉じる" (a right click on the window, so under an X server:
# with-xvfb.sh) must take mappings and pinholes away again.
#
# On a MAP-E line (with-lab.sh --mape v6plus) the second rule's port lies
# outside the line's set: the log (tests/support/window-log.sh) must name the
# line and refuse that rule, unsent, and "現在の設定を表示" list the blocks.
#
# The window speaks Japanese (PONTARO_LANG=ja) unless PONTARO_LANG says
# otherwise; in English (PONTARO_LANG=en, under an X server) its log must be
# English, and the window after the first run lands in OUTDIR/lab-window-en.png.
#
#   with-lab.sh -- lab-window.sh PATH/TO/pontaro
#   with-lab.sh --ipv6 -- with-xvfb.sh lab-window.sh PATH/TO/pontaro [OUTDIR]
#   with-lab.sh --mape v6plus -- with-xvfb.sh lab-window.sh PATH/TO/pontaro
set -uo pipefail

pontaro=${1:?usage: lab-window.sh PATH/TO/pontaro [OUTDIR]}
outdir=${2:-.}
export PONTARO_LANG=${PONTARO_LANG:-ja}
: "${PONTARO_LAB_NAME:?not inside a router lab (run through with-lab.sh)}"
lab="$PONTARO_LAB_SCRIPTS/lab.sh"
host="$PONTARO_LAB_HOST_IP"
ipv6="${PONTARO_LAB_IPV6:-no}"
mape="${PONTARO_LAB_MAPE:-}"
platform=offscreen
if [ "$ipv6" = yes ] || [ -n "$mape" ] || [ "$PONTARO_LANG" = en ]; then
    : "${DISPLAY:?closing takes a right click: run me under with-xvfb.sh}"
    command -v xdotool >/dev/null || { echo "lab-window.sh: no xdotool; skipped" >&2; exit 77; }
    platform=xcb
fi
rule_a="18080, 8080, TCP, ポンタロ試験 A" rule_b="18081 ,8081, UDP, ポンタロ試験 B"
want=("TCP 18080 $host:8080" "UDP 18081 $host:8081")
if [ -n "$mape" ] || [ "$PONTARO_LANG" = en ]; then
    command -v xclip >/dev/null || { echo "lab-window.sh: no xclip; skipped" >&2; exit 77; }
    source "$(dirname "$0")/../support/window-log.sh"
fi
if [ -n "$mape" ]; then
    # 7488 is the first port of PSID 212's set, 8080 lies outside it.
    rule_a="7488, 8080, TCP, ポンタロ試験 A" rule_b="8080 ,8081, UDP, ポンタロ試験 B"
    want=("TCP 7488 $host:8080")
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-labwin.XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/config/pontaro"
printf '[Setting]\nSetting=%s\\r\\n%s\nAuto=0\nClose=0\n' "$rule_a" "$rule_b" \
    >"$work/config/pontaro/pontaro.ini"

XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=$platform \
    "$pontaro" >"$work/pontaro.log" 2>&1 &
pid=$!

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

if [ "$ipv6" = no ] && [ -z "$mape" ]; then
    # The rule box loses its second line while the window is closed: the
    # start-up run of the next window closes that port, and only that one.
    kill "$pid"
    wait "$pid" 2>/dev/null
    # (Edited in place: the profile keeps what the window wrote, PCP's secret too.)
    sed -i 's/^Setting=.*/Setting=18080, 8080, TCP, ポンタロ試験 A/' "$work/config/pontaro/pontaro.ini"
    XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=$platform \
        "$pontaro" >"$work/pontaro.log" 2>&1 &
    pid=$!
    swept() { grep -qxF "TCP 18080 $host:8080" <<<"$mappings" && ! grep -q " 18081 " <<<"$mappings"; }
    wait_for swept "the next window has not closed the line taken out of its box"
    echo "PASS: the next window closed the line taken out of its box:"
    echo "$mappings"
    exit 0
fi

win=$(xdotool search --sync --onlyvisible --name '^Pontaro$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
# menu N: a right click on the empty space between the row of check boxes
# and buttons and the log (the English check boxes reach almost to "Open"),
# then the context menu's Nth entry.
menu() {
    xdotool mousemove --window "$win" $((WIDTH * 175 / 320)) $((HEIGHT * 147 / 340)) click 3
    sleep 0.5
    xdotool key $(for _ in $(seq 1 "$1"); do printf 'Down '; done) Return
}

if [ -n "$mape" ]; then
    wait_window_log "$win" "${mape_first_run[@]}" || exit 1
    ! router_asked_for_8080 || { echo "FAIL: the router was asked for 8080" >&2; exit 1; }
    menu 3  # 現在の設定を表示, after the two closing entries
    wait_window_log "$win" "${mape_listing[@]}" || exit 1
    echo "PASS: the window named the line, refused the rule outside its set unsent, listed the set"
    exit 0
fi

if [ "$PONTARO_LANG" = en ]; then
    wait_window_log "$win" "${english_first_run[@]}" || exit 1
    import -window "$win" "$outdir/lab-window-en.png" || exit 1
    echo "PASS: the log is English (screenshot: $outdir/lab-window-en.png)"
fi

menu 1
wait_for closed "ポートを閉じる has not closed every rule"
echo "PASS: ポートを閉じる closed every rule"
