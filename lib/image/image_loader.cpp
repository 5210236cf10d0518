// The loader table: each picture file is offered to the loaders in turn by its first bytes.
#include "lib/image/image_loader.h"

#include <cstring>

#include "lib/core/log.h"
#include "lib/file/datafile.h"
#include "lib/file/stream.h"

static const ImageLoader kImageLoaders[] = {
    {"PNG", TestPngImage, LoadPngImage},
    {"JPEG", TestJpegImage, LoadJpegImage},
    {"BMP", TestBmpImage, LoadBmpImage},
    {nullptr, nullptr, nullptr},
};

int LoadGraphImage(StreamRecord *stream, GraphImage *out) {
    if (out == nullptr) return -1;
    memset(out, 0, sizeof(*out));
    if (stream == nullptr) return WriteLog("ストリームがありません in LoadGraphImage\n");
    unsigned char head[64];
    if (stream->functions.seek(stream->data, 0, 0) != 0) return WriteLog("画像ファイルの先頭に戻れません in LoadGraphImage\n");
    size_t got = stream->functions.read(head, 1, sizeof head, stream->data);
    for (const ImageLoader *l = kImageLoaders; l->name != nullptr; ++l) {
        if (!l->test(head, got)) continue;
        if (stream->functions.seek(stream->data, 0, 0) != 0) return WriteLog("画像ファイルの先頭に戻れません in LoadGraphImage\n");
        if (l->load(stream, out) != 0) {
            DiscardGraphImage(out);
            return WriteLogFormat("%s 画像の読み込みに失敗しました in LoadGraphImage", l->name);
        }
        return 0;
    }
    return WriteLog("対応していない画像形式です in LoadGraphImage\n");
}

int64_t GetImageStreamBytesFrom(StreamRecord *s, int64_t offset) {
    int64_t at = s->functions.tell(s->data);
    if (at < 0 || s->functions.seek(s->data, 0, 2) != 0) return -1;
    int64_t end = s->functions.tell(s->data);
    if (end < 0 || s->functions.seek(s->data, at, 0) != 0) return -1;
    return end > offset ? end - offset : 0;
}

int LoadGraphImageFromMemory(const void *data, size_t size, GraphImage *out) {
    if (out != nullptr) memset(out, 0, sizeof(*out));
    if (data == nullptr || out == nullptr) return WriteLog("画像データがありません in LoadGraphImageFromMemory\n");
    MemoryStream *ms = OpenMemoryStream(data, size);
    if (ms == nullptr) return -1;
    StreamRecord stream = {*GetMemoryStreamFunctions(), (intptr_t)ms};
    int result = LoadGraphImage(&stream, out);
    CloseMemoryStream(ms);
    return result;
}

int LoadGraphImageFromFile(const char *path, GraphImage *out) {
    if (out != nullptr) memset(out, 0, sizeof(*out));
    if (path == nullptr || out == nullptr) return WriteLog("ファイル名がありません in LoadGraphImageFromFile\n");
    intptr_t file = OpenDataFile(path, 0, 0, 0);
    if (file == 0) return WriteLogFormat("画像ファイル %s が開けません in LoadGraphImageFromFile", path);
    StreamRecord stream = {*GetFileStreamFunctions(), file};
    int result = LoadGraphImage(&stream, out);
    CloseDataFile(file);
    return result;
}
