#!/usr/bin/env bash
# The page over the whole public corpus: fetches the corpus (scripts/corpus.sh)
# if it is not there, builds the page (web preset) and the tool it is judged
# against (native preset), and opens every file of build/corpus/ in the page in
# headless Chromium (tests/web/page_corpus.py), each compared with what vantrel
# makes of it. Prints one line of counts per outcome, lists the files the page
# and the tool do not agree on, and fails on any file that falls in no known
# outcome. What came of each file: build/web/corpus/corpus.jsonl. Nine to
# fourteen minutes on two cores; the test command runs a fixed sample of it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/corpus.sh
cmake --preset native >/dev/null && cmake --build --preset native
cmake --preset web >/dev/null && cmake --build --preset web
exec /usr/bin/python3 tests/web/page_corpus.py --zip build/web/packages/vantrel-*-page.zip \
  --vantrel build/native/bin/vantrel --corpus build/corpus --out build/web/corpus "$@"
