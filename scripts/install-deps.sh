#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, run and test Tavvel.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libgtest-dev googletest libbenchmark-dev   # test and benchmark frameworks
  clang-14 libclang-rt-14-dev                # fuzzers and sanitizers
  nkf libicu-dev icu-devtools hyperfine perl # oracles and peers
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
