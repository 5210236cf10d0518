#!/usr/bin/env bash
# Builds the game's tests, the Direct3D route's and the movies' with the thread sanitizer and runs them
# headless: the stage-clock thread, its shutdown, the scripted runs, the 3-D device with Mesa's software
# OpenGL (its own threads, and ours around them, text included), and the movie stand-in's decoder
# workers and sound feeder. Extra arguments go to ctest (e.g. -R Clock).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDAZAR_BENCHMARKS=OFF \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
cmake --build build/tsan -j "$(nproc)" --target test_game test_d3d test_platform_d3d test_graphics test_movie \
  test_platform_dshow test_font
export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/scripts/tsan.supp"
ctest --test-dir build/tsan -L "^(game|d3d|route|movie|dshow)$" -j "$(nproc)" --output-on-failure --timeout 600 \
  -LE slow "$@"
