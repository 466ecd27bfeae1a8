#!/usr/bin/env bash
# The real window under an X server with a notification area (trayer):
# started with --autostart it stays in the notification area, a second start
# brings that window forward and ends (one process), a second --autostart
# leaves it alone, the menu entry "ログイン時に起動" writes and removes the
# autostart entry, and a first instance killed outright does not stop the
# next start.
#
#   in-netns.sh with-xvfb.sh always-on.sh PATH/TO/pontaro
set -uo pipefail

pontaro=$(realpath "${1:?usage: always-on.sh PATH/TO/pontaro}")
: "${DISPLAY:?run me under with-xvfb.sh}"
for tool in trayer xdotool xwininfo; do
    command -v $tool >/dev/null || { echo "always-on.sh: no $tool; skipped" >&2; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-always-on.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    xwininfo -root -tree | grep -iE 'pontaro|panel' >&2
    cat "$work"/*.log >&2 2>/dev/null
    exit 1
}
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
entry="$work/config/autostart/pontaro.desktop"

trayer --edge top --align right --widthtype pixel --width 64 --heighttype pixel \
    --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)

# The main window: the top-level "Pontaro" of class pontaro.
main_window() {
    xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Pontaro": ("pontaro".*/\1/p' | head -n 1
}
has_window() { [ -n "$(main_window)" ]; }
map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Map State: //p'; }
# until SECONDS CMD...: true once CMD succeeds.
until_true() {
    local end=$((SECONDS + $1))
    shift
    while [ $SECONDS -lt $end ]; do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
viewable() { [ "$(map_state "$win")" = IsViewable ]; }
# (grep -q on a captured text: on a pipe its early exit fails the writer.)
icon_docked() {
    local tree
    tree=$(xwininfo -root -tree | grep -A6 '"panel": ("panel" "trayer")')
    grep -q '"pontaro"' <<<"$tree"
}
start_first() {
    "$pontaro" "$@" >"$work/first.log" 2>&1 &
    first=$!
    pids+=("$first")
    until_true 10 has_window || fail "no window after starting pontaro $*"
    win=$(main_window)
}
# A later start must end by itself, with status 0, within 5 s.
later_start() {
    timeout 5 "$pontaro" "$@" >"$work/later.log" 2>&1
    local rc=$?
    [ $rc = 0 ] || fail "pontaro $* while one runs ended with status $rc"
    kill -0 "$first" 2>/dev/null || fail "the first pontaro ended"
}

start_first --autostart
until_true 10 icon_docked || fail "no icon in the notification area"
sleep 1.5 # its first run (nothing to find here) and first ticks
[ "$(map_state "$win")" = IsUnMapped ] || fail "--autostart put the window on screen"
echo "ok: --autostart starts in the notification area"

later_start --autostart
sleep 0.5
[ "$(map_state "$win")" = IsUnMapped ] || fail "a second --autostart showed the window"
later_start
until_true 3 viewable || fail "a second start did not bring the window back"
echo "ok: a second start shows the first window and ends; a second --autostart does not"

# The menu entry: a right click on the space beside the check boxes, then
# its mnemonic.
choose_start_at_login() {
    eval "$(xdotool getwindowgeometry --shell "$win")"
    xdotool mousemove --window "$win" $((WIDTH * 175 / 320)) $((HEIGHT * 133 / 340)) click 3
    sleep 0.5
    xdotool key s
}
choose_start_at_login
until_true 3 test -f "$entry" || fail "ticking ログイン時に起動 wrote no $entry"
grep -qxF "Exec=$pontaro --autostart" "$entry" || fail "the entry starts: $(grep Exec "$entry")"
sleep 0.5
choose_start_at_login
until_true 3 test ! -e "$entry" || fail "unticking ログイン時に起動 left $entry"
echo "ok: ログイン時に起動 writes the autostart entry and removes it"

kill -KILL "$first"
wait "$first" 2>/dev/null
until_true 3 eval "! has_window" || fail "the killed window stayed"
start_first
until_true 5 viewable || fail "after a crash, the next start showed no window"
echo "ok: a killed first start leaves nothing that stops the next"
echo "PASS: always on"
