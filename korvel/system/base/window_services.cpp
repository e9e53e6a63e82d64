#include "system/base/window_services.h"

#include <commctrl.h>
#include <shellapi.h>

#include "core/memory.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "korvel.h"
#include "system/base/library_flags.h"
#include "system/base/window_mode.h"
#include "system/base/window_state.h"

namespace {
const int kMenuAreaHeight = 60;
const int kMenuItemMax = 128;

struct MENU_ITEM {
  HMENU menu;
  int position;
  int id;
  char name[128];
};

// The menu and toolbar tables; no menu or toolbar is created by this library, so they stay
// empty unless a program attaches one.
struct MENU_TABLES {
  int itemCount;
  MENU_ITEM items[kMenuItemMax];
  int buttonCount;
  TBBUTTON buttons[64];
};
MENU_TABLES MenuTables;

// 1 for a separator, 0 with the name, -1 on failure.
int ReadMenuItem(HMENU menu, MENUITEMINFOA* info, int position, char* name, int nameSize) {
  ZeroMemory(info, sizeof(*info));
  info->cbSize = sizeof(*info);
  info->fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
  info->dwTypeData = name;
  info->cch = (UINT)(nameSize - 1);
  name[0] = 0;
  if (!GetMenuItemInfoA(menu, (UINT)position, TRUE, info)) return -1;
  return (info->fType & MFT_SEPARATOR) ? 1 : 0;
}
}  // namespace

HWND GetMainWindow() { return WindowState.mainWindow; }
HWND GetOutputWindow() { return WindowState.mainWindow; }

int SetWindowTitleText(const char* text) {
  // Bounded: a longer title is cut at 255 characters.
  int length = 0;
  while (text[length] != 0 && length < (int)sizeof(WindowState.windowTitle) - 1) length++;
  CopyMemoryBytes(WindowState.windowTitle, text, (size_t)length);
  WindowState.windowTitle[length] = 0;
  if (WindowState.mainWindow != nullptr) SetWindowTextA(WindowState.mainWindow, WindowState.windowTitle);
  return 0;
}

int ApplyWindowIcon(int resourceId) {
  WindowState.iconId = resourceId;
  if (WindowState.mainWindow == nullptr) return 0;
  HICON icon = resourceId != 0 ? LoadIconA(WindowState.instance, MAKEINTRESOURCEA(resourceId))
                               : LoadIconA(nullptr, IDI_APPLICATION);
  SetClassLongPtrA(WindowState.mainWindow, GCLP_HICON, (LONG_PTR)icon);
  return 0;
}

int SetRunWhileInactive(int flag) {
  WindowState.runWhileInactive = flag;
  return 0;
}

int IsRunWhileInactive() { return WindowState.runWhileInactive; }

int AllowMultipleInstances(int flag) {
  WindowState.allowMultipleInstances = flag;
  return 0;
}

int IsWindowActive() { return WindowState.active; }
int IsWindowClosing() { return WindowState.closing; }

int GetWindowTopLeft(int* x, int* y) {
  RECT rect = {};
  GetWindowRect(WindowState.mainWindow, &rect);
  if (x != nullptr) *x = rect.left;
  if (y != nullptr) *y = rect.top;
  return 0;
}

int SetDesktopComposition(int enable) {
  int off = enable ? 0 : 1;
  if (off == WindowState.compositionOff) return 0;
  if (WinApi.dwmapi.DwmEnableComposition != nullptr) WinApi.dwmapi.DwmEnableComposition(enable ? 1 : 0);
  WindowState.compositionOff = off;
  return 0;
}

int EnableAsyncLoading(int flag) {
  LibraryFlags.useAsyncLoading = flag;
  return 0;
}

int IsAsyncLoadingEnabled() { return LibraryFlags.useAsyncLoading != 0 ? 1 : 0; }

int ApplyDragAcceptFiles() {
  DragAcceptFiles(WindowState.mainWindow, WindowState.dragAcceptFiles ? TRUE : FALSE);
  return 0;
}

int ClearDroppedFiles() {
  for (int i = 0; i < WindowState.droppedFileCount; i++) {
    FreeTracked(WindowState.droppedFiles[i]);
    WindowState.droppedFiles[i] = nullptr;
  }
  WindowState.droppedFileCount = 0;
  return 0;
}

int GetClientScreenRect(RECT* out) {
  *out = WindowState.clientRect;
  int toolbar = MeasureToolbarHeight();
  out->top += toolbar;
  out->bottom += toolbar;
  return 0;
}

int ReadClipboardText(char* buffer, int bufferSize) {
  if (!OpenClipboard(WindowState.mainWindow)) return -1;
  HANDLE data = IsClipboardFormatAvailable(CF_TEXT) ? GetClipboardData(CF_TEXT) : nullptr;
  if (data == nullptr) {
    CloseClipboard();
    return -1;
  }
  int result = 0;
  if (buffer == nullptr) {
    result = (int)GlobalSize(data) + 1;
  } else if (bufferSize > 0) {
    // The clipboard may have changed since the caller asked for the size: copy at most what
    // both the block and the buffer hold, and always terminate.
    const char* text = (const char*)GlobalLock(data);
    size_t limit = GlobalSize(data);
    int length = 0;
    if (text != nullptr)
      while ((size_t)length < limit && length < bufferSize - 1 && text[length] != 0) {
        buffer[length] = text[length];
        length++;
      }
    buffer[length] = 0;
    GlobalUnlock(data);
  } else {
    result = -1;
  }
  CloseClipboard();
  return result;
}

int WriteClipboardText(const char* text) {
  size_t length = (size_t)GetStringLength(text);
  // The clipboard owns only movable memory; the block is ours again whenever a step fails.
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
  if (block == nullptr) return 0;
  char* dest = (char*)GlobalLock(block);
  if (dest == nullptr) {
    GlobalFree(block);
    return 0;
  }
  CopyMemoryBytes(dest, text, length + 1);
  GlobalUnlock(block);
  if (!OpenClipboard(WindowState.mainWindow)) {
    GlobalFree(block);
    return 0;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);
  CloseClipboard();
  return 0;
}

int SetCursorVisible(int flag) {
  if (flag != -1) {
    if (flag == WindowState.cursorDisplayed) {
      WindowState.cursorShown = flag;
      return 0;
    }
    WindowState.cursorShown = flag;
  }
  int show = WindowState.cursorShown == 1 ? 1 : 0;
  if (show) {
    while (ShowCursor(TRUE) < 0) {
    }
  } else {
    while (ShowCursor(FALSE) >= 0) {
    }
  }
  PostMessageA(WindowState.mainWindow, WM_SETCURSOR, (WPARAM)WindowState.mainWindow, 0);
  WindowState.cursorDisplayed = show;
  return 0;
}

int GetMousePosition(int* x, int* y) {
  POINT cursor = {};
  GetCursorPos(&cursor);
  int px = cursor.x, py = cursor.y;
  if (WindowState.windowedMode) {
    double sx, sy;
    GetWindowScale(&sx, &sy);
    px = (int)((cursor.x - WindowState.clientRect.left) / sx);
    py = (int)((cursor.y - WindowState.clientRect.top - MeasureToolbarHeight()) / sy);
  }
  if (x != nullptr) *x = px;
  if (y != nullptr) *y = py;
  return 0;
}

void RecordMouseClick(int button) {
  if (WindowState.clickCount >= CLICK_LOG_SIZE) return;
  MOUSE_CLICK& click = WindowState.clicks[WindowState.clickCount];
  click.button = button;
  GetMousePosition(&click.x, &click.y);
  WindowState.clickCount++;
}

int ForceForegroundWindow(HWND window, int topmost) {
  DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
  bool attached = foregroundThread != 0 && foregroundThread != windowThread &&
                  AttachThreadInput(foregroundThread, windowThread, TRUE);
  DWORD timeout = 0;
  SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, (PVOID)0, 0);
  SetForegroundWindow(window);
  SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, (PVOID)(UINT_PTR)timeout, 0);
  if (attached) AttachThreadInput(foregroundThread, windowThread, FALSE);
  if (topmost == 1)
    SetWindowPos(WindowState.mainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return 0;
}

void UpdateMenuAutoDisplay() {
  if (WindowState.windowedMode) return;
  POINT cursor = {};
  GetCursorPos(&cursor);
  WindowState.menuAreaHovered = cursor.y < kMenuAreaHeight ? 1 : 0;
  if (cursor.y > kMenuAreaHeight) SetCursorVisible(WindowState.cursorShown);
  SetMenuVisible(WindowState.menuUserHidden ? 0 : 1);
}

int ShouldShowMenu() {
  if (WindowState.mainWindow == nullptr || WindowState.menu == nullptr || !WindowState.menuInUse ||
      WindowState.menuUserHidden)
    return 0;
  return (WindowState.windowedMode || WindowState.menuAreaHovered) ? 1 : 0;
}

int SetMenuVisible(int flag) {
  if (WindowState.menu == nullptr || !WindowState.menuInUse) return 0;
  int before = ShouldShowMenu();
  WindowState.menuUserHidden = flag == 0 ? 1 : 0;
  int now = ShouldShowMenu();
  if (now == before) return 0;
  SetMenu(WindowState.mainWindow, now ? WindowState.menu : nullptr);
  if (WindowState.windowedMode) ApplyWindowStyleForMode();
  UpdateWindow(WindowState.mainWindow);
  return 0;
}

int CollectMenuItems(HMENU menu) {
  int count = GetMenuItemCount(menu);
  if (count < 0) return -1;
  for (int i = 0; i < count; i++) {
    MENUITEMINFOA info;
    char name[128];
    int kind = ReadMenuItem(menu, &info, i, name, sizeof(name));
    if (kind < 0) return -1;
    if (kind == 1) continue;
    if (MenuTables.itemCount < kMenuItemMax) {
      MENU_ITEM& item = MenuTables.items[MenuTables.itemCount++];
      item.menu = menu;
      item.position = i;
      item.id = (int)info.wID;
      CopyStringN(item.name, name, (int)sizeof(item.name) - 1);
    }
    if (info.hSubMenu != nullptr && CollectMenuItems(info.hSubMenu) < 0) return -1;
  }
  return 0;
}

int GetMenuItemText(int id, char* buffer, int bufferSize) {
  if (WindowState.menu == nullptr || bufferSize <= 0) return -1;
  for (int i = 0; i < MenuTables.itemCount; i++) {
    if (MenuTables.items[i].id != id) continue;
    CopyStringN(buffer, MenuTables.items[i].name, bufferSize - 1);
    return 0;
  }
  return -1;
}

int FindToolbarButton(int id) {
  for (int i = 0; i < MenuTables.buttonCount; i++)
    if (!(MenuTables.buttons[i].fsStyle & BTNS_SEP) && MenuTables.buttons[i].idCommand == id) return i;
  return -1;
}

int MeasureToolbarHeight() {
  if (WindowState.toolbar == nullptr) return 0;
  RECT rect;
  if (!GetWindowRect(WindowState.toolbar, &rect)) return 0;
  return rect.bottom - rect.top;
}

int RemoveAllToolbarButtons() {
  if (WindowState.toolbar == nullptr) return -1;
  for (int i = 0; i < MenuTables.buttonCount; i++) SendMessageA(WindowState.toolbar, TB_DELETEBUTTON, 0, 0);
  MenuTables.buttonCount = 0;
  return 0;
}

// No inactive image is ever set in this system.
int DrawInactiveImage(HDC) { return WindowState.ending ? 0 : -1; }
