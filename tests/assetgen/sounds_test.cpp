// The effects and voices: WAVE files the sound module reads (format chunk first), short, audible, click-free.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/assetgen/asset_files.h"

namespace {

struct Wave {
  int rate = 0, channels = 0, bits = 0;
  std::vector<int16_t> samples;
};

// Walks the file by the module's reading rules: RIFF, WAVE, "fmt " as the first chunk, then chunks up to "data".
::testing::AssertionResult ReadWave(const std::string& path, Wave& w) {
  std::vector<uint8_t> b = ReadBytes(path);
  if (b.size() < 44) return ::testing::AssertionFailure() << path << ": missing or too short";
  if (std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4) || std::memcmp(b.data() + 12, "fmt ", 4))
    return ::testing::AssertionFailure() << path << ": not RIFF WAVE with the format chunk first";
  if (Le32(b, 4) != b.size() - 8) return ::testing::AssertionFailure() << path << ": RIFF size";
  uint32_t fmtSize = Le32(b, 16);
  if (Le16(b, 20) != 1) return ::testing::AssertionFailure() << path << ": not PCM";
  w.channels = int(Le16(b, 22));
  w.rate = int(Le32(b, 24));
  w.bits = int(Le16(b, 34));
  if (Le16(b, 32) != uint32_t(w.channels * w.bits / 8) || Le32(b, 28) != uint32_t(w.rate) * Le16(b, 32))
    return ::testing::AssertionFailure() << path << ": block align or byte rate disagree";
  size_t at = 20 + fmtSize + (fmtSize & 1);
  while (at + 8 <= b.size() && std::memcmp(b.data() + at, "data", 4) != 0) at += 8 + Le32(b, at + 4) + (Le32(b, at + 4) & 1);
  if (at + 8 > b.size()) return ::testing::AssertionFailure() << path << ": no data chunk";
  uint32_t size = Le32(b, at + 4);
  if (at + 8 + size != b.size()) return ::testing::AssertionFailure() << path << ": data size does not match the file";
  for (size_t i = at + 8; i + 1 < b.size(); i += 2) w.samples.push_back(int16_t(Le16(b, i)));
  return ::testing::AssertionSuccess();
}

// The largest magnitude of a file's samples.
int PeakOf(const Wave& w) {
  int peak = 0;
  for (int16_t s : w.samples) peak = std::max(peak, std::abs(int(s)));
  return peak;
}

void CheckSound(const std::string& path, double maxSeconds) {
  Wave w;
  ASSERT_TRUE(ReadWave(path, w));
  EXPECT_EQ(w.rate, 22050) << path;
  EXPECT_EQ(w.channels, 1) << path;
  EXPECT_EQ(w.bits, 16) << path;
  double seconds = double(w.samples.size()) / w.rate;
  EXPECT_GE(seconds, 0.04) << path;
  EXPECT_LE(seconds, maxSeconds) << path;
  // Audible, yet with room for the seven sounds the game plays together.
  int peak = PeakOf(w);
  EXPECT_GE(peak, 2000) << path << " is nearly silent";
  EXPECT_LE(peak, 32767 / 7 + 1) << path << " leaves no headroom";
  ASSERT_FALSE(w.samples.empty());
  EXPECT_LT(std::abs(int(w.samples.front())), 1600) << path << " starts with a click";
  EXPECT_LT(std::abs(int(w.samples.back())), 1600) << path << " ends with a click";
}

TEST(SoundFiles, SixteenShortEffects) {
  ASSERT_EQ(EffectNames().size(), 16u);
  for (const std::string& name : EffectNames()) CheckSound(AssetDir() + "/wav/" + name, 2.0);
}

TEST(SoundFiles, ThirtyTwoVoices) {
  ASSERT_EQ(VoiceNames().size(), 32u);
  for (const std::string& name : VoiceNames()) CheckSound(AssetDir() + "/voice/" + name, 3.0);
}

// A time-out starts the fall and the last-life cue of four players (three copies of each, in step)
// and the hurry call: even their peaks added up stay below full scale.
TEST(SoundFiles, TheTimeOutSoundsTogetherStayBelowFullScale) {
  struct Part {
    const char* file;
    int copies;
  };
  const Part parts[] = {{"/wav/fall00.wav", 3}, {"/voice/sindatoki.wav", 3}, {"/voice/harry.wav", 1}};
  int sum = 0;
  for (const Part& part : parts) {
    Wave w;
    ASSERT_TRUE(ReadWave(AssetDir() + part.file, w));
    sum += part.copies * PeakOf(w);
  }
  EXPECT_LT(sum, 32767);
}

// Different cues must not be the same recording.
TEST(SoundFiles, EverySoundIsItsOwn) {
  std::vector<std::vector<uint8_t>> seen;
  for (const std::string& name : EffectNames()) seen.push_back(ReadBytes(AssetDir() + "/wav/" + name));
  for (const std::string& name : VoiceNames()) seen.push_back(ReadBytes(AssetDir() + "/voice/" + name));
  for (size_t i = 0; i < seen.size(); ++i)
    for (size_t j = i + 1; j < seen.size(); ++j) EXPECT_NE(seen[i], seen[j]) << "sounds " << i << " and " << j;
}

}  // namespace
