#!/usr/bin/env bash
# Installs everything the build, the tests and the router lab need on a fresh
# Debian 12 machine. Run as root; safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  build-essential cmake ninja-build pkg-config git clang clang-format
  libclang-rt-14-dev googletest libgtest-dev libgmock-dev
  qt6-base-dev libgl-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine64 wine32:i386 xvfb xdotool xclip x11-apps x11-utils trayer imagemagick fonts-ipafont-gothic fonts-ipafont-mincho
  iproute2 nftables miniupnpd-nftables miniupnpc natpmpc procps psmisc
  librsvg2-bin icoutils python3
  dpkg-dev lintian appstream desktop-file-utils man-db nsis unzip systemd strace
)

# wine32 runs the i686 Windows build beside wine64 (both in one 64-bit prefix);
# it comes from Debian's i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # The router daemon's package would start a system service; the lab starts
  # its own instances inside namespaces instead.
  policy=/usr/sbin/policy-rc.d
  created_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"; chmod +x "$policy"; created_policy=1
  fi
  echo "miniupnpd miniupnpd/start_daemon boolean false" | debconf-set-selections || true
  # A mirror caught mid-sync fails one index ("File has unexpected size");
  # it is whole again a little later.
  updated=0
  for try in 1 2 3; do
    apt-get update -q && { updated=1; break; }
    [ "$try" = 3 ] || { echo "setup: apt-get update failed, again in 20 s" >&2; sleep 20; }
  done
  if ! apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    [ "$updated" = 0 ] || exit 1
    # Mirrors have served a stale i386 security index for days. Without it the
    # i386 libraries exist only at the main archive's versions, and each must
    # equal its amd64 twin: so take the main archive's versions for both
    # architectures (no downgrades; security versions already installed stay).
    echo "setup: an index is missing; installing the main archive's versions" >&2
    pin=/etc/apt/preferences.d/pontaro-setup-main-first
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pin"
    status=0
    apt-get install -y -q --no-install-recommends "${missing[@]}" || status=$?
    rm -f "$pin"
    [ "$status" = 0 ] || exit "$status"
  fi
  [ "$created_policy" = 1 ] && rm -f "$policy"
fi
# Make sure no system-wide router daemon runs in the machine's own namespace.
systemctl disable --now miniupnpd >/dev/null 2>&1 || true
# Only daemons in this namespace: the router labs run theirs in namespaces of
# their own, and a lab in use must keep its router.
own_ns=$(readlink /proc/self/ns/net)
for pid in $(pgrep -x miniupnpd || true); do
    [ "$(readlink "/proc/$pid/ns/net" 2>/dev/null)" = "$own_ns" ] && kill "$pid" 2>/dev/null || true
done
echo "setup: all packages present"
