#!/usr/bin/env bash
# Builds (installing what is missing, as root), then runs the delivered
# updater, vorn-update, against a sandbox: a throwaway settings store and a
# sample Vorn 2.0 installation with its lzx.ver. Your own settings are never
# touched. Extra arguments go to the updater (for example -dut or -eng).
#
# On a terminal the dialog waits for you: Enter or "i" installs, "c" cancels.
# Without a terminal on standard input the install button is pressed for you.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Quiet when all goes well; the whole output when it does not. Only what
# runs here is built: the updater and lzx, not the test suites.
log=$(mktemp /tmp/vorn-build-XXXXXX.log)
if ! { cmake --preset default && cmake --build --preset default --target vorn-update lzx_tool; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "== the build failed (output above, also in $log)" >&2
  exit 1
fi
rm -f "$log"
bin="$PWD/build/default"
lzx="$bin/tools/lzx"

sandbox=$(mktemp -d /tmp/vorn-sandbox-XXXXXX)
install="$sandbox/Vorn"
mkdir -p "$install/help" "$sandbox/config/Vorn" "$sandbox/data" "$sandbox/run" "$sandbox/tmp"
printf 'Location=%s\nVersion=2.0\n' "$install" > "$sandbox/config/Vorn/settings.ini"

# The installed product: version 2.0 of the help, and a file the update does
# not carry. Its lzx.ver is made the way an install would have made it.
printf '<html><body><h1>Vorn 2.0 help</h1></body></html>\n' > "$install/help/vorn.htm"
printf 'Vorn 2.0\n' > "$install/readme.txt"
mkdir -p "$sandbox/old"
cp -r "$install/help" "$install/readme.txt" "$sandbox/old/"
printf 'old.lzx\n.\\\nhelp\\vorn.htm|V=200\n#help\\vorn.htm\nreadme.txt|V=200\n#readme.txt\n' > "$sandbox/old/list.txt"
(cd "$sandbox/old" && "$lzx" pack list.txt >/dev/null && "$lzx" unpack old.lzx "$install" --versions "$install/lzx.ver" >/dev/null)
rm -rf "$sandbox/old"

export HOME="$sandbox" XDG_CONFIG_HOME="$sandbox/config" XDG_DATA_HOME="$sandbox/data" \
       XDG_RUNTIME_DIR="$sandbox/run" TMPDIR="$sandbox/tmp"

echo "== sandbox: $sandbox"
echo "== to run the updater again in it:"
echo "   export HOME='$sandbox' XDG_CONFIG_HOME='$sandbox/config' XDG_DATA_HOME='$sandbox/data' XDG_RUNTIME_DIR='$sandbox/run' TMPDIR='$sandbox/tmp'"
echo "   $bin/updater/vorn-update"
echo "== installed before:"
"$lzx" versions "$install/lzx.ver"
before=$(cd "$install" && find . -type f -exec sha256sum {} + | sort -k2)

status=0
if [ -t 0 ]; then
  "$bin/updater/vorn-update" "$@" || status=$?
else
  printf 'i\n' | "$bin/updater/vorn-update" "$@" || status=$?
fi
echo "== vorn-update ended with status $status"

echo "== installed after:"
"$lzx" versions "$install/lzx.ver"
after=$(cd "$install" && find . -type f -exec sha256sum {} + | sort -k2)
echo "== files changed:"
diff <(echo "$before") <(echo "$after") | sed -n 's/^> [0-9a-f]*  /   /p' || true
echo "== sandbox: $sandbox"
