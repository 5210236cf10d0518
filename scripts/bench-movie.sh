#!/usr/bin/env bash
# Times a 640 x 480 movie's decode, conversion and graph update on the software and the DirectDraw
# route, 16- and 32-bit screens, beside ffmpeg decoding the same file and converting it into the same
# pixels (rgb565le, bgr0), as ffmpeg times its own run; everything on one core (DAZAR_BENCH_CPU,
# default 1), in an optimised build (build/release). ffmpeg is Debian's ffmpeg; without it the
# benchmark says so and leaves its rows out. Extra arguments go to the benchmark (e.g.
# --benchmark_filter=Convert). DAZAR_FAST_ROWS=0 times the reference conversion rows in the movie path.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDAZAR_BENCHMARKS=ON > /dev/null
cmake --build build/release --target bench_movie
command -v ffmpeg > /dev/null || echo "ffmpeg is not installed (apt-get install ffmpeg): its rows are skipped."
exec taskset -c "${DAZAR_BENCH_CPU:-1}" env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy DAZAR_AUDIO=null \
  DAZAR_SINGLE_INSTANCE=0 build/release/tools/bench_movie/bench_movie --benchmark_min_time=2 "$@"
