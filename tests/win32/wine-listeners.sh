#!/usr/bin/env bash
# pontaro-cli.exe under Wine on the LAN host of a router lab, with a program
# listening behind some of the opened ports (TCP on every address, TCP on
# 127.0.0.1 only, UDP) and nothing behind another: the notes as Wine's
# GetExtendedTcpTable / GetExtendedUdpTable make them. Wine 8 lists the
# sockets of the namespace but names no owner (pid 0: no program name), and
# its NetFwPolicy2 is created but get_CurrentProfileTypes is a stub, so the
# firewall stays unknown ("firewall": null) and no firewall note comes; the
# verdict itself is tested on tables (FirewallVerdict.*).
#
#   with-lab.sh --igd v2 -- wine-listeners.sh WINE64 PONTARO-CLI.EXE WORKDIR
set -uo pipefail

wine="$1"
exe="$(realpath "$2")"
workdir="$(realpath -m "$3")"
: "${PONTARO_LAB_NAME:?run me through scripts/with-lab.sh}"
source "$(dirname "${BASH_SOURCE[0]}")/wine-console.sh"
listener=
cleanup() {
    [ -z "$listener" ] || kill "$listener" 2>/dev/null
    wine_console_cleanup
}
trap cleanup EXIT
wine_console_start "$wine" "$workdir" || exit 1

python3 "$(dirname "${BASH_SOURCE[0]}")/../support/listen.py" "$workdir/listening" \
    tcp:0.0.0.0:8401 tcp:127.0.0.1:8402 udp:0.0.0.0:8403 &
listener=$!
for _ in $(seq 1 50); do [ -e "$workdir/listening" ] && break; sleep 0.1; done

out="$workdir/out.txt"
timeout 120 "$wine" "$exe" --no-ipv6 "8401, 8401, TCP, all" "8402, 8402, TCP, loopback" \
    "8403, 8403, UDP, udp" "8404, 8404, TCP, nobody" >"$out" 2>"$workdir/err.txt"
rc=$?
expected="◆UPnP対応ルータが見つかりました
- Address : $PONTARO_LAB_ROUTER_IP
- Control URL : http://$PONTARO_LAB_ROUTER_IP:$PONTARO_LAB_HTTP_PORT/rootDesc.xml
■ 8401 -> 8401 [TCP] : ○　設定に成功しました。
■ 8402 -> 8402 [TCP] : ○　設定に成功しました。
  ※ ポート 8402 [TCP] は 127.0.0.1 だけで待ち受けています。外からは届きません。
■ 8403 -> 8403 [UDP] : ○　設定に成功しました。
■ 8404 -> 8404 [TCP] : ○　設定に成功しました。
  ※ このPCではポート 8404 [TCP] を待ち受けているプログラムがありません。サーバを起動すると外から届きます。
- External IP : $PONTARO_LAB_EXT_IP
"
got="$(tr -d '\r' <"$out")"
if [ "$rc" != 0 ] || [ "$got" != "${expected%$'\n'}" ]; then
    echo "FAIL: exit $rc; output differs:" >&2
    diff <(printf '%s' "${expected%$'\n'}") <(printf '%s' "$got") >&2
    cat "$workdir/err.txt" >&2
    exit 1
fi
timeout 120 "$wine" "$exe" --json --no-ipv6 "8401, 8401, TCP, all" >"$workdir/json.txt" 2>&1
python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["rules"][0]
sys.exit(0 if r["listening"] == {"state": "listening", "address": "0.0.0.0", "program": None, "pid": None}
         and r["firewall"] is None else 1)' "$workdir/json.txt" || {
    echo "FAIL: --json under Wine:" >&2
    cat "$workdir/json.txt" >&2
    exit 1
}
echo "wine-listeners: the notes as expected; Wine names no owner and reads no firewall"
