// BlitMemImg against a slow model written straight from the arithmetic, over random pixels, for
// every blend mode, texel kind, tint, blend image, key and clipping; and the run-table path
// against the texel-by-texel path.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"
#include "lib/softrender/blit.h"
#include "lib/softrender/blit_vector.h"
#include "tests/softrender/fill_canvas.h"

namespace {

struct Model {
    int type, kind;          // kind: 0 palette, 1 direct, 2 direct with alpha
    int mode, p;
    uint32_t bright;         // 0xRRGGBB
    bool trans, hasBlend;
    uint32_t key;
    const uint32_t *palette; // in the type's pixel format
    const uint8_t *lookup;
};

const int kShift[2][3] = {{0, 5, 11}, {0, 8, 16}};
const int kWidth[2][3] = {{5, 6, 5}, {8, 8, 8}};

uint32_t Field(int type, uint32_t px, int i) { return (px >> kShift[type][i]) & ((1u << kWidth[type][i]) - 1); }

// floor((d * 2^(8n) + (s - d) * W) / 2^(8n)) in exact 64-bit arithmetic.
uint32_t Mix(int64_t d, int64_t s, int64_t w, int n) {
    int64_t num = d * (int64_t(1) << (8 * n)) + (s - d) * w;
    return (uint32_t)(num / (int64_t(1) << (8 * n)));
}

uint32_t Add8888(uint32_t d, uint32_t s) {
    uint32_t sum = (d & 0xFEFEFF) + (s & 0xFEFEFF), c = sum & 0x1010100;
    return sum | (c - (c >> 8)) | ((d | s) & 0x10100);
}
uint32_t Sub8888(uint32_t d, uint32_t s) {
    uint32_t diff = (d | 0x1010100) - (s & 0xFEFEFF), k = diff & 0x1010100;
    return diff & (k - (k >> 8));
}
uint32_t Add565(uint32_t d, uint32_t s) {
    uint32_t sum = (d & 0xF7DF) + (s & 0xF7DF), c = sum & 0x8210820;
    return (sum | (c - (c >> 5)) | ((d | s) & 0x0820)) & 0xFFFF;
}
uint32_t Sub565(uint32_t d, uint32_t s) {
    uint32_t diff = (d | 0x8210820) - (s & 0xF7DF), k = diff & 0x8210820;
    return diff & (k - (k >> 5)) & 0xFFFF;
}

// The new destination pixel, or d when the texel is not drawn.
uint32_t ModelPixel(const Model &m, uint32_t d, uint32_t texel, uint8_t blendByte) {
    int mode = m.mode, p = m.p;
    if (mode == 1 && p == 255) mode = 0;
    if (!(mode == 0 || mode == 1 || mode == 2 || mode == 3 || mode == 4 || mode == 10 || mode == 11)) return d;
    if ((mode == 1 || mode == 2 || mode == 3) && p == 0) return d;
    uint32_t c = texel;
    std::vector<int64_t> weights;
    if (m.hasBlend) weights.push_back(m.lookup[blendByte]);
    if (m.kind == 0) {
        if (m.trans && texel == m.key) return d;
        c = m.palette[texel];
    } else if (m.kind == 1) {
        if (m.trans && texel == m.key) return d;
    } else {
        uint32_t a = m.type == 0 ? (texel >> 16) & 0xFF : texel >> 24;
        if (m.trans && a == 0) return d;
        if (!(m.trans && a == 255)) weights.push_back(a);
        if (m.type == 0) c = texel & 0xFFFF;
    }
    bool tint = m.bright != 0xFFFFFF;
    // The blit's own short-cuts for plain mode 1.
    if (mode == 1 && !tint && !m.hasBlend && m.kind != 2) {
        if (p == 128) {
            uint32_t mask = m.type == 0 ? 0x7BEF : 0x7F7F7F;
            return ((d >> 1) & mask) + ((c >> 1) & mask);
        }
        if (m.type == 0) {
            uint32_t r = 0;
            int a = p >> 2;
            for (int i = 0; i < 3; ++i)
                r |= (uint32_t)((a * (int)Field(0, c, i) + (63 - a) * (int)Field(0, d, i)) / 63) << kShift[0][i];
            return r;
        }
    }
    int n = (int)weights.size();
    int64_t W = 1;
    for (int64_t w : weights) W *= w;
    if (mode == 0 && n == 0 && !tint) return m.type == 0 ? (c & 0xFFFF) : c;
    uint32_t kb[3] = {m.bright & 0xFF, (m.bright >> 8) & 0xFF, (m.bright >> 16) & 0xFF};
    uint32_t out = m.type == 1 ? (d & 0xFF000000u) : 0, sp = 0;
    for (int i = 0; i < 3; ++i) {
        int wbits = kWidth[m.type][i];
        int64_t M = (1 << wbits) - 1;
        int64_t dv = Field(m.type, d, i), sv = Field(m.type, c, i), v = 0;
        if (mode == 10) sv = M - sv;
        if (tint) sv = kb[i] * sv / 255;
        switch (mode) {
        case 0: v = n == 0 ? sv : Mix(dv, sv, W, n); break;
        case 1: case 10: case 11: {
            int64_t t = mode == 11 ? (dv * sv) >> wbits : sv;
            if (n > 0) v = Mix(dv, t, W * p, n + 1);
            else if (m.type == 1) v = Mix(dv, t, p, 1);
            else v = dv + (p * (t - dv)) / 255;  // division truncates toward zero
            break;
        }
        case 4: v = n == 0 ? (dv * sv) >> wbits : (dv * sv * W) >> (wbits + 8 * n); break;
        default:  // 2, 3: the scaled source field
            if (n == 0) v = p * sv / 255;
            else if (m.type == 1) v = (sv * W * p) >> (8 * (n + 1));
            else v = p * ((sv * W) >> (8 * n)) / 255;
            sp |= (uint32_t)v << kShift[m.type][i];
            continue;
        }
        out |= (uint32_t)v << kShift[m.type][i];
    }
    if (mode == 2) return m.type == 0 ? Add565(d, sp) : Add8888(d, sp);
    if (mode == 3) return m.type == 0 ? Sub565(d, sp) : Sub8888(d, sp);
    return out;
}

class BlitReference : public ::testing::Test {
protected:
    void SetUp() override {
        BuildMemImgBlendTables();
        ResetDrawSettings();
        SetDrawTargetSize(24, 20);
        SetMemImgRunTableUse(1);
    }
    void TearDown() override {
        SetMemImgRunTableUse(1);
        SetBlitVectorUse(BLIT_VECTOR_WIDEST);
        ResetDrawSettings();
    }
    std::mt19937 rng{12345};
    uint32_t R() { return rng(); }

    // A random texel of the kind, with keys and alphas 0 / 255 frequent.
    uint32_t RandomTexel(int type, int kind, uint32_t key) {
        uint32_t v = R();
        if (kind == 0) return (R() % 4 == 0) ? key : v & 0xFF;
        if (kind == 1) {
            if (R() % 4 == 0) return key;
            return type == 0 ? v & 0xFFFF : v;
        }
        uint32_t a = R() % 3 == 0 ? 0 : R() % 2 ? 255 : (R() & 0xFF);
        return type == 0 ? (v & 0xFFFF) | (a << 16) : (v & 0xFFFFFF) | (a << 24);
    }

    void MakeSource(MEMIMG *src, int type, int kind, int w, int h, uint32_t key, std::vector<uint32_t> &palette) {
        ASSERT_EQ(0, CreateMemImg(src, w, h, type, kind == 2, kind == 0, key));
        if (kind == 0) {
            std::vector<uint32_t> rgb(256);
            for (auto &e : rgb) e = R() & 0xFFFFFF;
            SetMemImgPalette(src, rgb.data(), 256);
            palette.resize(256);
            for (int i = 0; i < 256; ++i) palette[i] = PackMemImgColor(type, rgb[i]);
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) SetPx(src, x, y, RandomTexel(type, kind, key));
        MarkMemImgPixelsChanged(src);
    }
};

// Draws with the given settings and compares every destination pixel with the model.
void CheckBlit(const Model &m, MEMIMG &dst, const MEMIMG &src, const MEMIMG *blend, int x, int y, const char *what) {
    int W = dst.width, H = dst.height;
    std::vector<uint32_t> before(W * H);
    for (int j = 0; j < H; ++j)
        for (int i = 0; i < W; ++i) before[j * W + i] = GetPx(&dst, i, j);
    BlitMemImg(&dst, &src, x, y, m.trans, blend);
    const Rect &reg = GDrawSettings.drawRegion;
    for (int j = 0; j < H; ++j)
        for (int i = 0; i < W; ++i) {
            uint32_t d = before[j * W + i], want = d;
            int sx = i - x, sy = j - y;
            bool inside = i >= reg.left && i < reg.right && j >= reg.top && j < reg.bottom && sx >= 0 && sy >= 0 &&
                          sx < src.width && sy < src.height;
            if (inside) {
                uint8_t bb = blend ? GetMemImgRow(blend, sy)[sx] : 0;
                want = ModelPixel(m, d, GetPx(&src, sx, sy), bb);
            }
            ASSERT_EQ(want, GetPx(&dst, i, j)) << what << " at " << i << "," << j << " mode " << m.mode << " p " << m.p
                                              << " type " << m.type << " kind " << m.kind << " tint " << std::hex
                                              << m.bright << " blend " << m.hasBlend << " trans " << m.trans;
        }
}

TEST_F(BlitReference, EveryModeKindTintBlendKeyAndClipMatchesTheModel) {
    const int modes[] = {0, 1, 2, 3, 4, 5, 7, 10, 11, 12, -1};
    const int params[] = {0, 128, 255, 77, 200};
    for (int type = 0; type < 2; ++type)
        for (int kind = 0; kind < 3; ++kind)
            for (int mode : modes)
                for (int p : params)
                    for (int flags = 0; flags < 16; ++flags) {
                        bool tint = flags & 1, hasBlend = flags & 2, trans = flags & 4, clip = flags & 8;
                        uint32_t key = kind == 0 ? R() & 0xFF : type == 0 ? R() & 0xFFFF : R();
                        std::vector<uint32_t> palette;
                        MEMIMG src, dst, blend;
                        MakeSource(&src, type, kind, 9, 7, key, palette);
                        ASSERT_EQ(0, CreateMemImg(&dst, 24, 20, type, 0, 0, 0));
                        for (int j = 0; j < 20; ++j)
                            for (int i = 0; i < 24; ++i) SetPx(&dst, i, j, type == 0 ? R() & 0xFFFF : R());
                        ASSERT_EQ(0, CreateMemImg(&blend, 9, 7, MEMIMG_COLOR_8888, 0, 0, 0));
                        for (int j = 0; j < 7; ++j)
                            for (int i = 0; i < 9; ++i) SetPx(&blend, i, j, R());
                        BuildBlendImageLookup(R() & 0xFF, R() & 0xFF);
                        ResetDrawSettings();
                        SelectBlendMode(mode, p);
                        if (tint) SetDrawBrightColor(R() & 0xFFFFFF);
                        int x = 5, y = 6;
                        if (clip) {
                            SetDrawRegion(3, 2, 20, 10);
                            x = (int)(R() % 3) - 1;  // off the region's left, or against it
                            y = (int)(R() % 10);
                        }
                        Model m = {type, kind, mode, GDrawSettings.blendParam, GDrawSettings.bright, trans, hasBlend,
                                   key, palette.data(), BlendImageLookup};
                        if (kind != 0) m.palette = nullptr;
                        CheckBlit(m, dst, src, hasBlend ? &blend : nullptr, x, y, "random");
                        if (HasFatalFailure()) return;
                        ReleaseMemImg(&src);
                        ReleaseMemImg(&dst);
                        ReleaseMemImg(&blend);
                    }
}

// The run table and the texel-by-texel walk give the same pixels, also after the source changed.
// (Vector rows, which test the key themselves, are off so that every draw here takes the runs.)
TEST_F(BlitReference, RunTablePathEqualsPerTexelPathAlsoAfterAWrite) {
    SetBlitVectorUse(BLIT_VECTOR_OFF);
    for (int type = 0; type < 2; ++type)
        for (int kind = 0; kind < 3; ++kind)
            for (int mode : {0, 1, 2, 4, 11}) {
                uint32_t key = kind == 0 ? 3 : 0;
                std::vector<uint32_t> palette;
                MEMIMG src, a, b;
                MakeSource(&src, type, kind, 13, 9, key, palette);
                ASSERT_EQ(0, CreateMemImg(&a, 24, 20, type, 0, 0, 0));
                ASSERT_EQ(0, CreateMemImg(&b, 24, 20, type, 0, 0, 0));
                SelectBlendMode(mode, 160);
                for (int round = 0; round < 2; ++round) {
                    SetMemImgRunTableUse(1);
                    BlitMemImg(&a, &src, 4, 5, 1, nullptr);
                    EXPECT_EQ(0, src.shared->runTable.stale);
                    SetMemImgRunTableUse(0);
                    BlitMemImg(&b, &src, 4, 5, 1, nullptr);
                    ASSERT_EQ(0, memcmp(a.shared->pixels, b.shared->pixels, (size_t)a.shared->pitch * 20))
                        << "type " << type << " kind " << kind << " mode " << mode << " round " << round;
                    // Turn every texel of one row into a drawn one and another row into keys.
                    for (int x = 0; x < 13; ++x) {
                        SetPx(&src, x, 2, kind == 2 ? 0xFF0000FFu : 5);
                        SetPx(&src, x, 4, kind == 2 ? 0 : key);
                    }
                    MarkMemImgPixelsChanged(&src);
                    EXPECT_EQ(1, src.shared->runTable.stale);
                }
                ReleaseMemImg(&src);
                ReleaseMemImg(&a);
                ReleaseMemImg(&b);
            }
}

// A key change alone also rebuilds the runs.
TEST_F(BlitReference, ColourKeyChangeRebuildsRuns) {
    MEMIMG src, dst;
    ASSERT_EQ(0, CreateMemImg(&src, 4, 1, MEMIMG_COLOR_8888, 0, 0, 0x11));
    ASSERT_EQ(0, CreateMemImg(&dst, 4, 1, MEMIMG_COLOR_8888, 0, 0, 0));
    SetPx(&src, 0, 0, 0x11);
    SetPx(&src, 1, 0, 0x22);
    SetPx(&src, 2, 0, 0x11);
    SetPx(&src, 3, 0, 0x22);
    MarkMemImgPixelsChanged(&src);
    BlitMemImg(&dst, &src, 0, 0, 1, nullptr);
    EXPECT_EQ(0u, GetPx(&dst, 0, 0));
    EXPECT_EQ(0x22u, GetPx(&dst, 1, 0));
    SetMemImgColorKey(&src, 0x22);
    BlitMemImg(&dst, &src, 0, 0, 1, nullptr);
    EXPECT_EQ(0x11u, GetPx(&dst, 0, 0));
    EXPECT_EQ(0x22u, GetPx(&dst, 1, 0));
    ReleaseMemImg(&src);
    ReleaseMemImg(&dst);
}

// A sub-view source and a sub-view destination draw into the right place.
TEST_F(BlitReference, SubViewsDrawAtTheirOffsets) {
    MEMIMG big, view, dst, dview;
    ASSERT_EQ(0, CreateMemImg(&big, 8, 8, MEMIMG_COLOR_565, 0, 0, 0));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) SetPx(&big, x, y, (uint32_t)(y * 8 + x + 1));
    ASSERT_EQ(0, CreateMemImgSubView(&view, &big, 2, 3, 3, 2));
    ASSERT_EQ(0, CreateMemImg(&dst, 8, 8, MEMIMG_COLOR_565, 0, 0, 0));
    ASSERT_EQ(0, CreateMemImgSubView(&dview, &dst, 1, 1, 6, 6));
    SetDrawTargetSize(6, 6);
    BlitMemImg(&dview, &view, 1, 0, 1, nullptr);
    EXPECT_EQ(0u, GetPx(&dst, 1, 1));
    EXPECT_EQ((uint32_t)(3 * 8 + 2 + 1), GetPx(&dst, 2, 1));
    EXPECT_EQ((uint32_t)(4 * 8 + 4 + 1), GetPx(&dst, 4, 2));
    EXPECT_EQ(0u, GetPx(&dst, 5, 2));
    ReleaseMemImg(&view);
    ReleaseMemImg(&big);
    ReleaseMemImg(&dview);
    ReleaseMemImg(&dst);
}

// White mixed over black at factor 255: floor(M * 255 / 256) per field.
uint32_t Rgb565Max() { return (30u << 11) | (62u << 5) | 30u; }

// Refused input draws nothing and writes nothing.
TEST_F(BlitReference, BadInputDrawsNothing) {
    MEMIMG dst, src, pal, alpha, other, smallBlend, dead;
    ASSERT_EQ(0, CreateMemImg(&dst, 8, 8, MEMIMG_COLOR_565, 0, 0, 0));
    ASSERT_EQ(0, CreateMemImg(&src, 4, 4, MEMIMG_COLOR_565, 0, 0, 0));
    ASSERT_EQ(0, CreateMemImg(&pal, 8, 8, MEMIMG_COLOR_565, 0, 1, 0));
    ASSERT_EQ(0, CreateMemImg(&alpha, 8, 8, MEMIMG_COLOR_565, 1, 0, 0));
    ASSERT_EQ(0, CreateMemImg(&other, 4, 4, MEMIMG_COLOR_8888, 0, 0, 0));
    ASSERT_EQ(0, CreateMemImg(&smallBlend, 3, 4, MEMIMG_COLOR_CHANNEL8, 0, 0, 0));
    memset(&dead, 0, sizeof dead);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            SetPx(&src, x, y, 0xFFFF);
            SetPx(&other, x, y, 0xFFFFFF);
        }
    for (MEMIMG *d : {&pal, &alpha}) {
        BlitMemImg(d, &src, 0, 0, 0, nullptr);
        EXPECT_EQ(0u, GetPx(d, 1, 1));
    }
    BlitMemImg(&dst, &other, 0, 0, 0, nullptr);
    BlitMemImg(&dst, &src, 0, 0, 0, &smallBlend);
    BlitMemImg(&dst, &dead, 0, 0, 0, nullptr);
    BlitMemImg(&dead, &src, 0, 0, 0, nullptr);
    BlitMemImg(&dst, &src, 0, 0, 0, &dead);
    BlitMemImg(&dst, &src, 2147483647, 0, 0, nullptr);
    BlitMemImg(&dst, &src, -2147483647 - 1, -2147483647 - 1, 0, nullptr);
    BlitMemImg(&dst, &src, 2147483645, 2147483645, 1, nullptr);
    BlitMemImg(nullptr, &src, 0, 0, 0, nullptr);
    BlitMemImg(&dst, nullptr, 0, 0, 0, nullptr);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(0u, GetPx(&dst, x, y)) << x << "," << y;
    SetDrawRegion(2, 2, 2, 8);  // an empty region
    BlitMemImg(&dst, &src, 0, 0, 0, nullptr);
    EXPECT_EQ(0u, GetPx(&dst, 2, 2));
    // A blend image exactly as wide in bytes as the source is enough: 2 pixels of 2 bytes.
    ResetDrawSettings();
    BuildBlendImageLookup(0, 255);
    ReleaseMemImg(&smallBlend);
    ASSERT_EQ(0, CreateMemImg(&smallBlend, 2, 4, MEMIMG_COLOR_565, 0, 0, 0));
    BlitMemImg(&dst, &src, 0, 0, 0, &smallBlend);
    EXPECT_EQ(Rgb565Max(), GetPx(&dst, 3, 3));
    for (MEMIMG *m : {&dst, &src, &pal, &alpha, &other, &smallBlend, &dead}) ReleaseMemImg(m);
}

}  // namespace
