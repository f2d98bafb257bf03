#!/usr/bin/env bash
# Installs what the build needs (when run as root on Debian), then configures,
# builds and runs the whole test suite: natively in the default and the
# sanitizer presets, then the Windows cross build with every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh win32

for preset in default asan; do
  echo "== preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# Wine runs in a throwaway prefix, removed at the end.
wine_home=$(mktemp -d "${TMPDIR:-/tmp}/vorn-wine-XXXXXX")
export WINEPREFIX="$wine_home/pfx"
cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  rm -rf "$wine_home"
}
trap cleanup EXIT
echo "== preset win32 (Wine prefix $WINEPREFIX)"
bash scripts/wine-run.sh --prepare
cmake --preset win32 >/dev/null
cmake --build --preset win32
ctest --preset win32
