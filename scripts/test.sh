#!/usr/bin/env bash
# Installs what the build needs (when run as root on Debian), then configures,
# builds and runs the whole test suite in the default and the sanitizer presets.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for preset in default asan; do
  echo "== preset $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
