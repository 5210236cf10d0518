// Stand-in for the media command interface's MIDI "sequencer" device: opens a Standard MIDI File,
// plays it with a completion notice to a window, reports its status, stops and closes it.
// FluidSynth renders the music inside the process mixer (platform/dsound/mixer.h), so the music's
// clock is the mixer's: exact in tests that step the manual output.
//
// Notices: MM_MCINOTIFY is posted to the window given with MCI_NOTIFY, wParam = the code, lParam =
// the device ID.
// - SUCCESSFUL once, after the mix slice in which the last tick of the file played;
// - SUPERSEDED, synchronously, when a new MCI_NOTIFY command replaces a pending one;
// - ABORTED, synchronously, when MCI_STOP or MCI_CLOSE ends a play that has a pending notice.
// The window procedure thus sees them on the thread that owns the window, in the order they happened.
//
// Soundfont: DAZAR_SOUNDFONT, else /usr/share/sounds/sf2/TimGM6mb.sf2 (MciSetSoundFont replaces it).
// Volume is not handled: the music plays at the synthesiser's level, a gain chosen so that it sits
// under the game's effects.
#pragma once
#include <cstdint>

// ---- commands, flags, items ------------------------------------------------------------------------
enum : uint32_t {
    MCI_OPEN = 0x0803,
    MCI_CLOSE = 0x0804,
    MCI_PLAY = 0x0806,
    MCI_STOP = 0x0808,
    MCI_STATUS = 0x0814,
};
enum : uint32_t {
    MCI_NOTIFY = 0x00000001,
    MCI_WAIT = 0x00000002,
    MCI_FROM = 0x00000004,
    MCI_TO = 0x00000008,
    MCI_STATUS_ITEM = 0x00000100,
    MCI_OPEN_ELEMENT = 0x00000200,
    MCI_OPEN_TYPE = 0x00002000,
};
enum : uint32_t {
    MCI_STATUS_MODE = 0x00000004,
    MCI_SEQ_STATUS_PORT = 0x00004003,
    MCI_MODE_STOP = 525,
    MCI_MODE_PLAY = 526,
    MCI_SEQ_MAPPER = 0xFFFF,   // the port of the MIDI mapper
};
// Notice message and its codes.
enum : uint32_t {
    MM_MCINOTIFY = 0x03B9,
    MCI_NOTIFY_SUCCESSFUL = 1,
    MCI_NOTIFY_SUPERSEDED = 2,
    MCI_NOTIFY_ABORTED = 4,
    MCI_NOTIFY_FAILURE = 8,
};
// Results: 0, or an error code.
enum : uint32_t {
    MCI_OK = 0,
    MCI_ERR_INVALID_DEVICE_ID = 257,
    MCI_ERR_UNRECOGNIZED_COMMAND = 261,
    MCI_ERR_HARDWARE = 262,
    MCI_ERR_INVALID_DEVICE_NAME = 263,
    MCI_ERR_OUT_OF_MEMORY = 264,
    MCI_ERR_CANNOT_LOAD_DRIVER = 266,
    MCI_ERR_MISSING_PARAMETER = 273,
    MCI_ERR_UNSUPPORTED_FUNCTION = 274,
    MCI_ERR_FILE_NOT_FOUND = 275,
    MCI_ERR_INVALID_FILE = 296,
};

// ---- parameter records -----------------------------------------------------------------------------
struct MciGenericParams {
    uintptr_t callback;          // window for MCI_NOTIFY
};
struct MciOpenParams {
    uintptr_t callback;
    uint32_t deviceId;           // out: 1 or more
    const char *deviceType;      // "sequencer" (any case), with MCI_OPEN_TYPE
    const char *elementName;     // the MIDI file, with MCI_OPEN_ELEMENT
    const char *alias;           // unused
};
struct MciPlayParams {
    uintptr_t callback;
    uint32_t from;               // milliseconds, with MCI_FROM (only 0: the start)
    uint32_t to;                 // unused
};
struct MciStatusParams {
    uintptr_t callback;
    uintptr_t result;            // out
    uint32_t item;               // MCI_STATUS_MODE or MCI_SEQ_STATUS_PORT, with MCI_STATUS_ITEM
    uint32_t track;
};

// ---- entry points ----------------------------------------------------------------------------------
// MCI_OPEN (device 0; TYPE "sequencer" and ELEMENT a file): MCI_ERR_FILE_NOT_FOUND when the file
//   cannot be read, MCI_ERR_INVALID_FILE when it is not a MIDI file (a RIFF RMID wrapper is
//   unwrapped), MCI_ERR_CANNOT_LOAD_DRIVER when the soundfont cannot be loaded.
// MCI_STATUS with MCI_STATUS_ITEM: the port (MCI_SEQ_MAPPER) or the mode (MCI_MODE_PLAY / _STOP).
// MCI_PLAY: from the current position, or with MCI_FROM 0 from the start; MCI_NOTIFY asks for a notice.
// MCI_STOP: pauses at the current position. MCI_CLOSE: stops, silences, frees the device.
uint32_t MciSendCommand(uint32_t deviceId, uint32_t message, uintptr_t flags, uintptr_t params);

// Where notices go; the default posts to the window's message queue (platform/window WPostMessage).
// Returns 1 when posted. Null restores the default.
typedef int (*MciNotifyPoster)(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void MciSetNotifyPoster(MciNotifyPoster poster);

// Replaces the soundfont path for the next synthesiser start (null: back to the default). 0.
int MciSetSoundFont(const char *path);
// Closes every device and frees the synthesiser (it is made again at the next open). 0.
int MciShutdown(void);

// ---- test hooks ------------------------------------------------------------------------------------
enum MciFaultKind { MCI_FAULT_OPEN, MCI_FAULT_STATUS, MCI_FAULT_PLAY, MCI_FAULT_CLOSE, MCI_FAULT_KIND_COUNT };
// The test-support library injects faults by kind (testsupport/test_hooks.h).
