#!/usr/bin/env bash
# Fetches the test pictures of other projects into build/corpus/, for the
# tests that run the tool and the page over files nobody here made: the
# pictures of Pillow's, libpng's, libtiff's and libjpeg-turbo's test suites,
# from Debian's source packages. Only those folders are unpacked; nothing of
# it is committed or shipped. Skips the work when the corpus is there.
#
#   bash scripts/corpus.sh        (or: bash scripts/setup.sh corpus)
#
# The source packages come through an apt configuration of our own
# (scripts/source_packages.sh): the machine's apt lists stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

corpus=build/corpus
# Each source package, and the folders of its upstream tarball that hold
# the pictures.
declare -A folders=(
  [pillow]="*/Tests/images"
  [libpng1.6]="*/contrib/pngsuite */contrib/testpngs"
  [tiff]="*/test/images"
  [libjpeg-turbo]="*/testimages"
)

if [ -f "$corpus/.complete" ]; then
  echo "corpus: $(find "$corpus" -type f ! -name .complete | wc -l) files already in $corpus"
  exit 0
fi

. "$(dirname "$0")/source_packages.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fetch_source_packages "$work/download" corpus "${!folders[@]}"

rm -rf "$corpus"
mkdir -p "$corpus"
for package in "${!folders[@]}"; do
  tarball=$(ls "$work/download/${package}_"*.orig.tar.* | head -n 1)
  mkdir -p "$corpus/$package"
  # The folders alone, without the top folder of the tarball.
  # shellcheck disable=SC2086
  tar -xf "$tarball" -C "$corpus/$package" --strip-components=1 --wildcards ${folders[$package]}
done
count=$(find "$corpus" -type f | wc -l)
echo "$count" >"$corpus/.complete"
echo "corpus: $count files in $corpus"
