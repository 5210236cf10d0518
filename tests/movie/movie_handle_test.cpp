// Movie handles: lookup and release, the open through the streams on every fixture and surface mode,
// each failing step's message with nothing held afterwards, the sample fallback, long names and the
// temporary copy of a file only the file layer serves.
#include <cstring>
#include <vector>

#include "lib/file/datafile.h"
#include "tests/movie/movie_support.h"
#include "testsupport/test_hooks.h"

namespace {

using namespace movietest;

TEST_F(MovieTest, LookupRefusesEveryHandleThatNamesNoMovie)
{
    MovieRecord *record;
    int handle = NewRecord(&record);
    int slot = HandleSlot(handle), check = record->head.check;
    const int bad[] = {
        -1,
        ((check | 0x0800) << 16) | slot,
        ((check | 0x1800) << 16) | 100,
        ((check | 0x1800) << 16) | (slot + 1),
        (((check + 1) & 0x7FF) | 0x1800) << 16 | slot,
    };
    for (int h : bad) {
        EXPECT_EQ(LookupMovieRecord(h), nullptr) << std::hex << h;
        EXPECT_EQ(ReleaseMovieHandle(h), -1) << std::hex << h;
    }
    EXPECT_EQ(LookupMovieRecord(handle), record);
    int used = GetMovieHandleTable()->usedCount;
    EXPECT_EQ(ReleaseMovieHandle(handle), 0);
    EXPECT_EQ(GetMovieHandleTable()->records[slot], nullptr);
    EXPECT_EQ(GetMovieHandleTable()->usedCount, used - 1);
    EXPECT_EQ(LookupMovieRecord(handle), nullptr);
}

TEST_F(MovieTest, OpeningReportsTheSizeSettlesTheModeAndPreparesTheFrameCopy)
{
    const struct {
        const char *file; int requested, depth; const DdPixelFormat *overlay; int mode, bytes, pitch;
    } cases[] = {
        {"m420.ogv", 0, 16, nullptr, 0, 2, 76},  {"m420.ogv", 0, 32, nullptr, 0, 4, 148},
        {"m444.ogv", 2, 16, nullptr, 2, 3, 64},  {"m444.ogv", 2, 32, nullptr, 0, 4, 84},
        {"m422.ogv", 1, 32, nullptr, 0, 4, 136}, {"m422.ogv", 1, 16, nullptr, 2, 3, 104},
    };
    for (auto c : cases) {
        gDisplay.depth = c.depth;
        MovieRecord *r;
        int result, w = 0, h = 0;
        int handle = OpenRecord(c.file, c.requested, &r, &result, &w, &h);
        ASSERT_EQ(result, 0) << c.file << " " << c.requested;
        const moviefixture::Movie *m = nullptr;
        for (const auto &f : moviefixture::kMovies) if (!strcmp(f.name, c.file)) m = &f;
        EXPECT_EQ(w, m->width);
        EXPECT_EQ(h, m->height);
        EXPECT_EQ(r->surfaceMode, c.mode) << c.file << " " << c.requested;
        EXPECT_EQ(r->frameFormat.pixelByte, c.bytes);
        EXPECT_EQ(r->frameCopy.pitch, c.pitch);
        EXPECT_NE(r->frameCopy.pixels, nullptr);
        EXPECT_NE(r->updateEvent, 0);
        EXPECT_EQ(r->lastPresentCount, -1);
        EXPECT_EQ(r->lastUpdateTime, 0xFFFFFFFFu);
        EXPECT_EQ(r->frameShown, 0);
        EXPECT_TRUE(r->surface4 && r->surface7 && r->sampleSurface && r->multiStream);
        EXPECT_EQ(ReleaseMovieHandle(handle), 0);
    }
}

TEST_F(MovieTest, EveryFailingStepLogsItsMessageAndHoldsNothing)
{
    struct Case {
        MmFaultKind mm; int nth; DdMethod dd; const char *message;
    };
    const MmFaultKind none = MM_FAULT_KIND_COUNT;
    const Case cases[] = {
        {MM_FAULT_CREATE_GRAPH, 1, DD_METHOD_COUNT, "CLSID_FilterGraph の作成に失敗しました"},
        {MM_FAULT_CREATE_STREAM, 1, DD_METHOD_COUNT, "IAMMultimediaインターフェイスを取得できませんでした！"},
        {MM_FAULT_INITIALIZE, 1, DD_METHOD_COUNT, "ストリームを読み取り用にセットアップできませんでした！"},
        {MM_FAULT_QUERY_INTERFACE, 1, DD_METHOD_COUNT, "IID_IMediaControlインターフェイスの取得に失敗しました"},
        {none, 0, DD_M_QUERY_INTERFACE, "DirectDraw4オブジェクトを取得できませんでした"},
        {MM_FAULT_ADD_VIDEO, 1, DD_METHOD_COUNT, "プライマリビデオストリームを追加できませんでした！"},
        {MM_FAULT_ADD_AUDIO, 1, DD_METHOD_COUNT, "デフォルトサウンドレンダラを追加できませんでした！\n"},
        {MM_FAULT_QUERY_INTERFACE, 2, DD_METHOD_COUNT, "メディアシーキングインターフェースの取得に失敗しました"},
        {MM_FAULT_QUERY_INTERFACE, 3, DD_METHOD_COUNT, "BasicAudio インターフェースの取得に失敗しました"},
        {MM_FAULT_GET_MEDIA_STREAM, 1, DD_METHOD_COUNT, "プライマリビデオストリームインターフェイスを取得できませんでした！"},
        {MM_FAULT_QUERY_INTERFACE, 4, DD_METHOD_COUNT, "AMMediaStreamインターフェイスの取得に失敗しました"},
        {MM_FAULT_QUERY_INTERFACE, 5, DD_METHOD_COUNT, "DirectDrawメディアストリームインターフェイスを取得できませんでした！"},
        {none, 0, DD_M_CREATE_SURFACE, "DirectDrawSurface オブジェクトの作成に失敗しました"},
        {MM_FAULT_CREATE_SAMPLE, -1, DD_METHOD_COUNT, "ストリームサンプルを作成できませんでした！"},
        {MM_FAULT_GET_SURFACE, 1, DD_METHOD_COUNT, "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！"},
    };
    for (const Case &c : cases) {
        MmTestResetFaults();
        DdTestResetFaults();
        if (c.mm != none && c.nth > 0) MmTestFailNth(c.mm, c.nth);
        if (c.mm != none && c.nth < 0) MmTestFailAlways(c.mm, 1);
        if (c.dd != DD_METHOD_COUNT) DdTestFailNth(c.dd, 1, DD_ERR_GENERIC);
        size_t before = LogText().size();
        MovieRecord *r;
        int result;
        int handle = OpenRecord("m420.ogv", 0, &r, &result);
        EXPECT_EQ(result, -1) << c.message;
        std::string logged = LogText().substr(before), message = c.message;
        if (message.back() == '\n') message.insert(message.size() - 1, "\r");
        EXPECT_EQ(logged.substr(logged.size() - std::min(logged.size(), message.size())), message);
        EXPECT_TRUE(AllObjectsNull(r)) << c.message;
        EXPECT_EQ(r->updateEvent, 0);
        EXPECT_EQ(r->frameCopy.pixels, nullptr);
        ReleaseMovieHandle(handle);
    }
}

TEST_F(MovieTest, ASoundWithoutAPictureIsNotAMovie)
{
    MovieRecord *r;
    int result;
    OpenRecord("audio.ogg", 0, &r, &result);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(LogHas("動画ファイルではない可能性があります！"));
    EXPECT_TRUE(AllObjectsNull(r));
}

TEST_F(MovieTest, AHeaderDeclaringAPictureLargerThanAnyGraphIsRefusedAndLogged)
{
    // m420.ogv declaring 16384 x 16384 pixels (1024 x 1024 macroblocks): more than any graph holds.
    std::string bytes = moviefixture::WithHeaderBytes(ReadTestFile(moviefixture::Path("m420.ogv").c_str()),
                                                      moviefixture::HEADER_FRAME_MBS,
                                                      {4, 0, 4, 0, 0, 0x40, 0, 0, 0x40, 0, 0, 0});
    moviefixture::WriteMovieFile("huge.ogv", bytes);
    MovieRecord *r;
    int handle = NewRecord(&r);
    EXPECT_EQ(OpenMovieThroughDirectShow(gDisplay.draw, r, "huge.ogv", nullptr, nullptr, 0), -1);
    EXPECT_TRUE(LogHas("ファイル:huge.ogv が開けませんでした"));
    EXPECT_TRUE(AllObjectsNull(r));
    ReleaseMovieHandle(handle);
}

TEST_F(MovieTest, ASampleRefusedOnTheLibrarySurfaceUsesTheStreamsOwnInModeZero)
{
    MmTestFailNth(MM_FAULT_CREATE_SAMPLE, 1);
    gDisplay.depth = 16;
    MovieRecord *r;
    int result;
    OpenRecord("m444.ogv", 2, &r, &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(r->surfaceMode, 0);
    EXPECT_EQ(r->frameFormat.colorBitDepth, 32);   // the stream's own X888 surface
    EXPECT_EQ(r->frameCopy.pitch, 84);
}

TEST_F(MovieTest, AFileNameThatDoesNotFitIsRefused)
{
    std::string name(MOVIE_FILE_NAME_SIZE, 'a');
    MovieRecord *r;
    NewRecord(&r);
    std::memset(r->fileName, 0, sizeof(r->fileName));
    EXPECT_EQ(OpenMovieThroughDirectShow(gDisplay.draw, r, name.c_str(), nullptr, nullptr, 0), -1);
    EXPECT_EQ(r->fileName[0], 0);
    EXPECT_TRUE(LogHas("が開けませんでした"));
    EXPECT_TRUE(AllObjectsNull(r));
    EXPECT_EQ(OpenMovieToGraph(name.c_str(), 0, 1), -1);
}

// ---- the temporary copy -----------------------------------------------------------------------------

// A file the file layer serves from memory under a name no disk has.
struct ServedFile {
    std::string bytes;
    size_t at = 0;
    std::vector<size_t> reads;   // sizes asked for
};
ServedFile gServed;
#define SERVED_NAME "archive\\movie.ogv"

intptr_t ServedOpen(const char *name, int readAhead, int unused, int async)
{
    if (strcmp(name, SERVED_NAME) == 0) {
        gServed.at = 0;
        return (intptr_t)&gServed;
    }
    return GetDiskFileFunctionTable()->open(name, readAhead, unused, async);
}
bool IsServed(intptr_t f) { return f == (intptr_t)&gServed; }
int ServedClose(intptr_t f) { return IsServed(f) ? 0 : GetDiskFileFunctionTable()->close(f); }
int64_t ServedTell(intptr_t f) { return IsServed(f) ? (int64_t)gServed.at : GetDiskFileFunctionTable()->tell(f); }
int ServedSeek(intptr_t f, int64_t offset, int origin)
{
    if (!IsServed(f)) return GetDiskFileFunctionTable()->seek(f, offset, origin);
    gServed.at = (size_t)(origin == 2 ? (int64_t)gServed.bytes.size() + offset : offset);
    return 0;
}
size_t ServedRead(void *buffer, size_t size, size_t count, intptr_t f)
{
    if (!IsServed(f)) return GetDiskFileFunctionTable()->read(buffer, size, count, f);
    gServed.reads.push_back(size * count);
    size_t n = std::min(size * count, gServed.bytes.size() - gServed.at);
    memcpy(buffer, gServed.bytes.data() + gServed.at, n);
    gServed.at += n;
    return n / size;
}

class MovieCopyTest : public MovieTest {
protected:
    void SetUp() override
    {
        MovieTest::SetUp();
        FileFunctionTable table = *GetDiskFileFunctionTable();
        table.open = ServedOpen;
        table.close = ServedClose;
        table.tell = ServedTell;
        table.seek = ServedSeek;
        table.read = ServedRead;
        SetFileFunctionTable(&table);
        gServed = ServedFile{};
    }
    void TearDown() override
    {
        SetFileFunctionTable(nullptr);
        MovieTest::TearDown();
    }
    static bool Exists(const char *path)
    {
        KHandle f = KCreateFile(path, K_GENERIC_READ, K_OPEN_EXISTING);
        if (f == K_INVALID_HANDLE) return false;
        KCloseHandle(f);
        return true;
    }
};

TEST_F(MovieCopyTest, AMovieOnlyTheFileLayerServesPlaysFromATemporaryCopyThatItsReleaseDeletes)
{
    gServed.bytes = ReadTestFile(moviefixture::Path("m420.ogv").c_str());
    MovieRecord *r;
    int handle = NewRecord(&r);
    int w = 0;
    ASSERT_EQ(OpenMovieThroughDirectShow(gDisplay.draw, r, SERVED_NAME, &w, nullptr, 0), 0);
    EXPECT_EQ(w, 37);
    EXPECT_EQ(r->tempCopy, 1);
    EXPECT_NE(strstr(r->fileName, "tmp"), nullptr);
    std::string copy = r->fileName;
    EXPECT_TRUE(Exists(copy.c_str()));
    EXPECT_FALSE(LogHas("が開けませんでした"));
    // A re-open of the copy opens it by name, without copying again.
    ReleaseAllMovieStreams();
    gServed.reads.clear();
    EXPECT_EQ(ReopenAllMovies(), 0);
    EXPECT_TRUE(gServed.reads.empty());
    EXPECT_EQ(ReleaseMovieHandle(handle), 0);
    EXPECT_FALSE(Exists(copy.c_str()));
}

TEST_F(MovieCopyTest, ACopyInMegabytePiecesThatStillDoesNotOpenIsDeletedAndLogged)
{
    gServed.bytes.assign(2621440, 'x');   // 2.5 MiB, not a movie
    MovieRecord *r;
    NewRecord(&r);
    EXPECT_EQ(OpenMovieThroughDirectShow(gDisplay.draw, r, SERVED_NAME, nullptr, nullptr, 0), -1);
    EXPECT_EQ(gServed.reads, (std::vector<size_t>{1048576, 1048576, 524288}));
    EXPECT_EQ(r->tempCopy, 1);
    EXPECT_FALSE(Exists(r->fileName));
    EXPECT_TRUE(LogHas("ファイル:" SERVED_NAME " が開けませんでした"));
    EXPECT_TRUE(AllObjectsNull(r));
    // The record already names a copy: a second open does not copy it again (into a new name), even
    // with the file there again, and logs that name.
    gServed.reads.clear();
    std::string copy = r->fileName;
    KHandle again = KCreateFile(copy.c_str(), K_GENERIC_WRITE, K_CREATE_ALWAYS);
    uint32_t written = 0;
    ASSERT_TRUE(again != K_INVALID_HANDLE && KWriteFile(again, "x", 1, &written));
    KCloseHandle(again);
    EXPECT_EQ(OpenMovieThroughDirectShow(gDisplay.draw, r, r->fileName, nullptr, nullptr, 0), -1);
    EXPECT_EQ(r->fileName, copy);
    EXPECT_TRUE(gServed.reads.empty());
    EXPECT_TRUE(LogHas("ファイル:" + copy + " が開けませんでした"));
    KDeleteFile(copy.c_str());
}

TEST_F(MovieCopyTest, AFileTheFileLayerCannotReadEitherFails)
{
    MovieRecord *r;
    NewRecord(&r);
    EXPECT_EQ(OpenMovieThroughDirectShow(gDisplay.draw, r, "nowhere.ogv", nullptr, nullptr, 0), -1);
    EXPECT_EQ(r->tempCopy, 0);
    EXPECT_TRUE(LogHas("ファイル:nowhere.ogv が開けませんでした"));
}

}  // namespace
