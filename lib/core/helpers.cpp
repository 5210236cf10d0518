// Bytes, Shift-JIS strings, numbers and rectangles.
#include "lib/core/helpers.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

int IsShiftJisLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// ---- bytes ---------------------------------------------------------------------------------------

void CopyBytes(void *dst, const void *src, size_t n)
{
    if (n)
        memcpy(dst, src, n);
}

void FillBytes(void *dst, int value, size_t n)
{
    if (n)
        memset(dst, value, n);
}

int CompareBytes(const void *a, const void *b, size_t n)
{
    if (n == 0)
        return 0;
    return memcmp(a, b, n) == 0 ? 0 : 1;
}

// ---- strings -------------------------------------------------------------------------------------

void CopyString(char *dst, const char *src) { strcpy(dst, src); }

void AppendString(char *dst, const char *src) { strcat(dst, src); }

const char *FindCharInString(const char *text, int c)
{
    if (!text)
        return nullptr;
    unsigned char wanted = (unsigned char)c;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (IsShiftJisLeadByte(*p)) {
            // The lead and its trail go together and never match; a lead at the end stands alone.
            if (p[1] == 0)
                return nullptr;
            p++;
            continue;
        }
        if (*p == wanted)
            return (const char *)p;
    }
    return nullptr;
}

int CompareStringPrefix(const char *a, const char *b, int n)
{
    if (n < 0)
        return 1;
    if (n == 0)
        return 0;
    return strncmp(a, b, (size_t)n) == 0 ? 0 : 1;
}

int ParseDecimalInt(const char *text)
{
    const char *p = text;
    while (*p && *p != '-' && (*p < '0' || *p > '9'))
        p++;
    if (!*p)
        return -1;
    int negative = *p == '-';
    if (negative)
        p++;
    // Gathered in 64 bits and held at the int range, so a long digit run is no overflow.
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        value = value * 10 + (*p - '0');
        if (value > (long long)INT_MAX + 1)
            value = (long long)INT_MAX + 1;
    }
    if (negative)
        return (int)-value;
    return value > INT_MAX ? INT_MAX : (int)value;
}

int FormatString(char *dst, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    FormatStringV(dst, format, args);
    va_end(args);
    return 0;
}

int FormatStringV(char *dst, const char *format, va_list args)
{
    return vsprintf(dst, format, args);
}

// ---- numbers -------------------------------------------------------------------------------------

int TruncDoubleToInt(double d)
{
    // The comparison is false for NaN too; a cast out of range would be undefined.
    if (!(d > -2147483649.0 && d < 2147483648.0))
        return INT_MIN;
    return (int)d;  // the conversion instruction truncates whatever the rounding mode
}

int TruncFloatToInt(float f) { return TruncDoubleToInt((double)f); }

float GetAbsFloat(float f) { return fabsf(f); }

// ---- rectangles ----------------------------------------------------------------------------------

// v held inside low..high; an inverted range gives low (so an inverted area leaves nothing).
static int ClampInto(int v, int low, int high)
{
    if (v > high)
        v = high;
    if (v < low)
        v = low;
    return v;
}

int ClipRectToArea(Rect *rect, const Rect *area)
{
    if (rect->right < rect->left)
        rect->right = rect->left;
    if (rect->bottom < rect->top)
        rect->bottom = rect->top;
    rect->left = ClampInto(rect->left, area->left, area->right);
    rect->right = ClampInto(rect->right, area->left, area->right);
    rect->top = ClampInto(rect->top, area->top, area->bottom);
    rect->bottom = ClampInto(rect->bottom, area->top, area->bottom);
    return 0;
}
