#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Usage: tools/install-deps.sh [preset]: a windows* preset also needs the mingw-w64
# cross compiler, Wine (the tests run under it), a virtual X display, the GoogleTest
# sources (built for the target) and ImageMagick (tools/screenshots.sh captures the
# wizard's windows with it) and Liberation Serif (the legacy pages' serif face under
# Wine); the fuzz preset needs clang and its sanitizer runtimes.
set -euo pipefail
PRESET="${1:-debug}"
PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
          nlohmann-json3-dev libusb-1.0-0-dev)
case "$PRESET" in
  windows*) PACKAGES+=(g++-mingw-w64-x86-64-posix wine wine64 xvfb googletest imagemagick fonts-liberation) ;;
  fuzz) PACKAGES+=(clang libclang-rt-14-dev) ;;
esac
MISSING=()
for PKG in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$PKG" 2>/dev/null | grep -q "install ok installed" || MISSING+=("$PKG")
done
if [ ${#MISSING[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  # Waits for another package installation that holds the lock instead of failing.
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq -o DPkg::Lock::Timeout=600 "${MISSING[@]}"
fi
