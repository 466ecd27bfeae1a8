#!/usr/bin/env bash
# Two builds of pontaro-cli against each other in one router lab: each opens
# the same rule, in turns (the order alternating from one repetition to the
# next), wall time from fork to exit (bench_time_command), at nice -15.
# What a change costs the runs its new code is not for, measured beside the
# build before it.
#
#   sudo bench/compare-cli.sh OLD_CLI NEW_CLI [--reps N] [--build DIR] [--args "ARGS"] [-- LAB OPTIONS]
#
# --reps: runs of each (default 40); --build: where bench_time_command is
# (default build/linux); --args: pontaro-cli's options before the rule (e.g.
# "--no-ipv6"); LAB OPTIONS go to scripts/with-lab.sh (e.g. --igd v1 --ipv6).
# Prints both medians and new / old.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/.." && pwd)"

if [ "${1:-}" = --inside ]; then
    timer="$2" old="$3" new="$4" reps="$5" args="$6"
    export HOME="$(mktemp -d)" XDG_CONFIG_HOME=""
    trap 'rm -rf -- "$HOME"' EXIT
    for i in $(seq 1 "$reps"); do
        for w in $([ $((i % 2)) = 0 ] && echo "old new" || echo "new old"); do
            cli="$old"
            [ "$w" = new ] && cli="$new"
            # shellcheck disable=SC2086
            "$timer" "$HOME/$w" "$cli" $args "20001, 20001, TCP, bench" >/dev/null || true
        done
    done
    median() { awk '{ print $1 }' "$1" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
    o="$(median "$HOME/old")" n="$(median "$HOME/new")"
    printf 'old %.1f ms, new %.1f ms, new / old %s (medians of %s)\n' \
        "$(awk -v u="$o" 'BEGIN { print u / 1000 }')" "$(awk -v u="$n" 'BEGIN { print u / 1000 }')" \
        "$(awk -v a="$n" -v b="$o" 'BEGIN { printf "%.3f", a / b }')" "$reps"
    exit 0
fi

[ $# -ge 2 ] || { sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 64; }
old="$(realpath "$1")" new="$(realpath "$2")"
shift 2
reps=40 build="$repo/build/linux" args=""
while [ $# -gt 0 ]; do
    case "$1" in
        --reps) reps="${2:?--reps needs a number}"; shift 2 ;;
        --build) build="${2:?--build needs a directory}"; shift 2 ;;
        --args) args="${2?--args needs a value}"; shift 2 ;;
        --) shift; break ;;
        *) echo "compare-cli.sh: unknown option '$1'" >&2; exit 64 ;;
    esac
done
timer="$build/bench/floor/bench_time_command"
[ -x "$timer" ] || { echo "compare-cli.sh: no $timer (build the bench targets)" >&2; exit 2; }
"$repo/scripts/with-lab.sh" "$@" -- \
    nice -n -15 bash "$here/compare-cli.sh" --inside "$timer" "$old" "$new" "$reps" "$args"
