#!/usr/bin/env bash
# Builds (installing what is missing, as root), then packs a sample tree with
# the lzx tool, lists the archive and unpacks it into a sandbox, as a maker
# would before shipping an update.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
lzx="$PWD/build/default/tools/lzx"

sandbox=$(mktemp -d /tmp/vorn-run-XXXXXX)
cd "$sandbox"
mkdir -p tree/help
printf 'Vorn 2.03\n' > tree/readme.txt
cp "$OLDPWD/docs/format.md" tree/help/format.md
printf 'update.lzx\ntree\\\nreadme.txt|V=203\n#readme.txt\nhelp\\format.md|V=203\n#help\\format.md\n' > list.txt
echo "== lzx pack list.txt";         "$lzx" pack list.txt
echo "== lzx list update.lzx";       "$lzx" list update.lzx
echo "== lzx info update.lzx";       "$lzx" info update.lzx | head -8
mkdir install
echo "== lzx unpack update.lzx install --versions install/lzx.ver"
"$lzx" unpack update.lzx install --versions install/lzx.ver
diff -r tree install --exclude lzx.ver && echo "== unpacked tree matches the source"
echo "sandbox: $sandbox"
