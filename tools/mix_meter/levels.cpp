// Levels of a captured stretch.
#include "tools/mix_meter/levels.h"

#include <cmath>
#include <cstdlib>

// dBFS of a mean square, full scale 32768.
static double MeanSquareDbfs(double meanSquare)
{
    if (meanSquare <= 0) return -INFINITY;
    return 10.0 * std::log10(meanSquare / (32768.0 * 32768.0));
}

MixLevels MeasureMixLevels(const int16_t *samples, size_t count, int channels, int rate)
{
    MixLevels m = {0, -INFINITY, -INFINITY, 0, -INFINITY, 0};
    if (channels < 1 || rate < 1 || count < (size_t)channels) return m;
    size_t frames = count / channels, used = frames * channels;
    size_t window = (size_t)rate * MIX_WINDOW_MS / 1000 * channels;
    if (window == 0) window = (size_t)channels;  // a rate under one frame per window: one frame each
    double total = 0, sounding = 0;
    size_t soundingSamples = 0;
    int peak = 0;
    for (size_t at = 0; at < used; at += window) {
        size_t end = at + window < used ? at + window : used;
        double sum = 0;
        for (size_t i = at; i < end; i++) {
            int v = samples[i];
            sum += (double)v * v;
            peak = std::abs(v) > peak ? std::abs(v) : peak;
            m.clipped += v == 32767 || v == -32768;
        }
        total += sum;
        // Only windows a listener hears count towards the level "while sounding".
        if (MeanSquareDbfs(sum / (double)(end - at)) > MIX_SILENCE_DBFS) {
            sounding += sum;
            soundingSamples += end - at;
        }
    }
    m.seconds = (double)frames / rate;
    m.rmsDbfs = MeanSquareDbfs(total / (double)used);
    m.soundingDbfs = soundingSamples ? MeanSquareDbfs(sounding / (double)soundingSamples) : -INFINITY;
    m.soundingSeconds = (double)(soundingSamples / channels) / rate;
    m.peakDbfs = peak ? 20.0 * std::log10(peak / 32768.0) : -INFINITY;
    return m;
}
