#!/usr/bin/env bash
# Sets up, builds and runs every test tier (unit, gui, e2e) under a virtual X server, then the
# unit and gui tiers again under AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz
# target of url.txt's reading for a minute.
# Usage: scripts/test.sh [extra ctest arguments, e.g. -L unit]   (with arguments: only that run)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

# The advertisement address of the test build points at the demo site on a fixed local port,
# where the end-to-end tests that look for it start a site.
build=build/test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVRO_AD_PAGE_URL=http://127.0.0.1:29517/ad.html >/dev/null
cmake --build "$build" -j2

export LANG=C.UTF-8
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  ctest --test-dir "$build" -j2 --output-on-failure --timeout 300 "$@"

# Arguments ask for one particular run; the full run goes on with the two stages below.
if (($# > 0)); then exit 0; fi

# The unit and gui tiers built with AddressSanitizer and UndefinedBehaviorSanitizer. GTK and
# WebKit keep global caches to the end, so leaks are looked for in the unit tier only.
asan=build/asan
cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_SANITIZE=ON \
  -DTAVRO_AD_PAGE_URL=http://127.0.0.1:29517/ad.html >/dev/null
cmake --build "$asan" -j2
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1 \
  ctest --test-dir "$asan" -j2 --output-on-failure --timeout 300 -L unit
ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  ctest --test-dir "$asan" -j2 --output-on-failure --timeout 300 -L gui

# The libFuzzer target of url.txt's path from the disk to the login address (needs clang).
fuzz=build/fuzz
cmake -S tests/fuzz -B "$fuzz" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$fuzz" -j2
ctest --test-dir "$fuzz" --output-on-failure -L fuzz
