// WAVE writer, small synthesiser and the sixteen effects.
#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

constexpr float kPi = 3.14159265358979f;

// ---------------------------------------------------------------------------------------------------------------
// WAVE file
// ---------------------------------------------------------------------------------------------------------------

static void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

static void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// Byte by byte: GCC 12 takes a range insert into the reserved vector for an overflow (-Wstringop-overflow).
static void PutTag(std::vector<uint8_t>& b, const char* tag) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

// RIFF WAVE, a 16-byte PCM format chunk first, then the data chunk.
int WriteWave(const std::string& path, const Samples& s) {
  uint32_t dataBytes = uint32_t(s.size() * 2);
  std::vector<uint8_t> b;
  b.reserve(44 + dataBytes);
  PutTag(b, "RIFF");
  Put32(b, 36 + dataBytes);
  PutTag(b, "WAVE");
  PutTag(b, "fmt ");
  Put32(b, 16);
  Put16(b, 1);  // PCM
  Put16(b, 1);  // mono
  Put32(b, kRate);
  Put32(b, kRate * 2);
  Put16(b, 2);
  Put16(b, 16);
  PutTag(b, "data");
  Put32(b, dataBytes);
  for (float v : s) Put16(b, uint16_t(int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f))));
  return WriteFileBytes(path, b);
}

// ---------------------------------------------------------------------------------------------------------------
// Synthesis helpers
// ---------------------------------------------------------------------------------------------------------------

float NoteHz(float midiNote) { return 440.0f * std::pow(2.0f, (midiNote - 69.0f) / 12.0f); }

void Normalize(Samples& s, float peak) {
  float m = 0;
  for (float v : s) m = std::max(m, std::fabs(v));
  if (m > 0)
    for (float& v : s) v *= peak / m;
}

void FadeEdges(Samples& s, int fadeIn, int fadeOut) {
  int n = int(s.size());
  for (int i = 0; i < fadeIn && i < n; ++i) s[i] *= float(i) / fadeIn;
  for (int i = 0; i < fadeOut && i < n; ++i) s[n - 1 - i] *= float(i) / fadeOut;
}

float Wave(int shape, float phase) {
  phase -= std::floor(phase);
  switch (shape) {
    case kSine: return std::sin(2 * kPi * phase);
    case kSquare: return phase < 0.5f ? 0.6f : -0.6f;
    case kSaw: return (2 * phase - 1) * 0.7f;
    case kPulse: return phase < 0.25f ? 0.6f : -0.6f;
    default: return (phase < 0.5f ? 4 * phase - 1 : 3 - 4 * phase);  // triangle
  }
}

static void Reserve(Samples& s, size_t end) {
  if (s.size() < end) s.resize(end, 0.0f);
}

// Adds a tone whose pitch glides from f0 to f1 (exponentially), with a linear attack and an exponential decay.
void AddTone(Samples& s, const ToneSpec& t) {
  size_t start = size_t(t.start * kRate), n = size_t(t.length * kRate);
  Reserve(s, start + n);
  float phase = 0, vibPhase = 0;
  for (size_t i = 0; i < n; ++i) {
    float u = float(i) / float(n);
    float f = t.f0 * std::pow(t.f1 / t.f0, u);
    vibPhase += t.vibratoHz / kRate;
    f *= 1.0f + t.vibratoDepth * std::sin(2 * kPi * vibPhase);
    phase += f / kRate;
    float env = std::min(1.0f, float(i) / std::max(1.0f, t.attack * kRate));
    env *= std::exp(-t.decay * u);
    env *= std::min(1.0f, float(n - i) / (0.004f * kRate));  // no click at the end
    s[start + i] += t.amp * env * Wave(t.shape, phase);
  }
}

// Adds noise through a one-pole low-pass whose cut-off glides from c0 to c1 (0..1 per sample).
void AddNoise(Samples& s, float start, float length, float amp, float c0, float c1, float decay, uint32_t seed) {
  size_t b = size_t(start * kRate), n = size_t(length * kRate);
  Reserve(s, b + n);
  Rng r{seed};
  float y = 0;
  for (size_t i = 0; i < n; ++i) {
    float u = float(i) / float(n);
    float cut = c0 + (c1 - c0) * u;
    y += cut * ((RngUnit(r) * 2 - 1) - y);
    float env = std::exp(-decay * u) * std::min(1.0f, float(n - i) / (0.004f * kRate));
    s[b + i] += amp * env * y;
  }
}

static ToneSpec Tone(float start, float length, float f0, float f1, int shape, float amp, float decay) {
  ToneSpec t;
  t.start = start;
  t.length = length;
  t.f0 = f0;
  t.f1 = f1;
  t.shape = shape;
  t.amp = amp;
  t.decay = decay;
  return t;
}

void AddSimple(Samples& s, float start, float length, float f0, float f1, int shape, float amp, float decay) {
  AddTone(s, Tone(start, length, f0, f1, shape, amp, decay));
}

// A short bright note with its octave, for chimes and jingles.
static void Chime(Samples& s, float start, float note, float length, float amp) {
  float f = NoteHz(note);
  AddSimple(s, start, length, f, f, kSquare, amp * 0.5f, 4.0f);
  AddSimple(s, start, length, f * 2, f * 2, kSine, amp * 0.4f, 6.0f);
}

// Finishes an effect: loudness and click-free edges.
static void Finish(Samples& s, float peak) {
  Normalize(s, peak);
  FadeEdges(s, 22, 220);
}

// ---------------------------------------------------------------------------------------------------------------
// Effects
// ---------------------------------------------------------------------------------------------------------------

static void MakeExplosion(Samples& s) {
  AddNoise(s, 0, 0.85f, 1.0f, 0.9f, 0.03f, 3.5f, 11);
  AddNoise(s, 0, 0.25f, 0.5f, 0.5f, 0.2f, 6.0f, 12);
  AddSimple(s, 0, 0.5f, 130, 38, kSine, 0.9f, 4.0f);
  Finish(s, 0.95f);
}

static void MakeBubble(Samples& s) {
  ToneSpec t = Tone(0, 0.13f, 260, 900, kSine, 0.9f, 1.5f);
  t.vibratoHz = 40;
  t.vibratoDepth = 0.05f;
  AddTone(s, t);
  AddSimple(s, 0.02f, 0.08f, 520, 1400, kSine, 0.3f, 3.0f);
  Finish(s, 0.8f);
}

// An FM blip: a carrier whose modulation index falls away.
static void MakeFm(Samples& s) {
  int n = int(0.28f * kRate);
  s.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    float t = float(i) / kRate, u = float(i) / n;
    float index = 6.0f * std::exp(-5 * u);
    float mod = std::sin(2 * kPi * 330 * 1.5f * t);
    s[i] = std::sin(2 * kPi * 330 * t + index * mod) * std::exp(-3 * u);
  }
  Finish(s, 0.8f);
}

static void MakePickup(Samples& s) {
  const float notes[] = {72, 76, 79, 84};
  for (int i = 0; i < 4; ++i) Chime(s, i * 0.055f, notes[i], 0.16f, 1.0f);
  Finish(s, 0.8f);
}

static void MakeFall(Samples& s) {
  ToneSpec t = Tone(0, 1.0f, 1300, 140, kTriangle, 0.9f, 1.2f);
  t.vibratoHz = 9;
  t.vibratoDepth = 0.03f;
  AddTone(s, t);
  AddNoise(s, 0.85f, 0.3f, 0.5f, 0.3f, 0.05f, 5.0f, 41);
  Finish(s, 0.85f);
}

// A growl: a buzzing saw with a wobbling pitch, roughened by noise.
static void MakeAnimal(Samples& s) {
  ToneSpec t = Tone(0, 0.65f, 150, 95, kSaw, 0.8f, 1.5f);
  t.attack = 0.05f;
  t.vibratoHz = 23;
  t.vibratoDepth = 0.12f;
  AddTone(s, t);
  AddNoise(s, 0, 0.6f, 0.35f, 0.15f, 0.05f, 2.0f, 51);
  Finish(s, 0.85f);
}

static void MakeBeep(Samples& s) {
  AddSimple(s, 0, 0.14f, 494, 494, kSquare, 0.7f, 0.5f);
  AddSimple(s, 0.15f, 0.22f, 349, 330, kSquare, 0.7f, 1.5f);
  Finish(s, 0.7f);
}

static void MakeEnemyDie(Samples& s) {
  ToneSpec t = Tone(0, 0.45f, 700, 180, kTriangle, 0.9f, 1.5f);
  t.vibratoHz = 18;
  t.vibratoDepth = 0.12f;
  AddTone(s, t);
  Finish(s, 0.8f);
}

static void MakeSparkle(Samples& s) {
  for (int i = 0; i < 8; ++i) Chime(s, i * 0.045f, 76.0f + (i % 4) * 4 + (i / 4) * 12, 0.14f, 0.9f - i * 0.06f);
  Finish(s, 0.8f);
}

static void MakeBigPower(Samples& s) {
  AddSimple(s, 0, 0.45f, 200, 1600, kSaw, 0.5f, 0.5f);
  const float chord[] = {72, 76, 79, 84};
  for (int i = 0; i < 4; ++i) Chime(s, 0.42f, chord[i], 0.7f, 0.7f);
  for (int i = 0; i < 4; ++i) Chime(s, 0.12f + i * 0.07f, 60.0f + i * 5, 0.12f, 0.5f);
  Finish(s, 0.85f);
}

// The stage card: a short rising phrase over a bass note.
static void MakeStageStart(Samples& s) {
  const float melody[] = {67, 72, 76, 79, 76, 79, 84};
  const float len[] = {0.12f, 0.12f, 0.12f, 0.24f, 0.12f, 0.12f, 0.6f};
  float t = 0;
  for (int i = 0; i < 7; ++i) {
    Chime(s, t, melody[i], len[i] + 0.08f, 0.9f);
    t += len[i];
  }
  AddSimple(s, 0, 0.48f, NoteHz(48), NoteHz(48), kTriangle, 0.6f, 1.0f);
  AddSimple(s, 0.48f, 0.96f, NoteHz(55), NoteHz(55), kTriangle, 0.6f, 1.5f);
  Finish(s, 0.8f);
}

static void MakeCursor(Samples& s) {
  AddSimple(s, 0, 0.035f, 1320, 1320, kSquare, 0.6f, 1.0f);
  AddSimple(s, 0.035f, 0.05f, 1760, 1760, kSquare, 0.6f, 3.0f);
  Finish(s, 0.6f);
}

static void MakeOneUp(Samples& s) {
  const float notes[] = {76, 79, 88, 84, 86, 91};
  for (int i = 0; i < 6; ++i) Chime(s, i * 0.09f, notes[i], 0.2f, 0.9f);
  Finish(s, 0.8f);
}

static void MakeWarp(Samples& s) {
  int n = int(0.55f * kRate);
  s.assign(n, 0);
  float phase = 0;
  for (int i = 0; i < n; ++i) {
    float u = float(i) / n;
    float f = 300 + 900 * u + 250 * std::sin(2 * kPi * 12 * u);
    phase += f / kRate;
    s[i] = Wave(kSine, phase) * 0.6f + Wave(kTriangle, phase * 1.5f) * 0.3f;
    s[i] *= std::sin(kPi * u);
  }
  Finish(s, 0.75f);
}

static void MakeSwitch(Samples& s) {
  AddNoise(s, 0, 0.02f, 0.8f, 0.9f, 0.9f, 2.0f, 141);
  AddSimple(s, 0.01f, 0.22f, 400, 2400, kSquare, 0.5f, 2.0f);
  Finish(s, 0.75f);
}

// A struck metal plate: inharmonic partials that die away quickly.
static void MakeMetal(Samples& s) {
  const float ratio[] = {1.0f, 2.76f, 5.40f, 8.93f};
  for (int i = 0; i < 4; ++i) AddSimple(s, 0, 0.32f, 520 * ratio[i], 520 * ratio[i], kSine, 0.6f / (i + 1), 7.0f + i * 2);
  AddNoise(s, 0, 0.03f, 0.6f, 0.8f, 0.8f, 3.0f, 151);
  Finish(s, 0.8f);
}

const SoundInfo kEffects[16] = {
    {"bom09.wav", MakeExplosion},      {"buble01.wav", MakeBubble},  {"fm000.wav", MakeFm},
    {"power09.wav", MakePickup},       {"fall00.wav", MakeFall},     {"animal02.wav", MakeAnimal},
    {"beep15.wav", MakeBeep},          {"byoro01_a.wav", MakeEnemyDie}, {"power10.wav", MakeSparkle},
    {"power37.wav", MakeBigPower},     {"stage_start.wav", MakeStageStart}, {"cursor18.wav", MakeCursor},
    {"power28.wav", MakeOneUp},        {"warp02.wav", MakeWarp},     {"power02.wav", MakeSwitch},
    {"metal24.wav", MakeMetal},
};
