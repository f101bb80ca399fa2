#!/usr/bin/env bash
# Fetches the sources of the C libraries the page's module is built with
# (libjpeg-turbo, which writes the page's JPEG files as the tool's own
# libjpeg-turbo does, and zlib, which deflates its PNG files) from Debian's
# source packages of this release, unpacked with Debian's patches into
# FOLDER/NAME. Skips a package already there. The web preset's configure
# runs it; nothing of it is committed or shipped but what the module is
# built from.
#
#   bash scripts/web_sources.sh FOLDER
#
# The source packages come through an apt configuration of our own
# (scripts/source_packages.sh): the machine's own apt lists stay as they are.
set -euo pipefail

folder=${1:?usage: web_sources.sh FOLDER}
packages=(libjpeg-turbo zlib)

missing=()
for package in "${packages[@]}"; do
  [ -f "$folder/$package/.complete" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

. "$(dirname "$0")/source_packages.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$folder"
fetch_source_packages "$work/download" "web sources" "${missing[@]}"
for package in "${missing[@]}"; do
  dsc=$(ls "$work/download/${package}_"*.dsc | head -n 1)
  rm -rf "$folder/$package"
  # Unpacked as Debian builds it: the upstream sources with Debian's patches.
  dpkg-source --no-check -x "$dsc" "$folder/$package" >"$work/unpack.log" 2>&1 ||
    { cat "$work/unpack.log" >&2; exit 1; }
  rm -f "$folder/${package}_"*  # the upstream tarball dpkg-source leaves beside the folder
  basename "$dsc" .dsc >"$folder/$package/.complete"
  echo "web sources: $(cat "$folder/$package/.complete") in $folder/$package"
done
