#!/usr/bin/env bash
# The Debian package's service where systemd cannot run (a container): the
# unit passes systemd-analyze verify and keeps its systemd-analyze security
# exposure; then the unit's own command line runs on the LAN host of a
# router lab, as the packaged pontaro-cli with the packaged rules file (its
# commented examples) and two lab rules, with a dynamic user's rights: a
# uid of no one, no capabilities, no new privileges, every file system
# read-only but the state directory. The router must forward both rules,
# the output must be the log, SIGTERM (systemctl stop) must end it with
# status 0, and nothing may be written outside the state directory; every
# socket family and system call it used must be one the unit allows.
#
#   with-lab.sh [--ipv6 | --natpmp --no-upnp] -- service-unit.sh PONTARO.DEB
# (over PCP the profile, with its key, must be written in the state directory)
set -uo pipefail
deb="$(realpath "${1:?usage: with-lab.sh -- service-unit.sh PONTARO.DEB}")"
: "${PONTARO_LAB_NAME:?not inside a router lab (run through with-lab.sh)}"
for tool in systemd-analyze strace setpriv unshare; do
    command -v $tool >/dev/null || { echo "service-unit: no $tool; skipped" >&2; exit 77; }
done
# The exposure systemd-analyze security gives the unit (1.2 when written);
# more means a hardening setting was lost.
max_exposure=1.2
uid=61873 # in systemd's range for dynamic users, which no account uses

work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-service.XXXXXX")
chmod 755 "$work"
pid=
cleanup() {
    [ -z "$pid" ] || kill "$pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ ! -s "$work/out/journal" ] || { echo "--- its output:" >&2; cat "$work/out/journal" >&2; }
    exit 1
}
getent passwd $uid >/dev/null && fail "uid $uid belongs to an account here"

tree="$work/tree"
dpkg-deb -x "$deb" "$tree"
unit="$tree/usr/lib/systemd/system/pontaro.service"
[ -f "$unit" ] || fail "no usr/lib/systemd/system/pontaro.service in the package"
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)
grep -qx /etc/pontaro/rules <<<"$conffiles" || fail "/etc/pontaro/rules is no conffile"
[ -f "$tree/etc/pontaro/rules" ] || fail "no /etc/pontaro/rules in the package"
grep -q '^WantedBy=multi-user.target$' "$unit" || fail "the unit has no [Install] target"

# --- verify and security, offline, with this machine's units for the
# targets the unit names.
mkdir -p "$tree/lib/systemd"
cp -a /lib/systemd/system "$tree/lib/systemd/"
if ! out=$(MANPATH="$tree/usr/share/man" systemd-analyze verify --root="$tree" pontaro.service 2>&1) ||
    [ -n "$out" ]; then
    fail "systemd-analyze verify: $out"
fi
security=$(systemd-analyze security --offline=yes --root="$tree" pontaro.service 2>&1)
exposure=$(sed -n 's/.*Overall exposure level for pontaro.service: \([0-9.]*\).*/\1/p' <<<"$security")
[ -n "$exposure" ] || fail "systemd-analyze security: $security"
grep '✗' <<<"$security"
awk -v e="$exposure" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }' ||
    fail "exposure $exposure, more than $max_exposure"
echo "ok: systemd-analyze verify, security exposure $exposure"

# --- The unit's command line, as systemd would start it.
unit_value() { sed -n "s/^$1=//p" "$unit"; }
read -r -a command <<<"$(unit_value ExecStart)"
[ "${command[*]}" = "/usr/bin/pontaro-cli --watch -f /etc/pontaro/rules" ] ||
    fail "ExecStart=${command[*]}"
[ "$(unit_value DynamicUser)" = yes ] || fail "no DynamicUser"
state="$work/state/$(unit_value StateDirectory)"
environment="$(unit_value Environment)"
environment="${environment//%S/$work/state}"
[ "$environment" = "XDG_CONFIG_HOME=$state" ] || fail "Environment=$environment"
command[0]="$tree${command[0]}"
cp "$tree/etc/pontaro/rules" "$work/rules"
printf '\n18090, 8090, TCP, サービス試験 A\n18091, 8091, UDP, サービス試験 B\n' >>"$work/rules"
command[3]="$work/rules"
mkdir -p "$state" "$work/out"
chown $uid:$uid "$state"
chmod 700 "$state"

# In a mount namespace of its own: everything read-only (as
# ProtectSystem=strict), then the state directory writable again, and the
# trace beside it for root alone.
unshare --mount --propagation private -- bash -c '
    state=$1 out=$2 uid=$3
    shift 3
    for mp in $(awk "{ print \$5 }" /proc/self/mountinfo | sort -u); do
        case "$mp" in /proc* | /sys* | /dev*) continue ;; esac
        mount -o remount,bind,ro "$mp" 2>/dev/null
    done
    touch /.pontaro-probe 2>/dev/null && { echo "/ stayed writable" >&2; exit 90; }
    for dir in "$state" "$out"; do
        mount --bind "$dir" "$dir" && mount -o remount,bind,rw "$dir" || exit 91
    done
    exec strace -f -qq -o "$out/trace" \
        setpriv --reuid=$uid --regid=$uid --clear-groups --no-new-privs \
        --inh-caps=-all --bounding-set=-all \
        env -i PATH=/usr/bin:/bin HOME=/ LANG=C.UTF-8 "$@" >"$out/journal" 2>&1
' service "$state" "$work/out" $uid "$environment" "${command[@]}" &
pid=$!

host="$PONTARO_LAB_HOST_IP"
want=("TCP 18090 $host:8090" "UDP 18091 $host:8091")
opened() {
    local mappings w
    mappings=$("$PONTARO_LAB_SCRIPTS/lab.sh" mappings "$PONTARO_LAB_NAME" 2>/dev/null)
    for w in "${want[@]}"; do grep -qxF "$w" <<<"$mappings" || return 1; done
}
for _ in $(seq 1 150); do
    opened && break
    kill -0 $pid 2>/dev/null || fail "it ended by itself (status $(wait $pid; echo $?))"
    sleep 0.2
done
opened || fail "after 30 s the router does not forward both rules"
program=$(pgrep -f -x "$(printf '%s ' "${command[@]}" | sed 's/ $//')" | head -n 1)
[ -n "$program" ] || fail "pontaro-cli not found among the processes"
kill -TERM "$program"
wait $pid
rc=$?
pid=
[ $rc = 0 ] || fail "SIGTERM ended it with status $rc"
# In English: systemd gives the service the system's locale, C.UTF-8 here.
grep -qxF "■ 18090 -> 8090 [TCP] : ○ Opened." "$work/out/journal" &&
    grep -qxF "■ 18091 -> 8091 [UDP] : ○ Opened." "$work/out/journal" ||
    fail "the output is not the log of both rules"
echo "ok: the unit's command line as its dynamic user opens both rules; SIGTERM ends it with 0"

# --- What it did, from its own exec on.
trace="$work/out/trace"
sed -n "\\|execve(\"${command[0]}\"|,\$p" "$trace" >"$work/program-trace"
[ -s "$work/program-trace" ] || fail "the trace has no exec of pontaro-cli"
writes=$(grep -E '^[0-9]+ +((open|openat|creat)\(.*(O_WRONLY|O_RDWR|O_CREAT)|(mkdir|rename|unlink|rmdir|link|symlink|chmod|fchmod|truncate)(at|at2)?\()' \
    "$work/program-trace" | grep -oE '"/[^"]*"' | tr -d '"' | grep -vE "^$state(/|\$)|^/dev/null\$" | sort -u)
[ -z "$writes" ] || fail "writes outside the state directory: $writes"
# Over PCP the profile gets the key its mappings are renewed with: the
# write that must land in the state directory.
if [ "${PONTARO_LAB_UPNP:-yes}" = no ]; then
    [ -s "$state/pontaro/pontaro.ini" ] || fail "no profile in the state directory"
fi
allowed_families=" $(unit_value RestrictAddressFamilies) "
families=$(grep -oE 'socket\(AF_[A-Z0-9]+' "$work/program-trace" | cut -d'(' -f2 | sort -u)
for family in $families; do
    [[ "$allowed_families" == *" $family "* ]] || fail "a socket of $family, which the unit forbids"
done
# A filter group's system calls, its nested groups expanded.
group_calls() {
    local line
    systemd-analyze syscall-filter "$1" 2>/dev/null | sed -n '2,$p' | sed 's/^ *//; /^#/d; /^$/d' |
        while read -r line; do
            if [[ "$line" == @* ]]; then group_calls "$line"; else echo "$line"; fi
        done
}
# The unit's filter: its allow lists, less its deny lists (~).
: >"$work/allowed"
: >"$work/denied"
while read -r filter; do
    list=allowed
    [[ "$filter" != "~"* ]] || { list=denied; filter="${filter#\~}"; }
    for name in $filter; do
        if [[ "$name" == @* ]]; then group_calls "$name"; else echo "$name"; fi
    done >>"$work/$list"
done < <(unit_value SystemCallFilter)
sort -u -o "$work/allowed" "$work/allowed"
sort -u -o "$work/denied" "$work/denied"
[ -s "$work/allowed" ] || fail "the unit has no system call filter"
sed -En 's/^[0-9]+ +([a-z_0-9]+)\(.*/\1/p' "$work/program-trace" | sort -u >"$work/used"
[ -s "$work/used" ] || fail "no system call read from the trace"
refused=$(comm -23 "$work/used" "$work/allowed" | tr '\n' ' ')$(comm -12 "$work/used" "$work/denied" | tr '\n' ' ')
[ -z "$refused" ] || fail "system calls the unit's filter refuses: $refused"
echo "ok: it wrote only in its state directory; its $(wc -l <"$work/used") system calls and" \
    "its sockets ("$families") are the unit's"
echo "PASS: pontaro.service"
