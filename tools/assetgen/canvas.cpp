// Pixel canvas, flat shading helpers and the PNG writer.
#include "tools/assetgen/assetgen.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

// ---------------------------------------------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------------------------------------------

// Packs a colour; components are clamped to 0..255.
uint32_t Rgb(int r, int g, int b) {
  r = std::clamp(r, 0, 255);
  g = std::clamp(g, 0, 255);
  b = std::clamp(b, 0, 255);
  return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// Scales each component by f.
uint32_t ScaleColor(uint32_t c, float f) {
  return Rgb(int(((c >> 16) & 255) * f), int(((c >> 8) & 255) * f), int((c & 255) * f));
}

// Linear mix: t = 0 gives a, t = 1 gives b.
uint32_t MixColor(uint32_t a, uint32_t b, float t) {
  auto ch = [&](int s) { return int(((a >> s) & 255) * (1 - t) + ((b >> s) & 255) * t + 0.5f); };
  return Rgb(ch(16), ch(8), ch(0));
}

// Four clearly separated tones, so the shading survives 16-bit colour.
Ramp MakeRamp(uint32_t base) {
  return Ramp{ScaleColor(base, 0.58f), base, MixColor(base, 0xFFFFFF, 0.30f), MixColor(base, 0xFFFFFF, 0.70f)};
}

// ---------------------------------------------------------------------------------------------------------------
// Canvas
// ---------------------------------------------------------------------------------------------------------------

void CanvasInit(Canvas& c, int width, int height) {
  c.width = width;
  c.height = height;
  c.pixels.assign(size_t(width) * size_t(height), 0);
}

void CanvasPut(Canvas& c, int x, int y, uint32_t rgb) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height) return;
  // Pure black is the transparent key; keep drawn pixels visible.
  if ((rgb & 0xF8FCF8) == 0) rgb = 0x080808;
  c.pixels[size_t(y) * c.width + x] = rgb;
}

Canvas NewCanvas(int width, int height) {
  Canvas c;
  CanvasInit(c, width, height);
  return c;
}

uint32_t CanvasGet(const Canvas& c, int x, int y) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height) return 0;
  return c.pixels[size_t(y) * c.width + x];
}

void FillRect(Canvas& c, int x, int y, int w, int h, uint32_t rgb) {
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) CanvasPut(c, i, j, rgb);
}

// Pixels whose centres lie inside the ellipse.
void FillEllipse(Canvas& c, float cx, float cy, float rx, float ry, uint32_t rgb) {
  if (rx <= 0 || ry <= 0) return;
  for (int y = int(std::floor(cy - ry)); y <= int(std::ceil(cy + ry)); ++y)
    for (int x = int(std::floor(cx - rx)); x <= int(std::ceil(cx + rx)); ++x) {
      float nx = (x + 0.5f - cx) / rx, ny = (y + 0.5f - cy) / ry;
      if (nx * nx + ny * ny <= 1.0f) CanvasPut(c, x, y, rgb);
    }
}

// Banded shading: a highlight spot, a lit top-left, a shadowed bottom-right.
void ShadeEllipse(Canvas& c, float cx, float cy, float rx, float ry, const Ramp& r) {
  if (rx <= 0 || ry <= 0) return;
  for (int y = int(std::floor(cy - ry)); y <= int(std::ceil(cy + ry)); ++y)
    for (int x = int(std::floor(cx - rx)); x <= int(std::ceil(cx + rx)); ++x) {
      float nx = (x + 0.5f - cx) / rx, ny = (y + 0.5f - cy) / ry;
      if (nx * nx + ny * ny > 1.0f) continue;
      float hx = nx + 0.38f, hy = ny + 0.45f;
      uint32_t col = r.mid;
      if (hx * hx + hy * hy < 0.07f)
        col = r.hi;
      else if (-nx * 0.55f - ny * 0.75f > 0.28f)
        col = r.light;
      else if (nx * 0.40f + ny * 0.85f > 0.42f)
        col = r.dark;
      CanvasPut(c, x, y, col);
    }
}

// A box with a light top-left edge and a dark bottom-right edge.
void ShadeRect(Canvas& c, int x, int y, int w, int h, const Ramp& r) {
  FillRect(c, x, y, w, h, r.mid);
  FillRect(c, x, y, w, 1, r.light);
  FillRect(c, x, y, 1, h, r.light);
  FillRect(c, x, y + h - 1, w, 1, r.dark);
  FillRect(c, x + w - 1, y, 1, h, r.dark);
}

// Pixels whose centres lie inside the triangle (either winding).
void FillTriangle(Canvas& c, float ax, float ay, float bx, float by, float qx, float qy, uint32_t rgb) {
  int x0 = int(std::floor(std::min({ax, bx, qx}))), x1 = int(std::ceil(std::max({ax, bx, qx})));
  int y0 = int(std::floor(std::min({ay, by, qy}))), y1 = int(std::ceil(std::max({ay, by, qy})));
  auto edge = [](float px, float py, float ux, float uy, float vx, float vy) {
    return (vx - ux) * (py - uy) - (vy - uy) * (px - ux);
  };
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      float px = x + 0.5f, py = y + 0.5f;
      float e0 = edge(px, py, ax, ay, bx, by), e1 = edge(px, py, bx, by, qx, qy), e2 = edge(px, py, qx, qy, ax, ay);
      if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0)) CanvasPut(c, x, y, rgb);
    }
}

// Bresenham line, both ends drawn.
void DrawLine(Canvas& c, int x0, int y0, int x1, int y1, uint32_t rgb) {
  int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
  for (;;) {
    CanvasPut(c, x0, y0, rgb);
    if (x0 == x1 && y0 == y1) break;
    int e2 = 2 * err;
    if (e2 >= dy) { err += dy; x0 += sx; }
    if (e2 <= dx) { err += dx; y0 += sy; }
  }
}

void AddOutline(Canvas& c, uint32_t rgb) {
  std::vector<uint32_t> src = c.pixels;
  auto at = [&](int x, int y) -> uint32_t {
    if (x < 0 || y < 0 || x >= c.width || y >= c.height) return 0;
    return src[size_t(y) * c.width + x];
  };
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      if (at(x, y) == 0 && (at(x - 1, y) || at(x + 1, y) || at(x, y - 1) || at(x, y + 1))) CanvasPut(c, x, y, rgb);
}

void FlipX(Canvas& c) {
  for (int y = 0; y < c.height; ++y) std::reverse(c.pixels.begin() + size_t(y) * c.width,
                                                  c.pixels.begin() + size_t(y + 1) * c.width);
}

void Blit(Canvas& dst, const Canvas& src, int dx, int dy) {
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) {
      uint32_t p = src.pixels[size_t(y) * src.width + x];
      if (p) CanvasPut(dst, dx + x, dy + y, p);
    }
}

void PutFrame(Canvas& sheet, int across, int index, const Canvas& frame) {
  Blit(sheet, frame, (index % across) * kCell, (index / across) * kCell);
}

// ---------------------------------------------------------------------------------------------------------------
// Random numbers
// ---------------------------------------------------------------------------------------------------------------

uint32_t RngNext(Rng& r) {
  uint32_t x = r.state ? r.state : 0x9E3779B9u;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  r.state = x;
  return x;
}

int RngRange(Rng& r, int lo, int hi) { return lo + int(RngNext(r) % uint32_t(hi - lo + 1)); }

float RngUnit(Rng& r) { return float(RngNext(r) >> 8) / 16777216.0f; }

// ---------------------------------------------------------------------------------------------------------------
// PNG
// ---------------------------------------------------------------------------------------------------------------

int WritePng(const std::string& path, const Canvas& c) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
    return -1;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(size_t(c.width) * 3);
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    std::fprintf(stderr, "assetgen: PNG encoding failed for %s\n", path.c_str());
    return -1;
  }
  png_init_io(png, f);
  png_set_compression_level(png, 6);
  png_set_IHDR(png, info, c.width, c.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      uint32_t p = c.pixels[size_t(y) * c.width + x];
      row[size_t(x) * 3] = uint8_t(p >> 16);
      row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(p);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 ? 0 : -1;
}

// ---------------------------------------------------------------------------------------------------------------
// Composite shapes and transforms
// ---------------------------------------------------------------------------------------------------------------

void OutlinedEllipse(Canvas& c, float cx, float cy, float rx, float ry, const Ramp& r) {
  FillEllipse(c, cx, cy, rx + 1, ry + 1, kOutline);
  ShadeEllipse(c, cx, cy, rx, ry, r);
}

void Sparkle(Canvas& c, int cx, int cy, int arm, uint32_t rgb) {
  for (int i = -arm; i <= arm; ++i) {
    CanvasPut(c, cx + i, cy, rgb);
    CanvasPut(c, cx, cy + i, rgb);
  }
}

Canvas ScaleAbout(const Canvas& src, float sx, float sy, float ax, float ay) {
  Canvas out = NewCanvas(src.width, src.height);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      float fx = (x + 0.5f - ax) / sx + ax, fy = (y + 0.5f - ay) / sy + ay;
      uint32_t p = CanvasGet(src, int(std::floor(fx)), int(std::floor(fy)));
      if (p) out.pixels[size_t(y) * out.width + x] = p;
    }
  return out;
}

Canvas Rotate90(const Canvas& src) {
  Canvas out = NewCanvas(src.height, src.width);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x)
      out.pixels[size_t(x) * out.width + (src.height - 1 - y)] = src.pixels[size_t(y) * src.width + x];
  return out;
}

void FlipY(Canvas& c) {
  for (int y = 0; y < c.height / 2; ++y)
    std::swap_ranges(c.pixels.begin() + size_t(y) * c.width, c.pixels.begin() + size_t(y + 1) * c.width,
                     c.pixels.begin() + size_t(c.height - 1 - y) * c.width);
}
