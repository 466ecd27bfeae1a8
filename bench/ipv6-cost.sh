#!/usr/bin/env bash
# What IPv6 costs a run: pontaro-cli opening 1 rule with IPv6 on (the
# default) and with --no-ipv6, in turns, on a machine with a global IPv6
# address (lab.sh up --ipv6).
#
#   sudo bench/ipv6-cost.sh [--reps N] [--build DIR]
#
#   IGD v1 router (no IPv6 firewall control): no pinhole is made, so the run
#          must cost what it costs without IPv6 (goal: within 1.05 times);
#   IGD v2 router: the run also opens the pinhole (told, not judged).
# Figures are medians over --reps runs each (default 40), wall time from fork
# to exit (bench_time_command), the runs alternating, at nice -15. Needs the
# bench build of bench/run-bench.sh.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"

if [ "${1:-}" = --inside ]; then
    build="$2" reps="$3" igd="$4"
    export HOME="$(mktemp -d)" XDG_CONFIG_HOME=""
    trap 'rm -rf -- "$HOME"' EXIT
    timer="$build/bench/floor/bench_time_command"
    cli="$build/src/cli/pontaro-cli"
    for i in $(seq 1 "$reps"); do
        for w in $([ $((i % 2)) = 0 ] && echo "on off" || echo "off on"); do
            "$timer" "$HOME/$w" "$cli" $([ "$w" = off ] && echo --no-ipv6) "20001, 20001, TCP, bench" >/dev/null
        done
    done
    median() { awk '{ print $1 }' "$1" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
    on="$(median "$HOME/on")" off="$(median "$HOME/off")"
    ratio="$(awk -v a="$on" -v b="$off" 'BEGIN { printf "%.3f", a / b }')"
    printf 'IGD %s: IPv6 on %.1f ms, --no-ipv6 %.1f ms, on / off %s' "$igd" \
        "$(awk -v u="$on" 'BEGIN { print u / 1000 }')" "$(awk -v u="$off" 'BEGIN { print u / 1000 }')" "$ratio"
    if [ "$igd" = v1 ]; then
        awk -v r="$ratio" 'BEGIN { exit !(r <= 1.05) }' && echo " (goal <= 1.05: met)" || {
            echo " (goal <= 1.05: missed)"
            exit 3
        }
    else
        echo " (with the pinhole)"
    fi
    exit 0
fi

reps=40 build="$repo/build-bench"
while [ $# -gt 0 ]; do
    case "$1" in
        --reps) reps="${2:?--reps needs a number}"; shift 2 ;;
        --build) build="${2:?--build needs a directory}"; shift 2 ;;
        *) echo "ipv6-cost.sh: unknown option '$1'" >&2; exit 64 ;;
    esac
done
[ -x "$build/src/cli/pontaro-cli" ] && [ -x "$build/bench/floor/bench_time_command" ] ||
    { echo "ipv6-cost.sh: no bench build in $build (bench/run-bench.sh makes one)" >&2; exit 2; }
# Exit status: 0 goal met, 3 goal missed, anything else: the measuring failed.
status=0
for igd in v1 v2; do
    rc=0
    "$repo/scripts/with-lab.sh" --igd "$igd" --ipv6 -- \
        nice -n -15 bash "$here/ipv6-cost.sh" --inside "$build" "$reps" "$igd" || rc=$?
    [ "$rc" = 0 ] || [ "$status" != 0 ] || status="$rc"
done
exit "$status"
