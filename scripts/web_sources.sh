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
# The source packages come through an apt configuration of our own, as in
# scripts/corpus.sh: the machine's own apt lists stay as they are.
set -euo pipefail

folder=${1:?usage: web_sources.sh FOLDER}
packages=(libjpeg-turbo zlib)

missing=()
for package in "${packages[@]}"; do
  [ -f "$folder/$package/.complete" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

. /etc/os-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/sources.list.d" "$work/download" "$folder"
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -e "$sources" ] || continue
  sed -E 's/^Types:.*/Types: deb deb-src/' "$sources" >"$work/sources.list.d/$(basename "$sources")"
done
if [ -s /etc/apt/sources.list ]; then
  grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$work/sources.list.d/sources.list" || true
fi
cat >"$work/apt.conf" <<EOF
Dir::Etc::sourcelist "/dev/null";
Dir::Etc::sourceparts "$work/sources.list.d";
Dir::State::Lists "$work/lists";
EOF
export APT_CONFIG="$work/apt.conf"
echo "web sources: reading the source lists"
apt-get update -q >"$work/update.log" 2>&1 || { cat "$work/update.log" >&2; exit 1; }
# The release's own versions: the newest of a security suite may be gone
# from the mirror while its lists still name it.
wanted=()
for package in "${missing[@]}"; do wanted+=("$package/$VERSION_CODENAME"); done
echo "web sources: fetching ${wanted[*]}"
(cd "$work/download" && apt-get source --download-only -q "${wanted[@]}" >"$work/source.log" 2>&1) ||
  { cat "$work/source.log" >&2; exit 1; }
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
