#include "font/screen_log.h"

#include <cstring>

#include "core/handles.h"
#include "font/font_handles.h"
#include "graphics/device/d3d_calls.h"
#include "korvel.h"
#include "system/base/window_state.h"

SCREEN_LOG_STATE ScreenLogState = {0, -1, 1, SCREEN_LOG_LINE_HEIGHT, 0, {{0}}};

namespace {
const int kFontSize = 16;
const int kFontThickness = 4;
const int kFontTypeEdged = 1;
}  // namespace

int CanStartScreenLog() {
  return GetDirectDrawObject() != nullptr && WindowState.mainWindow != nullptr ? 1 : 0;
}

int StartScreenLog() {
  if (!CanStartScreenLog()) return -1;
  if (ScreenLogState.started) return 0;
  ScreenLogState.started = 1;
  ScreenLogState.fontSize = kFontSize;
  ScreenLogState.font = -1;
  ScreenLogState.fontDeleted = 1;
  CreateScreenLogFont();
  ScreenLogState.shown = 0;
  memset(ScreenLogState.text, 0, sizeof(ScreenLogState.text));
  return 0;
}

int CreateScreenLogFont() {
  if (!ScreenLogState.started && StartScreenLog() == -1) return 0;
  if (!ScreenLogState.fontDeleted) return 0;
  FONT_CREATE_OPTIONS options;
  CopyFontCreateOptions(&options);
  int font = MakeFontHandle(&options, nullptr, ScreenLogState.fontSize, kFontThickness, kFontTypeEdged, -1, -1, 0, -1, 0);
  // A font that could not be made leaves the log without one: the next draw tries again
  // instead of drawing with, and later deleting, handle -1.
  if (font == -1) return 0;
  ScreenLogState.font = font;
  ScreenLogState.fontDeleted = 0;
  SetFontDeletedFlag(font, &ScreenLogState.fontDeleted);
  return 0;
}

int CountScreenLogLines(int screenHeight) {
  int lines = screenHeight / SCREEN_LOG_LINE_HEIGHT;
  if (lines > SCREEN_LOG_LINES) lines = SCREEN_LOG_LINES;
  return lines < 0 ? 0 : lines;
}

int DrawScreenLog() {
  if (!ScreenLogState.started && StartScreenLog() == -1) return 0;
  CreateScreenLogFont();
  if (ScreenLogState.fontDeleted) return 0;
  int height = 0;
  QueryMainScreenSize(nullptr, &height);
  int lines = CountScreenLogLines(height);
  unsigned int white = PackScreenColor(255, 255, 255);
  unsigned int black = PackScreenColor(0, 0, 0);
  for (int i = 0; i < lines; i++)
    DrawTextWithFont(0, i * SCREEN_LOG_LINE_HEIGHT, ScreenLogState.text[i], white, ScreenLogState.font, black, 0);
  return 0;
}

int IsScreenLogShown() { return ScreenLogState.shown; }

int EndScreenLog() {
  if (!ScreenLogState.started) return 0;
  if (!ScreenLogState.fontDeleted) DeleteHandle(ScreenLogState.font);
  ScreenLogState.fontDeleted = 1;
  ScreenLogState.font = -1;
  ScreenLogState.started = 0;
  return 0;
}
