#!/usr/bin/env bash
# Builds the libFuzzer programs (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each target for SECONDS (default 30),
# starting from its committed corpus in fuzz/corpus/. New inputs go to a
# temporary folder; anything found goes to build/fuzz/findings/ and makes
# the run fail. Add a finding to fuzz/corpus/TARGET/ once it is mended, so
# that every build replays it.
#   fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(container_fuzz codec_fuzz archive_fuzz pack_fuzz roundtrip_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
findings=$PWD/build/fuzz/findings
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  result=0
  ASAN_OPTIONS=detect_leaks=0 "build/fuzz/fuzz/${t}_fuzzer" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$findings/$t-" \
    "$work/$t" "$PWD/fuzz/corpus/$t" >"$work/$t.log" 2>&1 || result=$?
  summary=$(grep -E '^#[0-9]+.*DONE' "$work/$t.log" | tail -1 || true)
  echo "== $t: ${summary:-no summary} (status $result)"
  if [ "$result" -ne 0 ]; then
    tail -40 "$work/$t.log"
    status=1
  fi
done
exit "$status"
