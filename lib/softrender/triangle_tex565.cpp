// The textured triangle bodies on 16-bit (R5G6B5) destinations.
#include "lib/softrender/triangle_body.h"

const TriangleTextureBodyTable kTriangleTextureBodies565 =
    MakeTriangleTextureBodies<0>(std::make_index_sequence<kTriangleVariantCount>());
