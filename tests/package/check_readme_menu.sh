#!/usr/bin/env bash
# The readme command of the real program under Wine, run from the build tree
# and from the unpacked zip: the shell must be asked to open exactly the
# Tavvel.html beside Tavvel.exe, and that file must be there.
# The shell's "open" command for HTML pages is pointed at a recorder that
# writes the path it is given to the file named by TAVVEL_README_RECORD. That
# happens in a Wine prefix of this test's own, made once like the project's
# other one, so that no browser starts and no other prefix changes; one run at
# a time uses it, since each run ends its Wine session.
# usage: check_readme_menu.sh HELPER.exe Tavvel.exe ZIP WORK_DIR
set -uo pipefail
helper=$1 exe=$2 zip=$3 work=$4
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$work"
work=$(cd "$work" && pwd)
log=$work/wine.log
: >"$log"
export WINEPREFIX=${TAVVEL_README_WINEPREFIX:-${HOME:-/tmp}/.wine-tavvel-readme}
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
# Wine's services outlive the programs that start them and keep their
# standard handles: they get none of ours, and end with the test.
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$work/zip"' EXIT
if [ ! -f "$WINEPREFIX/.tavvel-ready" ]; then
  wineboot -i </dev/null >>"$log" 2>&1
  wineserver -w
  wine reg add 'HKCR\.html' /ve /d htmlfile /f </dev/null >>"$log" 2>&1
  wine reg add 'HKCR\htmlfile\shell\open\command' /ve \
    /d 'C:\windows\system32\cmd.exe /c echo %1> "%TAVVEL_README_RECORD%"' /f </dev/null >>"$log" 2>&1
  wineserver -w
  touch "$WINEPREFIX/.tavvel-ready"
fi
record=$work/opened.txt
TAVVEL_README_RECORD=$(winepath -w "$record" 2>>"$log")
export TAVVEL_README_RECORD

check() {  # the Tavvel.exe to start
  local program=$1 page=${1%.exe}.html
  [ -f "$page" ] || fail "no $page beside $program"
  rm -f "$record"
  wine "$helper" "$(winepath -w "$program" 2>>"$log")" "$TAVVEL_README_RECORD" </dev/null >>"$log" 2>&1 ||
    fail "$program: the readme command did not reach the shell (see $log)"
  local opened expected
  opened=$(tr -d '\r\n' <"$record" 2>/dev/null)
  expected=$(winepath -w "$page" 2>>"$log")
  [ "$opened" == "$expected" ] || fail "$program: the shell was asked to open '$opened', not '$expected'"
}

check "$exe"
rm -rf "$work/zip" && mkdir -p "$work/zip"
if unzip -q "$zip" -d "$work/zip"; then
  check "$(find "$work/zip" -name Tavvel.exe | head -1)"
else
  fail "cannot unpack $zip"
fi

[ "$failures" -eq 0 ] && echo "readme command: ok"
exit $((failures > 0))
