// dazar_assetgen OUTDIR [--contact-sheet FILE]
// Writes the game's sprite sheets (png/), effects (wav/), voices (voice/) and music (mid/) into OUTDIR.
#include "tools/assetgen/assetgen.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

const SheetInfo kSheets[7] = {
    {"Player.png", 4, 20, 80}, {"Enemy.png", 20, 120, 640}, {"Item.png", 4, 10, 23}, {"Block.png", 5, 10, 37},
    {"Tama.png", 4, 10, 16},   {"Bomb.png", 4, 10, 24},     {"yuka.png", 4, 10, 10},
};

Canvas MakeSheet(int index) {
  switch (index) {
    case 0: return MakePlayerSheet();
    case 1: return MakeEnemySheet();
    case 2: return MakeItemSheet();
    case 3: return MakeBlockSheet();
    case 4: return MakeTamaSheet();
    case 5: return MakeBombSheet();
    default: return MakeYukaSheet();
  }
}

// Creates a directory unless it is there already.
static int MakeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return 0;
  std::fprintf(stderr, "assetgen: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
  return -1;
}

// Writes the bytes as the whole file.
int WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
    return -1;
  }
  size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
  int closed = std::fclose(f);
  if (n == bytes.size() && closed == 0) return 0;
  std::fprintf(stderr, "assetgen: writing %s failed\n", path.c_str());
  return -1;
}

static int WriteSounds(const std::string& dir, const SoundInfo* table, int count) {
  for (int i = 0; i < count; ++i) {
    Samples s;
    table[i].make(s);
    for (float& v : s) v *= kMixLevel;
    if (WriteWave(dir + "/" + table[i].file, s) != 0) return -1;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--contact-sheet") == 0)) {
    std::fprintf(stderr, "usage: dazar_assetgen OUTDIR [--contact-sheet FILE]\n");
    return 2;
  }
  std::string out = argv[1];
  for (const char* sub : {"", "/png", "/wav", "/voice", "/mid"})
    if (MakeDir(out + sub) != 0) return 1;

  Canvas sheets[7];
  for (int i = 0; i < 7; ++i) {
    sheets[i] = MakeSheet(i);
    if (WritePng(out + "/png/" + kSheets[i].file, sheets[i]) != 0) return 1;
  }
  if (argc == 4 && WritePng(argv[3], MakeContactSheet(sheets)) != 0) return 1;

  if (WriteSounds(out + "/wav", kEffects, 16) != 0) return 1;
  if (WriteSounds(out + "/voice", kVoices, 32) != 0) return 1;
  for (int i = 0; i < 8; ++i)
    if (WriteFileBytes(out + "/mid/" + kSongs[i].file, ComposeSong(i)) != 0) return 1;
  return 0;
}
