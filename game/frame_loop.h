// The game's main loop on the main thread: stage turns of at least 17 ms, the menu loop between
// stages, and Escape.
#pragma once
#include <cstdint>

#define FRAME_PERIOD_MS 17
#define KEY_CODE_ESCAPE 1
#define PAD1_WITH_KEYBOARD 0x1001   // pad 1 with the keyboard map merged in

// Runs turns until the quit flag is set or the message pump reports the end. 0.
int RunGameFrameLoop(void);
// One stage turn's game work (inputs, actions, behaviours, touches, frame counter, round end, draw).
// 0.
int RunStageTurn(void);
// Reads the four pads into the players' pad bits (pad 1 merged with the keyboard). 0.
int ReadAllPads(void);
// Waits until FRAME_PERIOD_MS have passed since start on the services' clock: sleeps until about
// 2 ms before the end, then in 1 ms steps. A turn that was already longer is not made up. 0.
int WaitForFrameEnd(uint32_t start);
