#include "input/text_input.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "input/key_input.h"
#include "korvel.h"
#include "system/base/window_state.h"

TEXT_INPUT_STATE TextInput;

namespace {
IME_STATE& Ime() { return TextInput.ime; }

int NextIndex(int index) { return index >= CHAR_BUFFER_SIZE ? 0 : index + 1; }

const struct {
  int virtualKey, code;
} kControlKeys[] = {
    {VK_DELETE, 0x10}, {VK_LEFT, 0x1D}, {VK_RIGHT, 0x1C}, {VK_UP, 0x1E}, {VK_DOWN, 0x1F},
    {VK_HOME, 0x1A},   {VK_END, 0x19},  {VK_PRIOR, 0x17}, {VK_NEXT, 0x15}, {0, 0},
};

void FreeCandidateList() {
  FreeTracked(Ime().candidateList);
  Ime().candidateList = nullptr;
  Ime().candidateListSize = 0;
}

// Asks the IME for its candidate list and keeps a copy of it.
void ReadCandidateList(HWND window, HIMC context) {
  if (WinApi.imm.ImmGetCandidateListA == nullptr) return;
  DWORD size = WinApi.imm.ImmGetCandidateListA(context, 0, nullptr, 0);
  if (size == 0) {
    char line[128];
    FormatString(line, sizeof line, "漢字変換候補のデータサイズが０でした  DefHWND:%llx IMC:%llx\n",
                 (unsigned long long)(UINT_PTR)window, (unsigned long long)(UINT_PTR)context);
    WriteLogText(line);
    return;
  }
  FreeCandidateList();
  CANDIDATELIST* list = (CANDIDATELIST*)AllocTracked(size, "", 0);
  if (list == nullptr)
    ExitWithFatalErrorFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                             (int)size);
  if (WinApi.imm.ImmGetCandidateListA(context, 0, list, size) == 0) {
    FreeTracked(list);
    char line[128];
    FormatString(line, sizeof line, "漢字変換候補の取得に失敗しました  BufSize:%d\n", (int)size);
    WriteLogText(line);
    return;
  }
  Ime().candidateList = list;
  Ime().candidateListSize = (int)size;
}

void ReadComposition(HIMC context) {
  ReadImeString(context, GCS_COMPSTR, Ime().composition, sizeof(Ime().composition));
}

// An IME length: its error codes (negative) count as no data.
int ImeLength(LONG length, int limit) {
  if (length < 0) return 0;
  return length > limit ? limit : (int)length;
}

LRESULT HandleComposition(HWND window, LPARAM lParam) {
  if (WinApi.imm.ImmGetContext == nullptr || WinApi.imm.ImmGetCompositionStringA == nullptr) return 0;
  HIMC context = WinApi.imm.ImmGetContext(window);
  if (lParam & GCS_COMPSTR) ReadComposition(context);
  if (lParam & GCS_RESULTSTR) {
    char result[IME_STRING_SIZE + 1];
    int length = ReadImeString(context, GCS_RESULTSTR, result, sizeof(result));
    for (int i = 0; i < length; i++) PushInputChar((unsigned char)result[i]);
    ReadComposition(context);
  }
  if (lParam & GCS_CURSORPOS) {
    int position = ImeLength(WinApi.imm.ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), IME_STRING_SIZE);
    Ime().compositionCursor = CountCharsInBytes(Ime().composition, position);
  }
  if (lParam & GCS_COMPCLAUSE) {
    LONG bytes = WinApi.imm.ImmGetCompositionStringA(context, GCS_COMPCLAUSE, Ime().clauseOffsets,
                                                     sizeof(Ime().clauseOffsets));
    Ime().clauseCount = ImeLength(bytes, sizeof(Ime().clauseOffsets)) / 4;
  }
  if (lParam & GCS_COMPATTR) {
    LONG bytes =
        WinApi.imm.ImmGetCompositionStringA(context, GCS_COMPATTR, Ime().attributes, sizeof(Ime().attributes));
    Ime().attributeCount = ImeLength(bytes, sizeof(Ime().attributes));
  }
  if (WinApi.imm.ImmReleaseContext != nullptr) WinApi.imm.ImmReleaseContext(window, context);
  return 0;
}

void WaitForOpenStatus(HWND window) {
  long long start = GetMicrosecondCount();
  while (GetMicrosecondCount() - start < 2000)
    if (PumpWindowMessages() != 0) break;
  if (WinApi.imm.ImmGetContext == nullptr || WinApi.imm.ImmGetOpenStatus == nullptr) return;
  HIMC context = WinApi.imm.ImmGetContext(window);
  Ime().openStatus = WinApi.imm.ImmGetOpenStatus(context) ? 1 : 0;
  if (WinApi.imm.ImmReleaseContext != nullptr) WinApi.imm.ImmReleaseContext(window, context);
}

LRESULT HandleNotify(HWND window, WPARAM wParam, LPARAM lParam) {
  switch (wParam) {
    case IMN_CHANGECANDIDATE:
    case IMN_OPENCANDIDATE:
    case IMN_SETCANDIDATEPOS: {
      if (WinApi.imm.ImmGetContext == nullptr) return 0;
      HIMC context = WinApi.imm.ImmGetContext(window);
      ReadCandidateList(window, context);
      if (WinApi.imm.ImmReleaseContext != nullptr) WinApi.imm.ImmReleaseContext(window, context);
      return 0;
    }
    case IMN_CLOSECANDIDATE:
      FreeCandidateList();
      return 0;
    case IMN_SETOPENSTATUS:
      if (TextInput.inOpenStatusNotify) return 0;
      TextInput.inOpenStatusNotify = 1;
      DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
      WaitForOpenStatus(window);
      TextInput.inOpenStatusNotify = 0;
      return 0;
    default:
      return DefWindowProcA(window, WM_IME_NOTIFY, wParam, lParam);
  }
}
}  // namespace

int InitTextInput() {
  WriteLogText("文字コードバッファの初期化を行います... ");
  FreeCandidateList();
  memset(&TextInput, 0, sizeof(TextInput));
  ClearKeyInputTable();
  static const int kColors[TEXT_INPUT_COLOR_COUNT][3] = {
      {255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {255, 255, 255}, {255, 0, 0},
      {255, 255, 255}, {0, 0, 0},     {255, 255, 255}, {0, 0, 0},     {128, 128, 128},
      {255, 255, 20},  {0, 0, 0},     {255, 255, 255}, {0, 255, 255}, {255, 255, 0},
  };
  for (int i = 0; i < TEXT_INPUT_COLOR_COUNT; i++)
    TextInput.colors[i] = PackScreenColor(kColors[i][0], kColors[i][1], kColors[i][2]);
  TextInput.activeKeyInput = -1;
  TextInput.blinkStart = 0;
  TextInput.blinkPeriod = 500;
  TextInput.cursorShown = 1;
  WriteLogText("完了しました\n");
  return 0;
}

int IsInputBufferFull() {
  int write = TextInput.buffer.writeIndex, read = TextInput.buffer.readIndex;
  return write + 1 == read || (read == 0 && write == CHAR_BUFFER_SIZE);
}

int PushInputChar(unsigned char byte) {
  if (IsInputBufferFull()) return -1;
  TextInput.buffer.data[TextInput.buffer.writeIndex] = byte;
  TextInput.buffer.writeIndex = NextIndex(TextInput.buffer.writeIndex);
  return 0;
}

int PopInputChar(char out[2], int consume) {
  out[0] = out[1] = 0;
  CHAR_INPUT_BUFFER& b = TextInput.buffer;
  if (b.readIndex == b.writeIndex) return 0;
  int start = b.readIndex;
  unsigned char byte = b.data[b.readIndex];
  b.readIndex = NextIndex(b.readIndex);
  out[0] = (char)byte;
  int result = 1;
  if (!IsEditControlCode(byte) && IsDoubleByteLead(byte, GetCharSetCode())) {
    if (b.readIndex == b.writeIndex) {  // the trail byte has not arrived yet
      b.readIndex = start;
      out[0] = 0;
      return 0;
    }
    out[1] = (char)b.data[b.readIndex];
    b.readIndex = NextIndex(b.readIndex);
    result = 2;
  }
  if (!consume) b.readIndex = start;
  return result;
}

int IsEditControlCode(unsigned char byte) {
  for (int i = 0; kControlKeys[i].virtualKey != 0; i++)
    if (kControlKeys[i].code == byte) return 1;
  return 0;
}

int FindControlKeyCode(int virtualKey) {
  for (int i = 0; kControlKeys[i].virtualKey != 0; i++)
    if (kControlKeys[i].virtualKey == virtualKey) return kControlKeys[i].code;
  return 0;
}

int CountCharsInBytes(const char* text, int byteLength) {
  if (text == nullptr || byteLength < 1) return 0;
  int count = 0, at = 0;
  while (at < byteLength && text[at] != 0) {
    at += IsDoubleByteLead((unsigned char)text[at], GetCharSetCode()) && text[at + 1] != 0 ? 2 : 1;
    count++;
  }
  return count;
}

int SetImeEnabled(int on) {
  on = on != 0;
  if (Ime().enabled == on) return 0;
  if (WinApi.user32.WINNLSEnableIME != nullptr) WinApi.user32.WINNLSEnableIME(WindowState.mainWindow, on);
  Ime().enabled = on;
  if (!on) {
    FreeCandidateList();
    Ime().composition[0] = 0;
    Ime().composing = 0;
  }
  return 0;
}

int RestartCursorBlink() {
  TextInput.blinkStart = GetMillisecondCount();
  TextInput.cursorShown = 1;
  return 0;
}

int ReadImeString(HIMC context, DWORD kind, char* out, int size) {
  out[0] = 0;
  if (WinApi.imm.ImmGetCompositionStringA == nullptr || size < 1) return 0;
  LONG bytes = WinApi.imm.ImmGetCompositionStringA(context, kind, out, (DWORD)(size - 1));
  int length = ImeLength(bytes, size - 1);
  out[length] = 0;
  return length;
}

LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Ime().used = 1;
  RestartCursorBlink();
  int laterThanXp = WindowState.osCode >= OS_CODE_VISTA;
  switch (message) {
    case WM_IME_STARTCOMPOSITION:
      Ime().compositionCursor = 0;
      Ime().composing = 1;
      if (laterThanXp && Ime().openStatus == 0) Ime().openStatus = 1;
      return 0;
    case WM_IME_ENDCOMPOSITION:
      Ime().composition[0] = 0;
      Ime().composing = 0;
      if (laterThanXp && Ime().openStatus == 1) Ime().openStatus = 0;
      return 0;
    case WM_IME_COMPOSITION:
      return HandleComposition(window, lParam);
    case WM_IME_SETCONTEXT:
      return DefWindowProcA(window, message, wParam, 0);
    case WM_IME_NOTIFY:
      return HandleNotify(window, wParam, lParam);
    default:
      return 0;
  }
}

int RunImeRestoreSteps() {
  IME_STATE& ime = Ime();
  if (ime.restoreStep < 1 || ime.restoreStep > 4) return 0;
  const auto& imm = WinApi.imm;
  if (imm.ImmGetContext == nullptr) {
    ime.restoreStep = 0;
    return 0;
  }
  HWND window = WindowState.mainWindow;
  HIMC context = imm.ImmGetContext(window);
  for (; ime.restoreStep <= 4; ime.restoreStep++) {
    switch (ime.restoreStep) {
      case 1:
        ReadImeString(context, GCS_COMPSTR, ime.savedComposition, sizeof(ime.savedComposition));
        if (imm.ImmNotifyIME != nullptr) imm.ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
        break;
      case 2:
        if (imm.ImmSetOpenStatus != nullptr) imm.ImmSetOpenStatus(context, FALSE);
        break;
      case 3:
        if (imm.ImmSetOpenStatus != nullptr) imm.ImmSetOpenStatus(context, TRUE);
        break;
      case 4:
        if (imm.ImmSetOpenStatus != nullptr) imm.ImmSetOpenStatus(context, TRUE);
        if (imm.ImmSetCompositionStringA != nullptr)
          imm.ImmSetCompositionStringA(context, SCS_SETSTR, ime.savedComposition,
                                       (DWORD)strlen(ime.savedComposition), nullptr, 0);
        break;
    }
  }
  ime.restoreStep = 0;
  if (imm.ImmReleaseContext != nullptr) imm.ImmReleaseContext(window, context);
  return 0;
}
