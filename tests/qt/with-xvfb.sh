#!/bin/sh
# Runs a command against a private Xvfb server (24-bit, 1024x768) that lives
# only as long as the command. Exits 77 (skipped) when Xvfb is missing.
#
#   with-xvfb.sh CMD ARGS...
command -v Xvfb >/dev/null 2>&1 || { echo "with-xvfb.sh: no Xvfb; skipped" >&2; exit 77; }
fifo_dir=$(mktemp -d "${TMPDIR:-/tmp}/pontaro-xvfb.XXXXXX") || exit 1
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo_dir/display" \
    >"$fifo_dir/xvfb.log" 2>&1 &
xvfb=$!
display=$(head -n 1 "$fifo_dir/display")
if [ -z "$display" ]; then
    echo "with-xvfb.sh: Xvfb did not start:" >&2
    cat "$fifo_dir/xvfb.log" >&2
    kill "$xvfb" 2>/dev/null
    rm -rf "$fifo_dir"
    exit 1
fi
DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
rc=$?
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
rm -rf "$fifo_dir"
exit $rc
