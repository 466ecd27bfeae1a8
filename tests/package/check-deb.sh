#!/usr/bin/env bash
# The Debian package as Debian's own tools judge it: lintian (no error, no
# warning), the AppStream metainfo with its desktop entry, the desktop entry
# itself, and the manual pages as man renders them.
#
#   check-deb.sh PONTARO.DEB
set -euo pipefail
deb="$(realpath "${1:?usage: check-deb.sh PONTARO.DEB}")"
tree=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-deb.XXXXXX")
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# Kept warnings are overridden, with their reason, in the package itself.
lintian_rc=0
lintian --fail-on error,warning "$deb" >"$tree/lintian.out" 2>&1 || lintian_rc=$?
grep -v 'running with root privileges' "$tree/lintian.out" || true
[ $lintian_rc = 0 ] || fail "lintian reports errors or warnings"

metainfo=("$tree"/usr/share/metainfo/*.metainfo.xml)
[ -f "${metainfo[0]}" ] || fail "no metainfo in usr/share/metainfo"
# No network: the screenshot is referenced, not fetched.
appstreamcli validate --no-net "${metainfo[@]}" || fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$tree" || fail "appstreamcli validate-tree"
grep -q '<screenshot' "${metainfo[0]}" || fail "the metainfo has no screenshot"
grep -q '<p xml:lang="ja">' "${metainfo[0]}" || fail "the metainfo has no Japanese description"

desktop-file-validate "$tree/usr/share/applications/pontaro.desktop" || fail "desktop-file-validate"

# The English pages in man1, their Japanese translations in ja/man1.
for page in man1/pontaro man1/pontaro-cli ja/man1/pontaro ja/man1/pontaro-cli; do
    file="$tree/usr/share/man/$page.1.gz" name=$(basename "$page")
    [ -f "$file" ] || { fail "no manual page $page.1"; continue; }
    heading="^NAME$"
    [[ $page != ja/* ]] || heading="^名前$"
    # groff's complaints (lines it cannot break, unknown requests) count.
    if ! out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>"$tree/man.err") ||
        [ -s "$tree/man.err" ]; then
        fail "man -l $page.1: $(cat "$tree/man.err")"
    fi
    grep -q "^ *$name - " <<<"$out" || fail "man -l $page.1 renders no name line"
    grep -q "$heading" <<<"$out" || fail "man -l $page.1 has no heading $heading"
done
[ $failed = 0 ] && echo "PASS: $(basename "$deb") passes lintian, AppStream, desktop and man checks"
exit $failed
