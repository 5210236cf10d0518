// Streamed sounds: sources decoded into a six-second looping ring buffer that the main thread refills
// behind the play cursor on every pump pass. The ring holds about four seconds of unplayed data: the
// refill window (guard G to write position W) doubles as the throttle, each pass adds one eighth of a
// second, and a pass after a stall tops the unplayed data up to three seconds.
#include "lib/sound/stream_sound.h"

#include "lib/core/helpers.h"
#include "lib/core/library.h"
#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/datafile.h"
#include "lib/sound/sound_internal.h"
#include "platform/kernel/kernel.h"

#define STREAM_RING_SECONDS 6
#define STREAM_FILL_SECONDS 4          // the first fill, and the distance from G to W
#define STREAM_TARGET_128THS 384       // three seconds in 1/128 s: below it a pass tops up
// Advances in a row that yield no data before a pass gives up: every source of a full play list
// can end (each up to 128 plays) without one byte, but a list that yields nothing for longer is empty.
#define STREAM_EMPTY_ADVANCE_LIMIT ((STREAM_SOURCE_MAX + 1) * 129)


// Where one refill pass writes in the locked ring area; part 2 begins at ring offset 0.
struct LockedAreaCursor {
    uint32_t start;        // ring offset where the lock begins
    uint8_t *part1;
    uint8_t *part2;
    uint32_t bytes1;
    uint32_t bytes2;
    uint32_t done1;        // bytes written in part 1
    uint32_t done2;
    uint32_t left1;        // bytes still free in part 1
    uint32_t left2;
};

// ================================================================================================
// helpers
// ================================================================================================

static uint32_t AvgBytes(const SoundHandleRecord *r) { return r->format.avgBytesPerSec; }
static uint32_t BlockAlign(const SoundHandleRecord *r) { return r->format.blockAlign; }

// One eighth of a second in whole blocks.
static uint32_t EighthBytes(const SoundHandleRecord *r) { return ((AvgBytes(r) >> 3) / BlockAlign(r)) * BlockAlign(r); }

// The ring offset where the next byte goes.
static uint32_t CursorWriteOffset(const LockedAreaCursor *c)
{
    return c->left1 > 0 ? c->start + c->done1 : c->done2;
}

// The decoder of the source being played, or null past the last one.
static SoundDecoderRecord *CurrentDecoder(SoundHandleRecord *r)
{
    if (r->currentSource < 0 || r->currentSource >= r->sourceCount)
        return nullptr;
    return &r->sources[r->currentSource].decoder;
}

// 1 when the play cursor q lies in the refill window from G to W.
static int InRefillWindow(const SoundHandleRecord *r, uint32_t q)
{
    int32_t w = r->writePosition, g = r->guardPosition;
    if (w > g)
        return (int64_t)q >= g && (int64_t)q <= w;
    if (w < g)
        return (int64_t)q >= g || (int64_t)q <= w;
    return 1;
}

// Rewinds the play list to its first source.
static void RewindPlayList(SoundHandleRecord *r)
{
    r->finished = 0;
    r->decodePosition = 0;
    r->playPosition = 0;
    r->loopOffsetPending = 0;
    r->playsDone = 0;
    r->currentSource = 0;
    r->prepared = 0;
}

static int RingPlays(SoundBufferEntry *ring)
{
    uint32_t status = 0;
    return GetSoundBufferEntryStatus(ring, &status) == 0 && (status & DS_STATUS_PLAYING) ? 1 : 0;
}

// ================================================================================================
// writing into the locked area
// ================================================================================================

// Decodes up to bytes into the locked area; the bytes written.
static uint32_t DecodeIntoLockedArea(LockedAreaCursor *c, SoundDecoderRecord *decoder, uint32_t bytes)
{
    uint32_t total = 0;
    while (bytes > 0) {
        uint8_t *at;
        uint32_t *done, *left;
        if (c->left1 > 0) {
            at = c->part1 + c->done1, done = &c->done1, left = &c->left1;
        } else if (c->left2 > 0) {
            at = c->part2 + c->done2, done = &c->done2, left = &c->left2;
        } else {
            break;
        }
        uint32_t ask = bytes < *left ? bytes : *left;
        int n = ReadSoundDecoder(decoder, at, (int)ask);
        if (n <= 0)
            break;
        *done += (uint32_t)n;
        *left -= (uint32_t)n;
        bytes -= (uint32_t)n;
        total += (uint32_t)n;
    }
    return total;
}

// Writes up to bytes of silence into the locked area.
static void FillLockedSilence(const SoundHandleRecord *r, LockedAreaCursor *c, uint32_t bytes)
{
    int silence = r->format.bitsPerSample == 8 ? 128 : 0;
    while (bytes > 0) {
        uint32_t n;
        if (c->left1 > 0) {
            n = bytes < c->left1 ? bytes : c->left1;
            FillBytes(c->part1 + c->done1, silence, n);
            c->done1 += n, c->left1 -= n;
        } else if (c->left2 > 0) {
            n = bytes < c->left2 ? bytes : c->left2;
            FillBytes(c->part2 + c->done2, silence, n);
            c->done2 += n, c->left2 -= n;
        } else {
            break;
        }
        bytes -= n;
    }
}

// Seeks a source to its start for another play.
static void RestartSource(SoundHandleRecord *r, int source)
{
    r->decodePosition = 0;
    SeekSoundDecoder(&r->sources[source].decoder, 0);
}

// The current source yields no more data: repeat it, go to the next, loop the list, or end.
// 0 while there is more to decode, -1 at the end (the rest of the locked area is silenced).
static int AdvanceStreamSource(SoundHandleRecord *r, LockedAreaCursor *c, uint32_t playCursor)
{
    r->playsDone++;
    uint8_t loops = r->sources[r->currentSource].loopCount;
    if (loops == STREAM_LOOP_ENDLESS) {
        r->loopBase = 0;
        r->loopOffsetPending = 1;
        r->loopOffset = CursorWriteOffset(c);
        RestartSource(r, r->currentSource);
        return 0;
    }
    if (r->playsDone <= (int8_t)loops) {
        RestartSource(r, r->currentSource);
        return 0;
    }
    r->playsDone = 0;
    r->currentSource++;
    if (r->currentSource < r->sourceCount) {
        RestartSource(r, r->currentSource);
        return 0;
    }
    r->finished = 1;
    if (r->playType == SOUND_PLAY_LOOP) {
        r->loopOffsetPending = 1;
        r->currentSource = 0;
        r->loopBase = 0;
        r->loopOffset = CursorWriteOffset(c);
        RestartSource(r, 0);
        return 0;
    }
    r->ended = 1;
    r->endOffset = CursorWriteOffset(c);
    r->endCursor = playCursor % r->ringSize;
    // All of the rest, not one eighth: ring data left there would sound if the stop came late.
    FillLockedSilence(r, c, c->left1 + c->left2);
    return -1;
}

// Decodes bytes into the locked area from the play list, moving through its sources.
static void DecodePlayList(SoundHandleRecord *r, LockedAreaCursor *c, uint32_t bytes, uint32_t playCursor)
{
    int emptyAdvances = 0;
    while (bytes > 0 && !r->ended) {
        SoundDecoderRecord *decoder = CurrentDecoder(r);
        if (!decoder)
            break;
        uint32_t n = DecodeIntoLockedArea(c, decoder, bytes);
        if (n > 0) {
            bytes -= n;
            r->decodePosition += (int32_t)n;
            emptyAdvances = 0;
            continue;
        }
        // Looping sources that yield nothing would loop for ever: the pass ends instead.
        if (++emptyAdvances > STREAM_EMPTY_ADVANCE_LIMIT)
            break;
        AdvanceStreamSource(r, c, playCursor);
    }
}

// ================================================================================================
// ring claim, play, halt, query
// ================================================================================================

int ClaimStreamRingBuffer(int handle, SoundHandleRecord *record, SoundBufferEntry **entry, int force)
{
    SoundHandleRecord *owner = record;
    if (record->kind == SOUND_KIND_STREAM && record->sharedStreamHandle != -1)
        owner = LookupSoundRecord(record->sharedStreamHandle);
    if (!owner)
        return -1;
    if (entry)
        *entry = &owner->buffers[0];
    if (record->kind != SOUND_KIND_STREAM)
        return 0;
    if (owner->ringUser == -1 || owner->ringUser == handle) {
        owner->ringUser = handle;
        return 0;
    }
    if (!force)
        return -1;
    HaltStreamSound(owner->ringUser);
    owner->ringUser = handle;
    return 0;
}

// The ring of a streamed sound whose refills may run: prepared, and not held by another handle.
static SoundBufferEntry *RefillableRing(int handle, SoundHandleRecord *r)
{
    SoundBufferEntry *ring;
    if (r->kind != SOUND_KIND_STREAM || !r->prepared || ClaimStreamRingBuffer(handle, r, &ring, 0) != 0)
        return nullptr;
    return ring;
}

int HaltStreamSound(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    TrackStreamPlayPosition(handle, -1);
    SoundBufferEntry *ring;
    if (ClaimStreamRingBuffer(handle, r, &ring, 0) != 0)
        return 0;
    if (r->kind == SOUND_KIND_STREAM && r->sharedStreamHandle != -1)
        LookupSoundRecord(r->sharedStreamHandle)->ringUser = -1;
    uint32_t status;
    if (GetSoundBufferEntryStatus(ring, &status) != 0)
        return -1;
    if (status & DS_STATUS_PLAYING)
        StopSoundBufferEntry(ring);
    return 0;
}

int QueryStreamSoundPlaying(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    SoundBufferEntry *ring;
    if (ClaimStreamRingBuffer(handle, r, &ring, 0) != 0)
        return 0;
    return RingPlays(ring);
}

int PrepareStreamSoundBuffer(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    SoundBufferEntry *ring;
    if (r->kind != SOUND_KIND_STREAM || ClaimStreamRingBuffer(handle, r, &ring, 0) != 0 || RingPlays(ring) ||
        r->prepared)
        return 0;
    SetSoundBufferEntryPosition(ring, 0);
    r->writePosition = STREAM_WRITE_UNFILLED;
    r->guardPosition = -1;
    r->lastPlayCursor = 0;
    r->ended = 0;
    SoundDecoderRecord *decoder = CurrentDecoder(r);
    if (decoder)
        SeekSoundDecoder(decoder, r->decodePosition / (int32_t)BlockAlign(r));
    r->prepared = 1;
    RefillStreamSound(handle);
    return 0;
}

// Steps of a play up to the start of the ring. 1 when it started, 0 when there is nothing to start,
// -1 for a bad handle. Sound lock held.
static int StartStreamPlay(int handle, int playType, int restartFlag)
{
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    SoundBufferEntry *ring;
    if (ClaimStreamRingBuffer(handle, r, &ring, 1) != 0)
        return -1;
    if (restartFlag == 0 && QueryStreamSoundPlaying(handle) == 1)
        return 0;
    HaltStreamSound(handle);
    if (playType != r->playType && ((playType ^ r->playType) & 2) && r->finished)
        RewindPlayList(r);
    if (restartFlag == 1) {
        r->finished = 0;
        if (r->playPosition != 0)
            RewindPlayList(r);
    }
    // Past the last source after an end without looping: nothing is left to play, and the ring
    // holds only what has played already.
    if (!r->ended && r->currentSource >= r->sourceCount)
        return 0;
    r->playType = playType;
    PrepareStreamSoundBuffer(handle);
    if (ring->valid)
        PlaySoundBufferEntry(ring, 1);
    r->playStartTime = KGetTime();
    return 1;
}

int PlayStreamSound(int handle, int playType, int restartFlag)
{
    int started;
    {
        SoundLockGuard hold;
        started = StartStreamPlay(handle, playType, restartFlag);
    }
    if (started <= 0)
        return started;
    if (playType == SOUND_PLAY_WAIT)
        WaitWhileSoundPlays(QuerySoundPlaying, handle);
    return 0;
}

// ================================================================================================
// refill
// ================================================================================================

// Moves W on by the bytes asked (or to four seconds after the first fill) and G four seconds behind.
static void AdvanceWriteGuard(SoundHandleRecord *r, uint32_t asked, int firstFill)
{
    int32_t fill = (int32_t)(STREAM_FILL_SECONDS * AvgBytes(r));
    if (firstFill) {
        r->guardPosition = 0;
        r->writePosition = fill;
        return;
    }
    int64_t w = (int64_t)r->writePosition + asked;
    if (w >= (int64_t)r->ringSize)
        w -= r->ringSize;
    int64_t g = w - fill;
    if (g < 0)
        g += r->ringSize;
    r->writePosition = (int32_t)w;
    r->guardPosition = (int32_t)g;
}

// Locks bytes at offset and writes silence or the play list into them. 0, -1 when the lock fails.
static int WriteRingArea(SoundHandleRecord *r, SoundBufferEntry *ring, uint32_t offset, uint32_t bytes,
                         uint32_t playCursor, int silence)
{
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (LockSoundBufferEntry(ring, offset, bytes, &p1, &n1, &p2, &n2) != 0)
        return -1;
    LockedAreaCursor c = {offset, (uint8_t *)p1, (uint8_t *)p2, n1, n2, 0, 0, n1, p2 ? n2 : 0};
    if (silence)
        FillLockedSilence(r, &c, bytes);
    else
        DecodePlayList(r, &c, bytes, playCursor);
    UnlockSoundBufferEntry(ring, p1, n1, p2, n2);
    return 0;
}

// The pass after the last data: stop once the cursor has passed the end, else add silence.
static int RefillEndedStream(SoundHandleRecord *r, SoundBufferEntry *ring)
{
    uint32_t q = ReadSoundBufferEntryCursor(ring);
    uint32_t size = r->ringSize;
    // Distances round the ring from the cursor at the end: travelled so far, and to the end offset.
    uint32_t travelled = (q + size - r->endCursor) % size;
    uint32_t toEnd = (r->endOffset + size - r->endCursor) % size;
    if (travelled > toEnd) {
        StopSoundBufferEntry(ring);
        r->ended = 0;
        return 0;
    }
    if (!InRefillWindow(r, q))
        return -1;
    uint32_t x = EighthBytes(r);
    if (WriteRingArea(r, ring, (uint32_t)r->writePosition, x, q, 1) != 0)
        return -1;
    AdvanceWriteGuard(r, x, 0);
    return 0;
}

// Bytes a pass with the cursor at q writes: one eighth, or the shortfall to three seconds of unplayed
// data. *adjusted is q on the same side of the wrap as W.
static uint32_t RefillBytes(const SoundHandleRecord *r, uint32_t q, uint32_t *adjusted)
{
    uint32_t b = AvgBytes(r), a = BlockAlign(r);
    uint32_t w = (uint32_t)r->writePosition;
    if (r->writePosition < r->guardPosition) {
        // Compared with the unadjusted W: Q before it has wrapped with W.
        if (q <= w)
            q += r->ringSize;
        w += r->ringSize;
    }
    *adjusted = q;
    uint32_t unplayed = w - q;
    uint32_t d = (unplayed * 128u) / b;
    if (d < STREAM_TARGET_128THS)
        return (((((STREAM_TARGET_128THS - d) * b) >> 7) / a) * a);
    return EighthBytes(r);
}

int RefillStreamSound(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    SoundBufferEntry *ring = RefillableRing(handle, r);
    if (!ring)
        return 0;
    TrackStreamPlayPosition(handle, -1);
    if (r->ended)
        return RefillEndedStream(r, ring);
    int firstFill = 0;
    uint32_t x, offset, q;
    if (!RingPlays(ring)) {
        if (r->writePosition != STREAM_WRITE_UNFILLED)
            return 0;
        firstFill = 1;
        x = ((STREAM_FILL_SECONDS * AvgBytes(r)) / BlockAlign(r)) * BlockAlign(r);
        offset = 0;
        q = ReadSoundBufferEntryCursor(ring);
    } else {
        uint32_t cursor = ReadSoundBufferEntryCursor(ring);
        if (!InRefillWindow(r, cursor))
            return -1;
        x = RefillBytes(r, cursor, &q);
        offset = (uint32_t)r->writePosition;
    }
    if (x == 0)
        return 0;
    if (WriteRingArea(r, ring, offset, x, q, 0) != 0)
        return -1;
    AdvanceWriteGuard(r, x, firstFill);
    return 0;
}

int RefillAllStreamSounds(void)
{
    SoundLockGuard hold;
    if (!SoundDevice)
        return -1;
    for (LinkedListNode *n = StreamSoundList.head.next; n && n->next; n = n->next)
        RefillStreamSound((int)n->data1);
    return 0;
}

// ================================================================================================
// position
// ================================================================================================

int TrackStreamPlayPosition(int handle, int64_t playCursor)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    SoundBufferEntry *ring = RefillableRing(handle, r);
    if (!ring)
        return 0;
    uint32_t size = r->ringSize;
    uint32_t q = (playCursor < 0 ? ReadSoundBufferEntryCursor(ring) : (uint32_t)playCursor) % size;
    uint32_t l = r->lastPlayCursor;
    if (q == l)
        return 0;
    uint32_t moved = (q + size - l) % size;
    // The loop offset counts as passed when it lies in (L, Q] in ring order.
    uint32_t toLoop = (r->loopOffset + size - l) % size;
    if (r->loopOffsetPending && toLoop > 0 && toLoop <= moved) {
        r->playPosition = (q + size - r->loopOffset) % size + r->loopBase;
        r->loopOffsetPending = 0;
    } else {
        r->playPosition += moved;
    }
    r->lastPlayCursor = q;
    return 0;
}

int ReadStreamPositionMs(int handle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    TrackStreamPlayPosition(handle, -1);
    if (AvgBytes(r) == 0)
        return 0;
    int ms = TruncDoubleToInt((double)r->playPosition / (double)AvgBytes(r) * 1000.0);
    int length = MeasureSoundLengthMs(handle);
    return length >= 0 && ms > length ? length : ms;
}

// ================================================================================================
// sources
// ================================================================================================

// Releases what a source that was not taken holds (never the caller's stream).
static void DropSource(StreamSoundSourceEntry *e)
{
    if (e->decoder.ready)
        CloseSoundDecoder(&e->decoder);
    if (e->imageStream.data)
        CloseMemoryStream((MemoryStream *)e->imageStream.data);
    FreeMemoryTracked(e->image);
    FillBytes(e, 0, sizeof *e);
}

// Points the entry's image stream at its image and sets its decoder up over it. 0 / -1.
static int OpenImageSource(StreamSoundSourceEntry *e)
{
    MemoryStream *m = OpenMemoryStream(e->image, e->imageSize);
    if (!m)
        return -1;
    e->imageStream.functions = *GetMemoryStreamFunctions();
    e->imageStream.data = (intptr_t)m;
    return SetupSoundDecoder(&e->imageStream, &e->decoder);
}

// Decodes the whole stream and keeps the PCM as a WAVE image read back through a PCM decoder. 0 / -1.
static int TakeDecodedSource(const StreamRecord *stream, StreamSoundSourceEntry *e)
{
    uint8_t *image = nullptr, *pcm = nullptr;
    uint32_t imageSize = 0, pcmSize = 0;
    if (ReadStreamImage(stream, &image, &imageSize) != 0)
        return WriteLogFormat("音声データの読み込みに失敗しました");
    WaveFormat format;
    int ok = DecodeSoundImage(image, imageSize, &format, &pcm, &pcmSize) == 0 && pcmSize > 0;
    FreeMemoryTracked(image);
    if (ok)
        ok = MakeWaveFileImage(&e->image, &e->imageSize, &format, 18, pcm, pcmSize) == 0;
    FreeMemoryTracked(pcm);
    if (!ok || OpenImageSource(e) != 0) {
        DropSource(e);
        return WriteLogFormat("音声データの変換に失敗しました");
    }
    return 0;
}

// Sets the entry's decoder up by its kind. 0 / -1 (logged).
static int OpenSource(const StreamRecord *stream, StreamSoundSourceEntry *e, int *mayClose)
{
    if (e->kind == STREAM_SOURCE_DECODED) {
        *mayClose = 1;
        return TakeDecodedSource(stream, e);
    }
    if (e->kind == STREAM_SOURCE_IMAGE) {
        *mayClose = 1;
        if (ReadStreamImage(stream, &e->image, &e->imageSize) != 0)
            return WriteLogFormat("音声データの読み込みに失敗しました");
        if (OpenImageSource(e) != 0) {
            DropSource(e);
            return WriteLogFormat("音声データのオープンに失敗しました");
        }
        return 0;
    }
    *mayClose = 0;
    if (SetupSoundDecoder(stream, &e->decoder) != 0) {
        DropSource(e);
        return WriteLogFormat("音声データのオープンに失敗しました");
    }
    return 0;
}

// The first source: the record takes its format and gets a ring of its own or shares one.
static void TakeFirstSource(SoundHandleRecord *r, int handle, int sharedStreamHandle)
{
    GetSoundDecoderFormat(&r->sources[0].decoder, &r->format);
    SoundHandleRecord *shared = LookupSoundRecord(sharedStreamHandle);
    if (shared && shared != r && shared->kind == SOUND_KIND_STREAM && shared->sharedStreamHandle == -1 &&
        CompareBytes(&shared->format, &r->format, sizeof(WaveFormat)) == 0) {
        r->kind = SOUND_KIND_STREAM;
        r->bufferCount = 1;
        AppendListNode(&StreamSoundList.head, &r->listNode, handle, (intptr_t)r);
        r->sharedStreamHandle = sharedStreamHandle;
        shared->sharerCount++;
    } else {
        MakeSoundHandleBuffers(&r->format, STREAM_RING_SECONDS * r->format.avgBytesPerSec, SOUND_KIND_STREAM, 1,
                               handle);
        r->sharedStreamHandle = -1;
    }
    r->ringSize = STREAM_RING_SECONDS * r->format.avgBytesPerSec;
    r->sharerCount = 0;
    r->ringUser = -1;
    r->pendingDelete = 0;
}

// PCM bytes of one source; Ogg Vorbis counts its exact length, not the whole-decode slack.
static int SourcePcmBytes(SoundDecoderRecord *decoder)
{
    return decoder->method == SOUND_DECODE_OGG ? GetOggPcmBytes(decoder) : GetSoundDecoderPcmSize(decoder);
}

// Refusals before a new source is read. 0, or -1 (logged).
static int CheckRoomForSource(SoundHandleRecord *r, int handle)
{
    // A static sound with buffers would get a ring over them: refused like any non-streamed sound.
    if (r->kind != SOUND_KIND_STREAM && (r->sourceCount > 0 || r->buffers[0].valid))
        return WriteLog("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
    if (r->sourceCount == 0)
        return 0;
    SoundBufferEntry *ring;
    if (ClaimStreamRingBuffer(handle, r, &ring, 0) == 0 && RingPlays(ring))
        return WriteLog("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
    if (r->sourceCount >= STREAM_SOURCE_MAX)
        return WriteLog("ストリーム風サウンドの制御データ領域がいっぱいです\n");
    return 0;
}

int AddSreamSound(const StreamRecord *stream, int loopCount, int handle, int kind, int *mayClose,
                  int sharedStreamHandle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r || !stream)
        return -1;
    if (CheckRoomForSource(r, handle) != 0)
        return -1;
    if (kind != STREAM_SOURCE_DECODED && kind != STREAM_SOURCE_IMAGE && kind != STREAM_SOURCE_STREAM)
        return WriteLogFormat("ストリームサウンドのデータ形式 %d は扱えません in AddSreamSound", kind);
    StreamSoundSourceEntry *e = &r->sources[r->sourceCount];
    FillBytes(e, 0, sizeof *e);
    e->kind = kind;
    stream->functions.seek(stream->data, 0, 0);
    int close = 0;
    if (OpenSource(stream, e, &close) != 0)
        return -1;
    if (mayClose)
        *mayClose = close;
    WaveFormat format;
    GetSoundDecoderFormat(&e->decoder, &format);
    // Formats a ring cannot be made for would end the process when the buffer is made.
    if (!IsPlayablePcmFormat(&format)) {
        DropSource(e);
        return WriteLogFormat("音声データのオープンに失敗しました");
    }
    if (r->sourceCount == 0) {
        TakeFirstSource(r, handle, sharedStreamHandle);
    } else if (CompareBytes(&format, &r->format, sizeof(WaveFormat)) != 0) {
        DropSource(e);
        return WriteLogFormat("フォーマットの違う音声データは同時に使うことは出来ません");
    }
    e->loopCount = (uint8_t)loopCount;
    r->sourceCount++;
    int64_t samples = 0;
    for (int i = 0; i < r->sourceCount; i++)
        samples += SourcePcmBytes(&r->sources[i].decoder) / (int)BlockAlign(r);
    r->totalSamples = (int32_t)samples;
    return 0;
}

int AppendStreamSourceFile(const char *fileName, int loopCount, int handle, int kind, int sharedStreamHandle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    intptr_t file = OpenDataFile(fileName, 0, 1, 0);
    if (!file)
        return WriteLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", fileName);
    StreamRecord s = {*GetFileStreamFunctions(), file};
    int mayClose = 0;
    if (AddSreamSound(&s, loopCount, handle, kind, &mayClose, sharedStreamHandle) != 0) {
        CloseDataFile(file);
        return WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", fileName);
    }
    if (mayClose)
        CloseDataFile(file);
    r->libraryOpened[r->sourceCount - 1] = 1;
    return 0;
}

int AppendStreamSourceMemory(const void *image, uint32_t size, int loopCount, int handle, int kind,
                             int sharedStreamHandle)
{
    SoundLockGuard hold;
    SoundHandleRecord *r = GetStartedSoundRecord(handle);
    if (!r)
        return -1;
    if (kind == STREAM_SOURCE_STREAM)
        kind = STREAM_SOURCE_IMAGE;
    MemoryStream *m = OpenMemoryStream(image, size);
    if (!m)
        return WriteLogFormat("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    StreamRecord s = {*GetMemoryStreamFunctions(), (intptr_t)m};
    int mayClose = 0;
    if (AddSreamSound(&s, loopCount, handle, kind, &mayClose, sharedStreamHandle) != 0) {
        CloseMemoryStream(m);
        return WriteLogFormat("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    }
    if (mayClose)
        CloseMemoryStream(m);
    r->libraryOpened[r->sourceCount - 1] = 1;
    return 0;
}
