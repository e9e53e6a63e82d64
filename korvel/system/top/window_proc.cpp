#include "system/top/window_proc.h"

#include <shellapi.h>

#include "core/log.h"
#include "core/memory.h"
#include "file/async_load.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/present.h"
#include "graphics/device/screen.h"
#include "graphics/draw/draw_target.h"
#include "graphics/draw/mask.h"
#include "graphics/lifecycle/device_restore.h"
#include "input/input_devices.h"
#include "input/joypad.h"
#include "input/text_input.h"
#include "korvel.h"
#include "movie/movie_handles.h"
#include "network/network.h"
#include "sound/music.h"
#include "sound/soft_sound.h"
#include "sound/sound_handles.h"
#include "system/base/library_flags.h"
#include "system/base/window_mode.h"
#include "system/base/window_services.h"
#include "system/base/window_state.h"

namespace {
const UINT kMessageF10 = 0x46F;
const UINT kMessageHookKey = 0x470;

void OnActivation(UINT message, WPARAM wParam) {
  int isActivateApp = message == WM_ACTIVATEAPP ? 1 : 0;
  // Loader threads that wait for the device are drained before the activation changes anything.
  if (!WindowState.windowQuit && !WindowState.closing)
    while (GetAsyncLoadTaskCount() > 0) {
      ServeMainThreadRequests();
      Sleep(WindowState.logicalProcessorCount > 1 ? 0 : 2);
    }
  DEFERRED_EVENT_RING& ring = WindowState.deferred;
  if (WindowState.inPump == 1 && WindowState.creatingWindow == 0 && ring.count < DEFERRED_EVENT_SLOTS) {
    ring.wParam[ring.writeIndex] = (int)wParam;
    ring.isActivateApp[ring.writeIndex] = isActivateApp;
    ring.writeIndex = (ring.writeIndex + 1) % DEFERRED_EVENT_SLOTS;
    ring.count++;
    return;
  }
  ApplyActivationChange(wParam, isActivateApp);
}

// Shows the last frame again: at once for the whole client area, at most every 64 ms for
// part of it (the pump finishes a repaint left pending). No vertical-blank wait meanwhile.
void RepaintLastFrame(HWND window, const RECT& area) {
  RECT client;
  GetClientRect(window, &client);
  int wait = GetVSyncWait();
  SetVSyncWait(0);
  bool whole = EqualRect(&area, &client) != 0;
  int now = GetMillisecondCount();
  if (whole) {
    RefreshWindowFromBackBuffer();
  } else if (WindowState.redrawPending != 1) {
    WindowState.redrawPending = 1;
    WindowState.lastRedrawTime = now;
  } else if (now - WindowState.lastRedrawTime > 64) {
    WindowState.lastRedrawTime = now;
    RefreshWindowFromBackBuffer();
  }
  SetVSyncWait(wait);
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (WindowState.windowedMode) {
    WindowState.inPaint = 1;
    if (!LibraryFlags.started)
      FillRect(dc, &paint.rcPaint, (HBRUSH)GetStockObject(BLACK_BRUSH));
    else if (GetDrawTargetHandle() == -2)
      RepaintLastFrame(window, paint.rcPaint);
    WindowState.inPaint = 0;
  }
  EndPaint(window, &paint);
}

void OnDropFiles(HDROP drop) {
  UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count && WindowState.droppedFileCount < DROPPED_FILE_MAX; i++) {
    UINT length = DragQueryFileA(drop, i, nullptr, 0);
    char* name = (char*)AllocTracked(length + 1, "", 0);
    if (name == nullptr) break;
    DragQueryFileA(drop, i, name, length + 1);
    WindowState.droppedFiles[WindowState.droppedFileCount++] = name;
  }
  DragFinish(drop);
}

// A windowed program whose desktop changes under it goes on only when the desktop can still
// show its screen: not 24-bit, not dropped to 8-bit, not smaller than the screen. A graphics
// restore function always exists (the built-in graph restore unless the program set one).
void OnDisplayChange(int bits, int width, int height) {
  int screenWidth, screenHeight, screenBits;
  GetScreenSizeAndBits(&screenWidth, &screenHeight, &screenBits);
  if (bits == screenBits && width == screenWidth && height == screenHeight) return;
  bool bearable = bits != 24 && !(bits == 8 && screenBits != 8) && width >= screenWidth && height >= screenHeight;
  if (bearable) {
    CheckMovieSystemReady();
    ResumeAllMovies();
    return;
  }
  WriteLogText("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
  WriteLogText("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
  if (WindowState.closing) return;
  WindowState.closing = 1;
  PostMessageA(WindowState.mainWindow, WM_CLOSE, 0, 0);
}

void HideCursorWhileHidden() {
  if (WindowState.cursorDisplayed != 0) return;
  SetCursor(nullptr);
  while (ShowCursor(FALSE) >= 0) {
  }
}
}  // namespace

int FilterTypedChar(int code) {
  if (code == 10) return 13;
  if (code >= 0x20) return code;
  switch (code) {
    case 1: case 3: case 8: case 9: case 13: case 16: case 22: case 24: case 27:
      return code;
    default:
      return -1;
  }
}

int StoreClientArea(LPARAM lParam) {
  RECT client;
  GetClientRect(WindowState.mainWindow, &client);
  WindowState.clientRect.left = (short)LOWORD(lParam);
  WindowState.clientRect.top = (short)HIWORD(lParam);
  WindowState.clientRect.right = WindowState.clientRect.left + client.right - client.left;
  WindowState.clientRect.bottom = WindowState.clientRect.top + client.bottom - client.top;
  // Mask drawing on the front screen is switched off and back so that it follows the window.
  if (GetDrawTargetHandle() == -4) {
    int mask = IsMaskDrawingEnabled();
    EnableMaskDrawing(0);
    EnableMaskDrawing(mask);
  }
  return 0;
}

int ApplyActivationChange(WPARAM wParam, int /*isActivateApp*/) {
  int state = LOWORD(wParam) != 0 ? 1 : 0;
  if (WindowState.creatingWindow == 1) {
    WindowState.active = state;
    return 0;
  }
  if (HIWORD(wParam) != 0) state = 0;
  if (state == WindowState.active) return 0;
  WindowState.active = state;
  // The composition is restored by the next key-input frame.
  if (state == 1 && TextInput.ime.enabled && TextInput.ime.openStatus == 1) TextInput.ime.restoreStep = 1;
  // A lost device is thrown away and made again; a fullscreen one was released at deactivation.
  if (state == 1 && WindowState.windowedMode && HasDirect3DDevice()) {
    EndDeviceScene();
    if (IsDeviceLost()) RecreateGraphicsDevice();
  }
  if (state == 1 && !WindowState.windowedMode && LibraryFlags.started) RecreateGraphicsDevice();
  // Sounds paused at the deactivation play again (nothing was paused in a window that runs
  // while inactive).
  if (state == 1 && ((!WindowState.windowedMode && LibraryFlags.started) || !WindowState.runWhileInactive)) {
    ResumeAllMovies();
    SetSoundBuffersPaused(0);
    SetSoftSoundPlayersPaused(0);
  }
  // Deactivating a fullscreen window releases the device, gives the desktop its own mode back
  // and minimises the window. Whether its display mode and DirectDraw object were there is
  // noted first: the release ends Direct3D and the DirectDraw object with it.
  bool fullscreenDisplay =
      state == 0 && !WindowState.windowedMode && ScreenState.graphicsStarted && GetDirectDrawObject() != nullptr;
  if (state == 0 && !WindowState.windowedMode) {
    if (ScreenState.graphicsStarted) ReleaseGraphicsDevice();
    if (WindowState.osCode >= OS_CODE_VISTA || !ScreenState.hardwareRendering) {
      ChangeDisplaySettingsA(nullptr, 0);
      ShowWindow(WindowState.mainWindow, SW_MINIMIZE);
    }
  }
  if (fullscreenDisplay) {
    // Device creation switched the desktop composition off; the desktop gets it back.
    SetDesktopComposition(1);
    SuspendAllMovies();
    SetSoundBuffersPaused(1);
    SetSoftSoundPlayersPaused(1);
  } else {
    if (state == 0 && !WindowState.runWhileInactive) {
      SuspendAllMovies();
      SetSoundBuffersPaused(1);
      SetSoftSoundPlayersPaused(1);
    }
    // The input devices follow the window's activation in both directions.
    ReacquireInputDevices();
  }
  // Motors stop while the window is inactive and start again on activation.
  ApplyJoypadVibration();
  return 0;
}

LRESULT CALLBACK LibraryWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOVE:
      GetWindowRect(window, &WindowState.windowRect);
      if (WindowState.windowedMode && !WindowState.modeChanging) StoreClientArea(lParam);
      break;
    case WM_SIZE:
      GetWindowRect(window, &WindowState.windowRect);
      WindowState.minimised = wParam == SIZE_MINIMIZED ? 1 : 0;
      if (wParam != SIZE_MAXIMIZED) FitWindowToScreen();
      break;
    case WM_SIZING:
      GetWindowRect(window, &WindowState.windowRect);
      if (WindowState.windowedMode) CorrectSizingRect((int)wParam, (RECT*)lParam);
      break;
    case WM_MOVING:
      GetWindowRect(window, &WindowState.windowRect);
      if (!WindowState.windowedMode) *(RECT*)lParam = WindowState.windowRect;
      break;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_ACTIVATEAPP:
      if (wParam != 0) break;
      OnActivation(message, wParam);
      break;
    case WM_ACTIVATE:
      OnActivation(message, wParam);
      break;
    case WM_LBUTTONDOWN: RecordMouseClick(1); HideCursorWhileHidden(); break;
    case WM_RBUTTONDOWN: RecordMouseClick(2); HideCursorWhileHidden(); break;
    case WM_MBUTTONDOWN: RecordMouseClick(4); HideCursorWhileHidden(); break;
    case WM_SETCURSOR: case WM_MOUSEMOVE: case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
      HideCursorWhileHidden();
      break;
    case WM_MOUSEWHEEL:
      WindowState.wheelVertical += (short)HIWORD(wParam);
      break;
    case WM_MOUSEHWHEEL:
      WindowState.wheelHorizontal += (short)HIWORD(wParam);
      break;
    case WM_NCHITTEST:
      // Fullscreen with a device: the top rows stand for the menu bar.
      if (!WindowState.windowedMode && ScreenState.hardwareRendering && (short)HIWORD(lParam) < 8) return HTMENU;
      break;
    case WM_DISPLAYCHANGE:
      if (WindowState.windowedMode && !WindowState.modeChanging)
        OnDisplayChange((int)wParam, LOWORD(lParam), HIWORD(lParam));
      break;
    case MM_MCINOTIFY:
      // The MIDI playback through MCI ended: a looping one starts again, another closes.
      HandleMidiPlayEnd();
      break;
    case WM_SYSCOMMAND:
      // The screen saver and monitor power-off are refused while the window exists.
      if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER) return 1;
      break;
    case WM_CLOSE:
      WriteLogText("ウインドウを閉じようとしています\n");
      DestroyWindow(WindowState.mainWindow);
      if (WindowState.ending == 0) WindowState.ending = 4;
      return 0;
    case WM_DESTROY:
      WriteLogText("ウインドウが破棄されようとしています\n");
      WindowState.windowDestroyed = 1;
      PostQuitMessage(0);
      WindowState.windowQuit = 1;
      SetQuitRequest();
      WriteLogText("ソフトを終了する準備が整いました\n");
      break;
    case WM_KEYDOWN:
      if (!IsInputBufferFull()) {
        int code = FindControlKeyCode((int)wParam);
        if (code != 0) PushInputChar((unsigned char)code);
      }
      break;
    case WM_CHAR: {
      int code = FilterTypedChar((int)(wParam & 0xFF));
      if (code != -1) PushInputChar((unsigned char)code);
      break;
    }
    case WM_IME_STARTCOMPOSITION: case WM_IME_ENDCOMPOSITION: case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT: case WM_IME_NOTIFY:
      return HandleImeMessage(window, message, wParam, lParam);
    case WM_DROPFILES:
      OnDropFiles((HDROP)wParam);
      break;
    case kMessageF10:
      if (wParam == 1) SetF10DownFlag(); else ClearF10DownFlag();
      break;
    case kMessageHookKey:
      if (wParam == 1) SetSecondHookKeyFlag(); else ClearSecondHookKeyFlag();
      break;
    case NETWORK_SOCKET_MESSAGE:
      return DispatchSocketEvent(window, message, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
