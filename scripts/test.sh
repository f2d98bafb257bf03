#!/usr/bin/env bash
# Installs what the build needs (when run as root on Debian), then configures,
# builds and runs the whole test suite: natively in the default and the
# sanitizer presets (with the fuzz corpora), the library tests under
# ThreadSanitizer, each fuzz target for a short
# while, then the Windows cross build with every test under Wine, and the
# Windows programs as shipped (win32-release) with their own checks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh win32

for preset in default asan; do
  echo "== preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# The library tests under ThreadSanitizer: threads coding blocks at once.
echo "== preset tsan"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan

# Each fuzz target for a bounded time, when clang is here (the regression
# corpora were replayed above, under the sanitizers too).
if command -v clang++-14 >/dev/null; then
  echo "== fuzzing, 30 seconds a target"
  bash scripts/fuzz.sh 30
fi

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
echo "== preset win32-release"
cmake --preset win32-release >/dev/null
cmake --build --preset win32-release
ctest --preset win32-release
