// Blend tables, memory images and their views, palettes, and the draw settings.
#include <gtest/gtest.h>

#include <cstring>

#include "lib/core/memory.h"
#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"

namespace {

TEST(BlendTables, SpotValues) {
    ASSERT_EQ(0, BuildMemImgBlendTables());
    EXPECT_EQ(1, AreMemImgBlendTablesBuilt());
    EXPECT_EQ(128, BlendScaleTable[128][255]);
    EXPECT_EQ(254, BlendScaleTable[254][255]);
    EXPECT_EQ(0, BlendScaleTable[1][254]);
    EXPECT_EQ(63, BlendScaleTable[255][63]);
    for (int p : {1, 77, 128, 255})
        for (int x : {1, 2, 100, 254, 255}) EXPECT_EQ(-GetBlendDifferenceRow(p)[x], GetBlendDifferenceRow(p)[-x]);
    EXPECT_EQ(15, GetBlendDifferenceRow(128)[31]);
    EXPECT_EQ(-15, GetBlendDifferenceRow(128)[-31]);  // toward zero, not floor
    EXPECT_EQ(-255, GetBlendDifferenceRow(255)[-255]);
    EXPECT_EQ(0, BlendDifferenceTable[200][511]);
    EXPECT_EQ(40, Blend6BitAlphaTable[63][40][7]);
    EXPECT_EQ(7, Blend6BitAlphaTable[0][40][7]);
    EXPECT_EQ(32, Blend6BitAlphaTable[32][63][0]);
    EXPECT_EQ(31, Blend6BitAlphaTable[17][31][31]);
    EXPECT_EQ(19, Blend6BitAlphaTable[31][40][0]);  // trunc(31 * 40 / 63)
}

TEST(BlendTables, BlendImageLookup) {
    BuildBlendImageLookup(0, 255);  // offset 256: every factor full
    EXPECT_EQ(255, BlendImageLookup[0]);
    BuildBlendImageLookup(128, 255);  // step 256, offset 0: the identity
    for (int i = 0; i < 256; ++i) ASSERT_EQ(i, BlendImageLookup[i]);
    BuildBlendImageLookup(255, 0);  // step 65536, offset 256 - 65535: 256 * i - 65279
    EXPECT_EQ(0, BlendImageLookup[254]);
    EXPECT_EQ(1, BlendImageLookup[255]);
    BuildBlendImageLookup(300, -4);  // clamped to (255, 0)
    EXPECT_EQ(0, BlendImageLookup[254]);
    BuildBlendImageLookup(64, 127);  // step 512, offset 256 - 192 = 64: entry i * 2 + 64
    EXPECT_EQ(64, BlendImageLookup[0]);
    EXPECT_EQ(84, BlendImageLookup[10]);
    EXPECT_EQ(255, BlendImageLookup[100]);
}

class MemImgs : public ::testing::Test {
protected:
    void SetUp() override { blocks = GetTrackedBlockCount(); }
    void TearDown() override { EXPECT_EQ(blocks, GetTrackedBlockCount()); }
    int blocks = 0;
};

TEST_F(MemImgs, CreateRoundsPitchAndSizesPixels) {
    MEMIMG a;
    ASSERT_EQ(0, CreateMemImg(&a, 3, 2, MEMIMG_COLOR_565, 0, 0, 0x1234));
    EXPECT_EQ(MEMIMG_MAGIC, a.magic);
    EXPECT_EQ(16, a.shared->pitch);
    EXPECT_EQ(2, GetMemImgBytesPerPixel(&a));
    EXPECT_EQ(0u, (uintptr_t)a.pixels % 16);
    EXPECT_EQ(0x1234u, a.shared->colorKey);
    EXPECT_EQ(nullptr, a.secondPlane);
    ReleaseMemImg(&a);
    EXPECT_EQ(0, a.magic);
    ASSERT_EQ(0, CreateMemImg(&a, 5, 1, MEMIMG_COLOR_565, 1, 0, 0));
    EXPECT_EQ(4, GetMemImgBytesPerPixel(&a));
    EXPECT_EQ(32, a.shared->pitch);
    EXPECT_EQ(1, a.shared->alphaFlag);
    ReleaseMemImg(&a);
    ASSERT_EQ(0, CreateMemImg(&a, 17, 1, MEMIMG_COLOR_8888, 0, 1, 3));
    EXPECT_EQ(1, GetMemImgBytesPerPixel(&a));
    EXPECT_EQ(32, a.shared->pitch);
    ReleaseMemImg(&a);
    ASSERT_EQ(0, CreateMemImg(&a, 7, 1, MEMIMG_COLOR_CHANNEL16, 0, 0, 0));
    EXPECT_EQ(2, GetMemImgBytesPerPixel(&a));
    ReleaseMemImg(&a);
}

TEST_F(MemImgs, RefusesImpossibleImages) {
    MEMIMG a;
    a.magic = 99;
    EXPECT_EQ(-1, CreateMemImg(&a, 0, 4, MEMIMG_COLOR_565, 0, 0, 0));
    EXPECT_EQ(0, a.magic);
    EXPECT_EQ(-1, CreateMemImg(&a, 4, 40000, MEMIMG_COLOR_565, 0, 0, 0));
    EXPECT_EQ(-1, CreateMemImg(&a, 4, 4, MEMIMG_COLOR_565, 1, 1, 0));
    EXPECT_EQ(-1, CreateMemImg(&a, 4, 4, MEMIMG_COLOR_CHANNEL8, 1, 0, 0));
    EXPECT_EQ(-1, CreateMemImg(&a, 4, 4, 7, 0, 0, 0));
    EXPECT_EQ(-1, CreateMemImg(nullptr, 4, 4, 0, 0, 0, 0));
}

TEST_F(MemImgs, SubViewsShareAndCountReferences) {
    MEMIMG a, v, w;
    ASSERT_EQ(0, CreateMemImg(&a, 10, 8, MEMIMG_COLOR_8888, 0, 0, 0));
    ASSERT_EQ(0, CreateMemImgSubView(&v, &a, 2, 3, 4, 5));
    EXPECT_EQ(a.pixels + 3 * a.shared->pitch + 2 * 4, v.pixels);
    EXPECT_EQ(4, v.width);
    EXPECT_EQ(5, v.height);
    EXPECT_EQ(a.shared, v.shared);
    EXPECT_EQ(2, a.shared->refCount);
    ASSERT_EQ(0, CreateMemImgSubView(&w, &v, 1, 1, 3, 4));  // a view of a view
    EXPECT_EQ(a.pixels + 4 * a.shared->pitch + 3 * 4, w.pixels);
    ReleaseMemImg(&a);  // the store lives on in the views
    EXPECT_EQ(2, v.shared->refCount);
    v.pixels[0] = 1;
    ReleaseMemImg(&v);
    ReleaseMemImg(&w);
    ReleaseMemImg(&w);  // a second release is ignored
}

TEST_F(MemImgs, SubViewOutsideTheSourceIsZeroed) {
    MEMIMG a, v;
    ASSERT_EQ(0, CreateMemImg(&a, 10, 8, MEMIMG_COLOR_565, 0, 0, 0));
    memset(&v, 0x5A, sizeof v);
    EXPECT_EQ(-1, CreateMemImgSubView(&v, &a, 8, 0, 3, 1));
    EXPECT_EQ(0, v.magic);
    EXPECT_EQ(nullptr, v.shared);
    EXPECT_EQ(-1, CreateMemImgSubView(&v, &a, -1, 0, 3, 1));
    EXPECT_EQ(-1, CreateMemImgSubView(&v, &a, 0, 0, 0, 1));
    EXPECT_EQ(-1, CreateMemImgSubView(&v, &a, 0, 2147483647, 1, 2));
    EXPECT_EQ(-1, CreateMemImgSubView(&v, &v, 0, 0, 1, 1));
    EXPECT_EQ(1, a.shared->refCount);
    ReleaseMemImg(&a);
}

TEST_F(MemImgs, PalettesInTheTypesFormatWithTheirCopy) {
    MEMIMG a, b;
    ASSERT_EQ(0, CreateMemImg(&a, 2, 2, MEMIMG_COLOR_565, 0, 1, 0));
    uint32_t rgb[2] = {0xFFFFFF, 0x12345678};
    ASSERT_EQ(0, SetMemImgPalette(&a, rgb, 2));
    const uint16_t *p16 = static_cast<const uint16_t *>(a.shared->palette);
    EXPECT_EQ(0xFFFF, p16[0]);
    EXPECT_EQ(((0x34 & 0xF8) << 8) | ((0x56 & 0xFC) << 3) | (0x78 >> 3), p16[1]);
    EXPECT_EQ(p16[1], p16[257]);
    EXPECT_EQ(2, a.shared->paletteCount);
    ASSERT_EQ(0, CreateMemImg(&b, 2, 2, MEMIMG_COLOR_8888, 0, 0, 0));
    EXPECT_EQ(-1, SetMemImgPalette(&b, rgb, 2));
    ReleaseMemImg(&b);
    ASSERT_EQ(0, CreateMemImg(&b, 2, 2, MEMIMG_COLOR_8888, 0, 1, 0));
    ASSERT_EQ(0, SetMemImgPalette(&b, rgb, 2));
    EXPECT_EQ(0x00345678u, static_cast<const uint32_t *>(b.shared->palette)[1]);
    EXPECT_EQ(-1, SetMemImgPalette(&b, rgb, 0));
    ReleaseMemImg(&a);
    ReleaseMemImg(&b);
}

// Rows of drawn runs as (first, end) columns closed by the end pair; the block index and a slice
// of the middle columns start where they should.
TEST_F(MemImgs, RunTableListsDrawnRunsByColumn) {
    MEMIMG a;
    ASSERT_EQ(0, CreateMemImg(&a, 40, 3, MEMIMG_COLOR_565, 0, 0, 7));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint16_t keyed = y == 0 ? x < 2 || x == 3 || (x >= 33 && x < 36) : y == 1 ? 0 : 1;
            const uint16_t v = keyed ? 7 : 1;
            memcpy(GetMemImgRow(&a, y) + 2 * x, &v, 2);
        }
    MarkMemImgPixelsChanged(&a);
    ASSERT_EQ(0, UpdateMemImgRunTable(a.shared));
    const MemImgRunTable &t = a.shared->runTable;
    const uint32_t E = MEMIMG_RUN_END;
    EXPECT_EQ((std::vector<uint32_t>{2, 3, 4, 33, 36, 40, E, E, 0, 40, E, E, E, E}), std::vector<uint32_t>(t.runs, t.runs + 14));
    // Block 1 (columns 32..63): row 0 from its pair (4, 33), row 1 from (0, 40), row 2 its end pair.
    const uint32_t *block1 = t.blockStart + 4;
    EXPECT_EQ((std::vector<uint32_t>{2, 8, 12}), std::vector<uint32_t>(block1, block1 + 3));
    const MemImgRunSlice *slice = GetMemImgRunSlice(a.shared, 3, 35);
    ASSERT_NE(nullptr, slice);
    EXPECT_EQ((std::vector<uint32_t>{1, 30, E, E, 0, 32, E, E, E, E}), std::vector<uint32_t>(slice->runs, slice->runs + 10));
    EXPECT_EQ((std::vector<uint32_t>{0, 4, 8}), std::vector<uint32_t>(slice->rowStart, slice->rowStart + 3));
    EXPECT_EQ(slice, GetMemImgRunSlice(a.shared, 3, 35));
    // Its copy of the columns, rows 32 pixels apart; the copies stop at the store's 40 columns.
    const uint16_t *copy = reinterpret_cast<const uint16_t *>(slice->pixels);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ((std::vector<uint16_t>{7, 1, 7, 1, 7, 7}), (std::vector<uint16_t>{copy[0], copy[1], copy[31], copy[32], copy[64], copy[95]}));
    EXPECT_NE(nullptr, GetMemImgRunSlice(a.shared, 30, 38)->pixels);
    EXPECT_EQ(nullptr, GetMemImgRunSlice(a.shared, 0, 1)->pixels);
    EXPECT_EQ(0, t.stale);
    ReleaseMemImg(&a);
}

TEST_F(MemImgs, FromPictures) {
    GraphImage img;
    ColorFormatRecord bgr;
    MakeColorFormatFromMasks(&bgr, 24, 0xFF0000, 0xFF00, 0xFF, 0);
    ASSERT_EQ(0, AllocGraphImagePixels(&img, &bgr, 2, 1));
    uint8_t *p = static_cast<uint8_t *>(img.pixels);
    p[0] = 0xFF; p[1] = 0x00; p[2] = 0x00;   // blue
    p[3] = 0x00; p[4] = 0x00; p[5] = 0x00;   // black: the key
    MEMIMG m;
    ASSERT_EQ(0, CreateMemImgFromGraphImage(&m, &img, MEMIMG_COLOR_565, 0x000000));
    const uint16_t *px = reinterpret_cast<const uint16_t *>(m.pixels);
    EXPECT_EQ(0x001F, px[0]);
    EXPECT_EQ(0, px[1]);
    EXPECT_EQ(0u, m.shared->colorKey);
    ReleaseMemImg(&m);
    DiscardGraphImage(&img);
    uint32_t ramp[256];
    for (uint32_t i = 0; i < 256; ++i) ramp[i] = 0xFF000000u | (i * 0x010101u);
    ColorFormatRecord pal;
    MakePaletteColorFormat(&pal, ramp, 256);
    ASSERT_EQ(0, AllocGraphImagePixels(&img, &pal, 3, 1));
    static_cast<uint8_t *>(img.pixels)[2] = 200;
    ASSERT_EQ(0, CreateMemImgFromGraphImage(&m, &img, MEMIMG_COLOR_8888, 0x050505));
    EXPECT_EQ(1, m.shared->paletteFlag);
    EXPECT_EQ(5u, m.shared->colorKey);
    EXPECT_EQ(200, m.pixels[2]);
    EXPECT_EQ(0x00C8C8C8u, static_cast<const uint32_t *>(m.shared->palette)[200]);
    ReleaseMemImg(&m);
    DiscardGraphImage(&img);
}

TEST(DrawSettingsRecord, DefaultsAndSetters) {
    SetDrawTargetSize(320, 200);
    ResetDrawSettings();
    const DrawSettings &s = GDrawSettings;
    EXPECT_EQ(0, s.blendMode);
    EXPECT_EQ(255, s.blendParam);
    EXPECT_EQ(-1, s.blendGraph);
    EXPECT_EQ(0xFFFFFFu, s.bright);
    EXPECT_EQ(0u, s.transColor);
    EXPECT_EQ(4, s.zFunction);
    EXPECT_EQ(3, s.textureAddressMode);
    EXPECT_FLOAT_EQ(0.2f, s.drawZ);
    EXPECT_EQ(320, s.drawRegion.right);
    EXPECT_EQ(200, s.drawRegion.bottom);
    EXPECT_FLOAT_EQ(1.0f, s.worldMatrix[3][15]);
    EXPECT_FLOAT_EQ(0.0f, s.viewMatrix[1]);
    SelectBlendMode(-3, 999);
    EXPECT_EQ(-3, s.blendMode);  // stored unchecked; drawers draw nothing for it
    EXPECT_EQ(255, s.blendParam);
    SelectBlendMode(2, -7);
    EXPECT_EQ(0, s.blendParam);
    GDrawSettings.noDrawGuard = 1;
    SelectBlendMode(1, 128);
    EXPECT_EQ(2, s.blendMode);
    GDrawSettings.noDrawGuard = 0;
    SetDrawBright(300, 128, -1);
    EXPECT_EQ(0xFF8000u, s.bright);
    SetDrawBrightColor(0xAB123456u);
    EXPECT_EQ(0x123456u, s.bright);
    SetDrawRegion(-10, 50, 1000, 20);
    EXPECT_EQ(0, s.drawRegion.left);
    EXPECT_EQ(320, s.drawRegion.right);
    EXPECT_EQ(50, s.drawRegion.top);
    EXPECT_EQ(50, s.drawRegion.bottom);  // raised to the top: empty
    EXPECT_FLOAT_EQ(320.0f, s.drawRegionF[2]);
    StoreBlendGraph(5, 128, 255);
    EXPECT_EQ(5, s.blendGraph);
    EXPECT_EQ(10, BlendImageLookup[10]);
    float m[16] = {2};
    EXPECT_EQ(0, SetWorldMatrix(m, 1));
    EXPECT_FLOAT_EQ(2.0f, s.worldMatrix[1][0]);
    EXPECT_EQ(-1, SetViewMatrix(nullptr));
    SetDrawTargetSize(640, 480);
    ResetDrawSettings();
    EXPECT_EQ(-4, GetDrawTargetHandle());
}

}  // namespace
