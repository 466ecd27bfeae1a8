#!/usr/bin/env bash
# Pontaro.exe under Wine on the LAN host of a router lab: the first
# run, the one the program makes by itself after start, opens every rule of
# the profile on miniupnpd, as the router's own ruleset shows; then the
# system menu's "現在の設定を表示" reads the router's table (the router's log
# shows the requests) and "ポートを閉じる" closes the rules again.
#
#   with-lab.sh --igd v1 -- wine-lab.sh PONTARO.EXE WORKDIR
#   with-lab.sh --natpmp --no-upnp -- wine-lab.sh PONTARO.EXE WORKDIR   (over PCP)
#   with-lab.sh --igd v2 --ipv6 -- wine-lab.sh PONTARO.EXE WORKDIR      (and pinholes)
#   with-lab.sh --igd v1 -- wine-lab.sh PONTARO.EXE WORKDIR record
#       instead of closing: a start with a line gone from the rule box closes
#       its port, and "開いたポートをすべて閉じる" the rest
#   with-lab.sh --igd v1 --mape v6plus -- wine-lab.sh PONTARO.EXE WORKDIR
#   PONTARO_WINE_LOCALE=en_US.UTF-8 with-lab.sh ... (wine-env.sh): in that
#       locale, the log and the version box in its language
#
# On a MAP-E line the second rule's port lies outside the line's set: the log
# (tests/support/window-log.sh) must name the line and refuse that rule,
# unsent, and the listing show the usable blocks.
#
# On a lab with IPv6 the first run must also open a pinhole for each rule, and
# closing must remove them. Wine in the lab's namespace does IPv6: adapters with
# their IPv6 addresses, the search to ff02::c, HTTP over IPv6 from a bound
# address; when no pinhole comes, the router's log says how far the program got.
#
# Runs inside the lab's LAN namespace; the Wine prefix, its wineserver and the
# program all start here, so Wine's sockets and adapter queries see only the
# lab. The screenshot of the log lands in WORKDIR/lab-first-run.png.
set -euo pipefail

exe="$(realpath "$1")"
workdir="$(realpath -m "$2")"
record="${3:-}"
mape="${PONTARO_LAB_MAPE:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
: "${PONTARO_LAB_NAME:?run me through scripts/with-lab.sh}"

# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
source "$here/../support/window-log.sh"
trap wine_env_cleanup EXIT

mappings() { "$PONTARO_LAB_SCRIPTS/lab.sh" mappings "$PONTARO_LAB_NAME"; }
pinholes() { "$PONTARO_LAB_SCRIPTS/lab.sh" pinholes "$PONTARO_LAB_NAME"; }
ipv6="${PONTARO_LAB_IPV6:-no}"
# What of the IPv6 exchange reached the router: the search, the requests.
ipv6_trace() {
    local t
    # IPv4 peers show as [::ffff:10.77.0.2] there.
    t="$(grep -E 'from \[|Pinhole' "$PONTARO_LAB_STATE_DIR/miniupnpd.log" | grep -vF '[::ffff:' | tail -20 || true)"
    echo "${t:-(no IPv6 search or request reached the router)}"
}

fail() {
    echo "FAIL: $*" >&2
    echo "--- router mappings:" >&2
    mappings >&2 || true
    if [ "$ipv6" = yes ]; then
        echo "--- router pinholes:" >&2
        pinholes >&2 || true
        echo "--- IPv6 in the router's log:" >&2
        ipv6_trace >&2
    fi
    echo "--- program output:" >&2
    cat "$WORKDIR/program.log" >&2 || true
    [ -z "${WORKDIR:-}" ] || wine_screenshot "$WORKDIR/lab-failure.png" || true
    exit 1
}

rm -rf "$workdir"
wine_env_start "$workdir" || fail "no Wine environment"
ini="$PONTARO_APPDATA/Pontaro/Pontaro.ini"
mkdir -p "$(dirname "$ini")"

[ -z "$(mappings)" ] || fail "the router has mappings before the program ran"

# The third line is incomplete: it ends the list, so 9999 must stay closed.
# On the MAP-E line 7488 is the first port of PSID 212's first block, and
# 8080 lies outside the set.
rules='8080, 8080, TCP, Pontaro web\r\n5353, 5353, UDP, Pontaro test\r\n9999, 9999, TCP'
want_tcp="TCP 8080 $PONTARO_LAB_HOST_IP:8080" want_udp="UDP 5353 $PONTARO_LAB_HOST_IP:5353"
if [ -n "$mape" ]; then
    rules='7488, 8080, TCP, Pontaro web\r\n8080, 8081, UDP, Pontaro test\r\n9999, 9999, TCP'
    want_tcp="TCP 7488 $PONTARO_LAB_HOST_IP:8080" want_udp="$want_tcp"
fi
printf '[Setting]\r\nSetting=%s\r\nAuto=0\r\nClose=0\r\n' "$rules" >"$ini"
wine_run_program "$exe"
win="$(wine_find_window Pontaro 120 --onlyvisible)" || fail "dialog 102 did not appear"

ok=0
for _ in $(seq 1 60); do
    m="$(mappings)"
    if grep -qx "$want_tcp" <<<"$m" && grep -qx "$want_udp" <<<"$m"; then ok=1; break; fi
    sleep 0.5
done
[ "$ok" = 1 ] || fail "the first run did not open both rules"
sleep 1 # the log is painted once the run has let go of the thread
wine_screenshot "$WORKDIR/lab-first-run.png"
echo "screenshot: $WORKDIR/lab-first-run.png"
grep -q ' 9999 ' <<<"$(mappings)" && fail "the rule after an incomplete line was applied"
echo "ok: first run opened the rules:"
mappings
if [ "$ipv6" = yes ]; then
    want6="TCP 8080 $PONTARO_LAB_HOST_IP6
UDP 5353 $PONTARO_LAB_HOST_IP6"
    ok=0
    for _ in $(seq 1 20); do
        [ "$(pinholes | sort)" = "$want6" ] && { ok=1; break; }
        sleep 0.5
    done
    [ "$ok" = 1 ] || fail "the first run did not open one pinhole for each rule"
    echo "ok: and a pinhole for each:"
    pinholes
fi

if [ -n "$mape" ]; then
    wait_window_log "$win" "${mape_first_run[@]}" || fail "the first run's log"
    ! router_asked_for_8080 || fail "the router was asked for port 8080, outside the line's set"
    echo "ok: the log names the line and refuses the rule outside the set, unsent"
fi

# The system menu: Alt+Space opens it on its first item, Up wraps to the
# last (the version box); before it stand the start at login, the IPv6
# switch, the listing, closing everything recorded and, first of ours, closing.
sysmenu() {
    xdotool windowfocus --sync "$win"
    sleep 0.3
    xdotool key alt+space
    sleep 0.7
    xdotool key "$@" Return
}
# In a locale of its own (PONTARO_WINE_LOCALE, without PONTARO_LANG) the
# program speaks the language of the user's UI: its log and its version box
# (the last entry of the system menu; screenshot lab-version-box.png).
case "${PONTARO_WINE_LOCALE:-}" in
    en_*) locale_lines=("${english_first_run_8080[@]}") caption="About Pontaro" ;;
    ja_*) locale_lines=("■ 8080 -> 8080 [TCP] : ○　設定に成功しました。") caption="バージョン情報 Pontaro" ;;
    *) locale_lines=() ;;
esac
if [ ${#locale_lines[@]} -gt 0 ]; then
    wait_window_log "$win" "${locale_lines[@]}" || fail "the log is not in $PONTARO_WINE_LOCALE's language"
    sysmenu Up
    wine_version_box "$caption" "$WORKDIR/lab-version-box.png" || fail "no version box '$caption' that Escape closes"
    echo "ok: log and version box in $PONTARO_WINE_LOCALE's language (screenshot: $WORKDIR/lab-version-box.png)"
fi

# Over PCP or NAT-PMP the router has no table to read: only closing is asked.
if [ "${PONTARO_LAB_UPNP:-yes}" = yes ]; then
    router_log="$PONTARO_LAB_STATE_DIR/miniupnpd.log"
    requests() { grep -c "SOAPAction: .*#$1" "$router_log" || true; }
    [ "$(requests GetGenericPortMappingEntry)" = 0 ] || fail "the table was read before it was asked for"
    # Another program's mapping, its description in code page 932 bytes as
    # older Japanese tools sent it: the listing must show it as Japanese.
    [ -n "$mape" ] || upnpc -e "$(printf 'HTTP\x90\xda\x91\xb1\x82\xcc\x92\xca\x89\xdf')" \
        -a "$PONTARO_LAB_HOST_IP" 7100 7100 TCP >/dev/null 2>&1 || fail "upnpc could not add a mapping"
    # The opening run asked for the outside address already; the listing asks again.
    asked_before="$(requests GetExternalIPAddress)"
    sysmenu Up Up Up Up
    ok=0
    for _ in $(seq 1 40); do
        [ "$(requests GetExternalIPAddress)" -gt "$asked_before" ] && { ok=1; break; }
        sleep 0.5
    done
    [ "$ok" = 1 ] || fail "現在の設定を表示 did not read the outside address"
    if [ "${PONTARO_LAB_IGD:-v1}" = v2 ]; then
        # IGD v2: the whole table in one answer per protocol, no entry asked.
        [ "$(requests GetListOfPortMappings)" = 2 ] && [ "$(requests GetGenericPortMappingEntry)" = 0 ] ||
            fail "現在の設定を表示 asked $(requests GetListOfPortMappings) times for the list, $(requests GetGenericPortMappingEntry) for an entry"
    else
        # Each mapping, then the router's "no more entries".
        entries=$(($(mappings | grep -c .) + 1))
        [ "$(requests GetGenericPortMappingEntry)" = "$entries" ] ||
            fail "現在の設定を表示 asked $(requests GetGenericPortMappingEntry) times for a table entry"
    fi
    [ -z "$mape" ] || wait_window_log "$win" "${mape_listing[@]}" || fail "the listing's blocks"
    if [ -z "$mape" ]; then
        ok=0
        for _ in $(seq 1 20); do
            grep -qF "$PONTARO_LAB_HOST_IP:7100  HTTP接続の通過  " <<<"$(window_log "$win")" && { ok=1; break; }
            sleep 0.5
        done
        [ "$ok" = 1 ] || fail "the listing does not show the Shift_JIS description as Japanese: $(window_log "$win")"
        upnpc -d 7100 TCP >/dev/null 2>&1
    fi
    sleep 1
    wine_screenshot "$WORKDIR/lab-list.png"
    echo "ok: the table was read (screenshot: $WORKDIR/lab-list.png)"
else
    echo "ok: no UPnP on this router, so no table to read"
fi

# until_router CHECK WHAT: 20 s for the router to show it.
until_router() {
    local _
    for _ in $(seq 1 40); do
        "$1" && return 0
        sleep 0.5
    done
    fail "$2"
}
router_empty() { [ -z "$(mappings)$(pinholes)" ]; }

if [ "$record" = record ]; then
    # The rule box loses its second line while the program is closed: the
    # first run after the next start closes that port, and only that one.
    xdotool windowfocus --sync "$win"
    sleep 0.3
    xdotool key Escape
    wine_wait_program 20 || fail "the program did not end after Escape"
    sed -i 's/\\r\\n5353, 5353, UDP, Pontaro test//' "$ini"
    wine_run_program "$exe"
    win="$(wine_find_window Pontaro 120 --onlyvisible)" || fail "dialog 102 did not appear again"
    only_tcp() { [ "$(mappings)" = "$want_tcp" ]; }
    until_router only_tcp "the next start did not close the line taken out of the box"
    echo "ok: the next start closed the line taken out of the box"
    # 開いたポートをすべて閉じる, after ポートを閉じる.
    sysmenu Up Up Up Up Up
    until_router router_empty "開いたポートをすべて閉じる left mappings"
    echo "ok: closed everything recorded"
else
    sysmenu Up Up Up Up Up Up
    until_router router_empty "ポートを閉じる did not close both rules"
    echo "ok: closed both rules"
fi

xdotool windowfocus --sync "$win"
sleep 0.3
xdotool key Escape
wine_wait_program 20 || fail "the program did not end after Escape"
echo "ok: all"
