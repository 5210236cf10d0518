#!/usr/bin/env bash
# Installs what is needed, builds the release configuration and starts the game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDAZAR_BENCHMARKS=OFF
cmake --build build/release -j "$(nproc)"
if [ -x build/release/game/dazar ]; then
  cd build/release/assets && exec ../game/dazar "$@"
fi
exec build/release/tools/smoke/dazar_smoke "$@"
