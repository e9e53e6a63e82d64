// Drawing settings, packed screen colours and screen queries.
#pragma once

int SelectBlendMode(int mode, int parameter);
int SelectAlphaTest(int mode, int reference);
int SelectDrawBrightness(int red, int green, int blue);
int SetDrawFilterMode(int mode);  // 0 nearest, 1 bilinear, 2 anisotropic
int GetDrawFilterMode();
int SetDepthTest3D(int value);
int StoreTransparentColor(int red, int green, int blue);
int SetVSyncWait(int flag);
int GetVSyncWait();
int SetSmallScreenEmulation(int flag);
int GetDrawTargetHandle();
int HasGraphicsRestoreCallback();
// The function that restores graph contents after the device is made again (null: every
// graph reloaded from its source).
int SetGraphicsRestoreHandler(int (*handler)());
int SelectFogMode(int mode);
int SelectFogColor(int red, int green, int blue);
int SelectFogRange(float start, float end);

unsigned int PackScreenColor(int red, int green, int blue);
int UnpackScreenColor(unsigned int color, int* red, int* green, int* blue);

int GetScreenColorBits();
int QueryMainScreenSize(int* width, int* height);

// Vertex and index buffers: created with a size, filled by element ranges, deleted with
// DeleteVertexBuffer / DeleteIndexBuffer. Index buffers hold 16-bit indices.
int CreateVertexBuffer(int vertexSize, int vertexCount);
int CreateIndexBuffer(int indexCount);
int SetVertexBufferData(int first, const void* data, int count, int handle);
int SetIndexBufferData(int first, const void* data, int count, int handle);
int DeleteVertexBuffer(int handle);
int DeleteIndexBuffer(int handle);
