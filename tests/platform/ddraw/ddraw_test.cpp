// The display-surface stand-in: formats, locks, blits with keys and conversion, loss and restore,
// flip chains, device contexts, the device-copy notifications, the recorder, faults, leak counters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "testsupport/test_hooks.h"

namespace {

class DdTest : public ::testing::Test {
protected:
    DdDraw *dd = nullptr;
    std::vector<DdSurface *> made;

    void SetUp() override
    {
        DdTestResetFaults();
        DdTestClearRecord();
        ASSERT_EQ(DdCreate(nullptr, &dd, nullptr), DD_OK);
        ASSERT_EQ(DdTestLiveCount(DD_OBJ_DRAW), 1);
        ASSERT_EQ(dd->fn->SetCooperativeLevel(dd, 0, DD_SCL_NORMAL), DD_OK);
    }
    void TearDown() override
    {
        for (DdSurface *s : made) s->fn->Release(s);
        dd->fn->Release(dd);
        for (int k = 0; k < DD_OBJ_KIND_COUNT; k++) EXPECT_EQ(DdTestLiveCount((DdObjectKind)k), 0) << k;
        DdTestResetFaults();
    }
    DdSurface *Make(int layout, int w, int h, uint32_t caps = DD_CAPS_OFFSCREENPLAIN)
    {
        DdSurfaceDesc d = {};
        d.size = sizeof d;
        d.flags = DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT | DD_SD_PIXELFORMAT;
        d.width = (uint32_t)w, d.height = (uint32_t)h, d.caps = caps;
        if (layout == 16) {
            d.pixelFormat = DdPixelFormat{sizeof(DdPixelFormat), DD_PF_ZBUFFER, 0, 16, 0xFFFF, 0, 0, 0};
        } else {
            EXPECT_EQ(DdMakePixelFormat(layout, &d.pixelFormat), 0);
        }
        DdSurface *s = nullptr;
        EXPECT_EQ(dd->fn->CreateSurface(dd, &d, &s, nullptr), DD_OK);
        if (s) made.push_back(s);
        return s;
    }
    static uint32_t Pixel(DdSurface *s, int x, int y)
    {
        const uint8_t *p = s->pixels + y * s->pitch;
        int bytes = s->format.bitCount / 8;
        uint32_t v = 0;
        memcpy(&v, p + x * bytes, (size_t)bytes);
        return v;
    }
    static void Fill(DdSurface *s, uint32_t value, const DdRect *r = nullptr)
    {
        DdBltFx fx = {sizeof fx, value, 0};
        ASSERT_EQ(s->fn->Blt(s, r, nullptr, nullptr, DD_BLT_COLORFILL | DD_BLT_WAIT, &fx), DD_OK);
    }
};

TEST_F(DdTest, EveryLayoutMakesASurfaceInItsFormatWithAlignedRows)
{
    struct Case {
        int layout, bits;
        uint32_t red, alpha;
    } cases[] = {{565, 16, 0xF800, 0},     {555, 16, 0x7C00, 0},     {888, 32, 0xFF0000, 0},
                 {1555, 16, 0x7C00, 0x8000}, {4444, 16, 0x0F00, 0xF000}, {8888, 32, 0xFF0000, 0xFF000000u},
                 {8, 8, 0, 0}};
    for (const Case &c : cases) {
        DdSurface *s = Make(c.layout, 13, 5);
        ASSERT_NE(s, nullptr) << c.layout;
        DdPixelFormat f;
        ASSERT_EQ(s->fn->GetPixelFormat(s, &f), DD_OK);
        EXPECT_EQ(f.bitCount, (uint32_t)c.bits) << c.layout;
        EXPECT_EQ(f.redMask, c.red) << c.layout;
        EXPECT_EQ(f.alphaMask, c.alpha) << c.layout;
        EXPECT_EQ(s->pitch % 16, 0);
        EXPECT_GE(s->pitch, 13 * c.bits / 8);
    }
    DdPixelFormat none;
    EXPECT_EQ(DdMakePixelFormat(444, &none), -1);
}

TEST_F(DdTest, LockPointsAtTheRectangleAndRefusesASecondLock)
{
    DdSurface *s = Make(565, 32, 16);
    DdRect r = {3, 2, 10, 8};
    DdSurfaceDesc d = {sizeof d};
    ASSERT_EQ(s->fn->Lock(s, &r, &d, DD_LOCK_WAIT | DD_LOCK_WRITEONLY), DD_OK);
    EXPECT_EQ((uint8_t *)d.surface, s->pixels + 2 * s->pitch + 3 * 2);
    EXPECT_EQ(d.pitch, s->pitch);
    EXPECT_EQ(d.width, 7u);
    DdSurfaceDesc again = {sizeof again};
    EXPECT_EQ(s->fn->Lock(s, nullptr, &again, DD_LOCK_WAIT), DD_ERR_SURFACE_BUSY);
    EXPECT_EQ(s->fn->Unlock(s, &r), DD_OK);
    EXPECT_EQ(s->fn->Unlock(s, &r), DD_ERR_NOT_LOCKED);
    DdRect outside = {20, 0, 40, 4};
    EXPECT_EQ(s->fn->Lock(s, &outside, &d, DD_LOCK_WAIT), DD_ERR_INVALID_PARAMS);
}

TEST_F(DdTest, BltFillsCopiesScaledAndConvertsFormats)
{
    DdSurface *src = Make(565, 4, 4), *dst = Make(888, 8, 8), *z = Make(16, 8, 8, DD_CAPS_ZBUFFER);
    Fill(src, 0xF800);
    DdRect corner = {0, 0, 2, 2};
    Fill(src, 0x001F, &corner);
    DdRect whole = {0, 0, 8, 8};
    ASSERT_EQ(dst->fn->Blt(dst, &whole, src, nullptr, DD_BLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(Pixel(dst, 0, 0), 0x0000FFu);  // blue widened by repeating its top bits
    EXPECT_EQ(Pixel(dst, 3, 3), 0x0000FFu);  // doubled in both directions
    EXPECT_EQ(Pixel(dst, 4, 0), 0xFF0000u);
    DdBltFx fx = {sizeof fx, 0, 0x1234};
    EXPECT_EQ(dst->fn->Blt(dst, nullptr, nullptr, nullptr, DD_BLT_DEPTHFILL, &fx), DD_ERR_INVALID_PARAMS);
    ASSERT_EQ(z->fn->Blt(z, nullptr, nullptr, nullptr, DD_BLT_DEPTHFILL | DD_BLT_WAIT, &fx), DD_OK);
    EXPECT_EQ(Pixel(z, 7, 7), 0x1234u);
    DdRect bad = {0, 0, 9, 9};
    EXPECT_EQ(dst->fn->Blt(dst, &bad, src, nullptr, DD_BLT_WAIT, nullptr), DD_ERR_INVALID_RECT);
}

TEST_F(DdTest, ConvertingBltsKeepEveryChannelBetweenEveryPairOfLayouts)
{
    // Pure red, green, blue and white survive any pair of the direct layouts (widened by repeating
    // top bits, narrowed by truncation); alpha reads 255 from layouts without it.
    const int layouts[] = {565, 555, 888, 1555, 4444, 8888};
    const uint32_t colours[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    for (int from : layouts)
        for (int to : layouts) {
            DdSurface *src = Make(from, 4, 1), *dst = Make(to, 4, 1), *back = Make(888, 4, 1);
            DdSurface *wide = Make(8888, 4, 1);
            for (int i = 0; i < 4; i++) {
                DdRect one = {i, 0, i + 1, 1};
                Fill(wide, colours[i], &one);
            }
            ASSERT_EQ(src->fn->Blt(src, nullptr, wide, nullptr, DD_BLT_WAIT, nullptr), DD_OK);
            ASSERT_EQ(dst->fn->Blt(dst, nullptr, src, nullptr, DD_BLT_WAIT, nullptr), DD_OK);
            ASSERT_EQ(back->fn->Blt(back, nullptr, dst, nullptr, DD_BLT_WAIT, nullptr), DD_OK);
            for (int i = 0; i < 4; i++) EXPECT_EQ(Pixel(back, i, 0), colours[i] & 0xFFFFFF) << from << " " << to;
        }
}

TEST_F(DdTest, BltFastSkipsTheSourceKeyAndNeedsTheSameFormat)
{
    DdSurface *src = Make(565, 4, 2), *dst = Make(565, 8, 8), *other = Make(888, 8, 8);
    Fill(dst, 0x07E0);
    Fill(src, 0x1234);
    DdRect key = {1, 0, 2, 2};
    Fill(src, 0xF81F, &key);
    EXPECT_EQ(dst->fn->BltFast(dst, 2, 3, src, nullptr, DD_BLTFAST_SRCCOLORKEY), DD_ERR_NO_COLOR_KEY);
    DdColorKey ck = {0xF81F, 0xF81F};
    ASSERT_EQ(src->fn->SetColorKey(src, DD_CKEY_SRCBLT, &ck), DD_OK);
    ASSERT_EQ(dst->fn->BltFast(dst, 2, 3, src, nullptr, DD_BLTFAST_SRCCOLORKEY | DD_BLTFAST_WAIT), DD_OK);
    EXPECT_EQ(Pixel(dst, 2, 3), 0x1234u);
    EXPECT_EQ(Pixel(dst, 3, 3), 0x07E0u);  // keyed pixel left alone
    EXPECT_EQ(Pixel(dst, 5, 4), 0x1234u);
    EXPECT_EQ(Pixel(dst, 6, 3), 0x07E0u);
    EXPECT_EQ(other->fn->BltFast(other, 0, 0, src, nullptr, 0), DD_ERR_INVALID_PIXEL_FORMAT);
    EXPECT_EQ(dst->fn->BltFast(dst, 6, 0, src, nullptr, 0), DD_ERR_INVALID_RECT);
}

TEST_F(DdTest, LostSurfacesRefuseEveryPixelCallUntilRestored)
{
    DdSurface *s = Make(565, 4, 4), *t = Make(565, 4, 4);
    Fill(s, 0x1111);
    DdTestLoseAllSurfaces();
    DdSurfaceDesc d = {sizeof d};
    DdDc dc = 0;
    EXPECT_EQ(s->fn->IsLost(s), DD_ERR_SURFACE_LOST);
    EXPECT_EQ(dd->fn->TestCooperativeLevel(dd), DD_ERR_SURFACE_LOST);
    EXPECT_EQ(s->fn->Lock(s, nullptr, &d, DD_LOCK_WAIT), DD_ERR_SURFACE_LOST);
    EXPECT_EQ(t->fn->BltFast(t, 0, 0, s, nullptr, 0), DD_ERR_SURFACE_LOST);
    EXPECT_EQ(s->fn->GetDC(s, &dc), DD_ERR_SURFACE_LOST);
    ASSERT_EQ(s->fn->Restore(s), DD_OK);
    EXPECT_EQ(s->fn->IsLost(s), DD_OK);
    EXPECT_EQ(Pixel(s, 0, 0), 0xCDCDu);  // memory back, pixels not
    ASSERT_EQ(dd->fn->RestoreAllSurfaces(dd), DD_OK);
    EXPECT_EQ(dd->fn->TestCooperativeLevel(dd), DD_OK);
}

TEST_F(DdTest, FlipChainSwapsPixelsAndZSurfacesAttachOnce)
{
    ASSERT_EQ(dd->fn->SetCooperativeLevel(dd, 0, DD_SCL_FULLSCREEN | DD_SCL_EXCLUSIVE), DD_ERR_INVALID_PARAMS);
    DdSurfaceDesc d = {sizeof d, DD_SD_CAPS | DD_SD_BACKBUFFERCOUNT, 0, 0, 0, 1};
    d.caps = DD_CAPS_PRIMARYSURFACE | DD_CAPS_FLIP | DD_CAPS_COMPLEX;
    DdSurface *primary = nullptr;
    EXPECT_EQ(dd->fn->CreateSurface(dd, &d, &primary, nullptr), DD_ERR_NO_EXCLUSIVE_MODE);
    ASSERT_EQ(dd->fn->SetCooperativeLevel(dd, (WHandle)1, DD_SCL_FULLSCREEN | DD_SCL_EXCLUSIVE), DD_OK);
    ASSERT_EQ(dd->fn->SetDisplayMode(dd, 64, 48, 16, 60, 0), DD_OK);
    ASSERT_EQ(dd->fn->CreateSurface(dd, &d, &primary, nullptr), DD_OK);
    made.push_back(primary);
    EXPECT_EQ(primary->width, 64);
    uint32_t caps = DD_CAPS_BACKBUFFER;
    DdSurface *back = nullptr;
    ASSERT_EQ(primary->fn->GetAttachedSurface(primary, &caps, &back), DD_OK);
    made.push_back(back);
    Fill(back, 0xABCD);
    Fill(primary, 0x0001);
    ASSERT_EQ(primary->fn->Flip(primary, nullptr, DD_FLIP_WAIT), DD_OK);
    EXPECT_EQ(Pixel(primary, 5, 5), 0xABCDu);
    EXPECT_EQ(Pixel(back, 5, 5), 0x0001u);
    EXPECT_EQ(back->fn->Flip(back, nullptr, 0), DD_ERR_NOT_FLIPPABLE);

    DdSurface *z = Make(16, 64, 48, DD_CAPS_ZBUFFER), *small = Make(16, 8, 8, DD_CAPS_ZBUFFER);
    EXPECT_EQ(back->fn->AddAttachedSurface(back, small), DD_ERR_INVALID_PARAMS);
    ASSERT_EQ(back->fn->AddAttachedSurface(back, z), DD_OK);
    EXPECT_EQ(back->fn->AddAttachedSurface(back, z), DD_ERR_SURFACE_ALREADY_ATTACHED);
    DdSurfaceState state;
    ASSERT_EQ(DdGetSurfaceState(back, &state), 0);
    EXPECT_EQ(state.zSurface, z);
    ASSERT_EQ(DdGetSurfaceState(z, &state), 0);
    EXPECT_EQ(state.references, 2);
    ASSERT_EQ(back->fn->DeleteAttachedSurface(back, 0, z), DD_OK);
    EXPECT_EQ(back->fn->DeleteAttachedSurface(back, 0, z), DD_ERR_NOT_FOUND);
}

TEST_F(DdTest, BitBltCopiesBetweenTwoSurfacesContextsClipped)
{
    DdSurface *a = Make(888, 8, 8), *b = Make(565, 4, 4);
    Fill(a, 0x00FF00);
    DdDc da = 0, db = 0, again = 0;
    ASSERT_EQ(a->fn->GetDC(a, &da), DD_OK);
    ASSERT_EQ(b->fn->GetDC(b, &db), DD_OK);
    EXPECT_EQ(a->fn->GetDC(a, &again), DD_ERR_DC_ALREADY_CREATED);
    DdSurfaceDesc d = {sizeof d};
    EXPECT_EQ(a->fn->Lock(a, nullptr, &d, DD_LOCK_WAIT), DD_ERR_SURFACE_BUSY);
    EXPECT_EQ(DdBitBlt(db, -1, 1, 8, 8, da, 0, 0, DD_SRCCOPY), 1);
    EXPECT_EQ(DdBitBlt(db, 0, 0, 1, 1, da, 0, 0, 0x00EE0086), 0);
    EXPECT_EQ(DdGdiFlush(), 1);
    ASSERT_EQ(b->fn->ReleaseDC(b, db), DD_OK);
    ASSERT_EQ(a->fn->ReleaseDC(a, da), DD_OK);
    EXPECT_EQ(a->fn->ReleaseDC(a, da), DD_ERR_NO_DC);
    EXPECT_EQ(Pixel(b, 0, 0), 0u);
    EXPECT_EQ(Pixel(b, 0, 1), 0x07E0u);
    EXPECT_EQ(Pixel(b, 3, 3), 0x07E0u);
}

// Records what a device copy is told.
std::string gHookLog;
void HookBefore(DdSurface *, int access) { gHookLog += "B" + std::to_string(access); }
void HookAfter(DdSurface *, const DdRect *r) { gHookLog += r ? "A" + std::to_string(r->right) : std::string("A*"); }
void HookDetach(DdSurface *) { gHookLog += "D"; }
const DdDeviceCopyFns kHook = {HookBefore, HookAfter, HookDetach};

TEST_F(DdTest, SurfacesLargeOrSmallStartBlackAndTradeTheirBlocks)
{
    for (int w : {64, 1024, 1024, 64}) {   // below and at the size with pages of its own, each twice
        DdSurface *a = Make(565, w, 512), *b = Make(565, w, 512);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(Pixel(a, 0, 0) | Pixel(b, w - 1, 511), 0u) << w;
        Fill(a, 0x1234);
        ASSERT_EQ(DdTradeSurfacePixels(a, b), DD_OK);
        EXPECT_EQ(Pixel(b, w - 1, 511), 0x1234u);
        for (DdSurface *s : made) s->fn->Release(s);
        made.clear();
    }
}

TEST_F(DdTest, TheDeviceCopyHearsOfEveryCpuAccessAndIsDetachedLast)
{
    DdSurface *s = Make(565, 8, 8), *src = Make(565, 2, 2);
    int copy = 0;
    DdSetDeviceCopy(s, &copy, &kHook);
    gHookLog.clear();
    DdSurfaceDesc d = {sizeof d};
    DdRect r = {0, 0, 4, 4};
    ASSERT_EQ(s->fn->Lock(s, &r, &d, DD_LOCK_WAIT | DD_LOCK_WRITEONLY), DD_OK);
    ASSERT_EQ(s->fn->Unlock(s, &r), DD_OK);
    ASSERT_EQ(s->fn->BltFast(s, 6, 6, src, nullptr, 0), DD_OK);
    EXPECT_EQ(gHookLog, "B2A4B3A8");
    gHookLog.clear();
    DdTestLoseAllSurfaces();
    ASSERT_EQ(s->fn->Restore(s), DD_OK);
    EXPECT_EQ(gHookLog, "D");
    EXPECT_EQ(s->deviceCopy, nullptr);
    DdSetDeviceCopy(s, &copy, &kHook);
    gHookLog.clear();
    made.erase(made.begin());
    s->fn->Release(s);
    EXPECT_EQ(gHookLog, "D");
}

TEST_F(DdTest, FaultsFailTheChosenCallAndTheRecorderWritesEachCall)
{
    DdSurface *s = Make(565, 4, 4);
    DdTestClearRecord();
    DdTestFailNth(DD_M_LOCK, 2, DD_ERR_SURFACE_BUSY);
    DdSurfaceDesc d = {sizeof d};
    ASSERT_EQ(s->fn->Lock(s, nullptr, &d, DD_LOCK_WAIT), DD_OK);
    ASSERT_EQ(s->fn->Unlock(s, nullptr), DD_OK);
    EXPECT_EQ(s->fn->Lock(s, nullptr, &d, DD_LOCK_WAIT), DD_ERR_SURFACE_BUSY);
    EXPECT_EQ(s->fn->Lock(s, nullptr, &d, DD_LOCK_WAIT), DD_OK);
    char line[128];
    ASSERT_EQ(DdTestRecordLine(0, line, sizeof line), 0);
    EXPECT_EQ(std::string(line), "surf" + std::to_string(s->id) + " Lock -1 -1 -1 -1 1 0 -> 0");
    EXPECT_EQ(DdTestCountCalls(DD_M_LOCK), 3);
    DdTestFailAlways(DD_M_CREATE_SURFACE, 1, DD_ERR_OUT_OF_MEMORY);
    DdSurfaceDesc c = {sizeof c, DD_SD_CAPS | DD_SD_WIDTH | DD_SD_HEIGHT, 4, 4};
    DdSurface *none = nullptr;
    EXPECT_EQ(dd->fn->CreateSurface(dd, &c, &none, nullptr), DD_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(dd->fn->CreateSurface(dd, &c, &none, nullptr), DD_ERR_OUT_OF_MEMORY);
    s->fn->Unlock(s, nullptr);
}

TEST_F(DdTest, QueryInterfaceAnswersItselfAndRegisteredMakers)
{
    void *out = nullptr;
    ASSERT_EQ(dd->fn->QueryInterface(dd, &DD_IID_DIRECTDRAW4, &out), DD_OK);
    EXPECT_EQ(out, dd);
    dd->fn->Release(dd);
    DdGuid other = {1, 2, 3, {4}};
    EXPECT_EQ(dd->fn->QueryInterface(dd, &other, &out), DD_ERR_NO_INTERFACE);
    ASSERT_EQ(DdRegisterInterface(&other, [](DdDraw *draw, void **o) -> int32_t {
                  *o = draw;
                  return DD_OK;
              }),
              0);
    EXPECT_EQ(dd->fn->QueryInterface(dd, &other, &out), DD_OK);
}

}  // namespace
