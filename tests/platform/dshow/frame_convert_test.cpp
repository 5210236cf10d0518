// The frame converter's fast rows (SSE2, and AVX2 where the processor has them) against its reference
// rows, byte for byte over whole target buffers (padding included), on random planes: every chroma
// layout, odd widths and picture offsets, both strides' signs, 16- and 32-bit targets and formats that
// only the reference row writes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/dshow/frame_convert.h"

namespace {

struct Format { uint32_t bits, r, g, b; };
const Format kFormats[] = {
    {16, 0xF800, 0x07E0, 0x001F}, {32, 0xFF0000, 0x00FF00, 0x0000FF},   // the fast rows
    {16, 0x7C00, 0x03E0, 0x001F}, {32, 0x0000FF, 0x00FF00, 0xFF0000}, {24, 0xFF0000, 0x00FF00, 0x0000FF},
};

// Random coded planes for a picture at (x, y) of w x h, each plane bottom-up when flipped.
struct Planes {
    std::vector<uint8_t> bytes[3];
    MmPlane plane[3];
    Planes(std::mt19937 &random, int chroma, int frameW, int frameH, bool flipped)
    {
        for (int k = 0; k < 3; k++) {
            int w = k && chroma != MM_CHROMA_444 ? frameW / 2 : frameW;
            int h = k && chroma == MM_CHROMA_420 ? frameH / 2 : frameH;
            int stride = w + 5;
            bytes[k].resize((size_t)stride * h);
            for (uint8_t &v : bytes[k]) v = (uint8_t)random();
            uint8_t *top = bytes[k].data() + (flipped ? (size_t)stride * (h - 1) : 0);
            plane[k] = {w, h, flipped ? -stride : stride, top};
        }
    }
};

// The fast row sets this processor has.
std::vector<MmConvertRows> FastRowSets(void)
{
    std::vector<MmConvertRows> sets;
    MmPictureInfo none = {};   // a picture of no pixels: only the row set is looked at
    MmSurfaceLock lock = {nullptr, 0, 0, 0, 32, 0xFF0000, 0x00FF00, 0x0000FF};
    for (MmConvertRows rows : {MM_ROWS_SSE2, MM_ROWS_AVX2})
        if (MmConvertPictureWith(&none, nullptr, &lock, rows) == 0) sets.push_back(rows);
    return sets;
}

// The target buffer after a conversion through a row set into a pitch wider than the row.
std::vector<uint8_t> Convert(MmConvertRows rows, const MmPictureInfo &picture, const MmPlane planes[3], const Format &f)
{
    int pitch = picture.picWidth * (int)f.bits / 8 + 7;
    std::vector<uint8_t> out((size_t)pitch * picture.picHeight, 0xA5);
    MmSurfaceLock lock = {out.data(), pitch, picture.picWidth, picture.picHeight, f.bits, f.r, f.g, f.b};
    EXPECT_EQ(MmConvertPictureWith(&picture, planes, &lock, rows), 0);
    return out;
}

TEST(FrameConvert, FastRowsEqualTheReferenceRowsOnRandomPlanes)
{
    std::mt19937 random(36);
    std::vector<MmConvertRows> sets = FastRowSets();
    ASSERT_FALSE(sets.empty());
    const int chromas[] = {MM_CHROMA_420, MM_CHROMA_422, MM_CHROMA_444};
    const int widths[] = {1, 2, 15, 16, 17, 31, 32, 33, 49, 80};
    int cases = 0;
    for (int chroma : chromas)
        for (int width : widths)
            for (int picX : {0, 1, 2, 3})
                for (int picY : {0, 1})
                    for (bool flipped : {false, true}) {
                        int frameW = (picX + width + 15) & ~15, frameH = 16;
                        Planes planes(random, chroma, frameW, frameH, flipped);
                        MmPictureInfo picture = {1, frameW, frameH, picX, picY, width, 3 + picY * 8, chroma, 10, 1};
                        for (const Format &f : kFormats) {
                            std::vector<uint8_t> reference = Convert(MM_ROWS_REFERENCE, picture, planes.plane, f);
                            for (MmConvertRows rows : sets)
                                ASSERT_EQ(Convert(rows, picture, planes.plane, f), reference)
                                    << "rows " << rows << " chroma " << chroma << " width " << width << " at "
                                    << picX << "," << picY << " bits " << f.bits << " masks " << f.r;
                            cases++;
                        }
                    }
    EXPECT_EQ(cases, 3 * 10 * 4 * 2 * 2 * 5);
}

// Every (Y, Cb, Cr) through a 4:4:4 picture: each fast row set's sums, shifts and clips at every value.
TEST(FrameConvert, FastRowsEqualTheSampleArithmeticForEverySampleTriple)
{
    const int width = 256;
    std::vector<uint8_t> y(width), cb(width), cr(width);
    for (int i = 0; i < width; i++) y[i] = (uint8_t)i;
    MmPictureInfo picture = {1, width, 1, 0, 0, width, 1, MM_CHROMA_444, 10, 1};
    const Format &x888 = kFormats[1];
    std::vector<uint32_t> out(width);
    MmSurfaceLock lock = {(uint8_t *)out.data(), width * 4, width, 1, x888.bits, x888.r, x888.g, x888.b};
    for (MmConvertRows rows : FastRowSets()) {
        int wrong = 0;
        for (int c = 0; c < 65536; c++) {
            for (int i = 0; i < width; i++) {
                cb[i] = (uint8_t)(c >> 8);
                cr[i] = (uint8_t)c;
            }
            MmPlane planes[3] = {{width, 1, width, y.data()}, {width, 1, width, cb.data()}, {width, 1, width, cr.data()}};
            ASSERT_EQ(MmConvertPictureWith(&picture, planes, &lock, rows), 0);
            for (int i = 0; i < width; i++) {
                int r, g, b;
                MmYCbCrToRgb(i, c >> 8, c & 255, &r, &g, &b);
                wrong += out[i] != ((uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b);
            }
        }
        EXPECT_EQ(wrong, 0) << "rows " << rows;
    }
}

}  // namespace
