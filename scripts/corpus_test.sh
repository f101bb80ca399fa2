#!/usr/bin/env bash
# Runs every picture of the corpus (build/corpus/, other projects' test
# pictures) through the tool, built with the sanitizers, against libvips:
# the whole of what the test command samples. Prints one line of counts per
# outcome, and each refused file with the tool's reason.
#
#   bash scripts/corpus_test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh tool test corpus
cmake --preset native >/dev/null
cmake --build --preset native --target corpus_tests
VANTREL_CORPUS_WHOLE=1 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 build/native/bin/corpus_tests
