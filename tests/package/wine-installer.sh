#!/usr/bin/env bash
# A Windows installer under Wine as a user would run it, silently: the files
# (LICENSE.txt beside the programs), the Start menu shortcut and the
# Add/Remove Programs entry are in place, the installed programs show the
# version and the window, and the silent uninstall takes all of that away
# again but keeps the user's profile. The component "ログイン時に起動" is off
# unless chosen (/AUTOSTART silently): then the per-user Run value starts the
# installed Pontaro.exe, and the uninstall removes it.
#
#   PONTARO_WINE=LOADER wine-installer.sh SETUP.EXE VERSION WORKDIR
#
# The win32 installer runs with wine32's loader in a 64-bit prefix, as on
# 64-bit Windows: it installs under "Program Files (x86)".
#
# The window searches for a gateway when it opens, so everything runs in a
# network namespace of its own with only loopback. Needs root for that;
# exits 77 (skipped) without it.
set -euo pipefail

setup="$(realpath "$1")"
version="${2:?usage: wine-installer.sh SETUP.EXE VERSION WORKDIR}"
workdir="$(realpath -m "${3:?usage: wine-installer.sh SETUP.EXE VERSION WORKDIR}")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [ -z "${PONTARO_WINE_NETNS:-}" ]; then
    if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null; then
        echo "wine-installer: needs root to run in a network namespace of its own; skipped"
        exit 77
    fi
    exec unshare --net env PONTARO_WINE_NETNS=1 bash "${BASH_SOURCE[0]}" "$setup" "$version" "$workdir"
fi
ip link set lo up

# shellcheck source=../win32/wine-env.sh
source "$here/../win32/wine-env.sh"
trap wine_env_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    echo "--- program output:" >&2
    cat "$WORKDIR/program.log" >&2 2>/dev/null || true
    wine_screenshot "$WORKDIR/failure.png" 2>/dev/null || true
    exit 1
}

rm -rf "$workdir"
wine_env_start "$workdir" || fail "no Wine environment"

program_files="Program Files"
[[ "$(basename "$setup")" != *-win32-setup.exe ]] || program_files="Program Files (x86)"
install_dir="$WINEPREFIX/drive_c/$program_files/Pontaro"
win_dir="C:\\$program_files\\Pontaro"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pontaro.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pontaro'
ini="$PONTARO_APPDATA/Pontaro/Pontaro.ini"

# The value of a registry entry (of the uninstall key unless named), empty
# when absent.
reg_value() {
    "$WINE" reg query "${2:-$uninstall_key}" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
run_value() { reg_value Pontaro "$run_key"; }

# A profile from an earlier installation, which both steps must leave alone.
mkdir -p "$(dirname "$ini")"
printf '[Setting]\r\nSetting=8080, 8080, TCP, web\r\nAuto=0\r\nClose=0\r\n' >"$ini"

# --- Silent install.
timeout 120 "$WINE" "$(winepath_of "$setup")" /S >"$WORKDIR/install.log" 2>&1 ||
    fail "the installer failed (exit $?)"
for f in Pontaro.exe pontaro-cli.exe LICENSE.txt Uninstall.exe; do
    [ -s "$install_dir/$f" ] || fail "$f not installed in $install_dir"
done
[ -s "$shortcut" ] || fail "no Start menu shortcut at $shortcut"
python3 - "$shortcut" <<'PY' || fail "the shortcut does not point at Pontaro.exe"
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if b"Pontaro.exe" in data or "Pontaro.exe".encode("utf-16-le") in data else 1)
PY
[ "$(reg_value DisplayName)" = Pontaro ] || fail "no Add/Remove Programs entry"
[ "$(reg_value DisplayVersion)" = "$version" ] ||
    fail "Add/Remove Programs shows version '$(reg_value DisplayVersion)'"
uninstall_string="$(reg_value UninstallString)"
[ "$uninstall_string" = "\"$win_dir\\Uninstall.exe\"" ] ||
    fail "uninstall command '$uninstall_string'"
head -n 1 "$install_dir/LICENSE.txt" | grep -q '^MIT License' || fail "the installed LICENSE.txt is not the MIT licence"
[ -z "$(run_value)" ] || fail "a plain install starts Pontaro at login: '$(run_value)'"
echo "ok: silent install, LICENSE.txt, shortcut, Add/Remove Programs entry, no start at login"

# --- The installed programs.
python3 "$here/pe-version.py" "$version" "$install_dir/Pontaro.exe" --dialog 100 ||
    fail "installed Pontaro.exe version"
cli_version="$("$WINE" "$win_dir\\pontaro-cli.exe" --version 2>/dev/null | tr -d '\r')"
[ "$cli_version" = "pontaro-cli (Pontaro) $version" ] || fail "pontaro-cli.exe --version: '$cli_version'"
wine_run_program "$win_dir\\Pontaro.exe"
win="$(wine_find_window Pontaro 120 --onlyvisible)" || fail "the installed Pontaro.exe showed no dialog"
sleep 4 # the first run: a search that finds nothing
wine_screenshot "$WORKDIR/installed-window.png"
xdotool windowfocus --sync "$win" && sleep 0.3 && xdotool key Escape
wine_wait_program 20 || fail "the program did not end after Escape"
grep -q '^Setting=8080, 8080, TCP, web' "$ini" || fail "the installed program lost the profile's rules"
echo "ok: installed programs show version $version and the dialog"

# --- The same installer again, with the start at login chosen.
timeout 120 "$WINE" "$(winepath_of "$setup")" /S /AUTOSTART >"$WORKDIR/install-autostart.log" 2>&1 ||
    fail "the installer with /AUTOSTART failed (exit $?)"
[ "$(run_value)" = "\"$win_dir\\Pontaro.exe\" --autostart" ] ||
    fail "Run value after /AUTOSTART: '$(run_value)'"
echo "ok: /AUTOSTART writes the Run value"

# --- Silent uninstall, through the registered command. The uninstaller
# copies itself to the temporary folder and runs from there, so its end is
# seen in the folder it removes.
profile_before="$(sha256sum <"$ini")"
timeout 60 "$WINE" "$win_dir\\Uninstall.exe" /S >"$WORKDIR/uninstall.log" 2>&1 ||
    fail "the uninstaller failed (exit $?)"
for _ in $(seq 1 300); do
    [ -e "$install_dir" ] || break
    sleep 0.2
done
[ ! -e "$install_dir" ] || fail "left behind: $(find "$install_dir" | tr '\n' ' ')"
[ ! -e "$shortcut" ] || fail "the Start menu shortcut is still there"
[ -z "$(reg_value DisplayName)" ] || fail "the Add/Remove Programs entry is still there"
[ -z "$(run_value)" ] || fail "the Run value is still there: '$(run_value)'"
[ -f "$ini" ] || fail "the uninstall removed the profile"
[ "$(sha256sum <"$ini")" = "$profile_before" ] || fail "the uninstall changed the profile"
echo "ok: silent uninstall removes the program and keeps the profile"
echo "PASS: installer $(basename "$setup")"
