#!/usr/bin/env bash
# Fetches Debian source packages of this release into a folder, through an
# apt configuration of our own that reads the source lines of the machine's
# own sources, with lists of its own: the machine's apt lists stay as they
# are. Sourced by the scripts that need other projects' sources or test
# files (scripts/corpus.sh, scripts/web_sources.sh):
#
#   . scripts/source_packages.sh
#   fetch_source_packages DOWNLOAD_FOLDER LABEL PACKAGE...
#
# leaves each package's .dsc, upstream tarball and Debian tarball in
# DOWNLOAD_FOLDER, saying what it does under LABEL; fails with apt's words.

fetch_source_packages() {
  local download=$1 label=$2
  shift 2
  local work
  work=$(mktemp -d)
  mkdir -p "$work/lists/partial" "$work/sources.list.d" "$download"
  local sources
  for sources in /etc/apt/sources.list.d/*.sources; do
    [ -e "$sources" ] || continue
    sed -E 's/^Types:.*/Types: deb-src/' "$sources" >"$work/sources.list.d/$(basename "$sources")"
  done
  if [ -s /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$work/sources.list.d/sources.list" || true
  fi
  cat >"$work/apt.conf" <<CONF
Dir::Etc::sourcelist "/dev/null";
Dir::Etc::sourceparts "$work/sources.list.d";
Dir::State::Lists "$work/lists";
CONF
  echo "$label: reading the source lists"
  # A suite whose mirror is being synchronised can fail to list for a while
  # ("File has unexpected size"): tried three times. What is fetched comes
  # from the release's own suite, so a list still missing after that is left
  # for apt-get source to judge.
  local attempt
  for attempt in 1 2 3; do
    if APT_CONFIG="$work/apt.conf" apt-get update -q >"$work/update.log" 2>&1; then break; fi
    if [ "$attempt" -lt 3 ]; then sleep 5; fi
  done
  # The release's own versions: the newest of a security suite may be gone
  # from the mirror while its lists still name it.
  . /etc/os-release
  local wanted=() package
  for package in "$@"; do wanted+=("$package/$VERSION_CODENAME"); done
  echo "$label: fetching ${wanted[*]}"
  if ! (cd "$download" && APT_CONFIG="$work/apt.conf" apt-get source --download-only -q "${wanted[@]}" \
          >"$work/source.log" 2>&1); then
    cat "$work/update.log" "$work/source.log" >&2
    rm -rf "$work"
    return 1
  fi
  rm -rf "$work"
}
