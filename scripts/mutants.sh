#!/usr/bin/env bash
# Tries the unit tests against small faults kept in tests/mutants/, one at a
# time: each is written into its source file, the unit tests are rebuilt and
# run, and the file is put back. A fault the tests do not notice (it
# survived) is one that would reach users unseen. The faults go into a copy
# of the sources (build/mutants/source), never into the worktree: a commit
# or another build made meanwhile cannot pick one up.
#
#   bash scripts/mutants.sh                     every mutant
#   bash scripts/mutants.sh upnp-xml-hex 'pcp-*'  those named (file names without .txt, or globs)
#   bash scripts/mutants.sh --list              their names and why each matters
#
# Options: --build DIR (build/mutants: the copy and a build tree of its own),
# --timeout S (a mutant's test run, 60), --shards N (unit test processes at
# once, 4), --threshold PCT (90).
#
# A mutant file (docs/testing.md): `file:`, `find:` (occurs exactly once in
# the file), `replace:`, `why:`, and optionally `test:` (a gtest filter: only
# those tests run for it). Exit status: 0 when the score reaches the
# threshold; 1 below it; 2 when a mutant no longer applies, is malformed or
# does not build, or when the unmutated tests fail.
set -uo pipefail
# One compound command, read whole before it runs: a checkout that changes
# this file meanwhile cannot change the run.
{
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

build="$repo/build/mutants"
timeout=60
shards=4
threshold=90
list=0
patterns=()
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build="$(realpath -m "$2")"; shift 2 ;;
        --timeout) timeout="$2"; shift 2 ;;
        --shards) shards="$2"; shift 2 ;;
        --threshold) threshold="$2"; shift 2 ;;
        --list) list=1; shift ;;
        -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
        -*) echo "mutants.sh: unknown option $1" >&2; exit 64 ;;
        *) patterns+=("${1%.txt}"); shift ;;
    esac
done

# ---------------------------------------------------------------------------
# The mutants

mutants=()
if [ ${#patterns[@]} -eq 0 ]; then
    patterns=('*')
fi
for p in "${patterns[@]}"; do
    p="$(basename "$p")"
    found=0
    for f in tests/mutants/$p.txt; do
        [ -f "$f" ] || continue
        found=1
        mutants+=("$(basename "$f" .txt)")
    done
    if [ $found -eq 0 ]; then
        echo "mutants.sh: no mutant tests/mutants/$p.txt" >&2
        exit 64
    fi
done
mapfile -t mutants < <(printf '%s\n' "${mutants[@]}" | sort -u)

# Reads tests/mutants/$1.txt into m_file, m_find, m_replace, m_why, m_test;
# prints what is wrong and fails when a key is missing or unknown.
read_mutant() {
    m_file='' m_find='' m_replace='' m_why='' m_test=''
    local line key value seen=''
    while IFS= read -r line || [ -n "$line" ]; do
        line="${line%$'\r'}"
        case "$line" in '' | '#'*) continue ;; esac
        key="${line%%:*}"
        value="${line#*:}"
        value="${value# }"
        case "$key" in
            file) m_file="$value" ;;
            find) m_find="$value" ;;
            replace) m_replace="$value" ;;
            why) m_why="$value" ;;
            test) m_test="$value" ;;
            *) echo "unknown key '$key'"; return 1 ;;
        esac
        seen+=" $key"
    done < "tests/mutants/$1.txt"
    for key in file find replace why; do
        [[ " $seen " == *" $key "* ]] || { echo "no '$key:' line"; return 1; }
    done
    [ -n "$m_find" ] || { echo "empty 'find:'"; return 1; }
    [ -f "$repo/$m_file" ] || { echo "no file $m_file"; return 1; }
}

source="$build/source"
tree="$build/tree"

# How often the mutant's `find` occurs in its file (in the worktree, or in
# the directory given).
occurrences() {
    FIND="$m_find" python3 -c '
import os, sys
print(open(sys.argv[1], "rb").read().count(os.environb[b"FIND"]))' "${1:-$repo}/$m_file"
}

if [ $list -eq 1 ]; then
    for m in "${mutants[@]}"; do
        if ! problem="$(read_mutant "$m")"; then
            printf '%-40s MALFORMED: %s\n' "$m" "$problem"
            continue
        fi
        read_mutant "$m"
        count="$(occurrences)"
        if [ "$count" = 1 ]; then
            printf '%-40s %s\n' "$m" "$m_why"
        else
            printf '%-40s NO LONGER APPLIES: find occurs %s times in %s\n' "$m" "$count" "$m_file"
        fi
    done
    exit 0
fi

# ---------------------------------------------------------------------------
# Applying and undoing one mutant in the copy. While one is applied, $state
# holds the original file and the build outputs its rebuild replaced, so
# that the tree returns to the unmutated build without compiling again (the
# file keeps its time stamp, the outputs theirs), and so that a run killed
# outright is undone by the next one.

state="$build/mutant-applied"
runner_pids=()
timer_pid=''

undo_mutant() {
    [ -d "$state" ] || return 0
    local file out
    file="$(cat "$state/file")"
    [ -f "$state/original" ] && cp -p "$state/original" "$source/$file"
    if [ -d "$state/outputs" ]; then
        (cd "$state/outputs" && find . -type f -print0) | while IFS= read -r -d '' out; do
            cp -p "$state/outputs/$out" "$tree/$out"
        done
    fi
    while IFS= read -r out; do
        [ -n "$out" ] && rm -f "$tree/$out"
    done < "$state/new-outputs"
    rm -rf "$state"
}

stop_runners() {
    local pid
    [ -z "$timer_pid" ] || kill "$timer_pid" 2>/dev/null
    timer_pid=''
    for pid in "${runner_pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${runner_pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    runner_pids=()
}

on_signal() {
    stop_runners
    undo_mutant
    echo "mutants.sh: interrupted, the copy and its build restored" >&2
    exit 130
}
trap on_signal INT TERM HUP
trap undo_mutant EXIT

# Writes the mutant into the copy of its file. Prints why and fails when it
# does not apply.
apply_mutant() {
    local count
    count="$(occurrences "$source")" || return 1
    if [ "$count" != 1 ]; then
        echo "no longer applies: 'find:' occurs $count times in $m_file"
        return 1
    fi
    mkdir -p "$state"
    : > "$state/new-outputs"
    printf '%s\n' "$m_file" > "$state/file"
    cp -p "$source/$m_file" "$state/original"
    FIND="$m_find" REPLACE="$m_replace" python3 -c '
import os, sys
text = open(sys.argv[1], "rb").read()
sys.stdout.buffer.write(text.replace(os.environb[b"FIND"], os.environb[b"REPLACE"], 1))' \
        "$state/original" > "$state/mutated" || return 1
    cp "$state/mutated" "$source/$m_file"
    # What the rebuild will replace, kept as it is now: the objects that
    # include the file (ninja's record of their dependencies), the library
    # and the test program.
    local out
    while IFS= read -r out; do
        if [ -f "$tree/$out" ]; then
            mkdir -p "$state/outputs/$(dirname "$out")"
            cp -p "$tree/$out" "$state/outputs/$out"
        else
            printf '%s\n' "$out" >> "$state/new-outputs"
        fi
    done < <(
        ninja -C "$tree" -t deps | awk -v dep="$source/$m_file" '
            /^[^ ]/ { sub(/: #deps.*/, ""); object = $0 }
            /^    / && $1 == dep { print object }'
        echo src/libpontaro_core.a
        echo tests/pontaro_unit_tests
    )
    if ! grep -q . <<<"$(find "$state/outputs" -name '*.o')"; then
        echo "no unit test can notice it: no object of theirs is built from $m_file"
        return 1
    fi
}

# ---------------------------------------------------------------------------
# Running the unit tests: $shards processes, each a gtest shard that stops at
# its first failure; the first failing shard ends the others.

unit_tests="$tree/tests/pontaro_unit_tests"
logs="$build/mutant-logs"

# run_tests FILTER SECONDS: 0 passed, 1 a test failed, 2 crashed, 3 time-out.
# $failed_test names the first failure seen.
run_tests() {
    local filter="$1" seconds="$2" i pid done_pid rc result=0
    failed_test=''
    rm -rf "$logs"
    mkdir -p "$logs"
    runner_pids=()
    for ((i = 0; i < shards; i++)); do
        GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$i \
            "$unit_tests" --gtest_brief=1 --gtest_fail_fast ${filter:+"--gtest_filter=$filter"} \
            > "$logs/shard-$i.log" 2>&1 &
        runner_pids+=($!)
    done
    sleep "$seconds" &
    timer_pid=$!
    local waiting=("${runner_pids[@]}")
    while [ ${#waiting[@]} -gt 0 ]; do
        wait -n -p done_pid "${waiting[@]}" "$timer_pid"
        rc=$?
        if [ "$done_pid" = "$timer_pid" ]; then
            result=3
            break
        fi
        local rest=()
        for pid in "${waiting[@]}"; do
            [ "$pid" = "$done_pid" ] || rest+=("$pid")
        done
        waiting=("${rest[@]}")
        if [ $rc -ne 0 ]; then
            result=1
            [ $rc -gt 128 ] && result=2
            break
        fi
    done
    stop_runners
    failed_test="$(sed -n 's/^\[  FAILED  \] \([^ ]*\) (.*/\1/p' "$logs"/shard-*.log | head -n 1)"
    return $result
}

# ---------------------------------------------------------------------------

# One run at a time per build directory.
mkdir -p "$build"
exec 9> "$build/lock"
if ! flock -n 9; then
    echo "mutants.sh: another run uses ${build#"$repo/"}" >&2
    exit 2
fi

# Left by a run that was killed outright.
if [ -d "$state" ]; then
    echo "mutants.sh: undoing the mutant an interrupted run left in $(cat "$state/file")"
    undo_mutant
fi

# The copy follows the worktree (build/ and .git left out): a file that
# differs in size or time stamp is copied with its time stamp, one gone is
# removed, so that the tree rebuilds only what changed.
mkdir -p "$source" "$tree"
python3 - "$repo" "$source" <<'EOF' || exit 2
import os, shutil, sys
repo, copy = sys.argv[1], sys.argv[2]
wanted = set()
for root, dirs, files in os.walk(repo):
    rel = os.path.relpath(root, repo)
    if rel == ".":
        dirs[:] = [d for d in dirs if d not in ("build", ".git")]
    for name in files:
        path = os.path.normpath(os.path.join(rel, name))
        wanted.add(path)
        src, dst = os.path.join(repo, path), os.path.join(copy, path)
        s = os.stat(src)
        try:
            d = os.stat(dst)
            if d.st_size == s.st_size and d.st_mtime_ns == s.st_mtime_ns:
                continue
        except FileNotFoundError:
            pass
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        shutil.copy2(src, dst)
for root, dirs, files in os.walk(copy):
    for name in files:
        path = os.path.normpath(os.path.relpath(os.path.join(root, name), copy))
        if path not in wanted:
            os.remove(os.path.join(copy, path))
EOF
if [ ! -f "$tree/build.ninja" ]; then
    # Quick to compile and to link (no debug information), no window.
    cmake -S "$source" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_FLAGS=-O1 \
        -DPONTARO_BUILD_QT=OFF -DPONTARO_BUILD_BENCH=OFF > "$build/configure.log" 2>&1 || {
        cat "$build/configure.log" >&2
        exit 2
    }
fi
echo "mutants: ${#mutants[@]}, build tree ${build#"$repo/"}, $shards shards, time-out ${timeout} s"
if ! ninja -C "$tree" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" pontaro_unit_tests > "$build/build.log" 2>&1; then
    tail -n 30 "$build/build.log" >&2
    echo "mutants.sh: the unmutated unit tests do not build" >&2
    exit 2
fi
start=$SECONDS
if ! run_tests '' "$timeout"; then
    cat "$logs"/shard-*.log >&2
    echo "mutants.sh: the unmutated unit tests fail${failed_test:+ ($failed_test)}; no mutant can be judged" >&2
    exit 2
fi
echo "unmutated: the unit tests pass in $((SECONDS - start)) s"

killed=0
survived=0
broken=0
survivors=()
for m in "${mutants[@]}"; do
    start=$SECONDS
    if ! problem="$(read_mutant "$m")"; then
        printf '%-9s %-40s %s\n' MALFORMED "$m" "$problem"
        broken=$((broken + 1))
        continue
    fi
    read_mutant "$m"
    if [ -n "$m_test" ] && ! grep -q '^  ' <<<"$("$unit_tests" --gtest_list_tests "--gtest_filter=$m_test")"; then
        printf '%-9s %-40s %s\n' MALFORMED "$m" "'test: $m_test' names no test"
        broken=$((broken + 1))
        continue
    fi
    if ! problem="$(apply_mutant)"; then
        undo_mutant
        printf '%-9s %-40s %s\n' BROKEN "$m" "$problem"
        broken=$((broken + 1))
        continue
    fi
    if ! ninja -C "$tree" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" pontaro_unit_tests > "$build/build.log" 2>&1; then
        undo_mutant
        printf '%-9s %-40s does not build:\n' BROKEN "$m"
        grep -m 5 'error:' "$build/build.log" | sed 's/^/    /'
        broken=$((broken + 1))
        continue
    fi
    run_tests "$m_test" "$timeout"
    rc=$?
    undo_mutant
    case $rc in
        0) verdict=SURVIVED detail="$m_why" ;;
        1) verdict=killed detail="by ${failed_test:-a failing test}" ;;
        2) verdict=killed detail="by a crash${failed_test:+ in $failed_test}" ;;
        3) verdict=killed detail="by the time-out: the tests hung past ${timeout} s" ;;
    esac
    if [ $rc -eq 0 ]; then
        survived=$((survived + 1))
        survivors+=("$m")
    else
        killed=$((killed + 1))
    fi
    printf '%-9s %-40s %4s s  %s\n' "$verdict" "$m" "$((SECONDS - start))" "$detail"
done

judged=$((killed + survived))
echo
if [ $judged -gt 0 ]; then
    echo "score: $killed of $judged killed ($((killed * 100 / judged)) %), threshold $threshold %"
fi
[ ${#survivors[@]} -eq 0 ] || echo "survived: ${survivors[*]}"
if [ $broken -gt 0 ]; then
    echo "mutants.sh: $broken mutant(s) no longer apply, are malformed or do not build: fix or remove them" >&2
    exit 2
fi
if [ $judged -gt 0 ] && [ $((killed * 100)) -lt $((threshold * judged)) ]; then
    echo "mutants.sh: below the threshold" >&2
    exit 1
fi
exit 0
}
