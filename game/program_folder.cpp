// The folder the program runs in.
#include "game/program_folder.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static char gFolderProblem[2 * PATH_MAX + 256];

// 1 when dir holds the game's data.
static int HoldsGameData(const char *dir)
{
    char probe[PATH_MAX];
    int n = snprintf(probe, sizeof probe, "%s/%s", dir, GAME_DATA_PROBE);
    return n > 0 && (size_t)n < sizeof probe && access(probe, R_OK) == 0;
}

int FindGameFolder(const char *currentDir, const char *programDir, char *out, size_t size)
{
    if (size) out[0] = '\0';
    if (!currentDir || !programDir || !size) return -1;
    if (HoldsGameData(currentDir)) return 0;
    static const char *const kBesideProgram[] = {"%s", "%s/../assets"};
    for (const char *form : kBesideProgram) {
        int n = snprintf(out, size, form, programDir);
        if (n > 0 && (size_t)n < size && HoldsGameData(out)) return 0;
    }
    out[0] = '\0';
    return -1;
}

// The folder of the running program ("" when it cannot be read).
static void GetProgramDir(char *out, size_t size)
{
    ssize_t n = readlink("/proc/self/exe", out, size - 1);
    out[n > 0 ? n : 0] = '\0';
    char *slash = strrchr(out, '/');
    if (slash) *slash = '\0';
}

int EnterGameFolder(void)
{
    char current[PATH_MAX], program[PATH_MAX], folder[PATH_MAX];
    gFolderProblem[0] = '\0';
    if (!getcwd(current, sizeof current)) current[0] = '\0';
    GetProgramDir(program, sizeof program);
    if (FindGameFolder(current, program, folder, sizeof folder) != 0) {
        snprintf(gFolderProblem, sizeof gFolderProblem,
                 "The game's data files (png, wav, voice, mid) are neither in %s nor beside the program "
                 "in %s: the field stays empty and silent. Start the game in the build's assets folder "
                 "(scripts/play.sh does).",
                 current, program);
        fprintf(stderr, "dazar: %s\n", gFolderProblem);
        return -1;
    }
    if (!folder[0]) return 0;
    char resolved[PATH_MAX];
    if (realpath(folder, resolved)) snprintf(folder, sizeof folder, "%s", resolved);
    if (chdir(folder) != 0) {
        snprintf(gFolderProblem, sizeof gFolderProblem, "The game's data folder %s cannot be entered.", folder);
        fprintf(stderr, "dazar: %s\n", gFolderProblem);
        return -1;
    }
    fprintf(stderr, "dazar: running in %s, where its data files are; HiScore.dat and Log.txt are written there\n",
            folder);
    return 0;
}

const char *GetGameFolderProblem(void)
{
    return gFolderProblem;
}
