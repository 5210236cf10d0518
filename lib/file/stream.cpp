// The two stream tables: over data files and over memory blocks.
#include "lib/file/stream.h"

#include <cstring>

#include "lib/core/log.h"
#include "lib/core/memory.h"
#include "lib/file/datafile.h"
#include "lib/file/file_internal.h"

// ---- memory streams -----------------------------------------------------------------------------

static MemoryStream *AsMemoryStream(intptr_t data, const char *caller)
{
    if (data == 0)
        WriteLogFormat("メモリストリームがありません in %s", caller);
    return (MemoryStream *)data;
}

static int64_t MemoryTell(intptr_t data)
{
    MemoryStream *s = AsMemoryStream(data, "MemoryTell");
    return s != nullptr ? s->position : -1;
}

// Same rules as a data file: any position from 0 on, also past the end.
static int MemorySeek(intptr_t data, int64_t offset, int origin)
{
    MemoryStream *s = AsMemoryStream(data, "MemorySeek");
    if (s == nullptr)
        return -1;
    int64_t target = 0;
    if (ResolveSeekTarget(s->position, (int64_t)s->size, offset, origin, &target, "MemorySeek") < 0)
        return -1;
    s->position = target;
    s->endFlag = target >= (int64_t)s->size;
    return 0;
}

static size_t MemoryRead(void *buffer, size_t size, size_t count, intptr_t data)
{
    MemoryStream *s = AsMemoryStream(data, "MemoryRead");
    if (s == nullptr || size == 0 || count == 0)
        return 0;
    if (buffer == nullptr || count > SIZE_MAX / size) {
        WriteLog("読み込みバッファかサイズが異常です in MemoryRead\n");
        return 0;
    }
    size_t left = s->position < (int64_t)s->size ? s->size - (size_t)s->position : 0;
    size_t n = size * count < left ? size * count : left;
    if (n > 0)
        memcpy(buffer, s->data + s->position, n);
    s->position += (int64_t)n;
    s->endFlag = s->position >= (int64_t)s->size;
    return n / size;
}

static int MemoryEof(intptr_t data)
{
    MemoryStream *s = AsMemoryStream(data, "MemoryEof");
    return s != nullptr ? s->endFlag : -1;
}

static int MemoryIdleCheck(intptr_t data)
{
    return AsMemoryStream(data, "MemoryIdleCheck") != nullptr ? 1 : -1;
}

static int MemoryClose(intptr_t data)
{
    return CloseMemoryStream((MemoryStream *)data);
}

MemoryStream *OpenMemoryStream(const void *data, size_t size)
{
    MemoryStream *s = (MemoryStream *)AllocMemoryTracked(sizeof(MemoryStream), __FILE__, __LINE__);
    if (s == nullptr) {
        WriteLog("メモリストリームの作成に失敗しました in OpenMemoryStream\n");
        return nullptr;
    }
    s->data = (const uint8_t *)data;
    s->size = data != nullptr ? size : 0;   // no block, nothing to read
    s->position = 0;
    s->endFlag = s->size == 0;
    return s;
}

int CloseMemoryStream(MemoryStream *stream)
{
    if (stream == nullptr)
        return WriteLog("メモリストリームがありません in CloseMemoryStream\n");
    FreeMemoryTracked(stream);
    return 0;
}

// ---- tables -------------------------------------------------------------------------------------

static const StreamFunctionTable kFileStreamFunctions = {
    TellDataFile, SeekDataFile, ReadDataFile, EofDataFile, IdleCheckDataFile, CloseDataFile,
};

static const StreamFunctionTable kMemoryStreamFunctions = {
    MemoryTell, MemorySeek, MemoryRead, MemoryEof, MemoryIdleCheck, MemoryClose,
};

const StreamFunctionTable *GetFileStreamFunctions(void)
{
    return &kFileStreamFunctions;
}

const StreamFunctionTable *GetMemoryStreamFunctions(void)
{
    return &kMemoryStreamFunctions;
}
