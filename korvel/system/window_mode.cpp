#include "window_mode.h"

#include "core/log.h"
#include "graphics/device/screen.h"
#include "graphics/lifecycle/screen_mode.h"
#include "korvel.h"
#include "layered_window.h"
#include "library.h"
#include "window_services.h"
#include "window_state.h"

namespace {
const WINDOW_STYLE_ROW kStyleTable[11] = {
    {0x80CA0000, 0x300, WS_POPUP, WS_EX_TOPMOST}, {0x80080000, 0x300, WS_POPUP, WS_EX_TOPMOST},
    {0x80080000, 0x000, WS_POPUP, WS_EX_TOPMOST}, {0x80CA0000, 0x080, WS_POPUP, WS_EX_TOPMOST},
    {0x80080000, 0x080, WS_POPUP, WS_EX_TOPMOST}, {0x80C80000, 0x100, WS_POPUP, WS_EX_TOPMOST},
    {0x80CA0000, 0x300, WS_POPUP, WS_EX_TOPMOST}, {0x80CB0000, 0x300, WS_POPUP, WS_EX_TOPMOST},
    {0x81CB0000, 0x300, WS_POPUP, WS_EX_TOPMOST}, {0x80CA0000, 0x100, WS_POPUP, WS_EX_TOPMOST},
    {0x81CB0000, 0x100, WS_POPUP, WS_EX_TOPMOST},
};

void NormaliseScale() {
  if (WindowState.scaleX <= 0) WindowState.scaleX = 1;
  if (WindowState.scaleY <= 0) WindowState.scaleY = 1;
}

// The client size the settings call for: the main screen size times the window scale.
void ScaledClientSize(int* width, int* height) {
  int baseWidth, baseHeight;
  GetWindowBaseSize(&baseWidth, &baseHeight);
  double sx, sy;
  GetWindowScale(&sx, &sy);
  *width = (int)(baseWidth * sx);
  *height = (int)(baseHeight * sy);
}

// True when the display-mode list holds this width and height (any depth and refresh).
bool IsDisplaySizeListed(int width, int height) {
  for (int i = 0, n = CountDisplayModes(); i < n; i++) {
    DISPLAY_MODE mode = GetDisplayModeRecord(i);
    if (mode.width == width && mode.height == height) return true;
  }
  return false;
}

void ApplyWindowedStyle() {
  HWND window = WindowState.mainWindow;
  WriteLogText("ウインドウスタイルをウインドウモード用に変更します... ");
  const WINDOW_STYLE_ROW& row = GetWindowStyleRow(WindowState.styleMode);
  DWORD style = GetWindowedStyle();
  SetWindowLongA(window, GWL_EXSTYLE, (LONG)(row.windowedExStyle | GetLayeredExStyle()));
  SetWindowLongA(window, GWL_STYLE, (LONG)style);
  int width, height;
  if (WindowState.keepClientSize == 1) {
    RECT client;
    GetClientRect(window, &client);
    width = client.right - client.left;
    height = client.bottom - client.top;
  } else {
    ScaledClientSize(&width, &height);
  }
  RECT frame = {0, 0, width, height};
  AdjustWindowRectEx(&frame, style, FALSE, row.windowedExStyle);
  int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
  int x = (WindowState.desktopWidth - frameWidth) / 2, y = (WindowState.desktopHeight - frameHeight) / 2;
  if (WindowState.userPositionInUse) {
    x = WindowState.userPositionX;
    y = WindowState.userPositionY;
  }
  SetWindowPos(window, HWND_NOTOPMOST, x, y, frameWidth, frameHeight, 0);
  SetWindowPos(window, HWND_TOP, x, y, frameWidth, frameHeight, 0);
  UpdateClientScreenRect(window);
  POINT topLeft = {WindowState.clientRect.left, WindowState.clientRect.top};
  if ((topLeft.x < 0 || topLeft.y < 0) && !WindowState.userPositionInUse) {
    int dx = topLeft.x < 0 ? -topLeft.x : 0, dy = topLeft.y < 0 ? -topLeft.y : 0;
    SetWindowPos(window, HWND_TOP, x + dx, y + dy, frameWidth, frameHeight, 0);
    OffsetRect(&WindowState.clientRect, dx, dy);
  }
  SetCursorVisible(1);
  WriteLogText("完了\n");
}

void ApplyFullscreenStyle() {
  HWND window = WindowState.mainWindow;
  WriteLogText("ウインドウスタイルをフルスクリーンモード用に変更します... ");
  int width, height;
  GetWindowBaseSize(&width, &height);
  SetWindowLongA(window, GWL_EXSTYLE, (LONG)(WS_EX_TOPMOST | GetLayeredExStyle()));
  SetWindowLongA(window, GWL_STYLE, (LONG)WS_POPUP);
  WindowState.clientRect = {0, 0, width, height};
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  SetWindowPos(window, HWND_TOPMOST, 0, 0, width, height, SWP_NOREDRAW);
  SetCursorVisible(0);
  WriteLogText("完了\n");
}

bool IsRightEdge(int edge) { return edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT; }
bool IsLeftEdge(int edge) { return edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT; }
bool IsBottomEdge(int edge) { return edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT; }
bool IsTopEdge(int edge) { return edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT; }
}  // namespace

const WINDOW_STYLE_ROW& GetWindowStyleRow(int mode) {
  if (mode < 0 || mode > 10) mode = 0;
  return kStyleTable[mode];
}

DWORD GetWindowedStyle() {
  DWORD style = GetWindowStyleRow(WindowState.styleMode).windowedStyle;
  if (WindowState.shownOnce == 1) style |= WS_VISIBLE;
  if (WindowState.resizable == 1) style |= WS_THICKFRAME;
  return style;
}

// The window shows the main screen, or the 640 x 480 that an emulated small screen is drawn on.
void GetWindowBaseSize(int* width, int* height) {
  if (IsSmallScreenEmulated()) {
    *width = 640;
    *height = 480;
    return;
  }
  QueryMainScreenSize(width, height);
}

int SetWindowedFlag(int flag) {
  WindowState.windowedMode = flag;
  WriteLogText(flag == 1 ? "ウインドウモードフラグが立てられました\n" : "ウインドウモードフラグが倒されました\n");
  return 0;
}

int IsWindowedMode() { return WindowState.windowedMode; }

int ChangeWindowMode(int windowed) {
  WriteLogText("ChangeWindowMode実行 \n");
  windowed = windowed != 0 ? 1 : 0;
  if (windowed == WindowState.windowedMode) return 0;
  if (windowed == 0 && WindowState.mainWindow != nullptr) {
    int width, height;
    QueryMainScreenSize(&width, &height);
    bool small = width == 320 && height == 240;
    // A size the display does not list is refused, but for 320 x 240, which a device
    // emulates on 640 x 480.
    if (!IsDisplaySizeListed(width, height) && !(small && IsHardwareRenderingWanted())) return -1;
    if (small) {
      SetSmallScreenEmulation(1);
      StoreMainScreenSize(640, 480);
    }
  }
  WindowState.shownOnce = 1;
  SetWindowedFlag(windowed);
  if (WindowState.mainWindow == nullptr) return 0;
  WindowState.modeChanging = 1;
  ApplyWindowStyleForMode();
  // Graphics start again in the new mode with the same size, depth and refresh rate.
  int result = ChangeScreenMode(-1, -1, -1, 1, -1);
  WindowState.modeChanging = 0;
  return result;
}

int ApplyWindowStyleForMode() {
  HWND window = WindowState.mainWindow;
  if (window == nullptr) return 0;
  if (WindowState.windowedMode)
    ApplyWindowedStyle();
  else
    ApplyFullscreenStyle();
  SetActiveWindow(window);
  PostMessageA(window, WM_SETCURSOR, (WPARAM)window, 0);
  return 0;
}

int SetWindowResizeOptions(int resizable, int scalePicture) {
  int keep = scalePicture == 1 ? 0 : 1;
  bool changed = resizable != WindowState.resizable || keep != WindowState.keepClientSize;
  WindowState.resizable = resizable;
  WindowState.keepClientSize = keep;
  if (changed && WindowState.windowedMode) ApplyWindowStyleForMode();
  return 0;
}

int SetWindowScale(double x, double y) {
  if (y <= 0) y = x;
  if (x == WindowState.scaleX && y == WindowState.scaleY) return 0;
  WindowState.scaleX = x <= 0 ? 1 : x;
  WindowState.scaleY = y <= 0 ? 1 : y;
  if (WindowState.windowedMode) ApplyWindowStyleForMode();
  return 0;
}

double GetWindowScale(double* x, double* y) {
  NormaliseScale();
  double sx = 1, sy = 1;
  if (WindowState.windowedMode) {
    sx = WindowState.scaleX;
    sy = WindowState.scaleY;
  }
  if (x != nullptr) *x = sx;
  if (y != nullptr) *y = sy;
  return sx;
}

int SetWindowStartPosition(int x, int y) {
  WindowState.userPositionX = x;
  WindowState.userPositionY = y;
  WindowState.userPositionInUse = 1;
  FitWindowToScreen();
  return 0;
}

int FitWindowToScreen() {
  HWND window = WindowState.mainWindow;
  if (window == nullptr) return 0;
  int targetWidth, targetHeight;
  ScaledClientSize(&targetWidth, &targetHeight);
  RECT frame, client;
  GetWindowRect(window, &frame);
  if (!GetClientRect(window, &client)) return 0;
  int clientWidth = client.right - client.left, clientHeight = client.bottom - client.top;
  WindowState.clientRect.right = WindowState.clientRect.left + clientWidth;
  WindowState.clientRect.bottom = WindowState.clientRect.top + clientHeight;
  int newWidth = targetWidth, newHeight = targetHeight;
  if (WindowState.keepClientSize == 1) {
    newWidth = clientWidth < targetWidth ? clientWidth : targetWidth;
    newHeight = clientHeight < targetHeight ? clientHeight : targetHeight;
  }
  int left = frame.left, top = frame.top;
  int width = frame.right - frame.left + newWidth - clientWidth;
  int height = frame.bottom - frame.top + newHeight - clientHeight;
  if (WindowState.userPositionInUse) {
    left = WindowState.userPositionX;
    top = WindowState.userPositionY;
    if (!LibraryFlags.starting) WindowState.userPositionInUse = 0;
  }
  MoveWindow(window, left, top, width, height, TRUE);
  if (WindowState.windowedMode && WindowState.shownOnce == 0) {
    WindowState.shownOnce = 1;
    ApplyWindowStyleForMode();
  }
  return 0;
}

void CorrectSizingRect(int edge, RECT* p) {
  int fw = (WindowState.windowRect.right - WindowState.windowRect.left) -
           (WindowState.clientRect.right - WindowState.clientRect.left);
  int fh = (WindowState.windowRect.bottom - WindowState.windowRect.top) -
           (WindowState.clientRect.bottom - WindowState.clientRect.top);
  int cw = p->right - p->left - fw, ch = p->bottom - p->top - fh;
  if (cw + fw > WindowState.desktopWidth) cw = WindowState.desktopWidth - fw;
  if (ch + fh > WindowState.desktopHeight) ch = WindowState.desktopHeight - fh;
  int sw, sh;
  GetWindowBaseSize(&sw, &sh);
  if (WindowState.keepClientSize == 1) {
    int limitWidth, limitHeight;
    ScaledClientSize(&limitWidth, &limitHeight);
    if (cw > limitWidth) {
      if (IsRightEdge(edge)) p->right = p->left + limitWidth + fw;
      else p->left = p->right - limitWidth - fw;
    }
    if (ch > limitHeight) {
      if (IsBottomEdge(edge)) p->bottom = p->top + limitHeight + fh;
      else p->top = p->bottom - limitHeight - fh;
    }
    return;
  }
  bool corner = !(edge == WMSZ_LEFT || edge == WMSZ_RIGHT || edge == WMSZ_TOP || edge == WMSZ_BOTTOM);
  bool widthDriven = edge == WMSZ_LEFT || edge == WMSZ_RIGHT ||
                     (corner && (double)ch / sh >= (double)cw / sw);
  double scale;
  if (widthDriven) {
    if (cw + fw > WindowState.desktopWidth) cw = WindowState.desktopWidth - fw;
    scale = (double)cw / sw;
    ch = cw * sh / sw;
  } else {
    if (ch + fh > WindowState.desktopHeight) ch = WindowState.desktopHeight - fh;
    scale = (double)ch / sh;
    cw = ch * sw / sh;
  }
  if (cw < 128 || ch < 128) {
    if (sw > sh) {
      ch = 128;
      cw = sw * 128 / sh;
    } else {
      cw = 128;
      ch = sh * 128 / sw;
    }
    scale = (double)cw / sw;
  }
  WindowState.scaleX = WindowState.scaleY = scale;
  if (IsLeftEdge(edge)) p->left = p->right - cw - fw;
  else p->right = p->left + cw + fw;
  if (IsTopEdge(edge)) p->top = p->bottom - ch - fh;
  else p->bottom = p->top + ch + fh;
}

void UpdateClientScreenRect(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  POINT topLeft = {client.left, client.top}, bottomRight = {client.right, client.bottom};
  ClientToScreen(window, &topLeft);
  ClientToScreen(window, &bottomRight);
  WindowState.clientRect = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}
