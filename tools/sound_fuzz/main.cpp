// sound_fuzz [rounds] [file ...]: damages sound files and loads, plays and decodes them through the
// sound module on the manual output. Without files it makes its own with sox, lame and oggenc (when
// installed) in a temporary directory. Prints the rounds run, how many still loaded and how many
// leaked; exits 1 on a leak.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/sound_fuzz/sound_fuzz.h"

// Reads a whole file through the library; empty when it cannot be read.
static std::vector<uint8_t> ReadWhole(const std::string &path)
{
    uint8_t *data = nullptr;
    uint32_t size = 0;
    std::vector<uint8_t> bytes;
    if (LoadFileImage(path.c_str(), &data, &size) == 0)
        bytes.assign(data, data + size);
    FreeMemoryTracked(data);
    return bytes;
}

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 2000;
    std::vector<std::string> files(argv + (argc > 2 ? 2 : argc), argv + argc);
    char tmpl[] = "/tmp/sound-fuzz-XXXXXX";
    std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    if (files.empty() && chdir(dir.c_str()) == 0)
        files = soundfuzz::MakeDamageInputs();
    if (AudioSelectBackend("manual") != 0 || StartupSoundSystem() != 0) {
        fprintf(stderr, "the sound module did not start\n");
        return 2;
    }
    int leaks = 0;
    for (size_t i = 0; i < files.size(); i++) {
        std::vector<uint8_t> image = ReadWhole(files[i]);
        soundfuzz::FuzzStats stats;
        soundfuzz::FuzzSoundImage(image, 0x9E3779B97F4A7C15ull * (i + 1), rounds, &stats);
        printf("%-40s rounds %6d  loaded %6d  leaks %d\n", files[i].c_str(), stats.rounds, stats.loaded, stats.leaks);
        leaks += stats.leaks;
    }
    ShutdownSoundSystem();
    std::string cleanup = "rm -rf '" + dir + "'";
    if (system(cleanup.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", dir.c_str());
    return leaks ? 1 : 0;
}
