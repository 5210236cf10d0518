// Keyboard and pad state of the window stand-in: SDL key events become DirectInput key numbers, SDL
// joysticks and game controllers fill four pad slots (hot-plug).
#include <atomic>
#include <cstring>

#include "platform/window/window_internal.h"

// ================================================================================================
// keyboard
// ================================================================================================

struct KeyPair {
    SDL_Scancode scancode;
    uint8_t dik;
};

// SDL scancode to DirectInput key number.
static const KeyPair kKeyMap[] = {
    {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_1, 0x02}, {SDL_SCANCODE_2, 0x03}, {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05}, {SDL_SCANCODE_5, 0x06}, {SDL_SCANCODE_6, 0x07}, {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09}, {SDL_SCANCODE_9, 0x0A}, {SDL_SCANCODE_0, 0x0B}, {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D}, {SDL_SCANCODE_BACKSPACE, 0x0E}, {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_Q, 0x10}, {SDL_SCANCODE_W, 0x11}, {SDL_SCANCODE_E, 0x12}, {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_T, 0x14}, {SDL_SCANCODE_Y, 0x15}, {SDL_SCANCODE_U, 0x16}, {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_O, 0x18}, {SDL_SCANCODE_P, 0x19}, {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_A, 0x1E}, {SDL_SCANCODE_S, 0x1F}, {SDL_SCANCODE_D, 0x20}, {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22}, {SDL_SCANCODE_H, 0x23}, {SDL_SCANCODE_J, 0x24}, {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26}, {SDL_SCANCODE_SEMICOLON, 0x27}, {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29}, {SDL_SCANCODE_LSHIFT, 0x2A}, {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C}, {SDL_SCANCODE_X, 0x2D}, {SDL_SCANCODE_C, 0x2E}, {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30}, {SDL_SCANCODE_N, 0x31}, {SDL_SCANCODE_M, 0x32}, {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34}, {SDL_SCANCODE_SLASH, 0x35}, {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37}, {SDL_SCANCODE_LALT, 0x38}, {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A}, {SDL_SCANCODE_F1, 0x3B}, {SDL_SCANCODE_F2, 0x3C}, {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E}, {SDL_SCANCODE_F5, 0x3F}, {SDL_SCANCODE_F6, 0x40}, {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42}, {SDL_SCANCODE_F9, 0x43}, {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45}, {SDL_SCANCODE_SCROLLLOCK, 0x46}, {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48}, {SDL_SCANCODE_KP_9, 0x49}, {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_4, 0x4B}, {SDL_SCANCODE_KP_5, 0x4C}, {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E}, {SDL_SCANCODE_KP_1, 0x4F}, {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51}, {SDL_SCANCODE_KP_0, 0x52}, {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_F11, 0x57}, {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_F13, 0x64}, {SDL_SCANCODE_F14, 0x65}, {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70}, {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79}, {SDL_SCANCODE_INTERNATIONAL5, 0x7B},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D}, {SDL_SCANCODE_KP_EQUALS, 0x8D}, {SDL_SCANCODE_KP_ENTER, 0x9C},
    {SDL_SCANCODE_RCTRL, 0x9D}, {SDL_SCANCODE_KP_COMMA, 0xB3}, {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7}, {SDL_SCANCODE_RALT, 0xB8}, {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7}, {SDL_SCANCODE_UP, 0xC8}, {SDL_SCANCODE_PAGEUP, 0xC9},
    {SDL_SCANCODE_LEFT, 0xCB}, {SDL_SCANCODE_RIGHT, 0xCD}, {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0}, {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_INSERT, 0xD2},
    {SDL_SCANCODE_DELETE, 0xD3}, {SDL_SCANCODE_LGUI, 0xDB}, {SDL_SCANCODE_RGUI, 0xDC},
    {SDL_SCANCODE_APPLICATION, 0xDD},
};

static std::atomic<uint8_t> sKeys[256];  // written on the event thread, read anywhere

// DirectInput number of an SDL scancode, 0 when it has none.
static int DikOfScancode(SDL_Scancode scancode)
{
    for (const KeyPair &pair : kKeyMap) {
        if (pair.scancode == scancode) return pair.dik;
    }
    return 0;
}

SDL_Scancode WScancodeOfDik(int dik)
{
    for (const KeyPair &pair : kKeyMap) {
        if (pair.dik == dik) return pair.scancode;
    }
    return SDL_SCANCODE_UNKNOWN;
}

void WInputClearKeys(void)
{
    for (std::atomic<uint8_t> &key : sKeys) key.store(0, std::memory_order_relaxed);
}

void WGetKeyboardState(uint8_t state[256])
{
    for (int i = 0; i < 256; i++) state[i] = sKeys[i].load(std::memory_order_relaxed);
}

// ================================================================================================
// pads
// ================================================================================================

struct PadSlot {
    int used;
    SDL_JoystickID instance;
    SDL_GameController *controller;  // when SDL knows a mapping
    SDL_Joystick *joystick;          // otherwise
};

static PadSlot sPads[W_MAX_PADS];        // event thread only
static WPadState sPadStates[W_MAX_PADS]; // snapshot, guarded by sPadMutex
static std::mutex sPadMutex;

// Controller buttons in the order of button numbers 1, 2, ...
static const SDL_GameControllerButton kControllerButtons[] = {
    SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_B, SDL_CONTROLLER_BUTTON_X, SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_LEFTSTICK, SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_GUIDE,
};

// Opens a newly arrived device into the first free slot.
static void OpenPad(int deviceIndex)
{
    SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    PadSlot *free = nullptr;
    for (PadSlot &pad : sPads) {
        if (pad.used && pad.instance == instance) return;
        if (!pad.used && !free) free = &pad;
    }
    if (!free) return;
    PadSlot pad{1, instance, nullptr, nullptr};
    if (SDL_IsGameController(deviceIndex)) pad.controller = SDL_GameControllerOpen(deviceIndex);
    if (!pad.controller) pad.joystick = SDL_JoystickOpen(deviceIndex);
    if (!pad.controller && !pad.joystick) return;
    *free = pad;
}

// Closes the slot of a removed device.
static void ClosePad(SDL_JoystickID instance)
{
    for (PadSlot &pad : sPads) {
        if (!pad.used || pad.instance != instance) continue;
        if (pad.controller) SDL_GameControllerClose(pad.controller);
        if (pad.joystick) SDL_JoystickClose(pad.joystick);
        pad = PadSlot{};
    }
}

void WInputClosePads(void)
{
    for (PadSlot &pad : sPads) {
        if (pad.used) ClosePad(pad.instance);
    }
    std::lock_guard<std::mutex> hold(sPadMutex);
    for (WPadState &state : sPadStates) state = WPadState{};
}

// Reads a game controller through its mapping.
static WPadState ReadController(SDL_GameController *controller)
{
    WPadState state{1, 0, 0, 0, 0};
    state.axisX = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTX);
    state.axisY = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTY);
    int count = (int)(sizeof kControllerButtons / sizeof kControllerButtons[0]);
    for (int i = 0; i < count; i++) {
        if (SDL_GameControllerGetButton(controller, kControllerButtons[i])) state.buttons |= 1u << i;
    }
    if (SDL_GameControllerGetButton(controller, SDL_CONTROLLER_BUTTON_DPAD_UP)) state.hat |= 1;
    if (SDL_GameControllerGetButton(controller, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) state.hat |= 2;
    if (SDL_GameControllerGetButton(controller, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) state.hat |= 4;
    if (SDL_GameControllerGetButton(controller, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) state.hat |= 8;
    return state;
}

// Reads a plain joystick: first two axes, first hat, up to 32 buttons.
static WPadState ReadJoystick(SDL_Joystick *joystick)
{
    WPadState state{1, 0, 0, 0, 0};
    if (SDL_JoystickNumAxes(joystick) >= 2) {
        state.axisX = SDL_JoystickGetAxis(joystick, 0);
        state.axisY = SDL_JoystickGetAxis(joystick, 1);
    }
    if (SDL_JoystickNumHats(joystick) >= 1) state.hat = SDL_JoystickGetHat(joystick, 0) & 15;
    int buttons = SDL_JoystickNumButtons(joystick);
    for (int i = 0; i < buttons && i < 32; i++) {
        if (SDL_JoystickGetButton(joystick, i)) state.buttons |= 1u << i;
    }
    return state;
}

// Takes a snapshot of every slot after the events of a pass.
static void RefreshPadStates(void)
{
    WPadState fresh[W_MAX_PADS] = {};
    for (int i = 0; i < W_MAX_PADS; i++) {
        if (sPads[i].controller) fresh[i] = ReadController(sPads[i].controller);
        else if (sPads[i].joystick) fresh[i] = ReadJoystick(sPads[i].joystick);
    }
    std::lock_guard<std::mutex> hold(sPadMutex);
    memcpy(sPadStates, fresh, sizeof fresh);
}

void WInputRefreshPads(void)
{
    if (gWin.padsAvailable) RefreshPadStates();
}

int WGetPadState(int slot, WPadState *state)
{
    if (slot < 0 || slot >= W_MAX_PADS || !state) return 0;
    std::lock_guard<std::mutex> hold(sPadMutex);
    *state = sPadStates[slot];
    return 1;
}

// ================================================================================================
// events
// ================================================================================================

// Key and device events; pad buttons and axes are read as state after the pass.
int WInputHandleEvent(const SDL_Event *event)
{
    switch (event->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int dik = DikOfScancode(event->key.keysym.scancode);
        if (dik) sKeys[dik].store(event->type == SDL_KEYDOWN ? 0x80 : 0, std::memory_order_relaxed);
        return 1;
    }
    case SDL_JOYDEVICEADDED: OpenPad(event->jdevice.which); return 1;
    case SDL_JOYDEVICEREMOVED: ClosePad(event->jdevice.which); return 1;
    case SDL_JOYAXISMOTION: case SDL_JOYBALLMOTION: case SDL_JOYHATMOTION: case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: case SDL_CONTROLLERAXISMOTION: case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: case SDL_CONTROLLERDEVICEADDED: case SDL_CONTROLLERDEVICEREMOVED:
    case SDL_CONTROLLERDEVICEREMAPPED:
        return 1;
    default: return 0;
    }
}
