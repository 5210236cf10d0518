// Shared helpers of the asset tests: where the generated files are and how to read them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef DAZAR_ASSETS_BUILT
#define DAZAR_ASSETS_BUILT "assets"
#endif

// The folder the build generated: DAZAR_ASSET_DIR when the test environment sets it, else the build's own.
inline std::string AssetDir() {
  const char* dir = std::getenv("DAZAR_ASSET_DIR");
  return dir && *dir ? dir : DAZAR_ASSETS_BUILT;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

inline uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8); }

inline uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | uint32_t(b[at + 3]);
}

// The names exactly as the game loads them (below png/, wav/, voice/ and mid/).
inline const std::vector<std::string>& EffectNames() {
  static const std::vector<std::string> names = {
      "bom09.wav",   "buble01.wav",     "fm000.wav",    "power09.wav", "fall00.wav",  "animal02.wav",
      "beep15.wav",  "byoro01_a.wav",   "power10.wav",  "power37.wav", "stage_start.wav", "cursor18.wav",
      "power28.wav", "warp02.wav",      "power02.wav",  "metal24.wav"};
  return names;
}

inline const std::vector<std::string>& VoiceNames() {
  static const std::vector<std::string> names = {
      "bonus.wav",      "bomup.wav",    "fireup.wav",    "speedup.wav",   "oneup.wav",      "btuuka.wav",
      "bl_tuuka.wav",   "muteki.wav",   "limocon.wav",   "hart.wav",      "kantuu.wav",     "bom_down.wav",
      "fire_down.wav",  "speed_down.wav", "powbom.wav",  "fullfire.wav",  "linebomb.wav",   "dengerbom.wav",
      "si.wav",         "bomkick.wav",  "sindatoki.wav", "title_call.wav", "harry.wav",     "usi.wav",
      "kaeru.wav",      "tama1.wav",    "tama2.wav",     "tama3.wav",     "tama4.wav",      "umee.wav",
      "kowaiyo.wav",    "warp.wav"};
  return names;
}

inline const std::vector<std::string>& SongNames() {
  static const std::vector<std::string> names = {"dancers7.mid", "sunrise.mid",  "mori2.mid",  "kgb_03.mid",
                                                 "a-san.mid",    "dancers4.mid", "dfa_14.mid", "kgb_02.mid"};
  return names;
}

struct SheetSpec {
  const char* file;
  int across, down, used;
};

inline const std::vector<SheetSpec>& SheetSpecs() {
  static const std::vector<SheetSpec> sheets = {{"Player.png", 4, 20, 80}, {"Enemy.png", 20, 120, 640},
                                                {"Item.png", 4, 10, 23},   {"Block.png", 5, 10, 37},
                                                {"Tama.png", 4, 10, 16},   {"Bomb.png", 4, 10, 24},
                                                {"yuka.png", 4, 10, 10}};
  return sheets;
}
