#!/usr/bin/env bash
# Makes a delay-import library for a Windows DLL from mingw's import library of it, or from the
# module definition the linker wrote for a DLL of our own (htmlayout.dll):
#   make-delay-lib.sh <i686|x86_64> <dll base name> <output .a> [linker-written .def]
# A delay-loaded DLL is loaded on first use, after start-up has restricted the DLL search to
# the system folder, instead of by the loader before the program's first instruction.
set -euo pipefail
arch=$1 name=$2 out=$3
prefix=$arch-w64-mingw32
implib=/usr/$prefix/lib/lib$name.a
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
  echo "LIBRARY $name.dll"
  echo "EXPORTS"
  if [ -n "${4:-}" ]; then
    # "name = name@n @ordinal" on i686, "name @ordinal" otherwise: the import takes the
    # decorated name the compiler refers to.
    awk '$1 != "EXPORTS" && NF { print ($2 == "=" ? $3 : $1) }' "$4"
  elif [ "$arch" = i686 ]; then
    "$prefix-nm" "$implib" | sed -n 's/^.* I __imp__//p' | sort -u
  else
    "$prefix-nm" "$implib" | sed -n 's/^.* I __imp_//p' | sort -u
  fi
} >"$work/$name.def"
kill_at=()
[ "$arch" = i686 ] && kill_at=(-k)
"$prefix-dlltool" "${kill_at[@]}" -d "$work/$name.def" -D "$name.dll" -y "$work/delay.a"

# The i386 linker (not the x86_64 one) drops the code section of an import library's member
# when nothing names the member's function symbol, taking it for the jump stub that calls through
# __imp_ make useless. In a delay-import member that code is the loading thunk the import slot
# points to, so the program would call address 0 on its first call into the DLL. The thunks
# therefore move to a ".text$" section without the code flag: the linker still places them in
# the executable .text, but no longer takes their members for import stubs.
"$prefix-objcopy" --rename-section '.text=.text$delay,alloc,load,readonly,contents,data' \
  "$work/delay.a" "$out"
