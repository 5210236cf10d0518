#!/usr/bin/env bash
# Builds the sanitized configuration and runs the seeded soak of every stage and battle rounds.
# DAZAR_SOAK_FRAMES (frames per stage, default 5000) and DAZAR_SOAK_SEEDS (default 1) size it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDAZAR_SANITIZE=ON
cmake --build build/asan -j "$(nproc)" --target test_game
cd build/asan/tests
exec env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy DAZAR_SINGLE_INSTANCE=0 \
  ./test_game --gtest_also_run_disabled_tests --gtest_filter='EndToEndSoakTest.*' "$@"
