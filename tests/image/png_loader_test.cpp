// PNG pictures of every colour type decode to the exact bytes; broken and hostile files are refused.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/image/loader_fixture.h"
#include "tests/support/hostile_files.h"

namespace {

struct PngSpec {
    int width, height, colorType, depth;
    bool interlace = false;
    std::vector<png_color> palette;
    std::vector<uint8_t> trns;       // palette alphas
    int trnsGrey = -1;               // grey value made transparent
    std::vector<std::vector<uint8_t>> rows;  // stored rows, packed as the format says
};

void AppendBytes(png_structp png, png_bytep data, png_size_t n) {
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

// Writes the picture with libpng itself.
std::vector<uint8_t> WritePng(const PngSpec &s) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType,
                 s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), (int)s.palette.size());
    if (!s.trns.empty()) png_set_tRNS(png, info, s.trns.data(), (int)s.trns.size(), nullptr);
    png_color_16 grey = {};
    if (s.trnsGrey >= 0) {
        grey.gray = (png_uint_16)s.trnsGrey;
        png_set_tRNS(png, info, nullptr, 0, &grey);
    }
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (auto &r : s.rows) rows.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

uint32_t Crc32(const uint8_t *p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

using PngLoader = LoaderFixture;

TEST_F(PngLoader, RgbBecomesBgr) {
    PngSpec s{3, 2, PNG_COLOR_TYPE_RGB, 8};
    s.rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}};
    ASSERT_EQ(0, Load(WritePng(s)));
    EXPECT_EQ(24, img.format.colorBitDepth);
    EXPECT_EQ(0u, img.format.alphaMask);
    EXPECT_EQ((std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7}), Row(0));
    EXPECT_EQ((std::vector<uint8_t>{12, 11, 10, 15, 14, 13, 18, 17, 16}), Row(1));
}

TEST_F(PngLoader, RgbaBecomesBgra) {
    PngSpec s{2, 1, PNG_COLOR_TYPE_RGBA, 8};
    s.rows = {{1, 2, 3, 4, 5, 6, 7, 0}};
    ASSERT_EQ(0, Load(WritePng(s)));
    EXPECT_EQ(0xFF000000u, img.format.alphaMask);
    EXPECT_EQ((std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 0}), Row(0));
}

TEST_F(PngLoader, PaletteExpandsAndTrnsMakesAlpha) {
    PngSpec s{3, 1, PNG_COLOR_TYPE_PALETTE, 4};
    s.palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    s.rows = {{0x21, 0x00}};  // indices 2, 1, 0
    ASSERT_EQ(0, Load(WritePng(s)));
    EXPECT_EQ(3, img.format.pixelByte);
    EXPECT_EQ((std::vector<uint8_t>{90, 80, 70, 60, 50, 40, 30, 20, 10}), Row(0));
    DiscardGraphImage(&img);
    s.trns = {0, 128};
    ASSERT_EQ(0, Load(WritePng(s)));
    EXPECT_EQ(4, img.format.pixelByte);
    EXPECT_EQ((std::vector<uint8_t>{90, 80, 70, 255, 60, 50, 40, 128, 30, 20, 10, 0}), Row(0));
}

TEST_F(PngLoader, GreyBecomesAPaletteImageWithARamp) {
    PngSpec s{3, 1, PNG_COLOR_TYPE_GRAY, 8};
    s.rows = {{0, 77, 255}};
    ASSERT_EQ(0, Load(WritePng(s)));
    EXPECT_EQ(1, img.format.pixelByte);
    EXPECT_EQ(0u, img.format.redMask | img.format.greenMask | img.format.blueMask);
    EXPECT_EQ((std::vector<uint8_t>{0, 77, 255}), Row(0));
    EXPECT_EQ(0xFF4D4D4Du, img.format.palette[77]);
    DiscardGraphImage(&img);
    PngSpec two{4, 1, PNG_COLOR_TYPE_GRAY, 2};
    two.rows = {{0x1B}};  // 0, 1, 2, 3
    ASSERT_EQ(0, Load(WritePng(two)));
    EXPECT_EQ((std::vector<uint8_t>{0, 85, 170, 255}), Row(0));
}

TEST_F(PngLoader, GreyWithTransparencyOrAlphaBecomesBgra) {
    PngSpec s{2, 1, PNG_COLOR_TYPE_GRAY, 8};
    s.trnsGrey = 9;
    s.rows = {{9, 200}};
    ASSERT_EQ(0, Load(WritePng(s)));
    EXPECT_EQ((std::vector<uint8_t>{9, 9, 9, 0, 200, 200, 200, 255}), Row(0));
    DiscardGraphImage(&img);
    PngSpec ga{1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8};
    ga.rows = {{60, 61}};
    ASSERT_EQ(0, Load(WritePng(ga)));
    EXPECT_EQ((std::vector<uint8_t>{60, 60, 60, 61}), Row(0));
}

TEST_F(PngLoader, SixteenBitChannelsKeepTheirHighByte) {
    PngSpec s{1, 1, PNG_COLOR_TYPE_RGB, 16};
    s.rows = {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}};
    ASSERT_EQ(0, Load(WritePng(s)));
    EXPECT_EQ((std::vector<uint8_t>{0x9A, 0x56, 0x12}), Row(0));
}

TEST_F(PngLoader, InterlacedEqualsPlain) {
    PngSpec s{9, 9, PNG_COLOR_TYPE_RGB, 8};
    for (int y = 0; y < 9; ++y) {
        std::vector<uint8_t> r;
        for (int x = 0; x < 27; ++x) r.push_back((uint8_t)(y * 31 + x * 7));
        s.rows.push_back(r);
    }
    ASSERT_EQ(0, Load(WritePng(s)));
    std::vector<std::vector<uint8_t>> plain;
    for (int y = 0; y < 9; ++y) plain.push_back(Row(y));
    DiscardGraphImage(&img);
    s.interlace = true;
    ASSERT_EQ(0, Load(WritePng(s)));
    for (int y = 0; y < 9; ++y) EXPECT_EQ(plain[y], Row(y)) << y;
}

TEST_F(PngLoader, TruncatedFileIsRefused) {
    PngSpec s{16, 16, PNG_COLOR_TYPE_RGB, 8};
    for (int y = 0; y < 16; ++y) s.rows.push_back(std::vector<uint8_t>(48, (uint8_t)(y * 13)));
    std::vector<uint8_t> f = WritePng(s);
    for (size_t cut : {f.size() - 12, f.size() / 2, (size_t)40, (size_t)9}) {
        std::vector<uint8_t> t(f.begin(), f.begin() + cut);
        EXPECT_EQ(-1, Load(t)) << cut;
        EXPECT_EQ(nullptr, img.pixels);
    }
}

TEST_F(PngLoader, BadCrcIsRefused) {
    PngSpec s{4, 4, PNG_COLOR_TYPE_RGB, 8};
    for (int y = 0; y < 4; ++y) s.rows.push_back(std::vector<uint8_t>(12, 7));
    std::vector<uint8_t> f = WritePng(s);
    f[8 + 8 + 13] ^= 1;  // IHDR's CRC
    EXPECT_EQ(-1, Load(f));
}

TEST_F(PngLoader, HugeDimensionsAreRefusedBeforeAnyAllocation) {
    PngSpec s{1, 1, PNG_COLOR_TYPE_RGB, 8};
    s.rows = {{1, 2, 3}};
    std::vector<uint8_t> f = WritePng(s);
    // IHDR data at 16..28: width 1 << 30, height 1 << 30, then a correct CRC.
    uint8_t *ihdr = f.data() + 16;
    ihdr[0] = 0x40; ihdr[1] = 0; ihdr[2] = 0; ihdr[3] = 0;
    ihdr[4] = 0x40; ihdr[5] = 0; ihdr[6] = 0; ihdr[7] = 0;
    uint32_t crc = Crc32(f.data() + 12, 17);
    f[29] = (uint8_t)(crc >> 24); f[30] = (uint8_t)(crc >> 16); f[31] = (uint8_t)(crc >> 8); f[32] = (uint8_t)crc;
    EXPECT_EQ(-1, Load(f));
}

TEST_F(PngLoader, AncillaryChunksAreSkippedWhateverLengthTheyDeclare) {
    // Small text and pixel-size chunks in a good file change nothing.
    PngSpec s{1, 1, PNG_COLOR_TYPE_RGB, 8};
    s.rows = {{1, 2, 3}};
    std::vector<uint8_t> f = WritePng(s);
    for (const char *chunk : {"tEXtkey\0value", "pHYs\0\0\0\1\0\0\0\1\1"}) {
        size_t n = 13;  // the name and nine bytes of data, both
        std::vector<uint8_t> c = {0, 0, 0, (uint8_t)(n - 4)};
        c.insert(c.end(), chunk, chunk + n);
        uint32_t crc = Crc32(c.data() + 4, n);
        c.insert(c.end(), {(uint8_t)(crc >> 24), (uint8_t)(crc >> 16), (uint8_t)(crc >> 8), (uint8_t)crc});
        f.insert(f.begin() + 33, c.begin(), c.end());
    }
    ASSERT_EQ(0, Load(f));
    EXPECT_EQ((std::vector<uint8_t>{3, 2, 1}), Row(0));
    DiscardGraphImage(&img);
    // Chunks that declare about a gigabyte in a file of 48 bytes, a 16384 x 4096 picture without image
    // data, and ones whose only IDAT chunk claims 2 GB in a file of some 50 bytes take no such memory.
    if (!CanWatchAllocations()) GTEST_SKIP() << "allocations are watched in the sanitized build only";
    for (const char *name : {"huge_text.png", "huge_itxt.png", "huge_splt.png", "huge_exif.png", "empty_16384x4096.png",
                             "idat_2g_rgba8.png", "idat_2g_rgb8.png", "idat_2g_rgb16_interlaced.png"}) {
        std::vector<uint8_t> hostile = ReadHostileFile(name);
        ASSERT_FALSE(hostile.empty()) << name;
        size_t largest = LargestAllocationDuring([&] { EXPECT_EQ(-1, Load(hostile)) << name; });
        EXPECT_LT(largest, 1u << 20) << name;
    }
}

// Image data is counted by the bytes the file holds, chunk by chunk (the hostile files above claim more
// than that): a picture whose image data comes in many small chunks is whole.
TEST_F(PngLoader, ImageDataCountsTheBytesTheFileHolds) {
    PngSpec s{64, 64, PNG_COLOR_TYPE_RGB, 8};
    for (int y = 0; y < 64; ++y) s.rows.push_back(std::vector<uint8_t>(192, (uint8_t)y));
    std::vector<uint8_t> f = WritePng(s);
    std::vector<uint8_t> split(f.begin(), f.begin() + 33);  // the signature and IHDR
    size_t idat = 33, length = (size_t)f[33] << 24 | f[34] << 16 | f[35] << 8 | f[36];
    ASSERT_EQ(0, memcmp(f.data() + 37, "IDAT", 4));
    for (size_t at = 0; at < length; at += 5) {
        std::vector<uint8_t> c = {0, 0, 0, (uint8_t)std::min<size_t>(5, length - at), 'I', 'D', 'A', 'T'};
        c.insert(c.end(), f.begin() + idat + 8 + at, f.begin() + idat + 8 + at + c[3]);
        uint32_t crc = Crc32(c.data() + 4, c.size() - 4);
        c.insert(c.end(), {(uint8_t)(crc >> 24), (uint8_t)(crc >> 16), (uint8_t)(crc >> 8), (uint8_t)crc});
        split.insert(split.end(), c.begin(), c.end());
    }
    split.insert(split.end(), f.begin() + idat + 12 + length, f.end());
    ASSERT_EQ(0, Load(split));
    EXPECT_EQ(std::vector<uint8_t>(192, 63), Row(63));
}

TEST_F(PngLoader, GarbageAndEmptyInputAreRefused) {
    std::vector<uint8_t> junk(100, 0xAB);
    EXPECT_EQ(-1, Load(junk));
    std::vector<uint8_t> sig = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(-1, Load(sig));
    EXPECT_EQ(-1, LoadGraphImageFromMemory(junk.data(), 0, &img));
}

}  // namespace
