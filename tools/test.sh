#!/usr/bin/env bash
# Builds from scratch and runs every test. Usage: tools/test.sh [preset] (default: debug).
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET="${1:-debug}"
tools/install-deps.sh
tools/check-layers.sh
cmake --preset "$PRESET" --fresh
cmake --build --preset "$PRESET"
ctest --preset "$PRESET" -j2
