// The renderer's shapes and string draw inside a running library on the Direct3D route (recording
// back end): suspended shapes reach the software drawers, and the string draw's routes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/font/font.h"
#include "lib/graphics/draw.h"
#include "lib/graphics/graphics_start.h"
#include "platform/ddraw/ddraw.h"
#include "lib/graphics/surface_data.h"
#include "platform/d3d/d3d_surface.h"
#include "testsupport/d3d/d3d_test.h"
#include "tests/graphics/draw_fixture.h"
#include "tests/support/screen_readback.h"
#include "testsupport/test_hooks.h"

// What the software drawers were given.
static std::vector<std::vector<int>> sSoftware;
static void SpyFill(MEMIMG *, const int *r, unsigned colour) { sSoftware.push_back({r[0], r[1], r[2], r[3], (int)colour}); }
static void SpyLines(MEMIMG *, const LineSegmentRecord *l, int n)
{
    for (int i = 0; i < n; i++) sSoftware.push_back({l[i].x1, l[i].y1, l[i].x2, l[i].y2, l[i].colour});
}
static void SpyCircle(MEMIMG *, int x, int y, int r, unsigned c, int fill) { sSoftware.push_back({x, y, r, (int)c, fill}); }

class DeviceRouteTest : public LibraryDrawTest {
protected:
    SavedRenderRoute savedRoute;
    void SetUp() override
    {
        D3dTestReset();
        D3dSetSurfacePort(nullptr);
        ASSERT_EQ(0, D3dSelectBackend("record"));
        StartDrawLibrary("d3d");
        ASSERT_EQ(1, IsDirect3DDrawUsable());
        sSoftware.clear();
        SoftwareDrawRoute spy = {"spy", nullptr, nullptr, SpyFill, SpyLines, nullptr, SpyCircle};
        SetSoftwareDrawRoute(&spy);
        D3dTestRecord(1);
    }
    void TearDown() override
    {
        SetSoftwareDrawRoute(nullptr);
        LibraryDrawTest::TearDown();
        D3dTestReset();
    }
    // Makes a graph in system memory the draw target: the device cannot render into it.
    void SuspendOnSystemGraph(void)
    {
        int graph = MakeSystemMemoryGraph(64, 64, 0);
        ASSERT_NE(-1, graph);
        ASSERT_EQ(0, SelectDrawTarget(graph));
        ASSERT_EQ(1u, GDirect3D.suspended);
    }
    static int Used(int font)
    {
        int used = -1;
        GetFontCacheUsage(font, &used, nullptr);
        return used;
    }
};

TEST_F(DeviceRouteTest, SuspendedShapesGoToTheSoftwareDrawersUnchanged)
{
    SuspendOnSystemGraph();
    int mark = D3dTestMark();
    EXPECT_EQ(0, G_D3D_DrawSolidRectangle(30, 20, 10, 5, 0x1234));
    EXPECT_EQ(0, G_D3D_DrawRectangleOutline(1, 2, 5, 9, 0xFF));
    EXPECT_EQ(0, G_D3D_DrawCircle(-5, 70, 9, 0xBEEF, 1));
    EXPECT_EQ(0, G_D3D_DrawCircle(6, 7, 3, 0xBEEF, 0));
    const std::vector<std::vector<int>> expected = {{30, 20, 10, 5, 0x1234}, {1, 2, 4, 2, 0xFF}, {4, 2, 4, 8, 0xFF},
                                                    {4, 8, 1, 8, 0xFF},      {1, 8, 1, 2, 0xFF}, {-5, 70, 9, 0xBEEF, 1},
                                                    {6, 7, 3, 0xBEEF, 0}};
    EXPECT_EQ(expected, sSoftware);
    EXPECT_STREQ("", D3dTestLogText(mark, D3D_CALL_DRAW_PRIMITIVE));
}

TEST_F(DeviceRouteTest, StringDrawRestoresTheCacheThenDrawsThroughTheTextCore)
{
    int font = CreateFontToHandle(nullptr, 16, -1, 0);
    FontRecord *f = LookUpFontRecord(font);
    ASSERT_TRUE(f && f->textureFlag);
    EXPECT_EQ(-1, G_D3D_RenderFontString(0, 0, "A", 0xFFFF, font + 1, 0, 0));
    EXPECT_EQ(0, G_D3D_RenderFontString(0, 0, nullptr, 0xFFFF, font, 0, 0));
    ASSERT_EQ(0, G_D3D_RenderFontString(10, 10, "AB", 0xFFFF, font, 0, 1));
    EXPECT_EQ(2, Used(font));
    // A lost cache is made again (emptied) before the core renders this text's characters.
    f->cacheTextureLost = 1;
    ASSERT_EQ(0, G_D3D_RenderFontString(10, 50, "C", 0xFFFF, font, 0, 0));
    EXPECT_EQ(1, Used(font));

    // Direct3D down or suspended: nothing drawn, the cache untouched even when lost.
    f->cacheTextureLost = 1;
    D3dObject *direct3D = GDirect3D.direct3D;
    GDirect3D.direct3D = nullptr;
    EXPECT_EQ(-1, G_D3D_RenderFontString(0, 0, "D", 0xFFFF, font, 0, 0));
    GDirect3D.direct3D = direct3D;
    SuspendOnSystemGraph();
    EXPECT_EQ(-1, G_D3D_RenderFontString(0, 0, "D", 0xFFFF, font, 0, 0));
    EXPECT_EQ((std::vector<int>{1, 1}), (std::vector<int>{Used(font), f->cacheTextureLost}));
    // A font with its cache in memory is drawn by the software string draw, suspended or not.
    f->textureFlag = 0;
    EXPECT_EQ(0, G_D3D_RenderFontString(0, 0, "D", 0xFFFF, font, 0, 0));
    EXPECT_EQ(2, Used(font));
}

// The vertices the device drew since mark (the batch drawn first); -1 when anything but a batched
// textured quad list came.
static int QuadVertices(int mark, std::vector<D3dRecordedVertex> *out)
{
    G_D3D_FlushVertexBatch();
    int total = 0;
    for (int i = mark; i < D3dTestLogCount(); i++) {
        if (D3dTestLogKind(i) == D3D_CALL_DRAW_INDEXED_PRIMITIVE) return -1;
        int n = 0;
        const D3dRecordedVertex *v = D3dTestLogVertices(i, &n);
        if (D3dTestLogKind(i) == D3D_CALL_DRAW_PRIMITIVE && !strstr(D3dTestLogText(i, D3D_CALL_DRAW_PRIMITIVE), "0x144"))
            return -1;
        if (v) out->insert(out->end(), v, v + n);
        total += n;
    }
    return total;
}

TEST_F(DeviceRouteTest, TextureFontDrawsFromItsTextureCacheWithDeviceDrawsOnly)
{
    int font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGE);
    FontRecord *f = LookUpFontRecord(font);
    ASSERT_TRUE(f && f->textureFlag);
    struct Step {
        const char *name;
        int lose;  // 1: the display rebuilt; 2: the surfaces lost in window mode, restored in place
        int vertical, locks;  // texture locks: one upload of the new cells, none once cached
    } steps[] = {{"first", 0, 0, 1}, {"again", 0, 0, 0}, {"vertical", 0, 1, 0}, {"after a loss", 1, 0, 1},
                 {"after a surface loss", 2, 0, 1}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        if (step.lose == 1) {
            ASSERT_EQ(0, RestoreDisplay());
            EXPECT_EQ(1, f->cacheTextureLost);
        } else if (step.lose == 2) {
            DdTestLoseAllSurfaces();
            ASSERT_EQ(0, TestAndRestoreSurfaces());
        }
        // A blend graph is set: the text does without it, and it is set again afterwards.
        int blend = MakeBlankGraph(32, 32, 0);
        ASSERT_EQ(0, SelectBlendGraph(blend, 64, 32));
        DdTestClearRecord();
        int mark = D3dTestMark();
        ASSERT_EQ(0, DrawTextWithFont(100, 50, "AB", 0xFFFF, font, 0xF800, step.vertical));
        EXPECT_EQ((std::vector<int>{blend, 64, 32}), (std::vector<int>{GDrawSettings.blendGraph, GDrawSettings.blendGraphBorderParam,
                                                                      GDrawSettings.blendGraphBorderRange}));
        SelectBlendGraph(-1, 0, 0);
        RemoveGraph(blend, 0);
        std::vector<D3dRecordedVertex> v;
        // Two characters, edge and body: four quads in one batch, no lock of the draw target.
        EXPECT_EQ(24, QuadVertices(mark, &v));
        EXPECT_EQ(step.locks, DdTestCountCalls(DD_M_LOCK));
        EXPECT_EQ(2, Used(font));
        const GraphRecord *cache = LookupGraph(f->cacheGraph);
        ASSERT_TRUE(cache && cache->format.textureFlag && cache->format.alphaChFlag);
        // Cells not written yet are white and clear (a lost texture is not left with the loss's fill).
        const SurfaceDataRecord *data =
            LookupSurfaceData(GetSurface3DData(cache->pieces.handles[cache->pieces.count - 1])->surfaceData);
        const DdSurface *texture = (const DdSurface *)data->ddSurface;
        EXPECT_EQ(MatchColorToPixel(G_D3D_GetTextureFormatColorFormat(data->textureFormatSlot), 255, 255, 255, 0),
                  *(const uint16_t *)(texture->pixels + (texture->height - 1) * texture->pitch));
        if (v.size() < 24) continue;
        // Edges in red first, bodies in white; the bright and the blend graph are as before.
        EXPECT_EQ((std::vector<uint32_t>{0xFFFF0000u, 0xFFFFFFFFu}), (std::vector<uint32_t>{v[0].diffuse, v[12].diffuse}));
        EXPECT_EQ(0xFFFFFFu, GDrawSettings.bright);
        // The first body cell: at (100, 50) less half a pixel, or turned a quarter with its top-left
        // corner at the right (cells are 16 x 16).
        const D3dRecordedVertex &body = v[12];
        EXPECT_EQ((std::vector<float>{step.vertical ? 115.5f : 99.5f, 49.5f}), (std::vector<float>{body.x, body.y}));
    }
    EXPECT_EQ(0, f->cacheTextureLost);
}

TEST_F(DeviceRouteTest, TwelveEdgedFontsWithFullCachesHoldOneGraphEach)
{
    D3dTestRecord(0);
    int graphs = GetGraphCount(), font = -1, capacity = 0;
    for (int i = 0; i < 12; i++) {
        font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGE);
        GetFontCacheUsage(font, nullptr, &capacity);
        ASSERT_EQ(0, DrawTextWithFont(0, 0, KanjiRun(0, 1).c_str(), 0xFFFF, font, 0xF800, i % 2));
        uint32_t pieces = GDirect3D.surface3DCount;
        ASSERT_EQ(0, DrawTextWithFont(0, 0, KanjiRun(1, capacity - 1).c_str(), 0xFFFF, font, 0xF800, i % 2));
        ASSERT_EQ(capacity, Used(font));
        // The cache graph alone, with its pieces.
        ASSERT_EQ(graphs + i + 1, GetGraphCount());
        ASSERT_EQ(pieces, GDirect3D.surface3DCount);
    }
}

// New glyphs reach the cache texture by their cells: its unlock names just the entries the string
// added, so the device's copy takes only them again, not the whole 1024 x 256 cache. Under the
// no-draw guard text sends nothing.
TEST_F(DeviceRouteTest, NewGlyphsUnlockJustTheirCellsAndTheGuardStopsText)
{
    int font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGE);
    FontRecord *f = LookUpFontRecord(font);
    ASSERT_TRUE(f && f->textureFlag);
    ASSERT_EQ(0, DrawTextWithFont(0, 0, "AB", 0xFFFF, font, 0, 0));
    DdTestClearRecord();
    ASSERT_EQ(0, DrawTextWithFont(0, 0, "ABCD", 0xFFFF, font, 0, 0));
    ASSERT_EQ(1, DdTestCountCalls(DD_M_UNLOCK));
    DdRecordEntry unlock = {};
    for (int i = 0; DdTestGetRecord(i, &unlock) == 0 && unlock.method != DD_M_UNLOCK; i++) {}
    EXPECT_EQ((std::vector<int>{2 * f->entryWidth, 0, 4 * f->entryWidth, f->entryHeight}),
              std::vector<int>(unlock.args, unlock.args + 4));
    G_D3D_FlushVertexBatch();
    GDrawSettings.noDrawGuard = 1;
    int mark = D3dTestMark();
    EXPECT_EQ(0, DrawTextWithFont(10, 10, "AB", 0xFFFF, font, 0xF800, 0));
    GDrawSettings.noDrawGuard = 0;
    std::vector<D3dRecordedVertex> v;
    EXPECT_EQ(0, QuadVertices(mark, &v));
}

// The surface data of a texture graph's first piece (the piece in *piece), or null.
static const SurfaceDataRecord *PieceData(int graph, const Surface3DData **piece)
{
    const GraphRecord *record = LookupGraph(graph);
    *piece = record ? GetSurface3DData(record->pieces.handles[0]) : nullptr;
    return *piece ? LookupSurfaceData((*piece)->surfaceData) : nullptr;
}

// The pixels of a texture graph's first piece, row by row.
static std::vector<uint8_t> PiecePixels(int graph)
{
    const Surface3DData *piece;
    const SurfaceDataRecord *data = PieceData(graph, &piece);
    if (!data) return {};
    int bytes = G_D3D_GetTextureFormatColorFormat(data->textureFormatSlot)->pixelByte, pitch = 0;
    uint8_t *pixels = nullptr;
    Rect rect = {piece->surfaceX, piece->surfaceY, piece->surfaceX + piece->width, piece->surfaceY + piece->height};
    if (LockSurfaceData(piece->surfaceData, &pitch, &pixels, 0, &rect, nullptr) == -1) return {};
    std::vector<uint8_t> out;
    for (int y = 0; y < piece->height; y++) out.insert(out.end(), pixels + y * pitch, pixels + y * pitch + piece->width * bytes);
    UnlockSurfaceData(piece->surfaceData, &rect);
    return out;
}

// A full-screen loss: the device and its textures go, the display is rebuilt around them. Each
// texture keeps its pixels for its new surface, a glyph cache excepted (its font makes it again): the
// new surface takes over the old one's memory block, no copy of it. One that cannot (its lock refused
// at the release, or its new surface refusing them) has its graphs reload their pictures: a graph made
// from memory from the picture it keeps, a blank graph and a part of it from nothing (logged); a glyph
// cache is made again by its font, with no log of its own.
// (Graphs from files are reloaded in the game's restore runs.)
TEST_F(DeviceRouteTest, ARestoreGivesTexturesTheirPixelsOrReloadsTheirPictures)
{
    int blank = MakeBlankGraph(16, 16, 0), blankPart = DeriveGraph(4, 4, 8, 8, blank);
    GraphImage picture = MakePicture(40, 24, [](int x, int y) { return (uint32_t)(x * 6) << 16 | (uint32_t)(y * 10) << 8 | 0x40; });
    GraphImage alpha = MakePicture(40, 24, [](int x, int y) { return (uint32_t)(x * 6 + y); });
    int fromMemory = MakeGraphFromImages(&picture, nullptr);
    // With an alpha picture: the texture takes its alpha from it, which the reload needs too.
    int withAlpha = MakeGraphFromImages(&picture, &alpha);
    DiscardGraphImage(&picture);
    DiscardGraphImage(&alpha);
    int part = DeriveGraph(8, 4, 16, 16, fromMemory);
    RemoveGraph(fromMemory, 0);  // the derived part keeps the picture
    ASSERT_TRUE(part != -1 && blankPart != -1 && LookupGraph(withAlpha) && LookupGraph(withAlpha)->format.alphaChFlag);
    const std::vector<uint8_t> partBefore = PiecePixels(part), alphaBefore = PiecePixels(withAlpha);
    int font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGE);
    // After a refusal the next restore gives back what the texture holds then, nothing left from it.
    struct Case {
        const char *name;
        int refusedAtRelease;  // every lock refused while the device goes
        int refusedAtRebuild;  // the first trade of the rebuild refused: the blank graph's, made first
    } cases[] = {{"pixels refused by the new surface", 0, 1}, {"pixels kept", 0, 0},
                 {"lock refused at the release", 1, 0}};
    for (int i = 0; i < 3; i++) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, FillGraphSurfaces(blank, 40 + 80 * i, 80, 120, 255));
        const std::vector<uint8_t> blankBefore = PiecePixels(blank);
        ASSERT_EQ(0, DrawTextWithFont(0, 0, "AB", 0xFFFF, font, 0, 0));
        std::string start = ReadTestFile("Log.txt");
        // Held here so that the new surface cannot be given the old one's block again by the allocator.
        int refused = c.refusedAtRelease || c.refusedAtRebuild;
        const Surface3DData *piece;
        DdSurface *old = (DdSurface *)PieceData(blank, &piece)->ddSurface;
        old->fn->AddRef(old);
        uint8_t *oldPixels = old->pixels;

        DdTestFailAlways(DD_M_LOCK, c.refusedAtRelease, DD_ERR_GENERIC);
        DdTestClearRecord();
        ASSERT_EQ(0, G_D3D_ReleaseDirect3D());
        // Three textures read: the glyph caches are not.
        EXPECT_EQ(3, DdTestCountCalls(DD_M_LOCK));
        DdTestFailAlways(DD_M_LOCK, 0, DD_OK);
        if (c.refusedAtRebuild) DdTestFailNth(DD_M_TRADE_PIXELS, 1, DD_ERR_GENERIC);
        ASSERT_EQ(0, RestoreDisplay());
        DdTestFailNth(DD_M_TRADE_PIXELS, 0, DD_OK);
        EXPECT_EQ(!refused, ((DdSurface *)PieceData(blank, &piece)->ddSurface)->pixels == oldPixels);
        old->fn->Release(old);
        ASSERT_EQ(1, IsDirect3DDrawUsable());
        EXPECT_EQ(partBefore, PiecePixels(part));
        EXPECT_TRUE(alphaBefore == PiecePixels(withAlpha)) << "the alpha channel is lost";
        EXPECT_EQ(!refused, blankBefore == PiecePixels(blank));
        // Only the blank graph and its part have nothing to reload from.
        std::string log = ReadTestFile("Log.txt").substr(start.size()), undefined;
        for (size_t at = log.find("グラフィック 0x"); at != std::string::npos; at = log.find("グラフィック 0x", at + 1))
            undefined += log.substr(at, log.find('\r', at) - at) + "\n";
        char expected[160];
        snprintf(expected, sizeof expected, "グラフィック 0x%08x の内容は不定です\nグラフィック 0x%08x の内容は不定です\n", blank, blankPart);
        EXPECT_EQ(refused ? expected : "", undefined) << log;
    }
}

// The device on OpenGL (SDL's "offscreen" driver; under "dummy" the tests skip), its pictures read
// back as the present would show them.
class DeviceRouteGlTest : public DeviceRouteTest {
protected:
    void SetUp() override
    {
        D3dTestReset();
        ASSERT_EQ(0, D3dSelectBackend("gl"));
        StartDrawLibrary("d3d");
        if (!IsDirect3DDrawUsable()) GTEST_SKIP() << "the Direct3D route needs OpenGL (SDL_VIDEODRIVER=offscreen)";
    }
};

// A refused re-creation of the device ends nothing: until a restore brings the device back, text,
// image and blend-graph draws and uploads do nothing (said once in the log), and then they draw as
// before, the blend graph selected throughout bound to its new texture.
TEST_F(DeviceRouteGlTest, ARefusedRecreationDrawsNothingUntilARestoreBringsTheDeviceBack)
{
    int font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGE);
    GraphImage picture = MakePicture(32, 32, [](int x, int y) { return (uint32_t)(x * 8) << 16 | (uint32_t)(y * 8) << 8 | 0x80; });
    GraphImage wipe = MakePicture(32, 32, [](int x, int y) { return (uint32_t)((x + y) * 4) * 0x010101u; });
    int image = MakeGraphFromImages(&picture, nullptr), blend = MakeGraphFromImages(&wipe, &wipe);
    DiscardGraphImage(&wipe);
    ASSERT_TRUE(font != -1 && image != -1 && blend != -1);
    ASSERT_EQ(0, SelectBlendGraph(blend, 128, 64));
    // The image through the blend graph, text, the image alone; the blend graph is left selected.
    auto frame = [&] {
        EraseDrawTarget();
        PutGraph(140, 10, image, 0);
        SelectBlendGraph(-1, 0, 0);
        DrawTextWithFont(10, 10, "AB漢", PackScreenColor(255, 255, 255), font, PackScreenColor(255, 0, 0), 0);
        PutGraph(100, 10, image, 0);
        SelectBlendGraph(blend, 128, 64);
        return Pixels(ReadBackBackScreen());
    };
    const std::vector<uint32_t> drawn = frame(), black(drawn.size(), 0);
    EXPECT_GT(std::count(drawn.begin(), drawn.end(), PackScreenColor(255, 255, 255)), 100);  // the text
    // Each refusal is said once, whatever is refused after it.
    auto said = [] {
        std::string log = ReadTestFile("Log.txt"), line = "３Ｄデバイスが無いため、作り直されるまで描画と画像の転送を行いません\r\n";
        int n = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) n++;
        return n;
    };
    for (int refusal = 1; refusal <= 2; refusal++) {
        D3dTestFail(D3D_CALL_CREATE_DEVICE, D3D_ERR_GENERIC, 1, 0);
        ASSERT_EQ(0, RestoreDisplay());
        ASSERT_EQ(nullptr, G_D3D_GetDevice());
        EXPECT_EQ(0, PutGraph(100, 10, image, 0));
        EXPECT_EQ(refusal, said());
        EXPECT_TRUE(frame() == black);
        EXPECT_EQ(-1, SetGraphImage(image, 0, 0, &picture, nullptr));
        EXPECT_TRUE(frame() == black);
        EXPECT_EQ(refusal, said());
    }
    ASSERT_EQ(0, RestoreDisplay());
    ASSERT_NE(nullptr, G_D3D_GetDevice());
    EXPECT_TRUE(frame() == drawn);
    DiscardGraphImage(&picture);
}
