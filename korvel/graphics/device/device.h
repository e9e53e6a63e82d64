// Device creation: the settings it follows, the capabilities it reads, the formats it
// chooses (screen, depth buffer, 27 texture format classes) and the screen read-back choice.
#pragma once
#include <d3d9.h>

struct DEVICE_SETTINGS {
  int no9Ex;                // set once a 9Ex device failed: later starts use the plain object
  int multithreaded;
  int useAdapter, adapter;  // adapter 0 unless the flag is on
  int forceSoftwareVertexProcessing;
  int shaderModel2;         // vertex and pixel shaders 2.0 and mixed vertex processing
  int vertexShader2, pixelShader2;
  int desktopComposition;   // 0 default, 1 leave alone in fullscreen, 2 off in windowed mode
  DWORD adapterVertexShaderVersion;
  DWORD multiSampleType, multiSampleQuality;
  int autoSmallScreen;
  int backBufferLock;       // read the screen by locking the back buffer
};

enum { TEXTURE_FORMAT_CLASS_COUNT = 27 };

struct DEVICE_CAPS {
  D3DCAPS9 caps;
  int renderTargetCount;
  int stageTempRegister;   // D3DTSS_RESULTARG with D3DTA_TEMP
  int blendOperation;      // reverse subtraction in the blender
  int powerOfTwoOnly, nonPowerOfTwoConditional;
  int maxTextureWidth, maxTextureHeight, maxTextureSize;
  int maxPrimitiveCount;
  D3DFORMAT backBufferFormat, depthFormat;
  D3DFORMAT textureFormats[TEXTURE_FORMAT_CLASS_COUNT];  // TEXTURE_FORMAT_TABLE
};

extern DEVICE_SETTINGS DeviceSettings;
extern DEVICE_CAPS DeviceCaps;

int SetUpDirect3DDevice();
int CreateDirect3DDevice();
int GetShaderModel();
int ChosenAdapter();
const char* GetFormatLabel(D3DFORMAT format);

// The back-buffer surface taken after device creation (the screen surface).
IDirect3DSurface9* GetScreenSurface();
void ReleaseScreenSurface();
