// Test canvases for the flat drawers and the scaled blit: images with known pixels, a draw region
// set inside them (the border around it is the canary no drawer may touch), pixel access.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "lib/graphics/draw_settings.h"
#include "lib/graphics/memimg.h"

// Fresh tables and settings: mode 0, p 255, no tint, region (l, t, r, b).
inline void ResetDrawState(int l, int t, int r, int b) {
    BuildMemImgBlendTables();
    ResetDrawSettings();
    GDrawSettings.drawRegion = {l, t, r, b};
}

inline void SetBlend(int mode, int p) {
    GDrawSettings.blendMode = mode;
    GDrawSettings.blendParam = p;
}

// A direct image of type, every pixel fill.
inline MEMIMG MakeImage(int w, int h, int type, uint32_t fill, int alpha = 0, int palette = 0, uint32_t key = 0) {
    MEMIMG m;
    EXPECT_EQ(CreateMemImg(&m, w, h, type, alpha, palette, key), 0);
    int bpp = GetMemImgBytesPerPixel(&m);
    if (fill == 0) return m;  // made zeroed
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = GetMemImgRow(&m, y) + x * bpp;
            if (bpp == 1) *p = (uint8_t)fill;
            else if (bpp == 2) { uint16_t v = (uint16_t)fill; memcpy(p, &v, 2); }
            else memcpy(p, &fill, 4);
        }
    return m;
}

inline uint32_t GetPx(const MEMIMG *m, int x, int y) {
    int bpp = GetMemImgBytesPerPixel(m);
    const uint8_t *p = GetMemImgRow(m, y) + x * bpp;
    if (bpp == 1) return *p;
    if (bpp == 2) { uint16_t v; memcpy(&v, p, 2); return v; }
    uint32_t v; memcpy(&v, p, 4); return v;
}

inline void SetPx(MEMIMG *m, int x, int y, uint32_t v) {
    int bpp = GetMemImgBytesPerPixel(m);
    uint8_t *p = GetMemImgRow(m, y) + x * bpp;
    if (bpp == 1) *p = (uint8_t)v;
    else if (bpp == 2) { uint16_t s = (uint16_t)v; memcpy(p, &s, 2); }
    else memcpy(p, &v, 4);
}

// Every pixel random (type 0: 16 bits; others: all bytes).
inline void FillRandom(MEMIMG *m, std::mt19937 &rng) {
    for (int y = 0; y < m->height; ++y)
        for (int x = 0; x < m->width; ++x) SetPx(m, x, y, (uint32_t)rng());
}

inline std::vector<uint32_t> Pixels(const MEMIMG *m) {
    std::vector<uint32_t> v;
    for (int y = 0; y < m->height; ++y)
        for (int x = 0; x < m->width; ++x) v.push_back(GetPx(m, x, y));
    return v;
}

// Number of pixels that differ from before (same size).
inline int CountChanged(const MEMIMG *m, const std::vector<uint32_t> &before) {
    int n = 0;
    auto now = Pixels(m);
    for (size_t i = 0; i < now.size(); ++i) n += now[i] != before[i];
    return n;
}

// 1 when no pixel outside the current draw region differs from before.
inline bool OutsideRegionUntouched(const MEMIMG *m, const std::vector<uint32_t> &before) {
    const Rect &r = GDrawSettings.drawRegion;
    for (int y = 0; y < m->height; ++y)
        for (int x = 0; x < m->width; ++x) {
            bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            if (!inside && GetPx(m, x, y) != before[(size_t)y * m->width + x]) return false;
        }
    return true;
}
