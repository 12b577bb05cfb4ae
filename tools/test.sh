#!/usr/bin/env bash
# Builds from scratch and runs every test. Usage: tools/test.sh [preset] (default: debug).
# The windows presets cross-build with mingw-w64 and run the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET="${1:-debug}"
tools/install-deps.sh "$PRESET"
tools/check-layers.sh
cmake --preset "$PRESET" --fresh
cmake --build --preset "$PRESET"
case "$PRESET" in
  windows*)
    # One persistent wineserver with a booted prefix for the whole run: a test program
    # that started Wine's services itself would have them hold its output pipe, and
    # CTest would wait on them after every test.
    WINE_RUN="build/$PRESET/wine-run"
    trap '"$WINE_RUN" --stop' EXIT
    "$WINE_RUN" --start
    ;;
esac
ctest --preset "$PRESET" -j2
