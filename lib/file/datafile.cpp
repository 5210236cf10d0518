// The file-function table in use and the data-file calls that go through it.
#include "lib/file/datafile.h"

#include "lib/core/log.h"

static struct {
    FileFunctionTable replacement;   // the caller's table, holes filled with stubs
    int replaced;                    // 1 while replacement is in use, else the disk table is
} g_fileTable;

// ---- stubs for operations a replacement table leaves out ----------------------------------------

static int LogMissing(const char *op)
{
    return WriteLogFormat("ファイル操作関数 %s が設定されていません", op);
}

static intptr_t StubOpen(const char *, int, int, int) { LogMissing("open"); return 0; }
static int StubClose(intptr_t) { return LogMissing("close"); }
static int64_t StubTell(intptr_t) { return LogMissing("tell"); }
static int StubSeek(intptr_t, int64_t, int) { return LogMissing("seek"); }
static size_t StubRead(void *, size_t, size_t, intptr_t) { LogMissing("read"); return 0; }
static int StubEof(intptr_t) { return LogMissing("eof"); }
static int StubIdleCheck(intptr_t) { return LogMissing("idleCheck"); }
static int StubChangeDirectory(const char *) { return LogMissing("changeDirectory"); }
static int StubGetDirectory(char *, size_t) { return LogMissing("getDirectory"); }
static intptr_t StubFindFirst(const char *, FileFindRecord *) { return LogMissing("findFirst"); }
static int StubFindNext(intptr_t, FileFindRecord *) { return LogMissing("findNext"); }
static int StubFindClose(intptr_t) { return LogMissing("findClose"); }

// ---- table --------------------------------------------------------------------------------------

int SetFileFunctionTable(const FileFunctionTable *table)
{
    if (table == nullptr) {
        g_fileTable.replaced = 0;
        return 0;
    }
    FileFunctionTable t = *table;
    if (t.open == nullptr) t.open = StubOpen;
    if (t.close == nullptr) t.close = StubClose;
    if (t.tell == nullptr) t.tell = StubTell;
    if (t.seek == nullptr) t.seek = StubSeek;
    if (t.read == nullptr) t.read = StubRead;
    if (t.eof == nullptr) t.eof = StubEof;
    if (t.idleCheck == nullptr) t.idleCheck = StubIdleCheck;
    if (t.changeDirectory == nullptr) t.changeDirectory = StubChangeDirectory;
    if (t.getDirectory == nullptr) t.getDirectory = StubGetDirectory;
    if (t.findFirst == nullptr) t.findFirst = StubFindFirst;
    if (t.findNext == nullptr) t.findNext = StubFindNext;
    if (t.findClose == nullptr) t.findClose = StubFindClose;
    g_fileTable.replacement = t;
    g_fileTable.replaced = 1;
    return 0;
}

const FileFunctionTable *GetFileFunctionTable(void)
{
    return g_fileTable.replaced ? &g_fileTable.replacement : GetDiskFileFunctionTable();
}

// ---- data-file calls ----------------------------------------------------------------------------

intptr_t OpenDataFile(const char *name, int readAhead, int unused, int async)
{
    return GetFileFunctionTable()->open(name, readAhead, unused, async);
}

int CloseDataFile(intptr_t file)
{
    return GetFileFunctionTable()->close(file);
}

int64_t TellDataFile(intptr_t file)
{
    return GetFileFunctionTable()->tell(file);
}

int SeekDataFile(intptr_t file, int64_t offset, int origin)
{
    return GetFileFunctionTable()->seek(file, offset, origin);
}

size_t ReadDataFile(void *buffer, size_t size, size_t count, intptr_t file)
{
    return GetFileFunctionTable()->read(buffer, size, count, file);
}

int EofDataFile(intptr_t file)
{
    return GetFileFunctionTable()->eof(file);
}

int IdleCheckDataFile(intptr_t file)
{
    return GetFileFunctionTable()->idleCheck(file);
}
