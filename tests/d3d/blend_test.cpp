// Blend states and texture-stage programs as chosen from the draw settings and the piece's alpha
// kind, on recorded calls: the mode by alpha-kind matrix, the blend-graph ramp and what a repeated
// or texture-only draw sends.
#include "lib/d3d/d3d_draw_hooks.h"
#include "tests/d3d/renderer_fixture.h"

class BlendTest : public RendererTest {
protected:
    int mark = 0;
    int pieces[4] = {};  // colour key, alpha channel, alpha test, a second colour-keyed one
    void SetUp() override
    {
        RendererTest::SetUp();
        Start();
        G_D3D_BeginScene(0);
        static const SurfaceFormat formats[4] = {
            {1, 0, 0, 0, 0, 16}, {1, 1, 0, 0, 0, 16}, {1, 0, 0, 0, 1, 16}, {1, 0, 0, 0, 0, 16}};
        for (int i = 0; i < 4; i++) {
            pieces[i] = AddSurface3DData(32, 32, 0, 0, 32, 32, 0, 0, 0x08000001, nullptr, 0, 0, &formats[i]);
            ASSERT_NE(-1, pieces[i]);
            FakeBuild(GetSurface3DData(pieces[i])->surfaceData);
        }
        mark = D3dTestMark();
    }
    const Surface3DData *Piece(int i) { return i < 0 ? nullptr : GetSurface3DData(pieces[i]); }
    void Draw(int piece, int mode, uint32_t flags = PREPARE_PIECE_ALPHA)
    {
        GDrawSettings.blendMode = mode;
        G_D3D_PrepareDrawState(Piece(piece), flags);
    }
};

enum { UNTEXTURED = -1, KEY = 0, CHANNEL = 1, TEST = 2 };
#define KEPT 77u  // a factor the mode does not set stays as it was

TEST_F(BlendTest, ModeByAlphaKindMatrix)
{
    // Mode's DESTBLEND and SRCBLEND (KEPT: not sent) and whether it blends.
    struct Row {
        uint32_t dest, src, blending;
    } rows[13] = {
        {KEPT, KEPT, 0}, {6, 5, 1}, {2, 5, 1}, {1, 10, 1}, {3, 1, 1}, {2, 5, 1}, {KEPT, KEPT, 0},
        {KEPT, KEPT, 1}, {2, 1, 1},  {1, 10, 1}, {6, 5, 1}, {3, 1, 1}, {KEPT, KEPT, 0},
    };
    for (int mode = 0; mode <= 12; mode++) {
        for (int kind : {UNTEXTURED, KEY, CHANNEL, TEST}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " kind " + std::to_string(kind));
            Draw(KEY, 0);
            Device().srcBlend = Device().destBlend = KEPT;
            Draw(kind, mode);
            const Device3DRecord &d = Device();
            const Row &row = rows[mode];
            if (mode == 12) {
                EXPECT_EQ(1u, d.skip);  // no row: drawn as nothing
                continue;
            }
            bool alphaTest = kind == TEST && (mode == 0 || mode == 8);
            bool channel = kind == CHANNEL || (kind == TEST && !alphaTest);
            bool ownFactors = channel && !row.blending;
            EXPECT_EQ(0u, d.skip);
            EXPECT_EQ(kind == KEY, d.colorKeyEnable == 1);
            EXPECT_EQ(channel || row.blending ? 1u : 0u, d.alphaBlendEnable);
            EXPECT_EQ(ownFactors ? 5u : row.src, d.srcBlend);
            EXPECT_EQ(ownFactors ? 6u : row.dest, d.destBlend);
            EXPECT_EQ(alphaTest ? 1u : 0u, d.alphaTestEnable);
            if (alphaTest) {
                EXPECT_EQ(16u, d.alphaRef);
                EXPECT_EQ(5u, d.alphaFunc);
            }
            EXPECT_EQ(0xFFFFFFFFu, d.textureFactor);
            int programKind = mode == 11 ? 1 : mode == 10 ? 2 : 0;
            EXPECT_EQ(kind != UNTEXTURED && programKind == 1 ? 2u : 1u, d.stageCount);
            const StageRecord &s0 = d.stages[0], &last = d.stages[d.stageCount];
            EXPECT_EQ(1, last.colorOp);
            EXPECT_EQ(1, last.alphaOp);
            if (kind == UNTEXTURED) {
                EXPECT_EQ((uint32_t)VERTEX_TYPE_COLOR, d.vertexType);
                EXPECT_EQ(3, s0.alphaOp);
                int op = mode == 3 || programKind == 2 ? 2 : programKind == 1 ? 12 : 3;
                EXPECT_EQ(op, s0.colorOp);
                if (programKind == 2 && mode != 3) {
                    EXPECT_EQ(0x10, s0.colorArg1);
                }
                continue;
            }
            EXPECT_EQ((uint32_t)VERTEX_TYPE_TEXTURED, d.vertexType);
            EXPECT_EQ(programKind == 2 ? 0x12 : 2, s0.colorArg1);
            // Diffuse alpha multiplies in every mode but 0; no alpha kind takes the diffuse alpha alone.
            EXPECT_EQ(kind == KEY ? 3 : mode == 0 ? 2 : 4, s0.alphaOp);
            if (programKind == 1) {
                EXPECT_EQ(16, d.stages[1].colorOp);
                EXPECT_EQ(3, d.stages[1].colorArg2);
            }
        }
    }
}

TEST_F(BlendTest, RepeatedDrawSendsNothingAndATextureSwitchOneSetTexture)
{
    GDrawSettings.bright = 0xFFFFFE;
    Draw(KEY, 1, PREPARE_PIECE_ALPHA | PREPARE_Z);
    EXPECT_EQ(1u, Device().diffuseColorFlag);
    QueueQuads(1);
    mark = D3dTestMark();
    Draw(KEY, 1, PREPARE_PIECE_ALPHA | PREPARE_Z);
    EXPECT_EQ("", Calls(mark));
    Draw(3, 1, PREPARE_PIECE_ALPHA | PREPARE_Z);
    std::string calls = Calls(mark);
    EXPECT_EQ(0u, calls.find("dev1 DrawPrimitive"));
    EXPECT_EQ(1, Count(calls, "SetTexture 0 "));
    EXPECT_EQ(2, Count(calls, "\n")) << calls;

    // Z turned on rebuilds the blend state: the keyed image gets the alpha test that keeps its holes
    // out of the Z buffer, and off again drops it, once each after the pending quads.
    GDrawSettings.zEnable = 1;
    Draw(3, 1, PREPARE_PIECE_ALPHA | PREPARE_Z);
    EXPECT_EQ(1u, Device().alphaTestEnable);
    EXPECT_EQ(0u, Device().alphaRef);
    QueueQuads(1);
    mark = D3dTestMark();
    Draw(3, 1, PREPARE_PIECE_ALPHA);
    calls = Calls(mark);
    EXPECT_EQ(0u, calls.find("dev1 DrawPrimitive"));
    EXPECT_EQ(1, Count(calls, "RS ZENABLE 0"));
    Draw(3, 1, PREPARE_PIECE_ALPHA);
    EXPECT_EQ(0u, Device().alphaTestEnable);
}

TEST_F(BlendTest, BilinearTurnsAlphaTestIntoBlendingUnlessKept)
{
    GDrawSettings.drawMode = 1;
    Draw(TEST, 0);
    EXPECT_EQ(1u, Device().alphaChFlag);
    EXPECT_EQ(1u, Device().alphaBlendEnable);
    Draw(TEST, 0, PREPARE_PIECE_ALPHA | PREPARE_KEEP_ALPHA_TEST);
    EXPECT_EQ(1u, Device().alphaTestFlag);
    EXPECT_EQ(0u, Device().alphaBlendEnable);
    EXPECT_EQ(5u, Device().alphaFunc);
    // Without the piece's alpha only the diffuse alpha counts.
    Draw(TEST, 1, 0);
    EXPECT_EQ(0u, Device().alphaChFlag + Device().alphaTestFlag + Device().colorKeyEnable);
}

TEST_F(BlendTest, BlendGraphRampAndBorders)
{
    DdSurface *blend = D3dTestSurfaceHandle(gDisplay.front);
    struct Case {
        int border, range;
        uint32_t factor;
        int stage0AlphaOp, stage1AlphaOp;
    } cases[] = {
        {0, 64, 0x40FFFFFF, 7, 6},   {255, 64, 0xFFFFFFFF, 10, 6}, {0, 128, 0x80FFFFFF, 7, 5},
        {0, 255, 0xFFFFFFFF, 7, 4},  {128, 200, 0x01FFFFFF, 10, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.border) + "/" + std::to_string(c.range));
        ASSERT_EQ(0, G_D3D_SetBlendTextureState(0, blend, c.border, c.range));
        Draw(KEY, 1);
        EXPECT_EQ(c.factor, Device().textureFactor);
        EXPECT_EQ(c.stage0AlphaOp, Device().stages[0].alphaOp);
        EXPECT_EQ(c.stage1AlphaOp, Device().stages[1].alphaOp);
        EXPECT_EQ((uint32_t)VERTEX_TYPE_BLEND, Device().vertexType);
        EXPECT_EQ(c.border == 255 ? 1u : 0u, Device().skip);
    }
    // A hard border on an image with alpha: the reference never lets alpha 0 through.
    ASSERT_EQ(0, G_D3D_SetBlendTextureState(0, blend, 0, 1));
    Draw(CHANNEL, 1);
    EXPECT_EQ(1u, Device().alphaRef);
    EXPECT_EQ(7u, Device().alphaFunc);
    EXPECT_EQ(4u, Device().stageCount);
    EXPECT_EQ(nullptr, Device().stages[1].texture);
    EXPECT_NE(nullptr, Device().stages[2].texture);

    // Back to a plain image: two stages sent, the second as terminator.
    ASSERT_EQ(0, G_D3D_SetBlendTextureState(0, nullptr, -1, -1));
    mark = D3dTestMark();
    Draw(KEY, 1);
    EXPECT_EQ(1u, Device().stageCount);
    EXPECT_EQ(1, Device().stages[1].colorOp);
    EXPECT_EQ(0, Count(Calls(mark), "TSS 2 "));
    // Unbinding with nothing bound does nothing at all.
    QueueQuads(1);
    mark = D3dTestMark();
    EXPECT_EQ(0, G_D3D_BindBlendTexture(nullptr, 0, 0));
    EXPECT_EQ("", Calls(mark));
}

TEST_F(BlendTest, ANewDeviceIsSentTheDiffuseArgumentOfTheBlendGraphStage)
{
    // A new device holds CURRENT as every stage's second argument, so DIFFUSE on stage 1 must be sent.
    ASSERT_EQ(0, G_D3D_SetBlendTextureState(0, D3dTestSurfaceHandle(gDisplay.front), 128, 64));
    Draw(KEY, 0);
    EXPECT_EQ(1, Count(Calls(mark), "TSS 1 ALPHAARG2 DIFFUSE"));
}
