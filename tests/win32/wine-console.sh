# Sourced by the windowless Wine tests (console programs in a router lab): a
# private Wine prefix for one run, without an X server. The prefix takes over
# a gigabyte, so wine_console_cleanup removes it again; the logs beside it
# stay. PONTARO_KEEP_WINEPREFIX=1 keeps it for a look.
#
#   wine_console_start WINE WORKDIR   empties WORKDIR, sets WINEPREFIX and
#                                     WINESERVER, boots the prefix
#   wine_console_cleanup              stops wineserver, removes the prefix
# Install the caller's own clean-up, which calls wine_console_cleanup, as its
# EXIT trap before wine_console_start, so that a failed boot is cleaned too.

wine_console_start() {
    local wine="$1" workdir="$2"
    WINESERVER="$(dirname "$wine")/wineserver"
    [ -x "$WINESERVER" ] || WINESERVER=wineserver
    rm -rf "$workdir"
    mkdir -p "$workdir"
    export WINEPREFIX="$workdir/prefix" WINEDEBUG=-all WINEARCH=win64
    # No Mono or Gecko installers, no desktop menu entries.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    "$WINESERVER" -k >/dev/null 2>&1
    timeout 180 "$wine" wineboot -i >"$workdir/wineboot.log" 2>&1 || {
        echo "FAIL: wineboot" >&2
        return 1
    }
}

wine_console_cleanup() {
    [ -n "${WINEPREFIX:-}" ] || return 0
    "$WINESERVER" -k >/dev/null 2>&1
    timeout 10 "$WINESERVER" -w >/dev/null 2>&1
    [ "${PONTARO_KEEP_WINEPREFIX:-0}" = 1 ] || rm -rf "$WINEPREFIX"
}
