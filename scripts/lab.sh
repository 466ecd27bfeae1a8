#!/usr/bin/env bash
# A home router in network namespaces, for tests that need a real UPnP gateway.
#
#   lab.sh up NAME [--igd v1|v2] [--no-upnpd] [--secure-mode] [--natpmp] [--no-upnp] [--ipv6]
#                  [--mape v6plus|ocn|fixed] [--port-set-only]
#                                               build the lab (and start miniupnpd;
#                                               --secure-mode: only for the asking host;
#                                               --natpmp: also NAT-PMP and PCP on UDP 5351
#                                               (enable_natpmp=yes); --no-upnp: no SSDP
#                                               and no HTTP (enable_upnp=no), with
#                                               --natpmp the router of a UPnP-less box;
#                                               --ipv6: global IPv6 addresses too, and
#                                               pinholes (ext_ifname6=wan0);
#                                               --mape: a Japanese MAP-E line, see below;
#                                               --port-set-only: miniupnpd allows only
#                                               the line's port set)
#   lab.sh down NAME                            remove it again (safe to repeat)
#   lab.sh mappings NAME [--raw]                the router's port forwards, one a line
#                                               "PROTO EXTPORT INTERNALIP:PORT" (--raw: nft's DNAT lines)
#   lab.sh pinholes NAME [--raw]                the router's IPv6 pinholes, one a line
#                                               "PROTO PORT ADDRESS" (--raw: nft's lines)
#   lab.sh reach NAME TCP|UDP PORT              exit 0 when a packet from the WAN peer gets
#                                               to [LAB_HOST_IP6]:PORT within 2 s, else 1
#   lab.sh info NAME                            the lab's facts as KEY=VALUE lines
#   lab.sh stop|start NAME                      stop or start the lab's miniupnpd
#   lab.sh flush NAME                           empty miniupnpd's chains (its mappings; a running
#                                               miniupnpd then still believes it holds them)
#   lab.sh reboot NAME                          stop, flush, start: what a router reboot does
#   lab.sh link NAME up|down                    plug or unplug the cable between router and host
#   lab.sh list                                 the labs that are up
#   lab.sh reap                                 remove labs whose owner process is gone
#
# Topology (every address lives only inside the lab's own namespaces, so several
# labs can run at once with the same addresses):
#
#   NAME-lan                 NAME-rtr                          NAME-wan
#   eth0 10.77.0.2/24 <----> lan0 10.77.0.1/24
#   default via 10.77.0.1    wan0 10.78.0.2/24 <------------>  eth0 10.78.0.1/24
#                            default via 10.78.0.1             (no routes out)
#   with --ipv6, from the documentation prefix 2001:db8::/32:
#   eth0 2001:db8:1::2/64    lan0 2001:db8:1::1/64
#   default via 2001:db8:1::1
#                            wan0 2001:db8:2::2/64 <---------> eth0 2001:db8:2::1/64
#                            (no default route)                2001:db8:1::/64 via
#                                                              2001:db8:2::2
#   with --mape KIND, a MAP-E line: the LAN host holds an address of the
#   provider's prefix on eth0 (v6plus and fixed 240b:10:3f6c:d401::2/64, of
#   240b:10:3f6c:d400::/56; ocn 2400:4050:1234:5601::2/64), and the router
#   has no IPv6 at all on lan0 (disable_ipv6), so that nothing can ever be
#   sent to or from that address. miniupnpd reports the outside address the
#   rule gives (v6plus 106.72.63.108, PSID 212; ocn 153.240.72.209, PSID 22;
#   fixed: LAB_EXT_IP, a fixed-address plan on the same prefix).
# Every interface has its link-local fe80:: address too. DAD is off in the
# lab's namespaces, so no address is ever tentative: `up` returns with all of
# them usable. The router forwards IPv6 from the WAN to the LAN host only
# through a pinhole miniupnpd accepts in its chain.
#
# miniupnpd listens on lan0 with its config, pid file and log in the lab's
# state directory (${TMPDIR:-/tmp}/pontaro-lab-NAME), never /etc. It reports
# LAB_EXT_IP as its external address: only a string, no packet goes there
# (the WAN namespace has no way out).
#
# miniupnpd 2.3.1 writes a mapping into chain prerouting_miniupnpd of table
# inet filter as (`lab.sh mappings NAME --raw`)
#   iif "wan0" @nh,72,8 0x6 th dport 8080 dnat ip to 10.77.0.2:8080
# where 0x6 is TCP and 0x11 UDP; `lab.sh mappings NAME` prints it as
#   TCP 8080 10.77.0.2:8080
set -euo pipefail

LAB_LAN_NET=10.77.0.0/24
LAB_ROUTER_IP=10.77.0.1
LAB_HOST_IP=10.77.0.2
LAB_WAN_ROUTER_IP=10.78.0.2
LAB_WAN_PEER_IP=10.78.0.1
LAB_EXT_IP=1.2.3.4
LAB_HTTP_PORT=5000
LAB_LAN_NET6=2001:db8:1::/64
LAB_ROUTER_IP6=2001:db8:1::1
LAB_HOST_IP6=2001:db8:1::2
LAB_WAN_ROUTER_IP6=2001:db8:2::2
LAB_WAN_PEER_IP6=2001:db8:2::1

die() {
    echo "lab.sh: $*" >&2
    exit 2
}

usage() {
    sed -n '2,31p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

check_name() {
    [[ "${1:-}" =~ ^[A-Za-z0-9_]{1,24}$ ]] || die "lab name must be 1-24 letters, digits or _: '${1:-}'"
}

state_dir() { echo "${TMPDIR:-/tmp}/pontaro-lab-$1"; }

ns_exists() { ip netns list | awk '{print $1}' | grep -qx -- "$1"; }

cmd_up() {
    local name="$1"
    shift
    local igd=v2 upnpd=1 secure=no natpmp=no upnp=yes ipv6=no mape="" portset=no
    while [ $# -gt 0 ]; do
        case "$1" in
            --igd)
                [ $# -ge 2 ] || usage
                igd="$2"
                shift 2
                ;;
            --igd=*)
                igd="${1#--igd=}"
                shift
                ;;
            --no-upnpd)
                upnpd=0
                shift
                ;;
            --secure-mode)
                secure=yes
                shift
                ;;
            --natpmp)
                natpmp=yes
                shift
                ;;
            --no-upnp)
                upnp=no
                shift
                ;;
            --ipv6)
                ipv6=yes
                shift
                ;;
            --mape)
                [ $# -ge 2 ] || usage
                mape="$2"
                shift 2
                ;;
            --port-set-only)
                portset=yes
                shift
                ;;
            *) die "unknown option '$1'" ;;
        esac
    done
    [ "$igd" = v1 ] || [ "$igd" = v2 ] || die "--igd takes v1 or v2"
    case "$mape" in
        "" | v6plus | ocn | fixed) ;;
        *) die "--mape takes v6plus, ocn or fixed" ;;
    esac
    [ -z "$mape" ] || [ "$ipv6" = no ] || die "--mape and --ipv6 do not go together"
    if [ "$portset" = yes ] && { [ -z "$mape" ] || [ "$mape" = fixed ]; }; then
        die "--port-set-only needs --mape v6plus or ocn"
    fi

    local lan="$name-lan" rtr="$name-rtr" wan="$name-wan" dir
    dir="$(state_dir "$name")"
    for ns in "$lan" "$rtr" "$wan"; do
        ! ns_exists "$ns" || die "namespace $ns already exists (lab $name is up?)"
    done
    [ ! -e "$dir" ] || die "$dir already exists (lab $name is up? try: lab.sh down $name)"
    mkdir -p "$dir"
    # From here on a failure leaves a state directory, so `down` can clean up.
    trap 'echo "lab.sh: up failed, cleaning up" >&2; cmd_down "$name" >/dev/null 2>&1 || true' ERR

    for ns in "$lan" "$rtr" "$wan"; do
        ip netns add "$ns"
        echo "$ns" >>"$dir/namespaces"
        ip -n "$ns" link set lo up
        # Interfaces made from here on inherit "default": no duplicate address
        # detection, so link-local and static addresses are usable at once, and
        # IPv6 addresses that outlive `lab.sh link NAME down`, as IPv4's do.
        ip netns exec "$ns" sysctl -q -w net.ipv6.conf.default.accept_dad=0 net.ipv6.conf.all.accept_dad=0 \
            net.ipv6.conf.default.keep_addr_on_down=1 net.ipv6.conf.all.keep_addr_on_down=1
    done

    # The veth pairs are created inside the namespaces, so no interface ever
    # appears (or clashes) in the machine's own namespace.
    ip -n "$rtr" link add lan0 type veth peer name eth0 netns "$lan"
    ip -n "$rtr" link add wan0 type veth peer name eth0 netns "$wan"

    ip -n "$lan" addr add "$LAB_HOST_IP/24" dev eth0
    ip -n "$lan" link set eth0 up
    ip -n "$lan" route add default via "$LAB_ROUTER_IP"

    ip -n "$rtr" addr add "$LAB_ROUTER_IP/24" dev lan0
    ip -n "$rtr" addr add "$LAB_WAN_ROUTER_IP/24" dev wan0
    ip -n "$rtr" link set lan0 up
    ip -n "$rtr" link set wan0 up
    ip -n "$rtr" route add default via "$LAB_WAN_PEER_IP"
    ip netns exec "$rtr" sysctl -q -w net.ipv4.ip_forward=1

    ip -n "$wan" addr add "$LAB_WAN_PEER_IP/24" dev eth0
    ip -n "$wan" link set eth0 up

    if [ "$ipv6" = yes ]; then
        ip -n "$lan" addr add "$LAB_HOST_IP6/64" dev eth0 nodad
        ip -n "$lan" -6 route add default via "$LAB_ROUTER_IP6"
        ip -n "$rtr" addr add "$LAB_ROUTER_IP6/64" dev lan0 nodad
        ip -n "$rtr" addr add "$LAB_WAN_ROUTER_IP6/64" dev wan0 nodad
        ip netns exec "$rtr" sysctl -q -w net.ipv6.conf.all.forwarding=1
        ip -n "$wan" addr add "$LAB_WAN_PEER_IP6/64" dev eth0 nodad
        ip -n "$wan" -6 route add "$LAB_LAN_NET6" via "$LAB_WAN_ROUTER_IP6"
    fi
    local ext_ip="$LAB_EXT_IP" mape_ip6=""
    if [ -n "$mape" ]; then
        read -r mape_ip6 ext_ip _ _ _ <<<"$(mape_line "$mape")"
        ip -n "$lan" addr add "$mape_ip6/64" dev eth0 nodad
    fi
    wait_addresses "$name"
    # Once every link-local address is there (it goes with IPv6).
    [ -z "$mape" ] || ip netns exec "$rtr" sysctl -q -w net.ipv6.conf.lan0.disable_ipv6=1

    # The ruleset miniupnpd 2.3.1 expects by default: table inet filter with its
    # own chains, jumped to from the usual base chains.
    cat >"$dir/ruleset.nft" <<'EOF'
table inet filter {
    chain miniupnpd {
    }
    chain prerouting_miniupnpd {
    }
    chain postrouting_miniupnpd {
    }
    chain forward {
        type filter hook forward priority 0; policy accept;
        jump miniupnpd
        ct state established,related accept
        # IPv6 has no NAT to hide the LAN host: from the WAN only a pinhole
        # (accepted in chain miniupnpd) gets through. IPv4 is left as it was.
        meta nfproto ipv6 iifname "wan0" oifname "lan0" drop
    }
    chain prerouting {
        type nat hook prerouting priority -100; policy accept;
        jump prerouting_miniupnpd
    }
    chain postrouting {
        type nat hook postrouting priority 100; policy accept;
        jump postrouting_miniupnpd
        oifname "wan0" masquerade
    }
}
EOF
    ip netns exec "$rtr" nft -f "$dir/ruleset.nft"

    {
        echo "LAB_NAME=$name"
        echo "LAB_LAN_NS=$lan"
        echo "LAB_ROUTER_NS=$rtr"
        echo "LAB_WAN_NS=$wan"
        echo "LAB_ROUTER_IP=$LAB_ROUTER_IP"
        echo "LAB_HOST_IP=$LAB_HOST_IP"
        echo "LAB_WAN_ROUTER_IP=$LAB_WAN_ROUTER_IP"
        echo "LAB_WAN_PEER_IP=$LAB_WAN_PEER_IP"
        echo "LAB_EXT_IP=$ext_ip"
        echo "LAB_IPV6=$ipv6"
        echo "LAB_MAPE=$mape"
        echo "LAB_PORT_SET_ONLY=$portset"
        [ -z "$mape" ] || echo "LAB_MAPE_IP6=$mape_ip6"
        if [ "$ipv6" = yes ]; then
            echo "LAB_ROUTER_IP6=$LAB_ROUTER_IP6"
            echo "LAB_HOST_IP6=$LAB_HOST_IP6"
            echo "LAB_WAN_ROUTER_IP6=$LAB_WAN_ROUTER_IP6"
            echo "LAB_WAN_PEER_IP6=$LAB_WAN_PEER_IP6"
        fi
        echo "LAB_IGD=$igd"
        echo "LAB_SECURE=$secure"
        # What the daemon serves; both "no" without one.
        if [ "$upnpd" = 1 ]; then
            echo "LAB_UPNP=$upnp"
            echo "LAB_NATPMP=$natpmp"
        else
            echo "LAB_UPNP=no"
            echo "LAB_NATPMP=no"
        fi
        if [ "$upnpd" = 1 ] && [ "$upnp" = yes ]; then
            echo "LAB_HTTP_PORT=$LAB_HTTP_PORT"
        else
            echo "LAB_HTTP_PORT="
        fi
    } >"$dir/info"

    if [ "$upnpd" = 1 ]; then
        start_upnpd "$name" "$igd" "$secure" "$natpmp" "$upnp" "$ipv6"
    fi
    trap - ERR
}

# mape_line KIND: "HOST_IPV6 OUTSIDE_IPV4 PSID PSID_OFFSET PSID_LENGTH" of the
# lab's line (the worked examples of RFC 7597 §5.1 on the providers' rules).
mape_line() {
    case "$1" in
        v6plus) echo "240b:10:3f6c:d401::2 106.72.63.108 212 4 8" ;;
        ocn) echo "2400:4050:1234:5601::2 153.240.72.209 22 6 6" ;;
        fixed) echo "240b:10:3f6c:d401::2 $LAB_EXT_IP 212 4 8" ;;
    esac
}

# The line's port set as miniupnpd permission rules for the LAN, one block a
# line: A·2^(16-a) + PSID·2^m to the block's end, A from 1 to 2^a - 1.
port_set_rules() {
    local psid="$1" a="$2" k="$3" m first
    m=$((16 - a - k))
    for ((A = 1; A < (1 << a); A++)); do
        first=$(((A << (16 - a)) | (psid << m)))
        echo "allow $first-$((first + (1 << m) - 1)) $LAB_LAN_NET 0-65535"
    done
}

start_upnpd() {
    local name="$1" igd="$2" secure="${3:-no}" natpmp="${4:-no}" upnp="${5:-yes}" ipv6="${6:-no}"
    local dir rtr="$1-rtr"
    dir="$(state_dir "$name")"
    {
        echo "ext_ifname=wan0"
        # Pinholes for the LAN host. No ipv6_listening_ip: with it miniupnpd
        # 2.3.1 no longer serves HTTP on IPv4.
        [ "$ipv6" = no ] || echo "ext_ifname6=wan0"
        echo "ext_ip=$(sed -n 's/^LAB_EXT_IP=//p' "$dir/info")"
        echo "listening_ip=lan0"
        echo "http_port=$LAB_HTTP_PORT"
        # NAT-PMP and PCP share the switch and UDP port 5351 of lan0.
        echo "enable_natpmp=$natpmp"
        echo "enable_upnp=$upnp"
        # The LAN host maps ports to itself and, in tests, to other LAN addresses;
        # in secure mode (many routers' default) a host may only touch its own.
        echo "secure_mode=$secure"
        echo "system_uptime=no"
        echo "notify_interval=900"
        echo "clean_ruleset_interval=0"
        echo "uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b"
        echo "serial=12345678"
        echo "model_number=1"
        echo "friendly_name=Pontaro lab router"
        echo "upnp_table_name=filter"
        echo "upnp_nat_table_name=filter"
        echo "upnp_forward_chain=miniupnpd"
        echo "upnp_nat_chain=prerouting_miniupnpd"
        echo "upnp_nat_postrouting_chain=postrouting_miniupnpd"
        if [ "$igd" = v1 ]; then
            echo "force_igd_desc_v1=yes"
        fi
        if [ "$(sed -n 's/^LAB_PORT_SET_ONLY=//p' "$dir/info")" = yes ]; then
            local line
            read -r -a line <<<"$(mape_line "$(sed -n 's/^LAB_MAPE=//p' "$dir/info")")"
            port_set_rules "${line[2]}" "${line[3]}" "${line[4]}"
        else
            echo "allow 0-65535 $LAB_LAN_NET 0-65535"
        fi
        echo "deny 0-65535 0.0.0.0/0 0-65535"
    } >"$dir/miniupnpd.conf"
    # -d keeps it in the foreground with its log on stderr; `ip netns exec`
    # execs it, so $! is the daemon itself.
    ip netns exec "$rtr" miniupnpd -d -f "$dir/miniupnpd.conf" -P "$dir/miniupnpd.pid" \
        </dev/null >"$dir/miniupnpd.log" 2>&1 &
    echo $! >"$dir/miniupnpd.daemon"
    disown $! 2>/dev/null || true
}

# Until every interface that is up has its link-local address and no address
# is tentative (3 s at most): tests and daemons may bind to any of them.
wait_addresses() {
    local ns pending
    for _ in $(seq 1 60); do
        pending=0
        for ns in "$1-lan" "$1-rtr" "$1-wan"; do
            if ip -n "$ns" -6 addr show tentative | grep -q inet6; then pending=1; fi
            while read -r dev; do
                ip -n "$ns" -6 addr show dev "$dev" scope link | grep -q 'inet6 fe80:' || pending=1
            done < <(ip -n "$ns" -o link show up | awk -F': ' '$2 != "lo" { sub(/@.*/, "", $2); print $2 }')
        done
        [ "$pending" = 1 ] || return 0
        sleep 0.05
    done
    echo "lab.sh: IPv6 addresses of lab $1 still not ready:" >&2
    for ns in "$1-lan" "$1-rtr" "$1-wan"; do ip -n "$ns" -6 addr >&2; done
    return 1
}

cmd_stop() {
    local dir pid
    dir="$(state_dir "$1")"
    [ -f "$dir/info" ] || die "no lab named $1"
    pid="$(cat "$dir/miniupnpd.daemon" 2>/dev/null || true)"
    [[ "$pid" =~ ^[0-9]+$ ]] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    rm -f "$dir/miniupnpd.daemon" "$dir/miniupnpd.pid"
}

cmd_start() {
    local dir
    dir="$(state_dir "$1")"
    [ -f "$dir/info" ] || die "no lab named $1"
    [ ! -s "$dir/miniupnpd.daemon" ] || die "miniupnpd of lab $1 is running"
    start_upnpd "$1" "$(sed -n 's/^LAB_IGD=//p' "$dir/info")" \
        "$(sed -n 's/^LAB_SECURE=//p' "$dir/info")" "$(sed -n 's/^LAB_NATPMP=//p' "$dir/info")" \
        "$(sed -n 's/^LAB_UPNP=//p' "$dir/info")" "$(sed -n 's/^LAB_IPV6=//p' "$dir/info")"
}

cmd_flush() {
    [ -f "$(state_dir "$1")/info" ] || die "no lab named $1"
    local chain
    for chain in miniupnpd prerouting_miniupnpd postrouting_miniupnpd; do
        ip netns exec "$1-rtr" nft flush chain inet filter "$chain"
    done
}

cmd_link() {
    [ -f "$(state_dir "$1")/info" ] || die "no lab named $1"
    [ "${2:-}" = up ] || [ "${2:-}" = down ] || die "link takes up or down"
    # The router's side: the host keeps its address and routes, but loses
    # the carrier, as when the cable is pulled.
    ip -n "$1-rtr" link set lan0 "$2"
}

cmd_down() {
    local name="$1" dir ns pids
    dir="$(state_dir "$name")"
    # Only what `up` recorded is removed; without the state directory there is
    # nothing of ours to remove.
    [ -d "$dir" ] || return 0
    if [ -f "$dir/namespaces" ]; then
        for ns in $(cat "$dir/namespaces"); do
            ns_exists "$ns" || continue
            pids="$(ip netns pids "$ns" 2>/dev/null || true)"
            if [ -n "$pids" ]; then
                kill -TERM $pids 2>/dev/null || true
            fi
        done
        for _ in $(seq 1 30); do
            pids=""
            for ns in $(cat "$dir/namespaces"); do
                ns_exists "$ns" && pids="$pids$(ip netns pids "$ns" 2>/dev/null || true)"
            done
            [ -z "$pids" ] && break
            sleep 0.1
        done
        for ns in $(cat "$dir/namespaces"); do
            ns_exists "$ns" || continue
            pids="$(ip netns pids "$ns" 2>/dev/null || true)"
            if [ -n "$pids" ]; then
                kill -KILL $pids 2>/dev/null || true
            fi
            ip netns del "$ns" 2>/dev/null || true
        done
    fi
    rm -rf -- "$dir"
}

cmd_mappings() {
    local name="$1" raw="${2:-}" chain
    [ -d "$(state_dir "$name")" ] || die "no lab named $name"
    chain="$(ip netns exec "$name-rtr" nft list chain inet filter prerouting_miniupnpd)"
    if [ "$raw" = --raw ]; then
        grep -E 'dnat' <<<"$chain" | sed 's/^[[:space:]]*//' || true
        return 0
    fi
    # miniupnpd matches the protocol on the raw IP header byte (@nh,72,8 0x6 is
    # TCP, 0x11 UDP); newer nft versions may print tcp/udp instead.
    awk '/dnat/ {
        proto = "?"; port = "?"; to = "?"
        for (i = 1; i <= NF; i++) {
            if ($i == "@nh,72,8") { proto = ($(i + 1) == "0x6") ? "TCP" : ($(i + 1) == "0x11") ? "UDP" : $(i + 1) }
            else if ($i == "tcp" || $i == "udp") { if (proto == "?") proto = toupper($i) }
            else if ($i == "dport") { port = $(i + 1) }
            else if ($i == "to") { to = $(i + 1) }
        }
        print proto, port, to
    }' <<<"$chain"
}

# miniupnpd 2.3.1 writes a pinhole into chain miniupnpd as
#   iif "wan0" th dport 8080 @nh,192,128 0x20010db8000100000000000000000002 @nh,48,8 0x6 accept
# (the IPv6 destination address and next-header byte of the raw header).
cmd_pinholes() {
    local name="$1" raw="${2:-}" rules
    [ -d "$(state_dir "$name")" ] || die "no lab named $name"
    rules="$(ip netns exec "$name-rtr" nft list chain inet filter miniupnpd | grep -F '@nh,192,128' |
        sed 's/^[[:space:]]*//' || true)"
    if [ "$raw" = --raw ]; then
        [ -z "$rules" ] || echo "$rules"
        return 0
    fi
    python3 -c '
import ipaddress, sys
for line in filter(str.strip, sys.stdin):
    f = line.split()
    def after(key):
        return f[f.index(key) + 1] if key in f and f.index(key) + 1 < len(f) else "?"
    proto = {"0x6": "TCP", "0x11": "UDP"}.get(after("@nh,48,8"), after("@nh,48,8"))
    address = after("@nh,192,128")
    try:
        address = str(ipaddress.IPv6Address(int(address, 16)))
    except ValueError:
        pass
    print(proto, after("dport"), address)
' <<<"$rules"
}

# A listener on the LAN host and one try from the WAN peer: a TCP connection
# accepted, or one of a few UDP datagrams received, within 2 s.
cmd_reach() {
    local name="$1" proto="${2:-}" port="${3:-}" dir host out pid rc
    dir="$(state_dir "$name")"
    [ -f "$dir/info" ] || die "no lab named $name"
    host="$(sed -n 's/^LAB_HOST_IP6=//p' "$dir/info")"
    [ -n "$host" ] || die "lab $name has no IPv6 (lab.sh up --ipv6)"
    proto="$(tr '[:lower:]' '[:upper:]' <<<"$proto")"
    [ "$proto" = TCP ] || [ "$proto" = UDP ] || die "reach takes TCP or UDP"
    [[ "$port" =~ ^[0-9]+$ ]] && [ "$port" -ge 1 ] && [ "$port" -le 65535 ] || die "bad port '$port'"
    # The listener says "ready" once bound, then exits 0 on the first arrival.
    out="$(mktemp "$dir/reach.XXXXXX")"
    ip netns exec "$name-lan" python3 -c '
import socket, sys
host, proto, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
s = socket.socket(socket.AF_INET6, socket.SOCK_STREAM if proto == "TCP" else socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind((host, port))
if proto == "TCP":
    s.listen(1)
s.settimeout(2)
print("ready", flush=True)
try:
    s.accept() if proto == "TCP" else s.recvfrom(64)
except socket.timeout:
    sys.exit(1)
' "$host" "$proto" "$port" >"$out" 2>&1 &
    pid=$!
    for _ in $(seq 1 60); do
        grep -qx ready "$out" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if ! grep -qx ready "$out"; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        die "no listener on [$host]:$port: $(cat "$out"; rm -f "$out")"
    fi
    ip netns exec "$name-wan" python3 -c '
import socket, sys, time
host, proto, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
s = socket.socket(socket.AF_INET6, socket.SOCK_STREAM if proto == "TCP" else socket.SOCK_DGRAM)
s.settimeout(1.5)
if proto == "TCP":
    try:
        s.connect((host, port))
    except OSError:
        pass
else:
    for _ in range(4):
        s.sendto(b"pontaro lab", (host, port))
        time.sleep(0.2)
' "$host" "$proto" "$port" || true
    rc=0
    wait "$pid" || rc=1
    rm -f "$out"
    return "$rc"
}

cmd_info() {
    local dir
    dir="$(state_dir "$1")"
    [ -f "$dir/info" ] || die "no lab named $1"
    cat "$dir/info"
    echo "LAB_STATE_DIR=$dir"
}

cmd_list() {
    local dir
    for dir in "${TMPDIR:-/tmp}"/pontaro-lab-*; do
        [ -d "$dir" ] && echo "${dir##*/pontaro-lab-}"
    done
    return 0
}

# with-lab.sh records its pid as the lab's owner; a lab whose owner died
# without cleaning up (SIGKILL) is removed here.
cmd_reap() {
    local name owner
    for name in $(cmd_list); do
        owner="$(cat "$(state_dir "$name")/owner" 2>/dev/null || true)"
        [[ "$owner" =~ ^[0-9]+$ ]] || continue
        if ! kill -0 "$owner" 2>/dev/null; then
            echo "lab.sh: removing lab $name (owner $owner is gone)"
            cmd_down "$name"
        fi
    done
}

[ "$(id -u)" = 0 ] || die "needs root (network namespaces)"
case "${1:-}" in
    list)
        cmd_list
        exit 0
        ;;
    reap)
        cmd_reap
        exit 0
        ;;
esac
[ $# -ge 2 ] || usage
command="$1"
name="$2"
shift 2
check_name "$name"
case "$command" in
    up) cmd_up "$name" "$@" ;;
    down) cmd_down "$name" ;;
    mappings) cmd_mappings "$name" "$@" ;;
    pinholes) cmd_pinholes "$name" "$@" ;;
    reach) cmd_reach "$name" "$@" ;;
    info) cmd_info "$name" ;;
    stop) cmd_stop "$name" ;;
    start) cmd_start "$name" ;;
    flush) cmd_flush "$name" ;;
    reboot)
        cmd_stop "$name"
        cmd_flush "$name"
        cmd_start "$name"
        ;;
    link) cmd_link "$name" "$@" ;;
    *) usage ;;
esac
