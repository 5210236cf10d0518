// Inside the MIDI sequencer stand-in: its devices and the one synthesiser record. Only platform/mci
// and its test hooks include it.
#pragma once
#include <fluidsynth.h>

#include <cstdint>

#include "platform/kernel/kernel.h"
#include "platform/mci/mci.h"

#define MCI_MAX_DEVICES 8

struct MciDevice {
    int open;                // 1 while the slot is a device
    uint8_t *midi;           // the Standard MIDI File, owned
    uint32_t midiSize;
    fluid_player_t *player;  // made at each play from the start
    int playing;             // 1 while the player runs
    int finished;            // 1 once its last tick has played
    int notifyPending;       // 1 while a notice is owed
    intptr_t notifyWindow;   // where it goes
};

struct MciGlobals {
    fluid_settings_t *settings;   // made with the synthesiser
    fluid_synth_t *synth;         // null until the first open
    uint32_t synthRate;           // the rate it was made for
    MciDevice devices[MCI_MAX_DEVICES];
    int openCount;
    MciNotifyPoster poster;       // null: WPostMessage
    char soundFont[K_MAX_PATH];   // "" = default
    uint32_t port;                // what the port query reports
    int ringOut;                  // 1 while notes let go at a file's end still sound
};
extern MciGlobals gMci;
