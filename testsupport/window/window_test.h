// Test hooks of the window stand-in: they feed the same SDL event path a user would, so tests outside
// platform/ can drive the window, the keyboard and pads without including SDL. Any thread.
#pragma once
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
// Attaches a virtual joystick with buttons, 2 axes and 1 hat; it arrives as a hot-plug. Test pad id
// (0..3) or -1.
int WTestAttachPad(int buttons);
int WTestSetPadButton(int testPad, int button, int down);  // button from 0. 0 / -1
int WTestSetPadAxis(int testPad, int axis, int value);     // axis 0 = x, 1 = y. 0 / -1
int WTestDetachPad(int testPad);                           // 0 / -1
// The last frame the window presented through memory, kept until the next one or a new window in
// its place: pixels packed (pitch = width * bytes), in the format it was presented in. 0 / -1 (none).
int WTestGetPresentedFrame(WHandle window, const void **pixels, int *width, int *height, int *bitsPerPixel);
// How many frames the window has presented (through memory or by a buffer swap).
uint64_t WTestGetPresentCount(WHandle window);
// Keeps pixels as the window's last presented frame, for a present that did not pass through memory
// (it counts no present). Owner thread only. 0 / -1.
int WTestKeepFrame(WHandle window, const void *pixels, int width, int height, int pitch, int bitsPerPixel);
