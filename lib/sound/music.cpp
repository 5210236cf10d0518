// Music: the table of music handles, MIDI played through the sequencer device from a temporary file
// with a completion notice to the main window, and the one current music of PlayMusicFile, which
// falls back to a streamed sound when the sequencer refuses the file.
#include "lib/sound/music.h"

#include "lib/core/handle.h"
#include "lib/core/helpers.h"
#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/core/system.h"
#include "lib/file/datafile.h"
#include "lib/sound/sound_internal.h"
#include "platform/kernel/kernel.h"
#include "platform/mci/mci.h"

#define MUSIC_STOP_PUMP_PASSES 5  // passes that take the notice a stop's close posts

// One music handle: a copy of a MIDI file.
struct MusicHandleRecord {
    int32_t serial;          // the handle's check value; first, as every handle record
    int32_t playing;         // 1 from a successful play until it is stopped
    int32_t seenPlaying;     // DirectMusic route only: always 0 here
    uint8_t *midi;           // owned copy of the file
    int32_t size;            // bytes of the copy
    void *segment;           // DirectMusic route only: always null here
    int32_t startTime;       // DirectMusic route only
};

// The current music of PlayMusicFile.
struct CurrentMusicStateRecord {
    int32_t handle;          // 0 = none
    int32_t isSound;         // 1: a streamed sound handle, 0: a music handle
};

// The sequencer route's state (main thread only; the window procedure writes it through
// HandleMciNotify inside the pump).
MciMusicStateRecord MciMusicState;

static struct {
    HandleRecordHead *slots[MUSIC_HANDLE_MAX];  // MusicHandleRecord pointers by slot
    HandleTable table;                          // over slots: count, high-water mark, serial counter
    CurrentMusicStateRecord current;
} gMusic = {{}, {gMusic.slots, MUSIC_HANDLE_MAX, 0, 0, 0, HANDLE_TYPE_MUSIC}, {0, 0}};

// 1 once the sound module has started.
static int SoundStarted(void) { return SoundDevice != nullptr; }

// The record of a valid music handle while the module is started, or null.
static MusicHandleRecord *GetStartedMusicRecord(int handle)
{
    if (!SoundStarted())
        return nullptr;
    return (MusicHandleRecord *)LookupHandle(&gMusic.table, handle);
}

// ================================================================================================
// handles
// ================================================================================================

int AddMusicData(void)
{
    if (!SoundStarted())
        return -1;
    if (gMusic.table.usedCount >= MUSIC_HANDLE_MAX)
        return WriteLog("ミュージックデータの数が許容量を越えました終了します");
    int slot = PickSoundTableSlot(&gMusic.table);
    MusicHandleRecord *record = (MusicHandleRecord *)AllocMemoryZeroed(sizeof(MusicHandleRecord), "", 0);
    if (!record)
        return WriteLog("メモリ領域の確保に失敗しました in AddMusicData");
    record->serial = gMusic.table.nextCheck;
    gMusic.table.nextCheck = (gMusic.table.nextCheck + 1) & HANDLE_CHECK_MASK;
    StoreSoundTableRecord(&gMusic.table, slot, (HandleRecordHead *)record);
    return MakeHandle(&gMusic.table, slot, record->serial);
}

int CreateMusicFromMemory(const void *midi, int size)
{
    if (!SoundStarted())
        return -1;
    if (!midi || size <= 0)
        return WriteLog("ミュージックデータがありません in CreateMusicFromMemory\n");
    int handle = AddMusicData();
    if (handle == -1)
        return -1;
    MusicHandleRecord *record = GetStartedMusicRecord(handle);
    record->midi = (uint8_t *)AllocMemoryTracked((size_t)size, "", 0);
    if (!record->midi) {
        WriteLog("ミュージックデータを一時的に保存しておくメモリ領域の確保に失敗しました\n");
        DeleteMusicHandle(handle);
        return -1;
    }
    CopyBytes(record->midi, midi, (size_t)size);
    record->size = size;
    record->playing = 0;
    return handle;
}

int LoadMusicMem(const char *fileName)
{
    intptr_t file = OpenDataFile(fileName, 0, 1, 0);
    if (!file)
        return WriteLogFormat("ミュージックファイル %s の読み込みに失敗しました in LoadMusicMem", fileName);
    SeekDataFile(file, 0, 2);
    int64_t length = TellDataFile(file);
    SeekDataFile(file, 0, 0);
    // A read that delivers less than the length would hand out bytes nobody wrote.
    if (length <= 0 || length > 0x7FFFFFFF) {
        CloseDataFile(file);
        return WriteLogFormat("ミュージックファイル %s の読み込みに失敗しました in LoadMusicMem", fileName);
    }
    uint8_t *block = (uint8_t *)AllocMemoryTracked((size_t)length, "", 0);
    if (!block) {
        CloseDataFile(file);
        return WriteLogFormat("ミュージックファイル %s を読み込むメモリ領域の確保に失敗しました in LoadMusicMem",
                              fileName);
    }
    size_t got = ReadDataFile(block, (size_t)length, 1, file);
    CloseDataFile(file);
    int handle = -1;
    if (got != 1)
        WriteLogFormat("ミュージックファイル %s の読み込みに失敗しました in LoadMusicMem", fileName);
    else
        handle = CreateMusicFromMemory(block, (int)length);
    FreeMemoryTracked(block);
    return handle;
}

int DeleteMusicHandle(int handle)
{
    MusicHandleRecord *record = GetStartedMusicRecord(handle);
    if (!record)
        return -1;
    if (CheckMusicHandlePlaying(handle) == 1)
        StopMusicHandle(handle);
    if (record->midi) {
        FillBytes(record->midi, 0, (size_t)record->size);
        FreeMemoryTracked(record->midi);
    }
    RemoveHandleRecord(&gMusic.table, handle);
    FreeMemoryTracked(record);
    return 0;
}

int DeleteAllMusicHandles(void)
{
    if (!SoundStarted())
        return -1;
    for (int slot = 0; slot < MUSIC_HANDLE_MAX; slot++) {
        if (gMusic.slots[slot])
            DeleteMusicHandle(MakeHandle(&gMusic.table, slot, gMusic.slots[slot]->check));
    }
    return 0;
}

int CheckMusicHandlePlaying(int handle)
{
    if (!GetStartedMusicRecord(handle))
        return -1;
    return MciMusicState.playing ? 1 : 0;
}

int PollDirectMusicSegments(void)
{
    // Only the DirectMusic route has segments to poll; the sequencer reports through its notice.
    return SoundStarted() ? 0 : -1;
}

// ================================================================================================
// the sequencer
// ================================================================================================

static uint32_t SendMci(uint32_t message, uintptr_t flags, void *params)
{
    return MciSendCommand(MciMusicState.deviceId, message, flags, (uintptr_t)params);
}

// Deletes the temporary MIDI file when one belongs to the music.
static void DropTempFile(void)
{
    if (MciMusicState.tempFileFlag) {
        KDeleteFile(MciMusicState.tempPath);
        MciMusicState.tempFileFlag = 0;
    }
}

// Writes the MIDI copy to a new temporary file (the previous one deleted first). 0 / -1.
static int WriteTempMidiFile(const MusicHandleRecord *record)
{
    if (MciMusicState.tempPath[0])
        KDeleteFile(MciMusicState.tempPath);
    KHandle file = CreateTempDiskFile(MciMusicState.tempPath);
    // Either form of failure: a handle that is not a file must not be written or closed.
    if (file == 0 || file == K_INVALID_HANDLE)
        return -1;
    uint32_t done = 0;
    KWriteFile(file, record->midi, (uint32_t)record->size, &done);
    KCloseHandle(file);
    return 0;
}

// Opens the temporary file on the sequencer, checks its port and plays it with a notice. 0 / -1.
static int StartSequencer(void)
{
    MciOpenParams open = {0, 0, "sequencer", MciMusicState.tempPath, nullptr};
    if (MciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, (uintptr_t)&open) != MCI_OK) {
        KDeleteFile(MciMusicState.tempPath);
        return -1;
    }
    MciMusicState.deviceId = open.deviceId;
    MciStatusParams status = {0, 0, MCI_SEQ_STATUS_PORT, 0};
    if (SendMci(MCI_STATUS, MCI_STATUS_ITEM, &status) != MCI_OK) {
        SendMci(MCI_CLOSE, 0, nullptr);
        WriteLog("ＭＩＤＩ演奏開始処理でエラーが起きました１\n");
        KDeleteFile(MciMusicState.tempPath);
        return -1;
    }
    if ((status.result & 0xFFFF) != MCI_SEQ_MAPPER) {
        SendMci(MCI_CLOSE, 0, nullptr);
        return WriteLog("ＭＩＤＩ演奏開始処理でエラーが起きました２\n");
    }
    MciPlayParams play = {(uintptr_t)GetMainWindowHandle(), 0, 0};
    if (SendMci(MCI_PLAY, MCI_NOTIFY, &play) != MCI_OK) {
        SendMci(MCI_CLOSE, 0, nullptr);
        return WriteLog("ＭＩＤＩ演奏に失敗しました\n");
    }
    MciMusicState.tempFileFlag = 1;
    return 0;
}

int PlayMusicHandle(int handle, int playType)
{
    MusicHandleRecord *record = GetStartedMusicRecord(handle);
    if (!record)
        return -1;
    StopMusicHandle(MciMusicState.lastPlayedHandle);
    if (WriteTempMidiFile(record) != 0 || StartSequencer() != 0)
        return -1;
    MciMusicState.playing = 1;
    MciMusicState.lastPlayedHandle = handle;
    MciMusicState.loop = playType == SOUND_PLAY_LOOP;
    record->playing = 1;
    record->seenPlaying = 0;
    if (playType == SOUND_PLAY_WAIT) {
        WaitWhileSoundPlays(CheckMusicHandlePlaying, handle);
        DropTempFile();
    }
    return 0;
}

int HandleMciNotify(void)
{
    // The notice's code and device are not looked at: every stale notice is taken by a stop's pump
    // passes before the next play.
    if (MciMusicState.loop) {
        MciPlayParams play = {(uintptr_t)GetMainWindowHandle(), 0, 0};
        SendMci(MCI_PLAY, MCI_NOTIFY | MCI_FROM, &play);
        MciMusicState.playing = 1;
    } else if (MciMusicState.playing) {
        SendMci(MCI_CLOSE, 0, nullptr);
        MciMusicState.playing = 0;
    }
    return 0;
}

int StopMusicHandle(int handle)
{
    MusicHandleRecord *record = GetStartedMusicRecord(handle);
    if (!record)
        return -1;
    MciMusicState.loop = 0;
    // Closes the device; the notice the close posts is taken by these passes while nothing loops.
    HandleMciNotify();
    for (int i = 0; i < MUSIC_STOP_PUMP_PASSES; i++)
        RunMessagePump();
    DropTempFile();
    record->playing = 0;
    record->seenPlaying = 0;
    return 0;
}

// ================================================================================================
// the current music
// ================================================================================================

// Deletes the current music, whichever kind it is.
static void DropCurrentMusic(void)
{
    if (gMusic.current.handle != 0) {
        if (gMusic.current.isSound)
            DeleteSoundByHandle(gMusic.current.handle, 0);
        else
            DeleteMusicHandle(gMusic.current.handle);
    }
    gMusic.current.handle = 0;
    gMusic.current.isSound = 0;
}

// Loads the file as a streamed sound and plays it. 0 / -1.
static int PlayMusicFileAsSound(const char *fileName, int playType)
{
    int mode = SoundCreationMode;
    SoundCreationMode = 2;
    int handle = LoadSoundFileToHandle(fileName, 1, -1);
    SoundCreationMode = mode;
    if (handle == -1)
        return -1;
    gMusic.current.handle = handle;
    gMusic.current.isSound = 1;
    PlaySoundByHandle(handle, playType, 1);
    return 0;
}

int PlayMusicFile(const char *fileName, int playType)
{
    DropCurrentMusic();
    int handle = LoadMusicMem(fileName);
    if (handle == -1)
        return -1;
    gMusic.current.handle = handle;
    if (PlayMusicHandle(handle, playType) == 0)
        return 0;
    DropCurrentMusic();
    return PlayMusicFileAsSound(fileName, playType);
}

int StopCurrentMusic(void)
{
    int handle = gMusic.current.handle;
    if (handle != 0 && gMusic.current.isSound) {
        StopSoundByHandle(handle);
        DeleteSoundByHandle(handle, 0);
    } else if (handle != 0) {
        StopMusicHandle(handle);
        DeleteMusicHandle(handle);
    }
    gMusic.current.handle = 0;
    gMusic.current.isSound = 0;
    return 0;
}

int IsCurrentMusicPlaying(void)
{
    if (gMusic.current.handle == 0)
        return 0;
    if (gMusic.current.isSound)
        return QuerySoundPlaying(gMusic.current.handle);
    return CheckMusicHandlePlaying(gMusic.current.handle);
}

int ChangeCurrentMusicVolume(int volume)
{
    if (!SoundStarted())
        return -1;
    // MIDI through the sequencer has no volume of its own: only a streamed fallback takes one.
    if (gMusic.current.handle != 0 && gMusic.current.isSound)
        ChangeSoundVolume(volume, gMusic.current.handle);
    return 0;
}
