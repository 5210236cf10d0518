#!/usr/bin/env bash
# Installs what is needed, builds the sanitized configuration (warnings as errors) and runs every test
# headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDAZAR_SANITIZE=ON -DDAZAR_BENCHMARKS=ON -DDAZAR_WERROR=ON
cmake --build build/asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 300 -LE slow "$@"
