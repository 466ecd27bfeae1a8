#!/usr/bin/env bash
# What Pontaro opened, kept across runs and restarts: pontaro-cli on the LAN
# host of a router lab (run by with-lab.sh), every step checked on the
# router's own ruleset.
#
#   record-lab-test.sh upnp PONTARO_CLI  --watch -f closes the rules taken out of its
#                                        file and never another machine's mapping;
#                                        --list marks; --close --all leaves the ruleset
#                                        as before; SIGKILL after a grant; a new address
#                                        after a restart (miniupnpd, secure mode off)
#   record-lab-test.sh pcp PONTARO_CLI   the sweep and --close --all over PCP
#   record-lab-test.sh ipv6 PONTARO_CLI  the same for IPv6 pinholes (lab.sh up --ipv6)
set -uo pipefail

mode="$1"
cli="$2"
: "${PONTARO_LAB_NAME:?run me through scripts/with-lab.sh}"

work="$(mktemp -d "${TMPDIR:-/tmp}/pontaro-record-test.XXXXXX")"
watcher=
cleanup() {
    [ -z "$watcher" ] || kill -9 "$watcher" 2>/dev/null
    rm -rf -- "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
record="$XDG_CONFIG_HOME/pontaro/opened-ports.txt"
rules="$work/rules.txt"
host="$PONTARO_LAB_HOST_IP"
other=10.77.0.5  # another machine of the LAN, which the router lets us name

failures=0
checks=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
    [ ! -s "$work/watch.out" ] || sed 's/^/  | /' "$work/watch.out" | tail -15 >&2
}
# expect WHAT COMMAND...: one check.
expect() { if "${@:2}"; then checks=$((checks + 1)); else fail "$1"; fi; }

lab() { "$PONTARO_LAB_SCRIPTS/lab.sh" "$1" "$PONTARO_LAB_NAME" "${@:2}"; }
# (grep reads it all: with pipefail, a lister cut short by grep -q would fail.)
mapped() { lab mappings | grep -xF -- "$1" >/dev/null; }
unmapped() { ! lab mappings | grep -- " $1 " >/dev/null; }
pinholed() { lab pinholes | grep -xF -- "$1" >/dev/null; }
unpinholed() { ! lab pinholes | grep -- " $1 " >/dev/null; }
# The router's whole state as Pontaro may change it.
ruleset() {
    local chain
    for chain in miniupnpd prerouting_miniupnpd postrouting_miniupnpd; do
        ip netns exec "$PONTARO_LAB_ROUTER_NS" nft list chain inet filter "$chain"
    done
}
# until SECONDS CHECK...: true once the check holds.
until_true() {
    local end=$((SECONDS + $1))
    while [ "$SECONDS" -lt "$end" ]; do
        "${@:2}" && return 0
        sleep 0.1
    done
    "${@:2}"
}

# run ARGS...: one pontaro-cli run (60 s at most), leaving $out and $rc.
run() {
    timeout 60 "$cli" "$@" >"$work/out" 2>"$work/err"
    rc=$?
    out="$(cat "$work/out" "$work/err")"
}
has_line() { grep -qxF -- "$1" <<<"$out"; }
lines_like() { grep -cxF -- "$1" "$work/watch.out"; }

# A --watch of the rule file, each run announced by the found line.
start_watch() {
    timeout 120 "$cli" --watch --interval 1 -f "$rules" "$@" >"$work/watch.out" 2>&1 &
    watcher=$!
}
runs() { grep -c '^◆\(UPnP\|PCP\)対応ルータが見つかりました$' "$work/watch.out"; }
runs_reach() { [ "$(runs)" -ge "$1" ]; }
# wait_more N: until N more runs have begun than now (the first of them has ended).
wait_more() { until_true 20 runs_reach $(($(runs) + $1)); }
stop_watch() {
    kill -TERM "$watcher"
    wait "$watcher"
    rc=$?
    watcher=
    expect "--watch ends by TERM with 0 (got $rc)" test "$rc" = 0
}
swept() { echo "■ $1 : ○　ルールから外れたので閉じました。"; }

# --watch -f: a rule taken out of the file is closed at the next run, one
# whose internal port changed is taken away and opened anew, and a port that
# another machine holds by now stays its own; a file that cannot be read
# keeps the last rules and says so once.
sweep_of_a_file() {
    printf '2222, 22, TCP, ssh\n8080, 8080, TCP, web\n2223, 2223, TCP, later\n' >"$rules"
    start_watch --no-ipv6
    expect "--watch opened the file's three rules" until_true 20 mapped "TCP 2223 $host:2223"
    expect "2222 opened" mapped "TCP 2222 $host:22"
    # While no Pontaro runs, 2223 goes to another machine, with the same
    # description; the next --watch is a new process.
    stop_watch
    upnpc -d 2223 TCP >/dev/null 2>&1
    upnpc -e later -a "$other" 2223 2223 TCP >/dev/null 2>&1
    expect "upnpc gave 2223 to $other" mapped "TCP 2223 $other:2223"
    printf '8080, 8081, TCP, web\n' >"$rules"
    start_watch --no-ipv6
    expect "two runs after the edit" wait_more 2
    expect "2222 closed" unmapped 2222
    expect "8080 taken away and opened anew" mapped "TCP 8080 $host:8081"
    expect "another machine's 2223 stays" mapped "TCP 2223 $other:2223"
    expect "one line for 2222" test "$(lines_like "$(swept "2222 [TCP]")")" = 1
    expect "one line for 8080" test "$(lines_like "$(swept "8080 [TCP]")")" = 1
    expect "no line for 2223" test "$(grep -c '^■ 2223 \[TCP\] : .*ルール' "$work/watch.out")" = 0

    rm "$rules"
    expect "three runs without the file" wait_more 3
    expect "a file that cannot be read is told once" test "$(lines_like \
        "※ ファイル '$rules' がありません。読めるようになるまで、前に読んだルールで続けます。")" = 1
    expect "its last rules stay open" mapped "TCP 8080 $host:8081"
    stop_watch
    expect "the record names the file" grep -qF "list=file:$rules" "$record"
}

# --list marks what Pontaro made; --close --all takes all of it away and
# leaves the router as it was before Pontaro, another machine's untouched.
list_and_close_all() {
    local before="$1"
    run --no-ipv6 "9100, 9100, UDP, once"
    expect "one-shot run (exit $rc)" test "$rc" = 0
    run --list
    expect "--list marks 8080" grep -Eqx -- "\* Pontaro 8080 +TCP +$host:8081 +web +[^ ].*" <<<"$out"
    expect "--list marks 9100" grep -Eqx -- "\* Pontaro 9100 +UDP +$host:9100 +once +[^ ].*" <<<"$out"
    expect "--list leaves 7100 unmarked" grep -Eqx -- "  +7100 +TCP +$other:7100 .*" <<<"$out"
    expect "--list's note" has_line "(Pontaro はPontaroが開いて記録しているものです)"
    run --list --json
    expect "--list --json madeByPontaro" python3 -c '
import json, sys
made = {m["externalPort"]: m["madeByPontaro"] for m in json.loads(sys.argv[1])["mappings"]}
sys.exit(0 if made == {8080: True, 9100: True, 7100: False, 2223: False} else 1)' "$(cat "$work/out")"

    run --close --all
    expect "--close --all (exit $rc)" test "$rc" = 0
    expect "--close --all closes 8080" has_line "■ 8080 [TCP] : ○　閉じました。"
    expect "--close --all closes 9100" has_line "■ 9100 [UDP] : ○　閉じました。"
    upnpc -d 2223 TCP >/dev/null 2>&1  # the test's own, for the comparison
    expect "the ruleset is as before Pontaro" test "$(ruleset)" = "$before"
    run --close --all
    expect "nothing left to close" has_line "◆Pontaroが開いたポートの記録はありません"
}

# Killed with SIGKILL after the router granted, before the record was told:
# the router's answer to the request is held back (every byte from its HTTP
# port after the description's), so the process waits for it when the kill
# comes. The next run records the mapping, a later one sweeps it.
killed_after_the_grant() {
    local table="ip pontaro_hold"
    nft add table $table
    nft add chain $table in '{ type filter hook input priority 0; }'
    nft add rule $table in ip saddr "$PONTARO_LAB_ROUTER_IP" tcp sport "$PONTARO_LAB_HTTP_PORT" \
        ip length '>' 60 counter
    run --no-ipv6 -f /dev/null  # a run of no rules: the description alone
    local description
    description="$(nft list table $table | sed -n 's/.* bytes \([0-9]*\).*/\1/p')"
    nft flush chain $table in
    nft add rule $table in ip saddr "$PONTARO_LAB_ROUTER_IP" tcp sport "$PONTARO_LAB_HTTP_PORT" \
        ip length '>' 60 quota over "$description" bytes drop
    printf '3333, 33, TCP, killed\n' >"$rules"
    start_watch --no-ipv6
    expect "the router granted 3333" until_true 10 mapped "TCP 3333 $host:33"
    expect "recorded as asked, not yet granted" grep -q 'state=asked.*external=3333' "$record"
    kill -KILL "$watcher"
    wait "$watcher" 2>/dev/null
    watcher=
    nft delete table $table

    run --no-ipv6 -f "$rules"
    expect "the next run (exit $rc)" test "$rc" = 0
    expect "the next run records it" grep -q 'state=granted.*external=3333' "$record"
    : >"$rules"
    start_watch --no-ipv6
    expect "a later run sweeps it" until_true 20 unmapped 3333
    stop_watch
    expect "the sweep's line" test "$(lines_like "$(swept "3333 [TCP]")")" = 1
}

# A new address for this machine between two processes: the mapping the
# first made for the old address is still recognised, and moved; another
# machine's mapping of a port is never taken.
new_address_after_a_restart() {
    local moved=10.77.0.3
    upnpc -e other -a "$other" 8031 8031 TCP >/dev/null 2>&1
    run --no-ipv6 "8030, 8030, TCP, moving" "8031, 8031, TCP, other"
    expect "8030 for the old address" mapped "TCP 8030 $host:8030"
    ip addr del "$host/24" dev eth0
    ip addr add "$moved/24" dev eth0
    ip route add default via "$PONTARO_LAB_ROUTER_IP"
    run --no-ipv6 "8030, 8030, TCP, moving" "8031, 8031, TCP, other"
    expect "8030 moved to the new address" mapped "TCP 8030 $moved:8030"
    expect "the note of the move" has_line "  ※ 以前のアドレス ($host) への割り当てを削除して設定し直しました。"
    expect "another machine's 8031 stays" mapped "TCP 8031 $other:8031"
}

# Over PCP: the same sweep, and --close --all, by the mappings' nonces.
pcp_sweep() {
    printf '8201, 8201, TCP, web\n8202, 9202, UDP, game\n' >"$rules"
    start_watch
    expect "both opened over PCP" until_true 20 mapped "UDP 8202 $host:9202"
    printf '8201, 8201, TCP, web\n' >"$rules"
    expect "two runs after the edit" wait_more 2
    stop_watch
    expect "8202 closed" unmapped 8202
    expect "8201 stays" mapped "TCP 8201 $host:8201"
    expect "the sweep's line" test "$(lines_like "$(swept "8202 [UDP]")")" = 1
    run --close --all
    expect "--close --all over PCP (exit $rc)" test "$rc" = 0
    expect "--close --all's line" has_line "■ 8201 [TCP] : ○　閉じました。"
    expect "nothing mapped" test -z "$(lab mappings)"
}

# IPv6: the pinhole of a rule taken out of the file goes with its mapping.
ipv6_sweep() {
    local v6="$PONTARO_LAB_HOST_IP6"
    printf '8080, 8080, TCP, v6 web\n8081, 8081, UDP, v6 game\n' >"$rules"
    start_watch
    expect "both pinholes" until_true 30 pinholed "UDP 8081 $v6"
    expect "and the other" pinholed "TCP 8080 $v6"
    printf '8080, 8080, TCP, v6 web\n' >"$rules"
    expect "two runs after the edit" wait_more 2
    stop_watch
    expect "8081's pinhole closed" unpinholed 8081
    expect "8081's mapping closed" unmapped 8081
    expect "8080's pinhole stays" pinholed "TCP 8080 $v6"
    expect "the pinhole's line" test "$(lines_like "$(swept "[$v6]:8081 [UDP/IPv6]")")" = 1
    run --close --all
    expect "--close --all (exit $rc)" test "$rc" = 0
    expect "--close --all's pinhole line" has_line "■ [$v6]:8080 [TCP/IPv6] : ○　閉じました。"
    expect "no pinhole left" test -z "$(lab pinholes)"
    expect "no mapping left" test -z "$(lab mappings)"
}

start=$SECONDS
case "$mode" in
    upnp)
        upnpc -e other -a "$other" 7100 7100 TCP >/dev/null 2>&1
        before="$(ruleset)"
        sweep_of_a_file
        list_and_close_all "$before"
        killed_after_the_grant
        new_address_after_a_restart
        ;;
    pcp) pcp_sweep ;;
    ipv6) ipv6_sweep ;;
    *) fail "unknown mode $mode" ;;
esac

echo "record-lab-test ($mode): $checks checks passed, $failures failed, $((SECONDS - start)) s"
[ "$failures" = 0 ]
