// Fresh temporary directories for tests that write files.
#include "tests/support/test_temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <unistd.h>

static char g_dir[4096];
static char g_previous[4096];

int EnterFreshTempDir(void)
{
    const char *base = getenv("TMPDIR");
    if (!base || !*base)
        base = "/tmp";
    snprintf(g_dir, sizeof g_dir, "%s/dazar-test-XXXXXX", base);
    if (!mkdtemp(g_dir) || !getcwd(g_previous, sizeof g_previous) || chdir(g_dir) != 0) {
        g_dir[0] = 0;
        return -1;
    }
    return 0;
}

const char *GetFreshTempDir(void) { return g_dir; }

static int RemoveEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

int LeaveFreshTempDir(void)
{
    if (!g_dir[0])
        return -1;
    int result = chdir(g_previous) == 0 ? 0 : -1;
    if (nftw(g_dir, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) != 0)
        result = -1;
    g_dir[0] = 0;
    return result;
}

std::string ReadTestFile(const char *path)
{
    std::string bytes;
    FILE *file = fopen(path, "rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    fclose(file);
    return bytes;
}
