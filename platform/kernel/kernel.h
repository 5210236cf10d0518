// Stand-in for the operating-system kernel calls the library makes: files, temporary names,
// threads and synchronisation objects, time, errors, code-page conversion and modules by name.
// Calls keep the shape of the calls they stand for; names carry the K prefix.
#pragma once
#include <cstddef>
#include <cstdint>

typedef intptr_t KHandle;                 // 0 = none
#define K_INVALID_HANDLE ((KHandle)-1)    // what a failing KCreateFile returns
#define K_MAX_PATH 260

// ---- files --------------------------------------------------------------------------------------
enum { K_GENERIC_READ = 0x80000000u, K_GENERIC_WRITE = 0x40000000u };
enum { K_CREATE_NEW = 1, K_CREATE_ALWAYS = 2, K_OPEN_EXISTING = 3, K_OPEN_ALWAYS = 4, K_TRUNCATE_EXISTING = 5 };
enum { K_FILE_BEGIN = 0, K_FILE_CURRENT = 1, K_FILE_END = 2 };

// Paths given to and returned by these calls are Shift-JIS like every text of the library; the kernel
// converts them to the disk's UTF-8 (and back), and takes "\\" outside two-byte characters as "/".
// Paths of K_MAX_PATH bytes or more fail with K_ERROR_FILENAME_EXCED_RANGE.

// Opens or creates a file ("/" or "\\" separators); K_INVALID_HANDLE on failure (last error set).
// A directory is not a file: K_ERROR_ACCESS_DENIED.
KHandle KCreateFile(const char *path, uint32_t access, uint32_t creation);
// 1 on success with *done bytes moved (0 at end of file), 0 on failure.
int KReadFile(KHandle file, void *buffer, uint32_t size, uint32_t *done);
int KWriteFile(KHandle file, const void *buffer, uint32_t size, uint32_t *done);
// New position, or -1 on failure.
int64_t KSetFilePointer(KHandle file, int64_t offset, int origin);
// Closes any kernel object (file, thread, event, mutex). 1 / 0.
int KCloseHandle(KHandle object);
int KDeleteFile(const char *path);       // 1 / 0
// The temporary directory with a trailing "/", its length; 0 when there is none that can be written.
uint32_t KGetTempPath(uint32_t size, char *buffer);
// Creates a new empty file "<dir><prefix><hex>.tmp" and copies its path (K_MAX_PATH bytes); the unique
// number, or 0 on failure.
uint32_t KGetTempFileName(const char *dir, const char *prefix, char *out);
// The current directory (with no trailing "/"), its length, 0 on failure / sets it, 1 / 0.
uint32_t KGetCurrentDirectory(uint32_t size, char *buffer);
int KSetCurrentDirectory(const char *path);
// The disk form of a library path (separators mapped, UTF-8) for callers that list directories
// themselves; its length, or -1 (last error set) when it does not fit or is K_MAX_PATH bytes or more.
int KPathToDisk(const char *path, char *out, int outSize);

// ---- threads and synchronisation -----------------------------------------------------------------
typedef uint32_t (*KThreadProc)(void *arg);
KHandle KCreateThread(KThreadProc proc, void *arg);      // 0 on failure; KCloseHandle joins nothing
enum : uint32_t { K_WAIT_OBJECT_0 = 0, K_WAIT_TIMEOUT = 258, K_WAIT_FAILED = 0xFFFFFFFFu, K_INFINITE = 0xFFFFFFFFu };
KHandle KCreateEvent(int manualReset, int initialState);
int KSetEvent(KHandle event);
int KResetEvent(KHandle event);
// A stand-in that completes work on an event without a thread of its own: a wait on the event runs
// hook(user) first (outside the event's lock; it may set the event or clear the hook). Null clears
// it. 1 / 0 (not an event).
typedef void (*KEventPollHook)(void *user);
int KSetEventPollHook(KHandle event, KEventPollHook hook, void *user);
KHandle KCreateMutex(int initialOwner);                  // recursive, owned by a thread
int KReleaseMutex(KHandle mutex);                        // 0 when the caller does not own it
// Waits for a thread's end, an event's signal or a mutex's ownership. Timeouts run on real time, not
// on the clock source: a stepped clock must not stall one thread that waits for another.
uint32_t KWaitForSingleObject(KHandle object, uint32_t milliseconds);

struct KCriticalSection { void *impl; };
void KInitializeCriticalSection(KCriticalSection *cs);
void KEnterCriticalSection(KCriticalSection *cs);        // recursive
void KLeaveCriticalSection(KCriticalSection *cs);
void KDeleteCriticalSection(KCriticalSection *cs);
uint32_t KGetCurrentThreadId(void);

// ---- virtual memory ------------------------------------------------------------------------------
// Pages straight from the system, for large blocks: zero, costing nothing until written, and given back
// whole at the release, never kept in the C heap to be handed out (and cleared) again.
enum : uint32_t { K_MEM_COMMIT = 0x1000, K_MEM_RESERVE = 0x2000, K_MEM_RELEASE = 0x8000, K_PAGE_READWRITE = 0x04 };
// Reserves and commits size bytes of read-write pages where the system chooses (address null, type
// K_MEM_COMMIT | K_MEM_RESERVE, protection K_PAGE_READWRITE: the only form offered); null on failure
// (last error set).
void *KVirtualAlloc(void *address, size_t size, uint32_t type, uint32_t protection);
// Releases a whole region KVirtualAlloc gave (size 0, type K_MEM_RELEASE). 1 / 0 (last error set).
int KVirtualFree(void *address, size_t size, uint32_t type);

// ---- time ----------------------------------------------------------------------------------------
// One clock source serves every time call; tests replace it with a stepped clock.
struct KClockSource {
    uint64_t (*nowMicroseconds)(void *user);   // monotonic
    void (*sleep)(void *user, uint32_t milliseconds);
    void *user;
};
// Replaces the clock (null restores the real one).
void KSetClockSource(const KClockSource *source);
void KSleep(uint32_t milliseconds);
uint32_t KGetTime(void);                                  // milliseconds, wraps at 32 bits
int KQueryPerformanceCounter(int64_t *count);             // microsecond ticks; 1
int KQueryPerformanceFrequency(int64_t *frequency);       // 1000000; 1

// ---- errors, debugger output, process ------------------------------------------------------------
// Error values as the calls they stand for report them.
enum : uint32_t {
    K_ERROR_SUCCESS = 0,
    K_ERROR_FILE_NOT_FOUND = 2,
    K_ERROR_PATH_NOT_FOUND = 3,
    K_ERROR_TOO_MANY_OPEN_FILES = 4,
    K_ERROR_ACCESS_DENIED = 5,
    K_ERROR_INVALID_HANDLE = 6,
    K_ERROR_NOT_ENOUGH_MEMORY = 8,
    K_ERROR_WRITE_FAULT = 29,
    K_ERROR_READ_FAULT = 30,
    K_ERROR_GEN_FAILURE = 31,
    K_ERROR_HANDLE_DISK_FULL = 39,
    K_ERROR_FILE_EXISTS = 80,
    K_ERROR_INVALID_PARAMETER = 87,
    K_ERROR_INSUFFICIENT_BUFFER = 122,
    K_ERROR_MOD_NOT_FOUND = 126,
    K_ERROR_PROC_NOT_FOUND = 127,
    K_ERROR_NEGATIVE_SEEK = 131,
    K_ERROR_ALREADY_EXISTS = 183,
    K_ERROR_FILENAME_EXCED_RANGE = 206,
    K_ERROR_NOT_OWNER = 288,
    K_ERROR_NO_UNICODE_TRANSLATION = 1113,
};
uint32_t KGetLastError(void);             // per thread
void KSetLastError(uint32_t error);
// To stderr when DAZAR_DEBUG_OUTPUT is set, else nowhere.
void KOutputDebugString(const char *text);
// Library text (Shift-JIS) to stderr, as UTF-8 for the terminal; null writes nothing.
void KWriteErrorText(const char *text);
[[noreturn]] void KExitProcess(int code);

// ---- code page 932 -------------------------------------------------------------------------------
// Shift-JIS to UTF-16 / back; characters written (with the NUL when it was in the input), 0 on failure.
// size 0 asks only for the length.
int KMultiByteToWide(const char *src, int srcLength, uint16_t *dst, int dstSize);
int KWideToMultiByte(const uint16_t *src, int srcLength, char *dst, int dstSize);
// UTF-8 conversions for the platform back ends (paths and window titles stay Shift-JIS in the library).
// NUL-ended src; bytes written with the NUL, 0 on failure; dstSize 0 asks only for the length.
int KMultiByteToUtf8(const char *src, char *dst, int dstSize);
// Back from UTF-8 (file names read from the disk), same rules.
int KUtf8ToMultiByte(const char *src, char *dst, int dstSize);

// ---- modules by name -----------------------------------------------------------------------------
typedef intptr_t KModule;
struct KModuleExport { const char *name; void *function; };
// Registers a stand-in module (exports end with a null name); the name compares case-insensitively.
int KRegisterModule(const char *name, const KModuleExport *exports);
KModule KLoadLibrary(const char *name);                   // 0 when no such module is registered
void *KGetProcAddress(KModule module, const char *name);  // null when not exported
int KFreeLibrary(KModule module);
