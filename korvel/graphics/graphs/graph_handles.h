// Graph handles (type 1): the handle life cycle, derived graphs sharing their parent's image
// set, and the pieces through which a graph shows the textures of its set.
#pragma once
#include "graphics/graphs/graph_records.h"

enum { GRAPH_HANDLE_MAX = 0x8000 };
extern const char* const kGraphHandleTypeName;

HANDLE_VALUE NewGraphHandle();
void InitGraphRecord(HANDLE_HEAD* record);
int ReleaseGraphRecord(HANDLE_HEAD* record);
GRAPH_RECORD* GetGraphRecord(HANDLE_VALUE handle, int anyState);
int IsGraphHandleValid(HANDLE_VALUE handle);
int DeleteGraphHandle(HANDLE_VALUE handle, int unused);
int AttachGraphLostFlag(HANDLE_VALUE handle, int* flag);
int QueryGraphTextureSize(HANDLE_VALUE handle, int* width, int* height);
HANDLE_VALUE CreateDerivedGraph(int x, int y, int width, int height, HANDLE_VALUE parent);
HANDLE_VALUE CreateDerivedGraphEx(int x, int y, int width, int height, HANDLE_VALUE parent, int anyState);
int DeriveGraphInto(HANDLE_VALUE child, int x, int y, int width, int height, HANDLE_VALUE parent, int anyState);
int LinkDerivedGraph(HANDLE_VALUE parent, HANDLE_VALUE child, int x, int y, int width, int height, int anyState);
int BuildGraphPieces(HANDLE_VALUE handle, int anyState);

// A zeroed image set with room for its textures (stored after the record); null on failure.
GRAPH_IMAGE_SET* AllocGraphImageSet(int textureCount);
// Drops one reference; the last one releases the textures and frees the set.
void ReleaseGraphImageSet(GRAPH_IMAGE_SET* set);
