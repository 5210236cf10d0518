// Output back end "null": a thread that mixes at the real rate and drops the result, so cursors
// move as they would on a sound card. Used when no audio device opens.
#include <time.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/dsound/audio_internal.h"
#include "platform/dsound/mixer.h"

static struct {
    std::thread thread;          // the mixing thread while open
    std::atomic<int> running;    // cleared to end it
    WaveFormat format;           // the format it was opened with
} gNull;

// Monotonic nanoseconds.
static uint64_t NullNow(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

// Mixes one slice per slice-time, paced by the real clock.
static void NullRun(void)
{
    const int frames = AUDIO_MIX_SLICE_FRAMES;
    std::vector<uint8_t> scratch((size_t)frames * gNull.format.blockAlign);
    uint64_t start = NullNow();
    uint64_t mixed = 0;
    while (gNull.running.load()) {
        AudioMixFrames(scratch.data(), frames);
        mixed += frames;
        uint64_t due = start + mixed * 1000000000u / gNull.format.samplesPerSec;
        timespec ts = {(time_t)(due / 1000000000u), (long)(due % 1000000000u)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
    }
}

static int NullOpen(const WaveFormat *format)
{
    gNull.format = *format;
    gNull.running = 1;
    gNull.thread = std::thread(NullRun);
    return 0;
}

static void NullClose(void)
{
    gNull.running = 0;
    if (gNull.thread.joinable())
        gNull.thread.join();
}

static const char *NullDeviceName(void) { return "Null Audio Output"; }

const AudioBackend kAudioBackendNull = {"null", "null", NullOpen, NullClose, NullDeviceName};
