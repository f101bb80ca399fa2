#!/usr/bin/env bash
# The main job: sets up, builds Vantrel.8bf and shows where it is and what it
# exports.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target Vantrel

plugin="$PWD/build/win32/bin/Vantrel.8bf"
echo
echo "Built: $plugin"
echo "Exports:"
i686-w64-mingw32-objdump -p "$plugin" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2
