#!/usr/bin/env bash
# Installs what is needed, builds the game, its asset generator and its assets (release, nothing else)
# and starts the game in the assets folder, where "HiScore.dat" and "Log.txt" are written.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDAZAR_BENCHMARKS=OFF
cmake --build build/release -j "$(nproc)" --target dazar_game dazar_assets
cd build/release/assets
exec ../game/dazar "$@"
