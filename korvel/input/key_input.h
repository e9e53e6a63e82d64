// Key-input handles (type 9): one-line text editors fed by the typed-character buffer, kept in
// a table of their own with the handle layout of the handle manager. While one is active the
// message pump runs ProcessKeyInputFrame once per pass.
#pragma once

enum {
  KEY_INPUT_MAX = 256,
};

struct KEY_INPUT_RECORD {
  int inUse;
  int checkId;
  int finished;
  int cancelled;
  int length;
  int maxLength;
  int selectionStart, selectionEnd;  // byte offsets, -1 without a selection
  int displayStart;
  int cursor;
  char* text;  // tracked block of maxLength + 1 bytes or more
  int cancelAllowed;
  int singleByteOnly;
  int numbersOnly;
  int doubleByteOnly;
};

struct KEY_INPUT_TABLE {
  KEY_INPUT_RECORD records[KEY_INPUT_MAX];
  int nextCheckId;
  char* inputString;  // clipboard text read for a paste
};

extern KEY_INPUT_TABLE KeyInputTable;

// Zeroes the table without freeing (the text-input start-up).
void ClearKeyInputTable();
KEY_INPUT_RECORD* FindKeyInputRecord(int handle);
int ProcessKeyInputFrame();
int DeleteKeyInputHandle(int handle);
int DeleteAllKeyInputHandles();
int DeleteKeyInputSelection(KEY_INPUT_RECORD* record);
