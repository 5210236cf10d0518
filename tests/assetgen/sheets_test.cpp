// The sprite sheets: grid sizes, colour-keyed RGB, drawn and empty frames, and sprites that tell apart.
#include <gtest/gtest.h>

#include <set>

#include "tests/assetgen/sheet_files.h"

namespace {

int VisibleCount(const std::vector<uint32_t>& f) {
  int n = 0;
  for (uint32_t p : f) n += p != 0;
  return n;
}

class SheetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const SheetSpec& spec : SheetSpecs()) {
      Sheet s;
      ASSERT_TRUE(LoadSheet(spec, s)) << spec.file;
      sheets_.push_back(s);
    }
  }
  static const Sheet& Get(int i) { return sheets_[size_t(i)]; }
  static std::vector<Sheet> sheets_;
};

std::vector<Sheet> SheetTest::sheets_;

enum { kPlayer, kEnemy, kItem, kBlock, kTama, kBomb, kYuka };

TEST_F(SheetTest, EverySheetHasItsFullGridSize) {
  for (size_t i = 0; i < SheetSpecs().size(); ++i) {
    EXPECT_EQ(Get(int(i)).width, SheetSpecs()[i].across * 32) << SheetSpecs()[i].file;
    EXPECT_EQ(Get(int(i)).height, SheetSpecs()[i].down * 32) << SheetSpecs()[i].file;
  }
}

TEST_F(SheetTest, UsedFramesAreDrawnAndUnusedFramesAreTransparent) {
  for (size_t i = 0; i < SheetSpecs().size(); ++i) {
    const SheetSpec& spec = SheetSpecs()[i];
    for (int f = 0; f < spec.across * spec.down; ++f) {
      int n = VisibleCount(Frame(Get(int(i)), f));
      if (f < spec.used)
        EXPECT_GE(n, 40) << spec.file << " frame " << f;
      else
        ASSERT_EQ(n, 0) << spec.file << " frame " << f;
    }
  }
}

// A visible pixel must stay visible once packed into R5G6B5, or the colour key would punch a hole in it.
TEST_F(SheetTest, NoVisiblePixelTurnsTransparentInSixteenBitColour) {
  for (size_t i = 0; i < SheetSpecs().size(); ++i) {
    const std::vector<uint8_t>& rgb = Get(int(i)).rgb;
    for (size_t k = 0; k < rgb.size(); k += 3) {
      bool visible = rgb[k] | rgb[k + 1] | rgb[k + 2];
      bool packedZero = (rgb[k] >> 3) == 0 && (rgb[k + 1] >> 2) == 0 && (rgb[k + 2] >> 3) == 0;
      ASSERT_FALSE(visible && packedZero) << SheetSpecs()[i].file << " pixel " << k / 3;
    }
  }
}

TEST_F(SheetTest, FloorTilesAreOpaque) {
  for (int f = 2; f <= 7; ++f) EXPECT_EQ(VisibleCount(Frame(Get(kYuka), f)), 32 * 32) << "floor frame " << f;
}

// Frames that stand for different things must differ.
void ExpectDistinct(const Sheet& s, const std::vector<int>& frames, const char* what) {
  std::set<std::vector<uint32_t>> seen;
  for (int f : frames) EXPECT_TRUE(seen.insert(Frame(s, f)).second) << what << ": frame " << f << " repeats another";
}

std::vector<int> Range(int first, int count, int stride = 1) {
  std::vector<int> v;
  for (int i = 0; i < count; ++i) v.push_back(first + i * stride);
  return v;
}

TEST_F(SheetTest, EveryEnemyKindLooksDifferent) {
  ExpectDistinct(Get(kEnemy), Range(0, 32, 20), "enemy kinds, facing down");
  ExpectDistinct(Get(kEnemy), Range(8, 32, 20), "enemy kinds, facing left");
  for (int k = 0; k < 32; ++k) {
    ExpectDistinct(Get(kEnemy), Range(k * 20, 4, 4), "enemy facings");
    ExpectDistinct(Get(kEnemy), Range(k * 20 + 16, 4), "enemy dying steps");
  }
}

TEST_F(SheetTest, PlayersHaveTheirOwnColoursFacingsAndSteps) {
  ExpectDistinct(Get(kPlayer), Range(0, 4, 20), "players");
  for (int p = 0; p < 4; ++p) {
    ExpectDistinct(Get(kPlayer), Range(p * 20, 4, 4), "player facings");
    ExpectDistinct(Get(kPlayer), Range(p * 20 + 16, 4), "player dying steps");
    for (int dir = 0; dir < 4; ++dir)
      EXPECT_NE(Frame(Get(kPlayer), p * 20 + dir * 4), Frame(Get(kPlayer), p * 20 + dir * 4 + 1)) << "walk cycle";
  }
}

TEST_F(SheetTest, ItemsBlocksShotsAndBombsTellApart) {
  ExpectDistinct(Get(kItem), Range(0, 23), "items");
  ExpectDistinct(Get(kBlock), Range(0, 37), "blocks");
  ExpectDistinct(Get(kTama), Range(0, 16), "shots");
  ExpectDistinct(Get(kBomb), Range(0, 24), "bombs and fire");
  ExpectDistinct(Get(kYuka), Range(0, 10), "floor sheet");
}

}  // namespace
