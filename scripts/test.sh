#!/usr/bin/env bash
# Sets up, builds both presets and runs every test suite: native under
# AddressSanitizer and UndefinedBehaviorSanitizer, Windows under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

echo "== native build (sanitizers on)"
cmake --preset native >/dev/null
cmake --build --preset native
echo "== native tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset native

echo "== brief fuzzing of the version block reader"
bash scripts/fuzz.sh

echo "== Windows build"
cmake --preset win32 >/dev/null
cmake --build --preset win32
echo "== Windows tests under Wine"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32
