// Shared set-up of the graph draw tests: Direct3D drawing into the back screen, texture graphs cut
// into pieces, a stale colour in the vertex arrays, and the vertices the device received.
#pragma once
#include <array>
#include <vector>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/graphics/graph_internal.h"
#include "tests/d3d/renderer_fixture.h"

#define STALE_DIFFUSE 0xDEADBEEFu
#define DRAW_DIFFUSE 0x80C0D0E0u

class GraphDrawTest : public RendererTest {
protected:
    GraphRecord *graph = nullptr, *wide = nullptr, *blend = nullptr;
    void SetUp() override
    {
        RendererTest::SetUp();
        StartOn("record");
    }
    // Direct3D on the back end, the diffuse colour of the draws and the stale one in the arrays.
    void StartOn(const char *backend)
    {
        ASSERT_EQ(0, D3dSelectBackend(backend));
        Start();
        GDirect3D.minTextureSize = 1, GDirect3D.maxTextureSize = 2048;
        ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-2));
        GDirect3D.diffuseColor = DRAW_DIFFUSE;
        for (TexturedVertex &v : Device().texturedVertices) v.diffuse = STALE_DIFFUSE;
        graph = Graph(64, 32), wide = Graph(640, 20), blend = Graph(256, 256);
        ASSERT_TRUE(graph && wide && blend);
    }
    // A texture graph cut into pieces as usual (640 x 20: 512 and 128 wide on textures 32 high).
    static GraphRecord *Graph(int width, int height)
    {
        SurfaceFormat format = {1, 0, 0, 0, 0, 16};
        GraphRecord *graph = AddGraphRecord(width, height, &format);
        return graph && G_D3D_CreateGraphTextures(graph) == 0 ? graph : nullptr;
    }
    static int PieceData(const GraphRecord *graph, int i)
    {
        return GetSurface3DData(graph->pieces.handles[i])->surfaceData;
    }
    static int At(GraphRecord *graph, int x, int y, int trans = 0)
    {
        return G_D3D_RenderGraphAt(x, y, (float)x, (float)y, graph, trans, 1);
    }
    static int Stretch(GraphRecord *graph, int x1, int y1, int x2, int y2, int trans = 0)
    {
        return G_D3D_RenderGraphStretched(x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2, graph, trans, 1);
    }
    static int Quad(GraphRecord *graph, std::array<float, 8> corners)
    {
        return G_D3D_RenderGraphFreeQuad(corners.data(), graph, 0);
    }
    // Every vertex the draws of kind sent from mark on, after drawing what is queued.
    static std::vector<D3dRecordedVertex> Drawn(int mark, D3dCallKind kind = D3D_CALL_DRAW_PRIMITIVE)
    {
        G_D3D_FlushDeviceBatch(0);
        std::vector<D3dRecordedVertex> out;
        for (int i = mark, n = 0; i < D3dTestLogCount(); i++)
            if (const D3dRecordedVertex *v = D3dTestLogKind(i) == kind ? D3dTestLogVertices(i, &n) : nullptr)
                out.insert(out.end(), v, v + n);
        return out;
    }
    // Expects x, y, u, v of n vertices (z the draw Z).
    static void ExpectVertices(const D3dRecordedVertex *v, const std::vector<std::array<float, 4>> &expected)
    {
        for (size_t i = 0; i < expected.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(expected[i][0], v[i].x, 1e-3);
            EXPECT_NEAR(expected[i][1], v[i].y, 1e-3);
            EXPECT_NEAR(expected[i][2], v[i].u0, 1e-5);
            EXPECT_NEAR(expected[i][3], v[i].v0, 1e-5);
            EXPECT_FLOAT_EQ(GDrawSettings.drawZ, v[i].z);
        }
    }
};
