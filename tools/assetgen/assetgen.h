// Asset generator: draws, synthesises and composes the game's data files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------------------------------------------

// An RGB picture; 0 is the transparent (pure black) pixel, every visible pixel is non-zero.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, row by row
};

// Four tones of one colour, dark to highlight, for flat banded shading.
struct Ramp {
  uint32_t dark;
  uint32_t mid;
  uint32_t light;
  uint32_t hi;
};

constexpr int kCell = 32;                  // every sheet is cut into 32 x 32 frames
constexpr uint32_t kOutline = 0x101014;    // dark edge; pure black would be keyed out
constexpr uint32_t kWhite = 0xF8F8F8;

void CanvasInit(Canvas& c, int width, int height);  // all transparent
Canvas NewCanvas(int width, int height);            // all transparent
void CanvasPut(Canvas& c, int x, int y, uint32_t rgb);  // clipped; black becomes the darkest visible tone
uint32_t CanvasGet(const Canvas& c, int x, int y);      // 0 outside
void FillRect(Canvas& c, int x, int y, int w, int h, uint32_t rgb);
void FillEllipse(Canvas& c, float cx, float cy, float rx, float ry, uint32_t rgb);
void ShadeEllipse(Canvas& c, float cx, float cy, float rx, float ry, const Ramp& r);  // lit from top-left
void ShadeRect(Canvas& c, int x, int y, int w, int h, const Ramp& r);                // bevelled box
void FillTriangle(Canvas& c, float ax, float ay, float bx, float by, float qx, float qy, uint32_t rgb);
void DrawLine(Canvas& c, int x0, int y0, int x1, int y1, uint32_t rgb);
void AddOutline(Canvas& c, uint32_t rgb);  // edge every transparent pixel that touches a drawn one (4-way)
void FlipX(Canvas& c);
void Blit(Canvas& dst, const Canvas& src, int dx, int dy);  // transparent pixels of src are skipped
void PutFrame(Canvas& sheet, int across, int index, const Canvas& frame);  // frame index -> cell

void OutlinedEllipse(Canvas& c, float cx, float cy, float rx, float ry, const Ramp& r);  // shaded, dark rim
void Sparkle(Canvas& c, int cx, int cy, int arm, uint32_t rgb);                          // four-pointed star
Canvas ScaleAbout(const Canvas& src, float sx, float sy, float ax, float ay);  // nearest pixel, about (ax, ay)
Canvas Rotate90(const Canvas& src);  // clockwise, square canvases
void FlipY(Canvas& c);

uint32_t Rgb(int r, int g, int b);
uint32_t ScaleColor(uint32_t rgb, float f);
uint32_t MixColor(uint32_t a, uint32_t b, float t);
Ramp MakeRamp(uint32_t base);

// Writes a whole file. Returns 0, or -1 with a message on stderr.
int WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes an 8-bit RGB PNG without alpha. Returns 0, or -1 with a message on stderr.
int WritePng(const std::string& path, const Canvas& c);

// Deterministic random numbers for the generator (xorshift).
struct Rng {
  uint32_t state;
};
uint32_t RngNext(Rng& r);
int RngRange(Rng& r, int lo, int hi);  // lo..hi inclusive
float RngUnit(Rng& r);                 // [0, 1)

// Sprite sheets; each returns the whole sheet at its full size.
Canvas MakePlayerSheet();  // 128 x 640
Canvas MakeEnemySheet();   // 640 x 3840
Canvas MakeItemSheet();    // 128 x 320
Canvas MakeBlockSheet();   // 160 x 320
Canvas MakeTamaSheet();    // 128 x 320
Canvas MakeBombSheet();    // 128 x 320
Canvas MakeYukaSheet();    // 128 x 320

// Shared small pictures used by several sheets.
void DrawBombBody(Canvas& c, const Ramp& body, uint32_t band, int pulse, int fuseSpark);
void DrawTinyText(Canvas& c, int x, int y, const char* text, uint32_t rgb, int scale);  // 3x5 digits and capitals

struct SheetInfo {
  const char* file;  // as the game names it, below png/
  int across;
  int down;
  int used;          // frames 0..used-1 carry pictures
};
extern const SheetInfo kSheets[7];
Canvas MakeSheet(int index);  // by kSheets index

// One PNG with every used frame of every sheet and its index, for review.
Canvas MakeContactSheet(const Canvas* sheets);

// ---------------------------------------------------------------------------------------------------------------
// Sounds
// ---------------------------------------------------------------------------------------------------------------

constexpr int kRate = 22050;  // every WAVE: 22050 Hz, mono, 16-bit PCM

using Samples = std::vector<float>;  // -1..1

// The game plays up to seven effects and voices at once: at a time-out the fall and the last-life cue
// of all four players (three copies of each, started together) and the hurry call. Every file is
// written at a seventh of the peak its maker chose, so even those seven peak below full scale and
// leave room for the music.
constexpr float kMixLevel = 1.0f / 7.0f;

int WriteWave(const std::string& path, const Samples& s);  // 0 or -1
void Normalize(Samples& s, float peak);
void FadeEdges(Samples& s, int fadeIn, int fadeOut);
float NoteHz(float midiNote);

// Fills the named file's samples; the tables hold the file names as the game loads them.
struct SoundInfo {
  const char* file;
  void (*make)(Samples& out);
};
extern const SoundInfo kEffects[16];
extern const SoundInfo kVoices[32];

// Speech through espeak-ng when it is on the PATH; a formant stand-in otherwise. 1 when spoken by espeak-ng.
int SpeakText(const char* text, int pitch, int speed, Samples& out);

// ---------------------------------------------------------------------------------------------------------------
// Music
// ---------------------------------------------------------------------------------------------------------------

struct SongInfo {
  const char* file;
  int seed;
};
extern const SongInfo kSongs[8];
// Composes song n of kSongs into the bytes of a Standard MIDI File (format 1).
std::vector<uint8_t> ComposeSong(int n);
