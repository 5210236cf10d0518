// Movie hooks: frame updates when a movie's graph is drawn, overlay placement, lost surfaces, pause
// and resume with the focus, release and re-open around a display change, overlays while inactive.
#include "lib/movie/movie_internal.h"

#include <cmath>

#include "lib/core/cpu.h"
#include "lib/core/system.h"
#include "lib/sound/sound.h"

#define MOVIE_FRAME_THROTTLE_MS 17

// ================================================================================================
// frame updates
// ================================================================================================

// a - b, stopped at the ends of the 64-bit range (a clock base may lie as far back as a frame of a
// movie with an absurdly low rate).
static int64_t SaturatedDifference(int64_t a, int64_t b)
{
    __int128 d = (__int128)a - b;
    return d > INT64_MAX ? INT64_MAX : d < INT64_MIN ? INT64_MIN : (int64_t)d;
}

// The own decoder's frame due now (clamped to the movie), or -1 when the movie cannot say: no
// frames or no usable rate would divide by zero.
static int DueOwnFrame(MovieRecord *record, const TheoraMovieInfo *info)
{
    if (info->totalFrames <= 0 || !std::isfinite(info->frameRate) || info->frameRate <= 0) return -1;
    int total = info->totalFrames;
    int64_t microseconds = record->soundHandle != -1 ? (int64_t)GetSoundPlayPositionMs(record->soundHandle) * 1000
                                                     : SaturatedDifference(GetCounterMicroseconds(0), record->clockBase);
    double due = std::trunc((double)microseconds * info->frameRate * 0.000001);
    if (due < 0) return 0;
    if (due < total) return TruncDoubleToInt(due);
    // Beyond the end: the last frame, or (without a sound, looping) the remainder by the total.
    if (record->soundHandle == -1 && (record->playType & MOVIE_PLAY_LOOP_BIT)) return TruncDoubleToInt(std::fmod(due, total));
    return total - 1;
}

// The own decoder: the frame due by the sound or the clock, the end of a movie that does not loop.
static void AdvanceOwnDecodedMovie(MovieRecord *record)
{
    TheoraMovieInfo info;
    GetTheoraMovieInfo(record->theora, &info);
    int due = record->paused ? -1 : DueOwnFrame(record, &info);
    if (due >= 0) {
        int total = info.totalFrames;
        int current = GetTheoraCurrentFrame(record->theora);
        if (due == current) {
            if (due == total - 1 && !(record->playType & MOVIE_PLAY_LOOP_BIT) && record->soundHandle == -1) {
                record->playing = 0;
                record->paused = 1;
            }
        } else if (due < current) {
            AdvanceTheoraFrame(record->theora, total - current + due);
        } else {
            AdvanceTheoraFrame(record->theora, due - current);
        }
    }
    if (record->frameCallback) {
        record->frameCallback(record, record->callbackData);
        record->frameShown = 1;
    }
}

// Copies the sample surface's frame rows into the frame copy (a failed lock skips it).
static void CopyFrameRows(MovieRecord *record)
{
    if (!record->frameCopy.pixels) return;
    DdSurfaceDesc desc = {};
    desc.size = sizeof(desc);
    DdSurface *surface = record->surface4;
    if (surface->fn->Lock(surface, nullptr, &desc, DD_LOCK_WAIT | DD_LOCK_READONLY) != DD_OK) return;
    uint8_t *to = BeginFrameCopyWrite(record);
    int rowBytes = record->frameFormat.pixelByte * record->width;
    // Rows without padding on either side go in one copy.
    int rows = rowBytes == desc.pitch && rowBytes == record->frameCopy.pitch ? 1 : record->height;
    size_t bytes = (size_t)rowBytes * (size_t)(record->height / rows);
    for (int y = 0; to && y < rows; y++)
        CopyBytes(to + (size_t)y * record->frameCopy.pitch, (const uint8_t *)desc.surface + (size_t)y * desc.pitch, bytes);
    if (to) EndFrameCopyWrite(record);
    surface->fn->Unlock(surface, nullptr);
}

// The frame is in the sample surface.
static void TakeArrivedFrame(MovieRecord *record)
{
    CopyFrameRows(record);
    if (record->surfaceMode != MOVIE_SURFACE_OVERLAY && record->frameCallback)
        record->frameCallback(record, record->callbackData);
    record->lastPresentCount = (int64_t)GetMovieDisplayFns()->getPresentCount();
    record->lastUpdateTime = KGetTime();
    KResetEvent(record->updateEvent);
    record->updatePending = 0;
    record->frameShown = 1;
}

// The end of the stream: a looping movie starts again, another one ends.
static void MeetStreamEnd(MovieRecord *record)
{
    if (record->playType & MOVIE_PLAY_LOOP_BIT) {
        record->multiStream->fn->Seek(record->multiStream, 0);
        record->multiStream->fn->SetState(record->multiStream, MM_STREAMSTATE_RUN);
        record->lastPresentCount = -1;
        record->lastUpdateTime = (uint32_t)-1;
        return;
    }
    record->playing = 0;
    record->paused = 1;
}

// One pass of waiting for and taking a frame: 1 when a frame was taken, 0 when the call is to return.
static int TakeOneFrame(MovieRecord *record, int force)
{
    // With force 1 a pending update is not waited for: the new Update would be refused as busy and
    // read as the end. No caller passes 1.
    if (record->updatePending && !force) {
        if (KWaitForSingleObject(record->updateEvent, 0) != K_WAIT_OBJECT_0) return 0;
        if (record->sample->fn->CompletionStatus(record->sample) == MM_OK) {
            TakeArrivedFrame(record);
            return 1;
        }
        // It ended at the end of the stream (or a break) without a frame: the sample surface may be
        // the blank one of a re-open, not the last frame. The next update meets the end again.
        KResetEvent(record->updateEvent);
        record->updatePending = 0;
    }
    MmStreamSample *sample = record->sample;
    int32_t result = sample->fn->Update(sample, 0, force ? 0 : record->updateEvent, nullptr, 0);
    if (result == MM_OK) {
        TakeArrivedFrame(record);
        return 1;
    }
    if (result == MM_S_PENDING) {
        record->updatePending = 1;
        return 0;
    }
    MeetStreamEnd(record);
    return 0;
}

// Streams: at most one update per presented frame unless 17 ms have passed; the next update is under
// way before the call returns.
static void AdvanceStreamMovie(MovieRecord *record, int force)
{
    if (AreMovieStreamsReleased(record)) return;
    MmStreamState state = MM_STREAMSTATE_STOP;
    record->multiStream->fn->GetState(record->multiStream, &state);
    if (!force) {
        if (!record->playing || record->paused || state != MM_STREAMSTATE_RUN) return;
        if ((int64_t)GetMovieDisplayFns()->getPresentCount() == record->lastPresentCount &&
            KGetTime() - record->lastUpdateTime <= MOVIE_FRAME_THROTTLE_MS)
            return;
    }
    for (int take = 0; take < (force ? 1 : 2); take++)
        if (!TakeOneFrame(record, force)) return;
}

int AdvanceMovieToCurrentFrame(int movie, int force)
{
    MovieRecord *record = LookupMovieRecord(movie);
    if (!record) return 0;
    if (record->ownDecoder)
        AdvanceOwnDecodedMovie(record);
    else
        AdvanceStreamMovie(record, force);
    return 0;
}

// ================================================================================================
// overlays
// ================================================================================================

// r mod a for a non-negative alignment a (unsigned, as the display reports it).
static int AlignRemainder(int value, uint32_t a) { return (int)((uint32_t)value % a); }

// Source and destination aligned to the display's overlay caps; the destination width.
static int AlignOverlay(Rect *s, int *sw, Rect *d, int dw)
{
    uint32_t bits = 0;
    MovieOverlayAlign align;
    GetMovieDisplayFns()->getOverlayAlignment(&bits, &align);
    if ((bits & MOVIE_CAPS_ALIGN_BOUNDARY_SRC) && align.boundarySrc) {
        int r = AlignRemainder(s->left, align.boundarySrc);
        s->left -= r;
        *sw -= r;
    }
    if ((bits & MOVIE_CAPS_ALIGN_SIZE_SRC) && align.sizeSrc) s->right -= AlignRemainder(*sw, align.sizeSrc);
    if ((bits & MOVIE_CAPS_ALIGN_BOUNDARY_DEST) && align.boundaryDest) {
        int r = AlignRemainder(d->left, align.boundaryDest);
        d->left -= r;
        dw -= r;
    }
    if ((bits & MOVIE_CAPS_ALIGN_SIZE_DEST) && align.sizeDest) {
        int r = AlignRemainder(dw, align.sizeDest);
        d->right -= r;
        dw -= r;
    }
    return dw;
}

// The visible part of placement p (moved into screen coordinates), and the source
// trimmed by what was cut off. Returns show, turned off when nothing is visible.
static int ClipOverlay(Rect *p, Rect *v, Rect *s, int *sw, int m, int show)
{
    *v = *p;
    if (GetWindowedFlag()) {
        Rect box;
        int region = GetMovieDisplayFns()->getWindowClipBox(&box);
        if (region == MOVIE_CLIP_NULL_REGION || region == MOVIE_CLIP_COMPLEX_REGION) show = 0;
        if (region == MOVIE_CLIP_SIMPLE_REGION) ClipRectToArea(v, &box);
    }
    Rect client;
    GetDrawAreaRect(&client);
    Rect *moved[2] = {p, v};
    for (Rect *r : moved) *r = Rect{r->left + client.left, r->top + client.top, r->right + client.left, r->bottom + client.top};
    ClipRectToArea(v, &client);
    if (v->right - v->left <= 0 || v->bottom - v->top <= 0) show = 0;
    int cutLeft = (v->left - p->left) / m, cutRight = (p->right - v->right) / m;
    s->left += cutLeft;
    s->right -= cutRight;
    *sw -= cutLeft + cutRight;
    s->top += (v->top - p->top) / m;
    s->bottom -= (p->bottom - v->bottom) / m;
    return show;
}

int PlaceMovieOverlay(int x, int y, int magnification, int movie, int show)
{
    MovieRecord *record = LookupMovieRecord(movie);
    if (!record) return -1;
    if (record->surfaceMode != MOVIE_SURFACE_OVERLAY || !record->frameShown || AreMovieStreamsReleased(record)) return 0;
    // A stretched draw narrower than its graph, or drawn right to left, passes 0 or less.
    int m = magnification < 1 ? 1 : magnification;
    Rect s = {0, 0, record->width, record->height};
    int sw = record->width;
    Rect p = {x, y, x + record->width * m, y + record->height * m};
    Rect v;
    show = ClipOverlay(&p, &v, &s, &sw, m, show);
    Rect d = v;
    int dw = AlignOverlay(&s, &sw, &d, record->width * m);
    if (dw <= 0) show = 0;
    const MovieDisplayFns *display = GetMovieDisplayFns();
    if (show) {
        int same = record->overlay.shown == show && !CompareBytes(&record->overlay.source, &s, sizeof(Rect)) &&
                   !CompareBytes(&record->overlay.dest, &d, sizeof(Rect));
        if (!same) display->updateOverlay(record->surface7, &s, display->getFrontDrawSurface(), &d, MOVIE_OVERLAY_SHOW);
    } else {
        display->updateOverlay(record->surface7, nullptr, display->getFrontDrawSurface(), nullptr, MOVIE_OVERLAY_HIDE);
        s = d = Rect{};
    }
    record->overlay.x = x;
    record->overlay.y = y;
    record->overlay.magnification = magnification;
    record->overlay.shown = show;
    record->overlay.source = s;
    record->overlay.dest = d;
    return 0;
}

int RefreshMovieOverlays(void)
{
    for (int slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
        MovieRecord *r = GetMovieRecordAt(slot);
        if (!r || r->ownDecoder || r->surfaceMode != MOVIE_SURFACE_OVERLAY) continue;
        PlaceMovieOverlay(r->overlay.x, r->overlay.y, r->overlay.magnification, GetMovieRecordHandle(r, slot),
                          r->overlay.shown);
    }
    return 0;
}

int RestoreLostMovieSurfaces(int movie)
{
    MovieRecord *record = LookupMovieRecord(movie);
    if (!record) return 0;
    DdSurface *surfaces[2] = {record->surface4, record->surface7};
    for (DdSurface *s : surfaces)
        if (s && s->fn->IsLost(s) == DD_ERR_SURFACE_LOST) s->fn->Restore(s);
    return 0;
}

// ================================================================================================
// pause and resume
// ================================================================================================

int PauseMovieByHandle(int movie, int keepPlaying)
{
    MovieRecord *record = LookupMovieRecord(movie);
    if (!record) return -1;
    if (record->paused == 1) return 0;
    if (record->ownDecoder) {
        StopSoundByHandle(record->soundHandle);
        AdvanceMovieToCurrentFrame(movie, 0);
    } else {
        if (AreMovieStreamsReleased(record)) return 0;
        record->mediaControl->fn->Pause(record->mediaControl);
    }
    record->paused = 1;
    if (!keepPlaying) record->playing = 0;
    return 0;
}

int PauseAllMoviesForSystem(void)
{
    for (int slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
        MovieRecord *r = GetMovieRecordAt(slot);
        if (r) PauseMovieByHandle(GetMovieRecordHandle(r, slot), 1);
    }
    return 0;
}

// Resumes one movie the system paused (paused and still playing).
static void ResumeMovie(MovieRecord *record)
{
    int playType = record->playType == 0 ? 1 : record->playType;
    if (!record->paused || !record->playing) return;
    if (record->ownDecoder) {
        TheoraMovieInfo info;
        GetTheoraMovieInfo(record->theora, &info);
        double shown = info.frameRate > 0 ? std::trunc(GetTheoraCurrentFrame(record->theora) / info.frameRate * 1000000.0) : 0;
        // Stopped at the largest time, as the stream clock is.
        int64_t back = shown < 9223372036854775807.0 ? (int64_t)shown : INT64_MAX;
        record->clockBase = SaturatedDifference(GetCounterMicroseconds(0), back);
        PlaySoundByHandle(record->soundHandle, playType, 0);
    } else {
        if (AreMovieStreamsReleased(record)) return;
        record->multiStream->fn->SetState(record->multiStream, MM_STREAMSTATE_RUN);
    }
    record->paused = 0;
    record->playType = playType;
    record->playing = 1;
}

int ResumeSystemPausedMovies(void)
{
    for (int slot = 0; slot < MOVIE_TABLE_SIZE; slot++)
        if (GetMovieRecordAt(slot)) ResumeMovie(GetMovieRecordAt(slot));
    return 0;
}

// ================================================================================================
// display changes
// ================================================================================================

int ReleaseAllMovieStreams(void)
{
    for (int slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
        MovieRecord *r = GetMovieRecordAt(slot);
        if (!r || r->ownDecoder || AreMovieStreamsReleased(r)) continue;
        MmStreamTime time = 0;
        if (r->multiStream) r->multiStream->fn->GetTime(r->multiStream, &time);
        r->savedStreamTime = time;
        ReleaseMovieObjects(r, kStreamReleaseOrder);
        CloseMovieUpdateEvent(r);
        FreeMovieFrameCopy(r);
        r->updatePending = 0;
    }
    return 0;
}

int ReopenAllMovies(void)
{
    for (int slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
        MovieRecord *r = GetMovieRecordAt(slot);
        if (!r || r->ownDecoder || !AreMovieStreamsReleased(r)) continue;
        if (OpenMovieThroughDirectShow(GetMovieDisplayFns()->getDirectDrawObject(), r, r->fileName, nullptr, nullptr,
                                       r->surfaceMode) != 0)
            return -1;
        r->multiStream->fn->Seek(r->multiStream, r->savedStreamTime);
        if (!r->paused) r->multiStream->fn->SetState(r->multiStream, MM_STREAMSTATE_RUN);
    }
    return 0;
}
