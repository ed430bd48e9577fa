#!/usr/bin/env bash
# Fails unless the Windows executable imports only DLLs that every Windows installation has.
set -euo pipefail
exe=$1
system_dlls='^(kernel32|user32|gdi32|comdlg32|shell32|advapi32|msvcrt)\.dll$'
objdump=objdump
for candidate in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump; do
  command -v "$candidate" >/dev/null && { objdump=$candidate; break; }
done
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || { echo "check-imports: no imports found in $exe" >&2; exit 1; }
bad=$(echo "$dlls" | grep -viE "$system_dlls" || true)
if [ -n "$bad" ]; then
  echo "check-imports: $exe needs DLLs that Windows does not ship:" $bad >&2
  exit 1
fi
