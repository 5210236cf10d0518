// Keyboard and joypad input: key state in DirectInput key numbering (1 = Escape), four pads as bit
// masks, and the keyboard keys that stand in for pad 1.
#pragma once

// Key numbers the library's keyboard-to-pad map uses.
enum : int {
    KEY_INPUT_ESCAPE = 0x01, KEY_INPUT_Q = 0x10, KEY_INPUT_W = 0x11, KEY_INPUT_A = 0x1E,
    KEY_INPUT_S = 0x1F, KEY_INPUT_D = 0x20, KEY_INPUT_Z = 0x2C, KEY_INPUT_X = 0x2D, KEY_INPUT_C = 0x2E,
    KEY_INPUT_SPACE = 0x39, KEY_INPUT_NUMPAD8 = 0x48, KEY_INPUT_NUMPAD4 = 0x4B, KEY_INPUT_NUMPAD6 = 0x4D,
    KEY_INPUT_NUMPAD2 = 0x50, KEY_INPUT_UP = 0xC8, KEY_INPUT_LEFT = 0xCB, KEY_INPUT_RIGHT = 0xCD,
    KEY_INPUT_DOWN = 0xD0,
};

// Pad bits: directions, then button n (from 1) at bit 3 + n.
enum : int { PAD_INPUT_DOWN = 1, PAD_INPUT_LEFT = 2, PAD_INPUT_RIGHT = 4, PAD_INPUT_UP = 8 };
#define PAD_INPUT_BUTTON(n) (1 << (3 + (n)))   // n = 1..28
#define PAD_KEYBOARD_MERGE 0x1000              // added to a pad number: keyboard map merged in

// Starts / ends the input module (the window stand-in reads the devices). 0.
int InitInput(void);
int EndInput(void);
// The bits of pad 1-4 (plus PAD_KEYBOARD_MERGE to merge the keyboard map: arrows and numpad 2/4/6/8 the
// directions; Z 16, X 32, C 64, A 128, S 256, D 512, Q 1024, W 2048, Escape 4096, Space 8192).
// 0 for a pad number out of range or a slot without a device.
int QueryPadBits(int pad);
// 1 when the key (0-255) is down, else 0 (also for a code out of range).
int QueryKeyDown(int code);
// Waits until no key or pad button is down, then until one is, pumping messages with 1 ms sleeps.
// 0, or -1 as soon as the pump reports the end.
int WaitForAnyKey(void);
