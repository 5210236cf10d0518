// Kernel stand-in: the object table, threads, events, mutexes, critical sections and last error.
#include "platform/kernel/kernel_internal.h"

#include <cerrno>
#include <new>
#include <pthread.h>
#include <unistd.h>

// ---- object table --------------------------------------------------------------------------------

// Slot 0 is never used so that no handle is 0; the generation makes a closed handle stale.
static std::mutex g_tableLock;
static KObject *g_objects[K_MAX_OBJECTS];
static uint16_t g_generation[K_MAX_OBJECTS];

static thread_local uint32_t t_lastError;
static thread_local uint32_t t_threadId;
static std::atomic<uint32_t> g_nextThreadId{1};

uint32_t KGetLastError(void) { return t_lastError; }
void KSetLastError(uint32_t error) { t_lastError = error; }

// Win32-like error for an errno value.
void KSetErrorFromErrno(int error)
{
    uint32_t code;
    switch (error) {
    case 0: code = K_ERROR_SUCCESS; break;
    case ENOENT: code = K_ERROR_FILE_NOT_FOUND; break;
    case ENOTDIR: code = K_ERROR_PATH_NOT_FOUND; break;
    case EACCES: case EPERM: case EISDIR: case EROFS: code = K_ERROR_ACCESS_DENIED; break;
    case EEXIST: code = K_ERROR_FILE_EXISTS; break;
    case EMFILE: case ENFILE: code = K_ERROR_TOO_MANY_OPEN_FILES; break;
    case ENOMEM: code = K_ERROR_NOT_ENOUGH_MEMORY; break;
    case ENAMETOOLONG: code = K_ERROR_FILENAME_EXCED_RANGE; break;
    case ENOSPC: case EDQUOT: code = K_ERROR_HANDLE_DISK_FULL; break;
    case EBADF: code = K_ERROR_INVALID_HANDLE; break;
    case EINVAL: code = K_ERROR_INVALID_PARAMETER; break;
    default: code = K_ERROR_GEN_FAILURE; break;
    }
    t_lastError = code;
}

KObject *KNewObject(int kind)
{
    KObject *object = new (std::nothrow) KObject();
    if (!object) {
        t_lastError = K_ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    object->kind = kind;
    object->refs = 1;
    object->fd = -1;
    return object;
}

KHandle KAddObject(KObject *object)
{
    std::lock_guard<std::mutex> guard(g_tableLock);
    for (int slot = 1; slot < K_MAX_OBJECTS; slot++) {
        if (g_objects[slot])
            continue;
        g_objects[slot] = object;
        g_generation[slot] = (uint16_t)((g_generation[slot] + 1) & 0x7FFF);
        if (g_generation[slot] == 0)
            g_generation[slot] = 1;
        return ((KHandle)g_generation[slot] << 16) | slot;
    }
    t_lastError = K_ERROR_TOO_MANY_OPEN_FILES;
    KReleaseObject(object);
    return K_INVALID_HANDLE;
}

// Slot of a live handle, or 0. The table lock must be held.
static int FindSlot(KHandle handle)
{
    if (handle <= 0 || handle > 0x7FFFFFFF)
        return 0;
    int slot = (int)(handle & 0xFFFF);
    int generation = (int)(handle >> 16);
    if (slot <= 0 || slot >= K_MAX_OBJECTS || !g_objects[slot] || g_generation[slot] != generation)
        return 0;
    return slot;
}

KObject *KAcquireObject(KHandle handle, int kind)
{
    std::lock_guard<std::mutex> guard(g_tableLock);
    int slot = FindSlot(handle);
    if (!slot || (kind && g_objects[slot]->kind != kind)) {
        t_lastError = K_ERROR_INVALID_HANDLE;
        return nullptr;
    }
    g_objects[slot]->refs++;
    return g_objects[slot];
}

void KReleaseObject(KObject *object)
{
    if (!object || --object->refs > 0)
        return;
    if (object->fd >= 0)
        close(object->fd);
    delete object;
}

// Takes the handle out of the table and drops the table's reference.
int KCloseHandle(KHandle handle)
{
    KObject *object;
    {
        std::lock_guard<std::mutex> guard(g_tableLock);
        int slot = FindSlot(handle);
        if (!slot) {
            t_lastError = K_ERROR_INVALID_HANDLE;
            return 0;
        }
        object = g_objects[slot];
        g_objects[slot] = nullptr;
    }
    KReleaseObject(object);
    return 1;
}

uint32_t KGetCurrentThreadId(void)
{
    if (t_threadId == 0)
        t_threadId = g_nextThreadId++;
    return t_threadId;
}

// ---- threads -------------------------------------------------------------------------------------

// Runs the thread's procedure, then marks the object ended and drops the thread's reference.
static void *RunThread(void *arg)
{
    KObject *object = (KObject *)arg;
    object->proc(object->arg);
    {
        std::lock_guard<std::mutex> guard(object->lock);
        object->signaled = 1;
    }
    object->changed.notify_all();
    KReleaseObject(object);
    return nullptr;
}

KHandle KCreateThread(KThreadProc proc, void *arg)
{
    if (!proc) {
        t_lastError = K_ERROR_INVALID_PARAMETER;
        return 0;
    }
    KObject *object = KNewObject(K_OBJECT_THREAD);
    if (!object)
        return 0;
    object->proc = proc;
    object->arg = arg;
    object->refs = 2;  // the handle's and the running thread's
    KHandle handle = KAddObject(object);
    if (handle == K_INVALID_HANDLE) {
        KReleaseObject(object);
        return 0;
    }
    pthread_t thread;
    int error = pthread_create(&thread, nullptr, RunThread, object);
    if (error != 0) {
        KReleaseObject(object);
        KCloseHandle(handle);
        KSetErrorFromErrno(error);
        return 0;
    }
    pthread_detach(thread);
    return handle;
}

// ---- events and mutexes --------------------------------------------------------------------------

KHandle KCreateEvent(int manualReset, int initialState)
{
    KObject *object = KNewObject(K_OBJECT_EVENT);
    if (!object)
        return 0;
    object->manualReset = manualReset ? 1 : 0;
    object->signaled = initialState ? 1 : 0;
    KHandle handle = KAddObject(object);
    return handle == K_INVALID_HANDLE ? 0 : handle;
}

// Sets or clears an event's state. 1 / 0.
static int SetEventState(KHandle event, int state)
{
    KObject *object = KAcquireObject(event, K_OBJECT_EVENT);
    if (!object)
        return 0;
    {
        std::lock_guard<std::mutex> guard(object->lock);
        object->signaled = state;
    }
    if (state)
        object->changed.notify_all();
    KReleaseObject(object);
    return 1;
}

int KSetEvent(KHandle event) { return SetEventState(event, 1); }
int KResetEvent(KHandle event) { return SetEventState(event, 0); }

int KSetEventPollHook(KHandle event, KEventPollHook hook, void *user)
{
    KObject *object = KAcquireObject(event, K_OBJECT_EVENT);
    if (!object)
        return 0;
    {
        std::lock_guard<std::mutex> guard(object->lock);
        object->pollHook = hook;
        object->pollUser = user;
    }
    KReleaseObject(object);
    return 1;
}

// Runs an event's poll hook, if it has one, before a wait.
static void RunEventPollHook(KObject *object)
{
    KEventPollHook hook;
    void *user;
    {
        std::lock_guard<std::mutex> guard(object->lock);
        hook = object->pollHook;
        user = object->pollUser;
    }
    if (hook)
        hook(user);
}

KHandle KCreateMutex(int initialOwner)
{
    KObject *object = KNewObject(K_OBJECT_MUTEX);
    if (!object)
        return 0;
    if (initialOwner) {
        object->owner = KGetCurrentThreadId();
        object->recursion = 1;
    }
    KHandle handle = KAddObject(object);
    return handle == K_INVALID_HANDLE ? 0 : handle;
}

int KReleaseMutex(KHandle mutex)
{
    KObject *object = KAcquireObject(mutex, K_OBJECT_MUTEX);
    if (!object)
        return 0;
    int result = 1;
    int freed = 0;
    {
        std::lock_guard<std::mutex> guard(object->lock);
        if (object->owner != KGetCurrentThreadId()) {
            t_lastError = K_ERROR_NOT_OWNER;
            result = 0;
        } else if (--object->recursion == 0) {
            object->owner = 0;
            freed = 1;
        }
    }
    if (freed)
        object->changed.notify_all();
    KReleaseObject(object);
    return result;
}

// 1 when the wait of the caller on object is satisfied now (and takes what it consumes).
static int TakeIfReady(KObject *object, uint32_t self)
{
    switch (object->kind) {
    case K_OBJECT_EVENT:
        if (!object->signaled)
            return 0;
        if (!object->manualReset)
            object->signaled = 0;
        return 1;
    case K_OBJECT_THREAD:
        return object->signaled;
    case K_OBJECT_MUTEX:
        if (object->owner != 0 && object->owner != self)
            return 0;
        object->owner = self;
        object->recursion++;
        return 1;
    }
    return 0;
}

uint32_t KWaitForSingleObject(KHandle handle, uint32_t milliseconds)
{
    KObject *object = KAcquireObject(handle, 0);
    if (!object)
        return K_WAIT_FAILED;
    if (object->kind == K_OBJECT_FILE) {
        KReleaseObject(object);
        t_lastError = K_ERROR_INVALID_HANDLE;
        return K_WAIT_FAILED;
    }
    if (object->kind == K_OBJECT_EVENT)
        RunEventPollHook(object);
    uint32_t self = KGetCurrentThreadId();
    uint32_t result = K_WAIT_OBJECT_0;
    {
        std::unique_lock<std::mutex> guard(object->lock);
        auto ready = [&] { return TakeIfReady(object, self) != 0; };
        // Waits are on real time: a stepped clock must not stall a thread that waits for another.
        if (milliseconds == K_INFINITE)
            object->changed.wait(guard, ready);
        else if (!object->changed.wait_for(guard, std::chrono::milliseconds(milliseconds), ready))
            result = K_WAIT_TIMEOUT;
    }
    KReleaseObject(object);
    return result;
}

// ---- critical sections ---------------------------------------------------------------------------

void KInitializeCriticalSection(KCriticalSection *cs)
{
    cs->impl = new std::recursive_mutex();
}

void KEnterCriticalSection(KCriticalSection *cs)
{
    ((std::recursive_mutex *)cs->impl)->lock();
}

void KLeaveCriticalSection(KCriticalSection *cs)
{
    ((std::recursive_mutex *)cs->impl)->unlock();
}

void KDeleteCriticalSection(KCriticalSection *cs)
{
    delete (std::recursive_mutex *)cs->impl;
    cs->impl = nullptr;
}
