// Enemy sheet: thirty-two kinds, one row each.
#include "tools/assetgen/assetgen.h"

Canvas MakeEnemySheet() {
  Canvas sheet;
  CanvasInit(sheet, 20 * kCell, 120 * kCell);
  for (int f = 0; f < 640; ++f) {
    Canvas c;
    CanvasInit(c, kCell, kCell);
    OutlinedEllipse(c, 16, 16, 10, 10, MakeRamp(Rgb(f * 7, 255 - f, 128)));
    DrawTinyText(c, 8, 12, "0", 0xF8F8F8, 1);
    PutFrame(sheet, 20, f, c);
  }
  return sheet;
}
