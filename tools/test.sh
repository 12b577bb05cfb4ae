#!/usr/bin/env bash
# Builds from scratch and runs every test.
#   tools/test.sh            the Linux suite (debug) and the Windows suite under Wine
#   tools/test.sh PRESET     one preset: debug, release, asan, tsan, windows, windows-release
# The windows presets cross-build with mingw-w64 and run the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
  tools/test.sh debug
  tools/test.sh windows
  exit 0
fi
PRESET="$1"
tools/install-deps.sh "$PRESET"
tools/check-layers.sh
cmake --preset "$PRESET" --fresh
cmake --build --preset "$PRESET"
case "$PRESET" in
  windows*)
    # The dialog tests need a display: a virtual one, for this run only.
    . tools/virtual-display.sh
    start_virtual_display
    # One persistent wineserver with a booted prefix for the whole run: a test program
    # that started Wine's services itself would have them hold its output pipe, and
    # CTest would wait on them after every test.
    WINE_RUN="build/$PRESET/wine-run"
    trap '"$WINE_RUN" --stop; stop_virtual_display' EXIT
    "$WINE_RUN" --start
    # Now and then Wine fails to start a test program at all (it ends within 20 ms
    # with no output): such a test is run once more. A test that fails twice fails.
    CTEST_ARGS=(--repeat until-pass:2)
    ;;
  *) CTEST_ARGS=() ;;
esac
ctest --preset "$PRESET" -j2 "${CTEST_ARGS[@]}"
