#!/usr/bin/env bash
# Builds Pontaro every way it ships and runs every test, on Debian 12 as root.
#
#   sudo bash scripts/test-all.sh              all stages
#   sudo bash scripts/test-all.sh linux asan   only the stages named
#   bash scripts/test-all.sh --list            the stages, in order
#
# Each stage is a function stage_<name> run in a subshell with `set -e`; a
# failing stage is reported and the next one still runs. To add a stage, write
# its function below and add one `register_stage` line. Exit status 0 only when
# every stage passed.
set -uo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

export CMAKE_BUILD_PARALLEL_LEVEL=2
export CTEST_OUTPUT_ON_FAILURE=1
# A test without a TIMEOUT of its own must still not hang the run.
ctest_args=(--timeout 600)

stage_names=()
declare -A stage_descriptions=()
register_stage() {
    stage_names+=("$1")
    stage_descriptions[$1]="$2"
}

# ---------------------------------------------------------------------------
# Stages

stage_setup() {
    bash scripts/setup-debian.sh
    # Labs left behind by a killed earlier run.
    bash scripts/lab.sh reap
}

stage_linux() {
    cmake --preset linux
    cmake --build --preset linux
    ctest --preset linux "${ctest_args[@]}"
}

stage_mingw_i686() {
    cmake --preset mingw-i686
    cmake --build --preset mingw-i686
    # The release program's imports: Windows' own DLLs only.
    ctest --test-dir build/mingw-i686 --output-on-failure "${ctest_args[@]}"
}

wine_binary() {
    local w
    for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
        [ -n "$w" ] && [ -x "$w" ] && { echo "$w"; return 0; }
    done
    return 1
}

stage_mingw_x86_64() {
    local wine
    wine="$(wine_binary)" || { echo "wine64 not found" >&2; return 1; }
    cmake --preset mingw-x86_64 -DWINE64="$wine"
    cmake --build --preset mingw-x86_64
    # Every Wine test makes its own prefix, wineserver and display.
    unset DISPLAY WINEPREFIX
    ctest --test-dir build/mingw-x86_64 --output-on-failure "${ctest_args[@]}"
}

stage_asan() {
    cmake --preset linux-asan
    cmake --build --preset linux-asan
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --preset linux-asan "${ctest_args[@]}"
}

stage_tsan() {
    cmake --preset linux-tsan
    cmake --build --preset linux-tsan
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --preset linux-tsan "${ctest_args[@]}"
}

stage_fuzz() {
    # Each libFuzzer target for a bounded time from its seed corpus.
    bash scripts/run-fuzz.sh -t "${PONTARO_FUZZ_SECONDS:-30}"
}

stage_bench() {
    # Keeps the router benchmark from rotting: one repetition, about a minute
    # on a quiet machine; its figures are printed, not judged.
    bash bench/run-bench.sh --reps 1 --build build/linux
}

stage_package() {
    # The release artefacts as users get them, built by CPack and checked
    # with the tools of each system.
    local wine version
    wine="$(wine_binary)" || { echo "wine64 not found" >&2; return 1; }
    cmake --preset linux
    cmake --build --preset linux --target package
    cmake --preset mingw-i686
    cmake --build --preset mingw-i686 --target package
    cmake --preset mingw-x86_64 -DWINE64="$wine"
    cmake --build --preset mingw-x86_64 --target package
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
    local deb=build/linux/pontaro_${version}_amd64.deb
    bash tests/package/version-agrees.sh "$version" "$deb" \
        build/mingw-i686/Pontaro-"$version"-win32-setup.exe build/mingw-i686/Pontaro-"$version"-win32.zip \
        build/mingw-x86_64/Pontaro-"$version"-win64-setup.exe build/mingw-x86_64/Pontaro-"$version"-win64.zip
    bash tests/package/check-deb.sh "$deb"
    # Installs on this machine and removes it again (skipped, 77, where a
    # pontaro package was installed before).
    bash tests/package/deb-install.sh "$deb" "$version" || [ $? = 77 ]
    unset DISPLAY WINEPREFIX
    PONTARO_WINE64="$wine" bash tests/package/wine-installer.sh \
        build/mingw-x86_64/Pontaro-"$version"-win64-setup.exe "$version" build/mingw-x86_64/wine-installer
}

register_stage setup "install the packages (scripts/setup-debian.sh)"
register_stage linux "Linux build, unit and router lab tests"
register_stage mingw_i686 "Windows i686 cross build"
register_stage mingw_x86_64 "Windows x86_64 cross build, unit tests under Wine"
register_stage package "the .deb, the Windows installers and zips: built, checked, installed"
register_stage asan "AddressSanitizer + UBSan build and tests"
register_stage tsan "ThreadSanitizer build and tests"
register_stage fuzz "libFuzzer targets, about 30 s each (scripts/run-fuzz.sh)"
register_stage bench "router benchmark, one repetition (bench/run-bench.sh)"

# ---------------------------------------------------------------------------

# The whole file is read before anything runs (main is called on the last
# line), so editing this script during a run cannot change that run.
main() {
    if [ "${1:-}" = --list ]; then
        for s in "${stage_names[@]}"; do
            printf '%-14s %s\n' "$s" "${stage_descriptions[$s]}"
        done
        exit 0
    fi

    selected=("${stage_names[@]}")
    if [ $# -gt 0 ]; then
        selected=()
        for s in "$@"; do
            s="${s//-/_}"
            [ -n "${stage_descriptions[$s]+x}" ] || {
                echo "test-all.sh: no stage '$s' (see --list)" >&2
                exit 2
            }
            selected+=("$s")
        done
    fi

    if [ "$(id -u)" != 0 ]; then
        echo "test-all.sh: run as root (packages, router lab namespaces): sudo bash scripts/test-all.sh" >&2
        exit 2
    fi

    declare -A results=() seconds=()
    failed=0
    run_start=$SECONDS
    for s in "${selected[@]}"; do
        echo
        echo "==== stage $s: ${stage_descriptions[$s]}"
        start=$SECONDS
        (
            set -e
            "stage_$s"
        )
        rc=$?
        seconds[$s]=$((SECONDS - start))
        if [ $rc -eq 0 ]; then
            results[$s]=passed
        else
            results[$s]="FAILED (exit $rc)"
            failed=1
        fi
        echo "==== stage $s: ${results[$s]} in ${seconds[$s]} s"
        if [ "$s" = setup ] && [ $rc -ne 0 ]; then
            echo "test-all.sh: set-up failed, nothing else can run" >&2
            break
        fi
    done

    echo
    echo "==== summary"
    for s in "${selected[@]}"; do
        printf '  %-14s %-20s %5s s\n' "$s" "${results[$s]:-not run}" "${seconds[$s]:-0}"
    done
    echo "  total $((SECONDS - run_start)) s"
    if [ $failed -ne 0 ]; then
        echo "==== FAILED"
        exit 1
    fi
    echo "==== all stages passed"
}

main "$@"
exit $?
