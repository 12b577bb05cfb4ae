#!/usr/bin/env bash
# Takes pictures of the updater's windows into docs/screenshots/: every page, the
# message boxes a user meets on the way, and the progress window during an update.
#   tools/screenshots.sh
# It builds vuq.exe (preset windows), runs it under Wine on a virtual display
# (Xvfb), drives it with tests/windows/vuq_wizard_driver and captures each window
# with ImageMagick's import. Runs headless; installs what is missing (Debian).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows --target vuq vuq_wizard_driver

. tools/virtual-display.sh
start_virtual_display
WINE_RUN="build/windows/wine-run"
trap '"$WINE_RUN" --stop; stop_virtual_display' EXIT
"$WINE_RUN" --start

OUT=docs/screenshots
mkdir -p "$OUT"
VUQ=build/windows/src/vuq.exe
DRIVER() { "$WINE_RUN" build/windows/src/vuq_wizard_driver.exe "$@"; }

# Captures the window of a kind (see the driver) into $OUT/NAME.png.
capture() {
  local NAME="$1" KIND="$2" GEOMETRY
  GEOMETRY=$(DRIVER wait "$KIND" 30000)
  read -r LEFT TOP WIDTH HEIGHT <<<"$GEOMETRY"
  # The window has drawn itself once the driver saw it; a short pause lets the
  # rich text and the side picture finish painting.
  sleep 0.5
  import -window root -crop "${WIDTH}x${HEIGHT}+${LEFT}+${TOP}" +repage "$OUT/$NAME.png"
  echo "screenshots: $OUT/$NAME.png ($KIND, ${WIDTH}x${HEIGHT})"
}

# A simulated update, every wait twice as fast: the welcome page and its cancel
# question, the confirmation page, the progress window in the middle of the run
# (the closing pause keeps it up for 5 s), the finish page.
"$WINE_RUN" cmd /c 'del /q "%TEMP%\temp.dat" "%TEMP%\Tessik_Console.exe" 2>nul' >/dev/null 2>&1 || true
"$WINE_RUN" "$VUQ" --simulate --time-scale 2 &
VUQ_PID=$!
capture welcome welcome
DRIVER press welcome 2
capture cancel-question box:Palomux
DRIVER press box:Palomux 7
DRIVER press welcome 1
capture confirm confirm
DRIVER press confirm 1
DRIVER wait progress 30000 >/dev/null
sleep 3
capture progress progress
capture finish finish
DRIVER press finish 1
DRIVER gone 30000
wait "$VUQ_PID"

# The program on this PC, which has no sync software: the remote API cannot be
# started, and the wizard offers to try again.
"$WINE_RUN" "$VUQ" &
VUQ_PID=$!
DRIVER press welcome 1
capture no-remote-api box:VUQ
DRIVER press box:VUQ 1
capture not-connected not-connected
DRIVER press not-connected 2
DRIVER press box:Palomux 6
DRIVER gone 30000
wait "$VUQ_PID"
