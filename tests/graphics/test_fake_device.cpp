// Device creation's fall-back paths through a scripted fake in the device call table, which
// this machine's real Direct3D cannot reach, and the device-free parts: packed colours, draw
// settings, constant ranges and the indexed grid.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw/draw2d_hw.h"
#include "graphics/draw/mask.h"
#include "image/memimg.h"
#include "korvel.h"
#include "system/base/window_state.h"
#include "test_support.h"

namespace {
// What the fake machine offers, and what the library asked of it.
struct FAKE_MACHINE {
  bool noModule, no9ExExport, no9Export, create9Null;
  DWORD vertexShaderVersion, pixelShaderVersion;
  D3DFORMAT desktop;
  UINT r565Modes;
  bool refuseMixed, refuseEveryDevice;
  std::set<D3DFORMAT> refusedFormats;
  bool refuseDepth, refuseMultiSample, backBufferLockFails;
  DWORD maxTextureWidth, maxTextureHeight, renderTargets;
  // Seen.
  std::vector<std::string> exportsAsked;
  std::vector<DWORD> creationFlags;
  std::vector<D3DPRESENT_PARAMETERS> creationParams;
  std::vector<std::pair<void*, DWORD>> locks;
  std::map<void*, int> releases;
};
FAKE_MACHINE machine;

char fakeModule, fakeD3D, fakeDevice, fakeBackBuffer, fakeSwapChain, fakeDirectDraw, fakeCreate9Ex, fakeCreate9;
char surfaces[8];
int nextSurface;
DWORD pixelStore[8][256 * 256];

void ResetMachine() {
  machine = FAKE_MACHINE();
  machine.vertexShaderVersion = D3DVS_VERSION(3, 0);
  machine.pixelShaderVersion = D3DPS_VERSION(3, 0);
  machine.desktop = D3DFMT_X8R8G8B8;
  machine.r565Modes = 1;
  machine.maxTextureWidth = machine.maxTextureHeight = 4096;
  machine.renderTargets = 4;
  nextSurface = 0;
}

IDirect3DSurface9* NewSurface() { return (IDirect3DSurface9*)&surfaces[nextSurface++ % 8]; }

HRESULT CreateDeviceCommon(DWORD flags, D3DPRESENT_PARAMETERS* params) {
  machine.creationFlags.push_back(flags);
  machine.creationParams.push_back(*params);
  if (machine.refuseEveryDevice) return D3DERR_NOTAVAILABLE;
  if (machine.refuseMixed && (flags & D3DCREATE_MIXED_VERTEXPROCESSING)) return D3DERR_NOTAVAILABLE;
  return S_OK;
}

DEVICE_CALL_TABLE FakeTable() {
  DEVICE_CALL_TABLE t = RealDeviceCalls;
  t.LoadD3D9Module = [](const char*) { return machine.noModule ? (HMODULE) nullptr : (HMODULE)&fakeModule; };
  t.FreeD3D9Module = [](HMODULE) { return TRUE; };
  t.FindD3D9Export = [](HMODULE, const char* name) {
    machine.exportsAsked.push_back(name);
    std::string n = name;
    if (n == "Direct3DCreate9Ex") return machine.no9ExExport ? (FARPROC) nullptr : (FARPROC)(void*)&fakeCreate9Ex;
    return machine.no9Export ? (FARPROC) nullptr : (FARPROC)(void*)&fakeCreate9;
  };
  t.CallDirect3DCreate9Ex = [](FARPROC, UINT, IDirect3D9Ex** out) {
    *out = (IDirect3D9Ex*)&fakeD3D;
    return S_OK;
  };
  t.CallDirect3DCreate9 = [](FARPROC, UINT) { return machine.create9Null ? nullptr : (IDirect3D9*)&fakeD3D; };
  t.CreateDirectDraw7 = [](IDirectDraw7** out) {
    *out = (IDirectDraw7*)&fakeDirectDraw;
    return S_OK;
  };
  t.DirectDrawInitialize = [](IDirectDraw7*) { return S_OK; };
  t.DirectDrawSetCooperativeLevel = [](IDirectDraw7*, HWND, DWORD) { return S_OK; };
  t.ReleaseComObject = [](IUnknown* object) {
    machine.releases[object]++;
    return (ULONG)0;
  };
  t.Direct3DGetAdapterIdentifier = [](UINT, DWORD, D3DADAPTER_IDENTIFIER9* id) {
    strcpy(id->Driver, "fake.dll");
    strcpy(id->Description, "Scripted device");
    return S_OK;
  };
  t.Direct3DCheckDeviceFormat = [](UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT f) {
    return machine.refusedFormats.count(f) ? D3DERR_NOTAVAILABLE : S_OK;
  };
  t.Direct3DCheckDepthStencilMatch = [](UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) {
    return machine.refuseDepth ? D3DERR_NOTAVAILABLE : S_OK;
  };
  t.Direct3DGetDeviceCaps = [](UINT, D3DDEVTYPE, D3DCAPS9* caps) {
    caps->VertexShaderVersion = machine.vertexShaderVersion;
    caps->PixelShaderVersion = machine.pixelShaderVersion;
    return S_OK;
  };
  t.Direct3DGetAdapterDisplayMode = [](UINT, D3DDISPLAYMODE* mode) {
    mode->Width = 1024, mode->Height = 768, mode->Format = machine.desktop;
    return S_OK;
  };
  t.Direct3DGetAdapterModeCount = [](UINT, D3DFORMAT f) { return f == D3DFMT_R5G6B5 ? machine.r565Modes : 1u; };
  t.Direct3DCheckDeviceMultiSampleType = [](UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD* q) {
    if (q != nullptr) *q = 2;
    return machine.refuseMultiSample ? D3DERR_NOTAVAILABLE : S_OK;
  };
  t.Direct3DCreateDevice = [](UINT, D3DDEVTYPE, HWND, DWORD flags, D3DPRESENT_PARAMETERS* p, IDirect3DDevice9** out) {
    HRESULT hr = CreateDeviceCommon(flags, p);
    if (SUCCEEDED(hr)) *out = (IDirect3DDevice9*)&fakeDevice;
    return hr;
  };
  t.Direct3DCreateDeviceEx = [](UINT, D3DDEVTYPE, HWND, DWORD flags, D3DPRESENT_PARAMETERS* p, D3DDISPLAYMODEEX*,
                                IDirect3DDevice9Ex** out) {
    HRESULT hr = CreateDeviceCommon(flags, p);
    if (SUCCEEDED(hr)) *out = (IDirect3DDevice9Ex*)&fakeDevice;
    return hr;
  };
  t.DeviceSetMaximumFrameLatency = [](UINT) { return S_OK; };
  t.DeviceTestCooperativeLevel = []() { return S_OK; };
  t.DeviceSetRenderState = [](D3DRENDERSTATETYPE, DWORD) { return S_OK; };
  t.DeviceClear = [](DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) { return S_OK; };
  t.DevicePresent = [](const RECT*, const RECT*, HWND, const RGNDATA*) { return S_OK; };
  t.DeviceGetSwapChain = [](UINT, IDirect3DSwapChain9** out) {
    *out = (IDirect3DSwapChain9*)&fakeSwapChain;
    return S_OK;
  };
  t.DeviceGetBackBuffer = [](UINT, UINT, D3DBACKBUFFER_TYPE, IDirect3DSurface9** out) {
    *out = (IDirect3DSurface9*)&fakeBackBuffer;
    return S_OK;
  };
  t.DeviceGetDeviceCaps = [](D3DCAPS9* caps) {
    memset(caps, 0, sizeof(*caps));
    caps->VertexShaderVersion = machine.vertexShaderVersion;
    caps->PixelShaderVersion = machine.pixelShaderVersion;
    caps->MaxTextureWidth = machine.maxTextureWidth;
    caps->MaxTextureHeight = machine.maxTextureHeight;
    caps->NumSimultaneousRTs = machine.renderTargets;
    caps->MaxPrimitiveCount = 65535;
    return S_OK;
  };
  t.SurfaceGetDesc = [](IDirect3DSurface9*, D3DSURFACE_DESC* desc) {
    memset(desc, 0, sizeof(*desc));
    desc->Format = machine.creationParams.empty() ? machine.desktop : machine.creationParams.back().BackBufferFormat;
    desc->Width = 640, desc->Height = 480;
    return S_OK;
  };
  t.DeviceCreateOffscreenSurface = [](UINT, UINT, D3DFORMAT, D3DPOOL, IDirect3DSurface9** out, HANDLE*) {
    *out = NewSurface();
    return S_OK;
  };
  t.DeviceCreateRenderTarget = [](UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD, BOOL, IDirect3DSurface9** out,
                                  HANDLE*) {
    *out = NewSurface();
    return S_OK;
  };
  t.DeviceStretchRect = [](IDirect3DSurface9*, const RECT*, IDirect3DSurface9*, const RECT*, D3DTEXTUREFILTERTYPE) {
    return S_OK;
  };
  t.DeviceGetRenderTargetData = [](IDirect3DSurface9*, IDirect3DSurface9*) { return S_OK; };
  t.SurfaceLockRect = [](IDirect3DSurface9* s, D3DLOCKED_RECT* locked, const RECT*, DWORD flags) {
    machine.locks.push_back({s, flags});
    if (s == (IDirect3DSurface9*)&fakeBackBuffer && machine.backBufferLockFails) return D3DERR_INVALIDCALL;
    int index = s == (IDirect3DSurface9*)&fakeBackBuffer ? 0 : (int)((char*)s - surfaces) % 8;
    locked->Pitch = 256 * 4;
    locked->pBits = pixelStore[index];
    return S_OK;
  };
  t.SurfaceUnlockRect = [](IDirect3DSurface9*) { return S_OK; };
  return t;
}

class FakeDevice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteFileA("Log.txt");
    ASSERT_EQ(InitLibrary(), 0);
  }
  static void TearDownTestSuite() {
    DeviceCalls = RealDeviceCalls;
    EndLibrary();
  }
  void SetUp() override {
    ResetMachine();
    DeviceCalls = FakeTable();
    memset(&Direct3DObjects, 0, sizeof(Direct3DObjects));
    memset(&DeviceSettings, 0, sizeof(DeviceSettings));
    memset(&DeviceCaps, 0, sizeof(DeviceCaps));
    WindowState.windowedMode = 1;
    ScreenState.deviceWidth = ScreenState.mainWidth = 640;
    ScreenState.deviceHeight = ScreenState.mainHeight = 480;
    ScreenState.colorBits = 16;
    logStart = ReadLogWithoutStamps().size();
  }
  void TearDown() override {
    ReleaseDirect3DDevice();
    ReleaseDirect3D();
    memset(&Direct3DObjects, 0, sizeof(Direct3DObjects));
  }
  // The log written by this test alone.
  std::string NewLog() { return ReadLogWithoutStamps().substr(logStart); }
  int StartDevice() {
    if (LoadDirect3D9Library() != 0 || CreateDirect3DObject() != 0) return -1;
    return SetUpDirect3DDevice();
  }
  size_t logStart = 0;
};

void ExpectInOrder(const std::string& log, std::vector<std::string> lines) {
  size_t at = 0;
  for (const std::string& line : lines) {
    size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
    at = found + line.size();
  }
}

TEST_F(FakeDevice, WithoutD3d9DllNothingIsCreated) {
  machine.noModule = true;
  EXPECT_EQ(LoadDirect3D9Library(), -1);
  EXPECT_EQ(NewLog(), "d3d9.dll の読み込みに失敗しました\r\n");
  EXPECT_EQ(HasDirect3D(), 0);
}

TEST_F(FakeDevice, WithoutTheExEntryThePlainObjectIsUsed) {
  machine.no9ExExport = true;
  ASSERT_EQ(LoadDirect3D9Library(), 0);
  ASSERT_EQ(CreateDirect3DObject(), 0);
  EXPECT_EQ(HasDirect3D(), 1);
  EXPECT_EQ(HasDirect3D9Ex(), 0);
  EXPECT_EQ(NewLog(), "IDirect3D9Ex オブジェクトを取得します.... IDirect3D9 オブジェクトを取得します.... 成功\r\n");
  ASSERT_EQ(SetUpDirect3DDevice(), 0);
  ExpectInOrder(NewLog(), {"IDirect3DDevice9 オブジェクトを取得します.... ハードウエア頂点演算を使用します\r\n"});
}

TEST_F(FakeDevice, MissingOrFailingPlainEntryFailsWithItsMessage) {
  machine.no9ExExport = machine.no9Export = true;
  ASSERT_EQ(LoadDirect3D9Library(), 0);
  EXPECT_EQ(CreateDirect3DObject(), -1);
  ExpectInOrder(NewLog(), {"Direct3DCreate9 APIのアドレス取得に失敗しました\r\n"});
  machine.no9Export = false;
  machine.create9Null = true;
  EXPECT_EQ(CreateDirect3DObject(), -1);
  ExpectInOrder(NewLog(), {"IDirect3D9 オブジェクトの取得に失敗しました\r\n"});
}

TEST_F(FakeDevice, ExAndPlainPointersNameOneObjectReleasedOnce) {
  ASSERT_EQ(LoadDirect3D9Library(), 0);
  ASSERT_EQ(CreateDirect3DObject(), 0);
  EXPECT_EQ((void*)Direct3DObjects.direct3D, (void*)Direct3DObjects.direct3DEx);
  ReleaseDirect3D();
  EXPECT_EQ(machine.releases[&fakeD3D], 1);
  EXPECT_EQ(HasDirect3D(), 0);
  EXPECT_EQ(HasDirect3D9Ex(), 0);
  // A second object replaces the first: again one release.
  ASSERT_EQ(CreateDirect3DObject(), 0);
  ASSERT_EQ(CreateDirect3DObject(), 0);
  EXPECT_EQ(machine.releases[&fakeD3D], 2);
}

TEST_F(FakeDevice, RefusedMixedVertexProcessingFallsBackToSoftware) {
  machine.refuseMixed = true;
  ASSERT_EQ(StartDevice(), 0);
  ASSERT_EQ(machine.creationFlags.size(), 2u);
  EXPECT_TRUE(machine.creationFlags[0] & D3DCREATE_MIXED_VERTEXPROCESSING);
  EXPECT_TRUE(machine.creationFlags[1] & D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  EXPECT_EQ(DeviceSettings.shaderModel2, 0);
  ExpectInOrder(NewLog(), {"IDirect3DDevice9Ex オブジェクトを取得します.... ソフトウエア頂点演算を使用します\r\n",
                           "ハードウェア頂点シェーダーバージョンコード：300\r\n",
                           "エミュレーション頂点シェーダーバージョンコード：300\r\n"});
}

TEST_F(FakeDevice, FailedExDeviceTurnsExOffForLaterStarts) {
  machine.refuseEveryDevice = true;
  EXPECT_EQ(StartDevice(), -2);
  EXPECT_EQ(DeviceSettings.no9Ex, 1);
  ExpectInOrder(NewLog(), {"Direct3DDevice9Ex の作成に失敗しました\r\n"});
  machine.exportsAsked.clear();
  ASSERT_EQ(CreateDirect3DObject(), 0);
  EXPECT_EQ(machine.exportsAsked, std::vector<std::string>{"Direct3DCreate9"});
  EXPECT_EQ(HasDirect3D9Ex(), 0);
}

TEST_F(FakeDevice, PlainDeviceFailureDegradesDepthThenSize) {
  machine.no9ExExport = true;
  machine.refuseEveryDevice = true;
  EXPECT_EQ(StartDevice(), -1);
  ASSERT_EQ(machine.creationParams.size(), 8u);  // four sizes, each mixed then software
  EXPECT_EQ(machine.creationParams[1].BackBufferWidth, 640u);
  EXPECT_EQ(machine.creationParams[4].BackBufferWidth, 800u);
  EXPECT_EQ(machine.creationParams[6].BackBufferHeight, 768u);
  EXPECT_EQ(GetScreenColorBits(), 32);
  ExpectInOrder(NewLog(), {"Direct3DDevice9 の作成に失敗しました\r\n", "Direct3DDevice9 の作成に失敗しました\r\n"});
}

TEST_F(FakeDevice, WithoutShaderModelTwoSoftwareProcessingAndNoMultisampling) {
  machine.vertexShaderVersion = D3DVS_VERSION(1, 1);
  machine.pixelShaderVersion = D3DPS_VERSION(1, 4);
  DeviceSettings.multiSampleType = 4;
  DeviceSettings.multiSampleQuality = 1;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(DeviceSettings.multiSampleType, 0u);
  EXPECT_EQ(machine.creationFlags.size(), 1u);
  EXPECT_TRUE(machine.creationFlags[0] & D3DCREATE_SOFTWARE_VERTEXPROCESSING);
  EXPECT_EQ(machine.creationParams[0].SwapEffect, D3DSWAPEFFECT_COPY);
  EXPECT_EQ(machine.creationParams[0].Flags, (DWORD)D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
  EXPECT_EQ(DeviceSettings.vertexShader2, 0);
  EXPECT_EQ(DeviceSettings.pixelShader2, 0);
  EXPECT_EQ(GetShaderModel(), 0);
  ExpectInOrder(NewLog(), {"ハードウエア頂点演算を使用します\r\n", "ハードウェア頂点シェーダーバージョンコード：101\r\n",
                           "エミュレーション頂点シェーダーバージョンコード：101\r\n",
                           "ピクセルシェーダーバージョンコード：104\r\n"});
}

TEST_F(FakeDevice, MissingTextureFormatsFallBackOrStayUnknown) {
  machine.refusedFormats = {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_A16B16G16R16F, D3DFMT_L8, D3DFMT_X8R8G8B8};
  machine.desktop = D3DFMT_R5G6B5;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(GetScreenColorBits(), 16);
  const D3DFORMAT* f = DeviceCaps.textureFormats;
  EXPECT_EQ(f[1], f[0]) << "no 32-bit colour: the 16-bit one";
  EXPECT_EQ(f[6], f[4]);
  EXPECT_EQ(f[7], D3DFMT_DXT2);
  EXPECT_EQ(f[8], f[3]);
  EXPECT_EQ(f[11], D3DFMT_R5G6B5);
  EXPECT_EQ(f[12], D3DFMT_R5G6B5);
  EXPECT_EQ(f[15], D3DFMT_UNKNOWN);
  EXPECT_EQ(f[17], D3DFMT_A8L8);
  EXPECT_EQ(f[25], f[11]);
  EXPECT_EQ(f[26], f[4]);
  ExpectInOrder(NewLog(), {"画面のフォーマットは D3DFMT_R5G6B5 です\r\n",
                           "32bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n",
                           "ＤＸＴ１テクスチャフォーマットは使えません\r\n",
                           "ＤＸＴ２テクスチャフォーマットはD3DFMT_DXT2 です\r\n",
                           "ＤＸＴ３テクスチャフォーマットは使えません\r\n",
                           "描画用 16bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n",
                           "描画用 32bit カラーフォーマットは D3DFMT_R5G6B5 です\r\n",
                           "使用できる描画用ABGR浮動小数点16ビット型カラーフォーマットがありませんでした\r\n",
                           "描画用１チャンネル整数8ビット型カラーフォーマットは D3DFMT_A8L8 です\r\n",
                           "描画用２チャンネル整数8ビット型カラーフォーマットは D3DFMT_V8U8 です\r\n"});
}

TEST_F(FakeDevice, MissingRequiredFormatsFailTheSetUp) {
  struct {
    std::set<D3DFORMAT> refused;
    bool refuseDepth;
    const char* message;
  } cases[] = {
      {{D3DFMT_R5G6B5, D3DFMT_X1R5G5B5}, false, "使用できる 16bit カラーフォーマットが見つかりませんでした\r\n"},
      {{D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8}, false,
       "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\r\n"},
      {{}, true, "使用できる Zバッファフォーマットが見つかりませんでした\r\n"},
  };
  for (auto& c : cases) {
    SetUp();
    machine.refusedFormats = c.refused;
    machine.refuseDepth = c.refuseDepth;
    EXPECT_EQ(StartDevice(), -1) << c.message;
    EXPECT_NE(NewLog().find(c.message), std::string::npos) << c.message << NewLog();
    TearDown();
  }
}

TEST_F(FakeDevice, SmallCapsAreReadSafely) {
  machine.maxTextureWidth = 0;
  machine.maxTextureHeight = 2048;
  machine.renderTargets = 40;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(DeviceCaps.maxTextureWidth, 256);
  EXPECT_EQ(DeviceCaps.maxTextureHeight, 2048);
  EXPECT_EQ(DeviceCaps.maxTextureSize, 256);
  EXPECT_EQ(DeviceCaps.renderTargetCount, 16);
}

TEST_F(FakeDevice, BackBufferTimingWritesOnlyIntoWritableLocks) {
  ASSERT_EQ(StartDevice(), 0);
  ASSERT_FALSE(machine.locks.empty());
  for (const auto& lock : machine.locks) {
    bool backBuffer = lock.first == (void*)&fakeBackBuffer;
    if (backBuffer) { EXPECT_EQ(lock.second, (DWORD)D3DLOCK_READONLY); }
  }
  // Pass (a): the copy target of each pass is locked for writing.
  EXPECT_EQ(machine.locks[0].second, 0u);
  ExpectInOrder(NewLog(), {"バックバッファロック転送の時間:"});
}

TEST_F(FakeDevice, UnlockableBackBufferIsReported) {
  machine.backBufferLockFails = true;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(DeviceSettings.backBufferLock, 0);
  ExpectInOrder(NewLog(), {"バックバッファロックはロックできません\r\n"});
}

TEST_F(FakeDevice, FullscreenDepthChoosesTheBackBufferFormat) {
  WindowState.windowedMode = 0;
  machine.r565Modes = 0;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(machine.creationParams[0].BackBufferFormat, D3DFMT_X1R5G5B5);
  EXPECT_EQ(machine.creationParams[0].Windowed, FALSE);
  TearDown();
  SetUp();
  WindowState.windowedMode = 0;
  ScreenState.colorBits = 8;
  ASSERT_EQ(StartDevice(), 0);
  ExpectInOrder(NewLog(), {"非対応のバックバッファービット深度が指定されました\r\n"});
  EXPECT_EQ(machine.creationParams[0].BackBufferFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(GetScreenColorBits(), 32);
  WindowState.windowedMode = 1;
}

// On Vista and later an emulated 320 x 240 screen gets a windowed device over the display
// mode already set, its back buffer in the screen's depth; earlier systems go fullscreen.
TEST_F(FakeDevice, EmulatedSmallScreenIsAWindowedDeviceOnVista) {
  int os = WindowState.osCode;
  WindowState.windowedMode = 0;
  DeviceSettings.autoSmallScreen = 1;
  WindowState.osCode = OS_CODE_VISTA;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(machine.creationParams[0].Windowed, TRUE);
  EXPECT_EQ(machine.creationParams[0].BackBufferFormat, D3DFMT_R5G6B5);
  TearDown();
  SetUp();
  WindowState.windowedMode = 0;
  DeviceSettings.autoSmallScreen = 1;
  WindowState.osCode = 0x105;  // XP
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(machine.creationParams[0].Windowed, FALSE);
  WindowState.osCode = os;
  WindowState.windowedMode = 1;
  DeviceSettings.autoSmallScreen = 0;
}

// The windowed device takes the desktop's depth, and the screen images follow it.
TEST_F(FakeDevice, DesktopDepthSetsTheScreenImageType) {
  machine.desktop = D3DFMT_R5G6B5;
  ScreenState.colorBits = 32;
  ASSERT_EQ(StartDevice(), 0);
  EXPECT_EQ(GetScreenColorBits(), 16);
  MEMIMG image = {};
  ASSERT_EQ(CreateScreenMemImg(&image, 4, 4, -1), 0);
  EXPECT_EQ(image.store->pixelType, MEMIMG_TYPE_RGB565);
  ReleaseMemImg(&image);
  TearDown();
  SetUp();
  machine.desktop = D3DFMT_X8R8G8B8;
  ASSERT_EQ(StartDevice(), 0);
  ASSERT_EQ(CreateScreenMemImg(&image, 4, 4, -1), 0);
  EXPECT_EQ(image.store->pixelType, MEMIMG_TYPE_32BIT);
  ReleaseMemImg(&image);
}

TEST_F(FakeDevice, MultisampleSearchLowersOrFails) {
  ASSERT_EQ(LoadDirect3D9Library(), 0);
  ASSERT_EQ(CreateDirect3DObject(), 0);
  machine.refuseMultiSample = true;
  DWORD type = 4, quality = 3;
  EXPECT_EQ(FindSupportedMultiSampleType(D3DFMT_X8R8G8B8, &type, &quality, 0), 0);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(quality, 0u);
  type = 4, quality = 3;
  EXPECT_EQ(FindSupportedMultiSampleType(D3DFMT_X8R8G8B8, &type, &quality, 1), -1);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(quality, 0u);
  machine.refuseMultiSample = false;  // both accept with 2 levels: quality at most 1
  EXPECT_EQ(FindSupportedMultiSampleType(D3DFMT_X8R8G8B8, &type, &quality, 0), 0);
  EXPECT_EQ(type, 4u);
  EXPECT_EQ(quality, 0u);
  quality = 5;
  FindSupportedMultiSampleType(D3DFMT_X8R8G8B8, &type, &quality, 0);
  EXPECT_EQ(quality, 1u);
}

TEST_F(FakeDevice, ReleasingWithoutADeviceStillReleasesTheSwapChain) {
  Direct3DObjects.swapChain = (IDirect3DSwapChain9*)&fakeSwapChain;
  EXPECT_EQ(ReleaseDirect3DDevice(), 0);
  EXPECT_EQ(machine.releases[&fakeSwapChain], 1);
  EXPECT_EQ(Direct3DObjects.swapChain, nullptr);
}

// Packed colours follow the screen's colour bits.
TEST(PackedColor, TableFor16And32BitScreens) {
  struct {
    int bits, red, green, blue;
    unsigned packed;
  } cases[] = {
      {32, 255, 128, 0, 0xFFFF8000u}, {32, 256, 0, 0, 0xFF000000u}, {32, 0, 0, 0, 0xFF000000u},
      {0, 1, 2, 3, 0xFF010203u},      {16, 255, 255, 255, 0xFFFFu}, {16, 7, 3, 7, 0u},
      {16, 255, 0, 0, 0xF800u},       {16, 0, 255, 0, 0x07E0u},     {16, 0, 0, 255, 0x001Fu},
  };
  for (auto& c : cases) {
    ScreenState.colorBits = c.bits;
    EXPECT_EQ(PackScreenColor(c.red, c.green, c.blue), c.packed)
        << c.bits << " bits " << c.red << "," << c.green << "," << c.blue;
  }
  struct {
    int bits;
    unsigned packed;
    int red, green, blue;
  } unpacks[] = {
      {16, 0xFFFF, 255, 255, 255}, {16, 30u << 11, 246, 0, 0}, {16, PackScreenColor(100, 100, 100), 98, 101, 98},
      {32, 0xFF102030u, 16, 32, 48},
  };
  for (auto& c : unpacks) {
    ScreenState.colorBits = c.bits;
    if (c.red == 98) c.packed = PackScreenColor(100, 100, 100);
    int r, g, b;
    EXPECT_EQ(UnpackScreenColor(c.packed, &r, &g, &b), 0);
    EXPECT_EQ(r, c.red) << std::hex << c.packed;
    EXPECT_EQ(g, c.green) << std::hex << c.packed;
    EXPECT_EQ(b, c.blue) << std::hex << c.packed;
  }
  ScreenState.colorBits = 0;
}

// Every value of every channel of both screen formats unpacks to value * 255 / (2^width - 1),
// and the untextured vertex colour scales each channel by the diffuse colour's, truncating.
TEST(PackedColor, UnpackAndUntexturedColourAreExactForEveryChannelValue) {
  const DWORD savedDiffuse = PackedDiffuseColor;
  for (int bits : {16, 32}) {
    ScreenState.colorBits = bits;
    const int widths[3] = {bits == 16 ? 5 : 8, bits == 16 ? 6 : 8, bits == 16 ? 5 : 8};
    for (int channel = 0; channel < 3; channel++) {
      const unsigned max = (1u << widths[channel]) - 1;
      for (int v = 0; v < 256; v++) {
        int in[3] = {0, 0, 0};
        in[channel] = v;
        unsigned packed = PackScreenColor(in[0], in[1], in[2]);
        int out[3] = {-1, -1, -1};
        UnpackScreenColor(packed, &out[0], &out[1], &out[2]);
        const int expected = (int)(((unsigned)v >> (8 - widths[channel])) * 255 / max);
        ASSERT_EQ(out[channel], expected) << bits << " bits, channel " << channel << ", value " << v;
        for (int diffuse = 0; diffuse < 256; diffuse++) {
          PackedDiffuseColor = 0x5A000000u | (DWORD)diffuse << (16 - 8 * channel);
          DWORD vertex = MakeUntexturedColor(packed);
          ASSERT_EQ(vertex >> 24, 0x5Au);
          ASSERT_EQ((int)(vertex >> (16 - 8 * channel) & 0xFF), diffuse * expected / 255)
              << bits << " bits, channel " << channel << ", value " << v << ", diffuse " << diffuse;
        }
      }
    }
  }
  PackedDiffuseColor = savedDiffuse;
  ScreenState.colorBits = 0;
}

TEST(DrawSettings, SettersClampAndRaiseTheStateFlagOnlyWhenNeeded) {
  ScreenState.hardwareRendering = 1;  // no device: the setters only store
  InitDrawSettings();
  SelectBlendMode(1, 300);
  EXPECT_EQ(DrawSettings.blendParam, 255);
  SelectBlendMode(1, -5);
  EXPECT_EQ(DrawSettings.blendParam, 0);
  SelectBlendMode(1, 128);
  EXPECT_EQ(MakeDiffuseColor(), 0x80FFFFFFu);
  SelectBlendMode(0, 0);

  StateFlags.stateChanged = 0;
  SelectDrawBrightness(255, 255, 254);
  EXPECT_EQ(StateFlags.stateChanged, 1);
  StateFlags.stateChanged = 0;
  SelectDrawBrightness(10, 20, 30);
  EXPECT_EQ(StateFlags.stateChanged, 0);
  EXPECT_EQ(PackedDiffuseColor, 0xFF0A141Eu);
  SelectDrawBrightness(300, -1, 255);
  EXPECT_EQ(DrawSettings.brightness, 0x00FF00FFu);

  StoreTransparentColor(0x1FF, 0, 0);
  EXPECT_EQ(DrawSettings.transparentColor, 0x00FF0000u);
  SelectAlphaTest(5, 999);
  EXPECT_EQ(DrawSettings.alphaTestRef, 255);

  SetVSyncWait(0);
  EXPECT_EQ(GetVSyncWait(), 0);
  // The settings start inside started graphics: only then can the front screen be selected.
  ScreenState.graphicsStarted = 1;
  InitDrawSettings();
  ScreenState.graphicsStarted = 0;
  EXPECT_EQ(GetVSyncWait(), 0) << "the vsync choice survives";
  EXPECT_EQ(DrawSettings.transparentColor, 0x00FF0000u);
  EXPECT_EQ(DrawSettings.blendGraph, -1);
  EXPECT_EQ(DrawSettings.alphaTestMode, -1);
  EXPECT_EQ(DrawSettings.addressU[7], D3DTADDRESS_CLAMP);
  EXPECT_EQ(GetDrawTargetHandle(), -4);
  EXPECT_EQ(DrawSettings.fogColor, 0xFFFFFFFFu);
  EXPECT_EQ(DrawSettings.fogEnd, 1500.0f);
  EXPECT_EQ(DrawSettings.lights.material.Power, 20.0f);
  SetVSyncWait(1);
  ScreenState.hardwareRendering = 0;
}

// Every start of the draw settings begins with mask drawing off.
TEST(DrawSettings, InitialisationTurnsMaskDrawingOff) {
  MaskState.wanted = MaskState.active = MaskState.pendingRegion = 1;
  InitDrawSettings();
  EXPECT_EQ(IsMaskDrawingEnabled(), 0);
  EXPECT_EQ(MaskState.active, 0);
  EXPECT_EQ(MaskState.pendingRegion, 0);
}

TEST(ShaderConstants, RangesMergeAndSplit) {
  SHADER_CONSTANT_FILE file = {};
  UpdateConstantRanges(&file, 1, 0, 4);
  UpdateConstantRanges(&file, 1, 4, 4);
  ASSERT_EQ(file.rangeCount, 1);
  EXPECT_EQ(file.ranges[0].first, 0);
  EXPECT_EQ(file.ranges[0].end, 8);
  UpdateConstantRanges(&file, 0, 2, 1);
  ASSERT_EQ(file.rangeCount, 2);
  EXPECT_EQ(file.ranges[0].end, 2);
  EXPECT_EQ(file.ranges[1].first, 3);
  EXPECT_EQ(file.ranges[1].end, 8);
  UpdateConstantRanges(&file, 1, 20, 0);
  EXPECT_EQ(file.rangeCount, 2);
  UpdateConstantRanges(&file, 1, 10, 2);
  UpdateConstantRanges(&file, 1, 1, 12);  // covers everything between
  ASSERT_EQ(file.rangeCount, 1);
  EXPECT_EQ(file.ranges[0].end, 13);
  UpdateConstantRanges(&file, 0, 0, 20);
  EXPECT_EQ(file.rangeCount, 0);
}

TEST(VertexBatch, IndexedGridSplitsLongStrips) {
  static std::vector<std::pair<UINT, UINT>> draws;  // vertex count, primitive count
  DEVICE_CALL_TABLE saved = DeviceCalls;
  DeviceCalls.DeviceDrawIndexedPrimitiveUP = [](D3DPRIMITIVETYPE, UINT, UINT vertices, UINT count, const void*,
                                                D3DFORMAT, const void*, UINT) {
    draws.push_back({vertices, count});
    return S_OK;
  };
  DeviceCalls.DeviceSetFVF = [](DWORD) { return S_OK; };
  DeviceCalls.DeviceDrawPrimitiveUP = [](D3DPRIMITIVETYPE, UINT, const void*, UINT) { return S_OK; };
  Direct3DObjects.device = (IDirect3DDevice9*)&fakeDevice;
  PrepareVertexBatchBuffers();
  static VERTEX_2D_TEX grid[300 * 3];
  EXPECT_EQ(DrawIndexedGrid(1, grid, 2), -1);
  EXPECT_EQ(DrawIndexedGrid(2, grid, 2), 0);
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].second, 2u);
  draws.clear();
  EXPECT_EQ(DrawIndexedGrid(300, grid, 3), 0);
  EXPECT_EQ(draws.size(), 2u);
  Direct3DObjects.device = nullptr;
  DeviceCalls = saved;
}
}  // namespace

namespace {
TEST(Camera, TargetResetMapsZeroDepthOntoThePixels) {
  ScreenState.hardwareRendering = 0;
  ScreenState.mainWidth = 640, ScreenState.mainHeight = 480;
  ScreenState.graphicsStarted = 1;  // a draw target is selected only in started graphics
  InitDrawSettings();
  ScreenState.graphicsStarted = 0;
  const CAMERA_STATE& c = DrawSettings.camera;
  EXPECT_NEAR(c.eye.z, -415.69f, 0.01f);
  VEC3F centre = ScreenToWorld(320, 240, 0);
  EXPECT_NEAR(centre.x, 320.0f, 0.01f);
  EXPECT_NEAR(centre.y, 240.0f, 0.01f);
  EXPECT_NEAR(centre.z, -374.12f, 0.05f);
  // A world point at z = 0 appears at pixel (x, h - y).
  VEC3F screen = TransformVec3Point({100, 100, 0}, c.worldViewProjectionViewport);
  float w = 100 * c.worldViewProjectionViewport.m[0][3] + 100 * c.worldViewProjectionViewport.m[1][3] +
            c.worldViewProjectionViewport.m[3][3];
  EXPECT_NEAR(screen.x / w, 100.0f, 0.01f);
  EXPECT_NEAR(screen.y / w, 380.0f, 0.01f);

  SetAspectScale(2.0f);
  EXPECT_NEAR(c.projection.m[0][0], 1.5f * 1.7320508f, 1e-4f);
  MAT44F user;
  SetIdentityMat44(&user);
  user.m[0][0] = 7.0f;
  SetProjectionUserMatrix(user);
  SetAspectScale(3.0f);
  EXPECT_EQ(c.projection.m[0][0], 7.0f) << "a caller's matrix ignores the aspect";
}

// The camera of a target stands over the target's middle, a half pixel on odd sizes; only its
// distance comes from half the height in whole pixels: 481 rows put the eye where 480 do.
TEST(Camera, OddTargetSizesCentreOnTheMiddleAtTheWholePixelDistance) {
  struct {
    int width, height;
    float centreX, centreY;
  } rows[] = {{641, 481, 320.5f, 240.5f}, {640, 480, 320.0f, 240.0f}, {255, 97, 127.5f, 48.5f}};
  for (const auto& row : rows) {
    ResetCameraForTarget(row.width, row.height);
    const CAMERA_STATE& c = DrawSettings.camera;
    float d = (float)(row.height / 2) / 0.57735026f;
    EXPECT_EQ(c.eye.x, row.centreX) << row.width;
    EXPECT_EQ(c.eye.y, row.centreY) << row.height;
    EXPECT_FLOAT_EQ(c.eye.z, -d) << row.height;
    EXPECT_EQ(c.target.x, row.centreX);
    EXPECT_EQ(c.target.y, row.centreY);
    EXPECT_EQ(c.centreX, row.centreX);
    EXPECT_EQ(c.centreY, row.centreY);
    EXPECT_FLOAT_EQ(DrawSettings.nearZ, d * 0.1f);
    // The pixel viewport is centred on the same middle: clip (0, 0) is screen (centre).
    EXPECT_EQ(c.pixelViewport.m[3][0], row.centreX);
    EXPECT_EQ(c.pixelViewport.m[3][1], row.centreY);
  }
  EXPECT_NEAR(DrawSettings.camera.eye.z, -83.14f, 0.01f);  // 48 / tan 30°
}

TEST(Camera, LookingStraightDownGivesAVerticalAngle) {
  ScreenState.mainWidth = 640, ScreenState.mainHeight = 480;
  InitDrawSettings();
  PlaceCamera({0, 100, 0}, {0, 0, 0}, {0, 0, 1});
  EXPECT_EQ(DrawSettings.camera.horizontalAngle, 0.0f);
  EXPECT_NEAR(std::fabs(DrawSettings.camera.verticalAngle), 1.5707964f, 1e-5f);
  PlaceCamera({0, 0, -10}, {0, 0, 0}, {0, 1, 0});
  EXPECT_NEAR(DrawSettings.camera.horizontalAngle, 0.0f, 1e-6f);
  EXPECT_NEAR(DrawSettings.camera.verticalAngle, 0.0f, 1e-6f);
  EXPECT_NEAR(DrawSettings.camera.twist, 0.0f, 1e-6f);
}
}  // namespace

namespace {
TEST(StageTable, RowsRealiseTheirIndex) {
  struct {
    int kind, graph, d, b, e;
    int count;
    short colorOp, colorArg1, alphaOp;
  } rows[] = {
      {0, 0, 0, 0, 0, 1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTOP_SELECTARG2},
      {0, 0, 0, 0, 1, 1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTOP_SELECTARG1},
      {0, 0, 0, 1, 0, 1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTOP_SELECTARG2},
      {0, 0, 0, 1, 2, 1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTOP_MODULATE},
      {0, 0, 1, 0, 0, 1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTOP_SELECTARG2},
      {0, 0, 1, 1, 1, 1, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTOP_MODULATE},
      {1, 0, 0, 0, 1, 2, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTOP_SELECTARG1},
      {2, 0, 0, 0, 0, 1, D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTOP_SELECTARG2},
      {3, 0, 1, 0, 0, 1, D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTOP_SELECTARG2},
      {1, 2, 0, 0, 0, 0, D3DTOP_DISABLE, 0, D3DTOP_DISABLE},
  };
  for (auto& r : rows) {
    int index = StageSetupIndex(r.kind, r.graph, r.d, r.b, r.e);
    const STAGE_SETUP* setup = GetStageSetup(index);
    ASSERT_NE(setup, nullptr) << index;
    EXPECT_EQ(setup->count, r.count) << "record " << index;
    if (r.count == 0) continue;
    EXPECT_EQ(setup->stages[0].colorOp, r.colorOp) << "record " << index;
    EXPECT_EQ(setup->stages[0].colorArg1, r.colorArg1) << "record " << index;
    EXPECT_EQ(setup->stages[0].alphaOp, r.alphaOp) << "record " << index;
    EXPECT_EQ(setup->stages[setup->count].colorOp, D3DTOP_DISABLE) << "record " << index;
    if (r.kind == 1) { EXPECT_EQ(setup->stages[1].colorOp, D3DTOP_BLENDCURRENTALPHA) << "record " << index; }
  }
  EXPECT_EQ(StageSetupIndex(3, 3, 1, 1, 2), 191);
  EXPECT_EQ(GetStageSetup(192), nullptr);
  EXPECT_EQ(GetStageSetup(-1), nullptr);
}
}  // namespace
