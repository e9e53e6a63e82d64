// The DirectSound back-end: the device object with its primary buffer, the silent looping
// buffer that plays for the back-end's whole life, and the device report in the log.
#include "sound/sound_platform.h"
#include <dsound.h>

#include <cstring>

#include "core/log.h"
#include "sound/sound_system.h"

namespace {
const GUID kClassDirectSound = {0x47d4d946, 0x62e8, 0x11cf, {0x93, 0xbc, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kInterfaceDirectSound = {0x279afa83, 0x4981, 0x11ce, {0xa5, 0x21, 0x00, 0x20, 0xaf, 0x0b, 0xe5, 0x60}};
const DWORD kMaxPrimaryRate = 44100;
const DWORD kSilentFrames = 100;

typedef HRESULT(WINAPI* DIRECT_SOUND_ENUMERATE_FN)(LPDSENUMCALLBACKA callback, LPVOID context);

int FailDevice(const char* message) {
  if (message != nullptr) WriteLogText(message);
  if (DirectSoundDevice() != nullptr) DirectSoundDevice()->Release();
  SoundSystem.device = nullptr;
  return SOUND_BACKEND_FAILED;
}

void MakeSilentBuffer() {
  WAVEFORMATEX format = MakePcmFormat(2, 44100, 16);
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DSBCAPS_GLOBALFOCUS | DirectSoundLocationFlag();
  desc.dwBufferBytes = format.nBlockAlign * kSilentFrames;
  desc.lpwfxFormat = &format;
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(DirectSoundDevice()->CreateSoundBuffer(&desc, &buffer, nullptr)) || buffer == nullptr) {
    AddLogLineFormat("無音バッファの作成に失敗しました");
    return;
  }
  void* region1 = nullptr;
  void* region2 = nullptr;
  DWORD size1 = 0, size2 = 0;
  if (FAILED(buffer->Lock(0, desc.dwBufferBytes, &region1, &size1, &region2, &size2, 0))) {
    AddLogLineFormat("無音バッファのロックに失敗しました");
    buffer->Release();
    return;
  }
  if (region1 != nullptr) memset(region1, 0, size1);
  if (region2 != nullptr) memset(region2, 0, size2);
  buffer->Unlock(region1, size1, region2, size2);
  buffer->Play(0, 0, DSBPLAY_LOOPING);
  SoundSystem.silentBuffer = buffer;
}

const char* OkOrNo(DWORD flags, DWORD bit) { return (flags & bit) ? "OK" : "NO"; }

void LogDeviceReport() {
  IndentLog();
  DSCAPS caps = {};
  caps.dwSize = sizeof(caps);
  DirectSoundDevice()->GetCaps(&caps);
  WriteLogText("DirectSound デバイスを列挙します\n");
  IndentLog();
  HMODULE module = SoundModuleCalls.loadLibrary("DSOUND.DLL");
  if (module == nullptr) {
    WriteLogText("DSOUND.DLL のロードに失敗しました\n");
    UnindentLog();
    return;
  }
  DIRECT_SOUND_ENUMERATE_FN enumerate =
      (DIRECT_SOUND_ENUMERATE_FN)(void*)SoundModuleCalls.getProcAddress(module, "DirectSoundEnumerateA");
  if (enumerate == nullptr) {
    SoundModuleCalls.freeLibrary(module);
    WriteLogText("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
    UnindentLog();
    return;
  }
  enumerate(LogDirectSoundDevice, nullptr);
  UnindentLog();
  WriteSoundLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                   caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
  WriteSoundLogFormat("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes / 1024.0,
                   caps.dwFreeHwMemBytes / 1024.0);
  WriteLogText("利用可能サンプリング精度\n");
  WriteSoundLogFormat(" プライマリ １６bit = %s  ８bit = %s ", OkOrNo(caps.dwFlags, DSCAPS_PRIMARY16BIT),
                   OkOrNo(caps.dwFlags, DSCAPS_PRIMARY8BIT));
  WriteSoundLogFormat(" セカンダリ １６bit = %s  ８bit = %s \n", OkOrNo(caps.dwFlags, DSCAPS_SECONDARY16BIT),
                   OkOrNo(caps.dwFlags, DSCAPS_SECONDARY8BIT));
  WriteLogText("利用可能チャンネル\n");
  WriteSoundLogFormat(" プライマリ MONO = %s  STEREO = %s ", OkOrNo(caps.dwFlags, DSCAPS_PRIMARYMONO),
                   OkOrNo(caps.dwFlags, DSCAPS_PRIMARYSTEREO));
  WriteSoundLogFormat(" セカンダリ MONO = %s  STEREO = %s \n", OkOrNo(caps.dwFlags, DSCAPS_SECONDARYMONO),
                   OkOrNo(caps.dwFlags, DSCAPS_SECONDARYSTEREO));
  UnindentLog();
  SoundModuleCalls.freeLibrary(module);
}
}  // namespace

DWORD DirectSoundLocationFlag() { return SoundSystem.softwareLocation ? DSBCAPS_LOCSOFTWARE : DSBCAPS_STATIC; }

BOOL CALLBACK LogDirectSoundDevice(GUID*, LPCSTR description, LPCSTR module, LPVOID) {
  AddLogLineFormat("モジュール名:%15s  ドライバ記述:%s ", module != nullptr ? module : "",
                   description != nullptr ? description : "");
  return TRUE;
}

int SetUpDirectSound() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  WriteLogText("DirectSound の初期化を行います\n");
  WriteLogText("DirectSound インターフェースの取得を行います....  ");
  void* object = nullptr;
  if (FAILED(CreateSoundComObject(kClassDirectSound, 7, kInterfaceDirectSound, &object)) || object == nullptr) {
    s.device = nullptr;
    WriteLogText("DirectSoundインターフェースの取得に失敗しました\n");
    return SOUND_BACKEND_FAILED;
  }
  s.device = object;
  WriteLogText("成功\n");
  WriteLogText("引き続きインターフェースの初期化処理...  ");
  HRESULT hr = DirectSoundDevice()->Initialize(nullptr);
  if (FAILED(hr)) {
    WriteLogText("初期化に失敗しました\n");
    AddLogLineFormat("エラーコード %x", (unsigned)hr);
    return FailDevice(nullptr);
  }
  WriteLogText("成功\n");
  if (FAILED(DirectSoundDevice()->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY)))
    return FailDevice("DirectSoundの協調レベルの設定に失敗しました\n");
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER | (s.softwareLocation ? DSBCAPS_LOCSOFTWARE : 0);
  if (FAILED(DirectSoundDevice()->CreateSoundBuffer(&desc, &s.primaryBuffer, nullptr)) || s.primaryBuffer == nullptr) {
    s.primaryBuffer = nullptr;
    return FailDevice("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
  }
  DSCAPS caps = {};
  caps.dwSize = sizeof(caps);
  DirectSoundDevice()->GetCaps(&caps);
  const DWORD rate = caps.dwMaxSecondarySampleRate < kMaxPrimaryRate ? caps.dwMaxSecondarySampleRate : kMaxPrimaryRate;
  WAVEFORMATEX format = MakePcmFormat((caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1,
                                      (int)rate, (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8);
  if (FAILED(s.primaryBuffer->SetFormat(&format)))
    WriteLogText("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
  return SOUND_BACKEND_READY;
}

void FinishDirectSoundSetUp() {
  MakeSilentBuffer();
  if (DirectSoundDevice() != nullptr) LogDeviceReport();
}

void ShutDownDirectSound() {
  SOUND_SYSTEM_STATE& s = SoundSystem;
  if (s.primaryBuffer != nullptr) {
    s.primaryBuffer->Stop();
    s.primaryBuffer->Release();
    s.primaryBuffer = nullptr;
  }
  if (s.silentBuffer != nullptr) {
    s.silentBuffer->Stop();
    s.silentBuffer->Release();
    s.silentBuffer = nullptr;
  }
  if (DirectSoundDevice() != nullptr) DirectSoundDevice()->Release();
  s.device = nullptr;
  WriteLogText("DirectSound の終了処理は正常に終了しました\n");
}
