// Keyboard and pad queries over the state the window stand-in keeps.
#include "lib/input/input.h"

#include <cstdint>

#include "lib/core/library.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

// An axis counts as pushed past half of its travel, like a DirectInput range of -1000..1000 read
// against +-500.
#define PAD_AXIS_THRESHOLD (W_PAD_AXIS_MAX / 2)
#define PAD_MAX_BUTTONS 28

struct KeyPadBit {
    int key;
    int bits;
};

// The keyboard keys that stand in for pad 1.
static const KeyPadBit kKeyboardPadMap[] = {
    {KEY_INPUT_DOWN, PAD_INPUT_DOWN}, {KEY_INPUT_NUMPAD2, PAD_INPUT_DOWN},
    {KEY_INPUT_LEFT, PAD_INPUT_LEFT}, {KEY_INPUT_NUMPAD4, PAD_INPUT_LEFT},
    {KEY_INPUT_RIGHT, PAD_INPUT_RIGHT}, {KEY_INPUT_NUMPAD6, PAD_INPUT_RIGHT},
    {KEY_INPUT_UP, PAD_INPUT_UP}, {KEY_INPUT_NUMPAD8, PAD_INPUT_UP},
    {KEY_INPUT_Z, 16}, {KEY_INPUT_X, 32}, {KEY_INPUT_C, 64}, {KEY_INPUT_A, 128}, {KEY_INPUT_S, 256},
    {KEY_INPUT_D, 512}, {KEY_INPUT_Q, 1024}, {KEY_INPUT_W, 2048}, {KEY_INPUT_ESCAPE, 4096},
    {KEY_INPUT_SPACE, 8192},
};

int InitInput(void)
{
    return 0;
}

int EndInput(void)
{
    return 0;
}

// Pad bits of the keyboard map.
static int KeyboardPadBits(void)
{
    uint8_t keys[256];
    WGetKeyboardState(keys);
    int bits = 0;
    for (const KeyPadBit &entry : kKeyboardPadMap) {
        if (keys[entry.key] & 0x80) bits |= entry.bits;
    }
    return bits;
}

// Pad bits of one device slot: stick and hat give the directions, buttons the bits from 16 up.
static int DevicePadBits(int slot)
{
    WPadState state;
    if (!WGetPadState(slot, &state) || !state.connected) return 0;
    int bits = 0;
    if (state.axisY > PAD_AXIS_THRESHOLD || (state.hat & 4)) bits |= PAD_INPUT_DOWN;
    if (state.axisX < -PAD_AXIS_THRESHOLD || (state.hat & 8)) bits |= PAD_INPUT_LEFT;
    if (state.axisX > PAD_AXIS_THRESHOLD || (state.hat & 2)) bits |= PAD_INPUT_RIGHT;
    if (state.axisY < -PAD_AXIS_THRESHOLD || (state.hat & 1)) bits |= PAD_INPUT_UP;
    for (int i = 0; i < PAD_MAX_BUTTONS; i++) {
        if (state.buttons & (1u << i)) bits |= (int)(1u << (4 + i));
    }
    return bits;
}

int QueryPadBits(int pad)
{
    int slot = (pad & ~PAD_KEYBOARD_MERGE) - 1;
    if (slot < 0 || slot >= W_MAX_PADS) return 0;
    int bits = DevicePadBits(slot);
    if (pad & PAD_KEYBOARD_MERGE) bits |= KeyboardPadBits();
    return bits;
}

int QueryKeyDown(int code)
{
    if (code < 0 || code > 255) return 0;
    uint8_t keys[256];
    WGetKeyboardState(keys);
    return (keys[code] & 0x80) ? 1 : 0;
}

// 1 when any key or any pad's button or direction is down.
static int AnyInputDown(void)
{
    uint8_t keys[256];
    WGetKeyboardState(keys);
    for (uint8_t key : keys) {
        if (key & 0x80) return 1;
    }
    for (int pad = 1; pad <= W_MAX_PADS; pad++) {
        if (QueryPadBits(pad)) return 1;
    }
    return 0;
}

int WaitForAnyKey(void)
{
    for (int phase = 1; phase >= 0; phase--) {
        // phase 1: wait for everything released; phase 0: wait for a press
        while (AnyInputDown() == phase) {
            if (PumpMessages() != 0) return -1;
            KSleep(1);
        }
    }
    return 0;
}
