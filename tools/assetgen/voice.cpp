// The thirty-two voices: spoken cues through espeak-ng, animal and shot cues synthesised.
#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

constexpr float kPi = 3.14159265358979f;

// ---------------------------------------------------------------------------------------------------------------
// Speech
// ---------------------------------------------------------------------------------------------------------------

// Reads a little-endian 16-bit value.
static int Get16(const std::vector<uint8_t>& b, size_t at) { return int(int16_t(b[at] | (b[at + 1] << 8))); }

// Takes the samples of the WAVE espeak-ng streams to its output (the data size there is a placeholder).
static int DecodeStreamedWave(const std::vector<uint8_t>& b, Samples& out) {
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 36, "data", 4) != 0) return -1;
  int rate = int(uint32_t(b[24]) | (uint32_t(b[25]) << 8) | (uint32_t(b[26]) << 16));
  if (Get16(b, 22) != 1 || Get16(b, 34) != 16 || rate <= 0) return -1;
  Samples raw;
  for (size_t i = 44; i + 1 < b.size(); i += 2) raw.push_back(float(Get16(b, i)) / 32768.0f);
  // Linear resampling when the speech rate is not ours.
  size_t n = size_t(double(raw.size()) * kRate / rate);
  out.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    double p = double(i) * rate / kRate;
    size_t k = size_t(p);
    float f = float(p - double(k));
    out[i] = raw[std::min(k, raw.size() - 1)] * (1 - f) + raw[std::min(k + 1, raw.size() - 1)] * f;
  }
  return out.empty() ? -1 : 0;
}

// Runs espeak-ng on a fixed text of ours; -1 when it is not there.
static int RunEspeak(const char* text, int pitch, int speed, Samples& out) {
  char cmd[256];
  std::snprintf(cmd, sizeof cmd, "espeak-ng -v en-us+m3 -p %d -s %d -a 180 --stdout \"%s\" 2>/dev/null", pitch, speed,
                text);
  FILE* p = popen(cmd, "r");
  if (!p) return -1;
  std::vector<uint8_t> bytes;
  uint8_t buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  int status = pclose(p);
  if (status != 0) return -1;
  return DecodeStreamedWave(bytes, out);
}

// Two-pole resonator over a whole buffer.
static Samples Resonate(const Samples& in, float hz, float bandwidth) {
  float r = std::exp(-kPi * bandwidth / kRate);
  float b1 = 2 * r * std::cos(2 * kPi * hz / kRate), b2 = -r * r;
  Samples out(in.size());
  float y1 = 0, y2 = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    float y = (1 - r) * in[i] + b1 * y1 + b2 * y2;
    out[i] = y;
    y2 = y1;
    y1 = y;
  }
  return out;
}

// A voiced sound: a pulse train at a gliding pitch through two formants.
static Samples Vowel(float length, float pitch0, float pitch1, float f1, float f2) {
  size_t n = size_t(length * kRate);
  Samples src(n);
  float phase = 0;
  for (size_t i = 0; i < n; ++i) {
    float u = float(i) / float(n);
    phase += (pitch0 + (pitch1 - pitch0) * u) / kRate;
    float ph = phase - std::floor(phase);
    src[i] = ph < 0.1f ? 1.0f - ph * 10 : -0.11f;  // sharp glottal pulse
  }
  Samples a = Resonate(src, f1, 90), b = Resonate(src, f2, 120);
  for (size_t i = 0; i < n; ++i) {
    float u = float(i) / float(n);
    float env = std::min(1.0f, u * 12) * std::min(1.0f, (1 - u) * 6);
    src[i] = (a[i] + 0.6f * b[i]) * env;
  }
  return src;
}

static void Append(Samples& s, const Samples& more, float gap) {
  s.resize(s.size() + size_t(gap * kRate), 0.0f);
  s.insert(s.end(), more.begin(), more.end());
}

// Stand-in speech: one vowel per syllable, so the cue keeps its rhythm without espeak-ng.
static void FormantSpeech(const char* text, int pitch, Samples& out) {
  static const float kFormants[5][2] = {{730, 1090}, {530, 1840}, {390, 1990}, {570, 840}, {440, 1020}};
  const char* vowels = "aeiou";
  out.clear();
  bool inVowel = false;
  float base = 90.0f + pitch;
  for (const char* c = text; *c; ++c) {
    const char* v = std::strchr(vowels, *c | 0x20);
    if (v && *v && !inVowel) {
      int k = int(v - vowels);
      Append(out, Vowel(0.15f, base * 1.2f, base, kFormants[k][0], kFormants[k][1]), 0.03f);
      base *= 0.95f;
    }
    inVowel = v && *v;
  }
  if (out.empty()) out = Vowel(0.2f, base, base * 0.9f, 600, 1200);
}

// Cuts leading and trailing quiet.
static void Trim(Samples& s, float threshold) {
  size_t a = 0, b = s.size();
  while (a < b && std::fabs(s[a]) < threshold) ++a;
  while (b > a && std::fabs(s[b - 1]) < threshold) --b;
  s = Samples(s.begin() + a, s.begin() + b);
}

int SpeakText(const char* text, int pitch, int speed, Samples& out) {
  int spoken = RunEspeak(text, pitch, speed, out) == 0 ? 1 : 0;
  if (!spoken) {
    static bool warned = false;
    if (!warned) std::fprintf(stderr, "assetgen: espeak-ng did not run; spoken cues use the formant stand-in\n");
    warned = true;
    FormantSpeech(text, pitch, out);
  }
  Trim(out, 0.01f);
  if (out.empty()) FormantSpeech(text, pitch, out);
  Normalize(out, 0.9f);
  FadeEdges(out, 44, 441);
  return spoken;
}

// ---------------------------------------------------------------------------------------------------------------
// Spoken cues
// ---------------------------------------------------------------------------------------------------------------

#define SPOKEN(name, text, pitch, speed) \
  static void name(Samples& s) { SpeakText(text, pitch, speed, s); }

SPOKEN(VBonus, "Bonus!", 70, 170)
SPOKEN(VBombUp, "Bomb up!", 60, 170)
SPOKEN(VFireUp, "Fire up!", 60, 170)
SPOKEN(VSpeedUp, "Speed up!", 65, 185)
SPOKEN(VOneUp, "One up!", 75, 165)
SPOKEN(VBombPass, "Bomb pass!", 60, 170)
SPOKEN(VBlockPass, "Block pass!", 60, 170)
SPOKEN(VInvincible, "Invincible!", 70, 170)
SPOKEN(VRemote, "Remote control!", 55, 175)
SPOKEN(VHeart, "Extra heart!", 70, 165)
SPOKEN(VPierce, "Pierce bomb!", 55, 170)
SPOKEN(VBombDown, "Bomb down.", 25, 140)
SPOKEN(VFireDown, "Fire down.", 25, 140)
SPOKEN(VSpeedDown, "Speed down.", 25, 130)
SPOKEN(VPowerBomb, "Power bomb!", 50, 165)
SPOKEN(VFullFire, "Full fire!", 65, 170)
SPOKEN(VLineBomb, "Line bomb!", 55, 170)
SPOKEN(VDangerBomb, "Danger bomb!", 45, 165)
SPOKEN(VKick, "Kick!", 70, 170)
SPOKEN(VHurry, "Hurry up!", 80, 200)
SPOKEN(VYummy, "Yummy!", 85, 160)
SPOKEN(VScary, "Scary!", 95, 190)

// The title call: spoken, then a short rising shimmer under its tail.
static void VTitle(Samples& s) {
  SpeakText("DaZar!", 72, 130, s);
  size_t speech = s.size();
  AddSimple(s, float(speech) / kRate * 0.5f, 0.45f, 660, 1320, kTriangle, 0.25f, 2.0f);
  Normalize(s, 0.9f);
}

// The ominous cue: low speech over a falling drone.
static void VOminous(Samples& s) {
  SpeakText("Here they come...", 5, 120, s);
  AddSimple(s, 0, float(s.size()) / kRate, 110, 70, kSaw, 0.25f, 1.0f);
  Normalize(s, 0.9f);
  FadeEdges(s, 44, 882);
}

// The defeat cue: a slow "oh no" and a falling tone.
static void VDefeat(Samples& s) {
  SpeakText("Oh no...", 30, 110, s);
  float len = float(s.size()) / kRate;
  AddSimple(s, len * 0.3f, 0.7f, 440, 110, kTriangle, 0.3f, 1.5f);
  Normalize(s, 0.9f);
  FadeEdges(s, 44, 882);
}

// ---------------------------------------------------------------------------------------------------------------
// Synthesised cues
// ---------------------------------------------------------------------------------------------------------------

// A cow-like call: a closed hum opening into "oo".
static void VCow(Samples& s) {
  s = Vowel(0.2f, 118, 122, 250, 700);
  Append(s, Vowel(0.75f, 122, 92, 330, 850), 0.0f);
  Normalize(s, 0.85f);
  FadeEdges(s, 220, 2205);
}

// A frog's two-part croak: rough pulses through a low vowel.
static void VFrog(Samples& s) {
  for (int k = 0; k < 2; ++k) {
    Samples c = Vowel(k ? 0.22f : 0.14f, 38, 32, 420, 1300);
    for (size_t i = 0; i < c.size(); ++i) c[i] *= 0.6f + 0.4f * std::sin(2 * kPi * 28 * float(i) / kRate);
    Append(s, c, k ? 0.06f : 0.0f);
  }
  Normalize(s, 0.85f);
  FadeEdges(s, 44, 441);
}

static void VShot1(Samples& s) {
  AddSimple(s, 0, 0.16f, 1600, 300, kSquare, 0.8f, 2.0f);
  Normalize(s, 0.75f);
  FadeEdges(s, 22, 220);
}

static void VShot2(Samples& s) {
  AddNoise(s, 0, 0.35f, 1.0f, 0.15f, 0.6f, 2.5f, 262);
  AddSimple(s, 0, 0.3f, 220, 660, kSaw, 0.35f, 2.0f);
  Normalize(s, 0.8f);
  FadeEdges(s, 22, 441);
}

static void VShot3(Samples& s) {
  AddSimple(s, 0, 0.22f, 260, 70, kSquare, 0.8f, 2.0f);
  AddNoise(s, 0, 0.08f, 0.6f, 0.5f, 0.2f, 3.0f, 272);
  Normalize(s, 0.8f);
  FadeEdges(s, 22, 220);
}

static void VShot4(Samples& s) {
  ToneSpec t;
  t.length = 0.4f;
  t.f0 = 500;
  t.f1 = 1400;
  t.shape = kTriangle;
  t.amp = 0.8f;
  t.decay = 1.5f;
  t.vibratoHz = 14;
  t.vibratoDepth = 0.15f;
  AddTone(s, t);
  Normalize(s, 0.75f);
  FadeEdges(s, 22, 441);
}

static void VWarp(Samples& s) {
  int n = int(0.45f * kRate);
  s.assign(n, 0);
  float phase = 0;
  for (int i = 0; i < n; ++i) {
    float u = float(i) / n;
    float f = 180 * std::pow(8.0f, u);
    phase += f / kRate;
    s[i] = Wave(kSine, phase) * std::sin(kPi * u) * (0.7f + 0.3f * Wave(kSine, u * 30));
  }
  Normalize(s, 0.8f);
  FadeEdges(s, 22, 441);
}

const SoundInfo kVoices[32] = {
    {"bonus.wav", VBonus},         {"bomup.wav", VBombUp},          {"fireup.wav", VFireUp},
    {"speedup.wav", VSpeedUp},     {"oneup.wav", VOneUp},           {"btuuka.wav", VBombPass},
    {"bl_tuuka.wav", VBlockPass},  {"muteki.wav", VInvincible},     {"limocon.wav", VRemote},
    {"hart.wav", VHeart},          {"kantuu.wav", VPierce},         {"bom_down.wav", VBombDown},
    {"fire_down.wav", VFireDown},  {"speed_down.wav", VSpeedDown},  {"powbom.wav", VPowerBomb},
    {"fullfire.wav", VFullFire},   {"linebomb.wav", VLineBomb},     {"dengerbom.wav", VDangerBomb},
    {"si.wav", VOminous},          {"bomkick.wav", VKick},          {"sindatoki.wav", VDefeat},
    {"title_call.wav", VTitle},    {"harry.wav", VHurry},           {"usi.wav", VCow},
    {"kaeru.wav", VFrog},          {"tama1.wav", VShot1},           {"tama2.wav", VShot2},
    {"tama3.wav", VShot3},         {"tama4.wav", VShot4},           {"umee.wav", VYummy},
    {"kowaiyo.wav", VScary},       {"warp.wav", VWarp},
};
