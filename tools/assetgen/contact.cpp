// Tiny 3x5 lettering and the review sheet that shows every used frame with its index.
#include "tools/assetgen/assetgen.h"

#include <cstdio>
#include <cstring>

namespace {

// Glyph rows, three bits each (bit 2 = left column).
struct Glyph {
  char ch;
  uint8_t rows[5];
};

const Glyph kGlyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 3, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 2, 2}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}},
    {'C', {3, 4, 4, 4, 3}}, {'E', {7, 4, 6, 4, 7}}, {'I', {7, 2, 2, 2, 7}}, {'K', {5, 5, 6, 5, 5}},
    {'L', {4, 4, 4, 4, 7}}, {'M', {5, 7, 7, 5, 5}}, {'N', {6, 5, 5, 5, 5}}, {'O', {2, 5, 5, 5, 2}},
    {'P', {6, 5, 6, 4, 4}}, {'R', {6, 5, 6, 5, 5}}, {'T', {7, 2, 2, 2, 2}}, {'U', {5, 5, 5, 5, 7}},
    {'X', {5, 5, 2, 5, 5}}, {'Y', {5, 5, 2, 2, 2}}, {'+', {0, 2, 7, 2, 0}}, {'-', {0, 0, 7, 0, 0}},
};

const Glyph* FindGlyph(char ch) {
  for (const Glyph& g : kGlyphs)
    if (g.ch == ch) return &g;
  return nullptr;
}

}  // namespace

void DrawTinyText(Canvas& c, int x, int y, const char* text, uint32_t rgb, int scale) {
  for (; *text; ++text, x += 4 * scale) {
    const Glyph* g = FindGlyph(*text);
    if (!g) continue;
    for (int r = 0; r < 5; ++r)
      for (int b = 0; b < 3; ++b)
        if (g->rows[r] & (4 >> b)) FillRect(c, x + b * scale, y + r * scale, scale, scale, rgb);
  }
}

// Each sheet keeps its own columns; frames are shown twice their size on a grey checker with the index above.
Canvas MakeContactSheet(const Canvas* sheets) {
  constexpr int kScale = 2, kBoxW = kCell * kScale + 8, kBoxH = kCell * kScale + 16, kTitle = 20;
  int width = 20 * kBoxW, height = 0;
  for (int i = 0; i < 7; ++i) height += kTitle + (kSheets[i].used + kSheets[i].across - 1) / kSheets[i].across * kBoxH;
  Canvas out = NewCanvas(width, height);
  FillRect(out, 0, 0, width, height, 0x303040);
  int top = 0;
  for (int i = 0; i < 7; ++i) {
    const SheetInfo& s = kSheets[i];
    char title[32];
    std::strncpy(title, s.file, sizeof title - 1);
    title[sizeof title - 1] = 0;
    for (char* p = title; *p; ++p) {
      if (*p == '.') *p = 0;
      else if (*p >= 'a' && *p <= 'z') *p = char(*p - 32);
    }
    DrawTinyText(out, 6, top + 4, title, 0xF8F8F8, 2);
    top += kTitle;
    for (int f = 0; f < s.used; ++f) {
      int bx = (f % s.across) * kBoxW, by = top + (f / s.across) * kBoxH;
      char label[12];
      std::snprintf(label, sizeof label, "%d", f);
      DrawTinyText(out, bx + 4, by + 3, label, 0xF8F080, 1);
      for (int y = 0; y < kCell * kScale; ++y)
        for (int x = 0; x < kCell * kScale; ++x) {
          uint32_t checker = ((x / 8 + y / 8) % 2) ? 0x707078 : 0x888890;
          uint32_t p = CanvasGet(sheets[i], (f % s.across) * kCell + x / kScale, (f / s.across) * kCell + y / kScale);
          CanvasPut(out, bx + 4 + x, by + 10 + y, p ? p : checker);
        }
    }
    top += (s.used + s.across - 1) / s.across * kBoxH;
  }
  return out;
}
