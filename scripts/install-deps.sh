#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test Tavvel.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  g++ cmake make pkg-config                  # native build
  libgtest-dev googletest libbenchmark-dev   # test and benchmark frameworks
  clang-14 libclang-rt-14-dev                # fuzzers
  mingw-w64 wine wine64 xvfb xauth           # the Windows program, run under Wine
  locales fonts-ipafont-gothic               # code page 932 and the dialogs' fonts
  nkf libicu-dev icu-devtools hyperfine perl # oracles and peers
  libpcre2-dev libonig-dev                   # regex engines to compare with
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# Wine takes its ANSI code page (932) from a Japanese locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
