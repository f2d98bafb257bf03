#!/usr/bin/env bash
# One command for the benchmark: installs the compressors' development files
# when missing (as root), fetches the corpus, builds and prints the table.
#   bench/run.sh [vorn-bench options, e.g. --reps 3 or --codec "lzx1 lz"]
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for p in zlib1g-dev libdeflate-dev liblz4-dev libzstd-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "missing packages: ${missing[*]} (run as root)" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
bash scripts/install-deps.sh
bash bench/corpus.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vorn-bench lzx_tool
bash bench/check-hashes.sh
build/default/bench/vorn-bench "$@" build/bench/corpus/*
