#include "window_services.h"

#include <commctrl.h>
#include <shellapi.h>

#include "core/memory.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "korvel.h"
#include "library.h"
#include "window_mode.h"
#include "window_state.h"

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

WINDOW_STATE& W() { return WindowState; }

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

int SetWindowTitleText(const char* text) {
  // Bounded: a longer title is cut at 255 characters.
  int length = 0;
  while (text[length] != 0 && length < (int)sizeof(W().windowTitle) - 1) length++;
  CopyMemoryBytes(W().windowTitle, text, (size_t)length);
  W().windowTitle[length] = 0;
  if (W().mainWindow != nullptr) SetWindowTextA(W().mainWindow, W().windowTitle);
  return 0;
}

int ApplyWindowIcon(int resourceId) {
  W().iconId = resourceId;
  if (W().mainWindow == nullptr) return 0;
  HICON icon = resourceId != 0 ? LoadIconA(W().instance, MAKEINTRESOURCEA(resourceId)) : LoadIconA(nullptr, IDI_APPLICATION);
  SetClassLongPtrA(W().mainWindow, GCLP_HICON, (LONG_PTR)icon);
  return 0;
}

int SetRunWhileInactive(int flag) {
  W().runWhileInactive = flag;
  return 0;
}

int IsRunWhileInactive() { return W().runWhileInactive; }

int AllowMultipleInstances(int flag) {
  W().allowMultipleInstances = flag;
  return 0;
}

int IsWindowActive() { return W().active; }
int IsWindowClosing() { return W().closing; }

int GetWindowTopLeft(int* x, int* y) {
  RECT rect = {};
  GetWindowRect(W().mainWindow, &rect);
  if (x != nullptr) *x = rect.left;
  if (y != nullptr) *y = rect.top;
  return 0;
}

int SetDesktopComposition(int enable) {
  int off = enable ? 0 : 1;
  if (off == W().compositionOff) return 0;
  if (WinApi.dwmapi.DwmEnableComposition != nullptr) WinApi.dwmapi.DwmEnableComposition(enable ? 1 : 0);
  W().compositionOff = off;
  return 0;
}

int EnableAsyncLoading(int flag) {
  LibraryFlags.useAsyncLoading = flag;
  return 0;
}

int IsAsyncLoadingEnabled() { return LibraryFlags.useAsyncLoading != 0 ? 1 : 0; }

int ApplyDragAcceptFiles() {
  DragAcceptFiles(W().mainWindow, W().dragAcceptFiles ? TRUE : FALSE);
  return 0;
}

int ClearDroppedFiles() {
  for (int i = 0; i < W().droppedFileCount; i++) {
    FreeTracked(W().droppedFiles[i]);
    W().droppedFiles[i] = nullptr;
  }
  W().droppedFileCount = 0;
  return 0;
}

int GetClientScreenRect(RECT* out) {
  *out = W().clientRect;
  int toolbar = MeasureToolbarHeight();
  out->top += toolbar;
  out->bottom += toolbar;
  return 0;
}

int ReadClipboardText(char* buffer, int bufferSize) {
  if (!OpenClipboard(W().mainWindow)) return -1;
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
  if (!OpenClipboard(W().mainWindow)) {
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
    if (flag == W().cursorDisplayed) {
      W().cursorShown = flag;
      return 0;
    }
    W().cursorShown = flag;
  }
  int show = W().cursorShown == 1 ? 1 : 0;
  if (show) {
    while (ShowCursor(TRUE) < 0) {
    }
  } else {
    while (ShowCursor(FALSE) >= 0) {
    }
  }
  PostMessageA(W().mainWindow, WM_SETCURSOR, (WPARAM)W().mainWindow, 0);
  W().cursorDisplayed = show;
  return 0;
}

int GetMousePosition(int* x, int* y) {
  POINT cursor = {};
  GetCursorPos(&cursor);
  int px = cursor.x, py = cursor.y;
  if (W().windowedMode) {
    double sx, sy;
    GetWindowScale(&sx, &sy);
    px = (int)((cursor.x - W().clientRect.left) / sx);
    py = (int)((cursor.y - W().clientRect.top - MeasureToolbarHeight()) / sy);
  }
  if (x != nullptr) *x = px;
  if (y != nullptr) *y = py;
  return 0;
}

void RecordMouseClick(int button) {
  if (W().clickCount >= CLICK_LOG_SIZE) return;
  MOUSE_CLICK& click = W().clicks[W().clickCount];
  click.button = button;
  GetMousePosition(&click.x, &click.y);
  W().clickCount++;
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
    SetWindowPos(W().mainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return 0;
}

void UpdateMenuAutoDisplay() {
  if (W().windowedMode) return;
  POINT cursor = {};
  GetCursorPos(&cursor);
  W().menuAreaHovered = cursor.y < kMenuAreaHeight ? 1 : 0;
  if (cursor.y > kMenuAreaHeight) SetCursorVisible(W().cursorShown);
  SetMenuVisible(W().menuUserHidden ? 0 : 1);
}

int ShouldShowMenu() {
  if (W().mainWindow == nullptr || W().menu == nullptr || !W().menuInUse || W().menuUserHidden) return 0;
  return (W().windowedMode || W().menuAreaHovered) ? 1 : 0;
}

int SetMenuVisible(int flag) {
  if (W().menu == nullptr || !W().menuInUse) return 0;
  int before = ShouldShowMenu();
  W().menuUserHidden = flag == 0 ? 1 : 0;
  int now = ShouldShowMenu();
  if (now == before) return 0;
  SetMenu(W().mainWindow, now ? W().menu : nullptr);
  if (W().windowedMode) ApplyWindowStyleForMode();
  UpdateWindow(W().mainWindow);
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
  if (W().menu == nullptr || bufferSize <= 0) return -1;
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
  if (W().toolbar == nullptr) return 0;
  RECT rect;
  if (!GetWindowRect(W().toolbar, &rect)) return 0;
  return rect.bottom - rect.top;
}

int RemoveAllToolbarButtons() {
  if (W().toolbar == nullptr) return -1;
  for (int i = 0; i < MenuTables.buttonCount; i++) SendMessageA(W().toolbar, TB_DELETEBUTTON, 0, 0);
  MenuTables.buttonCount = 0;
  return 0;
}

// No inactive image is ever set in this system.
int DrawInactiveImage(HDC) { return W().ending ? 0 : -1; }
