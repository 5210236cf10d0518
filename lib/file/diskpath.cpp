// Library names to disk paths, the current directory and directory listings.
// Names in the library are Shift-JIS with "\\" separators; the disk speaks UTF-8 with "/".
#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <mutex>

#include "lib/core/helpers.h"
#include "lib/core/log.h"
#include "lib/file/file_internal.h"

#ifndef DISK_FIND_MAX
#define DISK_FIND_MAX 16
#endif

// One open listing.
struct DiskFindRecord {
    int check;                        // 0 while the slot is free
    DIR *dir;                         // the open directory
    char dirPath[DISK_PATH_BYTES];    // its disk path, for the entries' sizes
    char pattern[DISK_PATH_BYTES];    // wildcard of the last component ('*', '?'), UTF-8
};

static struct {
    DiskFindRecord finds[DISK_FIND_MAX];   // listings by slot
    int nextCheck;                         // check of the next listing, 1..0x7FFF
    std::mutex lock;                       // guards slot allocation
} g_diskPath;

// ---- names --------------------------------------------------------------------------------------

int DiskMapSeparators(const char *name, char *out, size_t outSize)
{
    size_t i = 0;
    while (name[i] != 0) {
        // A trail byte may be 0x5C: a two-byte character is copied whole, never split.
        size_t width = (IsShiftJisLeadByte((unsigned char)name[i]) && name[i + 1] != 0) ? 2 : 1;
        if (i + width >= outSize)
            return -1;
        out[i] = (width == 1 && name[i] == '\\') ? '/' : name[i];
        if (width == 2)
            out[i + 1] = name[i + 1];
        i += width;
    }
    if (i >= outSize)
        return -1;
    out[i] = 0;
    return 0;
}

// 'A'..'Z' to lower case; UTF-8 bytes of other characters are all >= 0x80 and stay.
static unsigned char FoldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + 32) : c;
}

// 1 when a and b differ at most in ASCII case.
static int EqualNoCase(const char *a, const char *b)
{
    for (; *a != 0 && *b != 0; a++, b++)
        if (FoldAscii((unsigned char)*a) != FoldAscii((unsigned char)*b))
            return 0;
    return *a == *b;
}

// 1 when name matches the wildcard pattern ('*' any run, '?' one character), ignoring ASCII case.
static int MatchWildcard(const char *pattern, const char *name)
{
    if (strcmp(pattern, "*.*") == 0)
        return 1;   // every name, with or without a dot, as the listings it stands for
    const char *starPattern = nullptr, *starName = nullptr;
    while (*name != 0) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || (*pattern != 0 && FoldAscii(*pattern) == FoldAscii(*name))) {
            // '?' takes one whole UTF-8 character.
            int wild = *pattern == '?';
            pattern++;
            name++;
            while (wild && ((unsigned char)*name & 0xC0) == 0x80)
                name++;
        } else if (starPattern != nullptr) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return 0;
        }
    }
    while (*pattern == '*')
        pattern++;
    return *pattern == 0;
}

// Appends "/" (unless at the start or after one) and part to path; -1 when it does not fit.
static int AppendComponent(char *path, size_t size, const char *part)
{
    size_t used = strlen(path);
    size_t need = strlen(part) + (used > 0 && path[used - 1] != '/' ? 1 : 0);
    if (used + need + 1 > size)
        return -1;
    if (used > 0 && path[used - 1] != '/')
        path[used++] = '/';
    strcpy(path + used, part);
    return 0;
}

// The entry of dir whose name equals name ignoring ASCII case; of several the smallest in byte
// order, so the choice does not depend on the order of the directory. 0 / -1.
static int FindEntryNoCase(const char *dir, const char *name, char *out, size_t outSize)
{
    DIR *d = opendir(dir[0] != 0 ? dir : ".");
    if (d == nullptr)
        return -1;
    int found = -1;
    for (struct dirent *e = readdir(d); e != nullptr; e = readdir(d)) {
        if (!EqualNoCase(e->d_name, name) || strlen(e->d_name) >= outSize)
            continue;
        if (found < 0 || strcmp(e->d_name, out) < 0) {
            strcpy(out, e->d_name);
            found = 0;
        }
    }
    closedir(d);
    return found;
}

// Walks path one component at a time, keeping a component that exists as written and else
// taking the directory entry that matches it ignoring case. 0 / -1.
static int ResolveNoCase(const char *path, char *out, size_t outSize)
{
    out[0] = 0;
    if (path[0] == '/')
        strcpy(out, "/");
    const char *p = path;
    while (*p != 0) {
        while (*p == '/')
            p++;
        size_t len = strcspn(p, "/");
        if (len == 0)
            break;
        char part[NAME_MAX + 1];
        if (len > NAME_MAX)
            return -1;
        memcpy(part, p, len);
        part[len] = 0;
        p += len;
        size_t base = strlen(out);
        if (AppendComponent(out, outSize, part) < 0)
            return -1;
        struct stat st;
        if (stat(out, &st) == 0)
            continue;
        out[base] = 0;
        char entry[NAME_MAX + 1];
        if (FindEntryNoCase(out, part, entry, sizeof entry) < 0 || AppendComponent(out, outSize, entry) < 0)
            return -1;
    }
    return out[0] != 0 ? 0 : -1;
}

int DiskResolvePath(const char *name, char *out, size_t outSize, const char *caller)
{
    if (name == nullptr)
        return WriteLogFormat("ファイル名がありません in %s", caller);
    char mapped[K_MAX_PATH];
    if (DiskMapSeparators(name, mapped, sizeof mapped) < 0)
        return WriteLogFormat("ファイル名が長すぎます %.64s... in %s", name, caller);
    char utf8[DISK_PATH_BYTES];
    if (KMultiByteToUtf8(mapped, utf8, sizeof utf8) == 0)
        return WriteLogFormat("ファイル名 %s を変換できませんでした in %s", name, caller);
    struct stat st;
    if (stat(utf8, &st) == 0 && strlen(utf8) < outSize) {
        strcpy(out, utf8);
        return 0;
    }
    if (ResolveNoCase(utf8, out, outSize) < 0)
        return WriteLogFormat("ファイル %s が見つかりません in %s", name, caller);
    return 0;
}

// ---- current directory --------------------------------------------------------------------------

int DiskChangeDirectory(const char *path)
{
    char disk[DISK_PATH_BYTES], kernelPath[K_MAX_PATH];
    if (DiskResolvePath(path, disk, sizeof disk, "DiskChangeDirectory") < 0)
        return -1;
    if (KUtf8ToMultiByte(disk, kernelPath, sizeof kernelPath) == 0 || !KSetCurrentDirectory(kernelPath))
        return WriteLogFormat("ディレクトリ %s に移動できませんでした in DiskChangeDirectory", path);
    return 0;
}

int DiskGetDirectory(char *buffer, size_t size)
{
    if (buffer == nullptr || size == 0)
        return WriteLog("バッファがありません in DiskGetDirectory\n");
    uint32_t room = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)size;
    uint32_t length = KGetCurrentDirectory(room, buffer);
    if (length == 0 || length >= room)
        return WriteLog("カレントディレクトリを取得できませんでした in DiskGetDirectory\n");
    return 0;
}

// ---- listings -----------------------------------------------------------------------------------

// Takes a free listing slot; its handle, or -1 when all are in use.
static intptr_t AllocFind(DIR *dir, const char *dirPath, const char *pattern)
{
    std::lock_guard<std::mutex> hold(g_diskPath.lock);
    for (int slot = 0; slot < DISK_FIND_MAX; slot++) {
        DiskFindRecord *f = &g_diskPath.finds[slot];
        if (f->check != 0)
            continue;
        f->dir = dir;
        strcpy(f->dirPath, dirPath);
        strcpy(f->pattern, pattern);
        return StampSlotHandle(&f->check, &g_diskPath.nextCheck, slot);
    }
    return -1;
}

// Fills out from the next entry that matches; 0, -1 when there is none.
static int NextMatch(DiskFindRecord *f, FileFindRecord *out)
{
    for (struct dirent *e = readdir(f->dir); e != nullptr; e = readdir(f->dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0 || !MatchWildcard(f->pattern, e->d_name))
            continue;
        FileFindRecord found = {};
        if (KUtf8ToMultiByte(e->d_name, found.name, sizeof found.name) == 0)
            continue;  // a name the library cannot spell
        char full[DISK_PATH_BYTES];
        strcpy(full, f->dirPath);
        struct stat st;
        if (AppendComponent(full, sizeof full, e->d_name) == 0 && stat(full, &st) == 0) {
            found.directory = S_ISDIR(st.st_mode) ? 1 : 0;
            found.size = found.directory ? 0 : (int64_t)st.st_size;
        }
        if (out != nullptr)
            *out = found;
        return 0;
    }
    return -1;
}

intptr_t DiskFindFirst(const char *pattern, FileFindRecord *out)
{
    if (pattern == nullptr)
        return WriteLog("検索パターンがありません in DiskFindFirst\n");
    char mapped[K_MAX_PATH], utf8[DISK_PATH_BYTES], dirPath[DISK_PATH_BYTES];
    if (DiskMapSeparators(pattern, mapped, sizeof mapped) < 0 || KMultiByteToUtf8(mapped, utf8, sizeof utf8) == 0)
        return WriteLogFormat("検索パターンが異常です %.64s in DiskFindFirst", pattern);
    char *slash = strrchr(utf8, '/');
    const char *wildcard = slash != nullptr ? slash + 1 : utf8;
    if (slash == nullptr) {
        strcpy(dirPath, ".");
    } else if (slash == utf8) {
        strcpy(dirPath, "/");
    } else {
        *slash = 0;
        if (ResolveNoCase(utf8, dirPath, sizeof dirPath) < 0)
            return -1;
    }
    DIR *dir = opendir(dirPath);
    if (dir == nullptr)
        return -1;
    intptr_t find = AllocFind(dir, dirPath, wildcard);
    if (find < 0) {
        closedir(dir);
        return WriteLog("検索ハンドルが足りません in DiskFindFirst\n");
    }
    if (NextMatch(LookupSlotHandle(g_diskPath.finds, find), out) < 0) {
        DiskFindClose(find);
        return -1;
    }
    return find;
}

int DiskFindNext(intptr_t find, FileFindRecord *out)
{
    DiskFindRecord *f = LookupSlotHandle(g_diskPath.finds, find);
    if (f == nullptr)
        return WriteLog("検索ハンドル値が異常です in DiskFindNext\n");
    return NextMatch(f, out);
}

int DiskFindClose(intptr_t find)
{
    DiskFindRecord *f = LookupSlotHandle(g_diskPath.finds, find);
    if (f == nullptr)
        return WriteLog("検索ハンドル値が異常です in DiskFindClose\n");
    closedir(f->dir);
    std::lock_guard<std::mutex> hold(g_diskPath.lock);
    f->dir = nullptr;
    f->check = 0;
    return 0;
}
