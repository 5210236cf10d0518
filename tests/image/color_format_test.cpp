// Pixel formats from masks and the conversion of pixels between formats.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "lib/image/color_format.h"

namespace {

ColorFormatRecord Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormatRecord f;
    EXPECT_EQ(0, MakeColorFormatFromMasks(&f, depth, r, g, b, a));
    return f;
}

TEST(ColorFormat, DescribesMasks) {
    PixelFormatDesc d = {PIXEL_FORMAT_RGB, 16, 0xF800, 0x07E0, 0x001F, 0};
    ColorFormatRecord f;
    ASSERT_EQ(0, ConvertPixelFormatToColorFormat(&d, &f));
    EXPECT_EQ(16, f.colorBitDepth);
    EXPECT_EQ(2, f.pixelByte);
    EXPECT_EQ(5, f.redWidth);
    EXPECT_EQ(6, f.greenWidth);
    EXPECT_EQ(11, f.redLoc);
    EXPECT_EQ(5, f.greenLoc);
    EXPECT_EQ(0u, f.noneMask);
    d = {PIXEL_FORMAT_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u};  // alpha mask ignored without the flag
    ASSERT_EQ(0, ConvertPixelFormatToColorFormat(&d, &f));
    EXPECT_EQ(0u, f.alphaMask);
    EXPECT_EQ(0xFF000000u, f.noneMask);
    d.flags |= PIXEL_FORMAT_ALPHA_PIXELS;
    ASSERT_EQ(0, ConvertPixelFormatToColorFormat(&d, &f));
    EXPECT_EQ(8, f.alphaWidth);
    EXPECT_EQ(24, f.alphaLoc);
    d = {PIXEL_FORMAT_RGB, 16, 0xF0F0, 0x0F00, 0x000F, 0};
    EXPECT_EQ(-1, ConvertPixelFormatToColorFormat(&d, &f));
    d = {PIXEL_FORMAT_PALETTE_INDEXED8, 8, 0, 0, 0, 0};
    ASSERT_EQ(0, ConvertPixelFormatToColorFormat(&d, &f));
    EXPECT_EQ(1, f.pixelByte);
}

TEST(ColorFormat, Compares) {
    ColorFormatRecord a = Masks(16, 0xF800, 0x07E0, 0x1F, 0), b = Masks(16, 0x7C00, 0x03E0, 0x1F, 0);
    EXPECT_EQ(1, CompareColorFormats(&a, &a));
    EXPECT_EQ(0, CompareColorFormats(&a, &b));
}

TEST(ColorFormat, MatchesColoursToPixels) {
    ColorFormatRecord f = Masks(16, 0xF800, 0x07E0, 0x1F, 0);
    EXPECT_EQ(0xFFFFu, MatchColorToPixel(&f, 255, 255, 255, 0));
    EXPECT_EQ(0xF800u, MatchColorToPixel(&f, 0xF8, 3, 7, 0));
    EXPECT_EQ(0xF800u, MatchColorToPixel(&f, 999, -5, 0, 0));  // clamped
    ColorFormatRecord argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    EXPECT_EQ(0x80112233u, MatchColorToPixel(&argb, 0x11, 0x22, 0x33, 0x80));
    uint32_t pal[3] = {0xFF000000, 0xFFFF0000, 0xFF00FF00};
    ColorFormatRecord p;
    MakePaletteColorFormat(&p, pal, 3);
    EXPECT_EQ(1u, MatchColorToPixel(&p, 200, 30, 10, 255));
    EXPECT_EQ(2u, MatchColorToPixel(&p, 0, 140, 0, 255));
    int r, g, b, a;
    UnpackPixelColor(&f, 0xFFFF, &r, &g, &b, &a);
    EXPECT_EQ(255, r);
    EXPECT_EQ(255, g);
    EXPECT_EQ(255, a);
    UnpackPixelColor(&f, 0x8410, &r, &g, &b, &a);  // 16, 32, 16: widened by repeating the top bits
    EXPECT_EQ(0x84, r);
    EXPECT_EQ(0x82, g);
}

TEST(ColorFormat, ConvertsBgrToSixteenBitsMirroredAndOffset) {
    ColorFormatRecord bgr = Masks(24, 0xFF0000, 0xFF00, 0xFF, 0), rgb565 = Masks(16, 0xF800, 0x07E0, 0x1F, 0);
    uint8_t src[2 * 3] = {0xFF, 0, 0, 0, 0, 0xFF};  // blue, red
    uint16_t dst[2 * 3] = {};
    Rect r = {0, 0, 2, 1};
    ASSERT_EQ(0, BlitWithColorConversion(dst, 6, &rgb565, src, 6, &bgr, nullptr, 0, nullptr, 1, 1, &r, 0, 0, 0));
    EXPECT_EQ(0x001Fu, dst[3 + 1]);
    EXPECT_EQ(0xF800u, dst[3 + 2]);
    EXPECT_EQ(0u, dst[0]);
    ASSERT_EQ(0, BlitWithColorConversion(dst, 6, &rgb565, src, 6, &bgr, nullptr, 0, nullptr, 0, 0, &r, 1, 0, 0));
    EXPECT_EQ(0xF800u, dst[0]);
    EXPECT_EQ(0x001Fu, dst[1]);
}

TEST(ColorFormat, AlphaImageAndKeyGiveTheAlpha) {
    ColorFormatRecord bgr = Masks(24, 0xFF0000, 0xFF00, 0xFF, 0), argb = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    uint8_t src[3 * 3] = {1, 2, 3, 0, 0, 0, 9, 9, 9};
    uint8_t alpha[3 * 3] = {77, 0, 0, 88, 0, 0, 99, 0, 0};
    uint32_t dst[3] = {};
    Rect r = {0, 0, 3, 1};
    ASSERT_EQ(0, BlitWithColorConversion(dst, 12, &argb, src, 9, &bgr, alpha, 9, &bgr, 0, 0, &r, 0, 0, 0));
    EXPECT_EQ(0x4D030201u, dst[0]);
    EXPECT_EQ(0x58000000u, dst[1]);
    ASSERT_EQ(0, BlitWithColorConversion(dst, 12, &argb, src, 9, &bgr, nullptr, 0, nullptr, 0, 0, &r, 0, 1, 0x000000));
    EXPECT_EQ(0xFF030201u, dst[0]);
    EXPECT_EQ(0x00000000u, dst[1]);  // the key colour gets alpha 0
    EXPECT_EQ(0xFF090909u, dst[2]);
}

TEST(ColorFormat, ConversionRefusesBadArguments) {
    ColorFormatRecord bgr = Masks(24, 0xFF0000, 0xFF00, 0xFF, 0), pal;
    MakePaletteColorFormat(&pal, nullptr, 0);
    uint8_t buf[16] = {};
    Rect empty = {2, 0, 2, 1}, r = {0, 0, 1, 1};
    EXPECT_EQ(-1, BlitWithColorConversion(buf, 4, &bgr, buf, 4, &bgr, nullptr, 0, nullptr, 0, 0, &empty, 0, 0, 0));
    EXPECT_EQ(-1, BlitWithColorConversion(buf, 4, &pal, buf, 4, &bgr, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0));
    EXPECT_EQ(-1, BlitWithColorConversion(nullptr, 4, &bgr, buf, 4, &bgr, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0));
}

TEST(ColorFormat, PalettePicturesConvertThroughTheirPalette) {
    uint32_t pal[2] = {0xFF102030, 0xFFA0B0C0};
    ColorFormatRecord p, bgra = Masks(32, 0xFF0000, 0xFF00, 0xFF, 0);
    MakePaletteColorFormat(&p, pal, 2);
    uint8_t src[2] = {1, 0};
    uint32_t dst[2] = {};
    Rect r = {0, 0, 2, 1};
    ASSERT_EQ(0, BlitWithColorConversion(dst, 8, &bgra, src, 2, &p, nullptr, 0, nullptr, 0, 0, &r, 0, 0, 0));
    EXPECT_EQ(0x00A0B0C0u, dst[0]);
    EXPECT_EQ(0x00102030u, dst[1]);
}

}  // namespace
