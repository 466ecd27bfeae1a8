#!/bin/sh
# Runs a Windows test program under Wine (WINEPREFIX set by the caller) with a
# wineserver started where this script runs: a server of the same prefix left
# by an earlier run elsewhere (another network namespace) is stopped first,
# since the program's sockets and adapter queries go through it.
#
#   wine-run.sh PATH/TO/wine64-or-wine PROGRAM.exe [ARGS...]
wine=${1:?usage: wine-run.sh WINE PROGRAM [ARGS...]}
shift
server=$(dirname "$wine")/wineserver
[ -x "$server" ] || server=wineserver
"$server" -k >/dev/null 2>&1
"$wine" "$@"
rc=$?
"$server" -k >/dev/null 2>&1
exit $rc
