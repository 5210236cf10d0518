// Test entry: every test program runs headless with the same environment, whoever starts it
// (ctest, a debugger, or a developer by hand). Values already set by the caller win.
#include <gtest/gtest.h>
#include <cstdlib>

#include "testsupport/d3d/d3d_test.h"

// libvorbisfile loses 8 bytes when its open of some chained files fails (upstream). Named here, by its
// library, so that the leak checker still fails every leak of our own.
extern "C" const char *__lsan_default_suppressions(void) { return "leak:libvorbisfile.so\n"; }

int main(int argc, char **argv)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
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
