// Kernel stand-in: files over POSIX descriptors, paths, the current and temporary directories.
#include "platform/kernel/kernel_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- paths ---------------------------------------------------------------------------------------

static int IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

static int HasHighBytes(const char *text)
{
    for (; *text; text++)
        if ((unsigned char)*text >= 0x80)
            return 1;
    return 0;
}

int KPathToDisk(const char *path, char *out, int outSize)
{
    if (!path || !out || outSize <= 0) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return -1;
    }
    size_t length = strlen(path);
    if (length >= K_MAX_PATH) {
        KSetLastError(K_ERROR_FILENAME_EXCED_RANGE);
        return -1;
    }
    // "\\" is a separator only outside two-byte characters: a trail byte may be 0x5C.
    char mapped[K_MAX_PATH];
    for (size_t i = 0; i <= length; i++) {
        unsigned char b = (unsigned char)path[i];
        mapped[i] = b == '\\' ? '/' : (char)b;
        if (IsLeadByte(b) && path[i + 1]) {
            mapped[i + 1] = path[i + 1];
            i++;
        }
    }
    if (HasHighBytes(mapped)) {
        int written = KMultiByteToUtf8(mapped, out, outSize);
        if (written > 0)
            return written - 1;
    }
    if ((int)length + 1 > outSize) {
        KSetLastError(K_ERROR_INSUFFICIENT_BUFFER);
        return -1;
    }
    memcpy(out, mapped, length + 1);
    return (int)length;
}

int KDiskToPath(const char *disk, char *out, int outSize)
{
    if (HasHighBytes(disk)) {
        int written = KUtf8ToMultiByte(disk, out, outSize);
        if (written > 0)
            return written - 1;
    }
    size_t length = strlen(disk);
    if ((int)length + 1 > outSize) {
        KSetLastError(K_ERROR_INSUFFICIENT_BUFFER);
        return -1;
    }
    memcpy(out, disk, length + 1);
    return (int)length;
}

// Room for a converted path: a one-byte Shift-JIS katakana takes 3 bytes in UTF-8.
#define DISK_PATH_SIZE (K_MAX_PATH * 3 + 1)

// ---- files ---------------------------------------------------------------------------------------

// open() flags of an access mask and creation mode, or -1 for a mode that does not exist.
static int OpenFlags(uint32_t access, uint32_t creation)
{
    int flags = O_CLOEXEC;
    int read = (access & K_GENERIC_READ) != 0, write = (access & K_GENERIC_WRITE) != 0;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (creation) {
    case K_CREATE_NEW: return flags | O_CREAT | O_EXCL;
    case K_CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
    case K_OPEN_EXISTING: return flags;
    case K_OPEN_ALWAYS: return flags | O_CREAT;
    case K_TRUNCATE_EXISTING: return write ? flags | O_TRUNC : -1;
    }
    return -1;
}

KHandle KCreateFile(const char *path, uint32_t access, uint32_t creation)
{
    char disk[DISK_PATH_SIZE];
    int flags = OpenFlags(access, creation);
    if (flags == -1) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return K_INVALID_HANDLE;
    }
    if (KPathToDisk(path, disk, sizeof disk) < 0)
        return K_INVALID_HANDLE;
    int fd = open(disk, flags, 0666);
    if (fd < 0) {
        KSetErrorFromErrno(errno);
        return K_INVALID_HANDLE;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        KSetLastError(K_ERROR_ACCESS_DENIED);
        return K_INVALID_HANDLE;
    }
    KObject *object = KNewObject(K_OBJECT_FILE);
    if (!object) {
        close(fd);
        return K_INVALID_HANDLE;
    }
    object->fd = fd;
    KHandle handle = KAddObject(object);
    if (handle != K_INVALID_HANDLE)
        KSetLastError(K_ERROR_SUCCESS);
    return handle;
}

// Moves size bytes with read or write, retrying short transfers; 1 / 0.
static int TransferFile(KHandle file, void *buffer, uint32_t size, uint32_t *done, int writing)
{
    if (done)
        *done = 0;
    KObject *object = KAcquireObject(file, K_OBJECT_FILE);
    if (!object)
        return 0;
    uint32_t moved = 0;
    int ok = 1;
    while (moved < size) {
        char *at = (char *)buffer + moved;
        ssize_t n = writing ? write(object->fd, at, size - moved) : read(object->fd, at, size - moved);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            KSetErrorFromErrno(errno);
            ok = 0;
            break;
        }
        if (n == 0)
            break;  // end of file (reading) or a device that takes nothing more
        moved += (uint32_t)n;
    }
    KReleaseObject(object);
    if (done)
        *done = moved;
    if (ok && writing && moved < size) {
        KSetLastError(K_ERROR_HANDLE_DISK_FULL);
        ok = 0;
    }
    return ok;
}

int KReadFile(KHandle file, void *buffer, uint32_t size, uint32_t *done)
{
    if (!buffer && size) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    return TransferFile(file, buffer, size, done, 0);
}

int KWriteFile(KHandle file, const void *buffer, uint32_t size, uint32_t *done)
{
    if (!buffer && size) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    return TransferFile(file, (void *)buffer, size, done, 1);
}

int64_t KSetFilePointer(KHandle file, int64_t offset, int origin)
{
    static const int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return -1;
    }
    KObject *object = KAcquireObject(file, K_OBJECT_FILE);
    if (!object)
        return -1;
    off_t position = lseek(object->fd, (off_t)offset, whence[origin]);
    if (position < 0)
        KSetLastError(errno == EINVAL ? K_ERROR_NEGATIVE_SEEK : K_ERROR_INVALID_PARAMETER);
    KReleaseObject(object);
    return position < 0 ? -1 : (int64_t)position;
}

int KDeleteFile(const char *path)
{
    char disk[DISK_PATH_SIZE];
    if (KPathToDisk(path, disk, sizeof disk) < 0)
        return 0;
    struct stat st;
    if (stat(disk, &st) == 0 && S_ISDIR(st.st_mode)) {
        KSetLastError(K_ERROR_ACCESS_DENIED);
        return 0;
    }
    if (unlink(disk) != 0) {
        KSetErrorFromErrno(errno);
        return 0;
    }
    return 1;
}

// ---- directories ---------------------------------------------------------------------------------

// Copies text (length bytes) into buffer of size; the length, or the size needed with the NUL when
// the buffer is too small (nothing copied), as the original calls do.
static uint32_t CopyOut(const char *text, uint32_t length, uint32_t size, char *buffer)
{
    if (!buffer || length + 1 > size) {
        KSetLastError(K_ERROR_INSUFFICIENT_BUFFER);
        return length + 1;
    }
    memcpy(buffer, text, length + 1);
    return length;
}

uint32_t KGetTempPath(uint32_t size, char *buffer)
{
    const char *dir = getenv("TMPDIR");
    if (!dir || !*dir)
        dir = "/tmp";
    struct stat st;
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode) || access(dir, W_OK | X_OK) != 0) {
        KSetLastError(K_ERROR_PATH_NOT_FOUND);
        return 0;
    }
    char path[K_MAX_PATH + 2];
    int length = KDiskToPath(dir, path, K_MAX_PATH);
    if (length < 0 || length + 1 >= K_MAX_PATH) {
        KSetLastError(K_ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (length == 0 || path[length - 1] != '/') {
        path[length++] = '/';
        path[length] = 0;
    }
    return CopyOut(path, (uint32_t)length, size, buffer);
}

uint32_t KGetTempFileName(const char *dir, const char *prefix, char *out)
{
    static std::atomic<uint32_t> s_counter{0};
    if (!dir || !out) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!prefix)
        prefix = "";
    size_t dirLength = strlen(dir);
    const char *separator = dirLength && dir[dirLength - 1] != '/' && dir[dirLength - 1] != '\\' ? "/" : "";
    // Start from a number that differs between processes, then step past names in use.
    uint32_t start = (uint32_t)getpid() * 7919u + s_counter.fetch_add(1) * 131u;
    for (uint32_t attempt = 0; attempt < 0xFFFF; attempt++) {
        uint32_t unique = (start + attempt) % 0xFFFF + 1;
        char path[K_MAX_PATH + 32];
        int length = snprintf(path, sizeof path, "%s%s%.3s%X.tmp", dir, separator, prefix, unique);
        if (length >= K_MAX_PATH) {
            KSetLastError(K_ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        KHandle file = KCreateFile(path, K_GENERIC_WRITE, K_CREATE_NEW);
        if (file != K_INVALID_HANDLE) {
            KCloseHandle(file);
            memcpy(out, path, (size_t)length + 1);
            return unique;
        }
        if (KGetLastError() != K_ERROR_FILE_EXISTS)
            return 0;
    }
    KSetLastError(K_ERROR_FILE_EXISTS);
    return 0;
}

uint32_t KGetCurrentDirectory(uint32_t size, char *buffer)
{
    char disk[4096];
    if (!getcwd(disk, sizeof disk)) {
        KSetErrorFromErrno(errno);
        return 0;
    }
    char path[DISK_PATH_SIZE];
    int length = KDiskToPath(disk, path, sizeof path);
    if (length < 0) {
        KSetLastError(K_ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return CopyOut(path, (uint32_t)length, size, buffer);
}

int KSetCurrentDirectory(const char *path)
{
    char disk[DISK_PATH_SIZE];
    if (KPathToDisk(path, disk, sizeof disk) < 0)
        return 0;
    if (chdir(disk) != 0) {
        KSetErrorFromErrno(errno);
        return 0;
    }
    return 1;
}
