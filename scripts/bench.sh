#!/usr/bin/env bash
# Builds the benchmarks optimised, without sanitizers, and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh tool bench
cmake --preset bench >/dev/null
cmake --build --preset bench
for b in build/bench/bin/*_bench; do
  [ -x "$b" ] && "$b" "$@"
done
