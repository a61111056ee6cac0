#!/usr/bin/env bash
# Sets up, builds and runs every test tier (unit, gui, e2e) under a virtual X server.
# Usage: scripts/test.sh [extra ctest arguments, e.g. -L unit]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

# The advertisement address of the test build points at the demo site on a fixed local port,
# where the end-to-end tests that look for it start a site.
build=build/test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVRO_AD_PAGE_URL=http://127.0.0.1:47381/ad.html >/dev/null
cmake --build "$build" -j2

export LANG=C.UTF-8
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  ctest --test-dir "$build" -j2 --output-on-failure --timeout 300 "$@"
