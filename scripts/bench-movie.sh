#!/usr/bin/env bash
# Times a 640 x 480 movie's decode, conversion and graph update on the software and the DirectDraw
# route, 16- and 32-bit screens, and then compares it with ffmpeg decoding the same file and converting
# it into the same pixels (rgb565le, bgr0), both sides timed the same way: no set-up on either side,
# stretches of about a second, taking turns, the median of DAZAR_BENCH_ROUNDS rounds (default 9);
# everything on one core (DAZAR_BENCH_CPU, default 1), in an optimised build (build/release). ffmpeg
# is Debian's ffmpeg; without it the benchmark says so and leaves its rows out. ffmpeg writes into
# /dev/null when that is the kernel's null device, else into one of the script's own. Extra arguments
# go to the benchmark (e.g. --benchmark_filter=Convert). DAZAR_FAST_ROWS=0 times the reference
# conversion rows in the movie path.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DDAZAR_BENCHMARKS=ON > /dev/null
cmake --build build/release --target bench_movie
command -v ffmpeg > /dev/null || echo "ffmpeg is not installed (apt-get install ffmpeg): its rows are skipped."
null=/dev/null
if [ "$(stat -L -c '%F %t:%T' /dev/null 2>/dev/null)" != "character special file 1:3" ]; then
  dir="$(mktemp -d)"
  trap 'rm -rf "$dir"' EXIT
  null="$dir/null"
  mknod "$null" c 1 3 || { echo "/dev/null is no null device, and none can be made here."; exit 1; }
fi
DAZAR_BENCH_NULL="$null" DAZAR_BENCH_ROUNDS="${DAZAR_BENCH_ROUNDS:-9}" \
  taskset -c "${DAZAR_BENCH_CPU:-1}" env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy DAZAR_AUDIO=null \
  DAZAR_SINGLE_INSTANCE=0 build/release/tools/bench_movie/bench_movie --benchmark_min_time=2 "$@"
