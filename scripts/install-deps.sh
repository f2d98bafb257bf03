#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those missing.
#   install-deps.sh          building and running the native programs
#   install-deps.sh test     also what the native tests and fuzzing use
#   install-deps.sh win32    also the Windows cross build and Wine
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libcli11-dev libxxhash-dev pandoc)
if [ "${1:-}" = test ] || [ "${1:-}" = win32 ]; then
  packages+=(desktop-file-utils clang-14 libclang-rt-14-dev bash-completion man-db)
fi
if [ "${1:-}" = win32 ]; then
  # googletest brings the sources that the cross build compiles for Windows.
  packages+=(googletest g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 wine wine32:i386 xvfb xdotool
             x11-apps imagemagick locales)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root, or install them first)" >&2
  exit 1
fi
echo "== installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ "${1:-}" = win32 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386 # Wine's 32-bit half
fi
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
