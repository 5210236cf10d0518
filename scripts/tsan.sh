#!/usr/bin/env bash
# Builds the game's tests and the Direct3D route's with the thread sanitizer and runs them headless: the
# stage-clock thread, its shutdown, the scripted runs, and the 3-D device with Mesa's software OpenGL
# (its own threads, and ours around them). Extra arguments go to ctest (e.g. -R Clock).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDAZAR_BENCHMARKS=OFF \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
cmake --build build/tsan -j "$(nproc)" --target test_game test_d3d test_platform_d3d test_graphics test_movie
export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/scripts/tsan.supp"
ctest --test-dir build/tsan -L "^(game|d3d|route)$" -j "$(nproc)" --output-on-failure --timeout 600 -LE slow "$@"
