// The inline copies of BlitMemImg: drawn runs of every length at every destination alignment, on
// the run-table walk and on the texel-by-texel keyed row, in 16-byte pieces and in the processor's
// widest, against the plain rule "a texel that is not the key replaces the pixel" (every texel
// without the key), with a border around the drawing that nothing may touch.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "lib/softrender/blit.h"
#include "lib/softrender/blit_vector.h"
#include "tests/softrender/fill_canvas.h"

namespace {

constexpr uint32_t kKey = 0x0841;  // a colour the random texels avoid
constexpr int kDstW = 420, kDstH = 60;

class BlitRuns : public ::testing::Test {
protected:
    void SetUp() override {
        ResetDrawState(0, 0, kDstW, kDstH);
        SetMemImgRunTableUse(1);
    }
    void TearDown() override {
        SetMemImgRunTableUse(1);
        SetBlitVectorUse(BLIT_VECTOR_WIDEST);
        ResetDrawSettings();
    }
    std::mt19937 rng{2024};

    uint32_t Texel(int type) {
        uint32_t v = type == 0 ? rng() & 0xFFFF : rng();
        return v == kKey ? v ^ 1 : v;
    }
    // Rows of alternating key gaps (0..3) and drawn runs; run lengths come from lengths in turn.
    void MakeSource(MEMIMG *src, int type, int w, int h, const std::vector<int> &lengths) {
        ASSERT_EQ(0, CreateMemImg(src, w, h, type, 0, 0, kKey));
        size_t next = 0;
        for (int y = 0; y < h; ++y) {
            int x = 0;
            while (x < w) {
                for (int g = (int)(rng() % 4); g > 0 && x < w; --g) SetPx(src, x++, y, kKey);
                for (int n = lengths[next++ % lengths.size()]; n > 0 && x < w; --n) SetPx(src, x++, y, Texel(type));
            }
        }
        MarkMemImgPixelsChanged(src);
    }
    // Draws src at (x, y) onto a random screen and checks every pixel of it against the rule,
    // inside the draw region only.
    void Check(int type, const MEMIMG &src, int x, int y, const Rect &region, const char *what, int trans = 1) {
        MEMIMG dst, before;
        ASSERT_EQ(0, CreateMemImg(&dst, kDstW, kDstH, type, 0, 0, 0));
        ASSERT_EQ(0, CreateMemImg(&before, kDstW, kDstH, type, 0, 0, 0));
        FillRandom(&dst, rng);
        memcpy(before.shared->pixels, dst.shared->pixels, (size_t)dst.shared->pitch * kDstH);
        GDrawSettings.drawRegion = region;
        BlitMemImg(&dst, &src, x, y, trans, nullptr);
        int wrong = 0;
        for (int j = 0; j < kDstH && wrong < 5; ++j)
            for (int i = 0; i < kDstW && wrong < 5; ++i) {
                uint32_t want = GetPx(&before, i, j);
                bool inside = i >= x && i < x + src.width && j >= y && j < y + src.height && i >= region.left &&
                              i < region.right && j >= region.top && j < region.bottom;
                if (inside && (!trans || GetPx(&src, i - x, j - y) != kKey)) want = GetPx(&src, i - x, j - y);
                if (GetPx(&dst, i, j) != want) {
                    ADD_FAILURE() << what << " type " << type << " at x " << x << ": pixel (" << i << ", " << j
                                  << ") is " << GetPx(&dst, i, j) << ", want " << want;
                    ++wrong;
                }
            }
        ReleaseMemImg(&dst);
        ReleaseMemImg(&before);
    }
};

// Every run length 1..40 and some long ones (which align their stores first), starting at every
// byte offset within 16 of the destination, in both sizes of pieces: the whole draw and the one cut
// at the top walk the runs whole, the one cut on both sides cuts them, and the texel walk and the
// unkeyed copy take the rows.
TEST_F(BlitRuns, EveryRunLengthAtEveryAlignmentMatchesTheRule) {
    std::vector<int> lengths;
    for (int n = 1; n <= 40; ++n) lengths.push_back(n);
    for (int n : {63, 64, 65, 71, 72, 100, 129, 200}) lengths.push_back(n);
    const Rect whole = {0, 0, kDstW, kDstH}, top = {4, 5, kDstW, kDstH}, sides = {7, 0, 280, kDstH};
    for (int wide = 0; wide < 2; ++wide)
        for (int type = 0; type < 2; ++type) {
            SetBlitVectorUse(wide ? BLIT_VECTOR_WIDEST : BLIT_VECTOR_OFF);
            MEMIMG src;
            MakeSource(&src, type, 300, 40, lengths);
            for (int x = 1; x <= 9; ++x) {
                Check(type, src, x, 3, whole, "runs");
                Check(type, src, x, 3, top, "clipped");
                Check(type, src, x, 3, sides, "cut");
                Check(type, src, x, 3, sides, "unkeyed", 0);
                SetMemImgRunTableUse(0);
                Check(type, src, x, 3, whole, "texel by texel");
                SetMemImgRunTableUse(1);
            }
            ReleaseMemImg(&src);
        }
}

// Unkeyed copies of rows long enough to be aligned, at every alignment of the destination against
// the source (where they lie 16 bytes apart modulo 32 they move in 16-byte pieces), in both sizes.
TEST_F(BlitRuns, PlainCopyAtEveryAlignment) {
    for (int level : {BLIT_VECTOR_NARROW, BLIT_VECTOR_WIDEST})
        for (int type = 0; type < 2; ++type) {
            SetBlitVectorUse(level);
            MEMIMG src;  // pitch 16 bytes past a multiple of 32, as the screen's
            MakeSource(&src, type, type ? 73 : 72, 5, {9});
            for (int x = 1; x <= 16; ++x) Check(type, src, x, 3, {0, 0, kDstW, kDstH}, "copy", 0);
            ReleaseMemImg(&src);
        }
}

// Rows with no key and rows of keys only, narrow images, and a source narrower than one group.
TEST_F(BlitRuns, FullAndEmptyRowsAndNarrowImages) {
    const Rect whole = {0, 0, kDstW, kDstH}, clip = {0, 0, kDstW, 20};
    for (int type = 0; type < 2; ++type)
        for (int w : {1, 2, 3, 7, 8, 9, 16, 33}) {
            MEMIMG src;
            ASSERT_EQ(0, CreateMemImg(&src, w, 24, type, 0, 0, kKey));
            for (int y = 0; y < 24; ++y)
                for (int x = 0; x < w; ++x) {
                    bool keyed = y % 3 == 0 || (y % 3 == 2 && (rng() & 1));
                    SetPx(&src, x, y, keyed ? kKey : Texel(type));
                }
            MarkMemImgPixelsChanged(&src);
            Check(type, src, 5, 2, whole, "runs");
            Check(type, src, 5, 2, clip, "clipped");
            ReleaseMemImg(&src);
        }
}

// A 16-bit key above 0xFFFF matches no texel: the keyed row draws everything.
TEST_F(BlitRuns, WideKeyOnSixteenBitsDrawsEveryTexel) {
    MEMIMG src, dst;
    ASSERT_EQ(0, CreateMemImg(&src, 20, 2, MEMIMG_COLOR_565, 0, 0, 0x10000));
    ASSERT_EQ(0, CreateMemImg(&dst, 40, 4, MEMIMG_COLOR_565, 0, 0, 0));
    for (int x = 0; x < 20; ++x) SetPx(&src, x, 0, 0), SetPx(&src, x, 1, 0x1234);
    MarkMemImgPixelsChanged(&src);
    for (int x = 0; x < 40; ++x) SetPx(&dst, x, 0, 0xFFFF), SetPx(&dst, x, 1, 0xFFFF);
    GDrawSettings.drawRegion = {1, 0, 40, 4};  // clipped: the per-texel row
    BlitMemImg(&dst, &src, 0, 0, 1, nullptr);
    for (int x = 1; x < 20; ++x) {
        EXPECT_EQ(0u, GetPx(&dst, x, 0)) << x;
        EXPECT_EQ(0x1234u, GetPx(&dst, x, 1)) << x;
    }
    EXPECT_EQ(0xFFFFu, GetPx(&dst, 0, 0));
    EXPECT_EQ(0xFFFFu, GetPx(&dst, 20, 0));
    ReleaseMemImg(&src);
    ReleaseMemImg(&dst);
}

// A store drawn onto itself one pixel to the right, through a sub-view: a plain copy moves the
// row as it was; a keyed one walks texel by texel, reading each texel after the pixel before it
// was written.
TEST_F(BlitRuns, OverlappingDrawWithinOneStoreWalksForward) {
    for (int trans = 0; trans < 2; ++trans) {
        MEMIMG img, view;
        ASSERT_EQ(0, CreateMemImg(&img, 40, 1, MEMIMG_COLOR_565, 0, 0, kKey));
        std::vector<uint32_t> want(40);
        for (int x = 0; x < 40; ++x) {
            want[x] = x % 5 == 4 ? kKey : (uint32_t)(100 + x);
            SetPx(&img, x, 0, want[x]);
        }
        ASSERT_EQ(0, CreateMemImgSubView(&view, &img, 0, 0, 39, 1));
        const std::vector<uint32_t> was = want;
        for (int x = 0; x < 39; ++x) {
            uint32_t texel = trans ? want[x] : was[x];
            if (!trans || texel != kKey) want[x + 1] = texel;
        }
        GDrawSettings.drawRegion = {0, 0, 40, 1};
        BlitMemImg(&img, &view, 1, 0, trans, nullptr);
        for (int x = 0; x < 40; ++x) EXPECT_EQ(want[x], GetPx(&img, x, 0)) << "trans " << trans << " x " << x;
        ReleaseMemImg(&view);
        ReleaseMemImg(&img);
    }
}

}  // namespace
