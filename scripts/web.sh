#!/usr/bin/env bash
# The page: sets up, builds the filter and our host in WebAssembly with the
# page's files (the web preset, into build/web/page/, and its zip into
# build/web/packages/), and serves the page on http://localhost:8000 with
# Python's plain static server until Ctrl-C. PORT=8080 serves it elsewhere.
# Nothing is sent anywhere: the page works with the network off.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh web
cmake --preset web >/dev/null
cmake --build --preset web
port=${PORT:-8000}
echo
echo "The page: http://localhost:$port/   (Ctrl-C stops the server)"
echo "To host it elsewhere: $(ls build/web/packages/vantrel-*-page.zip)"
exec /usr/bin/python3 -m http.server --bind 127.0.0.1 --directory build/web/page "$port"
