# Sourced by the Wine tests: a private Wine prefix, an X server and a Japanese
# font for one test run, all removed again by wine_env_cleanup (install it as
# an EXIT trap). A prefix takes over a gigabyte, so it goes too; the logs and
# screenshots beside it stay. PONTARO_KEEP_WINEPREFIX=1 keeps it for a look.
#
#   wine_env_start WORKDIR    sets WINEPREFIX, DISPLAY, WINE, WINESERVER and
#                             PONTARO_APPDATA (the prefix's %APPDATA% as a Unix path)
#   wine_env_cleanup          stops the program, wineserver and Xvfb
#   wine_screenshot FILE.png  the whole screen
#   wine_find_window TITLE SECONDS [--onlyvisible]   prints the X window id
#   wine_version_box CAPTION FILE.png   the open version box shot and closed
#
# PONTARO_WINE names the loader: wine64, or for the i686 programs wine32's
# wine, which runs them in the same kind of 64-bit prefix (WoW64).
#
# The prefix runs in the C.UTF-8 locale with PONTARO_LANG=ja, so the programs
# speak the Japanese the exact-text tests expect. PONTARO_WINE_LOCALE (e.g.
# en_US.UTF-8, ja_JP.UTF-8) runs it in that locale instead, without
# PONTARO_LANG, so the programs choose their language from the user's UI
# language as Wine derives it from the locale; the locale is compiled into
# WORKDIR (LOCPATH), so the machine need not have it.
#
# Every process of the prefix (wineserver, wineboot, the program) is started
# by whoever sources this, so a caller inside a network namespace keeps all of
# Wine's sockets there. Xvfb listens only on its filesystem socket, which is
# reachable from any network namespace (abstract sockets are not).

wine_log() { echo "[wine-test] $*" >&2; }

wine_find_binaries() {
    local w
    WINE=""
    for w in "${PONTARO_WINE:-}" /usr/lib/wine/wine64 "$(command -v wine64 || true)" \
        "$(command -v wine || true)"; do
        if [ -n "$w" ] && [ -x "$w" ]; then WINE="$w"; break; fi
    done
    [ -n "$WINE" ] || return 1
    WINESERVER="$(dirname "$WINE")/wineserver"
    [ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver || true)"
    [ -n "$WINESERVER" ] || return 1
    export WINE WINESERVER
}

_wine_xvfb_pid=""
_wine_prog_pid=""

wine_env_cleanup() {
    if [ -n "$_wine_prog_pid" ] && kill -0 "$_wine_prog_pid" 2>/dev/null; then
        kill "$_wine_prog_pid" 2>/dev/null || true
    fi
    if [ -n "${WINEPREFIX:-}" ] && [ -n "${WINESERVER:-}" ]; then
        "$WINESERVER" -k >/dev/null 2>&1 || true
        timeout 10 "$WINESERVER" -w >/dev/null 2>&1 || true
    fi
    if [ -n "${WINEPREFIX:-}" ] && [ -n "${WORKDIR:-}" ] && [ "$WINEPREFIX" = "$WORKDIR/prefix" ] &&
        [ "${PONTARO_KEEP_WINEPREFIX:-0}" != 1 ]; then
        rm -rf "$WINEPREFIX"
    fi
    if [ -n "$_wine_xvfb_pid" ]; then
        kill "$_wine_xvfb_pid" 2>/dev/null || true
        wait "$_wine_xvfb_pid" 2>/dev/null || true
    fi
}

_wine_start_xvfb() {
    local n tries
    # A display number no other test on this machine holds.
    n=$((100 + $$ % 400))
    for tries in $(seq 1 50); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then break; fi
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -nolisten local >"$WORKDIR/xvfb.log" 2>&1 &
    _wine_xvfb_pid=$!
    for tries in $(seq 1 100); do
        [ -S "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$_wine_xvfb_pid" 2>/dev/null || { cat "$WORKDIR/xvfb.log" >&2; return 1; }
        sleep 0.1
    done
    [ -S "/tmp/.X11-unix/X$n" ] || return 1
    export DISPLAY=":$n"
}

# _wine_locale ll_CC.UTF-8: that locale for Wine, without PONTARO_LANG.
_wine_locale() {
    local name="$1"
    mkdir -p "$WORKDIR/locale"
    localedef -i "${name%%.*}" -f UTF-8 "$WORKDIR/locale/$name" 2>"$WORKDIR/localedef.log" ||
        [ -e "$WORKDIR/locale/$name/LC_MESSAGES" ] || { cat "$WORKDIR/localedef.log" >&2; return 1; }
    # (bash's own setlocale does not see LOCPATH, and says so.)
    { export LOCPATH="$WORKDIR/locale" LANG="$name" LC_ALL="$name"; } 2>/dev/null
    unset PONTARO_LANG
    [ "$(locale 2>/dev/null | sed -n 's/^LC_MESSAGES="\?\([^"]*\)"\?$/\1/p')" = "$name" ]
}

wine_env_start() {
    WORKDIR="$1"
    mkdir -p "$WORKDIR"
    wine_find_binaries || { wine_log "no Wine loader found"; return 1; }
    _wine_start_xvfb || { wine_log "Xvfb did not start"; return 1; }

    export WINEPREFIX="$WORKDIR/prefix"
    export WINEDEBUG=-all WINEARCH=win64
    # No Mono or Gecko installers, no desktop menu entries.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LANG=C.UTF-8 LC_ALL=C.UTF-8 PONTARO_LANG=ja
    if [ -n "${PONTARO_WINE_LOCALE:-}" ]; then
        _wine_locale "$PONTARO_WINE_LOCALE" || { wine_log "no locale $PONTARO_WINE_LOCALE"; return 1; }
    fi
    rm -rf "$WINEPREFIX"

    wine_log "wineboot (the first start of a prefix takes a while)"
    timeout 180 "$WINE" wineboot -i >"$WORKDIR/wineboot.log" 2>&1 || {
        wine_log "wineboot failed"; cat "$WORKDIR/wineboot.log" >&2; return 1; }
    # Kept running between the program's starts (wine_env_cleanup stops it).
    "$WINESERVER" -p >/dev/null 2>&1 || true

    # The dialogs ask for "MS UI Gothic", a proportional Japanese font:
    # IPAPGothic stands in for it. Tahoma (Wine's caption and menu font) gets
    # IPAGothic as its fallback for Japanese.
    local font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf pfont=/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf
    [ -r "$font" ] || font=/usr/share/fonts/truetype/fonts-japanese-gothic.ttf
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/ipag.ttf"
    [ -r "$pfont" ] && cp "$pfont" "$WINEPREFIX/drive_c/windows/Fonts/ipagp.ttf"
    cat >"$WORKDIR/fonts.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Fonts]
"IPAGothic (TrueType)"="ipag.ttf"
"IPAPGothic (TrueType)"="ipagp.ttf"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS UI Gothic"="IPAPGothic"
"MS Shell Dlg"="IPAGothic"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"=hex(7):69,00,70,00,61,00,67,00,2e,00,74,00,74,00,66,00,2c,00,49,00,50,00,41,00,47,00,\
  6f,00,74,00,68,00,69,00,63,00,00,00,00,00
REG
    timeout 60 "$WINE" regedit /S "$(winepath_of "$WORKDIR/fonts.reg")" >/dev/null 2>&1 || {
        wine_log "regedit failed"; return 1; }

    PONTARO_APPDATA="$(find "$WINEPREFIX/drive_c/users" -mindepth 3 -maxdepth 3 -type d \
        -path '*/AppData/Roaming' ! -path '*/Public/*' | head -n 1)"
    [ -n "$PONTARO_APPDATA" ] || { wine_log "no AppData folder in the prefix"; return 1; }
    export PONTARO_APPDATA
}

# Wine maps / as drive Z:.
winepath_of() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

# Starts the program in the background; its output goes to WORKDIR/program.log.
wine_run_program() {
    "$WINE" "$@" >"$WORKDIR/program.log" 2>&1 &
    _wine_prog_pid=$!
}

# Waits for the program started by wine_run_program to end; false after SECONDS.
wine_wait_program() {
    local seconds="$1" i
    for i in $(seq 1 $((seconds * 10))); do
        kill -0 "$_wine_prog_pid" 2>/dev/null || { wait "$_wine_prog_pid" 2>/dev/null; return 0; }
        sleep 0.1
    done
    return 1
}

wine_find_window() {
    local title="$1" seconds="$2" extra="${3:-}" i id
    for i in $(seq 1 $((seconds * 5))); do
        # shellcheck disable=SC2086
        id="$(xdotool search $extra --name "^$title\$" 2>/dev/null | head -n 1)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

# wine_version_box CAPTION FILE.png: once the system menu asked for it, the
# version box titled CAPTION as a screenshot, then closed with Escape.
# Status 1 when it did not open, 2 when Escape did not close it.
wine_version_box() {
    local caption="$1" box _
    box="$(wine_find_window "$caption" 10 --onlyvisible)" || return 1
    sleep 0.5
    wine_screenshot "$2"
    xdotool windowfocus --sync "$box"
    sleep 0.3
    xdotool key Escape
    for _ in $(seq 1 25); do
        xdotool search --onlyvisible --name "^$caption\$" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 2
}

wine_screenshot() {
    import -window root "$1" 2>/dev/null || xwd -root -silent | convert xwd:- "$1"
}
