// Vertex-buffer (type 15) and index-buffer (type 16) handles: a Direct3D buffer in the default
// pool with a system-memory copy of its contents, from which the buffer is re-created and
// refilled after a device reset.
#pragma once
#include <d3d9.h>

#include "core/handles.h"

struct BUFFER_HANDLE {
  HANDLE_HEAD head;
  int elementSize;   // bytes per vertex or per index
  int elementCount;
  unsigned char* systemCopy;   // elementSize x elementCount bytes
  IDirect3DResource9* buffer;  // IDirect3DVertexBuffer9 or IDirect3DIndexBuffer9; null while none
};
typedef BUFFER_HANDLE VERTEX_BUFFER_HANDLE;
typedef BUFFER_HANDLE INDEX_BUFFER_HANDLE;

enum {
  BUFFER_HANDLE_MAX = 0x4000,
  VERTEX_BUFFER_FVF = 0x2D2,  // position, normal, diffuse, specular, two texture coordinates
};

// Registers and ends the two handle types (graphics start-up and shut-down).
int InitBufferHandleTypes();
int EndBufferHandleTypes();

// Releases the device buffer of a record (device loss); the system copy stays.
int ReleaseBufferObject(HANDLE_HEAD* record);
// The terminate callback of both types: the device buffer and the system copy.
int TerminateBufferHandle(HANDLE_HEAD* record);

// Device loss and reset: every buffer released, then re-created and refilled from its copy.
int ReleaseAllBufferObjects();
int RecreateAllBufferObjects();
