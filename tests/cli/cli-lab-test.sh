#!/usr/bin/env bash
# Checks pontaro-cli from the LAN host of a router lab (run by with-lab.sh).
#
#   cli-lab-test.sh router PONTARO_CLI      the lab runs miniupnpd
#   cli-lab-test.sh no-router PONTARO_CLI   the lab has no UPnP daemon
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
    if mappings | grep -qxF -- "$1"; then pass; else fail "$2: no mapping '$1' on the router: $(mappings | tr '\n' ';')"; fi
}
expect_no_mapping() {
    if mappings | grep -q -- " $1 "; then fail "$2: external port $1 is mapped"; else pass; fi
}

host="$PONTARO_LAB_HOST_IP"
found="◆UPnP対応ルータが見つかりました
- Address : $PONTARO_LAB_ROUTER_IP
- Control URL : http://$PONTARO_LAB_ROUTER_IP:$PONTARO_LAB_HTTP_PORT/rootDesc.xml
"
ok="○　設定に成功しました。"
ng="×　設定に失敗しました。"
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
    grep -qF -- "--watch" <<<"$out" && pass || fail "--help does not mention --watch"
    run --version
    expect_rc 0 "--version"
    grep -q '^pontaro-cli (Pontaro) [0-9]' <<<"$out" && pass || fail "--version: $out"
    [ ! -e "$XDG_CONFIG_HOME/pontaro" ] && pass || fail "usage errors created a profile"
}

with_router() {
    # Rules from the arguments: the log as the window shows it, LF line ends.
    run "8001, 8001, TCP, HTTP接続の通過" "8002,9002,UDP,two, with comma"
    expect_rc 0 "arguments"
    expect_out "$found■ 8001 -> 8001 [TCP] : $ok
■ 8002 -> 9002 [UDP] : $ok

" "arguments"
    expect_mapping "TCP 8001 $host:8001" "arguments"
    expect_mapping "UDP 8002 $host:9002" "arguments"
    if grep -q $'\r' "$work/out"; then fail "CR in the output"; else pass; fi

    # A file with LF line ends, then the same with CR LF: a blank line ends the list.
    printf '8003, 8003, TCP, lf\n8004, 8004, TCP, lf\n\n8005, 8005, TCP, hidden\n' >"$work/lf.txt"
    run -f "$work/lf.txt"
    expect_rc 0 "LF file"
    expect_out "$found■ 8003 -> 8003 [TCP] : $ok
■ 8004 -> 8004 [TCP] : $ok

" "LF file"
    expect_mapping "TCP 8004 $host:8004" "LF file"
    expect_no_mapping 8005 "LF file, after the blank line"
    printf '8006, 8006, TCP, crlf\r\n8007, 8007, UDP, crlf\r\n8008, 8008\r\n8009, 8009, TCP, hidden' \
        >"$work/crlf.txt"
    run -f "$work/crlf.txt"
    expect_rc 0 "CR LF file"
    expect_out "$found■ 8006 -> 8006 [TCP] : $ok
■ 8007 -> 8007 [UDP] : $ok

" "CR LF file"
    expect_mapping "UDP 8007 $host:8007" "CR LF file"
    expect_no_mapping 8009 "CR LF file, after the incomplete line"

    # Standard input.
    printf '8010, 8010, TCP, stdin\n' >"$work/stdin.txt"
    run --stdin "$work/stdin.txt" -f -
    expect_rc 0 "stdin"
    expect_out "$found■ 8010 -> 8010 [TCP] : $ok

" "stdin"
    expect_mapping "TCP 8010 $host:8010" "stdin"

    # The profile's rule text (stored form), which the program must not write.
    mkdir -p "$XDG_CONFIG_HOME/pontaro"
    printf '[Setting]\nSetting=8011, 8011, TCP, profile\\r\\n8012, 8012, UDP, profile\\r\\n\nAuto=1\nClose=0\n' \
        >"$XDG_CONFIG_HOME/pontaro/pontaro.ini"
    cp "$XDG_CONFIG_HOME/pontaro/pontaro.ini" "$work/profile.before"
    touch -d '2020-01-01 00:00' "$XDG_CONFIG_HOME/pontaro/pontaro.ini"
    run
    expect_rc 0 "profile"
    expect_out "$found■ 8011 -> 8011 [TCP] : $ok
■ 8012 -> 8012 [UDP] : $ok

" "profile"
    expect_mapping "UDP 8012 $host:8012" "profile"
    cmp -s "$work/profile.before" "$XDG_CONFIG_HOME/pontaro/pontaro.ini" && pass ||
        fail "the profile changed"
    [ "$(stat -c %Y "$XDG_CONFIG_HOME/pontaro/pontaro.ini")" = "$(date -d '2020-01-01 00:00' +%s)" ] &&
        pass || fail "the profile was rewritten"
    [ "$(ls "$XDG_CONFIG_HOME/pontaro")" = pontaro.ini ] && pass || fail "files beside the profile"

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

    # A rule the router refuses: exit 1, the next rule still applied; --verbose
    # adds the reason right after the failure line.
    run "0, 8014, TCP, wildcard" "8015, 8015, TCP, after"
    expect_rc 1 "refused rule"
    expect_out "$found■ 0 -> 8014 [TCP] : $ng
■ 8015 -> 8015 [TCP] : $ok

" "refused rule"
    expect_mapping "TCP 8015 $host:8015" "rule after a refused one"
    run -v "0, 8016, TCP, wildcard"
    expect_rc 1 "refused rule, verbose"
    expect_out "$found■ 0 -> 8016 [TCP] : $ng
  理由: ルータが要求を拒否しました (HTTP 500 Internal Server Error) UPnPエラー 716 $(sed -n 's/.*UPnPエラー 716 //p' "$work/out")

" "refused rule, verbose"
    grep -q '^  理由: .*HTTP 500.*716' "$work/out" && pass || fail "verbose reason: $out"

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

without_router() {
    run "8101, 8101, TCP, nobody"
    expect_rc 2 "no router"
    expect_out "$notfound" "no router"
    run -v "8101, 8101, TCP, nobody"
    expect_rc 2 "no router, verbose"
    expect_out "UPnP対応ルータが見つかりませんでした。
  理由: 検索要求(M-SEARCH)に応答がありませんでした

" "no router, verbose"
}

usage_errors
case "$mode" in
    router) with_router ;;
    no-router) without_router ;;
    *) fail "unknown mode $mode" ;;
esac

echo "cli-lab-test ($mode): $checks checks passed, $failures failed"
[ "$failures" = 0 ]
