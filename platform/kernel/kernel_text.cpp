// Kernel stand-in: code page 932 conversions (iconv), debugger output and process exit.
#include "platform/kernel/kernel.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <unistd.h>

// ---- conversions ---------------------------------------------------------------------------------

// Converts inBytes bytes with iconv from one code to another into out (outSize bytes; 0 = count only).
// Bytes written (or needed), or -1 (last error set).
static long ConvertBytes(const char *to, const char *from, const char *in, size_t inBytes, char *out,
                         size_t outSize)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return -1;
    }
    char scratch[256];
    int counting = outSize == 0 || !out;
    char *src = (char *)in;
    size_t srcLeft = inBytes;
    long total = 0;
    long result = 0;
    while (srcLeft > 0) {
        char *dst = counting ? scratch : out + total;
        size_t dstSize = counting ? sizeof scratch : outSize - (size_t)total;
        size_t dstLeft = dstSize;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        total += (long)(dstSize - dstLeft);
        if (r != (size_t)-1)
            continue;
        if (errno == E2BIG && counting)
            continue;
        KSetLastError(errno == E2BIG ? K_ERROR_INSUFFICIENT_BUFFER : K_ERROR_NO_UNICODE_TRANSLATION);
        result = -1;
        break;
    }
    iconv_close(cd);
    return result < 0 ? -1 : total;
}

// Code units of a UTF-16 text before its zero unit.
static size_t WideLength(const uint16_t *text)
{
    size_t n = 0;
    while (text[n])
        n++;
    return n;
}

int KMultiByteToWide(const char *src, int srcLength, uint16_t *dst, int dstSize)
{
    if (!src || dstSize < 0 || (dstSize > 0 && !dst)) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    // -1: NUL-ended, and the NUL is converted too.
    size_t bytes = srcLength < 0 ? strlen(src) + 1 : (size_t)srcLength;
    if (bytes == 0) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    long written = ConvertBytes("UTF-16LE", "CP932", src, bytes, (char *)dst, (size_t)dstSize * 2);
    return written < 0 ? 0 : (int)(written / 2);
}

int KWideToMultiByte(const uint16_t *src, int srcLength, char *dst, int dstSize)
{
    if (!src || dstSize < 0 || (dstSize > 0 && !dst)) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t units = srcLength < 0 ? WideLength(src) + 1 : (size_t)srcLength;
    if (units == 0) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    long written = ConvertBytes("CP932", "UTF-16LE", (const char *)src, units * 2, dst, (size_t)dstSize);
    return written < 0 ? 0 : (int)written;
}

// A NUL-ended byte text from one code to another, NUL included.
static int ConvertText(const char *to, const char *from, const char *src, char *dst, int dstSize)
{
    if (!src || dstSize < 0 || (dstSize > 0 && !dst)) {
        KSetLastError(K_ERROR_INVALID_PARAMETER);
        return 0;
    }
    long written = ConvertBytes(to, from, src, strlen(src) + 1, dst, (size_t)dstSize);
    return written < 0 ? 0 : (int)written;
}

int KMultiByteToUtf8(const char *src, char *dst, int dstSize) { return ConvertText("UTF-8", "CP932", src, dst, dstSize); }

int KUtf8ToMultiByte(const char *src, char *dst, int dstSize) { return ConvertText("CP932", "UTF-8", src, dst, dstSize); }

// ---- debugger output and exit --------------------------------------------------------------------

void KWriteErrorText(const char *text)
{
    if (!text) return;
    // The terminal reads UTF-8; bytes that do not convert go out as they are.
    char utf8[4096];
    int written = KMultiByteToUtf8(text, utf8, sizeof utf8);
    fputs(written > 0 ? utf8 : text, stderr);
}

void KOutputDebugString(const char *text)
{
    const char *setting = getenv("DAZAR_DEBUG_OUTPUT");
    if (!setting || !*setting || strcmp(setting, "0") == 0)
        return;
    KWriteErrorText(text);
}

void KExitProcess(int code)
{
    fflush(nullptr);
    _exit(code);
}
