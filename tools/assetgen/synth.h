// Small synthesiser shared by the effects and the synthesised voice cues.
#pragma once

#include "tools/assetgen/assetgen.h"

enum WaveShape { kSine, kSquare, kSaw, kTriangle, kPulse };

struct ToneSpec {
  float start = 0;   // seconds
  float length = 0;  // seconds
  float f0 = 440;    // Hz at the start
  float f1 = 440;    // Hz at the end (exponential glide)
  int shape = kSine;
  float amp = 0.5f;
  float attack = 0.003f;  // seconds
  float decay = 0;        // exponential decay over the length
  float vibratoHz = 0;
  float vibratoDepth = 0;  // fraction of the pitch
};

float Wave(int shape, float phase);  // one period over phase 0..1
void AddTone(Samples& s, const ToneSpec& t);
void AddSimple(Samples& s, float start, float length, float f0, float f1, int shape, float amp, float decay);
void AddNoise(Samples& s, float start, float length, float amp, float c0, float c1, float decay, uint32_t seed);
