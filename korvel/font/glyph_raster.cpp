#include "font/glyph_raster.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "font/font_handles.h"
#include "font/font_metrics.h"

namespace {
// EDGE_BRUSH rows for edge sizes 2 to 4, the centre in the middle.
const char* const kBrush2[5] = {".###.", "#####", "#####", "#####", ".###."};
const char* const kBrush3[7] = {"...#...", ".#####.", ".#####.", "#######", ".#####.", ".#####.", "...#..."};
const char* const kBrush4[9] = {"..#####..", ".#######.", "#########", "#########", "#########",
                                "#########", "#########", ".#######.", "..#####.."};

struct GLYPH_RASTER_STATE {
  int outlineCalls;
};
GLYPH_RASTER_STATE RasterState;

const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

DWORD CallGetGlyphOutline(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer) {
  RasterState.outlineCalls++;
  return GetGlyphOutlineA(dc, code, format, metrics, size, buffer, &kIdentity);
}

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

[[noreturn]] void FailAllocation(const char* message) { ExitWithFatalError(message); }
}  // namespace

int CountGlyphOutlineCalls() { return RasterState.outlineCalls; }

void ResampleGlyphBits(const unsigned char* bits, int pitch, int rows, int phase, int factor, int levels,
                       int width, int height, unsigned char* out) {
  for (int oy = 0; oy < height; oy++) {
    int first = oy * factor - phase;
    for (int ox = 0; ox < width; ox++) {
      int sum = 0;
      for (int r = first; r < first + factor; r++) {
        if (r < 0 || r >= rows) continue;
        const unsigned char* row = bits + r * pitch;
        if (factor == 8) {
          if (ox < pitch) sum += BitCountTable[row[ox]];
        } else if (ox / 2 < pitch) {
          unsigned char byte = row[ox / 2];
          sum += BitCountTable[(ox & 1) ? (byte & 0x0F) : (byte >> 4)];
        }
      }
      if (factor == 8 && levels == 16) sum >>= 2;
      else if (factor == 4 && levels == 64) sum *= 4;
      out[oy * width + ox] = (unsigned char)sum;
    }
  }
}

int FetchGlyphImage(HDC dc, const TEXTMETRICA* metrics, int fontType, int levels, int lead, int trail,
                    GLYPH_IMAGE* out) {
  int factor = GetOversampleFactor(fontType);
  UINT code = trail != 0 ? (UINT)(lead * 256 + trail) : (UINT)lead;
  memset(out, 0, sizeof(*out));
  out->levels = levels;
  GLYPHMETRICS gm;
  if (lead == 0x20 || (lead == 0x81 && trail == 0x40)) {
    if (CallGetGlyphOutline(dc, code, GGO_METRICS, &gm, 0, nullptr) == GDI_ERROR) {
      WriteLogText("GetGlyphOutline 関数が失敗しました\n");
      return -1;
    }
    out->advance = (gm.gmCellIncX + factor / 2) / factor;
    return 0;
  }
  int grey = (fontType == 2 || fontType == 3);
  UINT format = !grey ? GGO_BITMAP : (levels == 64 ? GGO_GRAY8_BITMAP : GGO_GRAY4_BITMAP);
  DWORD size = CallGetGlyphOutline(dc, code, format, &gm, 0, nullptr);
  if (size == GDI_ERROR) {
    WriteLogText("GetGlyphOutline 関数が失敗しました\n");
    return -1;
  }
  out->advance = (gm.gmCellIncX + factor / 4) / factor;
  out->offsetX = (gm.gmptGlyphOrigin.x + factor / 4) / factor;
  int fromTop = metrics->tmAscent - gm.gmptGlyphOrigin.y;
  int phase = fromTop - FloorDiv(fromTop, factor) * factor;
  out->offsetY = FloorDiv(fromTop, factor);
  // An empty bitmap (a control character, a blank glyph) is an empty image with its advance.
  if (size == 0 || gm.gmBlackBoxX == 0 || gm.gmBlackBoxY == 0) return 0;

  int bbx = (int)gm.gmBlackBoxX, bby = (int)gm.gmBlackBoxY;
  int pitch = grey ? (bbx + 3) & ~3 : ((bbx + 31) / 32) * 4;
  size_t bytes = (size_t)pitch * bby > size ? (size_t)pitch * bby : size;
  unsigned char* raw = (unsigned char*)AllocTrackedZeroed(bytes, "", 0);
  if (raw == nullptr) FailAllocation("アンチエイリアス文字取得用バッファの確保に失敗しました");
  if (CallGetGlyphOutline(dc, code, format, &gm, size, raw) == GDI_ERROR) {
    FreeTracked(raw);
    WriteLogText("GetGlyphOutline 関数が失敗しました\n");
    return -1;
  }
  out->width = (bbx + factor - 1) / factor;
  out->height = (phase + bby + factor - 1) / factor;
  out->pixels = (unsigned char*)AllocTrackedZeroed((size_t)out->width * out->height, "", 0);
  if (out->pixels == nullptr) FailAllocation("文字イメージリサンプリング用バッファの確保に失敗しました");
  if (factor > 1) {
    ResampleGlyphBits(raw, pitch, bby, phase, factor, levels, out->width, out->height, out->pixels);
  } else {
    for (int y = 0; y < bby; y++) {
      const unsigned char* row = raw + y * pitch;
      unsigned char* target = out->pixels + y * out->width;
      for (int x = 0; x < bbx; x++)
        target[x] = grey ? (unsigned char)(row[x] > levels ? levels : row[x]) : (unsigned char)((row[x >> 3] >> (7 - (x & 7))) & 1);
    }
  }
  FreeTracked(raw);
  return 0;
}

int IsInEdgeBrush(int edgeSize, int dx, int dy, int eightNeighbours) {
  int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
  if (ax > edgeSize || ay > edgeSize) return 0;
  switch (edgeSize) {
    case 0: return 0;
    case 1: return eightNeighbours ? (ax | ay) != 0 : ax + ay == 1;
    case 2: return kBrush2[dy + 2][dx + 2] == '#';
    case 3: return kBrush3[dy + 3][dx + 3] == '#';
    case 4: return kBrush4[dy + 4][dx + 4] == '#';
    default: return 1;
  }
}

void ComposeEdgePlanes(const GLYPH_IMAGE* glyph, int e, int eightNeighbours, int gather, unsigned char* glyphPlane,
                       unsigned char* edgePlane) {
  int w = glyph->width + 2 * e, h = glyph->height + 2 * e;
  memset(glyphPlane, 0, (size_t)w * h);
  memset(edgePlane, 0, (size_t)w * h);
  int m = glyph->levels;
  for (int y = 0; y < glyph->height; y++)
    for (int x = 0; x < glyph->width; x++) {
      int v = glyph->pixels[y * glyph->width + x];
      glyphPlane[(y + e) * w + x + e] = (unsigned char)v;
      if (v == 0) continue;
      for (int dy = -e; dy <= e; dy++)
        for (int dx = -e; dx <= e; dx++) {
          if (!IsInEdgeBrush(e, dx, dy, eightNeighbours)) continue;
          unsigned char* a = &edgePlane[(y + e + dy) * w + x + e + dx];
          if (gather == EDGE_GATHER_MAX) {
            if (v > *a) *a = (unsigned char)v;
          } else {
            *a = (unsigned char)(*a + ((m - *a) * v) / m);
          }
        }
    }
}

GLYPH_PLANES MakeGlyphPlanes(const GLYPH_IMAGE* glyph, int e, int eightNeighbours, int gather) {
  GLYPH_PLANES planes = {glyph->pixels, nullptr, glyph->width + 2 * e, glyph->height + 2 * e};
  if (e <= 0) return planes;
  size_t area = (size_t)planes.width * planes.height;
  planes.glyph = (unsigned char*)AllocTracked(area * 2, "", 0);
  if (planes.glyph == nullptr) FailAllocation("文字イメージリサンプリング用バッファの確保に失敗しました");
  planes.edge = planes.glyph + area;
  ComposeEdgePlanes(glyph, e, eightNeighbours, gather, planes.glyph, planes.edge);
  return planes;
}

void FreeGlyphPlanes(GLYPH_PLANES* planes) {
  if (planes->edge != nullptr) FreeTracked(planes->glyph);
  planes->glyph = planes->edge = nullptr;
}
