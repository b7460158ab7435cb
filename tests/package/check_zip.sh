#!/usr/bin/env bash
# Checks the Windows zip: exactly the program, its readme page, the samples,
# a README and the licence, in one folder named after the package; the
# program needs no DLL beyond the system's, since the zip carries none.
# usage: check_zip.sh ZIP FOLDER SOURCE_DIR OBJDUMP
set -uo pipefail
zip=$1 folder=$2 source_dir=$3 objdump=$4
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -f "$zip" ] || { echo "FAIL: no package $zip"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

files=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
samples=$(cd "$source_dir/samples" && find . -type f | sed 's|^\./|samples/|')
[ -n "$samples" ] || fail "no samples in $source_dir/samples"
expected=$(printf "$folder/%s\n" LICENSE.txt README.txt Tavvel.exe Tavvel.html $samples | sort)
[ "$files" == "$expected" ] || fail "files: expected
$expected
got
$files"

unzip -q "$zip" -d "$work" || fail "unzip"
root=$work/$folder
[ "$(head -c 2 "$root/Tavvel.exe" 2>/dev/null)" == "MZ" ] || fail "Tavvel.exe is not a Windows program"
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll shlwapi.dll user32.dll "
imports=$("$objdump" -p "$root/Tavvel.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
[ -n "$imports" ] || fail "no imports read from Tavvel.exe"
for dll in $imports; do
  [[ "$system_dlls" == *" $dll "* ]] || fail "Tavvel.exe needs $dll, which Windows does not have"
done
cmp -s "$root/Tavvel.html" "$source_dir/docs/Tavvel.html" || fail "Tavvel.html differs from docs/Tavvel.html"
cmp -s "$root/LICENSE.txt" "$source_dir/LICENSE" || fail "LICENSE.txt differs from LICENSE"
for sample in $samples; do
  cmp -s "$root/$sample" "$source_dir/$sample" || fail "$sample differs"
done

[ "$failures" -eq 0 ] && echo "package $zip: ok"
exit $((failures > 0))
