#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each for a bounded
# time from the seed corpus in fuzz/corpus/<target>/.
#
#   bash scripts/run-fuzz.sh                      every target, 30 s each
#   bash scripts/run-fuzz.sh -t 600 fuzz_url      one target, ten minutes
#   bash scripts/run-fuzz.sh --no-build ...       use the existing build
#
# The seeds are copied to a scratch corpus under build/fuzz/, so that a run
# never grows the repository; crashing inputs land in build/fuzz/artifacts/.
# Prints the executions of every target; exits non-zero when a target found a
# crash, a leak, a time-out or a broken invariant.
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

seconds="${PONTARO_FUZZ_SECONDS:-30}"
build=1
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        -t|--time) seconds="$2"; shift 2 ;;
        --no-build) build=0; shift ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        -*) echo "run-fuzz.sh: unknown option $1" >&2; exit 64 ;;
        *) targets+=("$1"); shift ;;
    esac
done

bindir="$repo/build/fuzz"
if [ $build -eq 1 ]; then
    cmake --preset fuzz >/dev/null || exit 1
    cmake --build --preset fuzz || exit 1
fi
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < "$bindir/fuzz-targets.txt"
fi

artifacts="$bindir/artifacts"
mkdir -p "$artifacts"
declare -A execs=() verdict=()
failed=0
for t in "${targets[@]}"; do
    exe="$bindir/fuzz/$t"
    [ -x "$exe" ] || { echo "run-fuzz.sh: no target $t" >&2; verdict[$t]="missing"; failed=1; continue; }
    work="$bindir/corpus/$t"
    mkdir -p "$work"
    [ -d "fuzz/corpus/$t" ] && cp -n "fuzz/corpus/$t"/* "$work"/ 2>/dev/null
    log="$bindir/$t.log"
    echo "==== $t: ${seconds} s"
    # -timeout: one input that takes longer is a hang; -rss_limit_mb: the
    # readers keep their memory bounded whatever the input.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$t-" "$work" >"$log" 2>&1
    rc=$?
    n="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    execs[$t]="${n:-?}"
    if [ $rc -eq 0 ]; then
        verdict[$t]=clean
    else
        verdict[$t]="FAILED (exit $rc)"
        failed=1
        grep -E "invariant failed|ERROR:|SUMMARY:|runtime error" "$log" | head -5
        grep -E "Test unit written to" "$log" | tail -1
    fi
done

echo
echo "==== fuzz summary (${seconds} s per target)"
for t in "${targets[@]}"; do
    printf '  %-20s %12s executions  %s\n' "$t" "${execs[$t]:-0}" "${verdict[$t]}"
done
exit $failed
