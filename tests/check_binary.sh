#!/usr/bin/env bash
# Checks a built setup.exe (or htmlayout.dll): GUI subsystem, stripped, statically linked,
# importing nothing but the libraries Windows protects as known DLLs (everything else is loaded
# at run time from the system folder), and every delay-loaded import bound to a loading thunk of
# its own slot and to a name its DLL exports (check_delay_imports.py).
set -euo pipefail
exe=$1
arch=$2     # i686 or x86_64
delayed=$3  # the DLLs it delay-loads, comma-separated
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
# Wine's builds of the system DLLs for that architecture stand for Windows' own.
case $arch in
  i686) system=/usr/lib/i386-linux-gnu/wine/i386-windows ;;
  *) system=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows ;;
esac
python3 "$(dirname "$0")/check_delay_imports.py" "$exe" "$delayed" "$system" "$(dirname "$exe")" || status=1
exit $status
