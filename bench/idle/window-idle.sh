#!/usr/bin/env bash
# The idle cost of the window: starts `pontaro` in a network namespace of its
# own (only loopback, so the start-up run finds nothing and sends nothing out),
# under a private Xvfb when there is one (else the offscreen platform), waits
# until the start-up run is over, then measures the CPU time of all of the
# process's threads over SECONDS (default 60).
#
#   window-idle.sh PATH/TO/pontaro [SECONDS] [PATH/TO/bench_wake_baseline]
#
# Prints the figure and exits 1 when it is above 0.1 % of one core. Needs root
# (or user namespaces) for the network namespace. With the baseline program,
# also prints what a bare thread waking every 100 ms costs on this machine
# over the same time: the floor under any window that keeps a 100 ms timer.
set -euo pipefail

limit_percent=0.1
binary=${1:?usage: window-idle.sh PATH/TO/pontaro [SECONDS]}
seconds=${2:-60}
binary=$(readlink -f "$binary")
baseline=${3:-}
[ -z "$baseline" ] || baseline=$(readlink -f "$baseline")

if [ "${PONTARO_IDLE_IN_NETNS:-}" != 1 ]; then
    unshare --net true 2>/dev/null || { echo "window-idle.sh: cannot create a network namespace" >&2; exit 2; }
    export PONTARO_IDLE_IN_NETNS=1
    exec unshare --net bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$binary" "$seconds" \
        $baseline
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-idle.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A profile with one rule, as a user would have it; nothing periodic.
mkdir -p "$work/config/pontaro"
printf '[Setting]\nSetting=80, 80, TCP, HTTP\nAuto=0\nClose=0\n' >"$work/config/pontaro/pontaro.ini"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work"

platform=offscreen
if command -v Xvfb >/dev/null 2>&1; then
    mkfifo "$work/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    display=$(head -n 1 "$work/display")
    if [ -n "$display" ]; then
        export DISPLAY=":$display"
        platform=xcb
    fi
fi
export QT_QPA_PLATFORM=$platform

"$binary" >"$work/pontaro.log" 2>&1 &
pid=$!
pids+=("$pid")

# The start-up run comes 100 ms after the start and listens 3 s for a gateway
# that is not there; the window is idle once the search's socket is gone.
sleep 1
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || { echo "window-idle.sh: pontaro ended:" >&2; cat "$work/pontaro.log" >&2; exit 2; }
    if ! ls -l "/proc/$pid/fd" 2>/dev/null | grep -q 'socket:' ||
        [ "$(grep -c . "/proc/$pid/net/udp")" -le 1 ]; then
        break
    fi
    sleep 0.1
done
sleep 1

base_pid=
if [ -n "$baseline" ]; then
    "$baseline" &
    base_pid=$!
    pids+=("$base_pid")
fi

# CPU time of every thread in nanoseconds (schedstat), and in clock ticks
# (stat: utime + stime) as the coarser cross-check.
cpu_ns() {
    local total=0 t
    for t in /proc/"${1:-$pid}"/task/*/schedstat; do
        total=$((total + $(cut -d' ' -f1 "$t")))
    done
    echo "$total"
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }

# Per thread, to see where the time goes: "tid name ns".
threads() {
    local t
    for t in /proc/"$pid"/task/*; do
        printf '%s %s %s\n' "${t##*/}" "$(tr ' ' _ <"$t/comm")" "$(cut -d' ' -f1 "$t/schedstat")"
    done
}

threads >"$work/threads0"
ticks0=$(cpu_ticks); t0=$(date +%s%N)
[ -z "$base_pid" ] || base0=$(cpu_ns "$base_pid")
sleep "$seconds"
ticks1=$(cpu_ticks); t1=$(date +%s%N)
[ -z "$base_pid" ] || base1=$(cpu_ns "$base_pid")
kill -0 "$pid" 2>/dev/null || { echo "window-idle.sh: pontaro ended during the measurement" >&2; exit 2; }
threads >"$work/threads1"
join "$work/threads0" "$work/threads1" |
    awk '$5 - $3 > 0 { printf "  thread %s (%s): %.1f ms\n", $1, $2, ($5 - $3) / 1e6 }'

hz=$(getconf CLK_TCK)
if [ -n "$base_pid" ]; then
    awk -v ns=$((base1 - base0)) -v wall=$((t1 - t0)) 'BEGIN {
        printf "baseline, a bare thread waking every 100 ms: %.1f ms CPU = %.4f %% of a core\n",
            ns / 1e6, 100 * ns / wall }'
fi
# Threads can end during the measurement (Qt's start-up helpers do), which
# would make a plain sum of the live threads shrink: count each thread that
# lives at the end from its value at the start (0 when it is new), and take
# the coarse process figure, which keeps ended threads, when that is larger.
ns_delta=$(awk 'NR == FNR { start[$1] = $3; next } { d += $3 - ($1 in start ? start[$1] : 0) }
               END { printf "%d", d }' "$work/threads0" "$work/threads1")
awk -v ns="$ns_delta" -v ticks=$((ticks1 - ticks0)) -v hz="$hz" -v wall=$((t1 - t0)) \
    -v limit="$limit_percent" -v platform="$platform" -v threads="$(ls /proc/$pid/task | wc -l)" '
BEGIN {
    if (1e9 * ticks / hz > ns) ns = 1e9 * ticks / hz
    pct = 100 * ns / wall
    printf "pontaro idle (%s, %d threads): %.1f ms CPU in %.1f s = %.4f %% of a core ", \
        platform, threads, ns / 1e6, wall / 1e9, pct
    printf "(stat: %d ticks = %.0f ms); limit %.1f %%\n", ticks, 1000 * ticks / hz, limit
    exit (pct <= limit) ? 0 : 1
}'
