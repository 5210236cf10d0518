// The eight songs: composed from a style and a seed, written as Standard MIDI Files.
#include "tools/assetgen/assetgen.h"

#include <algorithm>

constexpr int kTicks = 480;     // ticks per quarter note
constexpr int kEighth = kTicks / 2;
constexpr int kBar = kTicks * 4;

// ---------------------------------------------------------------------------------------------------------------
// Standard MIDI File writing
// ---------------------------------------------------------------------------------------------------------------

struct MidiEvent {
  int tick;
  int order;  // at one tick: controls first, then note-offs, then note-ons
  std::vector<uint8_t> bytes;
};

struct MidiTrack {
  std::vector<MidiEvent> events;
};

static void AddEvent(MidiTrack& t, int tick, int order, std::initializer_list<uint8_t> bytes) {
  t.events.push_back(MidiEvent{tick, order, std::vector<uint8_t>(bytes)});
}

static void AddNote(MidiTrack& t, int channel, int tick, int length, int note, int velocity) {
  note = std::clamp(note, 0, 127);
  AddEvent(t, tick, 2, {uint8_t(0x90 | channel), uint8_t(note), uint8_t(std::clamp(velocity, 1, 127))});
  AddEvent(t, tick + length, 1, {uint8_t(0x80 | channel), uint8_t(note), 0});
}

static void PutVarLen(std::vector<uint8_t>& b, uint32_t v) {
  uint8_t tmp[5];
  int n = 0;
  do {
    tmp[n++] = uint8_t(v & 0x7F);
    v >>= 7;
  } while (v);
  while (n--) b.push_back(uint8_t(tmp[n] | (n ? 0x80 : 0)));
}

static void PutBig32(std::vector<uint8_t>& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

// One MTrk chunk; the end-of-track meta event sits exactly at the loop length.
static void WriteTrack(std::vector<uint8_t>& out, MidiTrack& t, int endTick) {
  std::stable_sort(t.events.begin(), t.events.end(), [](const MidiEvent& a, const MidiEvent& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::vector<uint8_t> body;
  int now = 0;
  for (const MidiEvent& e : t.events) {
    PutVarLen(body, uint32_t(e.tick - now));
    body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    now = e.tick;
  }
  PutVarLen(body, uint32_t(endTick - now));
  body.insert(body.end(), {0xFF, 0x2F, 0x00});
  out.insert(out.end(), {'M', 'T', 'r', 'k'});
  PutBig32(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

// ---------------------------------------------------------------------------------------------------------------
// Styles
// ---------------------------------------------------------------------------------------------------------------

struct Style {
  int bpm;
  int root;           // MIDI note of the key's tonic in the melody's octave
  int mode[7];        // semitones of the scale
  int progA[8];       // scale degree of each bar's chord, first section
  int progB[8];       // second section
  int lead, pad, bass, arp;  // General MIDI programs; arp -1 for none
  int drums;          // drum pattern
  int bassPattern;
  int density;        // 0 calm .. 2 busy melody
};

static const Style kStyles[8] = {
    // title, stage 42 and battle: bright and driving
    {150, 60, {0, 2, 4, 5, 7, 9, 11}, {0, 4, 5, 3, 0, 4, 3, 4}, {5, 3, 0, 4, 5, 3, 1, 4}, 80, 89, 38, 81, 1, 2, 2},
    // options: calm morning
    {96, 65, {0, 2, 4, 6, 7, 9, 11}, {0, 1, 0, 4, 5, 1, 3, 4}, {3, 4, 2, 5, 3, 4, 1, 4}, 73, 88, 32, -1, 2, 1, 0},
    // world 0: cheerful woods
    {126, 67, {0, 2, 4, 5, 7, 9, 11}, {0, 3, 4, 0, 5, 3, 1, 4}, {3, 0, 3, 4, 5, 2, 3, 4}, 12, 48, 33, 75, 0, 0, 1},
    // world 1: driving minor
    {140, 57, {0, 2, 3, 5, 7, 8, 10}, {0, 5, 6, 0, 0, 5, 3, 4}, {3, 0, 5, 6, 3, 6, 2, 4}, 81, 50, 39, 87, 1, 2, 2},
    // world 2: cool water
    {112, 62, {0, 2, 3, 5, 7, 9, 10}, {0, 3, 0, 3, 0, 6, 3, 4}, {2, 3, 4, 3, 2, 6, 0, 4}, 11, 89, 35, 46, 2, 1, 1},
    // world 3: funky
    {132, 63, {0, 2, 4, 5, 7, 9, 10}, {0, 6, 3, 0, 0, 6, 3, 4}, {3, 3, 0, 0, 6, 3, 4, 4}, 61, 16, 36, -1, 1, 3, 2},
    // world 4: hot and tense
    {152, 64, {0, 2, 3, 5, 7, 8, 11}, {0, 5, 3, 4, 0, 5, 3, 4}, {3, 0, 5, 4, 3, 1, 4, 4}, 30, 48, 34, 81, 0, 2, 2},
    // world 5: the dark stages
    {92, 60, {0, 1, 3, 5, 7, 8, 10}, {0, 0, 1, 0, 5, 3, 1, 0}, {5, 5, 3, 3, 1, 1, 6, 4}, 71, 95, 32, 8, 3, 1, 0},
};

const SongInfo kSongs[8] = {
    {"dancers7.mid", 7001}, {"sunrise.mid", 7002},  {"mori2.mid", 7003},  {"kgb_03.mid", 7004},
    {"a-san.mid", 7005},    {"dancers4.mid", 7006}, {"dfa_14.mid", 7007}, {"kgb_02.mid", 7008},
};

// MIDI note of scale step `step` (may be negative or beyond 7) from the tonic at `root`.
static int ScaleNote(const Style& st, int root, int step) {
  int oct = step >= 0 ? step / 7 : -((-step + 6) / 7);
  int k = step - oct * 7;
  return root + oct * 12 + st.mode[k];
}

// ---------------------------------------------------------------------------------------------------------------
// Melody
// ---------------------------------------------------------------------------------------------------------------

struct MotifNote {
  int start;   // in eighths within two bars
  int length;  // in eighths
  int step;    // scale steps above the bar's chord root
};

// A two-bar motif: chord tones on strong beats, steps between, the busier the style the shorter the notes.
static std::vector<MotifNote> MakeMotif(Rng& r, int density, bool cadence) {
  static const int kLengths[3][6] = {{2, 2, 3, 4, 4, 6}, {1, 2, 2, 2, 3, 4}, {1, 1, 1, 2, 2, 3}};
  std::vector<MotifNote> m;
  int pos = 0, step = RngRange(r, 0, 2) * 2;
  while (pos < 16) {
    int len = kLengths[density][RngRange(r, 0, 5)];
    if (cadence && pos >= 8) len = 16 - pos;  // the phrase closes on one long note
    len = std::min(len, 16 - pos);
    bool strong = pos % 4 == 0;
    if (!cadence && pos > 0 && RngRange(r, 0, 9) == 0) {  // a breath
      pos += 1;
      continue;
    }
    if (cadence && pos + len == 16)
      step = 0;
    else if (strong)
      step = std::clamp(step + RngRange(r, -1, 1) * 2, -2, 7) & ~1;  // chord tone
    else
      step = std::clamp(step + RngRange(r, -2, 2), -3, 8);
    m.push_back(MotifNote{pos, len, step});
    pos += len;
  }
  return m;
}

// Lays the motif over bars `bar` and `bar + 1`, following each bar's chord.
static void PlayMotif(MidiTrack& t, const Style& st, const std::vector<MotifNote>& m, int bar, const int* chords,
                      int velocity) {
  for (const MotifNote& n : m) {
    int chord = chords[n.start / 8];
    int note = ScaleNote(st, st.root, chord + n.step);
    while (note > st.root + 19) note -= 12;
    while (note < st.root - 5) note += 12;
    int accent = n.start % 4 == 0 ? 10 : 0;
    AddNote(t, 0, bar * kBar + n.start * kEighth, n.length * kEighth - 20, note, velocity + accent);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Accompaniment
// ---------------------------------------------------------------------------------------------------------------

static void PlayPad(MidiTrack& t, const Style& st, int bar, int chord) {
  for (int k = 0; k < 3; ++k) AddNote(t, 1, bar * kBar, kBar - 10, ScaleNote(st, st.root - 12, chord + 2 * k), 52);
}

static void PlayBass(MidiTrack& t, const Style& st, int bar, int chord) {
  int root = ScaleNote(st, st.root - 24, chord), fifth = ScaleNote(st, st.root - 24, chord + 4);
  int at = bar * kBar;
  switch (st.bassPattern) {
    case 0:  // walking quarters
      for (int q = 0; q < 4; ++q) AddNote(t, 2, at + q * kTicks, kTicks - 30, q % 2 ? fifth : root, 96);
      break;
    case 1:  // long roots and fifths
      AddNote(t, 2, at, 2 * kTicks - 30, root, 90);
      AddNote(t, 2, at + 2 * kTicks, 2 * kTicks - 30, fifth, 84);
      break;
    case 2:  // eighth-note drive
      for (int e = 0; e < 8; ++e) AddNote(t, 2, at + e * kEighth, kEighth - 30, e == 7 ? root + 12 : root, e % 2 ? 84 : 100);
      break;
    default: {  // syncopated
      const int pos[] = {0, 3, 4, 6, 7};
      const int oct[] = {0, 0, 12, 0, 12};
      for (int i = 0; i < 5; ++i) AddNote(t, 2, at + pos[i] * kEighth, kEighth - 20, root + oct[i], i ? 88 : 104);
    }
  }
}

static void PlayArp(MidiTrack& t, const Style& st, int bar, int chord) {
  if (st.arp < 0) return;
  const int order[] = {0, 2, 4, 7, 4, 2, 0, 2};
  for (int i = 0; i < 8; ++i)
    AddNote(t, 3, bar * kBar + i * kEighth, kEighth - 40, ScaleNote(st, st.root, chord + order[i]), 48 + (i % 2 ? 0 : 8));
}

// Drum kit on channel 10; the last bar of each section carries a fill.
static void PlayDrums(MidiTrack& t, const Style& st, int bar, bool sectionStart, bool fill) {
  int at = bar * kBar;
  const int ch = 9;
  if (sectionStart) AddNote(t, ch, at, kEighth, 49, 100);
  for (int e = 0; e < 8; ++e) {
    int p = at + e * kEighth;
    if (fill && e >= 4) {
      const int toms[] = {50, 48, 47, 45};
      AddNote(t, ch, p, kEighth / 2, toms[e - 4], 100);
      AddNote(t, ch, p + kEighth / 2, kEighth / 2, toms[e - 4], 80);
      continue;
    }
    switch (st.drums) {
      case 0:  // rock
        if (e == 0 || e == 4 || e == 5) AddNote(t, ch, p, kEighth, 36, 110);
        if (e == 2 || e == 6) AddNote(t, ch, p, kEighth, 38, 100);
        AddNote(t, ch, p, kEighth / 2, 42, e % 2 ? 60 : 78);
        break;
      case 1:  // four on the floor
        if (e % 2 == 0) AddNote(t, ch, p, kEighth, 36, 112);
        if (e == 2 || e == 6) AddNote(t, ch, p, kEighth, 39, 96);
        AddNote(t, ch, p, kEighth / 2, e % 2 ? 46 : 42, e % 2 ? 70 : 64);
        break;
      case 2:  // light half-time
        if (e == 0 || e == 5) AddNote(t, ch, p, kEighth, 36, 90);
        if (e == 4) AddNote(t, ch, p, kEighth, 37, 80);
        AddNote(t, ch, p, kEighth / 2, 42, e % 2 ? 44 : 58);
        break;
      default:  // sparse: a low pulse and a ride
        if (e == 0) AddNote(t, ch, p, kEighth, 36, 84);
        if (e % 2 == 0) AddNote(t, ch, p, kEighth, 51, 50);
        if (e == 6 && bar % 2) AddNote(t, ch, p, kEighth, 41, 70);
    }
  }
}

static void SetUpChannel(MidiTrack& t, int channel, int program, int volume, int pan) {
  if (channel != 9) AddEvent(t, 0, 0, {uint8_t(0xC0 | channel), uint8_t(program)});
  AddEvent(t, 0, 0, {uint8_t(0xB0 | channel), 7, uint8_t(volume)});
  AddEvent(t, 0, 0, {uint8_t(0xB0 | channel), 10, uint8_t(pan)});
  AddEvent(t, 0, 0, {uint8_t(0xB0 | channel), 91, 40});
}

// ---------------------------------------------------------------------------------------------------------------
// Song
// ---------------------------------------------------------------------------------------------------------------

// Bars for about 44 seconds, in whole 8-bar sections, kept within 30..60 seconds.
static int SongBars(int bpm) {
  int sections = std::max(1, (bpm * 44 / 240 + 4) / 8);
  while (sections * 8 * 240 / bpm > 60) --sections;
  while (sections * 8 * 240 / bpm < 30) ++sections;
  return sections * 8;
}

std::vector<uint8_t> ComposeSong(int n) {
  const Style& st = kStyles[n];
  Rng r{uint32_t(kSongs[n].seed) * 2654435761u};
  int bars = SongBars(st.bpm);
  int endTick = bars * kBar;

  MidiTrack conductor, lead, pad, bass, arp, drums;
  uint32_t tempo = uint32_t(60000000 / st.bpm);
  AddEvent(conductor, 0, 0, {0xFF, 0x58, 0x04, 4, 2, 24, 8});
  AddEvent(conductor, 0, 0, {0xFF, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8), uint8_t(tempo)});
  SetUpChannel(lead, 0, st.lead, 100, 64);
  SetUpChannel(pad, 1, st.pad, 70, 40);
  SetUpChannel(bass, 2, st.bass, 100, 64);
  SetUpChannel(arp, 3, st.arp < 0 ? 0 : st.arp, 64, 90);
  SetUpChannel(drums, 9, 0, 96, 64);

  // Motifs: A1 A2 for the first section type, B1 B2 for the second, and a closing cadence.
  std::vector<MotifNote> a1 = MakeMotif(r, st.density, false), a2 = MakeMotif(r, st.density, false);
  std::vector<MotifNote> b1 = MakeMotif(r, st.density, false), b2 = MakeMotif(r, std::max(0, st.density - 1), false);
  std::vector<MotifNote> cad = MakeMotif(r, 0, true);
  for (int bar = 0; bar < bars; bar += 2) {
    int section = bar / 8;
    bool b = section % 2 == 1;
    const int* prog = b ? st.progB : st.progA;
    const int* chords = prog + bar % 8;
    int phrase = (bar % 8) / 2;
    const std::vector<MotifNote>& m = phrase == 3 ? (b ? b2 : cad) : phrase == 1 ? (b ? b2 : a2) : (b ? b1 : a1);
    PlayMotif(lead, st, m, bar, chords, 92);
  }
  for (int bar = 0; bar < bars; ++bar) {
    int section = bar / 8;
    const int* prog = section % 2 ? st.progB : st.progA;
    int chord = prog[bar % 8];
    PlayPad(pad, st, bar, chord);
    PlayBass(bass, st, bar, chord);
    if (section > 0 || bar >= 4) PlayArp(arp, st, bar, chord);
    PlayDrums(drums, st, bar, bar % 8 == 0, bar % 8 == 7);
  }

  std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 6, uint8_t(kTicks >> 8), uint8_t(kTicks & 255)};
  MidiTrack* tracks[] = {&conductor, &lead, &pad, &bass, &arp, &drums};
  for (MidiTrack* t : tracks) WriteTrack(out, *t, endTick);
  return out;
}
