#!/usr/bin/env bash
# Every artefact states the project's licence, MIT, with its full text where
# a user reads it:
#
#   check-licence.sh FILE...
#
# *.deb: the copyright file names `License: MIT` with the text of LICENSE,
# and the AppStream metainfo says MIT. *.zip: LICENSE.txt beside the
# programs, starting with LICENSE, and Pontaro.exe's version record names
# the licence. *-setup.exe, Pontaro.exe: the version record names it. (The installed
# LICENSE.txt is checked by wine-installer.sh.)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
license="$here/../../LICENSE"
[ $# -gt 0 ] || { echo "check-licence.sh: no file to check" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-licence.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $1: $2" >&2; failed=1; }

# The words of a text, one a line: line breaks and the copyright format's
# indentation and "." lines do not count.
words() { tr -s ' \r\n\t' '\n\n\n\n' | grep -vx '[.]' | grep -v '^$'; }

# A version record's texts are UTF-16.
states_mit() {
    python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if "MIT licence".encode("utf-16-le") in data else 1)
PY
}

check() {
    local f=$1 name
    name=$(basename "$f")
    [ -e "$f" ] || { fail "$f" "missing"; return; }
    case "$name" in
    *.deb)
        local dir="$work/deb" copyright
        rm -rf "$dir" && dpkg-deb -x "$f" "$dir"
        copyright="$dir/usr/share/doc/pontaro/copyright"
        grep -qx 'License: MIT' "$copyright" || fail "$name" "copyright names no 'License: MIT'"
        # The text after the last License: line is the project's own.
        sed -n '/^License: MIT$/,$p' "$copyright" | tail -n +2 | words >"$work/deb.words"
        sed -n '/^Permission/,$p' "$license" | words | cmp -s - "$work/deb.words" ||
            fail "$name" "copyright's MIT text differs from LICENSE"
        grep -q '<project_license>MIT</project_license>' "$dir"/usr/share/metainfo/*.metainfo.xml ||
            fail "$name" "metainfo project_license is not MIT"
        ;;
    *-setup.exe | *.exe)
        states_mit "$f" || fail "$name" "version record names no MIT licence"
        ;;
    *.zip)
        local dir="$work/zip" top=${name%.zip}
        rm -rf "$dir" && mkdir -p "$dir" && unzip -q "$f" -d "$dir"
        [ -s "$dir/$top/LICENSE.txt" ] || { fail "$name" "no $top/LICENSE.txt"; return; }
        head -c "$(sed 's/$/\r/' "$license" | wc -c)" "$dir/$top/LICENSE.txt" |
            cmp -s - <(sed 's/$/\r/' "$license") || fail "$name" "LICENSE.txt does not start with LICENSE (CR LF)"
        check "$dir/$top/Pontaro.exe"
        ;;
    *) fail "$name" "no licence check for this kind of file" ;;
    esac
}

for f in "$@"; do check "$f"; done
[ $failed = 0 ] && echo "PASS: $# artefacts state the MIT licence"
exit $failed
