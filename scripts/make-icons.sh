#!/usr/bin/env bash
# Makes the icon files from the two drawings in res/icons:
#   res/icons/pontaro-{16,32,48,256}.png   the window / desktop icon (Qt, .desktop)
#   res/pontaro.ico                         icon group 128: 48, 32 and 16 pixels, each
#                                           in 16 colours, 256 colours and 24-bit colour
#   res/tray.ico                            icon group 130: 16 by 16, 16 colours
# The 16-pixel images come from tray.svg, drawn on whole pixels for that size.
# Needs rsvg-convert (librsvg2-bin), ImageMagick's convert and icotool (icoutils).
# The results are committed, so the build never needs these tools.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
icons="$root/res/icons"
for tool in rsvg-convert convert icotool; do
    command -v "$tool" >/dev/null || { echo "make-icons.sh: $tool is missing" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# No time stamps or other ancillary chunks: the same drawing gives the same bytes.
im_png=(-strip -define png:exclude-chunks=date,time,tIME)

render() {  # size output
    local src="$icons/pontaro.svg"
    [ "$1" -le 16 ] && src="$icons/tray.svg"
    rsvg-convert -w "$1" -h "$1" "$src" -o "$work/raw.png"
    convert "$work/raw.png" "${im_png[@]}" "PNG32:$2"
}

# A palette image with on/off transparency: the alpha channel is cut at half,
# the colours are reduced without dithering (dots look like dirt at 16 px).
reduce() {  # input colours output
    convert "$1" -channel A -threshold 50% +channel -dither None -colors "$2" \
        "${im_png[@]}" "PNG8:$3"
}

for size in 16 32 48 256; do
    render "$size" "$icons/pontaro-$size.png"
done

ico_args=()
for size in 48 32 16; do
    reduce "$icons/pontaro-$size.png" 16 "$work/$size-4.png"
    reduce "$icons/pontaro-$size.png" 256 "$work/$size-8.png"
    convert "$icons/pontaro-$size.png" -channel A -threshold 50% +channel "${im_png[@]}" \
        "PNG32:$work/$size-24.png"
done
icotool -c -o "$root/res/pontaro.ico" \
    -b 4 "$work/48-4.png" -b 8 "$work/48-8.png" -b 24 "$work/48-24.png" \
    -b 4 "$work/32-4.png" -b 8 "$work/32-8.png" -b 24 "$work/32-24.png" \
    -b 4 "$work/16-4.png" -b 8 "$work/16-8.png" -b 24 "$work/16-24.png"

rsvg-convert -w 16 -h 16 "$icons/tray.svg" -o "$work/tray.png"
reduce "$work/tray.png" 16 "$work/tray-4.png"
icotool -c -o "$root/res/tray.ico" -b 4 "$work/tray-4.png"

icotool -l "$root/res/pontaro.ico" "$root/res/tray.ico"
