#!/usr/bin/env bash
# Installs the Debian package on this machine as a user would (apt-get
# install ./pontaro_*.deb), runs pontaro-cli from PATH, finds its service
# installed disabled with its rules file, enables the service as
# `systemctl enable` does where systemd does not run, and purges the package:
# afterwards no file of it may be left under /usr, nor its rules file, nor
# the service's enabling. Needs root; a pontaro
# package installed before is not touched (exit 77, skipped).
#
#   deb-install.sh PONTARO.DEB VERSION
set -euo pipefail
deb="$(realpath "${1:?usage: deb-install.sh PONTARO.DEB VERSION}")"
version="${2:?usage: deb-install.sh PONTARO.DEB VERSION}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [ "$(id -u)" != 0 ]; then
    echo "deb-install: needs root; skipped"
    exit 77
fi
if dpkg-query -W -f='${Status}' pontaro 2>/dev/null | grep -q ' installed$'; then
    echo "deb-install: a pontaro package is installed already; left alone, skipped"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-deb-install.XXXXXX")
installed=0
cleanup() {
    [ $installed = 0 ] || apt-get purge -y -q pontaro >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
apt() { apt-get -y -q -o DPkg::Lock::Timeout=300 --no-install-recommends "$@"; }
pontaro_files() { find /usr -xdev -iname '*pontaro*' | sort; }

export DEBIAN_FRONTEND=noninteractive
pontaro_files >"$work/before"

installed=1
apt install "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install"; }
dpkg -L pontaro | sort >"$work/files"
[ "$(command -v pontaro-cli)" = /usr/bin/pontaro-cli ] ||
    fail "pontaro-cli from PATH is '$(command -v pontaro-cli)', not the package's"
[ -x /usr/bin/pontaro ] || fail "no /usr/bin/pontaro"
# Neither option sends anything; the namespace only makes sure of it.
out=$("$here/../support/in-netns.sh" pontaro-cli --version) || fail "pontaro-cli --version failed"
[ "$out" = "pontaro-cli (Pontaro) $version" ] || fail "pontaro-cli --version: '$out'"
out=$("$here/../support/in-netns.sh" env PONTARO_LANG=ja pontaro-cli --help) || fail "pontaro-cli --help failed"
grep -q '^使い方: pontaro-cli' <<<"$out" || fail "pontaro-cli --help: '$out'"
out=$("$here/../support/in-netns.sh" pontaro-cli --lang en --help) || fail "pontaro-cli --lang en --help failed"
grep -q '^Usage: pontaro-cli' <<<"$out" || fail "pontaro-cli --lang en --help: '$out'"
[ "$(man -w pontaro-cli)" = /usr/share/man/man1/pontaro-cli.1.gz ] || fail "man finds no pontaro-cli(1)"
# (-L: the locale need not be installed for man to look in ja/.)
[ "$(man -L ja_JP.UTF-8 -w pontaro-cli)" = /usr/share/man/ja/man1/pontaro-cli.1.gz ] ||
    fail "man finds no Japanese pontaro-cli(1)"
echo "ok: installed, pontaro-cli --version and --help from PATH, man pontaro-cli"
[ "$(systemctl --root=/ is-enabled pontaro.service 2>&1)" = disabled ] ||
    fail "pontaro.service is '$(systemctl --root=/ is-enabled pontaro.service 2>&1)', not disabled"
[ -f /etc/pontaro/rules ] || fail "no /etc/pontaro/rules"
systemctl --root=/ enable pontaro.service >/dev/null 2>&1 || fail "systemctl enable pontaro"
[ -L /etc/systemd/system/multi-user.target.wants/pontaro.service ] || fail "enabling made no link"
echo "ok: pontaro.service installed disabled, enabled by systemctl enable"

apt purge pontaro >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "apt-get purge"; }
installed=0
dpkg-query -W -f='${Status}' pontaro 2>/dev/null | grep -q ' installed$' && fail "still installed"
left=()
while read -r path; do
    # Directories the package shares with others (/usr/bin, the icon theme)
    # stay; every file and every directory of its own must go.
    if [ -f "$path" ] || [ -L "$path" ]; then
        left+=("$path")
    elif [ -d "$path" ] && [[ "$path" == *pontaro* ]]; then
        left+=("$path")
    fi
done <"$work/files"
[ ${#left[@]} = 0 ] || fail "left under /usr: ${left[*]}"
[ ! -e /etc/pontaro ] || fail "/etc/pontaro is left after the purge"
left_links=$(find /etc/systemd /var/lib/systemd -name 'pontaro*' 2>/dev/null)
[ -z "$left_links" ] || fail "the service's enabling is left after the purge: $left_links"
pontaro_files >"$work/after"
diff -u "$work/before" "$work/after" >&2 || fail "files named pontaro appeared under /usr"
echo "PASS: $(basename "$deb") installs, runs from PATH and removes cleanly"
