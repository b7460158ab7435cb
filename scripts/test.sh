#!/usr/bin/env bash
# Builds Tavvel and runs every test: the native suites, the same suites under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short run of every fuzz
# target, and the Windows build's suites and dialog tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
for preset in default asan; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "== fuzz (smoke) =="
scripts/fuzz-smoke.sh

echo "== mingw (under Wine) =="
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"
scripts/wine-prefix.sh
export LANG=ja_JP.UTF-8 WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-tavvel}" WINEDEBUG=-all
wineserver -p 60 2>/dev/null || true
ctest --preset mingw -j 1
