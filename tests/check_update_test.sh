#!/usr/bin/env bash
# The build's check of the update it carries: an archive without entries, a
# damaged one, one that is not an archive and one of another version than
# the programs stop the build with a message; a good one passes and its
# entries are written for the programs to name.
set -euo pipefail
lzx=$1 script=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-check-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir help && echo "<p>help</p>" > help/a.htm
printf 'good.lzx\n.\\\nhelp\\a.htm|V=203\n#help\\a.htm\n' > good.list
printf 'none.lzx\n.\\\n' > none.list
printf 'newer.lzx\n.\\\nhelp\\a.htm|V=204\n#help\\a.htm\n' > newer.list
"$lzx" -q pack good.list && "$lzx" -q pack none.list && "$lzx" -q pack newer.list
cp good.lzx damaged.lzx
printf '\x55' | dd of=damaged.lzx bs=1 seek=40 conv=notrunc status=none
printf 'plain bytes' > text && "$lzx" -q compress text notarchive.lzx
# CMake wraps its messages: one line, single blanks.
check() {
  cmake -DLZX="$lzx" -DARCHIVE="$1" -DLIST="$1.list" -DVERSION=2.03 -DENTRIES=entries.tsv -P "$script" 2>&1 |
    tr -s ' \n' '  '
  return "${PIPESTATUS[0]}"
}
check good.lzx
printf 'name\tsize\tversion\tscrambled\tdeleteAfter\treplaceOnly\n#help\\\\a.htm\t12\t203\t0\t0\t0\n' | cmp - entries.tsv
for bad in none damaged notarchive newer; do
  if out=$(check "$bad.lzx"); then echo "$bad.lzx was accepted" >&2; exit 1; fi
  case $bad in
    none|notarchive) grep -q "holds no entry: nothing would be installed" <<<"$out" ;;
    damaged) grep -q "fails 'lzx test'" <<<"$out" ;;
    newer) grep -q "is version 204 (its highest entry version), but the programs are version 2.03" <<<"$out" ;;
  esac
  test ! -e "$bad.lzx" # never left for a later build step to embed
done
echo "1 passed, 0 failed"
