#include "tests/support/hostile_files.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "tests/support/test_temp_dir.h"

std::vector<uint8_t> ReadHostileFile(const std::string &name)
{
    const char *source = getenv("DAZAR_SOURCE_DIR");
    std::string path = std::string(source ? source : ".") + "/tests/hostile/" + name;
    std::string bytes = ReadTestFile(path.c_str());
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

static std::atomic<size_t> sLargest{0};
static std::atomic<int> sWatching{0};

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void *, size_t),
                                                          void (*onFree)(const volatile void *));
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);

static void OnMalloc(const volatile void *, size_t size)
{
    if (!sWatching.load(std::memory_order_relaxed))
        return;
    size_t seen = sLargest.load(std::memory_order_relaxed);
    while (size > seen && !sLargest.compare_exchange_weak(seen, size)) {
    }
}

static void OnFree(const volatile void *) {}

int CanWatchAllocations(void)
{
    static int installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    return installed != 0;
}

size_t AllocatedBytes(void) { return __sanitizer_get_current_allocated_bytes(); }
#else
int CanWatchAllocations(void) { return 0; }
size_t AllocatedBytes(void) { return 0; }
#endif

size_t LargestAllocationDuring(const std::function<void()> &body)
{
    int watch = CanWatchAllocations();
    sLargest = 0;
    sWatching = watch;
    body();
    sWatching = 0;
    return sLargest;
}
