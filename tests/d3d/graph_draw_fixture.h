// Shared set-up of the draw tests: Direct3D drawing into the back screen, texture graphs cut into
// pieces, and a stale colour in the vertex arrays.
#pragma once
#include <array>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/graphics/graph_internal.h"
#include "tests/d3d/renderer_fixture.h"

#define STALE_DIFFUSE 0xDEADBEEFu
#define DRAW_DIFFUSE 0x80C0D0E0u

// The image draws at integer positions, and the free quad.
inline int At(GraphRecord *graph, int x, int y, int trans = 0)
{
    return G_D3D_RenderGraphAt(x, y, (float)x, (float)y, graph, trans, 1);
}
inline int Stretch(GraphRecord *graph, int x1, int y1, int x2, int y2)
{
    return G_D3D_RenderGraphStretched(x1, y1, x2, y2, (float)x1, (float)y1, (float)x2, (float)y2, graph, 0, 1);
}
inline int Quad(GraphRecord *graph, std::array<float, 8> corners)
{
    return G_D3D_RenderGraphFreeQuad(corners.data(), graph, 0);
}

class GraphDrawTest : public RendererTest {
protected:
    // 64 x 32 in one piece, 640 x 20 in pieces 512 and 128 wide (textures 32 high), 256 x 256.
    static inline GraphRecord *graph, *wide, *blend;
    void SetUp() override
    {
        RendererTest::SetUp();
        Start();
        GDirect3D.minTextureSize = 1, GDirect3D.maxTextureSize = 2048;
        ASSERT_EQ(0, G_D3D_ChangeDrawTarget(-2));
        GDirect3D.diffuseColor = DRAW_DIFFUSE;
        for (TexturedVertex &v : Device().texturedVertices) v.diffuse = STALE_DIFFUSE;
        graph = Graph(64, 32), wide = Graph(640, 20), blend = Graph(256, 256);
        ASSERT_TRUE(graph && wide && blend);
    }
    static GraphRecord *Graph(int width, int height)
    {
        SurfaceFormat format = {1, 0, 0, 0, 0, 16};
        GraphRecord *graph = AddGraphRecord(width, height, &format);
        return graph && G_D3D_CreateGraphTextures(graph) == 0 ? graph : nullptr;
    }
    // The graph of rectangle r of source, sharing its textures.
    static GraphRecord *Derive(GraphRecord *source, const Rect &r)
    {
        GraphRecord *graph = AddGraphRecord(r.right - r.left, r.bottom - r.top, &source->format);
        if (!graph) return nullptr;
        graph->srcX = source->srcX + r.left, graph->srcY = source->srcY + r.top;
        return G_D3D_DeriveGraphTextures(graph, source) == 0 ? graph : nullptr;
    }
};
