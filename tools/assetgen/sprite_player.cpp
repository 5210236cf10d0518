// Player sheet: four players, each with four walking directions and a dying sequence.
#include "tools/assetgen/assetgen.h"

namespace {

struct PlayerLook {
  uint32_t helmet;  // the player's own colour
  uint32_t suit;
  uint32_t knob;    // the ball on the antenna
  uint32_t boots;
};

const PlayerLook kLooks[4] = {
    {0x3070F0, 0xE8ECF4, 0xF8D830, 0x2040A0},
    {0xE83838, 0xF4ECE0, 0x40E0F0, 0x902020},
    {0x30B848, 0xE8F4E8, 0xF870B8, 0x207030},
    {0x9050E0, 0xF0ECF8, 0xF88830, 0x503090},
};

constexpr uint32_t kSkin = 0xF8D0A0;
constexpr uint32_t kEye = 0x182030;

enum Dir { kDown, kUp, kLeft, kRight };

void DrawAntenna(Canvas& c, const PlayerLook& p, int x, int bob) {
  DrawLine(c, x, 4 + bob, x, 2 + bob, kOutline);
  OutlinedEllipse(c, float(x) + 0.5f, 1.8f + bob, 1.9f, 1.9f, MakeRamp(p.knob));
}

// Front and back views share the body; the face shows only from the front.
void DrawFrontOrBack(Canvas& c, const PlayerLook& p, bool front, int step, bool deadEyes) {
  int bob = step % 2 ? -1 : 0;
  int lift = step == 1 ? -1 : 0, liftR = step == 3 ? -1 : 0;
  OutlinedEllipse(c, 11.5f, 28.5f + lift, 3.2f, 2.0f, MakeRamp(p.boots));
  OutlinedEllipse(c, 20.5f, 28.5f + liftR, 3.2f, 2.0f, MakeRamp(p.boots));
  OutlinedEllipse(c, 16, 23.0f + bob, 6.5f, 4.8f, MakeRamp(p.suit));
  FillRect(c, 11, 24 + bob, 10, 1, MakeRamp(p.helmet).dark);  // belt
  int swing = step == 1 ? 1 : step == 3 ? -1 : 0;
  OutlinedEllipse(c, 8.5f, 22.0f + bob - swing, 2.3f, 2.3f, MakeRamp(p.suit));
  OutlinedEllipse(c, 23.5f, 22.0f + bob + swing, 2.3f, 2.3f, MakeRamp(p.suit));
  OutlinedEllipse(c, 16, 11.5f + bob, 9.5f, 8.0f, MakeRamp(p.helmet));
  if (front) {
    FillEllipse(c, 16, 14.0f + bob, 6.6f, 4.8f, kOutline);
    FillEllipse(c, 16, 14.0f + bob, 5.8f, 4.0f, kSkin);
    if (deadEyes) {
      for (int ex : {12, 18}) {
        DrawLine(c, ex, 12 + bob, ex + 2, 14 + bob, kEye);
        DrawLine(c, ex + 2, 12 + bob, ex, 14 + bob, kEye);
      }
    } else {
      FillRect(c, 13, 12 + bob, 2, 3, kEye);
      FillRect(c, 18, 12 + bob, 2, 3, kEye);
      CanvasPut(c, 13, 12 + bob, kWhite);
      CanvasPut(c, 18, 12 + bob, kWhite);
    }
  } else {
    FillRect(c, 11, 15 + bob, 10, 1, MakeRamp(p.helmet).dark);  // helmet rim from behind
  }
  DrawAntenna(c, p, 16, bob);
}

// Side view facing left; the right view is its mirror.
void DrawSide(Canvas& c, const PlayerLook& p, int step) {
  int bob = step % 2 ? -1 : 0;
  static const int kBack[4] = {-1, -4, -1, 3}, kFront[4] = {1, 3, 1, -4};
  OutlinedEllipse(c, 16.5f + kBack[step], 28.5f, 3.2f, 2.0f, MakeRamp(ScaleColor(p.boots, 0.8f)));
  OutlinedEllipse(c, 16 + 4 * (step == 1) - 4 * (step == 3), 22.0f + bob, 2.3f, 2.3f, MakeRamp(p.suit));
  OutlinedEllipse(c, 16.5f, 23.0f + bob, 5.5f, 4.8f, MakeRamp(p.suit));
  OutlinedEllipse(c, 15.5f + kFront[step], 28.5f, 3.2f, 2.0f, MakeRamp(p.boots));
  OutlinedEllipse(c, 16, 11.5f + bob, 9.5f, 8.0f, MakeRamp(p.helmet));
  FillEllipse(c, 11.5f, 14.0f + bob, 5.0f, 4.8f, kOutline);
  FillEllipse(c, 11.5f, 14.0f + bob, 4.2f, 4.0f, kSkin);
  FillRect(c, 10, 12 + bob, 2, 3, kEye);
  CanvasPut(c, 10, 12 + bob, kWhite);
  OutlinedEllipse(c, 16 - 3 * (step == 1) + 3 * (step == 3), 22.5f + bob, 2.3f, 2.3f, MakeRamp(p.suit));
  DrawAntenna(c, p, 18, bob);
}

Canvas WalkFrame(const PlayerLook& p, int dir, int step) {
  Canvas c = NewCanvas(kCell, kCell);
  if (dir == kDown || dir == kUp)
    DrawFrontOrBack(c, p, dir == kDown, step, false);
  else
    DrawSide(c, p, step);
  if (dir == kRight) FlipX(c);
  return c;
}

// Dying: shock, squash, melt, a last sparkle.
Canvas DyingFrame(const PlayerLook& p, int k) {
  Canvas c = NewCanvas(kCell, kCell);
  if (k == 0) {
    DrawFrontOrBack(c, p, true, 0, true);
    for (int i = 0; i < 3; ++i) DrawLine(c, 3 + i * 2, 3 + i, 5 + i * 2, 6 + i, 0xF8F080);  // shock lines
    return c;
  }
  if (k == 1) {
    Canvas full = NewCanvas(kCell, kCell);
    DrawFrontOrBack(full, p, true, 0, true);
    return ScaleAbout(full, 1.3f, 0.55f, 16, 31);
  }
  if (k == 2) {
    OutlinedEllipse(c, 16, 27, 12, 3.5f, MakeRamp(p.suit));
    OutlinedEllipse(c, 16, 24, 7, 3.5f, MakeRamp(p.helmet));
    OutlinedEllipse(c, 24, 20, 1.9f, 1.9f, MakeRamp(p.knob));
    Sparkle(c, 6, 16, 2, 0xF8F0A0);
    Sparkle(c, 27, 12, 2, 0xF8F0A0);
    return c;
  }
  OutlinedEllipse(c, 16, 18, 2.5f, 2.5f, MakeRamp(p.knob));
  Sparkle(c, 8, 10, 3, MakeRamp(p.helmet).hi);
  Sparkle(c, 24, 12, 2, MakeRamp(p.helmet).hi);
  Sparkle(c, 10, 25, 2, MakeRamp(p.knob).hi);
  Sparkle(c, 23, 26, 3, MakeRamp(p.helmet).hi);
  return c;
}

}  // namespace

Canvas MakePlayerSheet() {
  Canvas sheet = NewCanvas(4 * kCell, 20 * kCell);
  for (int n = 0; n < 4; ++n) {
    int base = n * 20;
    for (int dir = 0; dir < 4; ++dir)
      for (int step = 0; step < 4; ++step) PutFrame(sheet, 4, base + dir * 4 + step, WalkFrame(kLooks[n], dir, step));
    for (int k = 0; k < 4; ++k) PutFrame(sheet, 4, base + 16 + k, DyingFrame(kLooks[n], k));
  }
  return sheet;
}
