// Levels of a stretch of 16-bit output: what the mix meter prints for music, effects and their sum.
#pragma once
#include <cstddef>
#include <cstdint>

// Below this a window counts as silent (dBFS).
#define MIX_SILENCE_DBFS -60.0
// Windows of this many milliseconds make the "while sounding" level.
#define MIX_WINDOW_MS 50

struct MixLevels {
    double seconds;          // length of the stretch
    double rmsDbfs;          // RMS of every sample; -inf for silence (full-scale square = 0)
    double soundingDbfs;     // RMS of the windows above MIX_SILENCE_DBFS only; -inf when none
    double soundingSeconds;  // how long those windows last together
    double peakDbfs;         // largest magnitude; -inf for silence
    long clipped;            // samples at either rail (-32768 or 32767)
};

// Measures interleaved samples (count = frames * channels) at rate frames per second. Zero frames
// give zero lengths, -inf levels and no clipped sample.
MixLevels MeasureMixLevels(const int16_t *samples, size_t count, int channels, int rate);
