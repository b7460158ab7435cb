#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in, once: a complete prefix,
# Japanese fonts standing in for the ones the dialogs name.
set -euo pipefail
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-tavvel}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
marker="$WINEPREFIX/.tavvel-ready"
[ -f "$marker" ] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$marker" ] && exit 0
# The first start of a prefix may show a window: give it a virtual screen.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a wineboot -i >/dev/null 2>&1 || true
else
  wineboot -i >/dev/null 2>&1 || true
fi
wineserver -w
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for name in "ＭＳ Ｐゴシック" "MS PGothic" "MS UI Gothic"; do
  wine reg add "$key" /v "$name" /d IPAPGothic /f >/dev/null 2>&1
done
for name in "ＭＳ ゴシック" "MS Gothic"; do
  wine reg add "$key" /v "$name" /d IPAGothic /f >/dev/null 2>&1
done
wineserver -w
touch "$marker"
