#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made: the files the Debian
# package holds and the packages it needs (dpkg-deb -c, -I), what lintian
# says of it (no error, no warning), the tool run from
# the package unpacked into a temporary folder (its version, a filter there
# and back, a contact sheet, its manual page), and the files of the plug-in
# zip (the 64-bit Windows tool among them).
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Vantrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packages=build/release/packages
deb="$packages/vantrel_${version}_$(dpkg --print-architecture).deb"
zip="$packages/vantrel-${version}-windows-plugins.zip"
fail() { echo "package check: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "$deb is missing (bash scripts/package.sh makes it)"
[ -f "$zip" ] || fail "$zip is missing (bash scripts/package.sh makes it)"

echo "== what $deb holds"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
expected=$(printf '%s\n' ./usr/bin/vantrel ./usr/share/man/man1/vantrel.1.gz \
           ./usr/share/doc/vantrel/{copyright,changelog.gz,THIRD-PARTY-NOTICES.gz} | sort)
[ "$files" = "$expected" ] || fail "$deb holds $(echo $files), not $(echo $expected)"
info=$(dpkg-deb -I "$deb")
grep -qx " Package: vantrel" <<<"$info" || fail "the package is not named vantrel"
grep -qx " Version: $version" <<<"$info" || fail "the package's version is not $version"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for library in libvips42 libc6 libstdc++6; do
  grep -q "\b$library\b" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
echo "$files" | sed 's/^/  /'
echo "  Depends: $depends"

echo "== lintian on $deb"
# No error and no warning; whatever else it says is shown (the README's
# section on installing the tool explains what is left: nothing today).
report=$(lintian --info --display-level '>=pedantic' --fail-on error,warning "$deb" 2>&1) ||
  { echo "$report"; fail "lintian finds errors or warnings in $deb"; }
# Its word on being run as root is about how it ran, not about the package.
report=$(grep -v '^running with root privileges' <<<"$report" || true)
echo "${report:-nothing to report}" | sed 's/^/  /'

echo "== the tool from the unpacked package"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
tool="$unpacked/usr/bin/vantrel"
[ "$("$tool" --version)" = "vantrel $version" ] || fail "$tool --version answers $("$tool" --version)"
convert -size 48x32 gradient:red-blue PNG24:"$unpacked/in.png"
"$tool" -q "$unpacked/in.png" -o "$unpacked/swapped.png" --order "B G R"
"$tool" -q "$unpacked/swapped.png" -o "$unpacked/back.png" --order "B G R"
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
[ "$(differing "$unpacked/in.png" "$unpacked/swapped.png")" != 0 ] || fail "B G R left the image as it was"
[ "$(differing "$unpacked/in.png" "$unpacked/back.png")" = 0 ] || fail "B G R twice is not the image itself"
"$tool" -q --contact-sheet "$unpacked/sheet.png" "$unpacked/in.png"
[ "$(vipsheader -f bands "$unpacked/sheet.png")" = 3 ] || fail "no contact sheet from the package's tool"
zcat "$unpacked/usr/share/man/man1/vantrel.1.gz" | grep -q 'contact\\-sheet' || fail "the manual page lacks --contact-sheet"
zcat "$unpacked/usr/share/doc/vantrel/changelog.gz" | head -n 1 | grep -q "^vantrel ($version) " ||
  fail "the changelog's latest entry is not version $version (packaging/debian/changelog)"
echo "  $("$tool" --version): red and blue swapped and back, a contact sheet; its manual page is there"

echo "== what $zip holds"
listing=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
folder="vantrel-${version}-windows"
expected=$(printf "$folder/%s\n" README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt Vantrel.8bf Vantrel64.8bf vantrel.exe | sort)
[ "$listing" = "$expected" ] || fail "$zip holds $(echo $listing), not $(echo $expected)"
unzip -q "$zip" -d "$unpacked/zip"
for file in Vantrel64.8bf vantrel.exe; do
  x86_64-w64-mingw32-objdump -f "$unpacked/zip/$folder/$file" | grep -q 'file format pei-x86-64' ||
    fail "$file is not a 64-bit Windows file"
done
x86_64-w64-mingw32-objdump -f "$unpacked/zip/$folder/Vantrel.8bf" | grep -q 'file format pei-i386' ||
  fail "Vantrel.8bf is not a 32-bit Windows file"
echo "$listing" | sed 's/^/  /'
