#!/usr/bin/env bash
# Makes what is handed out, into build/release/packages/:
#   vantrel_<version>_<arch>.deb          the command-line tool and its manual
#                                         page, from the optimised build;
#   vantrel-<version>-windows-plugins.zip Vantrel.8bf (32-bit hosts),
#                                         Vantrel64.8bf (64-bit hosts), the
#                                         64-bit vantrel.exe and README.txt
#                                         saying where each goes.
# Builds what they need first: the release preset, the plug-in of the win32
# preset, the plug-in and the tool of the win64 preset.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh tool windows package
cmake --preset release >/dev/null
cmake --build --preset release
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target Vantrel
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target Vantrel vantrel_cli

rm -rf build/release/packages
cpack --preset release
echo
echo "Packages:"
ls -l build/release/packages/*.deb build/release/packages/*.zip
