// Shader handles (type 12): a vertex or pixel shader made from Direct3D 9 byte code, the
// program's choice of shaders and stage textures, and the binding of a handle to the device.
#pragma once
#include <d3d9.h>

#include "core/handles.h"

struct SHADER_HANDLE {
  HANDLE_HEAD head;
  int kind;  // 1 vertex, 0 pixel
  void* code;  // owned copy of the byte code
  IUnknown* object;
  int constantCount;
  const void* constantTable;  // inside the copy, null when the code has none
};

struct SHADER_SELECTION {
  int stageTextures[16];  // graph handles, 0 none
  int vertexShader, pixelShader;
};

struct SAVED_SHADER_SELECTION {
  int vertexShader, pixelShader;
  int stageTextures[8];
  int count;
};

extern SHADER_SELECTION ShaderSelection;

int RegisterShaderHandleType();  // at graphics start-up: at most 4096 shader handles
int CreateShaderHandle(int vertex, const void* code, int size, int freeAfter, int async, int anyState);
int CreatePixelShaderFromBytes(const void* code, int size);
int LoadFilterShader(const char* name, int vertex);
int TerminateShaderHandle(HANDLE_HEAD* record);
int SetShaderTextureSlot(int slot, int graph);
int SelectVertexShader(int handle);
int SelectPixelShader(int handle);
void SaveShaderSelection(SAVED_SHADER_SELECTION* record, int count);
void RestoreShaderSelection(const SAVED_SHADER_SELECTION* record);
int BindVertexShaderHandle(int handle);
int BindPixelShaderHandle(int handle);
