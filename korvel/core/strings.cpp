// Character sets and the library's own string, memory and number routines. Every routine
// that looks for a character or changes case steps over double-byte characters whole, so
// that a trail byte such as 0x5C is never taken for '\' and never upper-cased.
#include "strings.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {
struct CharSetState {
  int code;      // CHARSET_* or 0 before the main window chose one
  int codePage;  // 932, 949, 950, 936 or 0
};
CharSetState charSet;
}  // namespace

void SetCharSetCode(int code) { charSet.code = code; }
int GetCharSetCode() { return charSet.code; }
void SetCharCodePage(int codePage) { charSet.codePage = codePage; }
int GetCharCodePage() { return charSet.codePage; }

int IsDoubleByteLead(unsigned char byte, int code) {
  if (code == CHARSET_KOREAN || code == CHARSET_TRADITIONAL_CHINESE || code == CHARSET_SIMPLIFIED_CHINESE)
    return byte >= 0x80 ? 1 : 0;
  return ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) ? 1 : 0;
}

int GetByteKind(const char* text, int position, int code) {
  for (int i = 0; text[i] != 0 && i <= position;) {
    int lead = IsDoubleByteLead((unsigned char)text[i], code);
    if (position == i) return lead ? 1 : 0;
    if (!lead) {
      i += 1;
      continue;
    }
    if (text[i + 1] == 0) break;  // a lead byte cut off by the terminator has no trail
    if (position == i + 1) return 2;
    i += 2;
  }
  return -1;
}

void CopyString(char* dest, const char* src) { strcpy(dest, src); }

void CopyStringN(char* dest, const char* src, int n) {
  int i = 0;
  for (; i < n && src[i] != 0; i++) dest[i] = src[i];
  dest[i < 0 ? 0 : i] = 0;
}

void AppendString(char* dest, const char* src) { strcat(dest, src); }
void AppendWideString(wchar_t* dest, const wchar_t* src) { wcscat(dest, src); }
int GetStringLength(const char* text) { return (int)strlen(text); }

const char* FindSubstring(const char* text, const char* pattern) {
  if (text[0] == 0) return nullptr;
  return strstr(text, pattern);
}

const char* FindCharInString(const char* text, int ch) {
  for (const char* p = text; *p != 0;) {
    if (IsDoubleByteLead((unsigned char)*p, charSet.code)) {
      if (p[1] == 0) return nullptr;
      p += 2;
      continue;
    }
    if ((unsigned char)*p == (unsigned char)ch) return p;
    p++;
  }
  return nullptr;
}

int CompareStringExact(const char* a, const char* b) { return strcmp(a, b) == 0 ? 0 : 1; }

int CompareStringPrefix(const char* a, const char* b, int n) {
  return (n <= 0 || memcmp(a, b, (size_t)n) == 0) ? 0 : 1;
}

void UpperCaseString(char* text) {
  for (char* p = text; *p != 0;) {
    if (IsDoubleByteLead((unsigned char)*p, charSet.code)) {
      if (p[1] == 0) return;
      p += 2;
      continue;
    }
    if (*p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
    p++;
  }
}

int FormatStringV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  int n = vsnprintf(buffer, size, format, args);
  if (n < 0) buffer[0] = 0;
  buffer[size - 1] = 0;
  return 0;
}

int FormatString(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, size, format, args);
  va_end(args);
  return 0;
}

int FormatWideStringV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
  if (count == 0) return 0;
  int n = vswprintf(buffer, count, format, args);
  if (n < 0) buffer[count - 1] = 0;
  buffer[count - 1] = 0;
  return 0;
}

// Bases outside 2 to 36 give an empty text; INT_MIN is written from its unsigned magnitude.
char* IntToString(int value, char* buffer, int base) {
  if (base < 2 || base > 36) {
    buffer[0] = 0;
    return buffer;
  }
  char digits[40];
  int count = 0;
  unsigned int magnitude = value < 0 ? 0u - (unsigned int)value : (unsigned int)value;
  do {
    unsigned int d = magnitude % (unsigned int)base;
    digits[count++] = (char)(d < 10 ? '0' + d : 'a' + d - 10);
    magnitude /= (unsigned int)base;
  } while (magnitude != 0);
  int pos = 0;
  if (value < 0) buffer[pos++] = '-';
  while (count > 0) buffer[pos++] = digits[--count];
  buffer[pos] = 0;
  return buffer;
}

void FillBytes(void* dest, int byte, size_t count) {
  if (count != 0) memset(dest, byte, count);
}

void FillInts(void* dest, uint32_t value, size_t count) {
  uint32_t* p = (uint32_t*)dest;
  for (size_t i = 0; i < count; i++) p[i] = value;
}

int CompareBytes(const void* a, const void* b, size_t count) {
  return (count == 0 || memcmp(a, b, count) == 0) ? 0 : 1;
}

size_t CopyMemoryBytes(void* dest, const void* src, size_t count) {
  unsigned char* d = (unsigned char*)dest;
  const unsigned char* s = (const unsigned char*)src;
  for (size_t i = 0; i < count; i++) d[i] = s[i];
  return count;
}

size_t MoveBytes(void* dest, const void* src, size_t count) {
  if (dest != src) memmove(dest, src, count);
  return count;
}

// One x87 fsincos gives both values.
void GetSinCos(float angle, float* sinOut, float* cosOut) {
  long double s, c;
  __asm__("fsincos" : "=t"(c), "=u"(s) : "0"((long double)angle));
  *sinOut = (float)s;
  *cosOut = (float)c;
}

float PowFloat(float x, float y) { return (float)pow(x, y); }
float Atan2Float(float y, float x) { return (float)atan2(y, x); }
float ExpFloat(float x) { return (float)exp(x); }
float AcosFloat(float x) { return (float)acos(x); }
double Log10Double(double x) { return log10(x); }
float SqrtFloat(float x) { return sqrtf(x); }
int AbsInt(int x) { return x < 0 ? -x : x; }
float AbsFloat(float x) { return fabsf(x); }

// C++ conversions truncate toward zero whatever the processor's rounding mode (SSE2 cvtt).
int TruncFloatToInt(float x) { return (int)x; }
int TruncDoubleToInt(double x) { return (int)x; }
void TruncFloat4ToInt4(const float* in, int* out) {
  for (int i = 0; i < 4; i++) out[i] = (int)in[i];
}

void MultiplyU64To128(uint64_t a, uint64_t b, UINT128* out) {
  uint64_t aLo = (uint32_t)a, aHi = a >> 32, bLo = (uint32_t)b, bHi = b >> 32;
  uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
  uint64_t mid = (ll >> 32) + (uint32_t)lh + (uint32_t)hl;
  uint64_t lo = (uint32_t)ll | (mid << 32);
  uint64_t hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
  out->word[0] = (uint32_t)lo;
  out->word[1] = (uint32_t)(lo >> 32);
  out->word[2] = (uint32_t)hi;
  out->word[3] = (uint32_t)(hi >> 32);
}

// Shift-and-subtract division of a 128-bit value; the low 64 bits of the quotient are stored.
// A zero divisor is refused (-1, quotient 0) instead of looping for ever.
int DivideU128ByU64(const UINT128* dividend, uint64_t divisor, uint64_t* quotient) {
  *quotient = 0;
  if (divisor == 0) return -1;
  uint64_t hi = ((uint64_t)dividend->word[3] << 32) | dividend->word[2];
  uint64_t lo = ((uint64_t)dividend->word[1] << 32) | dividend->word[0];
  // Long division one bit at a time from the top; the remainder stays below the divisor.
  uint64_t q = 0, r = 0;
  for (int bit = 127; bit >= 0; bit--) {
    uint64_t next = bit >= 64 ? (hi >> (bit - 64)) & 1 : (lo >> bit) & 1;
    bool carry = (r >> 63) != 0;
    r = (r << 1) | next;
    if (carry || r >= divisor) {
      r -= divisor;
      if (bit < 64) q |= (uint64_t)1 << bit;
    }
  }
  *quotient = q;
  return 0;
}
