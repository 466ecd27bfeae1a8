#!/usr/bin/env bash
# Demo: brings up the router lab (miniupnpd in network namespaces), runs
# pontaro-cli against it from the lab's LAN host, shows the log it prints and
# the forwarding rules the router now has, and removes the lab again.
#
#   sudo scripts/demo.sh [RULE ...]     (default: the two rules of the window's example)
#
# Uses build/linux/src/cli/pontaro-cli, building it first if it is missing
# (PONTARO_CLI=path picks another binary). Needs root (network namespaces).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${PONTARO_CLI:-$root/build/linux/src/cli/pontaro-cli}"
[ "$(id -u)" = 0 ] || { echo "demo.sh: needs root (network namespaces); try: sudo $0" >&2; exit 2; }
if [ ! -x "$cli" ]; then
    echo "== building pontaro-cli =="
    (cd "$root" && cmake --preset linux >/dev/null && cmake --build --preset linux --target pontaro-cli)
fi
if [ $# -eq 0 ]; then
    set -- "80, 80, TCP, HTTP接続の通過" "21, 21, TCP, FTP接続の通過"
fi

exec "$root/scripts/with-lab.sh" -- bash -c '
    cli="$1"
    shift
    echo "== rules =="
    printf "%s\n" "$@"
    echo
    echo "== pontaro-cli --verbose (on the LAN host $PONTARO_LAB_HOST_IP) =="
    "$cli" --verbose "$@"
    rc=$?
    echo "(exit status $rc)"
    echo
    echo "== the router'"'"'s forwarding rules (lab.sh mappings) =="
    "$PONTARO_LAB_SCRIPTS/lab.sh" mappings "$PONTARO_LAB_NAME"
    echo
    echo "== as nftables holds them =="
    "$PONTARO_LAB_SCRIPTS/lab.sh" mappings "$PONTARO_LAB_NAME" --raw
    exit $rc
' demo "$cli" "$@"
