#!/usr/bin/env bash
# Runs one command on the LAN host of a fresh router lab, then removes the lab.
#
#   with-lab.sh [--igd v1|v2] [--no-upnpd] [--secure-mode] [--natpmp] [--no-upnp]
#               [--ipv6] [--mape v6plus|ocn|fixed] [--port-set-only]
#               [--timeout SECONDS] -- CMD ARGS...
# (the lab options are lab.sh up's)
#
# CMD runs inside the lab's LAN namespace with these variables set:
#   PONTARO_LAB_NAME, PONTARO_LAB_LAN_NS, PONTARO_LAB_ROUTER_NS, PONTARO_LAB_WAN_NS,
#   PONTARO_LAB_ROUTER_IP, PONTARO_LAB_HOST_IP, PONTARO_LAB_EXT_IP, PONTARO_LAB_IGD,
#   PONTARO_LAB_HTTP_PORT (empty with --no-upnpd or --no-upnp), PONTARO_LAB_UPNP and
#   PONTARO_LAB_NATPMP (yes/no: what miniupnpd serves), PONTARO_LAB_IPV6 (yes/no),
#   with --ipv6 PONTARO_LAB_HOST_IP6, PONTARO_LAB_ROUTER_IP6, PONTARO_LAB_WAN_PEER_IP6,
#   PONTARO_LAB_MAPE (the --mape kind or empty), PONTARO_LAB_PORT_SET_ONLY (yes/no),
#   with --mape PONTARO_LAB_MAPE_IP6 (the LAN host's address of the provider's prefix),
#   PONTARO_LAB_STATE_DIR, PONTARO_LAB_SCRIPTS (this directory).
# The lab is torn down however CMD ends (also on Ctrl-C or TERM); the exit code
# is CMD's, or 2 when the lab could not be built. CMD is stopped after --timeout
# seconds (default 480, exit code 124): a test runner that kills this script
# with SIGKILL on its own time-out would leave the lab behind, so the limit
# here should be the shorter one.
set -uo pipefail

# Everything is inside main, called on the last line, so the whole file is read
# before the (long) run starts and editing it meanwhile is harmless.
main() {
    scripts="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
    lab_args=()
    upnpd=1
    upnp=yes
    natpmp=no
    limit=480
    while [ $# -gt 0 ]; do
        case "$1" in
            --igd)
                [ $# -ge 2 ] || { echo "with-lab.sh: --igd needs v1 or v2" >&2; exit 2; }
                lab_args+=(--igd "$2")
                shift 2
                ;;
            --no-upnpd)
                lab_args+=(--no-upnpd)
                upnpd=0
                shift
                ;;
            --secure-mode)
                lab_args+=(--secure-mode)
                shift
                ;;
            --natpmp)
                lab_args+=(--natpmp)
                natpmp=yes
                shift
                ;;
            --no-upnp)
                lab_args+=(--no-upnp)
                upnp=no
                shift
                ;;
            --ipv6)
                lab_args+=(--ipv6)
                shift
                ;;
            --mape)
                [ $# -ge 2 ] || { echo "with-lab.sh: --mape needs v6plus, ocn or fixed" >&2; exit 2; }
                lab_args+=(--mape "$2")
                shift 2
                ;;
            --port-set-only)
                lab_args+=(--port-set-only)
                shift
                ;;
            --timeout)
                [[ "${2:-}" =~ ^[0-9]+$ ]] || { echo "with-lab.sh: --timeout needs seconds" >&2; exit 2; }
                limit="$2"
                shift 2
                ;;
            --)
                shift
                break
                ;;
            *)
                echo "with-lab.sh: unknown option '$1' (usage: with-lab.sh [--igd v1|v2] [--no-upnpd] -- CMD...)" >&2
                exit 2
                ;;
        esac
    done
    [ $# -gt 0 ] || { echo "with-lab.sh: no command given" >&2; exit 2; }

    # A name unique on this machine: the pid, plus a counter if a lab of that name
    # is somehow still around.
    name="pl$$"
    n=0
    while [ -e "${TMPDIR:-/tmp}/pontaro-lab-$name" ] || ip netns list | grep -q "^$name-"; do
        n=$((n + 1))
        name="pl$$x$n"
    done

    teardown() {
        "$scripts/lab.sh" down "$name" || echo "with-lab.sh: could not remove lab $name" >&2
    }
    trap teardown EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    "$scripts/lab.sh" up "$name" "${lab_args[@]}" || { echo "with-lab.sh: lab did not come up" >&2; exit 2; }
    echo $$ >"${TMPDIR:-/tmp}/pontaro-lab-$name/owner"

    while IFS='=' read -r key value; do
        case "$key" in
            LAB_*) export "PONTARO_$key=$value" ;;
        esac
    done < <("$scripts/lab.sh" info "$name")
    export PONTARO_LAB_SCRIPTS="$scripts"

    # Waits up to 5 s for the command to succeed; otherwise says what did not
    # come up, shows the daemon's log and ends the run.
    wait_for_daemon() {
        local what="$1"
        shift
        for _ in $(seq 1 100); do
            "$@" 2>/dev/null && return 0
            sleep 0.05
        done
        echo "with-lab.sh: miniupnpd $what; its log:" >&2
        cat "$PONTARO_LAB_STATE_DIR/miniupnpd.log" >&2 || true
        exit 2
    }
    if [ "$upnpd" = 1 ] && [ "$upnp" = yes ]; then
        # Ready when the daemon's HTTP port accepts a connection from the LAN host.
        wait_for_daemon "did not answer on $PONTARO_LAB_ROUTER_IP:$PONTARO_LAB_HTTP_PORT" \
            ip netns exec "$PONTARO_LAB_LAN_NS" bash -c \
            "exec 3<>/dev/tcp/$PONTARO_LAB_ROUTER_IP/$PONTARO_LAB_HTTP_PORT"
    elif [ "$upnpd" = 1 ] && [ "$natpmp" = yes ]; then
        # A UDP port shows nothing from outside: the daemon's log says when it listens.
        wait_for_daemon "did not start NAT-PMP/PCP" \
            grep -q "Listening for NAT-PMP/PCP traffic" "$PONTARO_LAB_STATE_DIR/miniupnpd.log"
    fi

    # Not exec: the trap must still run when CMD ends. CMD runs in the background
    # and is waited for so that INT/TERM reach the trap at once.
    timeout --kill-after=10 "$limit" ip netns exec "$PONTARO_LAB_LAN_NS" "$@" &
    child=$!
    trap 'kill -TERM $child 2>/dev/null; wait $child; exit 130' INT
    trap 'kill -TERM $child 2>/dev/null; wait $child; exit 143' TERM
    wait $child
    exit $?
}

main "$@"
