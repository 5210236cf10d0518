// Kernel stand-in: modules by name. Stand-ins register their exports; loading looks them up.
#include "platform/kernel/kernel.h"

#include <mutex>
#include <strings.h>
#include <cstring>

#define K_MAX_MODULES 32

struct KModuleEntry {
    const char *name;               // as registered (the caller's storage)
    const KModuleExport *exports;
    int loadCount;
};

static std::mutex g_moduleLock;
static KModuleEntry g_modules[K_MAX_MODULES];

// Slot of a registered module by name (case-insensitive), or -1. The lock must be held.
static int FindModule(const char *name)
{
    for (int i = 0; i < K_MAX_MODULES; i++)
        if (g_modules[i].name && strcasecmp(g_modules[i].name, name) == 0)
            return i;
    return -1;
}

int KRegisterModule(const char *name, const KModuleExport *exports)
{
    if (!name || !*name || !exports) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return -1;
    }
    std::lock_guard<std::mutex> guard(g_moduleLock);
    int slot = FindModule(name);
    for (int i = 0; slot < 0 && i < K_MAX_MODULES; i++)
        if (!g_modules[i].name)
            slot = i;
    if (slot < 0) {
        KSetLastError(K_ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    // Registering again replaces the exports (a stand-in re-registers after a test swapped it).
    g_modules[slot].name = name;
    g_modules[slot].exports = exports;
    return 0;
}

KModule KLoadLibrary(const char *name)
{
    if (!name) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::mutex> guard(g_moduleLock);
    int slot = FindModule(name);
    if (slot < 0) {
        KSetLastError(K_ERROR_MOD_NOT_FOUND);
        return 0;
    }
    g_modules[slot].loadCount++;
    return (KModule)(slot + 1);
}

// Entry of a module handle, or null. The lock must be held.
static KModuleEntry *ModuleEntry(KModule module)
{
    if (module < 1 || module > K_MAX_MODULES || !g_modules[module - 1].name)
        return nullptr;
    return &g_modules[module - 1];
}

void *KGetProcAddress(KModule module, const char *name)
{
    std::lock_guard<std::mutex> guard(g_moduleLock);
    KModuleEntry *entry = ModuleEntry(module);
    if (!entry || !name) {
        KSetLastError(K_ERROR_INVALID_HANDLE);
        return nullptr;
    }
    for (const KModuleExport *e = entry->exports; e->name; e++)
        if (strcmp(e->name, name) == 0)
            return e->function;
    KSetLastError(K_ERROR_PROC_NOT_FOUND);
    return nullptr;
}

int KFreeLibrary(KModule module)
{
    std::lock_guard<std::mutex> guard(g_moduleLock);
    KModuleEntry *entry = ModuleEntry(module);
    if (!entry || entry->loadCount <= 0) {
        KSetLastError(K_ERROR_INVALID_HANDLE);
        return 0;
    }
    entry->loadCount--;
    return 1;
}
