// Shift-JIS scans, number conversion and rectangle clipping.
#include "lib/core/helpers.h"

#include <gtest/gtest.h>
#include <climits>
#include <cmath>
#include <string>

TEST(Helpers, FindCharNeverMatchesATrailByte)
{
    const char *text = "ソ\\x";  // ソ is 0x83 0x5C in Shift-JIS
    ASSERT_EQ((unsigned char)text[1], 0x5C);
    EXPECT_EQ(FindCharInString(text, '\\'), text + 2);
    EXPECT_EQ(FindCharInString("ソ", '\\'), nullptr);
    EXPECT_EQ(FindCharInString("表示", 0x5C), nullptr);  // 表 is 0x95 0x5C
    const char *mixed = "アイA";
    EXPECT_EQ(FindCharInString(mixed, 'A'), mixed + 4);  // ア ends in 0x41 'A': skipped
    EXPECT_EQ(FindCharInString(mixed, 0x83), nullptr);   // a lead byte is never a match either
    const char lone[] = {'a', (char)0x83, 0};            // a lead byte cut off at the end
    EXPECT_EQ(FindCharInString(lone, 'a'), lone);
    EXPECT_EQ(FindCharInString(lone, 'b'), nullptr);
    EXPECT_EQ(FindCharInString("abc", 0), nullptr);
}

TEST(Helpers, StringPrefixAndDecimal)
{
    EXPECT_EQ(CompareStringPrefix("HTTP/1.0", "HTTP/1.1", 7), 0);
    EXPECT_EQ(CompareStringPrefix("HTTP/1.0", "HTTP/1.1", 8), 1);
    EXPECT_EQ(CompareStringPrefix("a", "b", 0), 0);
    EXPECT_EQ(CompareStringPrefix("a", "a", -1), 1);
    EXPECT_EQ(CompareStringPrefix("ab", "ab", 10), 0);  // stops at the end of both

    EXPECT_EQ(ParseDecimalInt("Content-Length: 1234\r\n"), 0);  // the '-' of the name comes first
    EXPECT_EQ(ParseDecimalInt("Length: 1234\r\n"), 1234);
    EXPECT_EQ(ParseDecimalInt("x-7y"), -7);
    EXPECT_EQ(ParseDecimalInt("only -"), 0);
    EXPECT_EQ(ParseDecimalInt("none"), -1);
    EXPECT_EQ(ParseDecimalInt(""), -1);
    EXPECT_EQ(ParseDecimalInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseDecimalInt("-99999999999999999999"), INT_MIN);
}

TEST(Helpers, BytesAndFormatting)
{
    char a[8] = "abcdefg", b[8];
    CopyBytes(b, a, 8);
    EXPECT_EQ(CompareBytes(a, b, 8), 0);
    FillBytes(b + 2, 'z', 3);
    EXPECT_EQ(CompareBytes(a, b, 8), 1);
    EXPECT_EQ(CompareBytes(a, b, 2), 0);
    EXPECT_STREQ(b, "abzzzfg");
    CopyBytes(nullptr, nullptr, 0);

    char text[32];
    CopyString(text, "ab");
    AppendString(text, "cd");
    EXPECT_STREQ(text, "abcd");
    EXPECT_EQ(FormatString(text, "%d-%s", 12, "x"), 0);
    EXPECT_STREQ(text, "12-x");
}

TEST(Helpers, TruncDoubleToIntTowardZeroAndOutOfRange)
{
    EXPECT_EQ(TruncDoubleToInt(-2.7), -2);
    EXPECT_EQ(TruncDoubleToInt(2.7), 2);
    EXPECT_EQ(TruncDoubleToInt(3e10), INT_MIN);
    EXPECT_EQ(TruncDoubleToInt(-3e10), INT_MIN);
    EXPECT_EQ(TruncDoubleToInt(NAN), INT_MIN);
    EXPECT_EQ(TruncDoubleToInt(INFINITY), INT_MIN);
    EXPECT_EQ(TruncDoubleToInt(2147483647.9), INT_MAX);
    EXPECT_EQ(TruncDoubleToInt(2147483648.0), INT_MIN);
    EXPECT_EQ(TruncDoubleToInt(-2147483648.9), INT_MIN);
    EXPECT_EQ(TruncFloatToInt(-0.5f), 0);
    EXPECT_EQ(TruncFloatToInt(1e20f), INT_MIN);
    EXPECT_EQ(GetAbsFloat(-1.5f), 1.5f);
}

namespace {
Rect Clipped(Rect r, Rect area)
{
    EXPECT_EQ(ClipRectToArea(&r, &area), 0);
    return r;
}
void ExpectRect(Rect r, int l, int t, int rt, int b)
{
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}
}  // namespace

TEST(Helpers, ClipRectToAreaCases)
{
    Rect screen = {0, 0, 640, 480};
    ExpectRect(Clipped({10, 20, 30, 40}, screen), 10, 20, 30, 40);       // inside: unchanged
    ExpectRect(Clipped({-5, -6, 700, 500}, screen), 0, 0, 640, 480);     // over every side
    ExpectRect(Clipped({630, 470, 650, 490}, screen), 630, 470, 640, 480);
    ExpectRect(Clipped({700, 10, 800, 20}, screen), 640, 10, 640, 20);   // right of it: no width
    ExpectRect(Clipped({10, -50, 20, -10}, screen), 10, 0, 20, 0);       // above it: no height
    ExpectRect(Clipped({50, 60, 40, 30}, screen), 50, 60, 50, 60);       // inverted: raised, empty
    ExpectRect(Clipped({-20, 5, -30, 6}, screen), 0, 5, 0, 6);
    ExpectRect(Clipped({0, 0, 10, 10}, {5, 5, 2, 2}), 5, 5, 5, 5);       // inverted area: empty
}
