// The generated assets read through the library itself: every sheet cut into its frames by the
// divided-sheet loader from the game's own backslash names, each frame drawn keyed exactly as libpng
// reads it; every song opened, played and heard on the MIDI sequencer.
#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

#include <string>
#include <vector>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
#include "platform/dsound/mixer.h"
#include "platform/mci/mci.h"
#include "tests/assetgen/sheet_files.h"
#include "tests/support/test_temp_dir.h"
#include "testsupport/test_hooks.h"

namespace {

class LibraryAssets : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(EnterFreshTempDir(), 0);
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrary(), 0);
    ASSERT_EQ(SelectScreenMode(640, 480, 16, 60), 0);
    ASSERT_EQ(SelectDrawTarget(SCREEN_BACK), 0);
  }
  void TearDown() override {
    EndLibrary();
    LeaveFreshTempDir();
  }
};

TEST_F(LibraryAssets, EverySheetIsCutIntoItsFramesAndDrawsKeyed) {
  // The game loads from its data folder with names such as "png\\Player.png".
  ASSERT_EQ(chdir(AssetDir().c_str()), 0);
  std::vector<std::vector<int>> frames;
  for (const SheetSpec& spec : SheetSpecs()) {
    std::vector<int> handles(size_t(spec.across * spec.down), -1);
    std::string name = std::string("png\\") + spec.file;
    ASSERT_EQ(LoadDividedGraphs(name.c_str(), spec.across * spec.down, spec.across, spec.down, 32, 32,
                                handles.data(), 0), 0) << spec.file;
    frames.push_back(handles);
  }
  ASSERT_EQ(chdir(GetFreshTempDir()), 0);
  EXPECT_GE(GetGraphCount(), 2690);  // every frame of the game at once

  MEMIMG* back = GetScreenMemImg(SCREEN_BACK);
  for (size_t i = 0; i < SheetSpecs().size(); ++i) {
    const SheetSpec& spec = SheetSpecs()[i];
    Sheet sheet;
    ASSERT_TRUE(LoadSheet(spec, sheet)) << spec.file;
    for (int f = 0; f < spec.across * spec.down; ++f) {
      ASSERT_EQ(EraseDrawTarget(), 0);
      ASSERT_EQ(PutGraph(0, 0, frames[i][size_t(f)], 1), 0) << spec.file << " frame " << f;
      std::vector<uint32_t> expected = Frame(sheet, f);
      int wrong = 0;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
          uint32_t rgb = expected[size_t(y * 32 + x)];
          uint16_t want = uint16_t(PackScreenColor(int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)));
          uint16_t got;
          memcpy(&got, GetMemImgRow(back, y) + x * 2, 2);
          wrong += got != want;
        }
      ASSERT_EQ(wrong, 0) << spec.file << " frame " << f;
    }
  }
  EXPECT_EQ(RemoveAllGraphs(0), 0);
  EXPECT_EQ(GetGraphCount(), 0);
}

TEST(LibraryAssetsMusic, EverySongOpensPlaysAndSoundsOnTheSequencer) {
  AudioSelectBackend("manual");
  WaveFormat format = {WAVE_TAG_PCM, 2, 44100, 176400, 4, 16, 0};
  ASSERT_EQ(AudioOpenOutput(&format), 0);
  for (const std::string& song : SongNames()) {
    std::string path = AssetDir() + "/mid/" + song;
    MciOpenParams open = {0, 0, "sequencer", path.c_str(), nullptr};
    ASSERT_EQ(MciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, uintptr_t(&open)), MCI_OK) << song;
    MciStatusParams status = {0, 0, MCI_SEQ_STATUS_PORT, 0};
    ASSERT_EQ(MciSendCommand(open.deviceId, MCI_STATUS, MCI_STATUS_ITEM, uintptr_t(&status)), MCI_OK);
    EXPECT_EQ(status.result & 0xFFFF, MCI_SEQ_MAPPER);
    MciPlayParams play = {0, 0, 0};
    ASSERT_EQ(MciSendCommand(open.deviceId, MCI_PLAY, MCI_FROM, uintptr_t(&play)), MCI_OK) << song;
    AudioTestClearCapture();
    AudioTestStep(44100 * 2);  // two seconds
    size_t bytes = 0;
    const int16_t* samples = reinterpret_cast<const int16_t*>(AudioTestCapture(&bytes));
    int loud = 0;
    double square = 0;
    for (size_t k = 0; k < bytes / 2; ++k) {
      loud += samples[k] > 300 || samples[k] < -300;
      square += double(samples[k]) * samples[k];
    }
    EXPECT_GT(loud, 1000) << song << " is silent";
    // Heard under the effects, and not so loud that it leaves them no room.
    double rms = 10 * std::log10(square / double(bytes / 2) / (32768.0 * 32768.0));
    EXPECT_GT(rms, -34.0) << song;
    EXPECT_LT(rms, -16.0) << song;
    MciGenericParams close = {0};
    EXPECT_EQ(MciSendCommand(open.deviceId, MCI_CLOSE, 0, uintptr_t(&close)), MCI_OK);
  }
  MciShutdown();
  AudioCloseOutput();
}

}  // namespace
