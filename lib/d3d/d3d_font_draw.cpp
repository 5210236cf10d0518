// The string draw of a font whose glyph cache is a texture: the cache images are made again when
// lost, and the text core draws the glyph cells through the image draws.
#include <cstring>

#include "lib/d3d/d3d_draw_hooks.h"
#include "lib/d3d/d3d_renderer.h"
#include "lib/font/font.h"
#include "lib/graphics/draw_settings.h"

int G_D3D_RenderFontString(int x, int y, const char *text, uint32_t colour, int font, uint32_t edgeColour,
                           int vertical)
{
    const FontRecord *f = LookUpFontRecord(font);
    if (!f) return -1;
    if (!f->textureFlag) return RenderFontString2D(x, y, text, colour, font, edgeColour, vertical);
    if (!text) text = "";
    // Without the device the cells could not be drawn; while suspended the target is not its to draw.
    if (!GDirect3D.direct3D || GDirect3D.suspended) return -1;
    RestoreFontCacheImage(font);
    Rect clip = GDrawSettings.drawRegion;
    DrawTextCore(1, x, y, 0, 1.0, 1.0, text, colour, nullptr, &clip, 1, font, edgeColour, (int)strlen(text), vertical,
                 nullptr);
    return 0;
}
