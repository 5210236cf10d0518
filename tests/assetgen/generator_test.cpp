// The generator itself: same bytes on every run, the review sheet on request, and a clean failure on bad use.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tests/assetgen/asset_files.h"
#include "tests/support/test_temp_dir.h"

#ifndef DAZAR_ASSETGEN_EXE
#define DAZAR_ASSETGEN_EXE "dazar_assetgen"
#endif

namespace {

namespace fs = std::filesystem;

// Runs the generator with the given arguments; returns its exit status.
int RunGenerator(const std::string& args) {
  std::string cmd = std::string("ASAN_OPTIONS=detect_leaks=0 '") + DAZAR_ASSETGEN_EXE + "' " + args + " 2>/dev/null";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class GeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(EnterFreshTempDir(), 0);
    dir_ = GetFreshTempDir();
  }
  void TearDown() override { LeaveFreshTempDir(); }
  std::string dir_;
};

std::vector<std::string> AllFiles() {
  std::vector<std::string> files;
  for (const SheetSpec& s : SheetSpecs()) files.push_back(std::string("png/") + s.file);
  for (const std::string& n : EffectNames()) files.push_back("wav/" + n);
  for (const std::string& n : VoiceNames()) files.push_back("voice/" + n);
  for (const std::string& n : SongNames()) files.push_back("mid/" + n);
  return files;
}

TEST_F(GeneratorTest, TwoRunsWriteTheSameBytesAsTheBuild) {
  ASSERT_EQ(RunGenerator("'" + dir_ + "/a'"), 0);
  ASSERT_EQ(RunGenerator("'" + dir_ + "/b'"), 0);
  for (const std::string& f : AllFiles()) {
    std::vector<uint8_t> a = ReadBytes(dir_ + "/a/" + f);
    ASSERT_FALSE(a.empty()) << f;
    EXPECT_EQ(a, ReadBytes(dir_ + "/b/" + f)) << f << " differs between runs";
    EXPECT_EQ(a, ReadBytes(AssetDir() + "/" + f)) << f << " differs from the build's copy";
  }
  // Nothing beyond the inventory is written into the data folder.
  size_t count = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir_ + "/a")) count += e.is_regular_file();
  EXPECT_EQ(count, AllFiles().size());
}

TEST_F(GeneratorTest, WritesTheContactSheetOnRequest) {
  std::string sheet = dir_ + "/contact.png";
  ASSERT_EQ(RunGenerator("'" + dir_ + "/out' --contact-sheet '" + sheet + "'"), 0);
  std::vector<uint8_t> b = ReadBytes(sheet);
  ASSERT_GE(b.size(), 24u);
  EXPECT_EQ(std::memcmp(b.data() + 1, "PNG", 3), 0);
  EXPECT_EQ(Be32(b, 16), 20u * 72u) << "twenty frames across at twice their size";
}

TEST_F(GeneratorTest, FailsCleanlyOnBadUse) {
  EXPECT_EQ(RunGenerator(""), 2);
  EXPECT_EQ(RunGenerator("'" + dir_ + "' --unknown x"), 2);
  // A plain file where the output folder should be.
  std::string blocker = dir_ + "/file";
  FILE* f = std::fopen(blocker.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(RunGenerator("'" + blocker + "/assets'"), 1);
  EXPECT_EQ(RunGenerator("'" + blocker + "'"), 1);
}

}  // namespace
