#!/usr/bin/env bash
# Fuzzes the readers of untrusted input -- pictures, sound files and "HiScore.dat" -- with AFL++
# (Debian's afl++ in its classic GCC mode, afl-gcc and afl-g++, so our own compiler and flags, the
# Shift-JIS literals included), under the address and undefined-behaviour sanitizers. Each target starts
# from the test fixtures and the hostile files and runs FUZZ_SECONDS (600 by default); all three run at
# once, or only those FUZZ_TARGETS names ("image sound settings" by default). Findings land in
# build/fuzz/findings/<target>/default/crashes and hangs; a finding replays with
#   build/fuzz/tools/fuzz/fuzz_<target> FILE
# A leak and an allocation over 256 MiB count as crashes. Exits 1 when any target found a crash or a
# hang.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
seconds=${FUZZ_SECONDS:-600}
targets=${FUZZ_TARGETS:-image sound settings}
out=build/fuzz
mkdir -p "$out"
CC=afl-gcc CXX=afl-g++ cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDAZAR_SANITIZE=ON -DDAZAR_BENCHMARKS=OFF > "$out/configure.log"
cmake --build "$out" -j "$(nproc)" --target fuzz_image fuzz_sound fuzz_settings

seeds=$out/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/image "$seeds"/sound "$seeds"/settings
cp tests/image/fixtures/*.bmp tests/hostile/*.png tests/hostile/*.jpg tests/graphics/draw_reference/*.png \
  "$seeds"/image/
"$out"/tools/fuzz/fuzz_image --make-seeds "$PWD/$seeds/image"
cp tests/hostile/*.mp3 tests/hostile/*.ogg tests/hostile/*.wav "$seeds"/sound/
"$out"/tools/fuzz/fuzz_sound --make-seeds "$PWD/$seeds/sound"
head -c 84 /dev/zero > "$seeds"/settings/zero.dat
printf '\062\0\0\0\001\0\0\0\001\0\0\0\001\0\0\0\0\0\0\0' > "$seeds"/settings/short.dat

export AFL_SKIP_CPUFREQ=1 AFL_NO_UI=1 AFL_NO_AFFINITY=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1
# The sanitizers' settings are ours, not AFL++'s defaults (leak checker off, a refused allocation
# returning null): a leak and an allocation over 256 MiB each end the run as a crash. AFL++ needs
# abort_on_error and symbolize=0 to see the reports.
export ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=1:allocator_may_return_null=0:max_allocation_size_mb=256
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:symbolize=0
export AFL_AUTORESUME=0 SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=dummy
mkdir -p "$out/findings"
pids=()
for target in $targets; do
  rm -rf "$out/findings/$target"
  afl-fuzz -V "$seconds" -m none -t 2000 -i "$seeds/$target" -o "$out/findings/$target" \
    -- "$out/tools/fuzz/fuzz_$target" > "$out/afl-$target.log" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || true; done

found=0
for target in $targets; do
  stats=$out/findings/$target/default/fuzzer_stats
  execs=$(awk -F': ' '/^execs_done/ {print $2}' "$stats" 2>/dev/null || echo 0)
  crashes=$(find "$out/findings/$target/default/crashes" -type f -name 'id:*' 2>/dev/null | wc -l)
  hangs=$(find "$out/findings/$target/default/hangs" -type f -name 'id:*' 2>/dev/null | wc -l)
  echo "$target: $execs runs, $crashes crashes, $hangs hangs"
  [ "$crashes" -eq 0 ] && [ "$hangs" -eq 0 ] || found=1
done
exit $found
