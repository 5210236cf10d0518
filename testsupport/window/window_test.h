// Test hooks of the window stand-in: they feed the same SDL event path a user would, so tests outside
// platform/ can drive the window, the keyboard and pads without including SDL. Any thread.
#pragma once
#include <cstddef>

#include "platform/window/window.h"

enum : int {
    W_TEST_CLOSE = 1,        // the close button
    W_TEST_FOCUS_LOST = 2,
    W_TEST_FOCUS_GAINED = 3,
    W_TEST_EXPOSED = 4,
    W_TEST_MINIMISED = 5,
    W_TEST_RESTORED = 6,
    W_TEST_DISPLAY_CHANGED = 7,  // the desktop's mode changed (not a window event; window is not used)
};
// Pushes a window event of that kind for the window. 0 / -1.
int WTestPushWindowEvent(WHandle window, int kind);
// Pushes a key press / release of a DirectInput key number. 0 / -1 (a key SDL has no code for).
int WTestPushKey(int dikCode, int down);
// 1 once the window has the focus its display gives it, and at once on SDL's headless drivers, which
// give none. A window manager focuses a new window some time after it shows, by a real event: a test
// or benchmark pushing focus events of its own waits for it first, or it would land among them.
int WTestHasDisplayFocus(WHandle window);
// Attaches a virtual joystick with buttons, 2 axes and 1 hat; it arrives as a hot-plug. Test pad id
// (0..3) or -1.
int WTestAttachPad(int buttons);
int WTestSetPadButton(int testPad, int button, int down);  // button from 0. 0 / -1
int WTestSetPadAxis(int testPad, int axis, int value);     // axis 0 = x, 1 = y. 0 / -1
int WTestDetachPad(int testPad);                           // 0 / -1
// The last frame the window presented, as the window showed it (read back from its renderer or its
// OpenGL framebuffer and placed as a present places a picture), kept until the next one or a new
// window in its place: pixels packed (pitch = width * bytes), in the picture's format. 0 / -1 (none).
int WTestGetPresentedFrame(WHandle window, const void **pixels, int *width, int *height, int *bitsPerPixel);
// How many frames the window has presented (through memory or by a buffer swap).
uint64_t WTestGetPresentCount(WHandle window);
// Keeps what a drawable of dw x dh shows of a picture of width x height (16 or 32 bits) as the window's
// last presented frame, for a present that did not pass through memory (it counts no present): `shown`
// is the drawable's top row of 0xAARRGGBB words, `stride` words from one row to the next (negative
// for rows read from the bottom). Owner thread only. 0 / -1 (the last frame is then forgotten).
int WTestKeepShownFrame(WHandle window, const uint32_t *shown, ptrdiff_t stride, int dw, int dh, int width,
                        int height, int bitsPerPixel);
