#!/usr/bin/env bash
# Renders the main dialog and the about box under Wine on a virtual screen
# and saves them as PNG in docs/. Needs the mingw build (build/mingw) and
# what scripts/install-deps.sh bench installs.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/mingw/app/Tavvel.exe
[ -f "$exe" ] || { echo "build the Windows program first: cmake --preset mingw && cmake --build --preset mingw" >&2; exit 1; }
scripts/wine-prefix.sh
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-tavvel}" WINEDEBUG=-all

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x640x24 >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
wine explorer /desktop=Tavvel,800x640 "$exe" &
sleep 6
mkdir -p docs
import -window root -crop 575x560+0+0 docs/main-dialog.png
# Help > About: the menu by keyboard, as a user would.
xdotool key alt+h
sleep 1
xdotool key a
sleep 2
import -window root -crop 575x560+0+0 docs/about-box.png
# Close the about box, then the program, with Escape.
xdotool key Escape
sleep 1
xdotool key Escape
sleep 2
echo "docs/main-dialog.png docs/about-box.png"
