#!/usr/bin/env bash
# Takes pictures of the updaters' windows into docs/screenshots/: every page, the
# message boxes a user meets on the way, and the progress window during an update,
# of vuq.exe and of vuq-legacy.exe (legacy-*.png).
#   tools/screenshots.sh
# It builds both programs (preset windows), runs them under Wine on a virtual display
# (Xvfb), drives them with tests/windows/vuq_wizard_driver and captures each window
# with ImageMagick's import. Runs headless; installs what is missing (Debian).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows --target vuq vuq-legacy vuq_wizard_driver

. tools/virtual-display.sh
start_virtual_display
WINE_RUN="build/windows/wine-run"
trap '"$WINE_RUN" --stop; stop_virtual_display' EXIT
"$WINE_RUN" --start

OUT=docs/screenshots
mkdir -p "$OUT"
VUQ=build/windows/src/vuq.exe
# The driver speaks to vuq.exe, or to vuq-legacy.exe once DRIVER_MODE is --legacy.
DRIVER_MODE=""
DRIVER() { "$WINE_RUN" build/windows/src/vuq_wizard_driver.exe $DRIVER_MODE "$@"; }

# The programs' TEMP folder, as a path of this system: the runs start without the
# files of earlier ones (the simulated runs write samples where files are missing).
TEMP_DIR=$("$WINE_RUN" winepath.exe -u "$("$WINE_RUN" cmd /c 'echo %TEMP%' | tr -d '\r')" | tr -d '\r')
[ -d "$TEMP_DIR" ] || { echo "screenshots: no TEMP folder ($TEMP_DIR)" >&2; exit 1; }
clear_temp() {
  local NAME
  for NAME in "$@"; do rm -f "$TEMP_DIR/$NAME"; done
}

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
clear_temp temp.dat Tessik_Console.exe
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

# ---- vuq-legacy.exe ----
DRIVER_MODE="--legacy"
LEGACY="$PWD/build/windows/src/vuq-legacy.exe"

# A simulated update, every wait twice as fast: the first page, its About box and
# cancel question, the first confirmation, the step-2 and step-3 pages (UPDATE on
# once the handset waits in its downloader), the second confirmation, the progress
# window in the middle of the run, the final page.
clear_temp temp.dat Tessik_Console.exe TempFileToDown VUQ.exe
"$WINE_RUN" "$LEGACY" --simulate --time-scale 2 &
VUQ_PID=$!
capture legacy-first first
DRIVER syscommand first 16
capture legacy-about about
DRIVER press about 1
DRIVER press first 1002
capture legacy-cancel "box:- CANCEL UPDATE -"
DRIVER press "box:- CANCEL UPDATE -" 7
DRIVER press first 1001
capture legacy-confirm-erase box:VUQ
DRIVER press box:VUQ 6
capture legacy-step2 step2
DRIVER press step2 1004
DRIVER enabled step3 1005 30000
capture legacy-step3 step3
DRIVER press step3 1005
capture legacy-confirm-start box:Warning
DRIVER press box:Warning 6
DRIVER wait progress 30000 >/dev/null
sleep 3
capture legacy-progress progress
capture legacy-final final
DRIVER press final 1011
DRIVER gone 30000
wait "$VUQ_PID"

# A simulated update of an image file the handset cannot take (a few bytes of
# text): the transfer-failed page. OK without "restart program" ends the program.
clear_temp temp.dat Tessik_Console.exe TempFileToDown VUQ.exe
echo "not an image" >"$TEMP_DIR/temp.dat"
"$WINE_RUN" "$LEGACY" --simulate --time-scale 2 &
VUQ_PID=$!
DRIVER press first 1001
DRIVER press box:VUQ 6
DRIVER press step2 1004
DRIVER enabled step3 1005 30000
DRIVER press step3 1005
DRIVER press box:Warning 6
capture legacy-transfer-failed transfer-failed
DRIVER press transfer-failed 1012
DRIVER gone 30000
wait "$VUQ_PID"

# The program on this PC, which has no sync software: the agent cannot be copied to
# the handset, and the agent-failed page offers a restart. The agent is read from
# the current directory.
AGENT_DIR=$(mktemp -d)
echo "agent" >"$AGENT_DIR/Tessik_Console.exe"
(cd "$AGENT_DIR" && "$OLDPWD/$WINE_RUN" "$LEGACY") &
VUQ_PID=$!
DRIVER press first 1001
DRIVER press box:VUQ 6
capture legacy-agent-failed agent-failed
DRIVER press agent-failed 1016
DRIVER gone 30000
wait "$VUQ_PID"
rm -rf "$AGENT_DIR"
