// The main window's state record, shared by the window, pump and start-up modules.
#pragma once
#include <windows.h>

#include <cstdint>

enum { API_LOCK_SLOTS = 4096, DEFERRED_EVENT_SLOTS = 512, CLICK_LOG_SIZE = 32, DROPPED_FILE_MAX = 1000 };

// The library-wide lock of InitLibrary, EndLibrary and the locked pump: recursive for its
// owner, handed to waiters strictly in arrival order (each waiter sleeps on its own event).
struct API_LOCK {
  int recursion;
  int locked;
  DWORD owner;                              // (DWORD)-1 after a release
  DWORD waiterThread[API_LOCK_SLOTS];       // slot 0 is the oldest waiter
  HANDLE waiterEvent[API_LOCK_SLOTS];       // each event moves with its waiter
  int eventsCreated;
  int waiterCount;
  CRITICAL_SECTION guard;
};

// Activation changes that arrive while the pump runs, applied after its message loop.
struct DEFERRED_EVENT_RING {
  int count;
  int readIndex;
  int writeIndex;
  int wParam[DEFERRED_EVENT_SLOTS];
  int isActivateApp[DEFERRED_EVENT_SLOTS];  // 1 for WM_ACTIVATEAPP, 0 for WM_ACTIVATE
};

typedef BOOL(WINAPI* UPDATE_LAYERED_WINDOW)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);

struct MOUSE_CLICK {
  int button;  // 1 left, 2 right, 4 middle
  int x;
  int y;
};

struct WINDOW_STATE {
  // Physical memory noted at window start.
  uint64_t totalMemory;
  uint64_t availableMemory;

  HINSTANCE instance;
  int windowedMode;      // 0 fullscreen (the default), 1 windowed
  int ending;            // 1 set by the shut-down, 4 by WM_CLOSE, 0 after the window start
  int windowQuit;        // the window start failed or the window ended: every pump returns -1
  int windowDestroyed;
  HWND mainWindow;
  char className[256];
  char startupFolder[MAX_PATH];
  char windowTitle[256];
  DWORD mainThreadId;    // the thread that called InitLibrary
  int comStarted;        // kept across window-state resets
  LARGE_INTEGER counterFrequency;
  int usePerformanceCounter;
  int desktopWidth;      // noted at window start, read by GetDesktopMode after it
  int desktopHeight;
  int desktopColorBits;

  // System information written by LogSystemInfo at start-up; kept across window-state resets.
  char osDescription[512];
  char processorName[256];
  int processorMhz;
  int logicalProcessorCount;
  int directXVersion;    // always 0x70000
  int osCode;            // OS_CODE_*; 0 when the version is not one the library knows
  int mmx;
  int sse;
  int sse2;
  int timeStampCounter;
  long long timeStampTicksPerSecond;

  int compositionOff;
  int captionHeight;
  int styleMode;         // row of the style table; always 0
  RECT windowRect;       // screen coordinates
  RECT clientRect;       // screen coordinates
  int modeChanging;      // ChangeWindowMode is restyling the window
  int closing;           // the library posted WM_CLOSE to its own window
  int redrawPending;
  int lastRedrawTime;
  int active;
  int minimised;
  int inPaint;
  int cursorShown;       // setting: 1 show, 0 hide
  int cursorDisplayed;   // what ShowCursor was last driven to
  int wheelVertical;
  int wheelHorizontal;
  int clickCount;
  MOUSE_CLICK clicks[CLICK_LOG_SIZE];
  DEFERRED_EVENT_RING deferred;
  int creatingWindow;    // from class registration until the window is shown and fitted
  int inPump;
  int allowMultipleInstances;
  int screenSaverWasActive;  // the system setting found at window start, given back at its end
  UINT timerPeriod;      // the multimedia timer period begun at window start (0: none)
  int runWhileInactive;
  int iconId;
  HICON userIcon;

  // Window options.
  int resizable;
  double scaleX;         // 0 or less reads as 1
  double scaleY;
  int keepClientSize;    // 1: the client keeps the size the user drags it to
  int userPositionX;
  int userPositionY;
  int userPositionInUse;
  int shownOnce;         // adds WS_VISIBLE to the windowed style

  // Settings no operation of this system switches on; they stay 0.
  HMENU menu;
  int menuInUse;
  int menuUserHidden;
  HWND toolbar;
  int layeredWindow;

  // Layered-window output: UpdateLayeredWindow as looked up at window start, and the 32-bit
  // top-down DIB section the picture is put together in.
  UPDATE_LAYERED_WINDOW updateLayeredWindow;
  HBITMAP layeredBitmap;
  HGDIOBJ layeredOldBitmap;
  HDC layeredDc;
  uint32_t* layeredBits;
  int layeredWidth;
  int layeredHeight;

  HRGN region;
  int dragAcceptFiles;

  int droppedFileCount;
  char* droppedFiles[DROPPED_FILE_MAX];
  int menuAreaHovered;   // mouse within the top 60 pixels in fullscreen

  API_LOCK apiLock;      // kept across window-state resets
};

// Windows versions as LogSystemInfo codes them.
enum {
  OS_CODE_WIN32S = 0, OS_CODE_WIN95 = 1, OS_CODE_WIN98 = 2, OS_CODE_WINME = 3,
  OS_CODE_NT351 = 0x104, OS_CODE_NT40 = 0x105, OS_CODE_WIN2000 = 0x106, OS_CODE_WINXP = 0x107,
  OS_CODE_VISTA = 0x108, OS_CODE_WIN7 = 0x109, OS_CODE_WIN8 = 0x10A
};

extern WINDOW_STATE WindowState;
