// Enemy sheet: thirty-two kinds, one row of twenty frames each (four walk steps per facing, four dying steps).
#include "tools/assetgen/assetgen.h"

#include <cmath>

namespace {

enum Body { kSlime, kBall, kGhost, kRobot, kBeetle, kBat, kBeast, kFrog, kEyeball, kStar, kOcto, kCore };
enum Eyes { kEyesRound, kEyesOne, kEyesAngry, kEyesSleepy, kEyesSlit };
enum Mouth { kMouthNone, kMouthSmile, kMouthFangs, kMouthBig, kMouthBeak };
enum Top { kTopNone, kTopHorns, kTopAntenna, kTopSpikes, kTopCrown, kTopHat, kTopFlame, kTopEars, kTopCrest, kTopSprout };
enum Hold { kHoldNone, kHoldBomb, kHoldPierce, kHoldPower, kHoldDanger, kHoldCannon, kHoldSack };
enum Pattern { kPlain, kSpots, kStripes, kBelly, kSweat, kMask };
enum Facing { kFront, kBack, kSide };

struct Design {
  int body;
  uint32_t main;
  uint32_t accent;
  int eyes, mouth, top, hold, pattern;
};

// One row per kind; the look follows what the kind does (shooters carry a cannon, bomb layers a bomb...).
const Design kDesigns[32] = {
    {kBeast, 0xF0F0E8, 0x805030, kEyesRound, kMouthNone, kTopHorns, kHoldNone, kSpots},        // 0 cow
    {kFrog, 0x50C040, 0xF0E890, kEyesRound, kMouthSmile, kTopNone, kHoldNone, kBelly},         // 1 frog
    {kBall, 0xE03838, 0x802028, kEyesAngry, kMouthFangs, kTopSpikes, kHoldNone, kPlain},       // 2 hunter
    {kGhost, 0xB070F0, 0x6030A0, kEyesRound, kMouthSmile, kTopNone, kHoldNone, kPlain},        // 3 quick ghost
    {kSlime, 0xF09030, 0xC04020, kEyesSleepy, kMouthBig, kTopSprout, kHoldNone, kBelly},       // 4 bomb eater
    {kRobot, 0x7890B8, 0x40E0F0, kEyesSlit, kMouthNone, kTopAntenna, kHoldCannon, kPlain},     // 5 gunner robot
    {kBall, 0xD05020, 0xF8D040, kEyesAngry, kMouthFangs, kTopFlame, kHoldNone, kBelly},        // 6 fire imp
    {kBeetle, 0x98A0A8, 0xE83030, kEyesOne, kMouthNone, kTopAntenna, kHoldNone, kPlain},       // 7 mech bug
    {kGhost, 0xE0F0F8, 0x80B0D0, kEyesRound, kMouthBig, kTopNone, kHoldNone, kPlain},          // 8 pale ghost
    {kBall, 0x906040, 0xF0A0A8, kEyesSleepy, kMouthBeak, kTopNone, kHoldNone, kBelly},         // 9 mole
    {kBall, 0x50A060, 0x305030, kEyesAngry, kMouthSmile, kTopEars, kHoldBomb, kPlain},         // 10 goblin bomber
    {kBall, 0x4080E0, 0x204080, kEyesAngry, kMouthSmile, kTopAntenna, kHoldPierce, kPlain},    // 11 pierce bomber
    {kRobot, 0xC07040, 0xF0D8A0, kEyesRound, kMouthFangs, kTopNone, kHoldNone, kStripes},      // 12 brick golem
    {kSlime, 0xF890B0, 0xF8D0E0, kEyesRound, kMouthSmile, kTopNone, kHoldNone, kPlain},        // 13 little slime
    {kBeetle, 0x7040A8, 0xF0C040, kEyesAngry, kMouthNone, kTopHorns, kHoldNone, kPlain},       // 14 armoured beetle
    {kBeast, 0x704830, 0xE0B090, kEyesAngry, kMouthNone, kTopHorns, kHoldNone, kPlain},        // 15 bull
    {kBall, 0xF0C040, 0xE07020, kEyesRound, kMouthSmile, kTopSprout, kHoldNone, kPlain},       // 16 onion
    {kGhost, 0xF8C8D8, 0xE080A0, kEyesRound, kMouthSmile, kTopEars, kHoldNone, kSweat},        // 17 timid bunny
    {kOcto, 0xE85070, 0xF8B0C0, kEyesAngry, kMouthBeak, kTopNone, kHoldNone, kPlain},          // 18 octopus
    {kRobot, 0x8C8478, 0xF0A030, kEyesSlit, kMouthNone, kTopSpikes, kHoldCannon, kPlain},      // 19 stone turret
    {kStar, 0xF8E040, 0xF09020, kEyesRound, kMouthSmile, kTopNone, kHoldNone, kPlain},         // 20 star
    {kCore, 0x8890A8, 0xF03030, kEyesOne, kMouthNone, kTopNone, kHoldNone, kPlain},            // 21 core mech
    {kBat, 0x583878, 0xF04050, kEyesSlit, kMouthFangs, kTopNone, kHoldPower, kPlain},          // 22 power bat
    {kBall, 0xE8E0D0, 0xC02040, kEyesSlit, kMouthFangs, kTopSpikes, kHoldDanger, kPlain},      // 23 skull
    {kBall, 0x909098, 0x383840, kEyesRound, kMouthSmile, kTopEars, kHoldSack, kMask},          // 24 thief
    {kBall, 0x283878, 0xF03030, kEyesSlit, kMouthNone, kTopCrest, kHoldNone, kMask},           // 25 shadow
    {kGhost, 0x60C0A0, 0x308060, kEyesRound, kMouthBig, kTopNone, kHoldDanger, kSweat},        // 26 nervous ghost
    {kFrog, 0x3070E0, 0xF8E040, kEyesRound, kMouthSmile, kTopNone, kHoldNone, kSpots},         // 27 poison frog
    {kEyeball, 0x9040C0, 0x5828A0, kEyesOne, kMouthNone, kTopHat, kHoldNone, kPlain},          // 28 wizard eye
    {kSlime, 0xF0C830, 0xB08010, kEyesAngry, kMouthBig, kTopCrown, kHoldNone, kPlain},         // 29 golden glutton
    {kStar, 0x80F0F8, 0x3080F0, kEyesSlit, kMouthFangs, kTopNone, kHoldNone, kPlain},          // 30 spark
    {kBall, 0xC0C8D0, 0x3060C0, kEyesSlit, kMouthNone, kTopCrest, kHoldNone, kStripes},        // 31 knight
};

constexpr uint32_t kPupil = 0x182030;
constexpr uint32_t kBone = 0xF0E8C8;

// Where the face and the toppers go, and the body's ellipse for patterns.
struct Anchor {
  float fx, fy;    // face centre (front view; side views shift it)
  float top;       // top of the head
  float bx, by, brx, bry;
};

// Paints only over pixels the body already covers (and not its outline).
void PaintOnBody(Canvas& c, float cx, float cy, float rx, float ry, uint32_t col) {
  for (int y = int(cy - ry); y <= int(cy + ry) + 1; ++y)
    for (int x = int(cx - rx); x <= int(cx + rx) + 1; ++x) {
      float nx = (x + 0.5f - cx) / rx, ny = (y + 0.5f - cy) / ry;
      uint32_t p = CanvasGet(c, x, y);
      if (nx * nx + ny * ny <= 1 && p && p != kOutline) CanvasPut(c, x, y, col);
    }
}

void Feet(Canvas& c, const Ramp& r, int facing, int step, float y) {
  if (facing == kSide) {
    static const int kBackX[4] = {-1, -4, -1, 3}, kFrontX[4] = {1, 3, 1, -4};
    OutlinedEllipse(c, 17.0f + kBackX[step], y, 3.0f, 2.0f, MakeRamp(r.dark));
    OutlinedEllipse(c, 15.0f + kFrontX[step], y, 3.0f, 2.0f, r);
    return;
  }
  OutlinedEllipse(c, 11, y - (step == 1), 3.0f, 2.0f, r);
  OutlinedEllipse(c, 21, y - (step == 3), 3.0f, 2.0f, r);
}

// ---------------------------------------------------------------------------------------------------------------
// Bodies
// ---------------------------------------------------------------------------------------------------------------

Anchor DrawSlime(Canvas& c, const Design& d, int facing, int step) {
  static const float kSquash[4] = {0, 1, 0, -1};
  float rx = 11.5f + kSquash[step] * 0.8f, ry = 9.5f - kSquash[step] * 0.9f, cy = 30.5f - ry;
  float cx = facing == kSide ? 17 : 16;
  OutlinedEllipse(c, cx, cy, rx, ry, MakeRamp(d.main));
  FillRect(c, int(cx - rx + 2), int(cy + ry - 1), int(rx * 2 - 3), 1, MakeRamp(d.main).dark);
  return Anchor{16, cy + 0.5f, cy - ry, cx, cy, rx, ry};
}

Anchor DrawBall(Canvas& c, const Design& d, int facing, int step) {
  float bob = step % 2 ? -1.0f : 0.0f;
  Feet(c, MakeRamp(ScaleColor(d.main, 0.7f)), facing, step, 28.5f);
  OutlinedEllipse(c, 16, 16.5f + bob, 10.5f, 10.0f, MakeRamp(d.main));
  return Anchor{16, 15.5f + bob, 6.5f + bob, 16, 16.5f + bob, 10.5f, 10.0f};
}

Anchor DrawGhost(Canvas& c, const Design& d, int facing, int step) {
  static const float kFloat[4] = {0, -1, -2, -1};
  float b = kFloat[step];
  Ramp r = MakeRamp(d.main);
  FillRect(c, 5, int(14 + b), 22, 12, kOutline);
  FillEllipse(c, 16, 13 + b, 11, 10, kOutline);
  for (int k = 0; k < 4; ++k) FillEllipse(c, 7.5f + k * 5.7f - (step % 2) * 1.5f, 26 + b, 3.2f, 3.2f, kOutline);
  FillRect(c, 6, int(14 + b), 20, 12, r.mid);
  FillRect(c, 22, int(14 + b), 4, 12, r.dark);
  for (int k = 0; k < 4; ++k) FillEllipse(c, 7.5f + k * 5.7f - (step % 2) * 1.5f, 26 + b, 2.3f, 2.3f, k == 3 ? r.dark : r.mid);
  ShadeEllipse(c, 16, 13 + b, 10, 9, r);
  return Anchor{16, 13 + b, 3 + b, 16, 18 + b, 10, 10};
}

Anchor DrawRobot(Canvas& c, const Design& d, int facing, int step) {
  Ramp r = MakeRamp(d.main), tread = MakeRamp(0x585860);
  float bob = step % 2 ? -1.0f : 0.0f;
  FillRect(c, 6, 24, 20, 7, kOutline);
  FillRect(c, 7, 25, 18, 5, tread.mid);
  for (int x = 7 + step % 2 * 2; x < 25; x += 4) FillRect(c, x, 25, 1, 5, tread.dark);
  FillRect(c, 9, int(16 + bob), 14, 10, kOutline);
  ShadeRect(c, 10, int(17 + bob), 12, 8, r);
  FillRect(c, 7, int(4 + bob), 18, 14, kOutline);
  ShadeRect(c, 8, int(5 + bob), 16, 12, r);
  if (facing != kBack) {
    int vx = facing == kSide ? 8 : 10;
    FillRect(c, vx, int(8 + bob), 12, 6, ScaleColor(d.main, 0.35f));
  } else {
    for (int y = 8; y < 15; y += 3) FillRect(c, 11, int(y + bob), 10, 1, r.dark);  // vents
  }
  return Anchor{16, 11 + bob, 4 + bob, 16, 11 + bob, 8, 6};
}

Anchor DrawBeetle(Canvas& c, const Design& d, int facing, int step) {
  Ramp r = MakeRamp(d.main);
  for (int k = 0; k < 3; ++k) {
    int y = 12 + k * 6, off = ((k + step) % 2) * 2 - 1;
    DrawLine(c, 8, y, 2, y + off + 2, kOutline);
    DrawLine(c, 24, y, 30, y - off + 2, kOutline);
  }
  if (facing == kSide) {
    OutlinedEllipse(c, 18, 17, 11, 10, r);
    DrawLine(c, 18, 8, 26, 23, r.dark);
    OutlinedEllipse(c, 7, 20, 5, 4.5f, MakeRamp(ScaleColor(d.main, 0.55f)));
    return Anchor{10, 19, 9, 18, 17, 11, 10};
  }
  OutlinedEllipse(c, 16, 16, 11.5f, 11, r);
  DrawLine(c, 16, 6, 16, 26, r.dark);
  if (facing == kFront) OutlinedEllipse(c, 16, 24, 6.5f, 4.5f, MakeRamp(ScaleColor(d.main, 0.55f)));
  return Anchor{16, 23.5f, 5, 16, 16, 11.5f, 11};
}

Anchor DrawBat(Canvas& c, const Design& d, int facing, int step) {
  static const float kWing[4] = {-3, 1, 5, 1};
  Ramp r = MakeRamp(d.main), w = MakeRamp(ScaleColor(d.main, 0.75f));
  float wy = kWing[step], bob = step % 2 ? 1.0f : 0.0f;
  auto wing = [&](float sx) {
    FillTriangle(c, 16 + sx * 4, 12 + bob, 16 + sx * 15.5f, 6 + wy, 16 + sx * 13, 22 + wy * 0.5f, w.mid);
    FillTriangle(c, 16 + sx * 4, 18 + bob, 16 + sx * 13, 22 + wy * 0.5f, 16 + sx * 8, 22 + bob, w.dark);
  };
  if (facing == kSide)
    wing(1);
  else {
    wing(-1);
    wing(1);
  }
  AddOutline(c, kOutline);
  float cx = facing == kSide ? 14 : 16;
  OutlinedEllipse(c, cx, 16 + bob, 8, 7.5f, r);
  FillTriangle(c, cx - 6, 10 + bob, cx - 4, 3 + bob, cx - 1.5f, 9 + bob, r.mid);  // ears
  FillTriangle(c, cx + 6, 10 + bob, cx + 4, 3 + bob, cx + 1.5f, 9 + bob, r.mid);
  return Anchor{cx, 16 + bob, 9 + bob, cx, 16 + bob, 8, 7.5f};
}

Anchor DrawBeast(Canvas& c, const Design& d, int facing, int step) {
  Ramp r = MakeRamp(d.main), muzzle = MakeRamp(MixColor(d.accent, 0xF8B0B0, 0.6f));
  float bob = step % 2 ? -1.0f : 0.0f;
  static const int kLeg[4] = {0, -1, 0, 1};
  if (facing == kSide) {
    for (int k = 0; k < 2; ++k) FillRect(c, 13 + k * 10 + kLeg[step] * (k ? 1 : -1), 24, 4, 7, r.dark);
    OutlinedEllipse(c, 19, 21 + bob, 10, 7, r);
    OutlinedEllipse(c, 12, 14 + bob, 8.5f, 8, r);
    OutlinedEllipse(c, 6, 19 + bob, 4.5f, 3.5f, muzzle);
    CanvasPut(c, 4, 19 + int(bob), kPupil);
    OutlinedEllipse(c, 18, 9 + bob, 2.5f, 1.8f, r);  // ear
    return Anchor{12, 13 + bob, 6 + bob, 19, 21 + bob, 10, 7};
  }
  for (int k = 0; k < 2; ++k) FillRect(c, 9 + k * 11, 25 + (k ? kLeg[step] : -kLeg[step]), 4, 6, r.dark);
  OutlinedEllipse(c, 16, 23 + bob, 9, 6, r);
  OutlinedEllipse(c, 5.5f, 10 + bob, 3, 2, r);
  OutlinedEllipse(c, 26.5f, 10 + bob, 3, 2, r);
  OutlinedEllipse(c, 16, 14 + bob, 9.5f, 8.5f, r);
  if (facing == kFront) {
    OutlinedEllipse(c, 16, 20 + bob, 6.5f, 4, muzzle);
    CanvasPut(c, 14, 20 + int(bob), kPupil);
    CanvasPut(c, 18, 20 + int(bob), kPupil);
  }
  return Anchor{16, 12.5f + bob, 6 + bob, 16, 14 + bob, 9.5f, 8.5f};
}

Anchor DrawFrog(Canvas& c, const Design& d, int facing, int step) {
  Ramp r = MakeRamp(d.main);
  float hop = step % 2 ? -2.0f : 0.0f;
  float stretch = step % 2 ? 2.0f : 0.0f;
  OutlinedEllipse(c, 6, 28.5f, 4, 2.2f, r);
  OutlinedEllipse(c, 26, 28.5f, 4, 2.2f, r);
  if (stretch > 0) {
    FillRect(c, 7, 24, 3, 4, r.dark);
    FillRect(c, 22, 24, 3, 4, r.dark);
  }
  float cx = facing == kSide ? 17 : 16;
  OutlinedEllipse(c, cx, 21 + hop, 12, 8, r);
  float e1 = facing == kSide ? 9 : 10, e2 = facing == kSide ? 17 : 22;
  OutlinedEllipse(c, e1, 13 + hop, 4, 4, r);
  OutlinedEllipse(c, e2, 13 + hop, 4, 4, r);
  return Anchor{16, 13 + hop, 9 + hop, cx, 21 + hop, 12, 8};
}

Anchor DrawEyeball(Canvas& c, const Design& d, int facing, int step) {
  static const float kFloat[4] = {0, -1, -2, -1};
  float b = kFloat[step];
  Ramp white = MakeRamp(0xF0F0F0);
  OutlinedEllipse(c, 16, 18 + b, 10.5f, 10.5f, facing == kBack ? MakeRamp(d.main) : white);
  for (int k = 0; k < 3; ++k) DrawLine(c, 7 + k * 2, 22 + k * 2 + int(b), 10 + k * 3, 20 + k + int(b), 0xE05060);
  return Anchor{16, 18 + b, 8 + b, 16, 18 + b, 10.5f, 10.5f};
}

Anchor DrawStar(Canvas& c, const Design& d, int facing, int step) {
  Ramp r = MakeRamp(d.main);
  const float kTau = 6.2831853f;
  float spin = step * kTau / 40.0f + (facing == kSide ? 0.2f : 0.0f);
  for (int k = 0; k < 16; ++k) {
    float a0 = spin + k * kTau / 16, a1 = spin + (k + 1) * kTau / 16;
    float r0 = k % 2 ? 7.0f : 14.5f, r1 = k % 2 ? 14.5f : 7.0f;
    FillTriangle(c, 16, 16, 16 + r0 * std::sin(a0), 16 - r0 * std::cos(a0), 16 + r1 * std::sin(a1),
                 16 - r1 * std::cos(a1), k % 4 < 2 ? r.mid : r.light);
  }
  AddOutline(c, kOutline);
  ShadeEllipse(c, 16, 16, 8, 8, r);
  return Anchor{16, 15.5f, 4, 16, 16, 8, 8};
}

Anchor DrawOcto(Canvas& c, const Design& d, int facing, int step) {
  Ramp r = MakeRamp(d.main);
  for (int k = 0; k < 5; ++k) {
    float x = 7 + k * 4.5f, len = 4.5f + float((k + step) % 2) * 1.5f;
    OutlinedEllipse(c, x + ((k + step) % 2 ? 0.5f : -0.5f), 24 + len * 0.4f, 2.2f, len, k % 2 ? MakeRamp(ScaleColor(d.main, 0.8f)) : r);
  }
  float cx = facing == kSide ? 15 : 16, bob = step % 2 ? -1.0f : 0.0f;
  OutlinedEllipse(c, cx, 13 + bob, 11, 10, r);
  return Anchor{cx, 14 + bob, 3 + bob, cx, 13 + bob, 11, 10};
}

// The boss: drawn three times its size on screen, so big plain shapes and no single-pixel detail.
Anchor DrawCore(Canvas& c, const Design& d, int facing, int step) {
  Ramp r = MakeRamp(d.main), dark = MakeRamp(0x505868), dome = MakeRamp(MixColor(d.main, 0xFFFFFF, 0.15f));
  FillRect(c, 3, 24, 26, 8, kOutline);
  FillRect(c, 4, 25, 24, 6, dark.mid);
  for (int x = 4 + (step % 2) * 2; x < 28; x += 4) FillRect(c, x, 25, 2, 6, dark.dark);
  FillRect(c, 5, 9, 22, 17, kOutline);
  ShadeRect(c, 6, 10, 20, 15, r);
  FillTriangle(c, 8, 6, 12, 6, 8, 0, dark.mid);
  FillTriangle(c, 24, 6, 20, 6, 24, 0, dark.mid);
  OutlinedEllipse(c, 16, 9, 9, 6.5f, dome);
  bool side = facing == kSide;
  if (side) {  // one pod in front, its barrel pointing ahead
    FillRect(c, 0, 12, 6, 7, kOutline);
    FillRect(c, 0, 13, 5, 5, dark.dark);
    OutlinedEllipse(c, 6, 15, 4, 4.5f, dark);
  } else {
    for (float px : {4.5f, 27.0f}) {
      FillRect(c, int(px) - 2, 18, 5, 8, kOutline);
      FillRect(c, int(px) - 1, 19, 3, 6, dark.dark);
      OutlinedEllipse(c, px, 15, 4, 4.5f, dark);
    }
  }
  if (facing == kBack) {
    for (int y = 13; y < 23; y += 3) FillRect(c, 9, y, 14, 2, r.dark);
    return Anchor{16, 16, 2, 16, 16, 11, 8};
  }
  float cx = side ? 14 : 16, glow = step % 2 ? 5.0f : 4.5f;
  FillEllipse(c, cx, 17, 6, 6, kOutline);
  ShadeEllipse(c, cx, 17, glow, glow, MakeRamp(d.accent));
  return Anchor{cx, 17, 2, 16, 16, 11, 8};
}

Anchor DrawBody(Canvas& c, const Design& d, int facing, int step) {
  switch (d.body) {
    case kSlime: return DrawSlime(c, d, facing, step);
    case kGhost: return DrawGhost(c, d, facing, step);
    case kRobot: return DrawRobot(c, d, facing, step);
    case kBeetle: return DrawBeetle(c, d, facing, step);
    case kBat: return DrawBat(c, d, facing, step);
    case kBeast: return DrawBeast(c, d, facing, step);
    case kFrog: return DrawFrog(c, d, facing, step);
    case kEyeball: return DrawEyeball(c, d, facing, step);
    case kStar: return DrawStar(c, d, facing, step);
    case kOcto: return DrawOcto(c, d, facing, step);
    case kCore: return DrawCore(c, d, facing, step);
    default: return DrawBall(c, d, facing, step);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Faces, toppers, patterns and held things
// ---------------------------------------------------------------------------------------------------------------

void DeadEye(Canvas& c, int x, int y) {
  DrawLine(c, x - 1, y - 1, x + 1, y + 1, kPupil);
  DrawLine(c, x + 1, y - 1, x - 1, y + 1, kPupil);
}

void RoundEye(Canvas& c, float x, float y, float lookX, bool sleepy) {
  FillEllipse(c, x, y, 2.6f, 3.2f, kOutline);
  FillEllipse(c, x, y, 1.9f, 2.5f, kWhite);
  FillRect(c, int(x + lookX), int(y - 1), 1, 2, kPupil);
  if (sleepy) FillRect(c, int(x - 2), int(y - 3), 5, 2, kOutline);
}

void DrawEyes(Canvas& c, const Design& d, float fx, float fy, bool side, bool dead) {
  float gap = d.body == kFrog ? 6.0f : 3.5f;
  float xs[2] = {fx - gap, fx + gap};
  int count = side && d.body != kFrog ? 1 : 2;
  if (side) xs[0] = fx - (d.body == kFrog ? 7 : 4), xs[1] = fx + (d.body == kFrog ? 1 : 0);
  if (d.eyes == kEyesOne || d.body == kEyeball) {
    float ex = side ? fx - 4 : fx;
    if (d.body == kCore) ex = side ? fx + 3 : fx;
    if (dead) return DeadEye(c, int(ex), int(fy));
    float rr = d.body == kEyeball ? 5.0f : 3.2f;
    if (d.body == kEyeball) {
      FillEllipse(c, ex, fy, rr, rr, ScaleColor(d.main, 0.6f));
      FillEllipse(c, ex - 0.5f, fy - 0.5f, rr - 1, rr - 1, d.main);
      FillEllipse(c, ex, fy, 1.8f, 1.8f, kPupil);
      CanvasPut(c, int(ex) - 2, int(fy) - 2, kWhite);
    } else if (d.body == kCore) {
      // the core itself belongs to the body; it glows with the walk
    } else {
      FillEllipse(c, ex, fy, rr + 0.8f, rr + 0.8f, kOutline);
      FillEllipse(c, ex, fy, rr, rr, d.accent);
      FillRect(c, int(ex) - 1, int(fy) - 1, 2, 2, MixColor(d.accent, 0xFFFFFF, 0.7f));
    }
    return;
  }
  for (int k = 0; k < count; ++k) {
    float x = xs[k];
    if (dead) {
      DeadEye(c, int(x), int(fy));
      continue;
    }
    if (d.body == kFrog) {
      FillEllipse(c, x, fy, 2.4f, 2.4f, kWhite);
      FillRect(c, int(x) - (side ? 1 : 0), int(fy) - 1, 2, 2, kPupil);
      continue;
    }
    switch (d.eyes) {
      case kEyesSlit:
        FillRect(c, int(x) - 2, int(fy) - 1, 4, 2, kOutline);
        FillRect(c, int(x) - 1, int(fy) - 1, 3, 1, d.accent);
        break;
      case kEyesAngry:
        RoundEye(c, x, fy, side ? -1.0f : (k ? -1.0f : 0.0f), false);
        DrawLine(c, int(x) - 2, int(fy) - 4 + (k ? 1 : -1), int(x) + 2, int(fy) - 4 + (k ? -1 : 1), kOutline);
        break;
      default:
        RoundEye(c, x, fy, side ? -1.0f : 0.0f, d.eyes == kEyesSleepy);
    }
  }
}

void DrawMouth(Canvas& c, const Design& d, float fx, float fy, bool side, bool dead) {
  int x = int(fx) - (side ? 3 : 0), y = int(fy) + 5;
  if (d.body == kFrog) y = int(fy) + 11;
  if (dead) {
    for (int i = -2; i <= 2; ++i) CanvasPut(c, x + i, y + (i % 2 ? 1 : 0), kPupil);
    return;
  }
  switch (d.mouth) {
    case kMouthSmile:
      for (int i = -2; i <= 2; ++i) CanvasPut(c, x + i, y + (std::abs(i) < 2 ? 1 : 0), kPupil);
      break;
    case kMouthFangs:
      FillRect(c, x - 3, y, 7, 1, kPupil);
      CanvasPut(c, x - 2, y + 1, kWhite);
      CanvasPut(c, x + 2, y + 1, kWhite);
      break;
    case kMouthBig:
      FillEllipse(c, float(x) + 0.5f, float(y) + 1.5f, 4.5f, 3.0f, kOutline);
      FillEllipse(c, float(x) + 0.5f, float(y) + 1.5f, 3.6f, 2.2f, 0x901828);
      FillRect(c, x - 2, y, 6, 1, kWhite);
      FillRect(c, x - 1, y + 2, 3, 1, 0xF06070);
      break;
    case kMouthBeak:
      FillEllipse(c, float(x) + 0.5f, float(y), 2.5f, 1.8f, kOutline);
      FillEllipse(c, float(x) + 0.5f, float(y), 1.8f, 1.2f, d.accent);
      break;
    default:
      break;
  }
}

void DrawTop(Canvas& c, const Design& d, const Anchor& a, bool side, int step) {
  float x = side ? a.fx + 1 : 16, t = a.top;
  Ramp acc = MakeRamp(d.accent);
  switch (d.top) {
    case kTopHorns:
      FillTriangle(c, x - 7, t + 3, x - 3, t + 2, x - 8, t - 4, kBone);
      if (!side) FillTriangle(c, x + 7, t + 3, x + 3, t + 2, x + 8, t - 4, kBone);
      else FillTriangle(c, x + 2, t + 3, x + 5, t + 2, x + 3, t - 4, kBone);
      break;
    case kTopAntenna:
      DrawLine(c, int(x), int(t), int(x), int(t) - 3, kOutline);
      FillEllipse(c, x + 0.5f, t - 4, 2.2f, 2.2f, kOutline);
      FillEllipse(c, x + 0.5f, t - 4, 1.4f, 1.4f, step % 2 ? acc.hi : acc.mid);
      break;
    case kTopSpikes:
      for (int k = -1; k <= 1; ++k)
        FillTriangle(c, x + k * 5 - 2.5f, t + 2.5f, x + k * 5 + 2.5f, t + 2.5f, x + k * 6, t - 3 + std::abs(k), acc.mid);
      break;
    case kTopCrown:
      FillRect(c, int(x) - 5, int(t) - 2, 11, 3, 0xF8D030);
      for (int k = 0; k < 3; ++k) FillTriangle(c, x - 5 + k * 4, t - 2, x - 1 + k * 4, t - 2, x - 3 + k * 4.5f, t - 6, 0xF8D030);
      CanvasPut(c, int(x), int(t) - 1, 0xE03040);
      break;
    case kTopHat:
      FillEllipse(c, x, t + 1, 9, 2, acc.dark);
      FillTriangle(c, x - 6, t + 1, x + 6, t + 1, x + 3, t - 9, acc.mid);
      Sparkle(c, int(x), int(t) - 3, 1, 0xF8E060);
      break;
    case kTopFlame: {
      float f = step % 2 ? 1.0f : 0.0f;
      FillEllipse(c, x, t - 1, 4.5f, 4 + f, 0xE83010);
      FillTriangle(c, x - 4, t - 1, x + 4, t - 1, x + (step % 3) - 1, t - 9 - f, 0xE83010);
      FillEllipse(c, x, t, 2.5f, 2.5f, 0xF8C030);
      FillTriangle(c, x - 2, t, x + 2, t, x, t - 5 - f, 0xF8C030);
      break;
    }
    case kTopEars:
      OutlinedEllipse(c, x - 4, t - 3, 2.2f, 5, MakeRamp(d.main));
      if (!side) OutlinedEllipse(c, x + 4, t - 3, 2.2f, 5, MakeRamp(d.main));
      FillEllipse(c, x - 4, t - 2.5f, 0.9f, 3, acc.mid);
      if (!side) FillEllipse(c, x + 4, t - 2.5f, 0.9f, 3, acc.mid);
      break;
    case kTopCrest:
      FillRect(c, int(x) - 1, int(t) - 5, 3, 6, acc.mid);
      FillRect(c, int(x) + 2, int(t) - 4, 2 + step % 2, 3, acc.dark);
      break;
    case kTopSprout:
      DrawLine(c, int(x), int(t), int(x), int(t) - 3, 0x308030);
      FillEllipse(c, x - 2.5f, t - 4, 2.5f, 1.5f, 0x50C040);
      FillEllipse(c, x + 3, t - 4.5f, 2.5f, 1.5f, 0x60D050);
      break;
    default:
      break;
  }
}

void DrawPattern(Canvas& c, const Design& d, const Anchor& a, int facing) {
  uint32_t acc = d.accent;
  switch (d.pattern) {
    case kSpots:
      PaintOnBody(c, a.bx - a.brx * 0.5f, a.by - a.bry * 0.3f, 2.6f, 2.2f, acc);
      PaintOnBody(c, a.bx + a.brx * 0.45f, a.by + a.bry * 0.2f, 2.2f, 2.6f, acc);
      PaintOnBody(c, a.bx + a.brx * 0.1f, a.by - a.bry * 0.75f, 2.0f, 1.6f, acc);
      break;
    case kStripes:
      for (int k = -1; k <= 1; ++k) PaintOnBody(c, a.bx, a.by + k * a.bry * 0.55f, a.brx, 0.6f, ScaleColor(d.main, 0.6f));
      break;
    case kBelly:
      if (facing == kFront) PaintOnBody(c, a.bx, a.by + a.bry * 0.55f, a.brx * 0.6f, a.bry * 0.45f, acc);
      break;
    case kMask:
      if (facing != kBack) PaintOnBody(c, facing == kSide ? a.fx - 2 : a.fx, a.fy, a.brx, 2.6f, acc);
      break;
    default:
      break;
  }
}

void DrawSweat(Canvas& c, const Anchor& a, int facing, int step) {
  if (facing == kBack) return;
  float x = facing == kSide ? a.bx + 7 : a.bx + 9, y = a.top + 4 + step % 2;
  FillEllipse(c, x, y + 1, 1.8f, 2.2f, 0x70C8F8);
  CanvasPut(c, int(x), int(y) - 2, 0x70C8F8);
}

void DrawHold(Canvas& c, const Design& d, int facing, int step) {
  if (d.hold == kHoldNone || facing == kBack) return;
  bool side = facing == kSide;
  if (d.hold == kHoldCannon) {
    Ramp g = MakeRamp(0x606870);
    if (side) {
      FillRect(c, 0, 15, 9, 6, kOutline);
      ShadeRect(c, 1, 16, 8, 4, g);
      FillRect(c, 1, 17, 1, 2, kOutline);
    } else {
      FillRect(c, 12, 23, 8, 9, kOutline);
      ShadeRect(c, 13, 24, 6, 7, g);
      FillRect(c, 14, 30, 4, 1, kOutline);
    }
    return;
  }
  if (d.hold == kHoldSack) {
    OutlinedEllipse(c, side ? 25.0f : 25.5f, side ? 16.0f : 21.0f, 5, 5, MakeRamp(0xB08850));
    FillRect(c, side ? 24 : 24, side ? 11 : 16, 3, 1, 0x705030);
    return;
  }
  static const uint32_t kBombColours[5] = {0, 0x384060, 0x3070D0, 0xD03030, 0x8030A0};
  float bx = side ? 6.0f : 25.0f, by = 24.0f - (step % 2);
  OutlinedEllipse(c, bx, by, 4, 4, MakeRamp(kBombColours[d.hold]));
  DrawLine(c, int(bx) + 1, int(by) - 4, int(bx) + 3, int(by) - 6, 0xC0A070);
  CanvasPut(c, int(bx) + 3, int(by) - 7, step % 2 ? 0xF8F060 : 0xF89020);
  if (d.hold == kHoldDanger) {
    FillRect(c, int(bx) - 1, int(by) - 1, 3, 2, 0xF0F0F0);
    CanvasPut(c, int(bx), int(by) + 1, 0xF0F0F0);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------------------------------

// dir: 0 down, 1 up, 2 left, 3 right.
Canvas WalkFrame(const Design& d, int dir, int step, bool dead) {
  Canvas c = NewCanvas(kCell, kCell);
  int facing = dir == 0 ? kFront : dir == 1 ? kBack : kSide;
  bool side = facing == kSide;
  Anchor a = DrawBody(c, d, facing, step);
  DrawPattern(c, d, a, facing);
  float fx = side ? a.fx - 3 : a.fx;
  if (facing != kBack) {
    DrawEyes(c, d, fx, a.fy, side, dead);
    DrawMouth(c, d, fx, a.fy, side, dead);
  }
  DrawTop(c, d, a, side, step);
  if (d.pattern == kSweat) DrawSweat(c, a, facing, step);
  DrawHold(c, d, facing, step);
  AddOutline(c, kOutline);
  if (dir == 3) FlipX(c);
  return c;
}

// Dying: struck (pale, crossed eyes), squashed, burst, a last puff.
Canvas DyingFrame(const Design& d, int k) {
  Canvas hit = WalkFrame(d, 0, 0, true);
  if (k == 0) {
    for (uint32_t& p : hit.pixels)
      if (p && p != kOutline) p = MixColor(p, 0xFFFFFF, 0.35f);
    return hit;
  }
  if (k == 1) return ScaleAbout(hit, 1.25f, 0.6f, 16, 31);
  Canvas c = NewCanvas(kCell, kCell);
  if (k == 2) {
    Canvas small = ScaleAbout(hit, 0.75f, 0.75f, 16, 16);
    static const int kQx[4] = {-4, 4, -4, 4}, kQy[4] = {-4, -4, 4, 4};
    for (int q = 0; q < 4; ++q) {
      Canvas part = NewCanvas(kCell, kCell);
      for (int y = (q / 2) * 16; y < (q / 2) * 16 + 16; ++y)
        for (int x = (q % 2) * 16; x < (q % 2) * 16 + 16; ++x) part.pixels[size_t(y) * kCell + x] = CanvasGet(small, x, y);
      Blit(c, part, kQx[q], kQy[q]);
    }
    AddOutline(c, kOutline);
    Sparkle(c, 16, 16, 3, 0xF8F8C0);
    return c;
  }
  uint32_t smoke = MixColor(d.main, 0xE0E0E0, 0.6f);
  static const float kPuff[5][3] = {{10, 18, 4}, {20, 16, 4.5f}, {15, 11, 3.5f}, {23, 23, 3}, {9, 25, 3}};
  for (const auto& p : kPuff) OutlinedEllipse(c, p[0], p[1], p[2], p[2], MakeRamp(smoke));
  Sparkle(c, 5, 8, 2, MakeRamp(d.main).hi);
  Sparkle(c, 27, 9, 2, MakeRamp(d.main).hi);
  return c;
}

}  // namespace

Canvas MakeEnemySheet() {
  Canvas sheet = NewCanvas(20 * kCell, 120 * kCell);
  for (int kind = 0; kind < 32; ++kind) {
    const Design& d = kDesigns[kind];
    for (int dir = 0; dir < 4; ++dir)
      for (int step = 0; step < 4; ++step) PutFrame(sheet, 20, kind * 20 + dir * 4 + step, WalkFrame(d, dir, step, false));
    for (int k = 0; k < 4; ++k) PutFrame(sheet, 20, kind * 20 + 16 + k, DyingFrame(d, k));
  }
  return sheet;
}
