#!/usr/bin/env bash
# The main job end to end, headless: builds vuqctl, generates a sample firmware
# image, shows what the updater reads from it, and flashes it into the built-in
# virtual handset over a pseudo-terminal with the updater's own steps, waits and
# frames (about 15 seconds: the update ends with the updater's 10-second pause).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset release --fresh >/dev/null
cmake --build --preset release --target vuqctl vuq_sample_image
OUT=build/release/demo
mkdir -p "$OUT"
build/release/tests/vuq_sample_image "$OUT/sample.dat"
build/release/src/cli/vuqctl info "$OUT/sample.dat"
echo
build/release/src/cli/vuqctl flash --simulate "$OUT/sample.dat"
