// Fuzz target: one sound file through the sound module on the manual output: a static sound loaded
// and played, the same file streamed and looped through the ring, and a decoder's reads and seeks.
// fuzz_sound --make-seeds DIR writes the good files the damaged-sound tests start from into DIR.
#include <unistd.h>

#include <cstring>

#include "tools/fuzz/fuzz_input.h"
#include "tools/sound_fuzz/sound_fuzz.h"

// libvorbisfile loses 8 bytes when its open of some chained files fails (upstream); a replay under the
// leak checker names it rather than failing on it.
extern "C" const char *__lsan_default_suppressions(void) { return "leak:libvorbisfile.so\n"; }

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--make-seeds") == 0)
        return chdir(argv[2]) == 0 && !soundfuzz::MakeDamageInputs().empty() ? 0 : 1;
    if (AudioSelectBackend("manual") != 0 || StartupSoundSystem() != 0)
        return 2;
    int result = RunFuzzInput(argc, argv, [](const uint8_t *data, size_t size) {
        std::vector<uint8_t> image(data, data + size);
        uint64_t rng = size;  // the stream and seek choices follow the input
        soundfuzz::PlayStaticImage(image);
        soundfuzz::StreamImage(image, &rng, nullptr);
        soundfuzz::DecodeAround(image, &rng);
    });
    ShutdownSoundSystem();
    return result;
}
