// Fonts: edged glyphs, Shift-JIS characters, the glyph cache's capacity and replacement, bad handles.
#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "lib/font/font.h"
#include "tests/graphics/draw_fixture.h"
#include "tests/support/screen_readback.h"

using FontTest = LibraryDrawTest;

// Number of back-screen pixels of one colour inside a box.
static int CountPixels(uint32_t colour, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) n += BackPixel(x, y) == colour;
    return n;
}

TEST_F(FontTest, EdgePixelsSurroundEveryGlyphPixel)
{
    uint32_t white = PackScreenColor(255, 255, 255), red = PackScreenColor(255, 0, 0);
    FillBack(0);
    int font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGE);
    ASSERT_NE(font, -1);
    ASSERT_EQ(DrawTextWithFont(50, 40, "A漢", white, font, red, 0), 0);
    int body = 0, edge = 0;
    for (int y = 38; y < 60; y++)
        for (int x = 48; x < 86; x++) {
            uint32_t p = BackPixel(x, y);
            if (p == white) {
                body++;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) EXPECT_NE(BackPixel(x + dx, y + dy), 0u) << x << "," << y;
            } else if (p == red) {
                edge++;
                int near = 0;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) near += BackPixel(x + dx, y + dy) == white;
                EXPECT_GT(near, 0) << "edge pixel without a glyph pixel at " << x << "," << y;
            }
        }
    EXPECT_GT(body, 20);
    EXPECT_GT(edge, body / 2);
    EXPECT_EQ(CountPixels(white, 0, 0, 640, 38) + CountPixels(red, 0, 0, 640, 38), 0);
}

TEST_F(FontTest, TwoByteCharacterIsOneGlyph)
{
    int font = CreateFontToHandle(nullptr, 16, -1, 0);
    int extent[2];
    ASSERT_EQ(DrawTextCore(0, 0, 0, 0, 1, 1, "あ", 0, nullptr, nullptr, 1, font, 0, -1, 0, extent), 0);
    int used;
    GetFontCacheUsage(font, &used, nullptr);
    EXPECT_EQ(used, 1);
    EXPECT_EQ(extent[0], 16);
    EXPECT_EQ(extent[1], 16);
    // "ソ" has 0x5C ('\\') as its trail byte: still one character.
    ASSERT_EQ(DrawTextCore(0, 0, 0, 0, 1, 1, "ソ", 0, nullptr, nullptr, 1, font, 0, -1, 0, extent), 0);
    GetFontCacheUsage(font, &used, nullptr);
    EXPECT_EQ(used, 2);
    EXPECT_EQ(extent[0], 16);
    // Half-width letters advance half a cell; a lead byte cut off by the length is one byte.
    ASSERT_EQ(DrawTextCore(0, 0, 0, 0, 1, 1, "ab", 0, nullptr, nullptr, 1, font, 0, -1, 0, extent), 0);
    EXPECT_EQ(extent[0], 16);
    ASSERT_EQ(DrawTextCore(0, 0, 0, 0, 1, 1, "あ", 0, nullptr, nullptr, 1, font, 0, 1, 0, extent), 0);
    EXPECT_EQ(extent[0], 8);
}

// Each text draws its own glyphs (white edged red, alone at (20, 20)), as a font that never cached
// another draws them; font's pictures, as the present would show them.
static std::vector<std::vector<uint32_t>> ExpectOwnGlyphs(int font, int fresh,
                                                          const std::vector<std::pair<const char *, std::string>> &cases)
{
    uint32_t white = PackScreenColor(255, 255, 255);
    std::vector<std::vector<uint32_t>> pictures;
    for (const auto &[name, text] : cases) {
        SCOPED_TRACE(name);
        std::vector<uint32_t> drawn[2];
        for (int i = 0; i < 2; i++) {
            EraseDrawTarget();
            EXPECT_EQ(DrawTextWithFont(20, 20, text.c_str(), white, i ? fresh : font, PackScreenColor(255, 0, 0), 0), 0);
            const MEMIMG *back = ReadBackBackScreen();
            for (int y = 0; y < 200; y++)
                for (int x = 0; x < 200; x++) drawn[i].push_back(GetPx(back, x, y));
        }
        EXPECT_GT(std::count(drawn[0].begin(), drawn[0].end(), white), 10);
        EXPECT_TRUE(drawn[0] == drawn[1]);
        pictures.push_back(drawn[0]);
    }
    return pictures;
}

TEST_F(FontTest, AFullCacheReplacesRoundRobinAndEachCharacterDrawsItsOwnGlyph)
{
    int font = CreateFontToHandle(nullptr, 16, -1, 0), fresh = CreateFontToHandle(nullptr, 16, -1, 0);
    int used, capacity;
    GetFontCacheUsage(font, &used, &capacity);
    ASSERT_EQ(capacity, FONT_CACHE_MAX_CHARS);
    std::string all = KanjiRun(0, capacity);
    ASSERT_EQ(DrawTextCore(0, 0, 0, 0, 1, 1, all.c_str(), 0, nullptr, nullptr, 1, font, 0, -1, 0, nullptr), 0);
    GetFontCacheUsage(font, &used, nullptr);
    ASSERT_EQ(used, capacity);
    // The first character makes room for the next new one, and coming back takes the second's place.
    ExpectOwnGlyphs(font, fresh, {{"one more", KanjiRun(capacity, 1)}, {"the first, replaced", KanjiRun(0, 1)},
                                  {"the second, replaced", KanjiRun(1, 1)}, {"one kept", KanjiRun(500, 1)}});
    GetFontCacheUsage(font, &used, nullptr);
    EXPECT_EQ(used, capacity);
    // Three new characters in one text take the places of the three oldest left, the 4th to the 6th (the
    // 3rd went before), and no other character goes.
    std::string three = KanjiRun(capacity + 1, 3);
    ASSERT_EQ(DrawTextCore(0, 0, 0, 0, 1, 1, three.c_str(), 0, nullptr, nullptr, 1, font, 0, -1, 0, nullptr), 0);
    const FontRecord *f = LookUpFontRecord(font);
    for (int n = 0; n < capacity + 4; n++) {
        std::string c = KanjiRun(n, 1);
        EXPECT_EQ(f->index[(uint8_t)c[0] << 8 | (uint8_t)c[1]] == 0, n >= 2 && n <= 5) << "character " << n;
    }
}

// Seven 128-pixel edged entries fill a cache row: nine new characters cached in one call after a
// first one go into the cache in two rectangles, the first row's part across two texture pieces on
// the device, whose copy of the texture must take both. On the software route and on the device
// (OpenGL: SDL's "offscreen" driver; under "dummy" software alone) each draws as alone, and the
// device as software does.
TEST(FontRoutes, GlyphsCachedInOneCallAcrossCacheRowsDrawAsAlone)
{
    int deviceExpected = IsDirect3DRouteExpected();
    SavedRenderRoute savedRoute;
    std::vector<std::vector<uint32_t>> pictures[2];
    for (int onDevice = 0; onDevice < 2; onDevice++) {
        StartDrawLibrary(onDevice ? "d3d" : "software");
        EXPECT_EQ(onDevice && deviceExpected, IsDirect3DDrawUsable());
        int font = CreateFontToHandle(nullptr, 128, -1, FONT_TYPE_EDGE), fresh = CreateFontToHandle(nullptr, 128, -1, FONT_TYPE_EDGE);
        // The first one puts the cache texture on the device.
        EXPECT_EQ(DrawTextWithFont(0, 0, KanjiRun(0, 1).c_str(), 0, font, 0, 0), 0);
        EXPECT_EQ(DrawTextCore(0, 0, 0, 0, 1, 1, KanjiRun(1, 9).c_str(), 0, nullptr, nullptr, 1, font, 0, -1, 0, nullptr), 0);
        if (!onDevice || IsDirect3DDrawUsable())
            pictures[onDevice] = ExpectOwnGlyphs(font, fresh, {{"the 2nd, on the first piece", KanjiRun(1, 1)},
                                                               {"the 7th, last of the first row", KanjiRun(6, 1)},
                                                               {"the 8th", KanjiRun(7, 1)}, {"the 10th", KanjiRun(9, 1)}});
        EndLibrary();
        LeaveFreshTempDir();
    }
    EXPECT_TRUE(!deviceExpected || pictures[0] == pictures[1]) << "the device draws the glyphs otherwise than software";
}

TEST_F(FontTest, LargeFontsFitTheCacheImage)
{
    int font = CreateFontToHandle(nullptr, 128, -1, FONT_TYPE_EDGE);
    int capacity;
    GetFontCacheUsage(font, nullptr, &capacity);
    EXPECT_EQ(capacity, (2048 / 258) * (2048 / 130));
    FillBack(0);
    ASSERT_EQ(DrawTextWithFont(0, 0, "ステージ", PackScreenColor(255, 255, 255), font, 0, 0), 0);
    EXPECT_GT(CountPixels(PackScreenColor(255, 255, 255), 0, 0, 512, 128), 1000);
    EXPECT_EQ(CreateFontToHandle(nullptr, 5000, -1, 0), -1);
}

TEST_F(FontTest, BadHandleIsLoggedAndEmptyTextDrawsNothing)
{
    EXPECT_EQ(DrawTextWithFont(0, 0, "x", 0, 12345, 0, 0), -1);
    int font = CreateFontToHandle(nullptr, 16, -1, 0);
    DeleteFontToHandle(font);
    EXPECT_EQ(DrawTextWithFont(0, 0, "x", 0, font, 0, 0), -1);
    std::ifstream in("Log.txt", std::ios::binary);
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_NE(log.str().find("フォントハンドル値が異常です"), std::string::npos);
    font = CreateFontToHandle(nullptr, 16, -1, 0);
    EXPECT_EQ(DrawTextWithFont(0, 0, "", 0, font, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(0, 0, nullptr, 0, font, 0, 0), 0);
}

TEST_F(FontTest, DefaultFontFollowsTypeAndSizeAndPrintfTruncates)
{
    uint32_t white = PackScreenColor(255, 255, 255);
    FillBack(0);
    ChangeDefaultFontType(FONT_TYPE_EDGE);
    ASSERT_EQ(DrawTextDefaultFont(20, 20, "H", white, PackScreenColor(0, 0, 255)), 0);
    EXPECT_GT(CountPixels(PackScreenColor(0, 0, 255), 18, 18, 40, 40), 0);
    int first = GetDefaultFontHandle();
    ChangeDefaultFontSize(128);
    EXPECT_EQ(LookUpFontRecord(first), nullptr);
    EXPECT_EQ(LookUpFontRecord(GetDefaultFontHandle())->size, 128);
    ChangeDefaultFontSize(16);
    std::string longText(3000, 'W');
    EXPECT_EQ(DrawPrintfText(0, 100, white, "%s%d", longText.c_str(), 7), 0);
    EXPECT_GT(CountPixels(white, 600, 100, 640, 116), 0);
}

TEST_F(FontTest, CachesSurviveTheGraphsGoingAndAScreenModeChange)
{
    uint32_t white = PackScreenColor(255, 255, 255);
    int font = CreateFontToHandle(nullptr, 16, -1, 0);
    ASSERT_EQ(DrawTextWithFont(0, 0, "A", white, font, 0, 0), 0);
    RemoveAllGraphs(0);  // the cache image goes with them
    FillBack(0);
    ASSERT_EQ(DrawTextWithFont(0, 0, "A", white, font, 0, 0), 0);
    EXPECT_GT(CountPixels(white, 0, 0, 16, 16), 5);
    ASSERT_EQ(SelectScreenMode(640, 480, 32, 60), 0);
    SelectDrawTarget(SCREEN_BACK);
    white = PackScreenColor(255, 255, 255);
    ASSERT_EQ(DrawTextWithFont(0, 0, "A", white, font, 0, 0), 0);
    EXPECT_GT(CountPixels(white, 0, 0, 16, 16), 5);
    EXPECT_EQ(RestoreFontCacheImage(font), 0);
    EXPECT_EQ(RestoreFontCacheImage(-1), -1);
}

// Bounding box of the back-screen pixels of one colour: left, top, right, bottom (exclusive).
static Rect FindBox(uint32_t colour)
{
    Rect box = {640, 480, 0, 0};
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++)
            if (BackPixel(x, y) == colour) {
                if (x < box.left) box.left = x;
                if (y < box.top) box.top = y;
                if (x + 1 > box.right) box.right = x + 1;
                if (y + 1 > box.bottom) box.bottom = y + 1;
            }
    return box;
}

TEST_F(FontTest, VerticalTextTurnsEachCellAndStacksDownward)
{
    uint32_t white = PackScreenColor(255, 255, 255);
    int font = CreateFontToHandle(nullptr, 32, -1, 0);
    FillBack(0);
    ASSERT_EQ(DrawTextWithFont(100, 100, "ー", white, font, 0, 0), 0);
    Rect flat = FindBox(white);
    EXPECT_GT(flat.right - flat.left, 2 * (flat.bottom - flat.top));  // a long horizontal bar
    FillBack(0);
    ASSERT_EQ(DrawTextWithFont(100, 100, "ーー", white, font, 0, 1), 0);
    Rect upright = FindBox(white);
    EXPECT_GT(upright.bottom - upright.top, 2 * (upright.right - upright.left));
    EXPECT_GE(upright.left, 100);
    EXPECT_LE(upright.right, 132);
    EXPECT_GT(upright.bottom, 100 + 32 + 16);  // the second character lies below the first
}

TEST_F(FontTest, ClipAndScaleApplyOnlyToThatDraw)
{
    uint32_t white = PackScreenColor(255, 255, 255);
    int font = CreateFontToHandle(nullptr, 16, -1, 0);
    FillBack(0);
    Rect clip = {100, 100, 108, 116};
    Rect region = GDrawSettings.drawRegion;
    ASSERT_EQ(DrawTextCore(1, 100, 100, 0, 1, 1, "WW", white, nullptr, &clip, 1, font, 0, -1, 0, nullptr), 0);
    Rect box = FindBox(white);
    EXPECT_GE(box.left, 100);
    EXPECT_LE(box.right, 108);
    EXPECT_EQ(GDrawSettings.drawRegion.right, region.right);
    FillBack(0);
    int extent[2];
    ASSERT_EQ(DrawTextCore(1, 0, 0, 1, 2.0, 3.0, "W", white, nullptr, nullptr, 1, font, 0, -1, 0, extent), 0);
    EXPECT_EQ(extent[0], 16);
    box = FindBox(white);
    EXPECT_GT(box.bottom - box.top, 30);  // three times the glyph's height
    EXPECT_EQ(GDrawSettings.bright, 0xFFFFFFu);
}

// Text at the ends of the coordinate range, or with scales no picture can have, draws what fits and
// nothing else: no position overflows (the sanitized build would stop).
TEST_F(FontTest, ExtremePositionsAndScalesDrawNothingAmiss)
{
    uint32_t white = PackScreenColor(255, 255, 255);
    int font = CreateFontToHandle(nullptr, 16, -1, FONT_TYPE_EDGE);
    FillBack(0);
    EXPECT_EQ(DrawTextWithFont(INT_MAX - 5, 10, "WWWW", white, font, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(10, INT_MIN, "WWWW", white, font, 0, 0), 0);
    EXPECT_EQ(DrawTextWithFont(10, INT_MAX - 5, "WWWW", white, font, 0, 1), 0);
    const double bad[] = {1e300, -1e300, 0.0 / 0.0, 1e9};
    for (double scale : bad) {
        int extent[2] = {-1, -1};
        EXPECT_EQ(DrawTextCore(1, 0, 0, 1, scale, 1.0, "WW", white, nullptr, nullptr, 1, font, 0, -1, 0, extent), 0);
        EXPECT_EQ(DrawTextCore(1, 0, 0, 1, 1.0, scale, "WW", white, nullptr, nullptr, 1, font, 0, -1, 0, extent), 0);
    }
    Rect box = FindBox(white);
    EXPECT_GE(box.left, box.right);  // nothing reached the screen
    // A long text at a large scale runs off the screen without overflowing its pen.
    std::string longText(400, 'W');
    EXPECT_EQ(DrawTextCore(1, 0, 0, 1, 30000.0, 1.0, longText.c_str(), white, nullptr, nullptr, 1, font, 0, -1, 0,
                           nullptr), 0);
    EXPECT_EQ(DrawTextWithFont(INT_MIN + 5, 10, longText.c_str(), white, font, 0, 0), 0);
}
