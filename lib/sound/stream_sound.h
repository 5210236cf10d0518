// Streamed sounds: a play list of up to three sources decoded into a six-second looping ring buffer,
// refilled behind the play cursor on every pass of the message pump (main thread). The public play,
// stop, query and position calls of lib/sound/sound.h route streamed handles here.
#pragma once
#include <cstdint>

#include "lib/file/stream.h"

struct SoundBufferEntry;
struct SoundHandleRecord;

// Source kinds of a streamed sound.
#define STREAM_SOURCE_DECODED 0  // decoded whole at once into a PCM WAVE image
#define STREAM_SOURCE_IMAGE 2    // the encoded file image, decoded while playing
#define STREAM_SOURCE_STREAM 3   // the caller's stream, decoded while playing (the caller keeps it)

#define STREAM_LOOP_ENDLESS 255  // loop count of a source that repeats without end

// Adds a source read from stream (sought to 0) to the handle's play list; the first source sets the
// format and makes a ring (or shares sharedStreamHandle's ring when its format matches), later ones
// must match that format in all 18 bytes. *mayClose is 1 when the caller may close its stream now
// (kinds 0 and 2), 0 when the sound keeps reading it (kind 3). A source plays loopCount + 1 times
// (128..254 read as negative: once; 255: endless). 0; -1 before start-up, for a bad handle, a static
// sound, a ring that plays, a fourth source, a source that cannot be read or decoded, or another
// format (logged; the play list stays as it was).
int AddSreamSound(const StreamRecord *stream, int loopCount, int handle, int kind, int *mayClose,
                  int sharedStreamHandle);
// AddSreamSound over a data file the module opens (and closes, now or when the sound is deleted).
// 0 / -1 (logged).
int AppendStreamSourceFile(const char *fileName, int loopCount, int handle, int kind, int sharedStreamHandle);
// AddSreamSound over the caller's file image (kind 3 is taken as 2; the image stays the caller's).
// 0 / -1 (logged).
int AppendStreamSourceMemory(const void *image, uint32_t size, int loopCount, int handle, int kind,
                             int sharedStreamHandle);

// Rewinds the ring and writes its first four seconds, unless the sound is static, plays, is
// prepared already or another handle holds its ring. 0, -1 before start-up or for a bad handle.
int PrepareStreamSoundBuffer(int handle);
// Plays through the ring (always looping): play type 3 loops the play list, 0 returns once the
// sound has ended (pumping meanwhile), others play once in the background. Restart 0 resumes where
// the sound stopped, and after an end without looping stays silent; restart 1 starts from the first
// source. 0, -1 before start-up or for a bad handle.
int PlayStreamSound(int handle, int playType, int restartFlag);
// Stops the ring and keeps the decoding state, so a play with restart 0 resumes. 0 (also when
// another handle holds the ring), -1 before start-up or for a bad handle.
int HaltStreamSound(int handle);
// 1 while the handle's ring plays, 0 when not (or another handle holds it), -1 for a bad handle.
int QueryStreamSoundPlaying(int handle);
// Played milliseconds from the sound's start (re-based at loop points), at most its length; -1.
int ReadStreamPositionMs(int handle);
// One refill pass of the handle's ring. 0, or -1 when the play cursor stood outside the refill
// window (nothing written), before start-up or for a bad handle.
int RefillStreamSound(int handle);
// Moves the played-bytes count on to the play cursor (-1: read it from the ring). 0 / -1.
int TrackStreamPlayPosition(int handle, int64_t playCursor);
// Makes the handle the user of the ring it plays through; another user is halted with force, else
// refused. *entry is the ring's buffer entry. 0 / -1.
int ClaimStreamRingBuffer(int handle, SoundHandleRecord *record, SoundBufferEntry **entry, int force);
