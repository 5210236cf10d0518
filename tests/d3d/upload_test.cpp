// Texture upload: every piece receives the part of the picture it shows, converted into its
// texture format, and nothing else of its texture changes.
#include "lib/d3d/d3d_draw_hooks.h"
#include "tests/d3d/renderer_fixture.h"

class UploadTest : public RendererTest {
protected:
    GraphImage picture = {};
    ColorFormatRecord format565 = {};
    void SetUp() override
    {
        RendererTest::SetUp();
        const D3dPixelFormat formats[] = {kD3dFormat565, kD3dFormat4444, kD3dFormatX888, kD3dFormat8888};
        D3dTestSetTextureFormats(formats, 4);
        Start();
        GDirect3D.minTextureSize = 1, GDirect3D.maxTextureSize = 2048;
        MakeColorFormatFromMasks(&format565, 16, 0xF800, 0x7E0, 0x1F, 0);
        ASSERT_EQ(0, AllocGraphImagePixels(&picture, &format565, 640, 480));
        for (int y = 0; y < 480; y++)
            for (int x = 0; x < 640; x++) Pixel(picture, x, y) = Expected(x, y);
    }
    void TearDown() override
    {
        DiscardGraphImage(&picture);
        RendererTest::TearDown();
    }
    static uint16_t Expected(int x, int y) { return (uint16_t)(x * 7 + y * 131 + 1); }
    static uint16_t &Pixel(const GraphImage &image, int x, int y)
    {
        return ((uint16_t *)((uint8_t *)image.pixels + y * image.pitch))[x];
    }
    // A texture graph with its textures filled with 0xABAB.
    static GraphRecord Graph(int width, int height, int alphaCh = 0)
    {
        GraphRecord graph = {};
        graph.handle = 0x08000001;
        graph.format = SurfaceFormat{1, (uint8_t)alphaCh, 0, 0, 0, 16};
        graph.width = width, graph.height = height;
        EXPECT_EQ(0, G_D3D_CreateGraphTextures(&graph));
        for (int i = 0; i < graph.pieces.count; i++) {
            const D3dSurfaceView &view = Texture(graph, i)->view;
            memset(view.pixels, 0xAB, (size_t)view.pitch * view.height);
        }
        return graph;
    }
    static D3dTestSurface *Texture(const GraphRecord &graph, int i)
    {
        return (D3dTestSurface *)LookupSurfaceData(GetSurface3DData(graph.pieces.handles[i])->surfaceData)->ddSurface;
    }
    static uint16_t Texel(const GraphRecord &graph, int i, int x, int y)
    {
        return ((uint16_t *)D3dTestReadRow(Texture(graph, i), y))[x];
    }
    // Texels of (x0, y0)-(x1, y1) of piece i that differ from picture pixel (x + ox, y + oy).
    int Wrong(const GraphRecord &graph, int i, int x0, int y0, int x1, int y1, int ox, int oy)
    {
        int wrong = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) wrong += Texel(graph, i, x, y) != Expected(x + ox, y + oy);
        return wrong;
    }
    static int Untouched(const GraphRecord &graph, int i, int x0, int y0, int x1, int y1)
    {
        int left = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) left += Texel(graph, i, x, y) == 0xABAB;
        return left;
    }
    // A 640 x 480 picture in pieces of 512 and 128 columns: every shown texel written, the 32 margin rows not.
    void ExpectPictureInTwoPieces(const GraphRecord &graph)
    {
        EXPECT_EQ(0, Wrong(graph, 0, 0, 0, 512, 480, 0, 0));
        EXPECT_EQ(0, Wrong(graph, 1, 0, 0, 128, 480, 512, 0));
        EXPECT_EQ(512 * 32, Untouched(graph, 0, 0, 480, 512, 512));
        EXPECT_EQ(128 * 32, Untouched(graph, 1, 0, 480, 128, 512));
    }
};

TEST_F(UploadTest, WholePictureIntoTwoPiecesLeavesTheMargins)
{
    GraphRecord graph = Graph(640, 480);
    ASSERT_EQ(2, graph.pieces.count);
    ASSERT_EQ(0, G_D3D_UploadGraphImage(&graph, 0, &picture, nullptr));
    ExpectPictureInTwoPieces(graph);
    EXPECT_EQ(0, gDisplay.locks);
    EXPECT_EQ(2, gDisplay.colorKeys);

    // A derived frame writes only its own place on the shared texture.
    GraphRecord sheet = Graph(256, 256);
    GraphRecord frame = {};
    frame.handle = 0x08010002, frame.width = 32, frame.height = 32, frame.srcX = 64, frame.srcY = 32;
    ASSERT_EQ(0, G_D3D_DeriveGraphTextures(&frame, &sheet));
    ASSERT_EQ(0, G_D3D_UploadGraphImage(&frame, 0, &picture, nullptr));
    EXPECT_EQ(0, Wrong(sheet, 0, 64, 32, 96, 64, 0, 0));
    EXPECT_EQ(256 * 256 - 32 * 32, Untouched(sheet, 0, 0, 0, 256, 256));
}

TEST_F(UploadTest, RectangleAcrossPiecesAndAtTheirEdge)
{
    GraphRecord graph = Graph(640, 480);
    Rect rect = {100, 200, 116, 216};
    ASSERT_EQ(0, G_D3D_UploadGraphImageRect(&graph, 0, &picture, nullptr, &rect, 500, 10));
    EXPECT_EQ(0, Wrong(graph, 0, 500, 10, 512, 26, 100 - 500, 200 - 10));
    EXPECT_EQ(0, Wrong(graph, 1, 0, 10, 4, 26, 112, 190));
    EXPECT_EQ(512 * 512 - 12 * 16, Untouched(graph, 0, 0, 0, 512, 512));
    EXPECT_EQ(128 * 512 - 4 * 16, Untouched(graph, 1, 0, 0, 128, 512));
    // Starting at the first piece's right edge touches only the second.
    ASSERT_EQ(0, G_D3D_UploadGraphImageRect(&graph, 0, &picture, nullptr, &rect, 512, 100));
    EXPECT_EQ(512 * 512 - 12 * 16, Untouched(graph, 0, 0, 0, 512, 512));
    EXPECT_EQ(0, Wrong(graph, 1, 0, 100, 16, 116, 100, 100));
}

TEST_F(UploadTest, TransparentColourBecomesAlphaOnlyWithoutAnAlphaPicture)
{
    GDrawSettings.transColor = 0;
    Pixel(picture, 0, 0) = 0;  // the transparent colour
    GraphRecord graph = Graph(32, 32, 1);
    const ColorFormatRecord *format = G_D3D_GetTextureFormatColorFormat(2);
    ASSERT_EQ(0xF000u, format->alphaMask);
    ASSERT_EQ(0, G_D3D_UploadGraphImage(&graph, 0, &picture, nullptr));
    EXPECT_EQ(0u, Texel(graph, 0, 0, 0) & 0xF000u);
    EXPECT_EQ(0xF000u, Texel(graph, 0, 1, 0) & 0xF000u);
    GraphImage alpha = {};
    ASSERT_EQ(0, AllocGraphImagePixels(&alpha, &format565, 640, 480));
    memset(alpha.pixels, 0xFF, (size_t)alpha.pitch * 480);
    ASSERT_EQ(0, G_D3D_UploadGraphImage(&graph, 0, &picture, &alpha));
    EXPECT_EQ(0xF000u, Texel(graph, 0, 0, 0) & 0xF000u);
    DiscardGraphImage(&alpha);
}

TEST_F(UploadTest, RefusalsWriteNothing)
{
    GraphRecord graph = Graph(640, 480);
    struct Case {
        const char *name;
        int srcX, lockFails;
    } cases[] = {{"source past the picture", 1, 0}, {"temporary texture not lockable", 0, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        graph.srcX = c.srcX;
        gDisplay.lockFails = gDisplay.wholeLockFails = c.lockFails;
        EXPECT_EQ(-1, G_D3D_UploadGraphImage(&graph, 0, &picture, nullptr));
        EXPECT_EQ(512 * 512, Untouched(graph, 0, 0, 0, 512, 512));
        EXPECT_EQ(0, gDisplay.systemTextures);
    }
    EXPECT_NE(std::string::npos, LogText().find("テンポラリテクスチャサーフェスのロックに失敗しました"));
    gDisplay.lockFails = gDisplay.wholeLockFails = 0, graph.srcX = 0;
    Rect outside = {600, 0, 700, 10};
    EXPECT_EQ(-1, G_D3D_UploadGraphImageRect(&graph, 0, &picture, nullptr, &outside, 0, 0));
    int gone = graph.pieces.handles[0];
    FakeRelease(GetSurface3DData(gone)->surfaceData);
    DeleteSurface3DData(gone);
    EXPECT_EQ(-1, G_D3D_UploadGraphImage(&graph, 0, &picture, nullptr));
    EXPECT_EQ(-1, G_D3D_UploadTexturePiece(&outside, 0, 0, gone, &picture, nullptr, 1));
}

TEST_F(UploadTest, BitmapSourcesAreRefusedWithALine)
{
    GraphRecord graph = Graph(640, 480);
    Rect part = {0, 0, 16, 16};
    EXPECT_EQ(-1, G_D3D_UploadGraphImage(&graph, 1, &picture, nullptr));
    EXPECT_EQ(-1, G_D3D_UploadGraphImageRect(&graph, 1, &picture, nullptr, &part, 0, 0));
    EXPECT_EQ(512 * 512, Untouched(graph, 0, 0, 0, 512, 512));
    EXPECT_NE(std::string::npos, LogText().find("ビットマップからの転送には対応していません in G_D3D_UploadGraphImage\n"));
    EXPECT_NE(std::string::npos, LogText().find("ビットマップからの転送には対応していません in G_D3D_UploadGraphImageRect\n"));
}

TEST_F(UploadTest, TheDirectRouteUnlocksThroughTheSurface3DUnlock)
{
    GraphRecord graph = Graph(640, 480);
    int piece = graph.pieces.handles[0];
    Rect rect = {0, 0, 8, 8};
    int pitch;
    uint8_t *pixels;
    ASSERT_EQ(0, FakeLock(GetSurface3DData(piece)->surfaceData, &pitch, &pixels, 1, &rect));
    // Unlocked once; then nothing is locked, and stale handles are refused.
    EXPECT_EQ((std::vector<int>{0, -1, -1, -1}),
              (std::vector<int>{G_D3D_UnlockSurface3D(piece, &rect), G_D3D_UnlockSurface3D(piece, &rect),
                                G_D3D_UnlockSurface3D(piece + 1, &rect), G_D3D_UnlockSurface3D(-1, &rect)}));
    // The upload's direct route leaves no lock behind.
    ASSERT_EQ(0, G_D3D_UploadGraphImage(&graph, 0, &picture, nullptr));
    EXPECT_EQ(0, gDisplay.locks);
}

TEST_F(UploadTest, UnlockableTextureFilledThroughATemporaryTexture)
{
    GraphRecord graph = Graph(640, 480);
    gDisplay.lockFails = 1;
    int mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_UploadGraphImage(&graph, 0, &picture, nullptr));
    ExpectPictureInTwoPieces(graph);
    // Each piece's temporary has the texture's full size; only the shown part is loaded.
    EXPECT_EQ(128, gDisplay.systemWidth);
    EXPECT_EQ(512, gDisplay.systemHeight);
    std::string loads = Calls(mark, D3D_CALL_LOAD);
    EXPECT_EQ(2, Count(loads, " Load "));
    EXPECT_EQ(2, Count(loads, "(0,0) "));
    EXPECT_EQ(1, Count(loads, "(0,0,512,480)"));
    EXPECT_EQ(1, Count(loads, "(0,0,128,480)"));

    // A rectangle lands at its place, with the untouched rest of the texture kept.
    Rect rect = {100, 200, 116, 216};
    mark = D3dTestMark();
    ASSERT_EQ(0, G_D3D_UploadGraphImageRect(&graph, 0, &picture, nullptr, &rect, 500, 10));
    EXPECT_EQ(0, Wrong(graph, 1, 0, 10, 4, 26, 112, 190));
    EXPECT_EQ(1, Count(Calls(mark, D3D_CALL_LOAD), "(500,10) "));
    EXPECT_EQ(1, Count(Calls(mark, D3D_CALL_LOAD), "(500,10,512,26)"));
    EXPECT_EQ(0, gDisplay.systemTextures);
    EXPECT_EQ(4, gDisplay.colorKeys);
}

TEST_F(UploadTest, TemporaryRouteFailuresAreFatal)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    GraphRecord graph = Graph(32, 32);
    gDisplay.lockFails = 1;
    struct Case {
        int createFails;
        const char *text;
    } cases[] = {{1, "テンポラリテクスチャサーフェスの作成に失敗しました"},
                 {0, "作業用テクスチャサーフェスから描画用テクスチャサーフェスへの画像転送に失敗しました"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        gDisplay.systemTextureFails = c.createFails;
        D3dTestFail(D3D_CALL_LOAD, D3D_ERR_GENERIC, c.createFails ? 0 : -1, 0);
        EXPECT_EXIT(G_D3D_UploadGraphImage(&graph, 0, &picture, nullptr), testing::ExitedWithCode(255), "");
        EXPECT_NE(std::string::npos, LogText().find(c.text));
    }
    D3dTestFail(D3D_CALL_LOAD, 0, 0, 0);
}
