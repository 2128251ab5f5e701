#!/usr/bin/env bash
# Builds htmlayout.dll with clang and lld, optimised for size across the whole library:
#   build-dll.sh <i686|x86_64> <output folder> <resource object> <flag>... -- <source>...
# GCC 12's mingw-w64 compiler fails on whole-program optimisation of the engine (an internal
# error in its symbol table), and without it the engine is a fifth larger. The headers and the
# static libraries (libstdc++, the mingw runtime) are GCC's own, asked from GCC, so the library
# links against exactly what the rest of the program is built with.
# The C runtime's start-up code is left out (see the entry point in src/api.cpp).
# Writes htmlayout.dll and htmlayout.def; the module definition names each export with its
# stdcall decoration on i686 ("name = name@n"), which the program's delay-import library needs.
set -euo pipefail
arch=$1 out=$2 resource=$3
shift 3
flags=()
while [ "$1" != "--" ]; do flags+=("$1"); shift; done
shift
triple=$arch-w64-mingw32
gcc=$triple-g++-posix
clang=${CLANGXX:-clang++}

mapfile -t includes < <(echo | "$gcc" -xc++ -E -v - 2>&1 | sed -n '/<\.\.\.> search starts here:/,/End of search/p' | sed -n 's/^ //p')
# GCC's own compiler headers (intrinsics) are left to clang's.
system=(-nostdinc++)
for dir in "${includes[@]}"; do
  [[ "$dir" =~ /gcc/.*/include(-fixed)?$ ]] || system+=(-isystem "$dir")
done
lean=(-fno-exceptions -fno-rtti)
[ "$arch" = i686 ] && lean+=(-fno-asynchronous-unwind-tables -fno-unwind-tables)

work="$out/dll-objects"
mkdir -p "$work"
objects=()
pids=()
for source in "$@"; do
  object="$work/$(basename "$source").o"
  objects+=("$object")
  "$clang" --target="$triple" "${system[@]}" -std=c++17 -Oz -flto -Wall -Wextra -ffunction-sections -fdata-sections \
    -fno-threadsafe-statics "${lean[@]}" "${flags[@]}" -c "$source" -o "$object" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

"$clang" --target="$triple" -fuse-ld=lld -flto -Oz -shared -nostartfiles -static -s -Wl,-Map="$work/htmlayout.map" \
  -L"$(dirname "$("$gcc" -print-libgcc-file-name)")" -L"/usr/$triple/lib" \
  -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat -Wl,--kill-at -Wl,--output-def,"$work/exports.def" \
  -o "$out/htmlayout.dll" "${objects[@]}" "$resource" -lkernel32 -luser32 -lgdi32 -lole32 -loleaut32 -luuid

# The library's own entry point runs no constructors, destructors or thread-local set-up.
if grep -E ':\((\.ctors|\.dtors|\.CRT\$|\.tls)|atexit' "$work/htmlayout.map" >&2; then
  echo "build-dll.sh: the engine needs the C runtime's start-up code (static objects above)" >&2
  rm -f "$out/htmlayout.dll"
  exit 1
fi

if [ "$arch" = i686 ]; then
  # lld writes the undecorated names only; the decorated ones come from the objects themselves.
  llvm-nm --defined-only "${objects[@]}" 2>/dev/null | sed -n 's/^.* T _\([A-Za-z0-9_]*\)@\([0-9]*\)$/\1 \2/p' | sort -u >"$work/decorated"
  awk 'NR == FNR { size[$1] = $2; next }
       $1 == "EXPORTS" || !NF { print; next }
       { if (!($1 in size)) { print "no stdcall decoration for " $1 > "/dev/stderr"; exit 1 }
         print "    " $1 " = " $1 "@" size[$1] " " $2 }' "$work/decorated" "$work/exports.def" >"$out/htmlayout.def"
else
  cp "$work/exports.def" "$out/htmlayout.def"
fi
