// The game program: "--windowed" or "--fullscreen" answers the start-up question without asking.
// Started from another folder, it moves to where its data files are, or says why it cannot.
#include "game/program_folder.h"
#include "game/services.h"
#include "game/startup.h"
#include "lib/core/library.h"
#include "lib/core/log.h"

// The library's start, then the data folder's problem in the log it has just begun.
static int InitLibraryAndLogFolder(void)
{
    int result = InitLibrary();
    if (result == 0 && GetGameFolderProblem()[0]) WriteLogFormat("%s", GetGameFolderProblem());
    return result;
}

int main(int argc, char **argv)
{
    if (EnterGameFolder() != 0) {
        GameServices services = {};
        services.initLibrary = InitLibraryAndLogFolder;
        SetGameServices(&services);
    }
    return WinMain(argc, argv);
}
