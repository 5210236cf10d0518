// Sound system start-up and shutdown: the device, its primary format, a silent buffer that loops for
// the whole run, the streamed-sound list and the device report in the log.
#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/sound/sound_internal.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

DsDevice *SoundDevice = nullptr;
DsBuffer *PrimarySoundBuffer = nullptr;
DsBuffer *SilentLoopBuffer = nullptr;
int MusicRoute = 0;
StreamSoundListRecord StreamSoundList;

// The capture-to-WAVE route's state; nothing here starts a capture.
struct SoundCaptureStateRecord {
    int active;
    uint32_t framesWritten;
    KHandle file;
};
static SoundCaptureStateRecord SoundCaptureState;

#define SILENT_BUFFER_FLAGS 0x8002u  // static, global focus
#define SILENT_BUFFER_BYTES 400      // one hundred stereo 16-bit frames

static WaveFormat CdFormat(void)
{
    return WaveFormat{WAVE_TAG_PCM, 2, 44100, 176400, 4, 16, 0};
}

// ================================================================================================
// start-up
// ================================================================================================

// Releases the half-made device after a failed step. -1.
static int AbandonDevice(void)
{
    if (PrimarySoundBuffer)
        PrimarySoundBuffer->fn->Release(PrimarySoundBuffer);
    PrimarySoundBuffer = nullptr;
    SoundDevice->fn->Release(SoundDevice);
    SoundDevice = nullptr;
    return -1;
}

// The primary format from the device's capabilities.
static void SetPrimaryFormat(void)
{
    DsCaps caps;
    FillBytes(&caps, 0, sizeof caps);
    caps.size = sizeof caps;
    SoundDevice->fn->GetCaps(SoundDevice, &caps);
    WaveFormat f;
    FillBytes(&f, 0, sizeof f);
    f.formatTag = WAVE_TAG_PCM;
    f.channels = (caps.flags & DS_CAPS_PRIMARY_STEREO) ? 2 : 1;
    f.bitsPerSample = (caps.flags & DS_CAPS_PRIMARY_16BIT) ? 16 : 8;
    f.samplesPerSec = caps.maxSecondaryRate > 44100u ? 44100u : caps.maxSecondaryRate;
    f.blockAlign = (uint16_t)(f.bitsPerSample / 8 * f.channels);
    f.avgBytesPerSec = f.blockAlign * f.samplesPerSec;
    if (PrimarySoundBuffer->fn->SetFormat(PrimarySoundBuffer, &f) != 0)
        WriteLog("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
}

// The plain route: device, initialise, cooperative level, primary buffer and format. 0 / -1.
static int StartDevice(void)
{
    WriteLog("DirectSound の初期化を行います\n");
    WriteLog("DirectSound インターフェースの取得を行います....  ");
    DsDevice *device = nullptr;
    if (DsCreateDevice(&device) < 0 || !device)
        return WriteLog("DirectSoundインターフェースの作成に失敗しました\n");
    SoundDevice = device;
    WriteLog("成功\n");
    WriteLog("引き続きインターフェースの初期化処理...  ");
    if (SoundDevice->fn->Initialize(SoundDevice, nullptr) < 0) {
        WriteLog("初期化に失敗しました\n");
        return AbandonDevice();
    }
    WriteLog("成功\n");
    if (SoundDevice->fn->SetCooperativeLevel(SoundDevice, WGetDesktopWindow(), DS_COOP_PRIORITY) != 0) {
        WriteLog("DirectSoundの協調レベルの設定に失敗しました\n");
        return AbandonDevice();
    }
    DsBufferDesc desc;
    FillBytes(&desc, 0, sizeof desc);
    desc.size = sizeof desc;
    desc.flags = DS_BUF_PRIMARY;
    if (SoundDevice->fn->CreateSoundBuffer(SoundDevice, &desc, &PrimarySoundBuffer, nullptr) != 0 ||
        !PrimarySoundBuffer) {
        PrimarySoundBuffer = nullptr;
        WriteLog("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
        return AbandonDevice();
    }
    SetPrimaryFormat();
    return 0;
}

// A short silent buffer that loops for the whole run; start-up goes on without it when it fails.
static void StartSilentLoop(void)
{
    WaveFormat f = CdFormat();
    DsBufferDesc desc;
    FillBytes(&desc, 0, sizeof desc);
    desc.size = sizeof desc;
    desc.flags = SILENT_BUFFER_FLAGS;
    desc.bufferBytes = SILENT_BUFFER_BYTES;
    desc.format = &f;
    DsBuffer *b = nullptr;
    if (SoundDevice->fn->CreateSoundBuffer(SoundDevice, &desc, &b, nullptr) < 0 || !b) {
        WriteLog("無音バッファの作成に失敗しました");
        return;
    }
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (b->fn->Lock(b, 0, SILENT_BUFFER_BYTES, &p1, &n1, &p2, &n2, 0) < 0) {
        WriteLog("無音バッファのロックに失敗しました");
        b->fn->Release(b);
        return;
    }
    if (p1)
        FillBytes(p1, 0, n1 & ~1u);
    if (p2)
        FillBytes(p2, 0, n2 & ~1u);
    b->fn->Unlock(b, p1, n1, p2, n2);
    b->fn->Play(b, 0, 0, DS_PLAY_LOOPING);
    SilentLoopBuffer = b;
}

int LogSoundDeviceEntry(const DsGuid *, const char *description, const char *module, void *)
{
    WriteLogFormat("モジュール名:%15s  ドライバ記述:%s ", module ? module : "", description ? description : "");
    return 1;
}

static const char *OkNo(uint32_t flags, uint32_t flag) { return (flags & flag) ? "OK" : "NO"; }

// The device list through the enumeration the module exports, then the capabilities.
static void LogSoundDeviceReport(void)
{
    IncreaseLogIndent();
    DsCaps caps;
    FillBytes(&caps, 0, sizeof caps);
    caps.size = sizeof caps;
    SoundDevice->fn->GetCaps(SoundDevice, &caps);
    WriteLog("DirectSound デバイスを列挙します\n");
    IncreaseLogIndent();
    KModule module = KLoadLibrary("DSOUND.DLL");
    if (!module) {
        WriteLog("DSOUND.DLL のロードに失敗しました\n");
        DecreaseLogIndent();
        DecreaseLogIndent();
        return;
    }
    typedef int32_t (*EnumerateFn)(DsEnumCallback, void *);
    EnumerateFn enumerate = (EnumerateFn)KGetProcAddress(module, "DirectSoundEnumerateA");
    if (!enumerate) {
        KFreeLibrary(module);
        WriteLog("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
        DecreaseLogIndent();
        DecreaseLogIndent();
        return;
    }
    enumerate(LogSoundDeviceEntry, nullptr);
    DecreaseLogIndent();
    WriteLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                   (double)caps.maxSecondaryRate * 0.001, (double)caps.minSecondaryRate * 0.001);
    WriteLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", (double)caps.totalHwMemBytes / 1024.0,
                   (double)caps.freeHwMemBytes / 1024.0);
    WriteLog("利用可能サンプリング精度\n");
    WriteLogFormat(" プライマリ １６bit = %s  ８bit = %s ", OkNo(caps.flags, DS_CAPS_PRIMARY_16BIT),
                   OkNo(caps.flags, DS_CAPS_PRIMARY_8BIT));
    WriteLogFormat(" セカンダリ １６bit = %s  ８bit = %s \n", OkNo(caps.flags, DS_CAPS_SECONDARY_16BIT),
                   OkNo(caps.flags, DS_CAPS_SECONDARY_8BIT));
    WriteLog("利用可能チャンネル\n");
    WriteLogFormat(" プライマリ MONO = %s  STEREO = %s ", OkNo(caps.flags, DS_CAPS_PRIMARY_MONO),
                   OkNo(caps.flags, DS_CAPS_PRIMARY_STEREO));
    WriteLogFormat(" セカンダリ MONO = %s  STEREO = %s \n", OkNo(caps.flags, DS_CAPS_SECONDARY_MONO),
                   OkNo(caps.flags, DS_CAPS_SECONDARY_STEREO));
    DecreaseLogIndent();
    KFreeLibrary(module);
}

int StartupSoundSystem(void)
{
    if (SoundDevice)
        return -1;
    // Only the plain route is built: MIDI plays through the sequencer.
    MusicRoute = 0;
    if (StartDevice() != 0)
        return -1;
    StartSilentLoop();
    InitLinkedList(&StreamSoundList.head, &StreamSoundList.tail);
    SoundCreationMode = 0;
    OggOutputSampleBytes = 2;
    LogSoundDeviceReport();
    WriteLog("DirectSound の初期化は正常に終了しました\n");
    DeleteAllSoundHandles(0);
    return 0;
}

// ================================================================================================
// shutdown
// ================================================================================================

int FinishSoundCaptureFile(void)
{
    SoundCaptureStateRecord *c = &SoundCaptureState;
    if (!c->active)
        return -1;
    uint8_t header[46];
    uint32_t data = 4 * c->framesWritten;
    WaveFormat f = CdFormat();
    uint32_t riff = data + 38, fmtSize = 18;
    CopyBytes(header, "RIFF", 4);
    CopyBytes(header + 4, &riff, 4);
    CopyBytes(header + 8, "WAVEfmt ", 8);
    CopyBytes(header + 16, &fmtSize, 4);
    CopyBytes(header + 20, &f, 18);
    CopyBytes(header + 38, "data", 4);
    CopyBytes(header + 42, &data, 4);
    uint32_t done = 0;
    KSetFilePointer(c->file, 0, K_FILE_BEGIN);
    KWriteFile(c->file, header, sizeof header, &done);
    KCloseHandle(c->file);
    c->file = 0;
    c->active = 0;
    return 0;
}

int ShutdownSoundSystem(void)
{
    if (!SoundDevice)
        return -1;
    FinishSoundCaptureFile();
    DeleteAllSoundHandles(0);
    DeleteAllMusicHandles();
    if (MciMusicState.tempPath[0])
        KDeleteFile(MciMusicState.tempPath);
    if (PrimarySoundBuffer) {
        PrimarySoundBuffer->fn->Stop(PrimarySoundBuffer);
        PrimarySoundBuffer->fn->Release(PrimarySoundBuffer);
        PrimarySoundBuffer = nullptr;
    }
    if (SilentLoopBuffer) {
        SilentLoopBuffer->fn->Stop(SilentLoopBuffer);
        SilentLoopBuffer->fn->Release(SilentLoopBuffer);
        SilentLoopBuffer = nullptr;
    }
    {
        // A play from another thread tests the device under the lock.
        SoundLockGuard hold;
        SoundDevice->fn->Release(SoundDevice);
        SoundDevice = nullptr;
    }
    WriteLog("DirectSound の終了処理は正常に終了しました\n");
    return 0;
}
