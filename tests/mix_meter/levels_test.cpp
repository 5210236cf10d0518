// The mix meter's levels: RMS, the level while sounding, peak and clipped samples of known signals.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/mix_meter/levels.h"

namespace {

#define RATE 1000  // 50 samples per window per channel

// A stereo square wave of amplitude a for frames, then silence for quiet frames.
std::vector<int16_t> SquareThenSilence(int a, int frames, int quiet)
{
    std::vector<int16_t> s;
    for (int i = 0; i < frames; i++) s.insert(s.end(), 2, int16_t(i % 2 ? a : -a));
    s.insert(s.end(), size_t(quiet) * 2, int16_t(0));
    return s;
}

struct LevelCase {
    int amplitude, frames, quiet;
    double rms, sounding, soundingSeconds, peak;
    long clipped;
};

TEST(MixLevels, KnownSignals)
{
    const double half = 20 * std::log10(16384.0 / 32768.0);  // -6.02
    const double halfOverQuarter = half + 10 * std::log10(0.25);
    const LevelCase cases[] = {
        // half scale throughout: every level the same, nothing clipped
        {16384, 1000, 0, half, half, 1.0, half, 0},
        // a quarter sounding: the RMS falls by 6 dB, the level while sounding does not
        {16384, 250, 750, halfOverQuarter, half, 0.25, half, 0},
        // the positive rail counts as clipped, and so does the negative one
        {32767, 100, 0, 20 * std::log10(32767.5 / 32768.0), 20 * std::log10(32767.5 / 32768.0), 0.1,
         20 * std::log10(32768.0 / 32768.0), 200},
    };
    for (const LevelCase &c : cases) {
        std::vector<int16_t> s = SquareThenSilence(c.amplitude, c.frames, c.quiet);
        if (c.amplitude == 32767)
            for (size_t i = 0; i < s.size(); i++) s[i] = i % 4 < 2 ? 32767 : -32768;
        MixLevels m = MeasureMixLevels(s.data(), s.size(), 2, RATE);
        EXPECT_DOUBLE_EQ(m.seconds, (c.frames + c.quiet) / double(RATE)) << c.amplitude;
        EXPECT_NEAR(m.rmsDbfs, c.rms, 0.01) << c.amplitude;
        EXPECT_NEAR(m.soundingDbfs, c.sounding, 0.01) << c.amplitude;
        EXPECT_DOUBLE_EQ(m.soundingSeconds, c.soundingSeconds) << c.amplitude;
        EXPECT_NEAR(m.peakDbfs, c.peak, 0.01) << c.amplitude;
        EXPECT_EQ(m.clipped, c.clipped) << c.amplitude;
    }
}

TEST(MixLevels, SilenceAndNothingAreMinusInfinity)
{
    std::vector<int16_t> quiet(200, 0);
    for (size_t count : {size_t(0), size_t(1), quiet.size()}) {
        MixLevels m = MeasureMixLevels(quiet.data(), count, 2, RATE);
        EXPECT_TRUE(std::isinf(m.rmsDbfs) && m.rmsDbfs < 0) << count;
        EXPECT_TRUE(std::isinf(m.soundingDbfs) && m.soundingDbfs < 0) << count;
        EXPECT_TRUE(std::isinf(m.peakDbfs) && m.peakDbfs < 0) << count;
        EXPECT_EQ(m.soundingSeconds, 0.0) << count;
        EXPECT_EQ(m.clipped, 0) << count;
    }
}

TEST(MixLevels, ARateUnderOneFramePerWindowStillEnds)
{
    std::vector<int16_t> s = SquareThenSilence(16384, 10, 0);
    MixLevels m = MeasureMixLevels(s.data(), s.size(), 2, 10);
    EXPECT_DOUBLE_EQ(m.seconds, 1.0);
    EXPECT_NEAR(m.peakDbfs, 20 * std::log10(0.5), 0.01);
}

}  // namespace
