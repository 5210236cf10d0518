// The textured triangle bodies on 32-bit (X8R8G8B8) destinations.
#include "lib/softrender/triangle_body.h"

const TriangleTextureBodyTable kTriangleTextureBodies8888 =
    MakeTriangleTextureBodies<1>(std::make_index_sequence<kTriangleVariantCount>());
