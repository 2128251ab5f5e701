#!/usr/bin/env bash
# Makes a delay-import library for a Windows DLL from mingw's import library of it:
#   make-delay-lib.sh <i686|x86_64> <dll base name> <output .a>
# A delay-loaded DLL is loaded on first use, after start-up has restricted the DLL search to
# the system folder, instead of by the loader before the program's first instruction.
set -euo pipefail
arch=$1 name=$2 out=$3
prefix=$arch-w64-mingw32
def=$(mktemp)
trap 'rm -f "$def"' EXIT
{
  echo "LIBRARY $name.dll"
  echo "EXPORTS"
  if [ "$arch" = i686 ]; then
    "$prefix-nm" "/usr/$prefix/lib/lib$name.a" | sed -n 's/^.* I __imp__//p' | sort -u
  else
    "$prefix-nm" "/usr/$prefix/lib/lib$name.a" | sed -n 's/^.* I __imp_//p' | sort -u
  fi
} >"$def"
kill_at=()
[ "$arch" = i686 ] && kill_at=(-k)
"$prefix-dlltool" "${kill_at[@]}" -d "$def" -D "$name.dll" -y "$out"
