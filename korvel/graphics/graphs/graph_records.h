// The records of graph handles: the handle record with its texture pieces, the image set it
// shares with the graphs derived from it, and the device textures of that set.
#pragma once
#include <windows.h>
#include <d3d9.h>

#include <cstdint>

#include "core/handles.h"
#include "image/memimg.h"

struct GRAPH_RELOAD_SOURCE;

// The texture descriptor of an image set, one byte per property.
struct TEXTURE_DESC {
  uint8_t heldAsTextures;
  uint8_t alpha;
  uint8_t drawable;
  uint8_t software;
  uint8_t managedPool;
  uint8_t compressedKind;
  uint8_t mipLevels;
  uint8_t alphaTest;
  uint8_t floatChannels;
  uint8_t colorBits;
  uint8_t channelCount;
  uint8_t channelBits;
  uint8_t blendImage;
  uint8_t palette;
  uint8_t multiSampleCount;
  uint8_t multiSampleQuality;
};
static_assert(sizeof(TEXTURE_DESC) == 16, "the descriptor is 16 bytes");

struct GRAPH_TEXTURE {
  IDirect3DTexture9* texture;
  IDirect3DSurface9* surface;             // level 0
  IDirect3DSurface9* multiSampleSurface;  // drawable sets with a multisample count
  IDirect3DSurface9* depthSurface;
  int x, y;                     // top-left pixel of the texture in the image
  int usedWidth, usedHeight;    // the part holding image pixels
  int width, height;            // texture size
};

struct GRAPH_IMAGE_SET {
  int refCount;     // 1 when made, +1 per derived graph, freed at 0
  int formatIndex;  // standard texture format 0-24
  TEXTURE_DESC desc;
  DWORD transparentColor;  // 0x00RRGGBB
  int width, height;       // the whole image
  int depthFlag;
  int mipLevels;
  int textureCount;
  GRAPH_TEXTURE* textures;  // stored right after the record, in the same allocation
  MEMIMG memImg;            // software sets: the whole image
};

struct GRAPH_CORNER {
  float x, y, u, v;
};

enum { GRAPH_CORNER_TOP_LEFT, GRAPH_CORNER_TOP_RIGHT, GRAPH_CORNER_BOTTOM_LEFT, GRAPH_CORNER_BOTTOM_RIGHT };

struct GRAPH_PIECE {
  int graphX, graphY;      // start of the piece relative to the graph's top-left
  int textureX, textureY;  // first texel of the piece
  int width, height;
  GRAPH_CORNER corners[4];    // top-left, top-right, bottom-left, bottom-right
  uint8_t cornerFlags[4];     // 1: on or above the diagonal from bottom-left to top-right
  GRAPH_TEXTURE* texture;
};

enum { GRAPH_BASE_PIECES = 4 };

struct GRAPH_RECORD {
  HANDLE_HEAD head;
  int* lostFlag;
  int movieHandle;
  GRAPH_RELOAD_SOURCE* reloadSource;
  int reloadX, reloadY;
  GRAPH_IMAGE_SET* imageSet;
  int x, y;  // position of the graph's rectangle in the image set
  int width, height;
  MEMIMG memImg;  // software graphs: a view of the graph's rectangle of the set's image
  int pieceCount;
  GRAPH_PIECE pieces[GRAPH_BASE_PIECES];  // grown with the record for more pieces
};

// Bytes of a graph record holding the given number of pieces (never below the base record).
int GraphRecordSize(int pieceCount);

// The creation settings of a graph, captured from the draw settings at the call.
struct GRAPH_CREATE_PARAM {
  int transparentColor;  // 0x00RRGGBB colour key of images without alpha
  int colorBits;         // 0: 32 with alpha, else the screen depth
  int channelBits;
  int alphaTestFormat;
  int blankAlpha;
  int blendImage;
  int managedPool;
  int drawable;
  int drawableAlpha;
  int floatChannels;
  int depthBuffer;
  int channelCount;
  int multiSampleCount;
  int multiSampleQuality;
  int mipLevels;  // -1 full chain, 0 one level, else that many
  int maxTextureSize;  // 0: the device's
};

// What the device allows for textures; filled from the device capabilities.
struct TEXTURE_LIMITS {
  int maxSize;
  int powerOfTwoOnly;
  int nonPowerOfTwoConditional;
  int squareOnly;
};
