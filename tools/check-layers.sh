#!/usr/bin/env bash
# Checks that the core stays portable: no OS or Qt header in the core folders.
set -euo pipefail
cd "$(dirname "$0")/.."
CORE=(src/common src/image src/link src/host src/app/worker src/legacy src/ui/markup)
FILES=$(find "${CORE[@]}" -maxdepth 1 -name '*.h' -o -name '*.cpp' 2>/dev/null; find src/platform -maxdepth 1 -name '*.h' -o -maxdepth 1 -name '*.cpp')
BAD=$(grep -nE '#include *<(unistd\.h|fcntl\.h|termios\.h|dlfcn\.h|pty\.h|poll\.h|windows\.h|sys/[a-z_]+\.h|Q[A-Za-z]+)>' $FILES || true)
if [ -n "$BAD" ]; then
  echo "OS or Qt headers in the core:"
  echo "$BAD"
  exit 1
fi
# The simulated platform builds on every OS, apart from its pseudo-terminal files (Pty*).
SIM=$(find src/platform/sim -maxdepth 1 \( -name '*.h' -o -name '*.cpp' \) ! -name 'Pty*')
BAD=$(grep -nE '#include *<(unistd\.h|fcntl\.h|termios\.h|dlfcn\.h|pty\.h|poll\.h|windows\.h|sys/[a-z_]+\.h)>|#include *"platform/posix/' $SIM || true)
if [ -n "$BAD" ]; then
  echo "OS headers in the portable simulated platform:"
  echo "$BAD"
  exit 1
fi
echo "layers: core is free of OS and Qt headers; the simulated platform, apart from Pty*, of OS headers"
