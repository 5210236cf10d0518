// Demo program: loads a generated sprite sheet with LoadDividedGraphs and shows the scenes (keyed
// frames, an additive flash, tints, boxes in modes 0, 1 and 11, darkness with discs, red and white
// edged Shift-JIS text at 16 and 128 pixels), 60 frames each, in a window.
// Usage: dazar_demo [--frames N] [--scene NAME] [--shot DIR]
//   --shot DIR writes the back screen of each scene's last frame to DIR/<scene>.png.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/core/library.h"
#include "lib/core/system.h"
#include "lib/graphics/graph.h"
#include "lib/graphics/screen.h"
#include "platform/kernel/kernel.h"
#include "tools/demo/demo_scene.h"
#include "tools/demo/png_out.h"

struct DemoOptions {
    int frames = 60;
    int scene = -1;           // -1: every scene
    const char *shotDir = nullptr;
};

// Reads the command line. 0 / -1 (usage printed).
static int ParseOptions(int argc, char **argv, DemoOptions *options)
{
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--frames") && i + 1 < argc) {
            options->frames = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--shot") && i + 1 < argc) {
            options->shotDir = argv[++i];
        } else if (!strcmp(argv[i], "--scene") && i + 1 < argc) {
            const char *name = argv[++i];
            for (int s = 0; s < DEMO_SCENE_COUNT; s++)
                if (!strcmp(GetDemoSceneName(s), name)) options->scene = s;
            if (options->scene < 0) return fprintf(stderr, "unknown scene %s\n", name), -1;
        } else {
            fprintf(stderr, "usage: dazar_demo [--frames N] [--scene sprites|boxes|text] [--shot DIR]\n");
            return -1;
        }
    }
    return options->frames > 0 ? 0 : -1;
}

// Writes the sheet to a temporary file and cuts it into frames. 0 / -1.
static int LoadSheet(int frames[DEMO_FRAME_COUNT])
{
    std::string path = std::string(P_tmpdir) + "/dazar_demo_sheet_" + std::to_string(getpid()) + ".png";
    if (WriteDemoSheet(path.c_str()) != 0) return -1;
    int result = LoadDividedGraphs(path.c_str(), DEMO_FRAME_COUNT, DEMO_SHEET_ACROSS, DEMO_SHEET_DOWN, DEMO_FRAME_SIZE,
                                   DEMO_FRAME_SIZE, frames, 0);
    remove(path.c_str());
    return result;
}

// Shows one scene for the given frames; 1 when the window was closed.
static int RunScene(int scene, const DemoOptions &options, const int *frames)
{
    for (int frame = 0; frame < options.frames; frame++) {
        if (PumpMessages() != 0) return 1;
        uint32_t start = KGetTime();
        DrawDemoScene(scene, frames, frame);
        PresentFrame();
        while (KGetTime() - start < 17) KSleep(1);
    }
    if (options.shotDir) {
        std::string path = std::string(options.shotDir) + "/" + GetDemoSceneName(scene) + ".png";
        if (WriteMemImgPng(path.c_str(), GetScreenMemImg(SCREEN_BACK)) != 0) fprintf(stderr, "cannot write %s\n", path.c_str());
        else printf("%s\n", path.c_str());
    }
    return 0;
}

int main(int argc, char **argv)
{
    DemoOptions options;
    if (ParseOptions(argc, argv, &options) != 0) return 2;
    setenv("DAZAR_SINGLE_INSTANCE", "0", 1);  // a tool runs beside the game
    ChangeWindowMode(1);
    if (InitLibrary() != 0) return -1;
    SelectScreenMode(640, 480, 16, 60);
    SelectDrawTarget(SCREEN_BACK);
    int frames[DEMO_FRAME_COUNT];
    if (LoadSheet(frames) != 0) {
        EndLibrary();
        return fprintf(stderr, "cannot load the sprite sheet\n"), 1;
    }
    for (int s = 0; s < DEMO_SCENE_COUNT; s++)
        if ((options.scene < 0 || options.scene == s) && RunScene(s, options, frames)) break;
    RemoveAllGraphs(0);
    EndLibrary();
    return 0;
}
