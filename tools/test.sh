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
    # The dialog tests need a display: a virtual one (Xvfb) on the first free number
    # from 90 on, for this run only. A number another run takes at the same moment
    # makes this Xvfb exit; the next one is tried then.
    DISPLAY_NUMBER=89
    XVFB_PID=""
    while [ -z "$XVFB_PID" ]; do
      DISPLAY_NUMBER=$((DISPLAY_NUMBER + 1))
      [ -e "/tmp/.X$DISPLAY_NUMBER-lock" ] || [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] && continue
      Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
      done
      kill -0 "$XVFB_PID" 2>/dev/null || XVFB_PID=""
    done
    export DISPLAY=":$DISPLAY_NUMBER"
    # One persistent wineserver with a booted prefix for the whole run: a test program
    # that started Wine's services itself would have them hold its output pipe, and
    # CTest would wait on them after every test.
    WINE_RUN="build/$PRESET/wine-run"
    trap '"$WINE_RUN" --stop; kill "$XVFB_PID" 2>/dev/null || true' EXIT
    "$WINE_RUN" --start
    # Now and then Wine fails to start a test program at all (it ends within 20 ms
    # with no output): such a test is run once more. A test that fails twice fails.
    CTEST_ARGS=(--repeat until-pass:2)
    ;;
  *) CTEST_ARGS=() ;;
esac
ctest --preset "$PRESET" -j2 "${CTEST_ARGS[@]}"
