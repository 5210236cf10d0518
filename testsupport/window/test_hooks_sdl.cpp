// Test hooks: SDL events pushed into the real event path, and virtual joysticks for pad tests.
#include <mutex>

#include "platform/window/window_internal.h"
#include "testsupport/window/window_test.h"

int WTestPushWindowEvent(WHandle window, int kind)
{
    static const uint8_t kEvents[] = {0, SDL_WINDOWEVENT_CLOSE, SDL_WINDOWEVENT_FOCUS_LOST,
                                      SDL_WINDOWEVENT_FOCUS_GAINED, SDL_WINDOWEVENT_EXPOSED,
                                      SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_RESTORED};
    SDL_Event event{};
    if (kind == W_TEST_DISPLAY_CHANGED) {
        if (!SDL_WasInit(SDL_INIT_EVENTS)) return -1;
        event.type = SDL_DISPLAYEVENT;
        event.display.event = SDL_DISPLAYEVENT_CONNECTED;
        return SDL_PushEvent(&event) == 1 ? 0 : -1;
    }
    WWindowRecord *record = WLookupWindow(window);
    if (!record || kind < W_TEST_CLOSE || kind > W_TEST_RESTORED) return -1;
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = record->sdlId;
    event.window.event = kEvents[kind];
    return SDL_PushEvent(&event) == 1 ? 0 : -1;
}

int WTestKeepFrame(WHandle window, const void *pixels, int width, int height, int pitch, int bitsPerPixel)
{
    WWindowRecord *record = WLookupWindow(window);
    if (!record || !pixels || width <= 0 || height <= 0 || (bitsPerPixel != 16 && bitsPerPixel != 32)) return -1;
    if (pitch < width * (bitsPerPixel / 8)) return -1;
    return WKeepFrame(record, (const uint8_t *)pixels, width, height, pitch, bitsPerPixel);
}

int WTestPushKey(int dikCode, int down)
{
    SDL_Scancode scancode = WScancodeOfDik(dikCode);
    if (scancode == SDL_SCANCODE_UNKNOWN || !SDL_WasInit(SDL_INIT_EVENTS)) return -1;
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    return SDL_PushEvent(&event) == 1 ? 0 : -1;
}

// ================================================================================================
// virtual pads
// ================================================================================================

static SDL_Joystick *sTestPads[W_MAX_PADS];
static std::mutex sTestPadMutex;

int WTestAttachPad(int buttons)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    if (!SDL_WasInit(SDL_INIT_JOYSTICK) || buttons < 0 || buttons > 32) return -1;
    for (int i = 0; i < W_MAX_PADS; i++) {
        if (sTestPads[i]) continue;
        int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, buttons, 1);
        if (device < 0) return -1;
        sTestPads[i] = SDL_JoystickOpen(device);
        if (!sTestPads[i]) {
            SDL_JoystickDetachVirtual(device);
            return -1;
        }
        return i;
    }
    return -1;
}

// The test's joystick, or null.
static SDL_Joystick *TestPad(int testPad)
{
    return testPad >= 0 && testPad < W_MAX_PADS ? sTestPads[testPad] : nullptr;
}

int WTestSetPadButton(int testPad, int button, int down)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    SDL_Joystick *pad = TestPad(testPad);
    if (!pad) return -1;
    return SDL_JoystickSetVirtualButton(pad, button, down ? SDL_PRESSED : SDL_RELEASED) == 0 ? 0 : -1;
}

int WTestSetPadAxis(int testPad, int axis, int value)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    SDL_Joystick *pad = TestPad(testPad);
    if (!pad) return -1;
    if (value < -32768) value = -32768;
    if (value > 32767) value = 32767;
    return SDL_JoystickSetVirtualAxis(pad, axis, (Sint16)value) == 0 ? 0 : -1;
}

int WTestDetachPad(int testPad)
{
    std::lock_guard<std::mutex> hold(sTestPadMutex);
    SDL_Joystick *pad = TestPad(testPad);
    if (!pad) return -1;
    SDL_JoystickID instance = SDL_JoystickInstanceID(pad);
    SDL_JoystickClose(pad);
    sTestPads[testPad] = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); i++) {
        if (SDL_JoystickGetDeviceInstanceID(i) == instance) return SDL_JoystickDetachVirtual(i) == 0 ? 0 : -1;
    }
    return -1;
}
