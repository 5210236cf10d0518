// Bytes, Shift-JIS strings, numbers and rectangles.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

struct Rect {
    int left, top, right, bottom;
};

// Little-endian words as files store them.
inline uint32_t ReadLe16(const uint8_t *p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }
inline uint32_t ReadLe32(const uint8_t *p) { return ReadLe16(p) | (ReadLe16(p + 2) << 16); }

// 1 when b starts a two-byte Shift-JIS character (0x81-0x9F, 0xE0-0xFC).
int IsShiftJisLeadByte(unsigned char b);

void CopyBytes(void *dst, const void *src, size_t n);   // ranges must not overlap
void FillBytes(void *dst, int value, size_t n);
int CompareBytes(const void *a, const void *b, size_t n); // 0 equal, 1 different

// NUL-ended copy / append with the NUL; unbounded: the caller owns the room.
void CopyString(char *dst, const char *src);
void AppendString(char *dst, const char *src);
// First occurrence of c outside two-byte characters, or null.
const char *FindCharInString(const char *text, int c);
// 0 when the first n bytes are equal; n = 0 gives 0, n < 0 gives 1.
int CompareStringPrefix(const char *a, const char *b, int n);
// Skips to the first digit or '-', reads an optional '-' and digits; -1 when the text has neither.
int ParseDecimalInt(const char *text);
// printf into the caller's buffer, unbounded; 0 / the character count.
int FormatString(char *dst, const char *format, ...) __attribute__((format(printf, 2, 3)));
int FormatStringV(char *dst, const char *format, va_list args);

// Toward zero; NaN and values outside the int range give -2147483648.
int TruncDoubleToInt(double d);
int TruncFloatToInt(float f);
float GetAbsFloat(float f);

// Raises right to left and bottom to top when smaller, then clamps each value into area. 0.
int ClipRectToArea(Rect *rect, const Rect *area);
