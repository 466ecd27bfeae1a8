#!/usr/bin/env bash
# pontaro-cli --watch left running while the router lab misbehaves (run by
# with-lab.sh on the LAN host):
#
#   cli-days-test.sh reboot PONTARO_CLI   miniupnpd restarts with empty chains:
#                                         every rule is back within one interval
#   cli-days-test.sh link PONTARO_CLI     the cable is out for three intervals (router side, then host side):
#                                         each run ends with the not-found text
#                                         in time, the first run after maps all
#   cli-days-test.sh soak PONTARO_CLI     500 runs: descriptors, threads and
#                                         resident memory do not grow
set -uo pipefail

mode="$1"
cli="$2"
: "${PONTARO_LAB_NAME:?run me through scripts/with-lab.sh}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
lab="$PONTARO_LAB_SCRIPTS/lab.sh"
host="$PONTARO_LAB_HOST_IP"

work="$(mktemp -d "${TMPDIR:-/tmp}/pontaro-days.XXXXXX")"
pid=
cleanup() {
    if [ -n "$pid" ]; then
        kill -TERM "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    rm -rf -- "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

rules=("8101, 8101, TCP, days A" "8102, 9102, UDP, days B" "8103, 8103, TCP, days C")
want=("TCP 8101 $host:8101" "UDP 8102 $host:9102" "TCP 8103 $host:8103")
all_mapped() {
    local m w
    m="$("$lab" mappings "$PONTARO_LAB_NAME")"
    for w in "${want[@]}"; do
        grep -qxF -- "$w" <<<"$m" || return 1
    done
}
# wait_mapped SECONDS: true once every rule is on the router.
wait_mapped() {
    local end=$(($(now_ms) + $1 * 1000))
    while [ "$(now_ms)" -lt "$end" ]; do
        all_mapped && return 0
        sleep 0.05
    done
    return 1
}
router_answers() {
    bash -c "exec 3<>/dev/tcp/$PONTARO_LAB_ROUTER_IP/$PONTARO_LAB_HTTP_PORT" 2>/dev/null
}
runs_done() { grep -c '^$' "$work/out"; }

start_watch() {
    "$cli" --watch --interval "$1" "${rules[@]}" >"$work/out" 2>"$work/err" &
    pid=$!
    wait_mapped 10 || fail "the first run did not map every rule"
}

stop_watch() {
    kill -INT "$pid"
    wait "$pid"
    local rc=$?
    pid=
    [ "$rc" = 0 ] || fail "exit $rc after SIGINT"
}

reboot() {
    local interval=2 round t0 t1
    start_watch $interval
    for round in 1 2 3; do
        # Each round lands at another point of the wait or of a run.
        sleep "0.$((round * 3))"
        "$lab" reboot "$PONTARO_LAB_NAME"
        until router_answers; do sleep 0.02; done
        t0=$(now_ms)
        if wait_mapped 10; then
            t1=$(now_ms)
            echo "round $round: every rule back $((t1 - t0)) ms after the router answered"
            # One interval, plus what one run takes.
            [ $((t1 - t0)) -le $((interval * 1000 + 1000)) ] ||
                fail "round $round: rules back only after $((t1 - t0)) ms (interval ${interval} s)"
        else
            fail "round $round: rules not back within 10 s"
        fi
    done
    stop_watch
}

# cable_out SIDE: the link is down for three intervals. router: the router's
# port goes down (the host loses the carrier, keeps address and routes);
# host: this host's interface goes down and comes back with its address and
# default route, as a DHCP client would put them back. The router keeps its
# mappings meanwhile.
cable_out() {
    local side="$1" interval=2 before after t0 t1 first notfound gaps
    : >"$work/out"
    start_watch $interval
    # Pulled right after a run ended, so that no run is cut mid-way (that
    # run could take its full time limits, and its rules would fail).
    before=$(runs_done)
    while [ "$(runs_done)" = "$before" ]; do sleep 0.02; done
    before=$(runs_done)
    t0=$(now_ms)
    if [ "$side" = router ]; then
        "$lab" link "$PONTARO_LAB_NAME" down
        sleep $((3 * interval))
        "$lab" link "$PONTARO_LAB_NAME" up
    else
        ip link set eth0 down
        sleep $((3 * interval))
        ip link set eth0 up
        ip route replace default via "$PONTARO_LAB_ROUTER_IP"
    fi
    t1=$(now_ms)
    # The first run after the not-found runs maps every rule (the router
    # kept them; each is mapped again all the same).
    for _ in $(seq 1 100); do
        first="$(awk 'BEGIN{RS=""} /見つかりませんでした/ {seen=1; f=""; next} seen && f == "" {f=$0} END{print f}' "$work/out")"
        [ "$(grep -c '○　設定に成功しました。' <<<"$first")" = ${#rules[@]} ] && break
        sleep 0.1
    done
    echo "$side: the first run after the cable came back ended $(($(now_ms) - t1)) ms after"
    [ "$(grep -c '○　設定に成功しました。' <<<"$first")" = ${#rules[@]} ] ||
        fail "$side: the first run after the cable came back did not map every rule: $first"
    all_mapped || fail "$side: not every rule is on the router"
    after=$(runs_done)
    stop_watch
    notfound=$(grep -c '^UPnP対応ルータが見つかりませんでした。$' "$work/out")
    echo "$side: cable out for $((t1 - t0)) ms: $notfound runs ended with the not-found text"
    [ "$notfound" -ge 1 ] || fail "$side: no run ended with the not-found text while the cable was out"
    [ $((after - before)) -ge $((notfound + 1)) ] || fail "$side: no run after the not-found runs"
    # No run hangs: the periodic runs start at most one interval plus the
    # search's 3 s budget apart (time stamps have whole seconds).
    gaps="$(grep -o '^\[[^]]*\]' "$work/out" | tr -d '[]' |
        while read -r d t; do date -d "${d//\//-} $t" +%s; done |
        awk -v max=$((interval + 3 + 1)) 'NR > 1 && $1 - prev > max {print prev " -> " $1} {prev = $1}')"
    [ -z "$gaps" ] || fail "$side: runs too far apart (a run hung): $gaps"
    ! grep -q '×　設定に失敗しました。' "$work/out" || fail "$side: a rule failed"
}

link() {
    cable_out router
    cable_out host
}

soak() {
    python3 "$here/../support/soak-probe.py" --runs 500 --marks 10,500 --rules 2 -- \
        "$cli" --verbose --watch --interval 0.05 "${rules[0]}" "${rules[1]}" || fail "soak"
}

case "$mode" in
    reboot) reboot ;;
    link) link ;;
    soak) soak ;;
    *) fail "unknown mode $mode" ;;
esac
if [ "$failures" != 0 ]; then
    echo "--- output of pontaro-cli:" >&2
    tail -40 "$work/out" >&2 2>/dev/null
    cat "$work/err" >&2 2>/dev/null
fi
echo "cli-days-test ($mode): $failures failures"
[ "$failures" = 0 ]
