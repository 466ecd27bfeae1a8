#!/usr/bin/env bash
# A Windows program must run on a bare Windows: every DLL it imports has to be
# one that Windows ships (no libstdc++, libgcc or winpthread DLL beside it).
#
#   check-imports.sh OBJDUMP PROGRAM.EXE
set -euo pipefail
objdump="$1"
exe="$2"

# The XML reader is the program's own. COM (ole32, oleaut32, both shipped
# with every Windows) serves one thing only: reading the firewall's policy
# (INetFwPolicy2 of hnetcfg.dll, created through CoCreateInstance, so hnetcfg
# is no import).
allowed=" kernel32.dll user32.dll gdi32.dll shell32.dll comctl32.dll"
allowed+=" ws2_32.dll iphlpapi.dll advapi32.dll msvcrt.dll ucrtbase.dll"
allowed+=" ole32.dll oleaut32.dll "
dlls="$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')"
[ -n "$dlls" ] || { echo "FAIL: no imports found in $exe (not a PE file?)"; exit 1; }
bad=0
while read -r dll; do
    lower="$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')"
    case "$allowed" in
        *" $lower "*) echo "ok: $dll" ;;
        *) echo "FAIL: $dll is not a DLL that Windows ships"; bad=1 ;;
    esac
done <<<"$dlls"
exit "$bad"
