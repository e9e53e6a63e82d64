// Scripted Imm32 functions for the run-time table: the IME that Wine does not have here.
// A test fills the fields, installs the fake, and reads back the calls it received.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/winapi.h"

struct IME_FAKE {
  std::string composition;  // GCS_COMPSTR
  std::string result;       // GCS_RESULTSTR
  LONG compositionLength = -100;  // when not -100: the length the fake reports for GCS_COMPSTR
  LONG cursor = 0;
  LONG clauseBytes = 0;
  LONG attributeBytes = 0;
  std::vector<unsigned char> candidates;  // the candidate-list block
  bool candidateReadFails = false;
  BOOL openStatus = FALSE;
  std::vector<std::string> calls;
};

inline IME_FAKE& Fake() {
  static IME_FAKE fake;
  return fake;
}

inline LONG CopyOut(const std::string& text, LPVOID out, DWORD size) {
  DWORD n = (DWORD)text.size() < size ? (DWORD)text.size() : size;
  if (out != nullptr) memcpy(out, text.data(), n);
  return (LONG)n;
}

inline HIMC WINAPI FakeGetContext(HWND) { return (HIMC)0x1234; }
inline BOOL WINAPI FakeReleaseContext(HWND, HIMC) { return TRUE; }
inline BOOL WINAPI FakeGetOpenStatus(HIMC) { return Fake().openStatus; }
inline BOOL WINAPI FakeNotify(HIMC, DWORD action, DWORD index, DWORD) {
  Fake().calls.push_back("Notify " + std::to_string(action) + " " + std::to_string(index));
  return TRUE;
}
inline BOOL WINAPI FakeSetOpenStatus(HIMC, BOOL open) {
  Fake().calls.push_back("SetOpen " + std::to_string(open));
  return TRUE;
}
inline LONG WINAPI FakeGetCompositionString(HIMC, DWORD kind, LPVOID out, DWORD size) {
  IME_FAKE& f = Fake();
  switch (kind) {
    case GCS_COMPSTR:
      if (f.compositionLength != -100) {
        if (f.compositionLength > 0 && out != nullptr) memset(out, 'z', size);  // fills its whole buffer
        return f.compositionLength;
      }
      f.calls.push_back("GetComp");
      return CopyOut(f.composition, out, size);
    case GCS_RESULTSTR: return CopyOut(f.result, out, size);
    case GCS_CURSORPOS: return f.cursor;
    case GCS_COMPCLAUSE: return f.clauseBytes;
    case GCS_COMPATTR: return f.attributeBytes;
    default: return IMM_ERROR_GENERAL;
  }
}
inline BOOL WINAPI FakeSetCompositionString(HIMC, DWORD index, LPVOID text, DWORD length, LPVOID, DWORD) {
  Fake().calls.push_back("SetComp " + std::to_string(index) + " " + std::string((const char*)text, length));
  return TRUE;
}
inline DWORD WINAPI FakeGetCandidateList(HIMC, DWORD, LPCANDIDATELIST list, DWORD size) {
  IME_FAKE& f = Fake();
  if (size == 0) return (DWORD)f.candidates.size();
  if (f.candidateReadFails) return 0;
  memcpy(list, f.candidates.data(), size < f.candidates.size() ? size : f.candidates.size());
  return (DWORD)f.candidates.size();
}

inline void InstallImeFake() {
  Fake() = IME_FAKE();
  WinApi.imm.ImmGetContext = FakeGetContext;
  WinApi.imm.ImmReleaseContext = FakeReleaseContext;
  WinApi.imm.ImmGetOpenStatus = FakeGetOpenStatus;
  WinApi.imm.ImmNotifyIME = FakeNotify;
  WinApi.imm.ImmSetOpenStatus = FakeSetOpenStatus;
  WinApi.imm.ImmGetCompositionStringA = FakeGetCompositionString;
  WinApi.imm.ImmSetCompositionStringA = FakeSetCompositionString;
  WinApi.imm.ImmGetCandidateListA = FakeGetCandidateList;
}
