// Item, block, shot, bomb and floor sheets.
#include "tools/assetgen/assetgen.h"

#include <cmath>

namespace {

Canvas Blank() {
  Canvas c = NewCanvas(kCell, kCell);
  return c;
}

// ---------------------------------------------------------------------------------------------------------------
// Small shared pictures
// ---------------------------------------------------------------------------------------------------------------

void Flame(Canvas& c, float cx, float cy, float size, int flicker, bool cold) {
  uint32_t outer = cold ? 0x4870C0 : 0xE83810, mid = cold ? 0x78A8E0 : 0xF88820, inner = cold ? 0xC8E0F8 : 0xF8D848;
  float f = float(flicker % 2);
  FillEllipse(c, cx, cy + size * 0.3f, size * 0.75f, size * 0.6f, outer);
  FillTriangle(c, cx - size * 0.7f, cy + size * 0.2f, cx + size * 0.7f, cy + size * 0.2f, cx + f - 0.5f, cy - size * 1.0f, outer);
  FillTriangle(c, cx - size * 0.75f, cy + size * 0.1f, cx - size * 0.2f, cy, cx - size * 0.7f, cy - size * 0.55f, outer);
  FillTriangle(c, cx + size * 0.75f, cy + size * 0.1f, cx + size * 0.2f, cy, cx + size * 0.7f, cy - size * 0.5f, outer);
  FillEllipse(c, cx, cy + size * 0.4f, size * 0.5f, size * 0.4f, mid);
  FillTriangle(c, cx - size * 0.45f, cy + size * 0.35f, cx + size * 0.45f, cy + size * 0.35f, cx - f * 0.5f, cy - size * 0.5f, mid);
  FillEllipse(c, cx, cy + size * 0.5f, size * 0.25f, size * 0.25f, inner);
}

void Arrow(Canvas& c, int x, int y, bool up, uint32_t col) {
  int d = up ? 1 : -1;
  int tip = up ? y : y + 8;
  for (int i = 0; i < 4; ++i) FillRect(c, x - i, tip + d * i, 2 * i + 1, 1, col);
  FillRect(c, x - 1, up ? y + 4 : y, 3, 5, col);
}

void Skull(Canvas& c, int cx, int cy, uint32_t col) {
  FillEllipse(c, cx + 0.5f, cy + 0.5f, 3.5f, 3, col);
  FillRect(c, cx - 1, cy + 3, 4, 2, col);
  CanvasPut(c, cx - 1, cy, 0x301030);
  CanvasPut(c, cx + 2, cy, 0x301030);
}

void Heart(Canvas& c, float cx, float cy, float s, uint32_t col) {
  FillEllipse(c, cx - s * 0.5f, cy - s * 0.2f, s * 0.55f, s * 0.55f, col);
  FillEllipse(c, cx + s * 0.5f, cy - s * 0.2f, s * 0.55f, s * 0.55f, col);
  FillTriangle(c, cx - s * 1.05f, cy, cx + s * 1.05f, cy, cx, cy + s * 1.1f, col);
}

void Star(Canvas& c, float cx, float cy, float r, uint32_t col) {
  const float kTau = 6.2831853f;
  for (int k = 0; k < 5; ++k) {
    float a = k * kTau / 5, b = a + kTau / 10, e = a - kTau / 10;
    FillTriangle(c, cx, cy, cx + r * std::sin(a), cy - r * std::cos(a), cx + r * 0.45f * std::sin(b), cy - r * 0.45f * std::cos(b), col);
    FillTriangle(c, cx, cy, cx + r * std::sin(a), cy - r * std::cos(a), cx + r * 0.45f * std::sin(e), cy - r * 0.45f * std::cos(e), col);
  }
}

void Boot(Canvas& c, int x, int y, uint32_t col) {
  Ramp r = MakeRamp(col);
  FillRect(c, x, y, 6, 8, r.mid);
  FillEllipse(c, x + 6, y + 8, 6, 3, r.mid);
  FillRect(c, x, y + 9, 12, 2, r.dark);
  FillRect(c, x, y, 6, 2, r.light);
}

// Small bomb for icons.
void MiniBomb(Canvas& c, float cx, float cy, float r, uint32_t col) {
  OutlinedEllipse(c, cx, cy, r, r, MakeRamp(col));
  DrawLine(c, int(cx + r * 0.3f), int(cy - r), int(cx + r * 0.8f), int(cy - r - 3), 0xC0A070);
  CanvasPut(c, int(cx + r * 0.8f) + 1, int(cy - r - 4), 0xF8E060);
}

}  // namespace

// The bomb: round body, cap, fuse and spark; `pulse` swells it, `fuseSpark` picks the spark's look.
void DrawBombBody(Canvas& c, const Ramp& body, uint32_t band, int pulse, int fuseSpark) {
  float r = 10.0f + pulse * 0.6f;
  OutlinedEllipse(c, 16, 19, r, r - pulse * 0.3f, body);
  if (band) FillRect(c, int(16 - r + 2), 18, int(2 * r - 3), 3, band);
  FillRect(c, 12, 6, 8, 4, kOutline);
  FillRect(c, 13, 7, 6, 2, 0x8890A0);
  DrawLine(c, 18, 6, 20, 3, 0xC8A878);
  DrawLine(c, 20, 3, 23, 2, 0xC8A878);
  static const uint32_t kSpark[4] = {0xF89020, 0xF8F8A0, 0xF85020, 0xF8D040};
  Sparkle(c, 24, 2, 1 + fuseSpark % 2, kSpark[fuseSpark & 3]);
  if (fuseSpark & 2) CanvasPut(c, 26, 4, 0xF8F8F8);
  FillEllipse(c, 12.5f, 14.5f, 2.0f, 2.5f, MixColor(body.hi, 0xFFFFFF, 0.4f));
}

// ---------------------------------------------------------------------------------------------------------------
// Items
// ---------------------------------------------------------------------------------------------------------------

namespace {

void Panel(Canvas& c, uint32_t col, bool bad) {
  Ramp r = MakeRamp(col);
  FillRect(c, 2, 1, 28, 30, kOutline);
  FillRect(c, 1, 2, 30, 28, kOutline);
  FillRect(c, 3, 2, 26, 28, bad ? 0xD02030 : r.light);
  FillRect(c, 2, 3, 28, 26, bad ? 0xD02030 : r.light);
  FillRect(c, 4, 4, 24, 24, r.mid);
  FillRect(c, 4, 27, 24, 1, r.dark);
  FillRect(c, 27, 4, 1, 24, r.dark);
}

void Coin(Canvas& c, uint32_t col, const char* text, float radius) {
  Ramp r = MakeRamp(col);
  OutlinedEllipse(c, 16, 16, radius, radius, r);
  FillEllipse(c, 16, 16, radius - 2.5f, radius - 2.5f, r.dark);
  FillEllipse(c, 16, 16, radius - 3.5f, radius - 3.5f, r.mid);
  int w = 4 * int(std::string(text).size()) - 1;
  DrawTinyText(c, 16 - w / 2, 14, text, 0xF8F8F0, 1);
}

void Gem(Canvas& c) {
  FillTriangle(c, 4, 12, 28, 12, 16, 29, 0x30A0E0);
  FillTriangle(c, 9, 5, 23, 5, 28, 12, 0x60D0F8);
  FillTriangle(c, 9, 5, 4, 12, 28, 12, 0x60D0F8);
  FillTriangle(c, 10, 12, 22, 12, 16, 26, 0x70E0F8);
  FillTriangle(c, 12, 6, 16, 6, 12, 11, 0xE0F8F8);
  AddOutline(c, kOutline);
  Sparkle(c, 25, 4, 2, 0xF8F8F8);
  Sparkle(c, 6, 24, 1, 0xF8F8F8);
}

// Score items and the first power-ups (kinds 0 to 13).
void DrawItemLow(Canvas& c, int kind) {
  switch (kind) {
    case 0: Coin(c, 0xC87838, "100", 11); break;
    case 1: Coin(c, 0xA8B0C0, "1000", 12); break;
    case 2: Gem(c); break;
    case 3: Coin(c, 0xE8B830, "10000", 13.5f); break;
    case 4: Panel(c, 0x3868D0, false); MiniBomb(c, 14, 18, 7, 0x384060); Arrow(c, 24, 6, true, 0xF8E040); break;
    case 5: Panel(c, 0xD04030, false); Flame(c, 14, 16, 9, 0, false); Arrow(c, 24, 6, true, 0xF8E040); break;
    case 6:
      Panel(c, 0x30A8C0, false);
      Boot(c, 8, 10, 0xF05040);
      for (int k = 0; k < 3; ++k) FillRect(c, 5, 12 + k * 3, 3, 1, 0xF8F8F8);
      Arrow(c, 24, 6, true, 0xF8E040);
      break;
    case 7: Panel(c, 0x30A048, false); DrawTinyText(c, 5, 11, "1UP", 0xF8F8F8, 2); break;
    case 8:
      Panel(c, 0x40A0A0, false);
      MiniBomb(c, 16, 17, 7, 0x90A0C0);
      FillRect(c, 5, 16, 20, 2, 0xF8F8F8);
      FillTriangle(c, 24, 12, 24, 21, 28.5f, 16.5f, 0xF8F8F8);
      break;
    case 9:
      Panel(c, 0x907050, false);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) ShadeRect(c, 7 + x * 6 - (y % 2) * 3, 10 + y * 5, 6, 5, MakeRamp(0xC87040));
      FillRect(c, 5, 16, 20, 2, 0xF8F8F8);
      FillTriangle(c, 24, 12, 24, 21, 28.5f, 16.5f, 0xF8F8F8);
      break;
    case 10: Panel(c, 0xE0A020, false); Star(c, 16, 17, 11, 0xF8F070); Sparkle(c, 25, 7, 2, 0xF8F8F8); break;
    case 11:
      Panel(c, 0x707888, false);
      MiniBomb(c, 14, 18, 7, 0x384060);
      DrawLine(c, 22, 14, 25, 6, 0xD0D0D0);
      FillEllipse(c, 25.5f, 6, 2, 2, 0xF03030);
      break;
    case 12: Panel(c, 0xF098B0, false); Heart(c, 16, 15, 8, 0xE82040); Sparkle(c, 11, 11, 1, 0xF8F8F8); break;
    case 13:
      Panel(c, 0x90B8E8, false);
      MiniBomb(c, 15, 18, 8, 0x2060D0);
      FillTriangle(c, 4, 16, 11, 13, 11, 19, 0xF8F8F8);
      FillTriangle(c, 26, 16, 19, 13, 19, 19, 0xF8F8F8);
      break;
    default: break;
  }
}

// The bad items, the bigger bombs, the trap and the kick (kinds 14 to 22).
void DrawItemHigh(Canvas& c, int kind) {
  const uint32_t kBad = 0x582868;
  switch (kind) {
    case 14: Panel(c, kBad, true); MiniBomb(c, 13, 17, 7, 0x384060); Arrow(c, 24, 12, false, 0xF03040); break;
    case 15: Panel(c, kBad, true); Flame(c, 13, 16, 8, 0, true); Arrow(c, 24, 12, false, 0xF03040); break;
    case 16: Panel(c, kBad, true); Boot(c, 6, 10, 0x808890); Arrow(c, 24, 12, false, 0xF03040); break;
    case 17: Panel(c, 0xF08020, false); MiniBomb(c, 16, 18, 9, 0xD02828); Star(c, 16, 18, 5, 0xF8E040); break;
    case 18:
      Panel(c, 0xE8C030, false);
      Flame(c, 16, 14, 11, 1, false);
      DrawTinyText(c, 10, 23, "MAX", 0xF8F8F8, 1);
      break;
    case 19:
      Panel(c, 0x5080D0, false);
      for (int k = 0; k < 3; ++k) MiniBomb(c, 8.5f + k * 7.5f, 19, 3.8f, 0x384060);
      break;
    case 20: Panel(c, 0xA050C0, false); MiniBomb(c, 16, 18, 9, 0x7020A0); Skull(c, 15, 16, 0xF0F0F0); break;
    case 21:  // a bright present with a sinister ribbon
      OutlinedEllipse(c, 16, 29, 11, 2, MakeRamp(0x502060));
      ShadeRect(c, 5, 13, 22, 16, MakeRamp(0xF060A0));
      ShadeRect(c, 4, 9, 24, 5, MakeRamp(0xF880B8));
      FillRect(c, 14, 9, 4, 20, 0x8030C0);
      FillEllipse(c, 12, 7, 4, 2.5f, 0x8030C0);
      FillEllipse(c, 20, 7, 4, 2.5f, 0x8030C0);
      AddOutline(c, kOutline);
      FillRect(c, 8, 19, 2, 2, 0xF8E040);
      FillRect(c, 22, 19, 2, 2, 0xF8E040);
      Sparkle(c, 27, 5, 2, 0xF8F8F8);
      break;
    default:
      Panel(c, 0xF0A040, false);
      Boot(c, 5, 9, 0xE05030);
      MiniBomb(c, 23, 21, 5, 0x384060);
      for (int k = 0; k < 2; ++k) FillRect(c, 18, 12 + k * 4, 2, 1, 0xF8F8F8);
      break;
  }
}

Canvas ItemFrame(int kind) {
  Canvas c = Blank();
  if (kind < 14)
    DrawItemLow(c, kind);
  else
    DrawItemHigh(c, kind);
  return c;
}

}  // namespace

Canvas MakeItemSheet() {
  Canvas sheet = NewCanvas(4 * kCell, 10 * kCell);
  for (int k = 0; k < 23; ++k) PutFrame(sheet, 4, k, ItemFrame(k));
  return sheet;
}

// ---------------------------------------------------------------------------------------------------------------
// Blocks
// ---------------------------------------------------------------------------------------------------------------

namespace {

struct WorldLook {
  uint32_t fixed;
  uint32_t soft;
  int softStyle;  // 0 bricks, 1 crate, 2 ice, 3 sandstone, 4 magma, 5 crystal
};

const WorldLook kWorlds[6] = {
    {0x9098A8, 0xC87040, 0}, {0x7888A8, 0xB08850, 1}, {0xE0D8C8, 0xC8E8F0, 2},
    {0xD0A868, 0xE8B870, 3}, {0x605058, 0xA04830, 4}, {0x6A5888, 0x60C0D0, 5},
};

Canvas FixedBlock(int w) {
  Canvas c = Blank();
  Ramp r = MakeRamp(kWorlds[w].fixed);
  FillRect(c, 0, 0, 32, 32, r.dark);
  FillRect(c, 0, 0, 31, 31, r.light);
  FillRect(c, 1, 1, 30, 30, r.mid);
  FillRect(c, 6, 6, 20, 20, r.dark);
  FillRect(c, 7, 7, 19, 19, r.light);
  FillRect(c, 7, 7, 18, 18, r.mid);
  FillRect(c, 0, 31, 32, 1, ScaleColor(r.dark, 0.7f));
  FillRect(c, 31, 0, 1, 32, ScaleColor(r.dark, 0.7f));
  if (w == 1 || w == 5)
    for (int k = 0; k < 4; ++k) FillRect(c, k % 2 ? 27 : 3, k / 2 ? 27 : 3, 2, 2, r.hi);
  if (w == 4) {
    DrawLine(c, 9, 24, 14, 16, 0xE05020);
    DrawLine(c, 14, 16, 21, 12, 0xE05020);
  }
  if (w == 0) FillRect(c, 10, 10, 3, 2, r.hi);
  return c;
}

Canvas SoftBlock(uint32_t base, int style) {
  Canvas c = Blank();
  Ramp r = MakeRamp(base);
  FillRect(c, 0, 0, 32, 32, r.dark);
  switch (style) {
    case 0:
    case 3:
      for (int row = 0; row < 4; ++row)
        for (int b = -1; b < 3; ++b) {
          int x = b * 16 + (row % 2) * 8, y = row * 8;
          FillRect(c, x + 1, y + 1, 15, 7, r.light);
          FillRect(c, x + 2, y + 2, 14, 6, r.mid);
        }
      if (style == 3)
        for (int k = 0; k < 4; ++k) CanvasPut(c, 5 + k * 7, 4 + (k * 11) % 24, r.hi);
      break;
    case 1:
      FillRect(c, 1, 1, 30, 30, r.mid);
      for (int y = 1; y < 31; y += 6) FillRect(c, 1, y, 30, 1, r.light);
      FillRect(c, 1, 1, 3, 30, r.dark);
      FillRect(c, 28, 1, 3, 30, r.dark);
      DrawLine(c, 4, 4, 27, 27, r.dark);
      DrawLine(c, 4, 5, 26, 27, r.dark);
      break;
    case 2:
      FillRect(c, 1, 1, 30, 30, r.mid);
      FillRect(c, 1, 1, 30, 2, r.hi);
      DrawLine(c, 5, 14, 14, 5, r.hi);
      DrawLine(c, 6, 20, 20, 6, r.light);
      DrawLine(c, 18, 27, 27, 18, r.light);
      break;
    case 4:
      FillRect(c, 1, 1, 30, 30, r.mid);
      for (int k = 0; k < 5; ++k) FillEllipse(c, 6.0f + (k * 13) % 22, 6.0f + (k * 7) % 22, 2.5f, 2.0f, 0xF89030);
      FillRect(c, 1, 1, 30, 1, r.light);
      break;
    default:
      FillTriangle(c, 1, 1, 31, 1, 16, 16, r.light);
      FillTriangle(c, 1, 1, 1, 31, 16, 16, r.mid);
      FillTriangle(c, 31, 1, 31, 31, 16, 16, r.dark);
      FillTriangle(c, 1, 31, 31, 31, 16, 16, ScaleColor(r.mid, 0.8f));
      FillRect(c, 10, 10, 12, 12, r.hi);
      FillRect(c, 11, 11, 10, 10, r.light);
      break;
  }
  return c;
}

// Breaking steps: cracked and glowing, split with flames, crumbled into embers. They also serve as the
// burning-item picture, so every step carries fire.
Canvas BreakStep(const Canvas& block, int step) {
  Canvas c = Blank();
  if (step == 1) {
    c = block;
    for (uint32_t& p : c.pixels) p = MixColor(p, 0xFFF0C0, 0.3f);
    DrawLine(c, 6, 2, 13, 14, kOutline);
    DrawLine(c, 13, 14, 10, 24, kOutline);
    DrawLine(c, 13, 14, 24, 18, kOutline);
    DrawLine(c, 24, 18, 29, 28, kOutline);
    Flame(c, 8, 26, 4, 0, false);
    return c;
  }
  float shrink = step == 2 ? 0.9f : 0.6f;
  int spread = step == 2 ? 2 : 5;
  Canvas small = ScaleAbout(block, shrink, shrink, 16, 16);
  static const int kQx[4] = {-1, 1, -1, 1}, kQy[4] = {-1, -1, 1, 1};
  for (int q = 0; q < 4; ++q) {
    Canvas part = Blank();
    for (int y = (q / 2) * 16; y < (q / 2) * 16 + 16; ++y)
      for (int x = (q % 2) * 16; x < (q % 2) * 16 + 16; ++x) {
        uint32_t p = CanvasGet(small, x, y);
        part.pixels[size_t(y) * kCell + x] = p ? MixColor(p, 0x402010, step == 2 ? 0.2f : 0.45f) : 0;
      }
    Blit(c, part, kQx[q] * spread, kQy[q] * spread + (step == 3 ? 3 : 0));
  }
  AddOutline(c, kOutline);
  Flame(c, 16, 18, step == 2 ? 8 : 10, step, false);
  if (step == 3) {
    Sparkle(c, 5, 5, 1, 0xF8C040);
    Sparkle(c, 27, 7, 1, 0xF8C040);
  }
  return c;
}

// Row 6 and 7: the special soft blocks, the core-mech block and the block that hides the goal.
Canvas SpecialBlock(int frame) {
  static const uint32_t kBase[7] = {0x805098, 0xE8B020, 0x90A8D0, 0x50B050, 0xC83830, 0x707890, 0xC87040};
  Canvas c = SoftBlock(kBase[frame - 30], frame == 35 ? 1 : 0);
  Ramp r = MakeRamp(kBase[frame - 30]);
  switch (frame) {
    case 30:
      FillRect(c, 6, 11, 20, 8, kOutline);
      FillRect(c, 9, 13, 4, 3, 0xF8E040);
      FillRect(c, 19, 13, 4, 3, 0xF8E040);
      FillRect(c, 10, 14, 2, 2, 0xE02020);
      FillRect(c, 20, 14, 2, 2, 0xE02020);
      break;
    case 31: Star(c, 16, 16, 11, 0xF8F8A0); break;
    case 32:
      FillTriangle(c, 9, 13, 23, 13, 16, 24, 0x60E0F8);
      FillTriangle(c, 11, 8, 21, 8, 23, 13, 0xC0F8F8);
      FillTriangle(c, 11, 8, 9, 13, 23, 13, 0xC0F8F8);
      break;
    case 33:
      for (int k = 0; k < 4; ++k) Heart(c, 16.0f + (k % 2 ? 4.5f : -4.5f), 13.0f + (k / 2 ? 6.0f : -2.0f), 3.5f, 0x98F070);
      DrawLine(c, 16, 18, 19, 27, 0x308030);
      break;
    case 34:
      FillRect(c, 13, 5, 6, 14, 0xF8F8F8);
      FillRect(c, 13, 22, 6, 5, 0xF8F8F8);
      break;
    case 35:
      FillEllipse(c, 16, 16, 8, 8, kOutline);
      ShadeEllipse(c, 16, 16, 7, 7, MakeRamp(0xF03030));
      FillRect(c, 0, 15, 8, 2, r.hi);
      FillRect(c, 24, 15, 8, 2, r.hi);
      break;
    default:
      FillRect(c, 9, 6, 14, 24, 0x80F0F8);
      FillRect(c, 11, 8, 10, 22, 0xE0F8F8);
      DrawLine(c, 3, 3, 9, 9, 0x80F0F8);
      DrawLine(c, 28, 3, 22, 9, 0x80F0F8);
      break;
  }
  return c;
}

}  // namespace

Canvas MakeBlockSheet() {
  Canvas sheet = NewCanvas(5 * kCell, 10 * kCell);
  for (int w = 0; w < 6; ++w) {
    Canvas soft = SoftBlock(kWorlds[w].soft, kWorlds[w].softStyle);
    PutFrame(sheet, 5, w * 5, FixedBlock(w));
    PutFrame(sheet, 5, w * 5 + 1, soft);
    for (int s = 1; s <= 3; ++s) PutFrame(sheet, 5, w * 5 + 1 + s, BreakStep(soft, s));
  }
  for (int f = 30; f <= 36; ++f) PutFrame(sheet, 5, f, SpecialBlock(f));
  return sheet;
}

// ---------------------------------------------------------------------------------------------------------------
// Enemy shots
// ---------------------------------------------------------------------------------------------------------------

namespace {

// Drawn flying downwards (trail above); the other directions are turned copies.
Canvas ShotDown(int sprite) {
  Canvas c = Blank();
  switch (sprite) {
    case 0:  // block shot: a tumbling brick with dust
      for (int k = 0; k < 3; ++k) FillEllipse(c, 16, 4.0f + k * 4, 1.5f + k * 0.5f, 1.5f + k * 0.5f, 0xB09070);
      ShadeRect(c, 10, 15, 12, 11, MakeRamp(0xC87040));
      FillRect(c, 10, 20, 12, 1, 0x804020);
      FillRect(c, 15, 15, 1, 5, 0x804020);
      break;
    case 1:  // plain shot: an energy ball
      for (int k = 0; k < 3; ++k) FillEllipse(c, 16, 5.0f + k * 4, 1.0f + k * 0.7f, 1.0f + k * 0.7f, 0xF878C0);
      OutlinedEllipse(c, 16, 20, 6, 6, MakeRamp(0xF050A0));
      FillEllipse(c, 15, 19, 2.5f, 2.5f, 0xF8E0F0);
      break;
    case 2:  // fire shot
      FillTriangle(c, 10, 18, 22, 18, 16, 2, 0xE83810);
      FillTriangle(c, 12, 18, 20, 18, 16, 7, 0xF88820);
      OutlinedEllipse(c, 16, 21, 6.5f, 6.5f, MakeRamp(0xF07020));
      FillEllipse(c, 16, 22, 3.5f, 3.5f, 0xF8E060);
      break;
    default:  // homing shot: a seeking eye with a wavy tail
      for (int k = 0; k < 4; ++k) FillEllipse(c, 16.0f + (k % 2 ? 2.0f : -2.0f), 3.0f + k * 3.5f, 1.5f, 1.5f, 0xB070F0);
      OutlinedEllipse(c, 16, 21, 6.5f, 6.5f, MakeRamp(0x8030C0));
      FillEllipse(c, 16, 23, 2.8f, 2.8f, 0xF8F8F8);
      FillRect(c, 15, 23, 2, 2, 0x301040);
      break;
  }
  AddOutline(c, kOutline);
  return c;
}

}  // namespace

Canvas MakeTamaSheet() {
  Canvas sheet = NewCanvas(4 * kCell, 10 * kCell);
  for (int s = 0; s < 4; ++s) {
    Canvas down = ShotDown(s), up = down, left = Rotate90(down), right;
    FlipY(up);
    right = left;
    FlipX(right);
    const Canvas* dirs[4] = {&down, &up, &left, &right};
    for (int d = 0; d < 4; ++d) PutFrame(sheet, 4, s * 4 + d, *dirs[d]);
  }
  return sheet;
}

// ---------------------------------------------------------------------------------------------------------------
// Bombs and fire
// ---------------------------------------------------------------------------------------------------------------

namespace {

// One blast cell: fills the cell so that neighbouring cells join into one stream of fire.
Canvas FireFrame(int step) {
  Canvas c = Blank();
  const float kTau = 6.2831853f;
  FillEllipse(c, 16, 16, 14.5f, 14.5f, 0xD83010);
  for (int k = 0; k < 12; ++k) {
    float a = k * kTau / 12 + step * 0.13f, rr = 3.0f + float((k + step) % 3);
    FillEllipse(c, 16 + 13 * std::sin(a), 16 - 13 * std::cos(a), rr, rr, (k + step) % 2 ? 0xE84818 : 0xD83010);
  }
  FillEllipse(c, 16, 16, 11.0f + step % 2, 11.0f + (step + 1) % 2, 0xF88820);
  FillEllipse(c, 16, 16, 7.0f + (step % 3) * 0.5f, 7.0f, 0xF8D040);
  FillEllipse(c, 16, 16, 3.5f, 3.5f, 0xF8F8C8);
  return c;
}

Canvas BombFrame(int type, int step) {
  static const int kPulse[4] = {0, 1, 2, 1};
  Canvas c = Blank();
  switch (type) {
    case 1: DrawBombBody(c, MakeRamp(0x303858), 0, kPulse[step], step); break;
    case 2:
      DrawBombBody(c, MakeRamp(0x485060), 0, kPulse[step], step);
      DrawLine(c, 9, 10, 6, 3, 0xD0D0D8);
      FillEllipse(c, 6, 3, 2.5f, 2.5f, step % 2 ? 0xF83030 : 0x702020);
      break;
    case 3:
      DrawBombBody(c, MakeRamp(0x2060D0), 0xA8D0F8, kPulse[step], step);
      FillTriangle(c, 2, 19.5f, 8, 16, 8, 23, 0xF8F8F8);
      FillTriangle(c, 30, 19.5f, 24, 16, 24, 23, 0xF8F8F8);
      break;
    case 4:
      DrawBombBody(c, MakeRamp(0xD02828), 0, kPulse[step], step);
      Star(c, 16, 20, 6 + kPulse[step] * 0.5f, 0xF8E040);
      break;
    default:
      DrawBombBody(c, MakeRamp(0x7020A0), 0, kPulse[step], step);
      Skull(c, 15, 18, step % 2 ? 0xF8F8F8 : 0xF0C0F8);
      break;
  }
  AddOutline(c, kOutline);
  return c;
}

}  // namespace

Canvas MakeBombSheet() {
  Canvas sheet = NewCanvas(4 * kCell, 10 * kCell);
  for (int s = 0; s < 4; ++s) PutFrame(sheet, 4, s, FireFrame(s));
  for (int type = 1; type <= 5; ++type)
    for (int s = 0; s < 4; ++s) PutFrame(sheet, 4, type * 4 + s, BombFrame(type, s));
  return sheet;
}

// ---------------------------------------------------------------------------------------------------------------
// Floor, goal and light switch
// ---------------------------------------------------------------------------------------------------------------

namespace {

// Floor tiles are fully opaque and tile seamlessly.
Canvas FloorTile(int w) {
  Canvas c = Blank();
  static const uint32_t kBase[6] = {0x58A848, 0x7C8490, 0xC8D8E0, 0xE0C080, 0x704038, 0x484058};
  Ramp r = MakeRamp(kBase[w]);
  FillRect(c, 0, 0, 32, 32, r.mid);
  Rng rng{uint32_t(1234 + w)};
  switch (w) {
    case 0:
      for (int k = 0; k < 14; ++k) {
        int x = RngRange(rng, 1, 30), y = RngRange(rng, 2, 30);
        CanvasPut(c, x, y, r.dark);
        CanvasPut(c, x, y - 1, r.dark);
        CanvasPut(c, x + 1, y - 2, r.light);
      }
      break;
    case 1:
      FillRect(c, 0, 0, 32, 1, r.light);
      FillRect(c, 0, 0, 1, 32, r.light);
      FillRect(c, 0, 31, 32, 1, r.dark);
      FillRect(c, 31, 0, 1, 32, r.dark);
      for (int k = 0; k < 4; ++k) FillRect(c, k % 2 ? 27 : 3, k / 2 ? 27 : 3, 2, 2, r.dark);
      break;
    case 2:
    case 5:
      FillRect(c, 0, 15, 32, 1, r.dark);
      FillRect(c, 0, 31, 32, 1, r.dark);
      FillRect(c, 15, 0, 1, 16, r.dark);
      FillRect(c, 31, 16, 1, 16, r.dark);
      FillRect(c, 1, 0, 14, 1, r.light);
      FillRect(c, 0, 16, 31, 1, r.light);
      break;
    case 3:
      for (int y = 4; y < 32; y += 8)
        for (int x = 0; x < 32; ++x) CanvasPut(c, x, y + int(std::lround(1.5 * std::sin(x * 6.2831853 / 32))), r.dark);
      break;
    default:
      DrawLine(c, 0, 10, 12, 14, r.dark);
      DrawLine(c, 12, 14, 20, 6, r.dark);
      DrawLine(c, 12, 14, 18, 31, r.dark);
      DrawLine(c, 20, 6, 31, 10, r.dark);
      for (int k = 0; k < 6; ++k) CanvasPut(c, RngRange(rng, 0, 31), RngRange(rng, 0, 31), 0xC05028);
      break;
  }
  return c;
}

Canvas GoalFrame(bool open) {
  Canvas c = Blank();
  if (!open) {
    OutlinedEllipse(c, 16, 16, 13, 13, MakeRamp(0x8890A0));
    FillEllipse(c, 16, 16, 9, 9, 0x606878);
    FillRect(c, 7, 15, 18, 2, 0xA8B0C0);
    FillRect(c, 15, 7, 2, 18, 0xA8B0C0);
    FillEllipse(c, 16, 16, 3, 3, 0xE03030);
    return c;
  }
  OutlinedEllipse(c, 16, 16, 13, 13, MakeRamp(0x3070E0));
  FillEllipse(c, 16, 16, 10, 10, 0x40B0F0);
  FillEllipse(c, 16, 16, 7, 7, 0x80E0F8);
  FillEllipse(c, 16, 16, 4, 4, 0xE8F8F8);
  Sparkle(c, 6, 6, 2, 0xF8F8F8);
  Sparkle(c, 26, 25, 2, 0xF8F8F8);
  return c;
}

Canvas SwitchFrame(bool lit) {
  Canvas c = Blank();
  ShadeRect(c, 7, 7, 18, 22, MakeRamp(0xA0A8B0));
  FillRect(c, 13, 20, 6, 7, 0x606870);
  FillRect(c, 14, lit ? 21 : 24, 4, 2, lit ? 0x50E050 : 0xE04040);
  OutlinedEllipse(c, 16, 12, 5.5f, 5.5f, MakeRamp(lit ? 0xF8E040 : 0x505868));
  if (lit) {
    Sparkle(c, 4, 4, 2, 0xF8F0A0);
    Sparkle(c, 28, 4, 2, 0xF8F0A0);
  }
  AddOutline(c, kOutline);
  return c;
}

}  // namespace

Canvas MakeYukaSheet() {
  Canvas sheet = NewCanvas(4 * kCell, 10 * kCell);
  PutFrame(sheet, 4, 0, GoalFrame(false));
  PutFrame(sheet, 4, 1, GoalFrame(true));
  for (int w = 0; w < 6; ++w) PutFrame(sheet, 4, 2 + w, FloorTile(w));
  PutFrame(sheet, 4, 8, SwitchFrame(true));
  PutFrame(sheet, 4, 9, SwitchFrame(false));
  return sheet;
}
