// The one pending-vertex batch of all immediate drawing: five static buffers by dimension and
// texture count, drawn with one DrawPrimitiveUP per flush.
#pragma once
#include <windows.h>

struct VERTEX_2D {
  float x, y, z, rhw;
  DWORD diffuse;
};
struct VERTEX_2D_TEX {
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};
struct VERTEX_2D_TEX2 {
  float x, y, z, rhw;
  DWORD diffuse, specular;
  float u1, v1, u2, v2;
};
struct VERTEX_3D {
  float x, y, z;
  DWORD diffuse;
};
struct VERTEX_3D_TEX {
  float x, y, z;
  DWORD diffuse;
  float u, v;
};

struct VERTEX_FORMAT {
  int stride;
  DWORD fvf;
  int capacity;
};

struct VERTEX_BATCH {
  int dimension;   // 0 2D, 1 3D
  int vertexType;  // 0 untextured, 1 one texture, 2 two textures
  int primitive;   // D3DPRIMITIVETYPE
  int count;
  char* writePosition;
  char* starts[6];  // by dimension * 3 + vertex type
};

extern VERTEX_BATCH VertexBatch;
extern const VERTEX_FORMAT VertexFormats[6];

// Draws the pending vertices. A loader thread passes fromWorker 1: the flush then runs on the
// main thread while the loader waits.
int FlushVertexBatch(int fromWorker);
int FlushVertexBatchNow();
struct MAIN_THREAD_REQUEST;
int FlushVertexBatchOnMainThread(MAIN_THREAD_REQUEST* request);
// Sets the buffer starts and presets the fields draw functions do not write.
void PrepareVertexBatchBuffers();
// The append contract: flushes when the dimension or primitive changes or `count` more
// vertices would reach the capacity, then returns where they go. CommitBatchVertices advances.
void* ReserveBatchVertices(int dimension, int primitive, int count);
void CommitBatchVertices(int count);
// Drops the pending vertices unsent.
void DiscardBatchVertices();
// Empties the batch and sets its kind; returns where its first vertex goes.
void* RestartBatch(int dimension, int vertexType, int primitive);
// The vertex type chosen by the blend set-up; the write position moves to its buffer start.
void SelectBatchVertexType(int type);
int DrawIndexedGrid(int columns, const VERTEX_2D_TEX* vertices, int rows);
// The primitives n vertices make for a primitive type (0 for an unknown type).
int CountPrimitives(int primitive, int n);
