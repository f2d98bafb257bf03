#!/usr/bin/env bash
# The library as another project uses it: installed from this build into a
# fresh prefix, found there by CMake (find_package) and by pkg-config, each
# building the example consumer and running it.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
test -x "$work/prefix/bin/lzx"
test -f "$work/prefix/include/vorn/lzx/lzx.h"
test -f "$work/prefix/include/vorn/lzx/api.h"
test ! -e "$work/prefix/include/vorn/platform/posix"
test -x "$work/prefix/bin/vorn-update"

# The manual pages render, with their exit statuses; the completion offers
# the commands and a command's own options.
for page in lzx vorn-update; do
  MANWIDTH=80 man -l "$work/prefix/share/man/man1/$page.1" 2>/dev/null >"$work/$page.txt"
  grep -q '^EXIT STATUS' "$work/$page.txt"
done
grep -q 'lzx -d notes.txt.lzx' "$work/lzx.txt"
complete_words() { # the words offered after the line's words
  bash -c 'source /usr/share/bash-completion/bash_completion
           source "$1"; shift
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _lzx; printf "%s\n" "${COMPREPLY[@]}"' _ "$work/prefix/share/bash-completion/completions/lzx" "$@"
}
complete_words lzx comp | grep -qx compress
complete_words lzx pack --al | grep -qx -- --allow-absolute
complete_words lzx --rm | grep -qx -- --rm

cmake -S "$source/examples/consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
(cd "$work" && "$work/cmake/round-trip" by-cmake.lzx) >"$work/out.txt"
cat "$work/out.txt"
# The errors came back as statuses with the fatal texts, and the program went on.
grep -q "^missing.lzx: status 2: File Error : name = \[missing.lzx\] code = 209$" "$work/out.txt"
grep -q "^by-cmake.lzx.damaged: status 3: Hfill: block 0 fails its check \[by-cmake.lzx.damaged\]$" "$work/out.txt"

export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/$(cd "$work/prefix" && ls -d lib/*/pkgconfig 2>/dev/null | head -1)"
c++ -std=c++20 "$source/examples/consumer/main.cpp" $(pkg-config --cflags --libs vorn-lzx) -o "$work/by-pkg-config"
(cd "$work" && "$work/by-pkg-config" by-pkg-config.lzx)
# Both made the same file, and the installed tool reads it.
cmp "$work/by-cmake.lzx" "$work/by-pkg-config.lzx"
"$work/prefix/bin/lzx" test "$work/by-cmake.lzx"
