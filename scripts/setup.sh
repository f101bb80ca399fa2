#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Vantrel, and
# skips what is already there.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in g++ cmake ninja-build googletest libgtest-dev libbenchmark-dev \
           g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix mingw-w64-tools \
           wine wine32:i386 wine64 xvfb xauth fonts-ipafont-gothic \
           imagemagick clang libclang-rt-14-dev \
           pkg-config libvips-dev libvips-tools libcli11-dev libstb-dev \
           help2man dpkg-dev unzip parallel libpng-dev zlib1g-dev pngcheck \
           libtiff-dev libdeflate-dev libjpeg62-turbo-dev; do
  have_pkg "$pkg" || need+=("$pkg")
done

if [ ${#need[@]} -eq 0 ]; then
  echo "setup: everything is already installed"
  exit 0
fi

echo "setup: installing ${need[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${need[@]}"
