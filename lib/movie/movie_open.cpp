// Opening a movie record's stream objects from its file: filter graph, multimedia stream, the video
// stream with its frame surface and sample, the frame copy, and the temporary copy of a file only the
// file layer can read.
#include "lib/movie/movie_internal.h"

#include <cstdio>
#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/datafile.h"
#include "lib/image/image_loader.h"

// The stream refuses pictures larger than the largest graph made from a picture.
static_assert(MM_MAX_PICTURE_SIDE == IMAGE_MAX_SIDE && MM_MAX_PICTURE_PIXELS == IMAGE_MAX_PIXELS);

// Every step's failure ends here: the objects go in their order (also the stream the open still
// holds), the step's message is logged as it is, -1.
static int FailOpen(MovieRecord *record, MmMultiMediaStream *heldStream, const char *message)
{
    if (heldStream && !record->multiStream) record->multiStream = heldStream;
    ReleaseMovieObjects(record, kStreamReleaseOrder);
    return WriteLog(message);
}

// Requests for an overlay without an overlay format become 24-bit RGB; 24-bit on a 32-bit screen
// becomes the screen's format.
static int SettleSurfaceMode(int mode)
{
    if (mode == MOVIE_SURFACE_OVERLAY && !GetMovieDisplayFns()->getOverlayPixelFormat()) mode = MOVIE_SURFACE_RGB24;
    if (mode == MOVIE_SURFACE_RGB24 && GetMovieDisplayFns()->queryScreenColorDepth() == 32) mode = MOVIE_SURFACE_OFFSCREEN;
    return mode;
}

// The frame surface's pixel format in a surface mode.
static DdPixelFormat FramePixelFormat(int mode)
{
    const MovieDisplayFns *display = GetMovieDisplayFns();
    if (mode == MOVIE_SURFACE_OVERLAY) return *display->getOverlayPixelFormat();
    if (mode == MOVIE_SURFACE_RGB24)
        return DdPixelFormat{sizeof(DdPixelFormat), DD_PF_RGB, 0, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0};
    int depth = display->queryScreenColorDepth();
    if (display->isSoftwareRendering() && depth != 8) return *display->findMemImgPixelFormat(depth == 16 ? 0 : 1, 0, 0);
    return *display->getScreenPixelFormat();
}

// The frame surface of width x height for the mode, made on the display object's first interface.
static DdSurface *CreateFrameSurface(DdDraw *directDraw, int width, int height, int mode)
{
    DdDraw *draw1 = nullptr;
    if (!directDraw || directDraw->fn->QueryInterface(directDraw, &DD_IID_DIRECTDRAW, (void **)&draw1) != DD_OK)
        return nullptr;
    DdSurfaceDesc desc = {};
    desc.size = sizeof(desc);
    desc.flags = DD_SD_CAPS | DD_SD_HEIGHT | DD_SD_WIDTH | DD_SD_PIXELFORMAT;
    desc.caps = mode == MOVIE_SURFACE_OVERLAY ? DD_CAPS_OVERLAY | DD_CAPS_VIDEOMEMORY
                                              : DD_CAPS_OFFSCREENPLAIN | DD_CAPS_SYSTEMMEMORY;
    desc.width = (uint32_t)width;
    desc.height = (uint32_t)height;
    desc.pixelFormat = FramePixelFormat(mode);
    DdSurface *surface = nullptr;
    if (draw1->fn->CreateSurface(draw1, &desc, &surface, nullptr) != DD_OK) surface = nullptr;
    draw1->fn->Release(draw1);
    return surface;
}

// The colour format of a surface's pixels. 0 / -1.
static int ReadSurfaceColorFormat(DdSurface *surface, ColorFormatRecord *out)
{
    DdSurfaceDesc desc = {};
    desc.size = sizeof(desc);
    if (surface->fn->GetSurfaceDesc(surface, &desc) != DD_OK) return -1;
    const DdPixelFormat &f = desc.pixelFormat;
    PixelFormatDesc pixel = {f.flags, f.bitCount, f.redMask, f.greenMask, f.blueMask, f.alphaMask};
    return ConvertPixelFormatToColorFormat(&pixel, out);
}

// Opens the record's file-name field (Shift-JIS) on the multimedia stream.
static int32_t OpenStreamFile(MovieRecord *record, MmMultiMediaStream *stream)
{
    uint16_t wide[MOVIE_FILE_NAME_SIZE];
    if (KMultiByteToWide(record->fileName, -1, wide, MOVIE_FILE_NAME_SIZE) <= 0) return MM_E_INVALIDARG;
    return stream->fn->OpenFile(stream, wide, 0);
}

// Copies fileName through the file layer into a new temporary file, which the record's file-name
// field then names and the stream opens. 0 / -1 (nothing logged here).
static int OpenTemporaryCopy(MovieRecord *record, MmMultiMediaStream *stream, const char *fileName)
{
    if (record->tempCopy == 1) return -1;
    intptr_t file = OpenDataFile(fileName, 0, 1, 0);
    if (!file) return -1;
    SeekDataFile(file, 0, 2);
    int64_t size = TellDataFile(file);
    SeekDataFile(file, 0, 0);
    void *buffer = AllocMemoryTracked(MOVIE_COPY_PIECE, "", 0);
    KHandle copy = buffer ? CreateTempDiskFile(record->fileName) : 0;
    if (!copy || copy == K_INVALID_HANDLE) {
        CloseDataFile(file);
        FreeMemoryTracked(buffer);
        return -1;
    }
    record->tempCopy = 1;
    int whole = size >= 0;
    for (int64_t at = 0; whole && at < size; at += MOVIE_COPY_PIECE) {
        uint32_t piece = (uint32_t)(size - at < MOVIE_COPY_PIECE ? size - at : MOVIE_COPY_PIECE);
        uint32_t written = 0;
        size_t got = ReadDataFile(buffer, 1, piece, file);
        // A copy read or written short would play a cut movie: it fails instead.
        whole = got == piece && KWriteFile(copy, buffer, piece, &written) && written == piece;
    }
    CloseDataFile(file);
    KCloseHandle(copy);
    FreeMemoryTracked(buffer);
    if (whole && OpenStreamFile(record, stream) == MM_OK) return 0;
    KDeleteFile(record->fileName);
    return -1;
}

// Stores fileName in the record (refused when it does not fit) and opens it, through a temporary
// copy when the stream cannot open it by name. 0, or -1 with the message to log.
static int OpenMovieFile(MovieRecord *record, MmMultiMediaStream *stream, const char *fileName, char *message,
                         int messageSize)
{
    // A name too long for the message is cut, so that the text still says what failed.
    static const char head[] = "ファイル:", tail[] = " が開けませんでした";
    int room = messageSize - (int)sizeof(head) - (int)sizeof(tail) + 1;
    snprintf(message, (size_t)messageSize, "%s%.*s%s", head, room, fileName, tail);
    if (strlen(fileName) >= MOVIE_FILE_NAME_SIZE) return -1;
    if (fileName != record->fileName) memcpy(record->fileName, fileName, strlen(fileName) + 1);
    if (OpenStreamFile(record, stream) == MM_OK) return 0;
    // The name is copied first: the temporary copy overwrites the field with its own path.
    char name[MOVIE_FILE_NAME_SIZE];
    memcpy(name, record->fileName, strlen(record->fileName) + 1);
    return OpenTemporaryCopy(record, stream, name);
}

// Filter graph, multimedia stream on it, the two streams and the file. 0 / -1 (logged).
static int BuildStreams(DdDraw *directDraw, MovieRecord *record, const char *fileName)
{
    MmMultiMediaStream *stream = nullptr;
    if (MmCoCreateInstance(MM_CLSID_FILTER_GRAPH, nullptr, MM_CLSCTX_INPROC_SERVER | MM_CLSCTX_INPROC_HANDLER,
                           MM_IID_GRAPH_BUILDER, (void **)&record->filterGraph) != MM_OK)
        return FailOpen(record, nullptr, "CLSID_FilterGraph の作成に失敗しました");
    if (MmCoCreateInstance(MM_CLSID_AM_MULTIMEDIA_STREAM, nullptr, MM_CLSCTX_INPROC_SERVER,
                           MM_IID_AM_MULTIMEDIA_STREAM, (void **)&stream) != MM_OK)
        return FailOpen(record, nullptr, "IAMMultimediaインターフェイスを取得できませんでした！");
    if (stream->fn->Initialize(stream, MM_STREAMTYPE_READ, MM_AMMSF_NOGRAPHTHREAD, record->filterGraph) != MM_OK)
        return FailOpen(record, stream, "ストリームを読み取り用にセットアップできませんでした！");
    MmGraphBuilder *graph = record->filterGraph;
    if (graph->fn->QueryInterface(graph, MM_IID_MEDIA_CONTROL, (void **)&record->mediaControl) != MM_OK)
        return FailOpen(record, stream, "IID_IMediaControlインターフェイスの取得に失敗しました");
    if (!directDraw ||
        directDraw->fn->QueryInterface(directDraw, &DD_IID_DIRECTDRAW4, (void **)&record->directDraw4) != DD_OK) {
        record->directDraw4 = nullptr;
        return FailOpen(record, stream, "DirectDraw4オブジェクトを取得できませんでした");
    }
    if (stream->fn->AddMediaStream(stream, record->directDraw4, MM_PURPOSE_PRIMARY_VIDEO, 0, nullptr) != MM_OK)
        return FailOpen(record, stream, "プライマリビデオストリームを追加できませんでした！");
    if (stream->fn->AddMediaStream(stream, nullptr, MM_PURPOSE_PRIMARY_AUDIO, MM_AMMSF_ADDDEFAULTRENDERER, nullptr) != MM_OK)
        return FailOpen(record, stream, "デフォルトサウンドレンダラを追加できませんでした！\n");
    char message[256];
    if (OpenMovieFile(record, stream, fileName, message, (int)sizeof(message)) != 0)
        return FailOpen(record, stream, message);
    record->multiStream = stream;
    return 0;
}

// Seeking, audio, the video stream's three faces and its size. 0 / -1 (logged).
static int ReachVideoStream(MovieRecord *record, MmSurfaceDesc *format)
{
    MmGraphBuilder *graph = record->filterGraph;
    if (graph->fn->QueryInterface(graph, MM_IID_MEDIA_SEEKING, (void **)&record->mediaSeeking) != MM_OK)
        return FailOpen(record, nullptr, "メディアシーキングインターフェースの取得に失敗しました");
    if (graph->fn->QueryInterface(graph, MM_IID_BASIC_AUDIO, (void **)&record->basicAudio) != MM_OK)
        return FailOpen(record, nullptr, "BasicAudio インターフェースの取得に失敗しました");
    MmMultiMediaStream *stream = record->multiStream;
    if (stream->fn->GetMediaStream(stream, MM_PURPOSE_PRIMARY_VIDEO, &record->videoStream) != MM_OK)
        return FailOpen(record, nullptr, "プライマリビデオストリームインターフェイスを取得できませんでした！");
    MmMediaStream *video = record->videoStream;
    if (video->fn->QueryInterface(video, MM_IID_AM_MEDIA_STREAM, (void **)&record->amStream) != MM_OK)
        return FailOpen(record, nullptr, "AMMediaStreamインターフェイスの取得に失敗しました");
    if (video->fn->QueryInterface(video, MM_IID_DDRAW_MEDIA_STREAM, (void **)&record->ddrawStream) != MM_OK)
        return FailOpen(record, nullptr, "DirectDrawメディアストリームインターフェイスを取得できませんでした！");
    *format = MmSurfaceDesc{sizeof(MmSurfaceDesc), 0, 0, 0};
    MmDDrawMediaStream *ddraw = record->ddrawStream;
    if (ddraw->fn->GetFormat(ddraw, nullptr, nullptr, format, nullptr) != MM_OK || format->width == 0 ||
        format->height == 0)
        return FailOpen(record, nullptr, "動画ファイルではない可能性があります！");
    return 0;
}

// The frame surface, the sample on it (or on the stream's own surface), the sample's
// surface and rectangle. 0 / -1 (logged).
static int MakeSample(DdDraw *directDraw, MovieRecord *record, const MmSurfaceDesc *format, int mode)
{
    DdSurface *surface = CreateFrameSurface(directDraw, (int)format->width, (int)format->height, mode);
    if (!surface) return FailOpen(record, nullptr, "DirectDrawSurface オブジェクトの作成に失敗しました");
    record->surfaceMode = mode;
    MmDDrawMediaStream *ddraw = record->ddrawStream;
    if (ddraw->fn->CreateSample(ddraw, surface, nullptr, MM_DDSFF_PROGRESSIVERENDER, &record->sample) != MM_OK) {
        surface->fn->Release(surface);
        surface = nullptr;
        record->surfaceMode = MOVIE_SURFACE_OFFSCREEN;
        if (ddraw->fn->CreateSample(ddraw, nullptr, nullptr, 0, &record->sample) != MM_OK)
            return FailOpen(record, nullptr, "ストリームサンプルを作成できませんでした！");
    }
    if (surface) surface->fn->Release(surface);   // the sample holds its own reference
    MmRect rect = {};
    void *sampleSurface = nullptr;
    if (record->sample->fn->GetSurface(record->sample, &sampleSurface, &rect) != MM_OK)
        return FailOpen(record, nullptr, "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！");
    record->sampleSurface = (DdSurface *)sampleSurface;
    record->sampleRect = Rect{rect.left, rect.top, rect.right, rect.bottom};
    return 0;
}

// This platform's surface answers every version itself: a version is one more reference.
static DdSurface *SurfaceVersion(DdSurface *surface)
{
    surface->fn->AddRef(surface);
    return surface;
}

// The surface versions the mode needs, the frame format and the frame copy. 0 / -1 (logged).
static int TakeSurfaceVersions(MovieRecord *record)
{
    DdSurface *read;
    if (record->surfaceMode == MOVIE_SURFACE_OVERLAY) {
        record->surface7 = SurfaceVersion(record->sampleSurface);
        read = record->surface7;
    } else {
        record->surface4 = SurfaceVersion(record->sampleSurface);
        record->surface7 = SurfaceVersion(record->sampleSurface);
        read = record->surface4;
    }
    ReadSurfaceColorFormat(read, &record->frameFormat);
    if (record->surfaceMode == MOVIE_SURFACE_OVERLAY) return 0;
    record->frameCopy.width = record->width;
    record->frameCopy.height = record->height;
    record->frameCopy.pitch = (record->frameFormat.pixelByte * record->width + 3) & ~3;
    // A failed allocation turns the frame copy off.
    record->frameCopy.pixels = AllocMemoryZeroed((size_t)record->frameCopy.pitch * (size_t)record->height, "", 0);
    KeepFrameCopyInGraph(record);   // a re-open after a display change
    return 0;
}

int OpenMovieThroughDirectShow(DdDraw *directDraw, MovieRecord *record, const char *fileName, int *outWidth,
                               int *outHeight, int surfaceMode)
{
    record->frameCopy.pixels = nullptr;
    record->frameCopyHost = 0;
    record->overlay.x = record->overlay.y = record->overlay.magnification = record->overlay.shown = 0;
    record->frameShown = 0;
    record->overlay.source = record->overlay.dest = Rect{};
    int mode = SettleSurfaceMode(surfaceMode);
    MmSurfaceDesc format;
    if (BuildStreams(directDraw, record, fileName) != 0 || ReachVideoStream(record, &format) != 0 ||
        MakeSample(directDraw, record, &format, mode) != 0)
        return -1;
    record->width = record->sampleRect.right - record->sampleRect.left;
    record->height = record->sampleRect.bottom - record->sampleRect.top;
    if (outWidth) *outWidth = record->width;
    if (outHeight) *outHeight = record->height;
    TakeSurfaceVersions(record);
    record->updateEvent = KCreateEvent(1, 0);
    record->updatePending = 0;
    record->lastPresentCount = -1;
    record->lastUpdateTime = (uint32_t)-1;
    return 0;
}
