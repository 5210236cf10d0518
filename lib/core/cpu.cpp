// Processor and system facts: the start-up log lines and the MMX flag of the software drawers.
#include "lib/core/cpu.h"

#include "lib/core/log.h"
#include "platform/kernel/kernel.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

struct ProcessorFacts {
    char vendor[13];
    char brand[49];
    uint32_t featuresEdx;     // CPUID leaf 1
    int mmx;
    int sse;
    int sse2;
};

static ProcessorFacts g_cpu;
static std::once_flag g_detectOnce;
static std::atomic<int> g_mmxOverride{-1};

// Runs CPUID: vendor, brand and the leaf-1 feature flags.
static void ReadProcessorFacts(void)
{
    ProcessorFacts facts;
    memset(&facts, 0, sizeof facts);
#if defined(__x86_64__) || defined(__i386__)
    unsigned a, b, c, d;
    if (__get_cpuid(0, &a, &b, &c, &d)) {
        memcpy(facts.vendor, &b, 4);
        memcpy(facts.vendor + 4, &d, 4);
        memcpy(facts.vendor + 8, &c, 4);
    }
    if (__get_cpuid(1, &a, &b, &c, &d))
        facts.featuresEdx = d;
    if (__get_cpuid(0x80000000u, &a, &b, &c, &d) && a >= 0x80000004u) {
        unsigned regs[12];
        for (unsigned i = 0; i < 3; i++)
            __get_cpuid(0x80000002u + i, &regs[i * 4], &regs[i * 4 + 1], &regs[i * 4 + 2], &regs[i * 4 + 3]);
        memcpy(facts.brand, regs, 48);
    }
#endif
    facts.mmx = (facts.featuresEdx >> 23) & 1;
    facts.sse = (facts.featuresEdx >> 25) & 1;
    facts.sse2 = (facts.featuresEdx >> 26) & 1;
    g_cpu = facts;
}

// The facts are read once, by whichever thread asks first.
static void DetectProcessor(void) { std::call_once(g_detectOnce, ReadProcessorFacts); }

int LogSystemInfo(void)
{
    DetectProcessor();
    struct utsname os;
    if (uname(&os) == 0)
        WriteLogFormat("ＯＳ  %s %s %s", os.sysname, os.release, os.machine);
    const char *brand = g_cpu.brand;
    while (*brand == ' ')
        brand++;
    WriteLogFormat("ＣＰＵ  %s %s", g_cpu.vendor, brand);
    WriteLogFormat("ＭＭＸ:%s  ＳＳＥ:%s  ＳＳＥ２:%s", g_cpu.mmx ? "有り" : "無し", g_cpu.sse ? "有り" : "無し",
                   g_cpu.sse2 ? "有り" : "無し");
    struct sysinfo mem;
    if (sysinfo(&mem) == 0) {
        unsigned long long unit = mem.mem_unit ? mem.mem_unit : 1;
        WriteLogFormat("物理メモリ 総量:%lluMB 空き:%lluMB", mem.totalram * unit / (1024 * 1024),
                       mem.freeram * unit / (1024 * 1024));
    }
    return 0;
}

int GetMmxAvailable(void)
{
    int forced = g_mmxOverride.load();
    if (forced >= 0)
        return forced;
    // The saturating-subtract form has a portable body on every host (SSE2, NEON or scalar), so
    // the flag is 1 everywhere and every machine draws the same pixels; the log still tells
    // what the processor has.
    return 1;
}

void SetMmxAvailableOverride(int flag)
{
    g_mmxOverride = flag < 0 ? -1 : (flag ? 1 : 0);
}

long long GetCounterMicroseconds(int precise)
{
    int64_t count = 0, frequency = 1;
    KQueryPerformanceCounter(&count);
    KQueryPerformanceFrequency(&frequency);
    if (frequency == 1000000)
        return count;
    return (long long)(count / frequency * 1000000 + count % frequency * 1000000 / frequency);
}
