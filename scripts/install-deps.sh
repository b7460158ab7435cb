#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for one purpose, each purpose
# including the one before it:
#   build  build Tavvel.exe and tavvel-cli and start the program under Wine
#   test   run every test: frameworks, fuzzers, oracles, package tools
#   bench  run the benchmarks against their peers, and make the screenshots
# usage: scripts/install-deps.sh [build|test|bench]   (default: test)
# Safe to run again: packages already present are left as they are.
set -euo pipefail

purpose=${1:-test}
build=(
  g++ cmake make pkg-config                  # native build
  mingw-w64 wine wine64 xvfb xauth           # the Windows program, run under Wine
  locales fonts-ipafont-gothic               # code page 932 and the dialogs' fonts
)
test=(
  libgtest-dev googletest libbenchmark-dev   # test frameworks (the benchmarks build with the suites)
  clang-14 libclang-rt-14-dev                # fuzzers
  nkf libicu-dev icu-devtools perl           # oracles: nkf, uconv, iconv (libc), perl
  python3 libxml2-utils                      # the readme page against the program's texts
  dpkg-dev man-db bsdextrautils unzip        # the packages: dependencies, man page, zip contents
)
bench=(
  hyperfine                                  # whole-process timings against peers
  libpcre2-dev libonig-dev                   # regex engines to compare with
  imagemagick xdotool                        # scripts/screenshots.sh: the dialogs as a user sees them
)
case "$purpose" in
  build) packages=("${build[@]}") ;;
  test) packages=("${build[@]}" "${test[@]}") ;;
  bench) packages=("${build[@]}" "${test[@]}" "${bench[@]}") ;;
  *)
    echo "usage: $0 [build|test|bench]" >&2
    exit 2
    ;;
esac

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
