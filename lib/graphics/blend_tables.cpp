// The lookup tables of the software drawers.
#include "lib/graphics/memimg.h"

int32_t BlendScaleTable[256][256];
int32_t BlendDifferenceTable[256][512];
uint8_t Blend6BitAlphaTable[64][64][64];
uint8_t BlendImageLookup[256];

static int gTablesBuilt = 0;
static int gLookupBuilt = 0;

// Fills the three fixed tables; divisions by 255 and 63 happen only here.
int BuildMemImgBlendTables(void) {
    for (int k = 0; k < 256; ++k)
        for (int v = 0; v < 256; ++v) BlendScaleTable[k][v] = k * v / 255;
    for (int p = 0; p < 256; ++p) {
        for (int x = -255; x <= 255; ++x) BlendDifferenceTable[p][x + 255] = p * x / 255;  // C++ truncates toward zero
        BlendDifferenceTable[p][511] = 0;
    }
    for (int a = 0; a < 64; ++a)
        for (int s = 0; s < 64; ++s)
            for (int d = 0; d < 64; ++d) Blend6BitAlphaTable[a][s][d] = (uint8_t)((a * s + (63 - a) * d) / 63);
    if (!gLookupBuilt) BuildBlendImageLookup(0, 255);
    gTablesBuilt = 1;
    return 0;
}

int AreMemImgBlendTablesBuilt(void) { return gTablesBuilt; }

// Maps blend-image bytes to factors: a ramp of slope 256 / (R + 1) moved down by the border parameter.
void BuildBlendImageLookup(int borderParam, int borderRange) {
    int p = ClampColorChannel(borderParam);
    int r = ClampColorChannel(borderRange);
    int step = 65536 / (r + 1);
    int offset = 256 - (step + 256) * p / 256;
    for (int i = 0; i < 256; ++i) {
        int v = i * 256 / (r + 1) + offset;
        BlendImageLookup[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    gLookupBuilt = 1;
}
