#!/usr/bin/env bash
# Which list the build carries: VORN_UPDATE_LIST from the environment wins
# over the cache (for every preset, since each configures this same code),
# and a list of another version than the programs stops the build.
#   carried_list_test.sh SOURCE LZX
set -euo pipefail
source=$1 lzx=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-carried-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mine/help"
echo "<p>mine</p>" >"$work/mine/help/mine.htm"
printf 'mine.lzx\n.\\\nhelp\\mine.htm|V=203\n#help\\mine.htm\n' >"$work/mine/my.list"
printf 'mine.lzx\n.\\\nhelp\\mine.htm|V=204\n#help\\mine.htm\n' >"$work/mine/newer.list"
# Only the packing runs: the built lzx packs, nothing else is built.
configure() {
  cmake -S "$source" -B "$work/build" -G Ninja -DVORN_BUILD_TESTS=OFF -DVORN_LZX_EXECUTABLE="$lzx" \
    -DVORN_UPDATE_LIST="$source/data/update.list" "$@" >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; return 1; }
}
(cd "$work" && VORN_UPDATE_LIST=mine/my.list configure)
cmake --build "$work/build" --target updater/carried.lzx >/dev/null
grep -q '^#help\\\\mine.htm	' "$work/build/updater/carried.tsv" || { cat "$work/build/updater/carried.tsv"; exit 1; }
VORN_UPDATE_LIST="$work/mine/newer.list" configure
if cmake --build "$work/build" --target updater/carried.lzx >"$work/build.log" 2>&1; then
  echo "a list of version 2.04 was carried by programs of another version" >&2
  exit 1
fi
tr -s ' \n' '  ' <"$work/build.log" | grep -q "is version 204 (its highest entry version), but the programs are version"
test ! -e "$work/build/updater/carried.lzx"
if VORN_UPDATE_LIST="$work/missing.list" configure; then echo "a missing list was accepted" >&2; exit 1; fi
echo "passed"
