#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets into fuzz/corpus/TARGET/ from
# our own lzx tool's output. Run after changing the formats; the seeds are
# committed with the inputs that fuzzing found worth keeping.
#   make-fuzz-seeds.sh [LZX]   (default: build/default/tools/lzx)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
lzx=${1:-$root/build/default/tools/lzx}
corpus=$root/fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Small sources of different kinds.
printf 'Vorn 2.03\n' >text
for i in $(seq 1 400); do echo "help line $i: install update version"; done >lines
head -c 3000 /dev/urandom >noise
: >empty
# Rows of 64 bytes with empty (0xff) rows among them, for the row transform.
{ for i in $(seq 1 40); do printf '%064d' "$i"; head -c 64 /dev/zero | tr '\0' '\377'; done; } >rows

mkdir -p "$corpus"/{container_fuzz,codec_fuzz,archive_fuzz,pack_fuzz,roundtrip_fuzz}
for f in text lines noise empty rows; do
  for mode in lz huffman rows; do
    opt=; [ "$mode" = lz ] || opt=--$mode # the default mode has no option
    "$lzx" compress $opt "$f" "$f.$mode.lzx" >/dev/null 2>&1 || continue
    cp "$f.$mode.lzx" "$corpus/container_fuzz/$f-$mode"
  done
  cp "$f" "$corpus/roundtrip_fuzz/$f"
done

# A coded block as the codec target reads it: decoder byte, then the block's
# bit count and bytes as they stand after the file's header.
for f in lines noise; do
  printf '\000' | cat - <(tail -c +17 "$f.lz.lzx" | head -c 4000) >"$corpus/codec_fuzz/lz-$f"
  printf '\001' | cat - <(tail -c +17 "$f.huffman.lzx" | head -c 4000) >"$corpus/codec_fuzz/huf-$f"
done
# Run-length input: a length of 4 and two runs; row input: 2 rows.
printf '\002\004\000\000\000\217A\217B' >"$corpus/codec_fuzz/rle-runs"
{ printf '\003\002\000\000\000'; printf '\005\007'; head -c 254 /dev/zero; head -c 128 lines; } >"$corpus/codec_fuzz/rows-two"

# Archive contents: the uncompressed bytes of packed archives.
mkdir -p tree/sub
cp text tree/readme.txt
cp lines tree/sub/help.txt
printf 'a.lzx\ntree\\\nreadme.txt|V=203\n#readme.txt\nsub\\help.txt|V=150|E=1\n#sub\\help.txt\n' >list1
printf 'b.lzx\ntree\\\nreadme.txt|V=100|R=1|D=1\n#x\\y\\readme.txt\n' >list2
"$lzx" pack list1 >/dev/null
"$lzx" pack list2 >/dev/null
"$lzx" decompress a.lzx "$corpus/archive_fuzz/two-entries"
"$lzx" decompress b.lzx "$corpus/archive_fuzz/options"
cp list1 "$corpus/pack_fuzz/list1"
cp list2 "$corpus/pack_fuzz/list2"
printf 'out.lzx\n.\\\na.txt | v=120 | x=1\n#a.txt\nb.bin|V=99\n#b\n' >"$corpus/pack_fuzz/options"
printf 'out.lzx\n.\\\n\na.txt\n\n#a.txt\nb.bin\n' >"$corpus/pack_fuzz/missing-name"
du -sh "$corpus"
