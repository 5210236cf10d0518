// Fuzz target: "HiScore.dat" as the game reads it at start-up (and writes it back), in a private
// temporary directory.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "game/records.h"
#include "game/settings_file.h"
#include "tools/fuzz/fuzz_input.h"

int main(int argc, char **argv)
{
    char dir[] = "/tmp/fuzz-settings-XXXXXX";
    if (!mkdtemp(dir) || CreateGameState() != 0 || CreatePlayerRecords() != 0)
        return 2;
    int result = RunFuzzInput(argc, argv, [&dir](const uint8_t *data, size_t size) {
        // Moved into only now: the input file is named relative to where the target started.
        FILE *file = chdir(dir) == 0 ? fopen(SETTINGS_FILE_NAME, "wb") : nullptr;
        if (!file)
            return;
        fwrite(data, 1, size, file);
        fclose(file);
        LoadHiScoreFile();
        SaveHiScoreFile();
    });
    remove(SETTINGS_FILE_NAME);
    if (chdir("/") == 0)
        rmdir(dir);
    return result;
}
