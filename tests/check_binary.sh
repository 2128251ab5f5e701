#!/usr/bin/env bash
# Checks a built setup.exe (or htmlayout.dll): GUI subsystem, stripped, statically linked, and
# importing nothing but the libraries Windows protects as known DLLs (everything else is loaded
# at run time from the system folder).
set -euo pipefail
exe=$1
arch=$2  # i686 or x86_64
objdump=$arch-w64-mingw32-objdump
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|shlwapi|comdlg32|msvcrt)\.dll$'

[ -f "$exe" ] || { echo "missing: $exe"; exit 1; }
headers=$($objdump -p "$exe")
status=0
grep -q 'Subsystem[[:space:]]*00000002' <<<"$headers" || { echo "$exe: not a GUI program"; status=1; }
if $objdump -t "$exe" | grep -q '^\[ *[0-9]'; then
  echo "$exe: not stripped"; status=1
fi
while read -r dll; do
  if ! grep -qiE "$allowed" <<<"$dll"; then
    echo "$exe: imports $dll"; status=1
  fi
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")
echo "$exe imports: $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$headers")"
exit $status
