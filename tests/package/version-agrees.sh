#!/usr/bin/env bash
# Checks that every program, file and package that shows a version shows the
# project's one.
#
#   version-agrees.sh VERSION FILE...
#
# What is read depends on the file: pontaro-cli (the line --version prints),
# pontaro (the version box's line), Pontaro.exe (version record and version
# box), *-setup.exe (name and version record), *.zip (name, the programs in
# it), *.deb (name, control field, and every versioned file in it),
# *.metainfo.xml (the release), manual pages (the footer), changelog.gz.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
version=${1:?usage: version-agrees.sh VERSION FILE...}
shift
[ $# -gt 0 ] || { echo "version-agrees.sh: no file to check" >&2; exit 2; }
IFS=. read -r major minor _ <<<"$version"
line="Pontaro Version $major.$minor"

work=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-version.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
failures=0
bad() {
    echo "FAIL: $1: $2 (expected $version)" >&2
    failed=1
    failures=$((failures + 1))
}

# The one value a pattern finds in a text, so that a second, stale version
# beside the right one is caught too.
only() {
    local what=$1 got=$2 want=$3
    [ "$got" = "$want" ] || bad "$what" "shows '${got//$'\n'/, }'"
}

check() {
    local f=$1 name before=$failures
    name=$(basename "$f")
    [ -e "$f" ] || { bad "$f" "missing"; return; }
    case "$name" in
    *.deb)
        only "$name" "$name" "pontaro_${version}_amd64.deb"
        only "$name: Version" "$(dpkg-deb -f "$f" Version)" "$version"
        local dir="$work/deb"
        rm -rf "$dir" && dpkg-deb -x "$f" "$dir"
        local inside
        for inside in usr/bin/pontaro usr/bin/pontaro-cli usr/share/man/man1/pontaro.1.gz \
            usr/share/man/man1/pontaro-cli.1.gz usr/share/man/ja/man1/pontaro.1.gz \
            usr/share/man/ja/man1/pontaro-cli.1.gz usr/share/doc/pontaro/changelog.gz \
            "$(cd "$dir" && ls usr/share/metainfo/*.metainfo.xml)"; do
            check "$dir/$inside"
        done
        ;;
    *-setup.exe)
        [[ "$name" =~ ^Pontaro-${version//./\\.}-win(32|64)-setup\.exe$ ]] ||
            bad "$name" "file name"
        python3 "$here/pe-version.py" "$version" "$f" || bad "$name" "version record"
        ;;
    *.zip)
        [[ "$name" =~ ^Pontaro-${version//./\\.}-win(32|64)\.zip$ ]] || bad "$name" "file name"
        local dir="$work/zip" top=${name%.zip}
        rm -rf "$dir" && mkdir -p "$dir" && unzip -q "$f" -d "$dir"
        [ -s "$dir/$top/pontaro-cli.exe" ] || bad "$name" "no $top/pontaro-cli.exe"
        check "$dir/$top/Pontaro.exe"
        ;;
    Pontaro.exe)
        python3 "$here/pe-version.py" "$version" "$f" --dialog 100 || bad "$name" "version record or box"
        ;;
    pontaro-cli)
        # --version sends nothing.
        only "$name --version" "$("$f" --version)" "pontaro-cli (Pontaro) $version"
        ;;
    pontaro)
        only "$name" "$(grep -a -o 'Pontaro Version [0-9.]*' "$f" | sort -u)" "$line"
        ;;
    *.metainfo.xml)
        only "$name" "$(grep -o '<release [^>]*version="[^"]*"' "$f" | sed 's/.*version="//; s/"$//')" \
            "$version"
        ;;
    *.1 | *.1.gz)
        only "$name" "$(zcat -f "$f" | sed -n 's/^\.TH .*"Pontaro \([^"]*\)".*/\1/p')" "$version"
        ;;
    changelog.gz)
        only "$name" "$(zcat "$f" | sed -n '1s/^pontaro (\([^)]*\)).*/\1/p')" "$version"
        ;;
    *) bad "$f" "no rule for this file" ;;
    esac
    [ $failures != "$before" ] || echo "ok: $name"
}

for f in "$@"; do
    check "$f"
done
[ $failed = 0 ] && echo "PASS: every file shows version $version"
exit $failed
