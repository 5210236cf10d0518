// Test entry: every test program runs headless with the same environment, whoever starts it
// (ctest, a debugger, or a developer by hand) and whatever display the caller's shell holds. Values
// of the library's own settings already set by the caller win.
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>

#include "testsupport/d3d/d3d_test.h"

// libvorbisfile loses 8 bytes when its open of some chained files fails (upstream). Named here, by its
// library, so that the leak checker still fails every leak of our own.
extern "C" const char *__lsan_default_suppressions(void) { return "leak:libvorbisfile.so\n"; }

int main(int argc, char **argv)
{
    // SDL's headless drivers only: "offscreen" where a run asks for OpenGL, else "dummy". No display
    // is reached (the tests that want an X server start their own and name it), and no session bus:
    // with a display and none, libdbus (asked by SDL) tries to start one through X and keeps a block.
    const char *driver = getenv("SDL_VIDEODRIVER");
    if (!driver || strcmp(driver, "offscreen") != 0) setenv("SDL_VIDEODRIVER", "dummy", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("DAZAR_SINGLE_INSTANCE", "0", 0);
    setenv("DAZAR_FULLSCREEN_ANSWER", "no", 0);
    setenv("DAZAR_ASSET_DIR", DAZAR_TEST_ASSET_DIR, 0);
    setenv("DAZAR_SOURCE_DIR", DAZAR_TEST_SOURCE_DIR, 0);
    // Frames the 3-D device shows by a buffer swap are read back for the tests that compare them.
    D3dTestKeepPresentedFrames(1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
