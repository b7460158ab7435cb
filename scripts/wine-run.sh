#!/usr/bin/env bash
# Runs a Windows program under Wine as a Japanese Windows would: ANSI code
# page 932, in the project's own Wine prefix (made on first use).
set -euo pipefail
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-tavvel}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
"$(dirname "$0")/wine-prefix.sh"
exec wine "$@"
