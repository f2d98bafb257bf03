#!/usr/bin/env bash
# One command for the benchmark: installs pkg-config and the compressors'
# development files when missing (as root), fetches the corpus, builds,
# checks the compressed corpus against bench/hashes.txt, holds our coders
# against those of the baseline commit on generated and damaged blocks, and
# prints the table (15 rounds, the lzx tool included).
#   bench/run.sh [vorn-bench options, e.g. --rounds 31, --codec "lzx1 lz", --all]
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for p in pkg-config zlib1g-dev libdeflate-dev liblz4-dev libzstd-dev; do
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
if [ -x build/default/bench/vorn-codec-diff ]; then
  cmake --build --preset default --target vorn-codec-diff
  build/default/bench/vorn-codec-diff --cases 5000 build/bench/corpus/*
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/default/bench/vorn-bench --work "$work/w" --tool build/default/tools/lzx "$@" build/bench/corpus/*
