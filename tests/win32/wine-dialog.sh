#!/usr/bin/env bash
# Pontaro.exe under Wine on a virtual X display: the main dialog
# comes up with the profile's rules and options, the version box is reachable
# from the system menu, "IPv6でも開く" there is saved when chosen, the options
# are written when the dialog closes, and "自動的に最小化" hides the window at start.
#
#   wine-dialog.sh PONTARO.EXE WORKDIR
#
# Screenshots land in WORKDIR (first-run.png, version-box.png, system-menu.png).
# The program's first run searches for a gateway, so everything runs in a
# network namespace of its own with only loopback: no packet reaches a real
# network. Needs root for that; exits 77 (skipped) without it.
set -euo pipefail

exe="$(realpath "$1")"
workdir="$(realpath -m "$2")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [ -z "${PONTARO_WINE_NETNS:-}" ]; then
    if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null; then
        echo "wine-dialog: needs root to run in a network namespace of its own; skipped"
        exit 77
    fi
    exec unshare --net env PONTARO_WINE_NETNS=1 bash "${BASH_SOURCE[0]}" "$exe" "$workdir"
fi
ip link set lo up

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
trap wine_env_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [ -z "${ini:-}" ] || { echo "--- profile:" >&2; cat "$ini" >&2 || true; }
    echo "--- program output:" >&2
    cat "$WORKDIR/program.log" >&2 || true
    wine_screenshot "$WORKDIR/failure.png" 2>/dev/null || true
    xdotool search --name '.' getwindowname %@ >&2 2>/dev/null || true
    exit 1
}

# The value of KEY in the profile (the last one, CR stripped).
ini_value() { sed -n "s/^$1=//p" "$ini" | tr -d '\r' | tail -n 1; }

# Ends the program as the user would and waits for it.
close_with_escape() {
    xdotool windowfocus --sync "$1" && sleep 0.3 && xdotool key Escape
    wine_wait_program 20 || fail "the program did not end after Escape"
}

rm -rf "$workdir"
wine_env_start "$workdir" || fail "no Wine environment"
ini="$PONTARO_APPDATA/Pontaro/Pontaro.ini"

# --- First start without a profile: empty box, both options off, and all
# three keys there after a run and a close.
wine_run_program "$exe"
win="$(wine_find_window Pontaro 120 --onlyvisible)" || fail "dialog 102 did not appear"
sleep 4 # the first run: a search that finds nothing
close_with_escape "$win"
[ -f "$ini" ] || fail "no profile written at $ini"
[ "$(ini_value Auto)" = 0 ] || fail "Auto after a first start: '$(ini_value Auto)'"
[ "$(ini_value Close)" = 0 ] || fail "Close after a first start: '$(ini_value Close)'"
[ "$(ini_value OpenIPv6)" = 1 ] || fail "OpenIPv6 after a first start: '$(ini_value OpenIPv6)'"
grep -q '^Setting=\r\?$' "$ini" || fail "the run did not store the empty rule text"
echo "ok: first start without a profile"

# --- A profile with two rules and "定期的に更新" on.
rules='80, 80, TCP, HTTP接続の通過\r\n21, 21, TCP, FTP接続の通過'
printf '[Setting]\r\nSetting=%s\r\nAuto=1\r\nClose=0\r\n' "$rules" >"$ini"
wine_run_program "$exe"
win="$(wine_find_window Pontaro 120 --onlyvisible)" || fail "dialog 102 did not appear"
sleep 4
wine_screenshot "$WORKDIR/first-run.png"
echo "screenshot: $WORKDIR/first-run.png"
# The first run stores the rule box: the same text means the box showed it.
[ "$(ini_value Setting)" = "$rules" ] || fail "rule text after the first run: '$(ini_value Setting)'"

# The version box, through the system menu: Alt+Space opens it on its first
# item, Up wraps to the last, which is ours (Wine puts its own "About Wine"
# with the same mnemonic before it).
xdotool windowfocus --sync "$win"
sleep 0.3
xdotool key alt+space
sleep 0.7
xdotool key Up Return
about="$(wine_find_window 'バージョン情報 Pontaro' 10 --onlyvisible)" || fail "the version box did not open"
sleep 0.5
wine_screenshot "$WORKDIR/version-box.png"
xdotool windowfocus --sync "$about"
sleep 0.3
xdotool key Escape
for _ in $(seq 1 25); do
    xdotool search --onlyvisible --name '^バージョン情報 Pontaro$' >/dev/null 2>&1 || break
    sleep 0.2
done
xdotool search --onlyvisible --name '^バージョン情報 Pontaro$' >/dev/null 2>&1 &&
    fail "Escape did not close the version box"
echo "ok: version box"

# "IPv6でも開く", the entry above the version box: choosing it turns the
# switch off, saved at once.
xdotool windowfocus --sync "$win"
sleep 0.3
xdotool key alt+space
sleep 0.7
xdotool key Up Up
sleep 0.5
wine_screenshot "$WORKDIR/system-menu.png"
xdotool key Return
sleep 0.5
[ "$(ini_value OpenIPv6)" = 0 ] || fail "OpenIPv6 after choosing the menu entry: '$(ini_value OpenIPv6)'"
echo "ok: IPv6 switch from the system menu"

# Tick "自動的に最小化": the focus starts on "Open"; tab order is Open, 終了,
# the log, the rule box, 定期的に更新, 自動的に最小化.
xdotool windowfocus --sync "$win"
sleep 0.3
xdotool key Tab Tab Tab Tab Tab space
sleep 0.3
close_with_escape "$win"
[ "$(ini_value Auto)" = 1 ] || fail "Auto after closing: '$(ini_value Auto)'"
[ "$(ini_value Close)" = 1 ] || fail "Close after ticking it: '$(ini_value Close)'"
[ "$(ini_value Setting)" = "$rules" ] || fail "rule text changed on closing"
[ "$(ini_value OpenIPv6)" = 0 ] || fail "OpenIPv6 changed on closing: '$(ini_value OpenIPv6)'"
echo "ok: profile read, options written on closing"

# --- "自動的に最小化" on: the window hides itself at start, the icon in the
# notification area (Wine's stand-alone tray window here) brings it back.
# Without a window manager Wine leaves the X window mapped while the dialog is
# hidden, so whether the dialog is on screen is judged by its pixels: the root
# window is black, the dialog is not.
wine_run_program "$exe"
win="$(wine_find_window Pontaro 120)" || fail "dialog 102 was not created"
sleep 3
dialog_on_screen() {
    local x y w h
    eval "$(xdotool getwindowgeometry --shell "$win" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    x=$((X + WIDTH / 2)) y=$((Y + HEIGHT * 3 / 4))
    wine_screenshot "$WORKDIR/probe.png"
    [ "$(convert "$WORKDIR/probe.png" -format "%[pixel:p{$x,$y}]" info:)" != "black" ] &&
        [ "$(convert "$WORKDIR/probe.png" -format "%[pixel:p{$x,$y}]" info:)" != "srgb(0,0,0)" ]
}
# The program minimises the dialog and hides it when it is minimised; on a
# busy machine the minimised dialog, a strip at the top left, is still seen
# for a moment, so wait for it to go.
hidden=0
for _ in $(seq 1 30); do
    dialog_on_screen || { hidden=1; break; }
    sleep 0.5
done
if [ "$hidden" = 0 ]; then
    cp "$WORKDIR/probe.png" "$WORKDIR/auto-minimize.png"
    fail "the dialog is on screen with Close=1 (see auto-minimize.png)"
fi
tray="$(wine_find_window 'Wine System Tray' 10 --onlyvisible)" || fail "no notification-area icon"
eval "$(xdotool getwindowgeometry --shell "$tray" | grep -E '^(X|Y)=')"
xdotool mousemove $((X + 10)) $((Y + 10)) click 1
shown=0
for _ in $(seq 1 20); do
    sleep 0.3
    dialog_on_screen && { shown=1; break; }
done
cp "$WORKDIR/probe.png" "$WORKDIR/tray-click.png"
[ "$shown" = 1 ] || fail "a click on the notification-area icon did not bring the dialog back"
echo "ok: automatic minimising at start, back by the notification-area icon"

close_with_escape "$win"
[ "$(ini_value Close)" = 1 ] || fail "Close after a hidden start: '$(ini_value Close)'"
echo "ok: all"
