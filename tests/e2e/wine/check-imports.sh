#!/bin/sh
# Usage: check-imports.sh OBJDUMP PROGRAM.exe
# Fails when the program imports a DLL that is not part of Windows itself.
set -eu
objdump="$1"
program="$2"
dlls=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || { echo "$program: no import table found" >&2; exit 1; }
status=0
for dll in $dlls; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | \
        comctl32.dll | comdlg32.dll | msvcrt.dll | ws2_32.dll | shlwapi.dll | version.dll | \
        bcrypt.dll | ntdll.dll | setupapi.dll | api-ms-win-*.dll)
        echo "system: $dll" ;;
    *)
        echo "$program imports $dll, which a clean Windows lacks" >&2
        status=1 ;;
    esac
done
exit $status
