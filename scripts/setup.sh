#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for the given sets of packages,
# and skips what is already there:
#
#   bash scripts/setup.sh SET...
#
# Each command asks for the sets it needs: the main command (scripts/demo.sh)
# only `tool`, so that a new user waits for nothing else; scripts/build.sh
# `windows`; scripts/package.sh `tool windows package`; scripts/web.sh `web`;
# scripts/bench.sh `tool bench web browser`; scripts/test.sh every set. A new
# package goes into the set of the first command that needs it (a package in
# two sets is installed once). The `corpus` set also fetches other projects'
# test pictures into build/corpus/ (scripts/corpus.sh).
set -euo pipefail

declare -A sets
# Building the vantrel tool (the release preset) and filtering the sample.
sets[tool]="g++ cmake ninja-build pkg-config libvips-dev libvips-tools libcli11-dev libpng-dev zlib1g-dev
            libtiff-dev libdeflate-dev libjpeg62-turbo-dev libexif-dev nlohmann-json3-dev"
# The plug-ins and vantrel.exe, cross-compiled (the win32 and win64 presets,
# whose configuration also takes in GoogleTest's sources for their tests).
sets[windows]="cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix mingw-w64-tools libstb-dev
                libcli11-dev nlohmann-json3-dev googletest"
# The Debian package (its manual page, its dependencies as dpkg-shlibdeps
# finds them) and the zip.
sets[package]="help2man dpkg-dev file"
# Everything else the test command runs: the test programs, Wine of both
# bitnesses under Xvfb, the fuzzers, the package check and lintian, and the
# services a batch across machines meets (GNU parallel over ssh, Slurm, the
# Kubernetes manifest read by Python).
sets[test]="googletest libgtest-dev wine wine32:i386 wine64 xvfb xauth fonts-ipafont-gothic
            clang libclang-rt-14-dev imagemagick pngcheck unzip lintian
            parallel openssh-server openssh-client munge slurm-wlm python3-yaml jq"
# The page: the filter and our host built for the browser (the web preset),
# served by Python's static server; the web preset's configure fetches the
# sources of libjpeg-turbo and zlib from Debian's source packages and unpacks
# them with Debian's patches (dpkg-source).
sets[web]="cmake ninja-build emscripten libstb-dev python3 dpkg-dev xz-utils bzip2"
# A real browser for the page's tests and benchmark, driven through WebDriver.
sets[browser]="chromium chromium-driver python3-selenium"
# The benchmarks (the tool beside libvips and ImageMagick).
sets[bench]="libbenchmark-dev imagemagick"
# Other projects' test pictures (scripts/corpus.sh), fetched once the
# packages that unpack them are there.
sets[corpus]="xz-utils bzip2"

[ $# -gt 0 ] || { echo "usage: setup.sh SET... (sets: ${!sets[*]})" >&2; exit 2; }
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for set in "$@"; do
  [ -n "${sets[$set]+x}" ] || { echo "setup: no set named $set (sets: ${!sets[*]})" >&2; exit 2; }
  for pkg in ${sets[$set]}; do
    have_pkg "$pkg" || [[ " ${need[*]} " == *" $pkg "* ]] || need+=("$pkg")
  done
done

# The corpus of pictures is fetched after the packages, whatever they were.
fetch_corpus() {
  if [[ " $* " == *" corpus "* ]]; then bash "$(dirname "$0")/corpus.sh"; fi
}

if [ ${#need[@]} -eq 0 ]; then
  echo "setup: everything for $* is already installed"
  fetch_corpus "$@"
  exit 0
fi

echo "setup: installing ${need[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [[ " ${need[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
# Recommended packages only where a set asks for more than the tool: it
# builds and runs without libvips' documentation and the like. dpkg unpacks
# without syncing every file to the disk (its unsafe-io), which takes most of
# an install's time on a bare machine: a machine that crashes mid-install
# needs the install again anyway.
recommends=--no-install-recommends
[ "$*" = tool ] || recommends=
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $recommends -o Dpkg::Options::=--force-unsafe-io "${need[@]}"
fetch_corpus "$@"
