#!/usr/bin/env bash
# Fetches the test pictures of other projects into build/corpus/, for the
# tests that run the tool and the page over files nobody here made: the
# pictures of Pillow's, libpng's, libtiff's and libjpeg-turbo's test suites,
# from Debian's source packages. Only those folders are unpacked; nothing of
# it is committed or shipped. Skips the work when the corpus is there.
#
#   bash scripts/corpus.sh        (or: bash scripts/setup.sh corpus)
#
# The source packages come through an apt configuration of our own that adds
# the source lines to the machine's own sources, with lists of its own: the
# machine's apt lists stay as they are.
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

. /etc/os-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/sources.list.d" "$work/download"
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
echo "corpus: reading the source lists"
apt-get update -q >"$work/update.log" 2>&1 || { cat "$work/update.log" >&2; exit 1; }
# The release's own versions: the newest of a security suite may be gone
# from the mirror while its lists still name it.
packages=()
for package in "${!folders[@]}"; do packages+=("$package/$VERSION_CODENAME"); done
echo "corpus: fetching the source packages ${packages[*]}"
(cd "$work/download" && apt-get source --download-only -q "${packages[@]}" >"$work/source.log" 2>&1) ||
  { cat "$work/source.log" >&2; exit 1; }

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
