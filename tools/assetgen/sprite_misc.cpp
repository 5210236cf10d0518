// Item, block, shot, bomb and floor sheets.
#include "tools/assetgen/assetgen.h"

static Canvas Placeholder(int across, int used, uint32_t col) {
  Canvas sheet;
  CanvasInit(sheet, across * kCell, 10 * kCell);
  for (int f = 0; f < used; ++f) {
    Canvas c;
    CanvasInit(c, kCell, kCell);
    FillRect(c, 0, 0, 32, 32, col + f);
    PutFrame(sheet, across, f, c);
  }
  return sheet;
}

void DrawBombBody(Canvas& c, const Ramp& body, uint32_t band, int pulse, int fuseSpark) {
  OutlinedEllipse(c, 16, 18, 10.0f + pulse * 0.5f, 10.0f + pulse * 0.5f, body);
}

Canvas MakeItemSheet() { return Placeholder(4, 23, 0x804020); }
Canvas MakeBlockSheet() { return Placeholder(5, 37, 0x208040); }
Canvas MakeTamaSheet() { return Placeholder(4, 16, 0x402080); }
Canvas MakeBombSheet() { return Placeholder(4, 24, 0x808020); }
Canvas MakeYukaSheet() { return Placeholder(4, 10, 0x208080); }
