#!/usr/bin/env bash
# Checks pontaro-cli from the LAN host of a router lab (run by with-lab.sh).
#
#   cli-lab-test.sh router PONTARO_CLI      the lab runs miniupnpd
#   cli-lab-test.sh no-router PONTARO_CLI   the lab has no UPnP daemon
#   cli-lab-test.sh mappings PONTARO_CLI    --list and --close against miniupnpd
#   cli-lab-test.sh pcp PONTARO_CLI         miniupnpd with UPnP off, PCP/NAT-PMP on
#   cli-lab-test.sh upnp-first PONTARO_CLI  miniupnpd speaking all three
#   cli-lab-test.sh new-address PONTARO_CLI [secure]
#                                           --watch while the LAN host gets another
#                                           address (secure: miniupnpd in secure mode)
#   cli-lab-test.sh ipv6 PONTARO_CLI        IPv6 pinholes (lab.sh up --ipv6)
#   cli-lab-test.sh listeners PONTARO_CLI   who listens behind the opened ports
#   cli-lab-test.sh mape PONTARO_CLI        a MAP-E line (lab.sh up --mape v6plus|fixed,
#                                           --port-set-only)
#   cli-lab-test.sh english PONTARO_CLI     the language from PONTARO_LANG, --lang, the locale
set -uo pipefail

mode="$1"
cli="$2"
: "${PONTARO_LAB_NAME:?run me through scripts/with-lab.sh}"

work="$(mktemp -d "${TMPDIR:-/tmp}/pontaro-cli-test.XXXXXX")"
trap 'rm -rf -- "$work"' EXIT
# The profile the program reads lives here, never in the real home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME"

failures=0
checks=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { checks=$((checks + 1)); }

# run [--stdin FILE] ARGS...: runs the program (60 s at most), leaving
# $out, $err and $rc.
run() {
    local input=/dev/null
    if [ "${1:-}" = --stdin ]; then
        input="$2"
        shift 2
    fi
    timeout 60 "$cli" "$@" <"$input" >"$work/out" 2>"$work/err"
    rc=$?
    out="$(cat "$work/out"; echo .)"
    out="${out%.}"
    err="$(cat "$work/err")"
}

expect_rc() {
    if [ "$rc" = "$1" ]; then pass; else fail "$2: exit $rc, expected $1; stderr: $err"; fi
}
expect_out() {
    if [ "$out" = "$1" ]; then
        pass
    else
        fail "$2: output differs"
        diff <(printf '%s' "$1") <(printf '%s' "$out") | head -20 >&2
    fi
}
expect_err_has() {
    if grep -qF -- "$1" <<<"$err"; then pass; else fail "$2: stderr lacks '$1': $err"; fi
}

mappings() { "$PONTARO_LAB_SCRIPTS/lab.sh" mappings "$PONTARO_LAB_NAME"; }
expect_mapping() {
    if grep -qxF -- "$1" <<<"$(mappings)"; then pass; else fail "$2: no mapping '$1' on the router: $(mappings | tr '\n' ';')"; fi
}
expect_no_mapping_to() {
    if grep -q -- " $1\$" <<<"$(mappings)"; then fail "$2: a mapping to $1 is left"; else pass; fi
}
expect_no_mapping() {
    if grep -q -- " $1 " <<<"$(mappings)"; then fail "$2: external port $1 is mapped"; else pass; fi
}

host="$PONTARO_LAB_HOST_IP"
found="◆UPnP対応ルータが見つかりました
- Address : $PONTARO_LAB_ROUTER_IP
- Control URL : http://$PONTARO_LAB_ROUTER_IP:$PONTARO_LAB_HTTP_PORT/rootDesc.xml
"
ok="○　設定に成功しました。"
ng="×　設定に失敗しました。"
ext="- External IP : $PONTARO_LAB_EXT_IP"
# The note under an opened rule that nothing on this host listens behind.
nobody() {
    printf '  ※ このPCではポート %s [%s] を待ち受けているプログラムがありません。サーバを起動すると外から届きます。' "$1" "$2"
}
notfound="UPnP対応ルータが見つかりませんでした。

"

usage_errors() {
    run --bogus
    expect_rc 64 "unknown option"
    expect_err_has "不明なオプション '--bogus'" "unknown option"
    run -f "$work/none.txt"
    expect_rc 64 "missing file"
    expect_err_has "$work/none.txt" "missing file"
    run -f "$work" 
    expect_rc 64 "directory as file"
    head -c 4096 /bin/ls >"$work/binary"
    run -f "$work/binary"
    expect_rc 64 "binary file"
    expect_err_has "NUL" "binary file"
    echo "80, 80, TCP, x" >"$work/one.txt"
    run -f "$work/one.txt" "81, 81, TCP, y"
    expect_rc 64 "rules twice"
    for bad in abc 0 0.000 1. .5 0.0001 1,5 -1 1234567890; do
        run --interval "$bad" --watch
        expect_rc 64 "bad interval '$bad'"
    done
    run --help
    expect_rc 0 "--help"
    for opt in --watch --close --all --list --json --no-ipv6 --lang; do
        grep -qF -- "$opt" <<<"$out" && pass || fail "--help does not mention $opt"
    done
    run --version
    expect_rc 0 "--version"
    grep -q '^pontaro-cli (Pontaro) [0-9]' <<<"$out" && pass || fail "--version: $out"
    local combo
    for combo in "--close --list" "--list 80,80,TCP,x" "--list -f $work/one.txt" \
        "--watch --close" "--watch --list" "--watch --json" "--close --json" "--no-ipv6=0" "--all" \
        "--close --all 80,80,TCP,x"; do
        # shellcheck disable=SC2086
        run $combo
        expect_rc 64 "usage error: $combo"
    done
    [ ! -e "$XDG_CONFIG_HOME/pontaro" ] && pass || fail "usage errors created a profile"
}

# json_check PYTHON-EXPRESSION: true when the expression holds for the JSON
# document in $out (bound to d).
json_check() {
    python3 -c 'import json, sys; d = json.loads(sys.stdin.read()); sys.exit(0 if eval("(" + sys.argv[1] + ")") else 1)' \
        "$1" <<<"$out"
}

# The router's table as --list shows it, then --close, checked on nftables.
mappings_test() {
    run "8101, 8101, TCP, one" "8102, 9102, UDP, 二番目" "8103, 8103, TCP, three"
    expect_rc 0 "open three"
    # Its description in code page 932 bytes, as older Japanese tools sent
    # them ("HTTP接続の通過"): the router keeps the bytes.
    upnpc -e "$(printf 'HTTP\x90\xda\x91\xb1\x82\xcc\x92\xca\x89\xdf')" -a "$host" 7100 7100 TCP \
        >"$work/upnpc.out" 2>&1 || fail "upnpc could not add a mapping: $(cat "$work/upnpc.out")"
    expect_mapping "TCP 7100 $host:7100" "upnpc's mapping"

    run --list
    expect_rc 0 "--list"
    local line
    for line in "◆ポートマッピング一覧 : 4件" "\* Pontaro 8101 +TCP +$host:8101 +one +[^ ].*" \
        "\* Pontaro 8102 +UDP +$host:9102 +二番目 +[^ ].*" \
        "\* Pontaro 8103 +TCP +$host:8103 +three +[^ ].*" \
        "\* +7100 +TCP +$host:7100 +HTTP接続の通過 +[^ ].*" "\(\* はこのコンピュータへの転送です\)" \
        "- External IP : $PONTARO_LAB_EXT_IP"; do
        grep -Eqx -- "$line" <<<"$out" && pass || fail "--list lacks a line /$line/: $out"
    done
    head -3 <<<"$out" | cmp -s - <(printf '%s' "$found") && pass || fail "--list: not the found lines first: $out"

    run --list --json
    expect_rc 0 "--list --json"
    json_check "len(d['mappings']) == 4 and all(m['thisMachine'] and m['internalClient'] == '$host' for m in d['mappings'])
        and [m['externalPort'] for m in d['mappings'] if not m['madeByPontaro']] == [7100]
        and sorted(m['externalPort'] for m in d['mappings']) == [7100, 8101, 8102, 8103]
        and [m['description'] for m in d['mappings'] if m['externalPort'] == 7100] == ['HTTP接続の通過']
        and d['externalAddress'] == '$PONTARO_LAB_EXT_IP' and d['complete'] and d['error'] is None
        and d['gateway']['address'] == '$PONTARO_LAB_ROUTER_IP'" && pass || fail "--list --json: $out"

    run --close "8102, 9102, UDP, 二番目"
    expect_rc 0 "--close"
    expect_out "$found■ 8102 [UDP] : ○　閉じました。

" "--close"
    expect_no_mapping 8102 "--close"
    expect_mapping "TCP 8101 $host:8101" "--close leaves the others"
    expect_mapping "TCP 7100 $host:7100" "--close leaves upnpc's"
    run --list
    grep -q "一覧 : 3件" <<<"$out" && ! grep -q " 8102 " <<<"$out" && pass || fail "--list after --close: $out"

    # A port that was never opened, from a file, and the profile's rules.
    printf '8199, 8199, TCP, never\n' >"$work/never.txt"
    run --close -f "$work/never.txt"
    expect_rc 0 "--close of a port never opened"
    expect_out "$found■ 8199 [TCP] : ○　設定はありませんでした。

" "--close of a port never opened"
    mkdir -p "$XDG_CONFIG_HOME/pontaro"
    printf '[Setting]\nSetting=8103, 8103, TCP, three\n' >"$XDG_CONFIG_HOME/pontaro/pontaro.ini"
    run --close
    expect_rc 0 "--close with the profile's rules"
    expect_no_mapping 8103 "--close with the profile's rules"

    # A router with 98 more mappings lists every one as upnpc does.
    # IGD v1 reads entry by entry both ways, about 0.3 s an entry on
    # miniupnpd: 18 more are enough there.
    local rules=() p total=100
    [ "$PONTARO_LAB_IGD" = v2 ] || total=20
    # Opened 20 a run: a run of 98 takes 25 s on miniupnpd, more than
    # run()'s minute under ThreadSanitizer.
    local first
    for first in $(seq 8200 20 $((8200 + total - 3))); do
        rules=()
        for p in $(seq "$first" $((first + 19 < 8200 + total - 3 ? first + 19 : 8200 + total - 3))); do
            rules+=("$p, $p, $([ $((p % 10)) = 9 ] && echo UDP || echo TCP), more")
        done
        run "${rules[@]}"
        expect_rc 0 "open ${#rules[@]} from $first"
    done
    run --list --json
    expect_rc 0 "--list of $total"
    # upnpc -L asks GetListOfPortMappings too, -l entry by entry.
    upnpc "$([ "$PONTARO_LAB_IGD" = v2 ] && echo -L || echo -l)" >"$work/upnpc-l.out" 2>&1
    python3 -c 'import json, re, sys
mine = sorted((m["protocol"], m["externalPort"], m["internalClient"], m["internalPort"], m["description"])
              for m in json.load(open(sys.argv[1]))["mappings"])
def text(b):
    try: return b.decode("utf-8")
    except UnicodeDecodeError: return b.decode("cp932")
theirs = sorted((m[0].decode(), int(m[1]), m[2].decode(), int(m[3]), text(m[4])) for m in
                re.findall(rb"^ *\d+ (TCP|UDP) +(\d+)->([\d.]+):(\d+) +\x27(.*?)\x27 ", open(sys.argv[2], "rb").read(), re.M))
sys.exit(0 if len(mine) == int(sys.argv[3]) and mine == theirs else 1)' <(printf '%s' "$out") \
        "$work/upnpc-l.out" "$total" &&
        pass || fail "--list --json of $total is not upnpc's listing: $out $(cat "$work/upnpc-l.out")"
    [ "$PONTARO_LAB_IGD" = v1 ] || grep -q "#GetListOfPortMappings" "$PONTARO_LAB_STATE_DIR/miniupnpd.log" &&
        pass || fail "IGD v2: the table was not asked for in one answer"
}

with_router() {
    # Rules from the arguments: the log as the window shows it, LF line ends.
    run "8001, 8001, TCP, HTTP接続の通過" "8002,9002,UDP,two, with comma"
    expect_rc 0 "arguments"
    expect_out "$found■ 8001 -> 8001 [TCP] : $ok
$(nobody 8001 TCP)
■ 8002 -> 9002 [UDP] : $ok
$(nobody 9002 UDP)
$ext

" "arguments"
    expect_mapping "TCP 8001 $host:8001" "arguments"
    expect_mapping "UDP 8002 $host:9002" "arguments"
    if grep -q $'\r' "$work/out"; then fail "CR in the output"; else pass; fi

    # A file with LF line ends, then the same with CR LF: comments and blank
    # lines are passed over, an incomplete line ends the list.
    printf '# a comment\n8003, 8003, TCP, lf\n8004, 8004, TCP, lf\n\n  # another\n8005, 8005, TCP, lf\n' \
        >"$work/lf.txt"
    run -f "$work/lf.txt"
    expect_rc 0 "LF file"
    expect_out "$found■ 8003 -> 8003 [TCP] : $ok
$(nobody 8003 TCP)
■ 8004 -> 8004 [TCP] : $ok
$(nobody 8004 TCP)
■ 8005 -> 8005 [TCP] : $ok
$(nobody 8005 TCP)
$ext

" "LF file"
    expect_mapping "TCP 8004 $host:8004" "LF file"
    expect_mapping "TCP 8005 $host:8005" "LF file, after the blank line and the comment"
    printf '8006, 8006, TCP, crlf\r\n8007, 8007, UDP, crlf\r\n8008, 8008\r\n8009, 8009, TCP, hidden' \
        >"$work/crlf.txt"
    run -f "$work/crlf.txt"
    expect_rc 0 "CR LF file"
    expect_out "$found■ 8006 -> 8006 [TCP] : $ok
$(nobody 8006 TCP)
■ 8007 -> 8007 [UDP] : $ok
$(nobody 8007 UDP)
$ext

" "CR LF file"
    expect_mapping "UDP 8007 $host:8007" "CR LF file"
    expect_no_mapping 8009 "CR LF file, after the incomplete line"

    # Standard input.
    printf '8010, 8010, TCP, stdin\n' >"$work/stdin.txt"
    run --stdin "$work/stdin.txt" -f -
    expect_rc 0 "stdin"
    expect_out "$found■ 8010 -> 8010 [TCP] : $ok
$(nobody 8010 TCP)
$ext

" "stdin"
    expect_mapping "TCP 8010 $host:8010" "stdin"

    # IPv4 only: no pinhole line, whatever the router offers for IPv6.
    run --no-ipv6 "8040, 8040, TCP, v4 only"
    expect_rc 0 "--no-ipv6"
    expect_out "$found■ 8040 -> 8040 [TCP] : $ok
$(nobody 8040 TCP)
$ext

" "--no-ipv6"
    expect_mapping "TCP 8040 $host:8040" "--no-ipv6"

    # The profile's rule text (stored form), which the program must not write.
    mkdir -p "$XDG_CONFIG_HOME/pontaro"
    printf '[Setting]\nSetting=8011, 8011, TCP, profile\\r\\n8012, 8012, UDP, profile\\r\\n\nAuto=1\nClose=0\n' \
        >"$XDG_CONFIG_HOME/pontaro/pontaro.ini"
    cp "$XDG_CONFIG_HOME/pontaro/pontaro.ini" "$work/profile.before"
    touch -d '2020-01-01 00:00' "$XDG_CONFIG_HOME/pontaro/pontaro.ini"
    run
    expect_rc 0 "profile"
    expect_out "$found■ 8011 -> 8011 [TCP] : $ok
$(nobody 8011 TCP)
■ 8012 -> 8012 [UDP] : $ok
$(nobody 8012 UDP)
$ext

" "profile"
    expect_mapping "UDP 8012 $host:8012" "profile"
    cmp -s "$work/profile.before" "$XDG_CONFIG_HOME/pontaro/pontaro.ini" && pass ||
        fail "the profile changed"
    [ "$(stat -c %Y "$XDG_CONFIG_HOME/pontaro/pontaro.ini")" = "$(date -d '2020-01-01 00:00' +%s)" ] &&
        pass || fail "the profile was rewritten"
    # Beside it only the record of what was opened.
    [ "$(ls "$XDG_CONFIG_HOME/pontaro" | tr '\n' ' ')" = "opened-ports.txt pontaro.ini " ] && pass ||
        fail "files beside the profile: $(ls "$XDG_CONFIG_HOME/pontaro")"

    # HOME alone decides when XDG_CONFIG_HOME is not set.
    mkdir -p "$HOME/.config/pontaro"
    printf '[Setting]\nSetting=8013, 8013, TCP, home\n' >"$HOME/.config/pontaro/pontaro.ini"
    (unset XDG_CONFIG_HOME; run; echo "$rc" >"$work/rc.home")
    [ "$(cat "$work/rc.home")" = 0 ] && pass || fail "profile under HOME: exit $(cat "$work/rc.home")"
    expect_mapping "TCP 8013 $host:8013" "profile under HOME"

    # No profile at all: no rules, still a run.
    XDG_CONFIG_HOME="$work/empty" run
    expect_rc 0 "no profile"
    expect_out "$found
" "no profile"
    [ ! -e "$work/empty" ] && pass || fail "a run created a profile"

    # A rule the router refuses: exit 1, its reason under it, the next rule
    # still applied; --verbose adds the exchange as recorded.
    run "0, 8014, TCP, wildcard" "8015, 8015, TCP, after"
    expect_rc 1 "refused rule"
    expect_out "$found■ 0 -> 8014 [TCP] : $ng
  理由: ルータは外部ポート 0 (すべてのポート) の割り当てを受け付けません (UPnPエラー 716)。
■ 8015 -> 8015 [TCP] : $ok
$(nobody 8015 TCP)
$ext

" "refused rule"
    expect_mapping "TCP 8015 $host:8015" "rule after a refused one"
    run -v "0, 8016, TCP, wildcard"
    expect_rc 1 "refused rule, verbose"
    # --verbose also says why no pinhole was tried: this lab has no global IPv6.
    expect_out "$found  IPv6: ルータへ向かうインターフェースに、固定のグローバルIPv6アドレス (一時アドレス、リンクローカル、ULA以外) がないため、ピンホールは開きません。
■ 0 -> 8016 [TCP] : $ng
  理由: ルータは外部ポート 0 (すべてのポート) の割り当てを受け付けません (UPnPエラー 716)。
  (AddPortMapping POST: HTTP 500 Internal Server Error, UPnPError 716 $(sed -n 's/.*UPnPError 716 //p' "$work/out")

" "refused rule, verbose"

    # Ports that upnpc mapped first: miniupnpd takes the same mapping for the
    # same host again, so that rule stands; a port it holds for another
    # address is refused, and the reason names the holder. Both stay as
    # upnpc left them.
    desc="http://$PONTARO_LAB_ROUTER_IP:$PONTARO_LAB_HTTP_PORT/rootDesc.xml"
    upnpc -u "$desc" -e upnpc-here -a "$host" 8030 8030 TCP >/dev/null 2>&1 &&
        upnpc -u "$desc" -e upnpc-other -a 10.77.0.3 8031 8031 TCP >/dev/null 2>&1 && pass ||
        fail "upnpc could not map 8030 and 8031"
    run "8030, 8030, TCP, again" "8031, 8031, TCP, taken"
    expect_rc 1 "mapped by upnpc"
    expect_out "$found■ 8030 -> 8030 [TCP] : $ok
$(nobody 8030 TCP)
■ 8031 -> 8031 [TCP] : $ng
  理由: ポート 8031/TCP は 10.77.0.3:8031 (説明: upnpc-other) に割り当て済みです (UPnPエラー 718)。
$ext

" "mapped by upnpc"
    expect_mapping "TCP 8030 $host:8030" "mapped by upnpc for this host"
    expect_mapping "TCP 8031 10.77.0.3:8031" "mapped by upnpc for another address"

    # Lines of commas only end the list at once.
    printf ',,,\n,,,,,,\n8017, 8017, TCP, hidden\n' >"$work/commas.txt"
    run -f "$work/commas.txt"
    expect_rc 0 "commas only"
    expect_out "$found
" "commas only"
    expect_no_mapping 8017 "commas only"

    # 10 MB whose first line is a rule and the rest is not.
    { printf '8018, 8018, TCP, big file\n'; head -c 10000000 /dev/zero | tr '\0' 'a' | fold -w 100; } \
        >"$work/big.txt"
    run -f "$work/big.txt"
    expect_rc 0 "10 MB file"
    expect_out "$found■ 8018 -> 8018 [TCP] : $ok
$(nobody 8018 TCP)
$ext

" "10 MB file"
    # One line of 10 MB (no commas, so no rule), and one of 10 MB of commas.
    head -c 10000000 /dev/zero | tr '\0' 'b' >"$work/line.txt"
    run -f "$work/line.txt"
    expect_rc 0 "10 MB line"
    expect_out "$found
" "10 MB line"
    head -c 10000000 /dev/zero | tr '\0' ',' >"$work/commaline.txt"
    run -f "$work/commaline.txt"
    expect_rc 0 "10 MB of commas"
    expect_out "$found
" "10 MB of commas"

    # Bytes that are not UTF-8 show as U+FFFD.
    printf '8019, 8019, T\xffP, bad\n' >"$work/latin1.txt"
    run -f "$work/latin1.txt"
    grep -qF "■ 8019 -> 8019 [T�P] : " <<<"$out" && pass || fail "U+FFFD: $out"

    # --watch: a run at once, periodic runs announced with a time stamp, and
    # a clean exit 0 on TERM and on INT.
    for sig in TERM INT; do
        timeout 60 "$cli" --watch --interval 1 "8020, 8020, TCP, watch" >"$work/watch.out" 2>&1 &
        pid=$!
        for _ in $(seq 1 100); do
            [ "$(grep -c '自動実行します。' "$work/watch.out")" -ge 2 ] && break
            sleep 0.1
        done
        kill -"$sig" "$pid"
        wait "$pid"
        rc=$?
        expect_rc 0 "--watch ended by $sig"
        out="$(cat "$work/watch.out")"
        grep -Eq '^\[[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\] 自動実行します。$' <<<"$out" &&
            pass || fail "--watch: no time-stamped announcement: $out"
        [ "$(grep -c '^◆UPnP対応ルータが見つかりました$' <<<"$out")" -ge 3 ] && pass ||
            fail "--watch: fewer than three runs: $out"
        head -1 <<<"$out" | grep -qx '◆UPnP対応ルータが見つかりました' && pass ||
            fail "--watch: the first run is announced: $out"
    done
}

# count_runs: how many runs the --watch output in $work/watch.out has begun.
count_runs() { grep -c '^◆UPnP対応ルータが見つかりました$' "$work/watch.out"; }
# wait_runs N: until N runs have begun (15 s at most).
wait_runs() {
    for _ in $(seq 1 150); do
        [ "$(count_runs)" -ge "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# The LAN host moves from $host to .3 between two runs of --watch, as after a
# new DHCP lease. Its own mapping follows it when the router lets UPnP remove
# the old one; a mapping another machine holds is never touched.
new_address() {
    local secure="${1:-}" moved=10.77.0.3 other=10.77.0.5
    if [ -z "$secure" ]; then
        upnpc -e other -a "$other" 8031 8031 TCP >"$work/upnpc.out" 2>&1 ||
            fail "upnpc could not add a mapping: $(cat "$work/upnpc.out")"
    fi
    timeout 60 "$cli" --watch --interval 2 -v "8030, 8030, TCP, moving" "8031, 8031, TCP, other" \
        >"$work/watch.out" 2>&1 &
    local pid=$!
    wait_runs 2 || fail "new address: the first runs did not come: $(cat "$work/watch.out")"
    expect_mapping "TCP 8030 $host:8030" "new address: before the move"

    ip addr del "$host/24" dev eth0
    ip addr add "$moved/24" dev eth0
    ip route add default via "$PONTARO_LAB_ROUTER_IP"
    # Two more runs begun: the first of them began after the move and has ended.
    local runs
    runs="$(count_runs)"
    wait_runs $((runs + 2)) || fail "new address: no runs after the move: $(cat "$work/watch.out")"
    kill -TERM "$pid"
    wait "$pid"
    rc=$?
    expect_rc 0 "new address: --watch ended by TERM"
    out="$(cat "$work/watch.out")"

    if [ -z "$secure" ]; then
        expect_mapping "TCP 8030 $moved:8030" "new address: the mapping follows"
        expect_no_mapping_to "$host:8030" "new address: the old mapping is gone"
        grep -qF "  ※ 以前のアドレス ($host) への割り当てを削除して設定し直しました。" <<<"$out" &&
            pass || fail "new address: no note of the move: $out"
        expect_mapping "TCP 8031 $other:8031" "new address: another machine's mapping stays"
    else
        expect_mapping "TCP 8030 $host:8030" "new address, secure mode: the router keeps it"
        grep -qF "  理由: ポート 8030/TCP はこのコンピュータの以前のアドレス ($host) に割り当てられたままです。ルータはUPnPでこの割り当てを削除することを許していません (UPnPエラー 606)。" <<<"$out" &&
            pass || fail "new address, secure mode: no reason: $out"
    fi
}

without_router() {
    run "8101, 8101, TCP, nobody"
    expect_rc 2 "no router"
    expect_out "$notfound" "no router"
    run -v "8101, 8101, TCP, nobody"
    expect_rc 2 "no router, verbose"
    expect_out "UPnP対応ルータが見つかりませんでした。
  理由: 検索要求(M-SEARCH)に応答がありませんでした。

" "no router, verbose"
    run --close "8101, 8101, TCP, nobody"
    expect_rc 2 "--close, no router"
    expect_out "$notfound" "--close, no router"
    run --list
    expect_rc 2 "--list, no router"
    expect_out "$notfound" "--list, no router"
    run --list --json
    expect_rc 2 "--list --json, no router"
    json_check "d['gateway'] is None and d['mappings'] == [] and d['error'].startswith('理由: ')" &&
        pass || fail "--list --json, no router: $out"
}

usage_errors
# UPnP off: the fallback opens over PCP, says what the router granted and
# that a one-shot run leaves the mapping to expire; --close takes it out
# with the nonce this installation's secret gives (kept in the profile).
pcp_fallback() {
    local pcpfound="◆PCP対応ルータが見つかりました
- Address : $PONTARO_LAB_ROUTER_IP
"
    local lifetime="- Lifetime : 86400秒 (24時間、ルータが割り当てを保つ期間)"
    local note="※ PCP/NAT-PMPの割り当ては 86400秒後に切れます。保つには --watch で定期的に更新してください。"
    run "8201, 8201, TCP, web" "8202, 9202, UDP, game" "8203, 8203, SCTP, none"
    expect_rc 1 "open over PCP, one rule no protocol carries"
    expect_out "$pcpfound■ 8201 -> 8201 [TCP] : $ok
$(nobody 8201 TCP)
■ 8202 -> 9202 [UDP] : $ok
$(nobody 9202 UDP)
■ 8203 -> 8203 [SCTP] : ×　設定に失敗しました。
  理由: ルータはこのプロトコルの割り当てに対応していません (TCP か UDP を指定してください) (UNSUPP_PROTOCOL)。
$lifetime
$ext

$note
" "open over PCP"
    expect_mapping "TCP 8201 $host:8201" "open over PCP"
    expect_mapping "UDP 8202 $host:9202" "open over PCP"
    grep -q '^PcpSecret=[0-9a-f]\{32\}$' "$XDG_CONFIG_HOME/pontaro/pontaro.ini" && pass ||
        fail "no secret kept in the profile"

    run --list
    expect_rc 0 "--list over PCP"
    grep -qF "◆PCP/NAT-PMPにはポートマッピングの一覧がありません" <<<"$out" && pass ||
        fail "--list over PCP: $out"

    # A later process renews (the same nonce) and closes.
    run "8201, 8201, TCP, web"
    expect_rc 0 "renew over PCP"
    run --close "8201, 8201, TCP, web" "8202, 9202, UDP, game"
    expect_rc 0 "--close over PCP"
    expect_out "$pcpfound■ 8201 [TCP] : ○　閉じました。
■ 8202 [UDP] : ○　閉じました。

" "--close over PCP"
    expect_no_mapping 8201 "--close over PCP"
    expect_no_mapping 8202 "--close over PCP"
}

# UPnP, PCP and NAT-PMP all on: UPnP is taken, as without the others.
upnp_first() {
    run "8301, 8301, TCP, web"
    expect_rc 0 "UPnP first"
    expect_out "$found■ 8301 -> 8301 [TCP] : $ok
$(nobody 8301 TCP)
$ext

" "UPnP first"
    expect_mapping "TCP 8301 $host:8301" "UPnP first"
}

# Beside each mapping an IPv6 pinhole for the LAN host's global address, which
# lets a connection from the WAN through the router's firewall, and no second
# one for the same rule; --close removes it, --no-ipv6 makes none.
ipv6_pinholes() {
    local v6="$PONTARO_LAB_HOST_IP6" rules=("8080, 8080, TCP, v6 test" "8081, 8081, UDP, v6 test")
    local both="TCP 8080 $v6
UDP 8081 $v6"
    lab() { "$PONTARO_LAB_SCRIPTS/lab.sh" "$1" "$PONTARO_LAB_NAME" "${@:2}"; }
    expect_line() { grep -qxF -- "$1" <<<"$out" && pass || fail "$2: no line '$1' in: $out"; }
    expect_pinholes() {
        [ "$(lab pinholes | sort)" = "$1" ] && pass || fail "$2: pinholes: $(lab pinholes | tr '\n' ';')"
    }
    expect_reach() {
        lab reach "$1" "$2"
        local got=$?
        [ "$got" = "$3" ] && pass || fail "$4: lab.sh reach $1 $2 gave $got, expected $3"
    }

    run "${rules[@]}"
    expect_rc 0 "open"
    expect_line "■ 8080 -> 8080 [TCP] : $ok" "open"
    expect_line "■ [$v6]:8080 [TCP/IPv6] : $ok" "open"
    expect_line "■ [$v6]:8081 [UDP/IPv6] : $ok" "open"
    expect_line "$(nobody 8081 UDP/IPv6)" "open"
    expect_pinholes "$both" "open"
    grep -q ' @nh,192,128 0x20010db8000100000000000000000002 ' <<<"$(lab pinholes --raw)" && pass ||
        fail "open: raw pinhole rule: $(lab pinholes --raw)"
    expect_reach TCP 8080 0 "open"
    expect_reach UDP 8081 0 "open"

    # A second process, then two runs of one --watch process: still one each.
    run "${rules[@]}"
    expect_rc 0 "open again"
    expect_pinholes "$both" "open again"
    timeout 60 "$cli" --watch --interval 1 "${rules[@]}" >"$work/watch.out" 2>&1 &
    local pid=$!
    wait_runs 3 || fail "--watch: no third run: $(cat "$work/watch.out")"
    expect_pinholes "$both" "--watch"
    kill -TERM "$pid"
    wait "$pid"

    run --close "${rules[@]}"
    expect_rc 0 "--close"
    expect_line "■ [$v6]:8080 [TCP/IPv6] : ○　閉じました。" "--close"
    expect_line "■ [$v6]:8081 [UDP/IPv6] : ○　閉じました。" "--close"
    expect_pinholes "" "--close"
    expect_reach TCP 8080 1 "--close"

    run --no-ipv6 "${rules[@]}"
    expect_rc 0 "--no-ipv6"
    if grep -qF "/IPv6]" <<<"$out"; then fail "--no-ipv6: an IPv6 line: $out"; else pass; fi
    expect_pinholes "" "--no-ipv6"
    expect_mapping "TCP 8080 $host:8080" "--no-ipv6"
}

# Programs listening on the LAN host (this namespace) behind the ports:
# TCP on every address, TCP on 127.0.0.1 only, UDP; and a port nobody holds.
listeners() {
    python3 "$(dirname "${BASH_SOURCE[0]}")/../support/listen.py" "$work/listening" \
        tcp:0.0.0.0:8401 tcp:127.0.0.1:8402 udp:0.0.0.0:8403 &
    local pid=$! nl=$'\n'
    for _ in $(seq 1 50); do [ -e "$work/listening" ] && break; sleep 0.1; done
    local rules=("8401, 8401, TCP, all" "8402, 8402, TCP, loopback" "8403, 8403, UDP, udp"
        "8404, 8404, TCP, nobody")
    local opened="■ 8401 -> 8401 [TCP] : $ok
■ 8402 -> 8402 [TCP] : $ok
  ※ ポート 8402 [TCP] は 127.0.0.1 だけで待ち受けています (python3)。外からは届きません。
■ 8403 -> 8403 [UDP] : $ok"
    run "${rules[@]}"
    expect_rc 0 "listeners"
    expect_out "$found$opened
■ 8404 -> 8404 [TCP] : $ok
$(nobody 8404 TCP)
$ext

" "listeners"
    run -v --no-ipv6 "${rules[@]}"
    expect_rc 0 "listeners, verbose"
    expect_out "$found■ 8401 -> 8401 [TCP] : $ok
  待ち受け: python3 (PID $pid)
${opened#*"$nl"}
  待ち受け: python3 (PID $pid)
■ 8404 -> 8404 [TCP] : $ok
$(nobody 8404 TCP)
$ext

" "listeners, verbose"
    run --json "${rules[@]}"
    expect_rc 0 "listeners, --json"
    json_check "[(r['listening']['state'], r['listening']['address'], r['listening']['program'], r['listening']['pid']) for r in d['rules']]
        == [('listening', '0.0.0.0', 'python3', $pid), ('loopbackOnly', '127.0.0.1', 'python3', $pid),
            ('listening', '0.0.0.0', 'python3', $pid), ('none', None, None, None)]
        and all(r['opened'] and r['forwardedTo'] == '$host' and r['firewall'] is None and r['pinhole'] is None for r in d['rules'])
        and d['gateway']['protocol'] == 'UPnP' and d['externalAddress'] == '$PONTARO_LAB_EXT_IP'" &&
        pass || fail "listeners, --json: $out"
    kill "$pid"
    wait "$pid" 2>/dev/null
    # What was true at the time of the run: the next run looks again.
    run "8401, 8401, TCP, all"
    expect_out "$found■ 8401 -> 8401 [TCP] : $ok
$(nobody 8401 TCP)
$ext

" "listener gone"
}

# A MAP-E line (with-lab.sh --mape): the LAN host holds an address of v6plus's
# prefix, the router states the address its rule gives (or, --mape fixed,
# another). 8080 lies outside PSID 212's set, 7488 and 11599 are in it; what
# the router received comes from its log.
mape_test() {
    local line="この回線は MAP-E (v6プラス) です。IPv4 106.72.63.108 で使えるポートは 240 個です。"
    local refused="■ 8080 -> 8080 [TCP] : $ng
  理由: この回線 (MAP-E、v6プラス) ではポート 8080 にインターネットから届きません。近くで使えるのは 7488～7503 と 11584～11599 です (ほかのポートは回線を共有する別の契約者に届きます)。"
    received() {
        awk '/SOAPAction:/ { sub(/.*#/, ""); if ($0 != "AddPortMapping") printf "%s; ", $0; next }
            /AddPortMapping: ext port/ { printf "Add %s; ", $5 }' "$PONTARO_LAB_STATE_DIR/miniupnpd.log"
    }
    # What the router received during the last run: exactly these.
    local before="" all
    run_mape() { before="$(received)"; run "$@"; }
    expect_received() {
        all="$(received)"
        [ "${all#"$before"}" = "$1" ] && pass || fail "$2: the router received: ${all#"$before"}"
    }
    expect_line() { grep -qxF -- "$1" <<<"$out" && pass || fail "$2: no line '$1' in: $out"; }
    case "$PONTARO_LAB_MAPE:$PONTARO_LAB_PORT_SET_ONLY" in
        v6plus:no)
            run_mape "8080, 8080, TCP, web" "7488, 7488, TCP, in" "11599, 11599, UDP, last"
            expect_rc 1 "MAP-E"
            expect_out "$found$line
$refused
■ 7488 -> 7488 [TCP] : $ok
$(nobody 7488 TCP)
■ 11599 -> 11599 [UDP] : $ok
$(nobody 11599 UDP)
- External IP : 106.72.63.108

" "MAP-E"
            expect_received "GetExternalIPAddress; Add 7488; Add 11599; " "MAP-E: asked first, never for 8080"
            expect_no_mapping 8080 "MAP-E"
            run -v "8080, 8080, TCP, web"
            expect_line "  (ルータには送っていません: 8080 は PSID 212 のポートではありません)" "--verbose"
            run --list
            expect_line "  48448～48463, 52544～52559, 56640～56655, 60736～60751, 64832～64847" "--list"
            run --list --json
            json_check "d['line'] == {'kind': 'MAP-E', 'service': 'v6plus', 'ipv4': '106.72.63.108',
                'psid': 212, 'portCount': 240, 'ports': [{'first': a * 4096 + 3392, 'last': a * 4096 + 3407}
                for a in range(1, 16)]}" && pass || fail "--list --json: $out"
            ;;
        v6plus:yes)
            # Only the set is allowed (as OpenWrt users set it): miniupnpd 2.3.1
            # refuses 8080 itself with 606; 7489 is another host's.
            upnpc -e other -a 10.77.0.3 7489 7489 TCP >/dev/null 2>&1
            upnpc -e probe -a "$host" 8080 8080 TCP >"$work/upnpc.out" 2>&1
            grep -q "failed with code 606" "$work/upnpc.out" && pass || fail "the router took 8080"
            run_mape "8080, 8080, TCP, web" "7488, 7488, TCP, in" "7489, 7489, TCP, taken"
            expect_rc 1 "allow-list"
            expect_out "$found$line
$refused
■ 7488 -> 7488 [TCP] : $ok
$(nobody 7488 TCP)
■ 7489 -> 7489 [TCP] : $ng
  理由: ポート 7489/TCP は 10.77.0.3:7489 (説明: other) に割り当て済みです (UPnPエラー 718)。
- External IP : 106.72.63.108

" "allow-list: a port of the set another host holds"
            expect_received "GetExternalIPAddress; Add 7488; Add 7489; GetSpecificPortMappingEntry; " "allow-list"
            ;;
        fixed:no)
            run "8080, 8080, TCP, web" "7488, 7488, TCP, in"
            expect_rc 0 "fixed address"
            expect_out "$found■ 8080 -> 8080 [TCP] : $ok
$(nobody 8080 TCP)
■ 7488 -> 7488 [TCP] : $ok
$(nobody 7488 TCP)
$ext

" "fixed address: every port"
            expect_mapping "TCP 8080 $host:8080" "fixed address"
            ;;
        *) fail "no MAP-E case for lab $PONTARO_LAB_MAPE" ;;
    esac
}

# English, chosen by PONTARO_LANG, --lang or the locale: the same run in
# other words, the markers, exit codes and --json unchanged.
english() {
    unset PONTARO_LANG LC_ALL LC_MESSAGES
    local en_found="◆UPnP router found
- Address : $PONTARO_LAB_ROUTER_IP
- Control URL : http://$PONTARO_LAB_ROUTER_IP:$PONTARO_LAB_HTTP_PORT/rootDesc.xml
"
    local en_refused="  Reason: The router does not accept a mapping of external port 0 (all ports) (UPnP error 716)."
    LANG=ja_JP.UTF-8 PONTARO_LANG=en run "8021, 8021, TCP, one" "0, 8022, TCP, wildcard"
    expect_rc 1 "english open"
    expect_out "$en_found■ 8021 -> 8021 [TCP] : ○ Opened.
  ※ No program on this PC listens on port 8021 [TCP]. Start the server and it can be reached from outside.
■ 0 -> 8022 [TCP] : × Could not open.
$en_refused
$ext

" "english open"
    expect_mapping "TCP 8021 $host:8021" "english open"

    PONTARO_LANG=ja run --lang en --list
    expect_rc 0 "--lang en --list"
    local line
    for line in "◆Port mappings : 1" " +External +Protocol +Forwarded to +Description +Lease" \
        "\* Pontaro 8021 +TCP +$host:8021 +one +[0-9]+ s" "\(\* forwards to this computer\)" \
        "\(Pontaro: opened and recorded by Pontaro\)" "$ext"; do
        grep -Eqx -- "$line" <<<"$out" && pass || fail "--lang en --list lacks a line /$line/: $out"
    done

    # The locale alone: C over LANG gives English, LANG=ja_JP Japanese.
    LC_ALL=C LANG=ja_JP.UTF-8 run --bogus
    expect_rc 64 "english usage error"
    expect_err_has "unknown option '--bogus'" "english usage error"
    expect_err_has "See pontaro-cli --help." "english usage error"
    LANG=en_US.UTF-8 run --lang ja --bogus
    expect_err_has "不明なオプション '--bogus'" "--lang ja over the locale"
    LANG=en_US.UTF-8 run --lang fr
    expect_rc 64 "--lang fr"
    expect_err_has "--lang needs ja or en: 'fr'" "--lang fr"
    # A value that reads "--lang" is -f's file name, not a choice.
    PONTARO_LANG=en run -f --lang
    expect_err_has "no file '--lang'" "-f --lang"

    # --json says the same in every language (its reasons too).
    LANG=en_US.UTF-8 run --json "0, 8023, TCP, wildcard"
    cp "$work/out" "$work/en.json"
    LANG=ja_JP.UTF-8 run --json "0, 8023, TCP, wildcard"
    expect_rc 1 "--json in Japanese"
    cmp -s "$work/en.json" "$work/out" && pass || fail "--json differs by language: $(diff "$work/en.json" "$work/out")"
    json_check "'716' in d['rules'][0]['error']" && pass || fail "--json: $out"

    LANG=ja_JP.UTF-8 run --close "8021, 8021, TCP, one"
    expect_rc 0 "close in Japanese"
    expect_out "$found■ 8021 [TCP] : ○　閉じました。

" "close in Japanese"
    LANG=C.UTF-8 run --close "8021, 8021, TCP, one"
    expect_out "$en_found■ 8021 [TCP] : ○ Nothing to close.

" "close in English"
}

case "$mode" in
    router) with_router ;;
    no-router) without_router ;;
    mappings) mappings_test ;;
    pcp) pcp_fallback ;;
    upnp-first) upnp_first ;;
    new-address) new_address "${3:-}" ;;
    ipv6) ipv6_pinholes ;;
    listeners) listeners ;;
    mape) mape_test ;;
    english) english ;;
    *) fail "unknown mode $mode" ;;
esac

echo "cli-lab-test ($mode): $checks checks passed, $failures failed"
[ "$failures" = 0 ]
