#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks that the window lands
# where desktops look for it: the program, its icons in the hicolor theme and
# its .desktop entry, which must start that program with that icon.
#
#   install-layout.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: install-layout.sh BUILD_DIR}
prefix=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
need() {
    if [ ! -s "$prefix/$1" ]; then
        echo "FAIL: $1 not installed" >&2
        fail=1
    fi
}
need bin/pontaro
[ -x "$prefix/bin/pontaro" ] || { echo "FAIL: bin/pontaro is not executable" >&2; fail=1; }
for size in 16 32 48 256; do
    png="share/icons/hicolor/${size}x${size}/apps/pontaro.png"
    need "$png"
    if [ -s "$prefix/$png" ]; then
        # PNG width and height: big-endian at bytes 16..23.
        dims=$(od -An -tu1 -j16 -N8 "$prefix/$png" | tr -s ' ' | sed 's/^ //')
        read -r w0 w1 w2 w3 h0 h1 h2 h3 <<<"$dims"
        w=$(((w0 << 24) | (w1 << 16) | (w2 << 8) | w3))
        h=$(((h0 << 24) | (h1 << 16) | (h2 << 8) | h3))
        [ "$w" = "$size" ] && [ "$h" = "$size" ] ||
            { echo "FAIL: $png is ${w}x${h}" >&2; fail=1; }
    fi
done
need share/icons/hicolor/scalable/apps/pontaro.svg
desktop=share/applications/pontaro.desktop
need "$desktop"
if [ -s "$prefix/$desktop" ]; then
    for line in '[Desktop Entry]' 'Type=Application' 'Exec=pontaro' 'Icon=pontaro' 'Name=Pontaro'; do
        grep -qxF "$line" "$prefix/$desktop" || { echo "FAIL: $desktop lacks '$line'" >&2; fail=1; }
    done
    if command -v desktop-file-validate >/dev/null 2>&1; then
        desktop-file-validate "$prefix/$desktop" || fail=1
    fi
fi
[ $fail = 0 ] && echo "PASS: program, icons and .desktop entry installed"
exit $fail
