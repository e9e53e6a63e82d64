#include "input/key_input.h"

#include <cstring>

#include "core/memory.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "input/text_input.h"
#include "korvel.h"
#include "system/base/window_state.h"

KEY_INPUT_TABLE KeyInputTable;

namespace {
const int kTypeBits = 0x2400;  // handle type 9 above the ten check-id bits

int IsLead(const char* text, int at) { return IsDoubleByteLead((unsigned char)text[at], GetCharSetCode()); }

// Whether the byte before position at (at > 1) is the trail byte of a double-byte character.
int EndsWithDoubleByte(const KEY_INPUT_RECORD& r, int at) {
  return at > 1 && GetByteKind(r.text, at - 1, GetCharSetCode()) == 2;
}

int ShiftDown() { return IsKeyDown(0x2A) || IsKeyDown(0x36); }

void ClearSelection(KEY_INPUT_RECORD& r) { r.selectionStart = r.selectionEnd = -1; }
int HasSelection(const KEY_INPUT_RECORD& r) { return r.selectionStart != -1 && r.selectionStart != r.selectionEnd; }

void RemoveBytes(KEY_INPUT_RECORD& r, int at, int n) {
  memmove(r.text + at, r.text + at + n, (size_t)(r.length - at - n + 1));
  r.length -= n;
}

void CopySelection(const KEY_INPUT_RECORD& r) {
  int lower = r.selectionStart < r.selectionEnd ? r.selectionStart : r.selectionEnd;
  int upper = r.selectionStart < r.selectionEnd ? r.selectionEnd : r.selectionStart;
  char* copy = (char*)AllocTracked((size_t)(upper - lower + 1), "", 0);
  if (copy == nullptr) return;
  memcpy(copy, r.text + lower, (size_t)(upper - lower));
  copy[upper - lower] = 0;
  WriteClipboardText(copy);
  FreeTracked(copy);
}

// Reads the clipboard and pushes its characters into the typed-character buffer. Control
// bytes (line breaks, and the editing codes that would paste again) are left out; a
// double-byte character goes in whole or not at all.
void PasteClipboard() {
  int size = ReadClipboardText(nullptr, 0);
  if (size <= 0) return;
  FreeTracked(KeyInputTable.inputString);
  KeyInputTable.inputString = (char*)AllocTracked((size_t)size + 1, "", 0);
  char* text = KeyInputTable.inputString;
  if (text == nullptr || ReadClipboardText(text, size + 1) != 0) return;
  for (int at = 0; text[at] != 0;) {
    unsigned char byte = (unsigned char)text[at];
    if (IsLead(text, at) && text[at + 1] != 0) {
      if (IsInputBufferFull()) break;
      PushInputChar(byte);
      if (PushInputChar((unsigned char)text[at + 1]) == -1) break;
      at += 2;
      continue;
    }
    at++;
    if (byte < 0x20 || byte == 0x7F) continue;
    if (PushInputChar(byte) == -1) break;
  }
}

int Accepts(const KEY_INPUT_RECORD& r, const char* character, int n) {
  if (r.numbersOnly) {
    if (n != 1) return 0;
    char c = character[0];
    if (c >= '0' && c <= '9') return 1;
    if (c == '-') return r.cursor == 0;
    if (c == '.') return strchr(r.text, '.') == nullptr;
    return 0;
  }
  if (r.singleByteOnly && n == 2) return 0;
  if (r.doubleByteOnly && n == 1) return 0;
  return 1;
}

// Removes the last character of the text (the cursor goes with it when it stood at the end).
void DropLastCharacter(KEY_INPUT_RECORD& r) {
  int n = EndsWithDoubleByte(r, r.length) ? 2 : 1;
  int atEnd = r.cursor == r.length;
  r.length -= n;
  r.text[r.length] = 0;
  if (atEnd || r.cursor > r.length) r.cursor = r.length;
}

void InsertCharacter(KEY_INPUT_RECORD& r, const char* character, int n) {
  DeleteKeyInputSelection(&r);
  if (!Accepts(r, character, n)) return;
  if (n > r.maxLength) return;  // could never fit: refused rather than emptying the text
  while (r.length + n > r.maxLength) DropLastCharacter(r);
  memmove(r.text + r.cursor + n, r.text + r.cursor, (size_t)(r.length - r.cursor + 1));
  memcpy(r.text + r.cursor, character, (size_t)n);
  r.cursor += n;
  r.length += n;
}

void MoveCursor(KEY_INPUT_RECORD& r, int step) {
  if (ShiftDown()) {
    if (r.selectionStart == -1) r.selectionStart = r.cursor;
    r.cursor += step;
    r.selectionEnd = r.cursor;
  } else {
    r.cursor += step;
    ClearSelection(r);
  }
}

void JumpCursor(KEY_INPUT_RECORD& r, int to) {
  if (ShiftDown()) {
    if (r.selectionStart == -1) r.selectionStart = r.cursor;
    r.selectionEnd = to;
  } else {
    ClearSelection(r);
  }
  r.cursor = to;
}

void Finish(KEY_INPUT_RECORD& r, int cancelled) {
  r.finished = 1;
  r.cancelled = cancelled;
  TextInput.activeKeyInput = -1;
}

void ApplyCharacter(KEY_INPUT_RECORD& r, const char* character, int n) {
  unsigned char code = n == 1 ? (unsigned char)character[0] : 0;
  switch (n == 1 ? code : -1) {
    case 3:
      if (HasSelection(r)) CopySelection(r);
      return;
    case 8:
      if (HasSelection(r)) {
        DeleteKeyInputSelection(&r);
      } else if (r.cursor > 0) {
        int count = EndsWithDoubleByte(r, r.cursor) ? 2 : 1;
        r.cursor -= count;
        RemoveBytes(r, r.cursor, count);
      }
      return;
    case 9: case 30: case 31:
      return;
    case 13:
      Finish(r, 0);
      return;
    case 16:
      if (HasSelection(r)) {
        if (ShiftDown()) CopySelection(r);
        DeleteKeyInputSelection(&r);
      } else if (r.cursor < r.length) {
        RemoveBytes(r, r.cursor, IsLead(r.text, r.cursor) && r.cursor + 1 < r.length ? 2 : 1);
      }
      return;
    case 22:
      PasteClipboard();
      return;
    case 24:
      if (HasSelection(r)) {
        CopySelection(r);
        DeleteKeyInputSelection(&r);
      }
      return;
    case 25:
      JumpCursor(r, r.length);
      return;
    case 26:
      JumpCursor(r, 0);
      return;
    case 27:
      if (r.cancelAllowed) Finish(r, 1);
      return;
    case 28:
      if (r.cursor < r.length) MoveCursor(r, IsLead(r.text, r.cursor) && r.cursor + 1 < r.length ? 2 : 1);
      return;
    case 29:
      if (r.cursor > 0) MoveCursor(r, EndsWithDoubleByte(r, r.cursor) ? -2 : -1);
      return;
    default:
      InsertCharacter(r, character, n);
  }
}

// Keeps the IME composition within the room the text has left (when a limit is set).
void LimitComposition(const KEY_INPUT_RECORD& r) {
  IME_STATE& ime = TextInput.ime;
  int compositionLength = (int)strlen(ime.composition);
  int room = 0x10000, limited = 0;
  if (ime.compositionLimit && r.length + compositionLength > r.maxLength) {
    room = r.maxLength - r.length;
    limited = 1;
  }
  if (ime.compositionMax > 0 && compositionLength > ime.compositionMax) {
    if (ime.compositionMax < room) room = ime.compositionMax;
    limited = 1;
  }
  if (!limited || WinApi.imm.ImmGetContext == nullptr) return;
  HWND window = WindowState.mainWindow;
  HIMC context = WinApi.imm.ImmGetContext(window);
  char text[IME_STRING_SIZE + 1];
  int length = ReadImeString(context, GCS_COMPSTR, text, sizeof(text));
  if (length > room) {
    int cut = 0;
    while (cut < length) {
      int n = IsLead(text, cut) && cut + 1 < length ? 2 : 1;
      if (cut + n > room) break;
      cut += n;
    }
    text[cut] = 0;
    if (WinApi.imm.ImmNotifyIME != nullptr) WinApi.imm.ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
    if (WinApi.imm.ImmSetCompositionStringA != nullptr)
      WinApi.imm.ImmSetCompositionStringA(context, SCS_SETSTR, text, (DWORD)cut, nullptr, 0);
  }
  if (WinApi.imm.ImmReleaseContext != nullptr) WinApi.imm.ImmReleaseContext(window, context);
}
}  // namespace

void ClearKeyInputTable() {
  int nextCheckId = KeyInputTable.nextCheckId;
  memset(&KeyInputTable, 0, sizeof(KeyInputTable));
  KeyInputTable.nextCheckId = nextCheckId;
}

KEY_INPUT_RECORD* FindKeyInputRecord(int handle) {
  if (handle < 0 || (handle >> 26 & 0x1F) != 9) return nullptr;
  int index = handle & 0xFFFF;
  if (index >= KEY_INPUT_MAX) return nullptr;
  KEY_INPUT_RECORD* r = &KeyInputTable.records[index];
  if (!r->inUse || r->checkId != (handle >> 16 & 0x3FF)) return nullptr;
  return r;
}

int ProcessKeyInputFrame() {
  RunImeRestoreSteps();
  if (TextInput.activeKeyInput == -1) return 0;
  KEY_INPUT_RECORD* r = FindKeyInputRecord(TextInput.activeKeyInput);
  if (r == nullptr) return -1;
  if (r->finished) return 0;
  LimitComposition(*r);
  char character[2];
  while (!r->finished) {
    int n = PopInputChar(character, 1);
    if (n == 0) break;
    RestartCursorBlink();
    ApplyCharacter(*r, character, n);
  }
  if (r->displayStart > r->length) r->displayStart = r->length;
  return 0;
}

int DeleteKeyInputSelection(KEY_INPUT_RECORD* r) {
  if (r->selectionStart == -1) return 0;
  int lower = r->selectionStart < r->selectionEnd ? r->selectionStart : r->selectionEnd;
  int upper = r->selectionStart < r->selectionEnd ? r->selectionEnd : r->selectionStart;
  r->cursor = lower;
  memmove(r->text + lower, r->text + upper, (size_t)(r->length - upper));
  r->length -= upper - lower;
  r->text[r->length] = 0;
  ClearSelection(*r);
  if (r->displayStart > r->length) r->displayStart = r->length;
  return 0;
}

int DeleteKeyInputHandle(int handle) {
  KEY_INPUT_RECORD* r = FindKeyInputRecord(handle);
  if (r == nullptr) return -1;
  FreeTracked(r->text);
  memset(r, 0, sizeof(*r));
  if (TextInput.activeKeyInput == handle) TextInput.activeKeyInput = -1;
  for (const KEY_INPUT_RECORD& other : KeyInputTable.records)
    if (other.inUse) return 0;
  SetImeEnabled(0);
  return 0;
}

int DeleteAllKeyInputHandles() {
  for (int i = 0; i < KEY_INPUT_MAX; i++) {
    KEY_INPUT_RECORD& r = KeyInputTable.records[i];
    if (r.inUse) DeleteKeyInputHandle(i | (r.checkId | kTypeBits) << 16);
  }
  FreeTracked(KeyInputTable.inputString);
  KeyInputTable.inputString = nullptr;
  TextInput.activeKeyInput = -1;
  return 0;
}

int MakeKeyInput(int maxLength, int flags) {
  if (maxLength < 1 || maxLength > 0x100000) return -1;
  int index = 0;
  while (index < KEY_INPUT_MAX && KeyInputTable.records[index].inUse) index++;
  if (index == KEY_INPUT_MAX) return -1;
  char* text = (char*)AllocTrackedZeroed((size_t)maxLength + 1, "", 0);
  if (text == nullptr) return -1;
  KEY_INPUT_RECORD& r = KeyInputTable.records[index];
  memset(&r, 0, sizeof(r));
  r.inUse = 1;
  r.checkId = KeyInputTable.nextCheckId;
  KeyInputTable.nextCheckId = KeyInputTable.nextCheckId >= 1022 ? 0 : KeyInputTable.nextCheckId + 1;
  r.maxLength = maxLength;
  r.text = text;
  ClearSelection(r);
  r.cancelAllowed = (flags & 1) != 0;
  r.singleByteOnly = (flags & 2) != 0;
  r.numbersOnly = (flags & 4) != 0;
  r.doubleByteOnly = (flags & 8) != 0;
  return index | (r.checkId | kTypeBits) << 16;
}

int SetActiveKeyInput(int handle) {
  if (handle == -1) {
    TextInput.activeKeyInput = -1;
    return 0;
  }
  KEY_INPUT_RECORD* r = FindKeyInputRecord(handle);
  if (r == nullptr) return -1;
  r->finished = r->cancelled = 0;
  TextInput.activeKeyInput = handle;
  SetImeEnabled(1);
  return 0;
}

int GetKeyInputText(int handle, char* buffer, int size) {
  KEY_INPUT_RECORD* r = FindKeyInputRecord(handle);
  if (r == nullptr || buffer == nullptr || size < 1) return -1;
  int n = r->length < size - 1 ? r->length : size - 1;
  memcpy(buffer, r->text, (size_t)n);
  buffer[n] = 0;
  return r->length;
}

int GetKeyInputStatus(int handle) {
  KEY_INPUT_RECORD* r = FindKeyInputRecord(handle);
  if (r == nullptr) return -1;
  return r->cancelled ? 2 : r->finished ? 1 : 0;
}
