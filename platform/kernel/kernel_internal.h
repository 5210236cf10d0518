// Shared by the kernel stand-in's files: the one object table behind every KHandle.
#pragma once
#include "platform/kernel/kernel.h"
#include <atomic>
#include <condition_variable>
#include <mutex>

enum KObjectKind { K_OBJECT_FILE = 1, K_OBJECT_THREAD, K_OBJECT_EVENT, K_OBJECT_MUTEX };

#define K_MAX_OBJECTS 16384   // room for the library lock's 4096 waiting events beside files and threads

// A kernel object. It lives while a handle or a user (a waiter, a running thread) holds a reference.
struct KObject {
    int kind;
    std::atomic<int> refs;
    int fd;                           // file: the descriptor
    std::mutex lock;                  // guards the fields below
    std::condition_variable changed;
    int signaled;                     // event state; thread: it has ended
    int manualReset;
    uint32_t owner;                   // mutex: owning thread id, 0 when free
    int recursion;
    KThreadProc proc;
    void *arg;
    KEventPollHook pollHook;          // event: run before each wait
    void *pollUser;
};

// A new object of kind with one reference (the caller's); null when out of memory (last error set).
KObject *KNewObject(int kind);
// Puts object into the table (the table takes over the caller's reference); its handle, or
// K_INVALID_HANDLE when the table is full (the reference is dropped, last error set).
KHandle KAddObject(KObject *object);
// The object behind handle with one more reference, or null (last error K_ERROR_INVALID_HANDLE).
// kind 0 accepts any kind.
KObject *KAcquireObject(KHandle handle, int kind);
// Drops one reference; the last one closes a file's descriptor and frees the object.
void KReleaseObject(KObject *object);

// Last error from errno.
void KSetErrorFromErrno(int error);
// Disk form (UTF-8) of an on-disk name back to Shift-JIS, raw bytes when it does not convert;
// its length or -1 when it does not fit.
int KDiskToPath(const char *disk, char *out, int outSize);
