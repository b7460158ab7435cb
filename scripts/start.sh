#!/usr/bin/env bash
# Starts Tavvel. On Linux: installs what building needs, builds the Windows
# program and runs it under Wine (Japanese code page). Extra arguments go to
# the program.
set -euo pipefail
cd "$(dirname "$0")/.."
case "$(uname -s)" in
  MINGW* | MSYS* | CYGWIN*)
    cmake --preset mingw >/dev/null && cmake --build --preset mingw --target Tavvel
    exec build/mingw/app/Tavvel.exe "$@"
    ;;
esac
scripts/install-deps.sh build
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Tavvel -j "$(nproc 2>/dev/null || echo 2)"
if [ -z "${DISPLAY:-}" ]; then
  echo "Tavvel is a desktop program and needs an X display (DISPLAY is not set)." >&2
  echo "For the command-line join, see tavvel-cli in README.md." >&2
  exit 2
fi
exec scripts/wine-run.sh build/mingw/app/Tavvel.exe "$@"
