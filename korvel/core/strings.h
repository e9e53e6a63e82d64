// Character sets and the library's own string, memory and number routines.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Library-wide character-set codes (0 = not chosen yet).
enum { CHARSET_SHIFTJIS = 1, CHARSET_KOREAN = 2, CHARSET_TRADITIONAL_CHINESE = 3, CHARSET_SIMPLIFIED_CHINESE = 4 };

struct UINT128 { uint32_t word[4]; };  // least significant word first

void SetCharSetCode(int code);
int GetCharSetCode();
void SetCharCodePage(int codePage);
int GetCharCodePage();
int IsDoubleByteLead(unsigned char byte, int code);
int GetByteKind(const char* text, int position, int code);

void CopyString(char* dest, const char* src);
void CopyStringN(char* dest, const char* src, int n);
void AppendString(char* dest, const char* src);
void AppendWideString(wchar_t* dest, const wchar_t* src);
int GetStringLength(const char* text);
const char* FindSubstring(const char* text, const char* pattern);
const char* FindCharInString(const char* text, int ch);
int CompareStringExact(const char* a, const char* b);
int CompareStringPrefix(const char* a, const char* b, int n);
void UpperCaseString(char* text);
// printf formatting, always bounded by the buffer size and always terminated (a longer
// result is cut).
int FormatStringV(char* buffer, size_t size, const char* format, va_list args);
int FormatString(char* buffer, size_t size, const char* format, ...);
int FormatWideStringV(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);
char* IntToString(int value, char* buffer, int base);

void FillBytes(void* dest, int byte, size_t count);
void FillInts(void* dest, uint32_t value, size_t count);
int CompareBytes(const void* a, const void* b, size_t count);
size_t CopyMemoryBytes(void* dest, const void* src, size_t count);
size_t MoveBytes(void* dest, const void* src, size_t count);

void GetSinCos(float angle, float* sinOut, float* cosOut);
float PowFloat(float x, float y);
float Atan2Float(float y, float x);
float ExpFloat(float x);
float AcosFloat(float x);
double Log10Double(double x);
float SqrtFloat(float x);
int AbsInt(int x);
float AbsFloat(float x);
int TruncFloatToInt(float x);
int TruncDoubleToInt(double x);
void TruncFloat4ToInt4(const float* in, int* out);
void MultiplyU64To128(uint64_t a, uint64_t b, UINT128* out);
int DivideU128ByU64(const UINT128* dividend, uint64_t divisor, uint64_t* quotient);
