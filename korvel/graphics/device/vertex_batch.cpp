#include "graphics/device/vertex_batch.h"

#include <d3d9.h>

#include <cstring>

#include "file/async_load.h"
#include "graphics/device/camera.h"
#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/present.h"
#include "graphics/device/state_cache.h"
#include "korvel.h"

VERTEX_BATCH VertexBatch;

const VERTEX_FORMAT VertexFormats[6] = {
    {20, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, 3225},
    {28, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 2340},
    {40, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 1638},
    {16, D3DFVF_XYZ | D3DFVF_DIFFUSE, 4096},
    {24, D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 2730},
    {0, 0, 0},
};

namespace {
VERTEX_2D buffer2D[3225];
VERTEX_2D_TEX buffer2DTex[2340];
VERTEX_2D_TEX2 buffer2DTex2[1638];
char buffer3D[65536];  // shared by both 3D vertex types

int Slot() { return VertexBatch.dimension * 3 + VertexBatch.vertexType; }

void ResetWritePosition() {
  VertexBatch.count = 0;
  VertexBatch.writePosition = VertexBatch.starts[Slot()];
}
}  // namespace

void PrepareVertexBatchBuffers() {
  VertexBatch.starts[0] = (char*)buffer2D;
  VertexBatch.starts[1] = (char*)buffer2DTex;
  VertexBatch.starts[2] = (char*)buffer2DTex2;
  VertexBatch.starts[3] = buffer3D;
  VertexBatch.starts[4] = buffer3D;
  VertexBatch.starts[5] = nullptr;
  for (VERTEX_2D& v : buffer2D) v.z = 0.0f, v.rhw = 1.0f;
  for (VERTEX_2D_TEX& v : buffer2DTex) v.z = 0.0f, v.rhw = 1.0f;
  for (VERTEX_2D_TEX2& v : buffer2DTex2) v.z = 0.0f, v.rhw = 1.0f, v.specular = 0xFFFFFFFF;
  if (VertexBatch.dimension == 1 && VertexBatch.vertexType == 2) VertexBatch.vertexType = 0;
  ResetWritePosition();
}

int FlushVertexBatchOnMainThread(MAIN_THREAD_REQUEST*) { return FlushVertexBatch(0); }

int FlushVertexBatch(int fromWorker) {
  // The batch and the device belong to the main thread: a loader thread hands the flush over
  // and waits for its result.
  if (fromWorker) {
    MAIN_THREAD_REQUEST request = {};
    request.function = FlushVertexBatchOnMainThread;
    return RequestMainThreadCall(&request);
  }
  if (!HasDirect3DDevice()) return -1;
  if (VertexBatch.count != 0 && !IsQuitRequested() && VertexBatch.writePosition != nullptr) {
    if (!StateFlags.sceneOpen) BeginDeviceScene();
    if (!StateFlags.skipDraw) {
      const VERTEX_FORMAT& format = VertexFormats[Slot()];
      SendFVFIfChanged(format.fvf);
      // 3D batches hold world-space vertices: they are drawn under an identity world transform.
      MAT44F identity;
      SetIdentityMat44(&identity);
      if (VertexBatch.dimension == 1) SetDeviceWorldTransform(identity);
      DeviceCalls.DeviceDrawPrimitiveUP((D3DPRIMITIVETYPE)VertexBatch.primitive,
                                        CountPrimitives(VertexBatch.primitive, VertexBatch.count),
                                        VertexBatch.starts[Slot()], format.stride);
      if (VertexBatch.dimension == 1) SetDeviceWorldTransform(DrawSettings.camera.world);
    }
  }
  ResetWritePosition();
  return 0;
}

int FlushVertexBatchNow() { return FlushVertexBatch(0); }

void* ReserveBatchVertices(int dimension, int primitive, int count) {
  const VERTEX_FORMAT& format = VertexFormats[dimension * 3 + VertexBatch.vertexType];
  if (VertexBatch.dimension != dimension || VertexBatch.primitive != primitive ||
      VertexBatch.count + count >= format.capacity || VertexBatch.writePosition == nullptr) {
    FlushVertexBatch(0);
    VertexBatch.dimension = dimension;
    VertexBatch.primitive = primitive;
    ResetWritePosition();
  }
  return VertexBatch.writePosition;
}

void CommitBatchVertices(int count) {
  VertexBatch.writePosition += count * VertexFormats[Slot()].stride;
  VertexBatch.count += count;
}

void SelectBatchVertexType(int type) {
  VertexBatch.vertexType = type;
  if (VertexBatch.dimension == 1 && type == 2) VertexBatch.vertexType = 1;
  ResetWritePosition();
}

int DrawIndexedGrid(int columns, const VERTEX_2D_TEX* vertices, int rows) {
  if (columns < 2 || rows < 2) return -1;
  if (!HasDirect3DDevice()) return 0;
  FlushVertexBatch(0);
  WORD indices[1000];
  int n = 0;
  auto draw = [&]() {
    SendFVFIfChanged(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    DeviceCalls.DeviceDrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, columns * rows, n - 2, indices, D3DFMT_INDEX16,
                                             vertices, sizeof(VERTEX_2D_TEX));
  };
  // A strip needs 2W + 2 entries; wider grids than the list can hold are drawn strip by strip
  // in pieces that fit.
  if (2 * columns + 2 > 1000) return -1;
  for (int r = 0; r <= rows - 2; r++) {
    int base = r * columns;
    if (n + 2 * columns + 2 > 1000) {
      draw();
      n = 0;
    } else if (n > 0) {
      indices[n++] = (WORD)(base + columns);
    }
    for (int c = 0; c < columns; c++) {
      indices[n++] = (WORD)(base + c + columns);
      indices[n++] = (WORD)(base + c);
    }
    if (r != rows - 2) {
      indices[n] = indices[n - 1];
      n++;
    }
  }
  if (n > 0) draw();
  return 0;
}

int CountPrimitives(int primitive, int n) {
  switch (primitive) {
    case D3DPT_POINTLIST: return n;
    case D3DPT_LINELIST: return n / 2;
    case D3DPT_LINESTRIP: return n - 1;
    case D3DPT_TRIANGLELIST: return n / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return n - 2;
  }
  return 0;
}

void DiscardBatchVertices() {
  VertexBatch.count = 0;
  VertexBatch.writePosition = VertexBatch.starts[Slot()];
}

void* RestartBatch(int dimension, int vertexType, int primitive) {
  VertexBatch.dimension = dimension;
  VertexBatch.vertexType = vertexType;
  VertexBatch.primitive = primitive;
  DiscardBatchVertices();
  return VertexBatch.writePosition;
}
