#!/usr/bin/env bash
# Builds the fuzz targets and runs each once over its seed corpus: a regression run
# (every seed must pass), not a search. Usage: tools/fuzz-regress.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh fuzz
cmake --preset fuzz --fresh
cmake --build --preset fuzz
cd build/fuzz/fuzz
for TARGET in fuzz_image_parse fuzz_reply_lines fuzz_legacy_reply fuzz_markup; do
  echo "== $TARGET over corpus/$TARGET"
  ./"$TARGET" -runs=0 -print_final_stats=0 "corpus/$TARGET"
done
