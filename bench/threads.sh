#!/usr/bin/env bash
# The whole process on large files: `lzx compress` and `lzx decompress` with
# -T 1 and -T 2 (process start, reading, coding, writing, the flush to the
# disk included), zstd -T1/-T2 and gzip beside them, and the cost of the
# flush itself (dd with and without conv=fsync). Contenders run in turn
# within each round on the same files; best and median of the rounds.
#   bench/threads.sh [ROUNDS]   (after bench/corpus.sh and a default build)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
lzx=$PWD/build/default/tools/lzx
corpus=$PWD/build/bench/corpus
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-threads-XXXXXX")
trap 'rm -rf "$work"' EXIT
# 24 MB of text and of source: the corpus files repeated.
for kind in text.txt source.cc; do
  while [ ! -f "$work/$kind" ] || [ "$(stat -c %s "$work/$kind")" -lt 25165824 ]; do cat "$corpus/$kind" >>"$work/$kind"; done
  truncate -s 25165824 "$work/$kind"
done
now() { date +%s%N; }
declare -A times
run() { # NAME COMMAND...
  local name=$1 start end
  shift
  start=$(now)
  "$@" >/dev/null 2>&1
  end=$(now)
  times[$name]+="$(( (end - start) / 1000 )) "
}
for kind in text.txt source.cc; do
  f=$work/$kind
  "$lzx" -q -T 1 compress "$f" "$f.lzx"
  zstd -q -3 -f "$f" -o "$f.zst"
  for ((r = 0; r < rounds; r++)); do
    rm -f "$work/o"*
    run "$kind lzx -T1 compress" "$lzx" -q -T 1 compress "$f" "$work/o1.lzx"
    run "$kind lzx -T2 compress" "$lzx" -q -T 2 compress "$f" "$work/o2.lzx"
    cmp "$work/o1.lzx" "$work/o2.lzx"
    cmp "$work/o1.lzx" "$f.lzx"
    run "$kind lzx -T1 decompress" "$lzx" -q -T 1 decompress "$f.lzx" "$work/o1.out"
    run "$kind lzx -T2 decompress" "$lzx" -q -T 2 decompress "$f.lzx" "$work/o2.out"
    cmp "$work/o1.out" "$f"
    cmp "$work/o2.out" "$f"
    run "$kind zstd-3 -T1 compress" zstd -q -3 -T1 -f "$f" -o "$work/o.zst"
    run "$kind zstd-3 -T2 compress" zstd -q -3 -T2 -f "$f" -o "$work/o.zst"
    run "$kind zstd decompress" zstd -q -d -f "$f.zst" -o "$work/o.zst.out"
    run "$kind gzip-6 compress" sh -c "gzip -6 -c '$f' >'$work/o.gz'"
    run "$kind gzip decompress" sh -c "gzip -d -c '$work/o.gz' >'$work/o.gz.out'"
    run "$kind write 24 MB" dd if="$f" of="$work/o.dd" bs=1M
    run "$kind write 24 MB + fsync" dd if="$f" of="$work/o.dd" bs=1M conv=fsync
  done
done
stats() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {printf "%8.1f %8.1f", a[1]/1000, a[int((NR+1)/2)]/1000}'; }
printf '%-34s %8s %8s   (ms, %d rounds)\n' "" best median "$rounds"
for kind in text.txt source.cc; do
  for name in "lzx -T1 compress" "lzx -T2 compress" "lzx -T1 decompress" "lzx -T2 decompress" "zstd-3 -T1 compress" \
              "zstd-3 -T2 compress" "zstd decompress" "gzip-6 compress" "gzip decompress" "write 24 MB" "write 24 MB + fsync"; do
    printf '%-34s %s\n' "$kind $name" "$(echo "${times[$kind $name]}" | stats)"
  done
  # -T2 against -T1: the ratio of the best times and the median of the per-round ratios.
  for op in compress decompress; do
    read -ra one <<<"${times[$kind lzx -T1 $op]}"
    read -ra two <<<"${times[$kind lzx -T2 $op]}"
    ratios=""
    for ((i = 0; i < ${#one[@]}; i++)); do ratios+="$(awk -v a="${one[i]}" -v b="${two[i]}" 'BEGIN {printf "%.4f", a / b}') "; done
    best1=$(echo "${one[*]}" | tr ' ' '\n' | sort -n | head -1)
    best2=$(echo "${two[*]}" | tr ' ' '\n' | sort -n | head -1)
    median=$(echo "$ratios" | tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    printf '%-34s best %.2f, median %.2f\n' "$kind -T2 / -T1 $op" "$(awk -v a="$best1" -v b="$best2" 'BEGIN {print a / b}')" "$median"
  done
done
