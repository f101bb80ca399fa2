#!/usr/bin/env bash
# Builds the benchmarks optimised, without sanitizers, and the page (which
# web_bench measures), and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh tool bench web browser
cmake --preset bench >/dev/null
cmake --build --preset bench
cmake --preset web >/dev/null
cmake --build --preset web
for b in build/bench/bin/*_bench; do
  [ -x "$b" ] && "$b" "$@"
done
