// Character sets and string routines: double-byte stepping in each of the four sets, the
// string and memory routines, number conversions and the 128-bit arithmetic.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <climits>
#include <cstring>
#include <string>

#include "core/strings.h"

namespace {
struct CharSetScope {
  explicit CharSetScope(int code) : saved(GetCharSetCode()) { SetCharSetCode(code); }
  ~CharSetScope() { SetCharSetCode(saved); }
  int saved;
};

const int kAllCodes[] = {0, CHARSET_SHIFTJIS, CHARSET_KOREAN, CHARSET_TRADITIONAL_CHINESE, CHARSET_SIMPLIFIED_CHINESE};
bool IsShiftJisLike(int code) { return code == 0 || code == CHARSET_SHIFTJIS; }

TEST(CharSet, LeadBytesOfEachSet) {
  struct Row { unsigned char byte; int shiftJis; int others; } rows[] = {
      {0x41, 0, 0}, {0x5C, 0, 0}, {0x7F, 0, 0}, {0x80, 0, 1}, {0x81, 1, 1}, {0x95, 1, 1}, {0x9F, 1, 1},
      {0xA0, 0, 1}, {0xB1, 0, 1}, {0xDF, 0, 1}, {0xE0, 1, 1}, {0xFC, 1, 1}, {0xFD, 0, 1}, {0xFF, 0, 1},
  };
  for (int code : kAllCodes)
    for (const Row& r : rows)
      EXPECT_EQ(IsDoubleByteLead(r.byte, code), IsShiftJisLike(code) ? r.shiftJis : r.others)
          << "code " << code << " byte 0x" << std::hex << (int)r.byte;
}

TEST(CharSet, ByteKindsWalkFromTheStart) {
  // 0x95 0x5C is a double-byte character everywhere; 0xA0 leads one only outside Shift-JIS.
  const char* text = "\x95\x5C" "a\xA0" "b";
  for (int code : kAllCodes) {
    int expected[] = {1, 2, 0, IsShiftJisLike(code) ? 0 : 1, IsShiftJisLike(code) ? 0 : 2, -1, -1};
    for (int pos = 0; pos < 7; pos++) EXPECT_EQ(GetByteKind(text, pos, code), expected[pos]) << code << " @" << pos;
    EXPECT_EQ(GetByteKind(text, -1, code), -1) << code;
  }
  EXPECT_EQ(GetByteKind("a\x95", 1, CHARSET_SHIFTJIS), 1);   // a lead cut off by the terminator
  EXPECT_EQ(GetByteKind("a\x95", 2, CHARSET_SHIFTJIS), -1);
}

TEST(CharSet, FindCharStepsOverDoubleByteCharacters) {
  for (int code : kAllCodes) {
    CharSetScope scope(code);
    const char sjis[] = "\x95\x5C\x5C";
    EXPECT_EQ(FindCharInString(sjis, 0x5C), sjis + 2) << code;
    const char halfWidth[] = "\xA0\x5C";
    EXPECT_EQ(FindCharInString(halfWidth, 0x5C), IsShiftJisLike(code) ? halfWidth + 1 : nullptr) << code;
    EXPECT_EQ(FindCharInString("", 'a'), nullptr) << code;
    EXPECT_EQ(FindCharInString("\x95", 'a'), nullptr) << code;  // lone lead at the end
    const char plain[] = "path\\file";
    EXPECT_EQ(FindCharInString(plain, '\\'), plain + 4) << code;
  }
}

TEST(CharSet, UpperCaseLeavesDoubleByteCharactersAlone) {
  for (int code : kAllCodes) {
    CharSetScope scope(code);
    char text[] = "ab\x95" "a" "c\xA0" "d\xB1z";
    UpperCaseString(text);
    // The trail byte 'a' of 0x95 stays; after 0xA0 the 'd' is a trail outside Shift-JIS.
    std::string expected = IsShiftJisLike(code) ? "AB\x95" "a" "C\xA0" "D\xB1Z" : "AB\x95" "a" "C\xA0" "d\xB1z";
    EXPECT_EQ(std::string(text), expected) << code;
  }
}

TEST(Strings, CopyAppendLengthAndCompare) {
  char buffer[16];
  memset(buffer, 'x', sizeof(buffer));
  CopyStringN(buffer, "abcdef", 3);
  EXPECT_STREQ(buffer, "abc");
  CopyStringN(buffer, "abcdef", 0);
  EXPECT_STREQ(buffer, "");
  CopyStringN(buffer, "abcdef", -5);
  EXPECT_STREQ(buffer, "");
  CopyStringN(buffer, "ab", 10);
  EXPECT_STREQ(buffer, "ab");
  CopyString(buffer, "ab");
  AppendString(buffer, "cd");
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(GetStringLength(buffer), 4);
  wchar_t wide[8] = L"ab";
  AppendWideString(wide, L"c");
  EXPECT_STREQ(wide, L"abc");

  EXPECT_EQ(CompareStringExact("ab", "ab"), 0);
  EXPECT_EQ(CompareStringExact("ab", "abc"), 1);
  EXPECT_EQ(CompareStringPrefix("ab", "ab", 2), 0);
  EXPECT_EQ(CompareStringPrefix("ab", "ab", 3), 0);  // the terminators are equal too
  EXPECT_EQ(CompareStringPrefix("ab", "abc", 2), 0);
  EXPECT_EQ(CompareStringPrefix("ab", "abc", 3), 1);  // terminator against 'c'

  const char text[] = "hello world";
  EXPECT_EQ(FindSubstring(text, "wor"), text + 6);
  EXPECT_EQ(FindSubstring(text, ""), text);
  EXPECT_EQ(FindSubstring("", "a"), nullptr);
  EXPECT_EQ(FindSubstring("", ""), nullptr);
  EXPECT_EQ(FindSubstring(text, "xyz"), nullptr);
}

TEST(Strings, FormattingIsBoundedAndTerminated) {
  char buffer[8];
  FormatString(buffer, sizeof(buffer), "%d-%s", 12, "abcdefgh");
  EXPECT_STREQ(buffer, "12-abcd");
  FormatString(buffer, sizeof(buffer), "%x", 255);
  EXPECT_STREQ(buffer, "ff");
  wchar_t wide[8];
  auto formatWide = [&](const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatWideStringV(wide, 8, format, args);
    va_end(args);
  };
  formatWide(L"%d:%ls", 5, L"abcdefgh");
  EXPECT_STREQ(wide, L"5:abcde");
}

TEST(Strings, IntToStringInEveryBase) {
  struct Row { int value; int base; const char* text; } rows[] = {
      {-255, 16, "-ff"}, {0, 10, "0"}, {0, 2, "0"}, {123, 10, "123"}, {-7, 10, "-7"}, {5, 2, "101"},
      {35, 36, "z"}, {36, 36, "10"}, {INT_MAX, 10, "2147483647"}, {INT_MIN, 10, "-2147483648"},
      {INT_MIN, 16, "-80000000"}, {INT_MIN, 2, "-10000000000000000000000000000000"},
      {5, 1, ""}, {5, 37, ""}, {5, 0, ""}, {5, -10, ""},
  };
  for (const Row& r : rows) {
    char buffer[40];
    memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(IntToString(r.value, buffer, r.base), buffer);
    EXPECT_STREQ(buffer, r.text) << r.value << " base " << r.base;
  }
}

TEST(Memory, FillCompareCopyAndMove) {
  unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  FillBytes(bytes, 0xAB, 0);
  EXPECT_EQ(bytes[0], 1);
  FillBytes(bytes + 1, 0xAB, 2);
  EXPECT_EQ(bytes[1], 0xAB);
  EXPECT_EQ(bytes[3], 4);
  uint32_t ints[3] = {0, 0, 0};
  FillInts(ints, 0xDEADBEEF, 2);
  EXPECT_EQ(ints[1], 0xDEADBEEFu);
  EXPECT_EQ(ints[2], 0u);
  EXPECT_EQ(CompareBytes("abc", "abd", 2), 0);
  EXPECT_EQ(CompareBytes("abc", "abd", 3), 1);
  EXPECT_EQ(CompareBytes("a", "b", 0), 0);

  char a[] = "abcdefgh";
  EXPECT_EQ(MoveBytes(a + 2, a, 4), 4u);  // source below the destination: copied backwards
  EXPECT_STREQ(a, "ababcdgh");
  char b[] = "abcdefgh";
  EXPECT_EQ(MoveBytes(b, b + 2, 4), 4u);
  EXPECT_STREQ(b, "cdefefgh");
  char c[] = "abcdefgh";
  EXPECT_EQ(CopyMemoryBytes(c + 4, c, 3), 3u);
  EXPECT_STREQ(c, "abcdabch");
}

TEST(Numbers, TruncationIgnoresTheRoundingMode) {
  int saved = fegetround();
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD}) {
    fesetround(mode);
    EXPECT_EQ(TruncFloatToInt(2.7f), 2) << mode;
    EXPECT_EQ(TruncFloatToInt(-2.7f), -2) << mode;
    EXPECT_EQ(TruncDoubleToInt(-1e9 - 0.5), -1000000000) << mode;
    const float in[4] = {0.5f, -0.5f, 3.99f, -3.99f};
    int out[4];
    TruncFloat4ToInt4(in, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(out[3], -3);
  }
  fesetround(saved);
}

TEST(Numbers, SineCosineAndFloatHelpers) {
  float s, c;
  GetSinCos(1.5707963f, &s, &c);
  EXPECT_NEAR(s, 1.0f, 1e-6f);
  EXPECT_NEAR(c, 0.0f, 1e-6f);
  GetSinCos(-0.5f, &s, &c);
  EXPECT_FLOAT_EQ(s, sinf(-0.5f));
  EXPECT_FLOAT_EQ(c, cosf(-0.5f));
  EXPECT_FLOAT_EQ(PowFloat(2.0f, 10.0f), 1024.0f);
  EXPECT_FLOAT_EQ(Atan2Float(1.0f, 1.0f), 0.78539816f);
  EXPECT_FLOAT_EQ(ExpFloat(0.0f), 1.0f);
  EXPECT_FLOAT_EQ(AcosFloat(1.0f), 0.0f);
  EXPECT_DOUBLE_EQ(Log10Double(1000.0), 3.0);
  EXPECT_FLOAT_EQ(SqrtFloat(16.0f), 4.0f);
  EXPECT_EQ(AbsInt(-5), 5);
  EXPECT_FLOAT_EQ(AbsFloat(-2.5f), 2.5f);
}

uint64_t High(const UINT128& v) { return ((uint64_t)v.word[3] << 32) | v.word[2]; }
uint64_t Low(const UINT128& v) { return ((uint64_t)v.word[1] << 32) | v.word[0]; }

TEST(Numbers, Arithmetic128) {
  struct Row { uint64_t a, b, hi, lo; } rows[] = {
      {0, 12345, 0, 0},
      {0xFFFFFFFFull, 0xFFFFFFFFull, 0, 0xFFFFFFFE00000001ull},
      {1ull << 63, 4, 2, 0},
      {~0ull, ~0ull, 0xFFFFFFFFFFFFFFFEull, 1},
      {0x123456789ABCDEFull, 1000000, 0x115C, 0x71C71C71C70C19C0ull},
  };
  for (const Row& r : rows) {
    UINT128 p;
    MultiplyU64To128(r.a, r.b, &p);
    EXPECT_EQ(High(p), r.hi) << std::hex << r.a << " * " << r.b;
    EXPECT_EQ(Low(p), r.lo) << std::hex << r.a << " * " << r.b;
    if (r.b != 0) {
      uint64_t q = 99;
      EXPECT_EQ(DivideU128ByU64(&p, r.b, &q), 0);
      EXPECT_EQ(q, r.a) << std::hex << r.a << " * " << r.b << " / " << r.b;
    }
  }
  // A performance counter of a machine that has run for years, as the microsecond clock sees it.
  UINT128 p;
  MultiplyU64To128(0x0000123456789ABCull, 1000000, &p);
  uint64_t q;
  ASSERT_EQ(DivideU128ByU64(&p, 10000000, &q), 0);
  EXPECT_EQ(q, 0x0000123456789ABCull / 10);
  // Quotients above 64 bits keep their low 64 bits; a zero divisor is refused at once.
  UINT128 big = {{0, 0, 0, 1}};
  ASSERT_EQ(DivideU128ByU64(&big, 1, &q), 0);
  EXPECT_EQ(q, 0u);
  EXPECT_EQ(DivideU128ByU64(&big, 0, &q), -1);
}
}  // namespace
