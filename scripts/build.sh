#!/usr/bin/env bash
# The main job: sets up, builds both plug-ins (Vantrel.8bf for 32-bit hosts,
# Vantrel64.8bf for 64-bit hosts) and shows where they are and what they
# export.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh windows
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target Vantrel
done

for plugin in build/win32/bin/Vantrel.8bf build/win64/bin/Vantrel64.8bf; do
  echo
  echo "Built: $PWD/$plugin"
  echo "Exports:"
  x86_64-w64-mingw32-objdump -p "$plugin" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2
done
