// Kernel stand-in: virtual-memory regions of whole pages, mapped and unmapped by the system.
#include "platform/kernel/kernel.h"

#include <sys/mman.h>
#include <unistd.h>

// A region's first page holds its whole mapped length, which the release needs and is not given.
static size_t PageBytes(void) { return (size_t)sysconf(_SC_PAGESIZE); }

void *KVirtualAlloc(void *address, size_t size, uint32_t type, uint32_t protection)
{
    size_t page = PageBytes();
    if (address || size == 0 || size > SIZE_MAX - 2 * page || type != (K_MEM_COMMIT | K_MEM_RESERVE) ||
        protection != K_PAGE_READWRITE) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t whole = page + (size + page - 1) / page * page;
    void *region = mmap(nullptr, whole, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) {
        KSetLastError(K_ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    *(size_t *)region = whole;
    return (char *)region + page;
}

int KVirtualFree(void *address, size_t size, uint32_t type)
{
    size_t page = PageBytes();
    if (!address || (uintptr_t)address % page || size != 0 || type != K_MEM_RELEASE) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    char *region = (char *)address - page;
    if (munmap(region, *(size_t *)region) != 0) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    return 1;
}
