// The folder the program runs in: the current one with the data, else beside the program.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#include "game/program_folder.h"
#include "tests/support/test_temp_dir.h"

namespace {

// Makes dir (below the temporary directory) with or without the data probe in it.
void MakeFolder(const std::string &dir, bool withData)
{
    for (size_t at = 0; at != std::string::npos;) {
        at = dir.find('/', at + 1);
        mkdir(dir.substr(0, at).c_str(), 0755);
    }
    if (!withData) return;
    mkdir((dir + "/png").c_str(), 0755);
    FILE *f = fopen((dir + "/" GAME_DATA_PROBE).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fclose(f);
}

TEST(ProgramFolder, PicksTheCurrentFolderThenBesideTheProgram)
{
    ASSERT_EQ(EnterFreshTempDir(), 0);
    std::string root = GetFreshTempDir();
    MakeFolder(root + "/here", true);
    MakeFolder(root + "/empty", false);
    MakeFolder(root + "/bin", true);
    MakeFolder(root + "/build/game", false);
    MakeFolder(root + "/build/assets", true);
    struct Case {
        const char *current, *program;
        int result;
        std::string folder;
    };
    const Case cases[] = {
        {"/here", "/empty", 0, ""},                                   // the data here: stay
        {"/empty", "/bin", 0, root + "/bin"},                         // beside the program
        {"/empty", "/build/game", 0, root + "/build/game/../assets"},  // the build's assets folder
        {"/empty", "/empty", -1, ""},                                  // nowhere
    };
    for (const Case &c : cases) {
        char out[4096] = "x";
        EXPECT_EQ(FindGameFolder((root + c.current).c_str(), (root + c.program).c_str(), out, sizeof out), c.result)
            << c.current << " " << c.program;
        EXPECT_EQ(std::string(out), c.folder) << c.current << " " << c.program;
    }
    // A folder that does not fit is refused, not cut short.
    char small[8] = "x";
    EXPECT_EQ(FindGameFolder((root + "/empty").c_str(), (root + "/bin").c_str(), small, sizeof small), -1);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(FindGameFolder(nullptr, root.c_str(), small, sizeof small), -1);
    EXPECT_EQ(LeaveFreshTempDir(), 0);
}

}  // namespace
