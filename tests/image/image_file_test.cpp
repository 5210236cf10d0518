// Pictures read through data files, and the log line a refused picture leaves.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

#include "lib/core/log.h"
#include "tests/image/loader_fixture.h"
#include "tests/support/test_temp_dir.h"

namespace {

class ImageFile : public LoaderFixture {
protected:
    void SetUp() override {
        LoaderFixture::SetUp();
        ASSERT_EQ(0, EnterFreshTempDir());
    }
    void TearDown() override {
        CloseLogFile();
        if (LeaveFreshTempDir() != 0) ADD_FAILURE();
        LoaderFixture::TearDown();
    }
    void Write(const char *name, const std::vector<uint8_t> &bytes) {
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    }
};

// A 1 x 1 24-bit BMP holding blue 1, green 2, red 3.
std::vector<uint8_t> TinyBmp() {
    std::vector<uint8_t> v = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0,
                              24, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              1, 2, 3, 0};
    return v;
}

TEST_F(ImageFile, LoadsThroughADataFilePathWithBackslashes) {
    ASSERT_EQ(0, mkdir("png", 0755));
    Write("png/Tiny.bmp", TinyBmp());
    ASSERT_EQ(0, LoadGraphImageFromFile("png\\Tiny.bmp", &img));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), Row(0));
    DiscardGraphImage(&img);
    EXPECT_EQ(-1, LoadGraphImageFromFile("png\\Missing.bmp", &img));
    EXPECT_EQ(nullptr, img.pixels);
}

TEST_F(ImageFile, ARefusedPictureLeavesALogLine) {
    ASSERT_EQ(0, OpenLogFile(GetFreshTempDir()));
    std::vector<uint8_t> bmp = TinyBmp();
    bmp.resize(bmp.size() - 2);  // the row is cut short
    EXPECT_EQ(-1, Load(bmp));
    std::vector<uint8_t> junk(32, 7);
    EXPECT_EQ(-1, Load(junk));
    CloseLogFile();
    std::ifstream in(std::string(GetFreshTempDir()) + "/Log.txt", std::ios::binary);
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, log.find("BMP")) << log;
    EXPECT_NE(std::string::npos, log.find(" in LoadGraphImage")) << log;
}

}  // namespace
