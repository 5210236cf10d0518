// The edge cases of the shared pixel operations: packed forms, tints, keys, weights and the
// modes that draw nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"
#include "lib/softrender/blit.h"
#include "lib/softrender/pixel_ops.h"

namespace {

uint32_t Rgb565(int r, int g, int b) { return (uint32_t)((r << 11) | (g << 5) | b); }

class PixelOps : public ::testing::Test {
protected:
    void SetUp() override {
        BuildMemImgBlendTables();
        BuildBlendImageLookup(0, 255);
        ResetDrawSettings();
    }
    void TearDown() override { ResetDrawSettings(); }

    // Draws one texel of a 1 x 1 source onto a 1 x 1 destination holding d; returns the result.
    uint32_t Draw1(int type, int kind, uint32_t texel, uint32_t d, int trans, uint32_t key = 0,
                   const uint32_t *paletteRgb = nullptr, int blendByte = -1) {
        MEMIMG src, dst, blend;
        EXPECT_EQ(0, CreateMemImg(&src, 1, 1, type, kind == TEXEL_DIRECT_ALPHA, kind == TEXEL_PALETTE, key));
        EXPECT_EQ(0, CreateMemImg(&dst, 1, 1, type, 0, 0, 0));
        if (paletteRgb) SetMemImgPalette(&src, paletteRgb, 256);
        memcpy(src.pixels, &texel, GetMemImgBytesPerPixel(&src));
        memcpy(dst.pixels, &d, GetMemImgBytesPerPixel(&dst));
        MEMIMG *b = nullptr;
        if (blendByte >= 0) {
            EXPECT_EQ(0, CreateMemImg(&blend, 1, 1, MEMIMG_COLOR_8888, 0, 0, 0));
            blend.pixels[0] = (uint8_t)blendByte;
            b = &blend;
        }
        BlitMemImg(&dst, &src, 0, 0, trans, b);
        uint32_t out = 0;
        memcpy(&out, dst.pixels, GetMemImgBytesPerPixel(&dst));
        ReleaseMemImg(&src);
        ReleaseMemImg(&dst);
        if (b) ReleaseMemImg(&blend);
        return out;
    }
    PixelOpSnapshot Snap() {
        PixelOpSnapshot s;
        TakePixelOpSnapshot(&s, nullptr);
        return s;
    }
};

TEST_F(PixelOps, ModesThatDrawNothingLeaveTheDestination) {
    for (int mode : {5, 7, 9, 12, -1, -100000}) {
        SelectBlendMode(mode, 255);
        EXPECT_EQ(0x12345678u, Draw1(1, TEXEL_DIRECT, 0xFFFFFF, 0x12345678, 0)) << mode;
    }
    for (int mode : {1, 2, 3}) {
        SelectBlendMode(mode, 0);
        EXPECT_EQ(0x12345678u, Draw1(1, TEXEL_DIRECT, 0x00FFFFFF, 0x12345678, 0)) << mode;
        EXPECT_EQ(0x1234u, Draw1(0, TEXEL_DIRECT, 0x0000, 0x1234, 0)) << mode;
    }
    for (int mode : {10, 11}) {  // the formula runs but weight 0 keeps every field
        SelectBlendMode(mode, 0);
        EXPECT_EQ(0x00345678u, Draw1(1, TEXEL_DIRECT, 0x00ABCDEF, 0x00345678, 0)) << mode;
        EXPECT_EQ(Rgb565(3, 40, 7), Draw1(0, TEXEL_DIRECT, Rgb565(31, 0, 31), Rgb565(3, 40, 7), 0)) << mode;
    }
}

TEST_F(PixelOps, AlphaAtFullParameterIsTheCopyAlsoWithABlendImage) {
    BlendImageLookup[9] = 100;
    for (int type = 0; type < 2; ++type) {
        uint32_t s = type ? 0x00C08040u : Rgb565(20, 40, 10), d = type ? 0x00102030u : Rgb565(2, 4, 6);
        SelectBlendMode(0, 255);
        uint32_t copy = Draw1(type, TEXEL_DIRECT, s, d, 0, 0, nullptr, 9);
        SelectBlendMode(1, 255);
        EXPECT_EQ(copy, Draw1(type, TEXEL_DIRECT, s, d, 0, 0, nullptr, 9));
        SelectBlendMode(1, 255);
        EXPECT_EQ(s, Draw1(type, TEXEL_DIRECT, s, d, 0));
    }
}

TEST_F(PixelOps, AlphaBlendDiffersBetweenTheColourTypes) {
    SelectBlendMode(1, 128);
    PixelOpSnapshot sn = Snap();
    EXPECT_EQ(127u, (BlendTexel<1, 1, false, 0>(0, 255, 0, sn) & 0xFF));
    EXPECT_EQ(15u, (BlendTexel<0, 1, false, 0>(0, Rgb565(31, 0, 0), 0, sn) >> 11));
}

TEST_F(PixelOps, PackedAdd8888CarriesAndLowBits) {
    SelectBlendMode(2, 255);
    EXPECT_EQ(0x01FF0000u, Draw1(1, TEXEL_DIRECT, 0x00020000, 0x00FF0000, 0));
    EXPECT_EQ(0x00FF0000u, Draw1(1, TEXEL_DIRECT, 0x00010000, 0x00FF0000, 0));
    EXPECT_EQ(0x00000100u, Draw1(1, TEXEL_DIRECT, 0x00000100, 0x00000100, 0));
}

TEST_F(PixelOps, PackedAdd565SaturatesGreenIntoRedsLowBit) {
    EXPECT_EQ(Rgb565(1, 62, 0), PackedAdd565(Rgb565(0, 62, 0), Rgb565(0, 2, 0)));
    EXPECT_EQ(Rgb565(31, 1, 31), PackedAdd565(Rgb565(30, 0, 30), Rgb565(4, 0, 4)));  // blue's carry lands in green
}

TEST_F(PixelOps, SubtractPackedAndSaturatingForms) {
    SelectBlendMode(3, 255);
    EXPECT_EQ(0x00111110u, Draw1(1, TEXEL_DIRECT, 0x00000000, 0xAA101010, 0));  // top byte cleared
    EXPECT_EQ(0x00101010u, SubtractSaturate8888(0x00101010, 0));
    EXPECT_EQ(0x01000000u, SubtractSaturate8888(0x03101010, 0x02FF2010) & 0xFF000000u);
    EXPECT_EQ(0u, SubtractSaturate8888(0x10101010, 0x20202020));
    // 16-bit: green's lowest bit always comes out 0, red's is set when green did not borrow.
    EXPECT_EQ(Rgb565(17, 32, 16), PackedSubtract565(Rgb565(16, 33, 16), 0));
    EXPECT_EQ(0u, PackedSubtract565(Rgb565(3, 3, 3), Rgb565(31, 63, 31)));
}

TEST_F(PixelOps, MultiplyWithBlendFactorHalvesTheProduct) {
    SelectBlendMode(4, 255);
    BlendImageLookup[7] = 128;
    EXPECT_EQ(99u, Draw1(1, TEXEL_DIRECT, 0x000000FF, 0x000000C8, 0, 0, nullptr, 7) & 0xFF);
    EXPECT_EQ(199u, Draw1(1, TEXEL_DIRECT, 0x000000FF, 0x000000C8, 0) & 0xFF);
}

TEST_F(PixelOps, OpaqueAlphaTexelIsExactOnlyWithTheTransparentFlag) {
    SelectBlendMode(0, 255);
    EXPECT_EQ(0x00FE0000u, Draw1(1, TEXEL_DIRECT_ALPHA, 0xFFFF0000, 0x00000000, 0));
    EXPECT_EQ(0xFFFF0000u, Draw1(1, TEXEL_DIRECT_ALPHA, 0xFFFF0000, 0x00000000, 1));
    EXPECT_EQ(Rgb565(30, 0, 0), Draw1(0, TEXEL_DIRECT_ALPHA, 0x00FF0000 | Rgb565(31, 0, 0), 0, 0));
    EXPECT_EQ(Rgb565(31, 0, 0), Draw1(0, TEXEL_DIRECT_ALPHA, 0x00FF0000 | Rgb565(31, 0, 0), 0, 1));
}

TEST_F(PixelOps, ClearAlphaTexel) {
    for (int mode : {0, 1, 2, 3, 4, 10, 11}) {
        SelectBlendMode(mode, 200);
        EXPECT_EQ(0x00808080u, Draw1(1, TEXEL_DIRECT_ALPHA, 0x00FFFFFF, 0x00808080, 1)) << mode;
    }
    SelectBlendMode(0, 255);
    EXPECT_EQ(0x00808080u, Draw1(1, TEXEL_DIRECT_ALPHA, 0x00FFFFFF, 0x00808080, 0));
    SelectBlendMode(4, 255);
    EXPECT_EQ(0u, Draw1(1, TEXEL_DIRECT_ALPHA, 0x00FFFFFF, 0x00808080, 0));
    EXPECT_EQ(0u, Draw1(0, TEXEL_DIRECT_ALPHA, 0x0000FFFF, 0xFFFF, 0));
}

TEST_F(PixelOps, FlatTintShiftAndTableForms) {
    EXPECT_EQ(0x007F7F7Fu, TintFlatColorShift<1>(0x00FFFFFF, 0x808080));
    EXPECT_EQ(0x00808080u, TintFlatColorTable<1>(0x00FFFFFF, 0x808080));
    EXPECT_EQ(0x00FEFEFDu, TintFlatColorShift<1>(0x00FFFFFF, 0xFFFFFE));
    EXPECT_EQ(0x00FFFFFEu, TintFlatColorTable<1>(0x00FFFFFF, 0xFFFFFE));
    EXPECT_EQ(0xAAFFFFFFu, TintFlatColorTable<1>(0xAAFFFFFF, 0xFFFFFF));  // top byte kept
    EXPECT_EQ(Rgb565(15, 31, 15), TintFlatColorShift<0>(0xFFFF, 0x808080));
    SelectBlendMode(0, 255);
    PixelOpSnapshot sn = Snap();
    EXPECT_EQ(0xAB123456u, (BlendFlatColor<1, 0>(0x00FFFFFF, 0xAB123456, sn)));
}

TEST_F(PixelOps, TintOnTexelsUsesTheScaleTable) {
    SelectBlendMode(0, 255);
    SetDrawBright(128, 255, 0);
    EXPECT_EQ(0x7780FF00u, Draw1(1, TEXEL_DIRECT, 0x00FFFFFF, 0x77000000, 0));  // X byte kept
    SelectBlendMode(2, 255);  // the tinted value is what the add scales
    EXPECT_EQ(0x0080FF00u, Draw1(1, TEXEL_DIRECT, 0x00FFFFFF, 0, 0));
    SelectBlendMode(10, 255);  // inverted (FF, 80, 40), tinted (80, 80, 0), then floor(v * 255 / 256)
    EXPECT_EQ(0x007F7F00u, Draw1(1, TEXEL_DIRECT, 0x00007FBF, 0, 0) & 0xFFFFFF);
}

TEST_F(PixelOps, KeyTests) {
    uint32_t pal[256];
    for (int i = 0; i < 256; ++i) pal[i] = 0x00ABCDEF;
    SelectBlendMode(0, 255);
    EXPECT_EQ(0x5u, Draw1(1, TEXEL_PALETTE, 7, 0x5, 1, 7, pal));
    EXPECT_EQ(0x00ABCDEFu, Draw1(1, TEXEL_PALETTE, 8, 0x5, 1, 7, pal));
    EXPECT_EQ(0x01000000u, Draw1(1, TEXEL_DIRECT, 0x01000000, 0x5, 1, 0));
    EXPECT_EQ(0x5u, Draw1(1, TEXEL_DIRECT, 0x00000000, 0x5, 1, 0));
    EXPECT_EQ(0x1234u, Draw1(0, TEXEL_DIRECT, 0x1234, 0x5, 1, 0x11234));  // a key above 0xFFFF never matches
    EXPECT_EQ(0x5u, Draw1(0, TEXEL_DIRECT, 0x1234, 0x5, 1, 0x1234));
    EXPECT_EQ(0x00ABCDEFu, Draw1(1, TEXEL_PALETTE, 0, 0, 1, 0x100, pal));  // a key above 255 matches no index
}

TEST_F(PixelOps, HalfBlendAndSixBitTableOfTheBlit) {
    SelectBlendMode(1, 128);
    EXPECT_EQ(0x007F7F7Fu, Draw1(1, TEXEL_DIRECT, 0xFFFFFFFF, 0xFF000000, 0));  // X byte becomes 0
    EXPECT_EQ(Rgb565(15, 31, 15), Draw1(0, TEXEL_DIRECT, 0xFFFF, 0, 0));
    SelectBlendMode(1, 100);  // 6-bit plane 25: trunc(25 * 31 / 63) = 12, trunc(25 * 63 / 63) = 25
    EXPECT_EQ(Rgb565(12, 25, 12), Draw1(0, TEXEL_DIRECT, 0xFFFF, 0, 0));
    SetDrawBright(255, 255, 254);  // with a tint the shared arithmetic runs: 0 + D[100][31] = 12
    EXPECT_EQ(12u, Draw1(0, TEXEL_DIRECT, 0xFFFF, 0, 0) >> 11);
}

TEST_F(PixelOps, ResolveBlendBody) {
    EXPECT_EQ(0, ResolveBlendBody(1, 255));
    EXPECT_EQ(-1, ResolveBlendBody(1, 0));
    EXPECT_EQ(-1, ResolveBlendBody(3, 0));
    EXPECT_EQ(3, ResolveBlendBody(3, 1));
    EXPECT_EQ(-1, ResolveBlendBody(-2147483647 - 1, 255));
    EXPECT_EQ(11, ResolveBlendBody(11, 0));
    EXPECT_EQ(1, IsDrawingBlendMode(4));
    EXPECT_EQ(0, IsDrawingBlendMode(-1));
}

TEST_F(PixelOps, ThreeWeightMixNeedsMoreThanSigned32Bits) {
    // d = 255, s = 0, W = 255^3: the intermediate 255 * 2^24 exceeds 2^31.
    SelectBlendMode(1, 255 - 1);
    BlendImageLookup[1] = 255;
    uint32_t out = Draw1(1, TEXEL_DIRECT_ALPHA, 0xFE000000, 0x00FFFFFF, 0, 0, nullptr, 1);
    uint64_t w = 255ull * 254 * 254;
    uint32_t want = (uint32_t)((255ull * (1ull << 24) - 255ull * w) >> 24);
    EXPECT_EQ(want, out & 0xFF);
}

}  // namespace
