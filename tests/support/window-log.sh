# Sourced by the window lab tests (the Qt window under Xvfb, Pontaro.exe
# under Wine): the log pane's text as the window shows it, copied with
# Ctrl+A, Ctrl+C after a click into the pane (the window's lower quarter)
# and read from the X clipboard (xclip).
#
#   window_log WINDOW_ID                the log, LF line ends
#   wait_window_log WINDOW_ID LINE...   30 s for every LINE to be one of its
#                                       lines; 1 when not (the log on stderr)

window_log() {
    local WIDTH HEIGHT X Y SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove --window "$1" $((WIDTH / 2)) $((HEIGHT * 3 / 4)) click 1
    xdotool key ctrl+a ctrl+c
    sleep 0.2
    xclip -o -selection clipboard 2>/dev/null | tr -d '\r'
}

wait_window_log() {
    local win="$1" end=$((SECONDS + 30)) text l missing
    shift
    while [ "$SECONDS" -lt "$end" ]; do
        text="$(window_log "$win")"
        missing=""
        for l in "$@"; do grep -qxF -- "$l" <<<"$text" || missing="$l"; done
        [ -z "$missing" ] && return 0
        sleep 0.5
    done
    echo "the log lacks '$missing'; it holds:" >&2
    echo "$text" >&2
    return 1
}

# On the lab's v6plus line (with-lab.sh --mape v6plus) a window's first run
# with the rule "8080, 8081, UDP, ..." must name the line and refuse that
# rule; the listing must show the usable blocks (their first row here); and
# the router's log must show no request for port 8080.
mape_first_run=("この回線は MAP-E (v6プラス) です。IPv4 106.72.63.108 で使えるポートは 240 個です。"
    "■ 8080 -> 8081 [UDP] : ×　設定に失敗しました。"
    "  理由: この回線 (MAP-E、v6プラス) ではポート 8080 にインターネットから届きません。近くで使えるのは 7488～7503 と 11584～11599 です (ほかのポートは回線を共有する別の契約者に届きます)。")
mape_listing=("- 使えるポート (16個ずつ15組):" "  7488～7503, 11584～11599, 15680～15695, 19776～19791, 23872～23887")
router_asked_for_8080() { grep -q "AddPortMapping: ext port 8080 " "$PONTARO_LAB_STATE_DIR/miniupnpd.log"; }

# A window's first run in English (PONTARO_LANG=en) against the lab's UPnP
# router, with the rule "18080, 8080, TCP, ...".
english_first_run=("◆UPnP router found" "■ 18080 -> 8080 [TCP] : ○ Opened.")
# The same for Pontaro.exe's rule "8080, 8080, TCP, ..." (tests/win32/wine-lab.sh).
english_first_run_8080=("◆UPnP router found" "■ 8080 -> 8080 [TCP] : ○ Opened.")
