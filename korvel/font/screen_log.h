// The on-screen log: a text area of SCREEN_LOG_LINES lines drawn over the screen in a font of
// its own (white with a black edge, one line every SCREEN_LOG_LINE_HEIGHT pixels). The library
// starts it at the end of its start-up and ends it at the start of its shut-down; the screen
// flip draws it only while it is shown.
#pragma once

enum {
  SCREEN_LOG_LINES = 80,
  SCREEN_LOG_LINE_BYTES = 255,
  SCREEN_LOG_LINE_HEIGHT = 16,
};

struct SCREEN_LOG_STATE {
  int started;
  int font;         // font handle, -1 when none
  int fontDeleted;  // 1 when the font handle is gone; the font layer writes 1 when it is deleted
  int fontSize;
  int shown;
  char text[SCREEN_LOG_LINES][SCREEN_LOG_LINE_BYTES];
};

extern SCREEN_LOG_STATE ScreenLogState;

int StartScreenLog();
int CanStartScreenLog();
int CreateScreenLogFont();
int DrawScreenLog();
int IsScreenLogShown();
int EndScreenLog();
// The number of lines a main screen of this height shows: height / 16, at most 80.
int CountScreenLogLines(int screenHeight);
