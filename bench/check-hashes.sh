#!/usr/bin/env bash
# Compresses every corpus file in every mode with the lzx tool and compares
# the SHA-256 of each compressed file with bench/hashes.txt, taken before the
# coders were optimised. "refused" stands for a mode the file cannot take.
#   check-hashes.sh [LZX] [CORPUS]          compare
#   check-hashes.sh --write [LZX] [CORPUS]  write bench/hashes.txt anew
set -euo pipefail
cd "$(dirname "$0")/.."
write=0
[ "${1:-}" = --write ] && { write=1; shift; }
lzx=${1:-$PWD/build/default/tools/lzx}
corpus=${2:-$PWD/build/bench/corpus}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in text.txt source.cc binary.elf mime.xml packed.deb mixed.tar; do
  for mode in lz huffman rows; do
    opt=; [ "$mode" = lz ] || opt=--$mode # the default mode has no option
    # --no-check: the bytes of a file without checks, as the hashes were taken.
    if "$lzx" -f compress --no-check $opt "$corpus/$f" "$work/out.lzx" >/dev/null 2>&1; then
      echo "$f $mode $(sha256sum "$work/out.lzx" | cut -c1-64)"
    else
      echo "$f $mode refused"
    fi
  done
done >"$work/now.txt"
if [ "$write" = 1 ]; then
  cp "$work/now.txt" bench/hashes.txt
  cat bench/hashes.txt
else
  diff bench/hashes.txt "$work/now.txt" && echo "every compressed file is as before"
fi
