// Typed text: the ring of typed bytes that the window procedure fills (characters, editing
// key codes, finished IME compositions) and the key-input editor empties, and the IME state
// read through the Imm32 functions of the run-time table. The system's own IME windows are
// hidden; what is kept here is what a program draws instead.
#pragma once
#include <windows.h>

#include <cstdint>

enum {
  CHAR_BUFFER_SIZE = 1024,       // bytes that fit; one slot of the ring always stays free
  IME_STRING_SIZE = 1024,
  IME_CLAUSE_MAX = 1024,
  TEXT_INPUT_COLOR_COUNT = 15,
};

struct CHAR_INPUT_BUFFER {
  unsigned char data[CHAR_BUFFER_SIZE + 1];
  int writeIndex;
  int readIndex;
};

struct IME_STATE {
  int enabled;
  int openStatus;
  int composing;
  char composition[IME_STRING_SIZE + 1];
  int compositionCursor;  // in characters
  uint32_t clauseOffsets[IME_CLAUSE_MAX];
  int clauseCount;
  unsigned char attributes[IME_STRING_SIZE];
  int attributeCount;
  CANDIDATELIST* candidateList;  // tracked block, null when none
  int candidateListSize;         // bytes, 0 when none
  int used;
  int restoreStep;  // 0 none, 1-4 the next restore step after activation
  char savedComposition[IME_STRING_SIZE + 1];
  int compositionLimit;  // switch and maximum in bytes; kept at 0 here
  int compositionMax;
};

struct TEXT_INPUT_STATE {
  CHAR_INPUT_BUFFER buffer;
  IME_STATE ime;
  int activeKeyInput;  // -1 when none
  int blinkStart;      // ms
  int blinkPeriod;
  int cursorShown;
  unsigned int colors[TEXT_INPUT_COLOR_COUNT];  // for a drawing layer of input text
  int inOpenStatusNotify;
};

extern TEXT_INPUT_STATE TextInput;

int InitTextInput();
int PushInputChar(unsigned char byte);
int PopInputChar(char out[2], int consume);
int IsInputBufferFull();
int IsEditControlCode(unsigned char byte);
// The editing code of a virtual key, 0 when the key has none.
int FindControlKeyCode(int virtualKey);
int CountCharsInBytes(const char* text, int byteLength);
int SetImeEnabled(int on);
LRESULT HandleImeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int RestartCursorBlink();
// Runs the pending IME restore steps after an activation (from the key-input frame).
int RunImeRestoreSteps();
// Reads the IME's composition string into out (size bytes with the terminator); the length.
int ReadImeString(HIMC context, DWORD kind, char* out, int size);
