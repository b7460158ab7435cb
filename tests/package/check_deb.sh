#!/usr/bin/env bash
# Checks the Debian package of tavvel-cli: its files, its control data, its
# man page, and the packaged program running. Also checks that cmake --install
# installs the same files.
# usage: check_deb.sh PACKAGE VERSION BUILD_DIR
set -uo pipefail
deb=$1 version=$2 build_dir=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() { [ "$2" == "$3" ] || fail "$1: expected '$3', got '$2'"; }

[ -f "$deb" ] || { echo "FAIL: no package $deb"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Files: exactly these, nothing else (directories aside).
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
expect_eq "files" "$files" "./usr/bin/tavvel-cli
./usr/share/doc/tavvel-cli/copyright
./usr/share/man/man1/tavvel-cli.1.gz"

# Control data.
field() { dpkg-deb -f "$deb" "$1"; }
expect_eq "Package" "$(field Package)" "tavvel-cli"
expect_eq "Version" "$(field Version)" "$version"
expect_eq "Architecture" "$(field Architecture)" "$(dpkg --print-architecture)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer is not 'Name <address>': $(field Maintainer)"
description=$(field Description)
[ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] || fail "Description has no long text: $description"
summary=$(head -1 <<<"$description")
[[ "$summary" == *join* ]] || fail "Description's summary does not say what it does: $summary"
[ "$(sed -n '2s/^ //p' <<<"$description")" != "$summary" ] || fail "Description repeats its summary"
depends=$(field Depends)
for library in libc6 libstdc++6; do
  [[ ", $depends" == *", $library ("* ]] || fail "Depends lacks a versioned $library: $depends"
done

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"

# The man page: renders without a warning, and names every option of --help.
page=$work/root/usr/share/man/man1/tavvel-cli.1.gz
gzip -t "$page" || fail "man page is not gzipped"
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
grep -q "Tavvel $version" <<<"$rendered" || fail "man page does not name Tavvel $version"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES; do
  grep -q "^$section\$" <<<"$rendered" || fail "man page has no $section section"
done
cli=$work/root/usr/bin/tavvel-cli
for option in $("$cli" --help | grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
  grep -qE -- "(^|[ ,])$option([ ,]|\$)" <<<"$rendered" || fail "man page does not name $option"
done

# The copyright file carries the licence.
copyright=$work/root/usr/share/doc/tavvel-cli/copyright
grep -q '^Copyright: 2026 The Tavvel developers$' "$copyright" || fail "copyright: no Copyright line"
grep -q '^License: Expat$' "$copyright" || fail "copyright: no License line"
grep -q '^ Permission is hereby granted' "$copyright" || fail "copyright: no licence text"

# The packaged program runs: its version, and a join with a separator.
expect_eq "--version" "$("$cli" --version)" "tavvel-cli $version"
printf 'one\r\n' >"$work/a.txt"
printf 'two\n' >"$work/b.txt"
printf -- '--\n' >"$work/sep.txt"
"$cli" -q -n lf -s "$work/sep.txt" -o "$work/out.txt" "$work/a.txt" "$work/b.txt" || fail "join: exit status $?"
expect_eq "joined text" "$(od -An -c "$work/out.txt" | tr -s ' ')" " o n e \n - - \n t w o \n"

# cmake --install puts the same files under its prefix.
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null || fail "cmake --install"
installed=$(cd "$work/prefix" && find . -type f | sort)
expect_eq "installed files" "$installed" "$(sed 's|^\./usr/|./|' <<<"$files")"

[ "$failures" -eq 0 ] && echo "package $deb: ok"
exit $((failures > 0))
