// Output back end "manual": no thread and no device. Tests mix by hand with AudioTestStep (testsupport/), which
// keeps everything mixed in a capture, so cursor positions and output are exact.
#include "platform/dsound/audio_internal.h"

static int ManualOpen(const WaveFormat *format) { return 0; }

static void ManualClose(void) {}

static const char *ManualDeviceName(void) { return "Manual Audio Output"; }

const AudioBackend kAudioBackendManual = {"manual", "manual", ManualOpen, ManualClose, ManualDeviceName};
