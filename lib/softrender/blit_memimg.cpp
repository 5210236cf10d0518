// The whole-image blit (being filled in).
#include "lib/softrender/blit.h"

void BlitMemImg(MEMIMG *dst, const MEMIMG *src, int x, int y, int trans, const MEMIMG *blend) {}
