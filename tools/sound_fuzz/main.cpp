// sound_fuzz [rounds] [file ...]: damages sound files and loads, plays and decodes them through the
// sound module on the manual output. Without files it makes its own with sox, lame and oggenc (when
// installed). Prints the rounds run, how many still loaded and how many leaked; exits 1 on a leak.
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

// Makes the default fixtures in dir; the paths of those that were made.
static std::vector<std::string> MakeFixtures(const std::string &dir)
{
    const char *commands[][2] = {
        {"p16.wav", "sox -n -r 22050 -c 2 -b 16 p16.wav synth 0.2 sine 440"},
        {"p8.wav", "sox -n -r 11025 -c 1 -b 8 -e unsigned p8.wav synth 0.2 sine 440"},
        {"ms.wav", "sox p16.wav -e ms-adpcm ms.wav"},
        {"ima.wav", "sox p16.wav -e ima-adpcm ima.wav"},
        {"ulaw.wav", "sox p16.wav -e u-law ulaw.wav"},
        {"tag.mp3", "lame --quiet -b 64 --add-id3v2 --tt T p16.wav tag.mp3"},
        {"vbr.mp3", "lame --quiet -V4 p16.wav vbr.mp3"},
        {"t.ogg", "oggenc -Q p16.wav -o t.ogg"},
    };
    std::vector<std::string> made;
    for (auto &c : commands) {
        std::string cmd = "cd '" + dir + "' && " + c[1] + " >/dev/null 2>&1";
        if (system(cmd.c_str()) == 0)
            made.push_back(dir + "/" + c[0]);
        else
            fprintf(stderr, "skipped %s (tool missing?)\n", c[0]);
    }
    return made;
}

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 2000;
    std::vector<std::string> files(argv + (argc > 2 ? 2 : argc), argv + argc);
    char tmpl[] = "/tmp/sound-fuzz-XXXXXX";
    std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    if (files.empty())
        files = MakeFixtures(dir);
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
