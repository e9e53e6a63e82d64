#include "font/font_handles.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "core/threads.h"
#include "file/async_load.h"
#include "font/font_metrics.h"
#include "font/font_screen.h"
#include "font/glyph_cache.h"
#include "system/base/pump.h"
#include "system/base/window_state.h"

FONT_CREATE_OPTIONS FontCreateOptions;
FONT_DEFAULT_SETTINGS FontDefaults = {{0}, 16, 6, 0, 0, 1, 0, 0, -1};
unsigned char BitCountTable[256];

namespace {
const char* const kDefaultFace = "ＭＳ ゴシック";
const int kCharSets[5] = {DEFAULT_CHARSET, SHIFTJIS_CHARSET, HANGUL_CHARSET, CHINESEBIG5_CHARSET, GB2312_CHARSET};
// A face list without a caller's buffer: room for this many 64-byte names.
const int kScratchNames = 0x40000 / FONT_ENUM_NAME_SIZE;

struct FONT_SYSTEM {
  int started;
};
FONT_SYSTEM FontSystem;

// The collection of one face enumeration: at most capacity names, without repeats.
struct FONT_FACE_LIST {
  char (*names)[FONT_ENUM_NAME_SIZE];
  int capacity;
  int count;
};

int CALLBACK CollectFontFaceName(const LOGFONTA* logFont, const TEXTMETRICA*, DWORD, LPARAM param) {
  FONT_FACE_LIST* list = (FONT_FACE_LIST*)param;
  if (list->count >= list->capacity) return 0;
  const char* name = (const char*)((const ENUMLOGFONTEXA*)logFont)->elfFullName;
  if (name[0] == '@') return 1;
  char copy[FONT_ENUM_NAME_SIZE];
  CopyStringN(copy, name, FONT_ENUM_NAME_SIZE - 1);
  for (int i = 0; i < list->count; i++)
    if (strcmp(list->names[i], copy) == 0) return 1;
  memcpy(list->names[list->count], copy, sizeof(copy));
  list->count++;
  return list->count < list->capacity ? 1 : 0;
}

HFONT CreateGdiFont(const char* face, int height, int thickness, int italic, int charSet) {
  return CreateFontA(height, 0, 0, 0, thickness * 100, italic ? TRUE : FALSE, FALSE, FALSE, (DWORD)charSet,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

// 1 when the system lists the face among the faces of the character set.
int HasFaceInCharSet(const char* face, int charSetIndex) {
  int count = EnumFontFaces(nullptr, 0, face, charSetIndex);
  if (count <= 0) return 0;
  char(*names)[FONT_ENUM_NAME_SIZE] = (char(*)[FONT_ENUM_NAME_SIZE])AllocTracked((size_t)count * FONT_ENUM_NAME_SIZE, "", 0);
  if (names == nullptr) return 0;
  int found = EnumFontFaces(names, count, face, charSetIndex);
  int result = 0;
  for (int i = 0; i < found && !result; i++)
    if (strcmp(names[i], face) == 0) result = 1;
  FreeTracked(names);
  return result;
}

// The GDI font of one trial height, by the face fall-backs; null after logging the failure.
HFONT CreateTrialFont(FONT_RECORD* font, int height, int autoCharSet) {
  int charSet = GetFontCharSet(font->charSetIndex);
  if (font->faceName[0] != 0) {
    if (autoCharSet && !HasFaceInCharSet(font->faceName, font->charSetIndex)) {
      font->charSetIndex = 0;
      charSet = DEFAULT_CHARSET;
    }
    HFONT result = CreateGdiFont(font->faceName, height, font->thickness, font->italic, charSet);
    if (result == nullptr) result = CreateGdiFont(font->faceName, height, font->thickness, font->italic, DEFAULT_CHARSET);
    if (result == nullptr) result = CreateGdiFont(font->faceName, height, font->thickness, font->italic, SHIFTJIS_CHARSET);
    if (result == nullptr) WriteLogText("指定のフォントの作成に失敗しました\n");
    return result;
  }
  HFONT result = CreateGdiFont(kDefaultFace, height, font->thickness, font->italic, charSet);
  if (result == nullptr) result = CreateGdiFont(kDefaultFace, height, font->thickness, 0, DEFAULT_CHARSET);
  if (result == nullptr) result = CreateGdiFont(nullptr, height, font->thickness, 0, DEFAULT_CHARSET);
  if (result == nullptr) WriteLogText("フォントの作成に失敗しました\n");
  return result;
}

// Selects the font into a new memory DC and reads its metrics; null (font deleted) on failure.
HDC OpenMetricsDC(HFONT gdiFont, TEXTMETRICA* metrics) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    WriteLogText("ＤＣの取得に失敗しました\n");
    DeleteObject(gdiFont);
    return nullptr;
  }
  SelectObject(dc, gdiFont);
  GetTextMetricsA(dc, metrics);
  return dc;
}

void CloseMetricsDC(HDC dc) {
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  DeleteDC(dc);
}

// What a record holds beyond its settings: the GDI font and the cache storage.
void ReleaseFontResources(FONT_RECORD* font) {
  if (font->font != nullptr) DeleteObject(font->font);
  font->font = nullptr;
  FreeTracked(font->memoryCache);
  font->memoryCache = nullptr;
  ReleaseFontCacheTexture(font);
}

struct FONT_SETTINGS {
  char face[FONT_FACE_SIZE];
  int size, thickness, fontType, charSetIndex, edgeSize, italic, spacing;
};

void ReadFontSettings(const FONT_RECORD* font, FONT_SETTINGS* out) {
  CopyStringN(out->face, font->faceName, FONT_FACE_SIZE - 1);
  out->size = font->size;
  out->thickness = font->thickness;
  out->fontType = font->fontType;
  out->charSetIndex = font->charSetIndex;
  out->edgeSize = font->edgeSize;
  out->italic = font->italic;
  out->spacing = font->spacing;
}

// The creation request of an asynchronous font, in this order: options block, handle, face,
// size, thickness, type, character-set index, edge size, italic. A null area only measures.
int PackFontRequest(void* area, const FONT_CREATE_OPTIONS* options, HANDLE_VALUE handle, const char* face, int size,
                    int thickness, int fontType, int charSetIndex, int edgeSize, int italic) {
  int offset = 0;
  if (PackAsyncParamBlock(area, &offset, options, (int)sizeof(*options)) == -1) return -1;
  PackAsyncParamInt(area, &offset, handle);
  if (PackAsyncParamString(area, &offset, face) == -1) return -1;
  PackAsyncParamInt(area, &offset, size);
  PackAsyncParamInt(area, &offset, thickness);
  PackAsyncParamInt(area, &offset, fontType);
  PackAsyncParamInt(area, &offset, charSetIndex);
  PackAsyncParamInt(area, &offset, edgeSize);
  PackAsyncParamInt(area, &offset, italic);
  return offset;
}

int CreateFontOnLoaderThread(ASYNC_LOAD_TASK* task) {
  LockHandleType(HANDLE_TYPE_FONT);  // the queuing thread has registered the task
  UnlockHandleType(HANDLE_TYPE_FONT);
  const void* area = task->parameters;
  int offset = 0;
  FONT_CREATE_OPTIONS options = *(const FONT_CREATE_OPTIONS*)UnpackAsyncParamBlock(area, &offset);
  HANDLE_VALUE handle = UnpackAsyncParamInt(area, &offset);
  const char* face = UnpackAsyncParamString(area, &offset);
  int size = UnpackAsyncParamInt(area, &offset);
  int thickness = UnpackAsyncParamInt(area, &offset);
  int fontType = UnpackAsyncParamInt(area, &offset);
  int charSetIndex = UnpackAsyncParamInt(area, &offset);
  int edgeSize = UnpackAsyncParamInt(area, &offset);
  int italic = UnpackAsyncParamInt(area, &offset);
  int result = CreateFontToHandle(size, &options, handle, face, thickness, fontType, charSetIndex, edgeSize, italic, 1);
  EndHandleAsyncLoad(handle);
  if (result == -1) DeleteHandle(handle);
  return 0;
}

// Queues the creation of a new handle on the loader workers; the handle counts as loading
// from before the task can run.
int QueueFontCreation(const FONT_CREATE_OPTIONS* options, HANDLE_VALUE handle, const char* face, int size,
                      int thickness, int fontType, int charSetIndex, int edgeSize, int italic) {
  int bytes = PackFontRequest(nullptr, options, handle, face, size, thickness, fontType, charSetIndex, edgeSize, italic);
  if (bytes == -1) return -1;
  ASYNC_LOAD_TASK* task = AllocAsyncLoadTask(bytes);
  if (task == nullptr) return -1;
  task->process = CreateFontOnLoaderThread;
  PackFontRequest(task->parameters, options, handle, face, size, thickness, fontType, charSetIndex, edgeSize, italic);
  if (QueueHandleLoadTask(task, handle) < 0) {
    FreeTracked(task);
    return -1;
  }
  return 0;
}

// Makes the default font with the given settings and registers it; -1 leaves no default.
int MakeDefaultFont(const char* face, int size, int thickness, int fontType, int charSetIndex, int edgeSize,
                    int italic, int spacing) {
  HANDLE_VALUE handle = MakeFontHandle(&FontCreateOptions, face, size, thickness, fontType, charSetIndex,
                                       (fontType & FONT_TYPE_EDGE) ? edgeSize : -1, italic, -1, 0);
  FontDefaults.handle = handle;
  if (handle == -1) return -1;
  SetHandleDeleteFlag(handle, &FontDefaults.handle);
  SetFontCharSpacing(spacing, handle);
  return 0;
}
}  // namespace

int GetFontCharSet(int index) { return (index >= 0 && index < 5) ? kCharSets[index] : DEFAULT_CHARSET; }

int IsFontSystemStarted() { return FontSystem.started; }

void CopyFontCreateOptions(FONT_CREATE_OPTIONS* out) { *out = FontCreateOptions; }

FONT_RECORD* GetFontRecordEx(HANDLE_VALUE handle, int acceptPending) {
  if (handle < 0 || GetHandleType(handle) != HANDLE_TYPE_FONT) return nullptr;
  HANDLE_HEAD* head = LookupHandleRecord(handle);
  if (head == nullptr) return nullptr;
  if (!acceptPending && head->pendingLoads != 0) return nullptr;
  return (FONT_RECORD*)head;
}

FONT_RECORD* GetFontRecord(HANDLE_VALUE handle) { return GetFontRecordEx(handle, 0); }

void InitFontRecord(HANDLE_HEAD* record) {
  FONT_RECORD* font = (FONT_RECORD*)record;
  font->cacheGraph = -1;
  font->edgeGraph = -1;
}

int ReleaseFontRecord(HANDLE_HEAD* record) {
  FONT_RECORD* font = (FONT_RECORD*)record;
  ReleaseFontResources(font);
  if (font->deletedFlag != nullptr) *font->deletedFlag = 1;
  return 0;
}

int CreateFontToHandle(int size, const FONT_CREATE_OPTIONS* options, HANDLE_VALUE handle, const char* face,
                       int thickness, int fontType, int charSetIndex, int edgeSize, int italic, int async) {
  if (WindowState.windowDestroyed) return -1;
  FONT_RECORD* font = GetFontRecordEx(handle, async);
  if (font == nullptr) return -1;

  if (fontType == -1) fontType = 0;
  if (size == -1) size = 16;
  if (thickness == -1) thickness = 6;
  if (edgeSize == -1) edgeSize = 1;
  int autoCharSet = 0;
  if (charSetIndex == -1) {
    charSetIndex = GetCharSetCode();
    autoCharSet = 1;
  }
  fontType = NormalizeFontType(fontType, edgeSize, GetFontScreenBits());
  if (fontType < 0 || size <= 0 || edgeSize < 0 || charSetIndex < 0 || charSetIndex > 4) return -1;
  int factor = GetOversampleFactor(fontType);

  font->thickness = thickness;
  font->size = size;
  font->fontType = fontType;
  font->edgeSize = edgeSize;
  font->italic = italic;
  font->spacing = 0;
  font->charSetIndex = charSetIndex;
  font->textureCache = (IsFontTextureCacheAvailable() && !options->memoryCache) ? 1 : 0;
  font->cacheBits = (font->textureCache && (fontType & FONT_TYPE_ANTIALIASED) && !options->cache16Bit) ? 32 : 16;
  if (face != nullptr) CopyStringN(font->faceName, face, FONT_FACE_SIZE - 1);
  else font->faceName[0] = 0;

  int height = size * factor;
  HFONT gdiFont = CreateTrialFont(font, height, autoCharSet);
  if (gdiFont == nullptr) return -1;
  TEXTMETRICA metrics;
  HDC dc = OpenMetricsDC(gdiFont, &metrics);
  if (dc == nullptr) return -1;
  font->topOffset = 0;
  int corrected = CorrectFontHeight(height, metrics.tmInternalLeading + metrics.tmExternalLeading, metrics.tmHeight);
  if (corrected > 0) {
    int firstHeight = metrics.tmHeight;
    CloseMetricsDC(dc);
    DeleteObject(gdiFont);
    gdiFont = CreateTrialFont(font, corrected, 0);
    if (gdiFont == nullptr) return -1;
    dc = OpenMetricsDC(gdiFont, &metrics);
    if (dc == nullptr) return -1;
    font->topOffset = (metrics.tmHeight - firstHeight) / factor;
  }

  int edge = (fontType & FONT_TYPE_EDGE) ? edgeSize : 0;
  FONT_CELL_METRICS cell;
  ComputeFontCell(metrics.tmMaxCharWidth, metrics.tmHeight, factor, edge, &cell);
  font->cellSize = cell.cellSize;
  font->charHeight = cell.charHeight;
  CloseMetricsDC(dc);
  ReleaseFontResources(font);
  font->font = gdiFont;

  FONT_CACHE_LAYOUT layout;
  if (font->textureCache) {
    ComputeTextureCacheLayout(font->cellSize, options->cachedCount, &layout);
    font->cacheWidth = layout.width;
    font->cacheHeight = layout.height;
    font->capacity = layout.capacity;
    font->rows = layout.rows;
    int made = CreateFontCacheTexture(font, async);
    if (made == -2) return -1;
    if (made == -1) {
      WriteLogText("テクスチャ文字キャッシュの作成に失敗しました\n");
      font->textureCache = 0;
    }
  }
  if (!font->textureCache) {
    ComputeMemoryCacheLayout(font->cellSize, options->cachedCount, fontType, &layout);
    font->cacheWidth = layout.width;
    font->cacheHeight = layout.height;
    font->capacity = layout.capacity;
    font->rows = layout.rows;
    font->memoryBits = layout.bitsPerPixel;
    font->memoryPitch = layout.pitch;
    font->memoryCache = (unsigned char*)AllocTrackedZeroed((size_t)layout.pitch * layout.height, "", 0);
    if (font->memoryCache == nullptr) {
      AddLogLineFormat("%s", "フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
      return -1;
    }
  }
  ClearGlyphCacheOf(font);
  font->deletedFlag = nullptr;
  return 0;
}

HANDLE_VALUE MakeFontHandle(const FONT_CREATE_OPTIONS* options, const char* face, int size, int thickness,
                            int fontType, int charSetIndex, int edgeSize, int italic, HANDLE_VALUE wantedHandle,
                            int async) {
  WaitWhileInactive();
  FONT_CREATE_OPTIONS local;
  if (options == nullptr) {
    CopyFontCreateOptions(&local);
    options = &local;
  }
  HANDLE_VALUE handle = NewHandle(HANDLE_TYPE_FONT, wantedHandle);
  if (handle == -1) return -1;
  if (async) {
    if (QueueFontCreation(options, handle, face, size, thickness, fontType, charSetIndex, edgeSize, italic) == -1) {
      DeleteHandle(handle);
      return -1;
    }
    return handle;
  }
  if (CreateFontToHandle(size, options, handle, face, thickness, fontType, charSetIndex, edgeSize, italic, 0) == -1) {
    DeleteHandle(handle);
    return -1;
  }
  return handle;
}

int SetFontCharSpacing(int pixels, HANDLE_VALUE handle) {
  FONT_RECORD* font = GetFontRecord(handle);
  if (font == nullptr) return -1;
  font->spacing = pixels;
  return 0;
}

int SetFontDeletedFlag(HANDLE_VALUE handle, int* flag) {
  FONT_RECORD* font = GetFontRecord(handle);
  if (font == nullptr) return -1;
  font->deletedFlag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int GetFontHandleState(char* face, int* size, int* thickness, HANDLE_VALUE handle) {
  FONT_RECORD* font = GetFontRecord(handle);
  if (font == nullptr) return -1;
  if (face != nullptr) CopyStringN(face, font->faceName, FONT_FACE_SIZE - 1);
  if (size != nullptr) *size = font->size;
  if (thickness != nullptr) *thickness = font->thickness;
  return 0;
}

int GetFontHandleSize(HANDLE_VALUE handle) {
  FONT_RECORD* font = GetFontRecord(handle);
  return font != nullptr ? font->size : -1;
}

int IsFontHandleValid(HANDLE_VALUE handle) { return GetFontRecord(handle) != nullptr ? 1 : 0; }

HANDLE_VALUE GetDefaultFontHandle() { return FontDefaults.handle; }

int ChangeDefaultFontSettings(const char* face, int size, int thickness) {
  if (!IsFontDisplayUp()) return -1;
  CopyStringN(FontDefaults.face, face != nullptr ? face : "", (int)sizeof(FontDefaults.face) - 1);
  FontDefaults.size = size == -1 ? 16 : size;
  FontDefaults.thickness = thickness == -1 ? 6 : thickness;
  RefreshDefaultFont();
  return 0;
}

int ChangeDefaultFontSize(int size) {
  FontDefaults.size = size == -1 ? 16 : size;
  RefreshDefaultFont();
  return 0;
}

int ChangeDefaultFontThickness(int thickness) {
  FontDefaults.thickness = thickness == -1 ? 6 : thickness;
  RefreshDefaultFont();
  return 0;
}

int RefreshDefaultFont() {
  FONT_RECORD* font = GetFontRecord(FontDefaults.handle);
  if (font != nullptr) {
    // The record holds the type and character set after the creation rules; the settings
    // are compared as they would come out of the same rules.
    int wantedEdge = (FontDefaults.fontType & FONT_TYPE_EDGE) ? FontDefaults.edgeSize : 1;
    int wantedType = NormalizeFontType(FontDefaults.fontType, wantedEdge, GetFontScreenBits());
    if (strcmp(font->faceName, FontDefaults.face) == 0 && font->fontType == wantedType &&
        font->size == FontDefaults.size && font->thickness == FontDefaults.thickness &&
        font->charSetIndex == FontDefaults.charSetIndex && font->edgeSize == wantedEdge &&
        font->italic == FontDefaults.italic)
      return 0;
  }
  if (FontDefaults.handle != -1) DeleteHandle(FontDefaults.handle);
  MakeDefaultFont(FontDefaults.face, FontDefaults.size, FontDefaults.thickness, FontDefaults.fontType,
                  FontDefaults.charSetIndex, FontDefaults.edgeSize, FontDefaults.italic, FontDefaults.spacing);
  return 0;
}

int ResetFontHandles(int ending) {
  if (!IsFontDisplayUp()) return -1;
  WriteLogText("フォントの初期化を行います\n");
  IndentLog();
  FONT_SETTINGS kept;
  int hadDefault = 0;
  FONT_RECORD* font = GetFontRecord(FontDefaults.handle);
  if (font != nullptr) {
    ReadFontSettings(font, &kept);
    hadDefault = 1;
  }
  DeleteHandlesOfType(HANDLE_TYPE_FONT, nullptr);
  if (!ending) {
    if (hadDefault)
      MakeDefaultFont(kept.face, kept.size, kept.thickness, kept.fontType, kept.charSetIndex, kept.edgeSize,
                      kept.italic, FontDefaults.spacing);
    else
      MakeDefaultFont("", FontDefaults.size, FontDefaults.thickness, FontDefaults.fontType, FontDefaults.charSetIndex,
                      FontDefaults.edgeSize, FontDefaults.italic, FontDefaults.spacing);
  }
  UnindentLog();
  WriteLogText("フォントの初期化は正常に終了しました\n");
  return 0;
}

// Each font is rebuilt inside its own record: the handle value, the default-font
// registration, a watcher's deleted flag and the spacing all stay, and no handle is spent.
int RecreateAllFonts() {
  if (!IsHandleTypeReady(HANDLE_TYPE_FONT)) return -1;
  FONT_CREATE_OPTIONS options;
  CopyFontCreateOptions(&options);
  int cursor = -1;
  while (FONT_RECORD* font = (FONT_RECORD*)NextHandleRecord(HANDLE_TYPE_FONT, &cursor)) {
    // A font still being made on a loader thread gets the new device's state from its own
    // creation.
    if (font->head.pendingLoads != 0) continue;
    FONT_SETTINGS kept;
    ReadFontSettings(font, &kept);
    int* watcher = font->deletedFlag;
    HANDLE_VALUE handle = font->head.handle;
    if (CreateFontToHandle(kept.size, &options, handle, kept.face, kept.thickness, kept.fontType, kept.charSetIndex,
                           kept.edgeSize, kept.italic, 0) == -1) {
      DeleteHandle(handle);
      continue;
    }
    font->deletedFlag = watcher;
    font->spacing = kept.spacing;
  }
  return 0;
}

int EnumFontFaces(char (*names)[64], int maxCount, const char* face, int charSetIndex) {
  FONT_FACE_LIST list;
  list.names = names;
  list.capacity = names != nullptr ? (maxCount > 0 ? maxCount : 0) : kScratchNames;
  list.count = 0;
  if (names == nullptr) {
    list.names = (char(*)[FONT_ENUM_NAME_SIZE])AllocTracked((size_t)kScratchNames * FONT_ENUM_NAME_SIZE, "", 0);
    if (list.names == nullptr) return 0;
    if (maxCount > 0 && maxCount < kScratchNames) list.capacity = maxCount;
  }
  if (list.capacity > 0) {
    LOGFONTA pattern;
    memset(&pattern, 0, sizeof(pattern));
    pattern.lfCharSet = (BYTE)(charSetIndex < 0 ? DEFAULT_CHARSET : GetFontCharSet(charSetIndex));
    if (face != nullptr) CopyStringN(pattern.lfFaceName, face, LF_FACESIZE - 1);
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExA(screen, &pattern, (FONTENUMPROCA)CollectFontFaceName, (LPARAM)&list, 0);
    ReleaseDC(nullptr, screen);
  }
  if (names == nullptr) FreeTracked(list.names);
  return list.count;
}

int InitFontSystem() {
  if (FontSystem.started) return -1;
  if (InitHandleType(HANDLE_TYPE_FONT, sizeof(FONT_RECORD), FONT_MAX_COUNT, InitFontRecord, ReleaseFontRecord,
                     "フォント") == -1)
    return -1;
  FontSystem.started = 1;
  FontDefaults.fontType = 0;
  FontDefaults.size = 16;
  FontDefaults.thickness = 6;
  FontDefaults.charSetIndex = GetCharSetCode();
  FontDefaults.edgeSize = 1;
  FontDefaults.italic = 0;
  FontDefaults.spacing = 0;
  FontDefaults.handle = -1;
  for (int i = 0; i < 256; i++) {
    int bits = 0;
    for (int v = i; v != 0; v >>= 1) bits += v & 1;
    BitCountTable[i] = (unsigned char)bits;
  }
  ResetFontHandles(0);
  return 0;
}

int EndFontSystem() {
  if (!FontSystem.started) return -1;
  ResetFontHandles(1);
  if (FontDefaults.handle != -1) DeleteHandle(FontDefaults.handle);
  EndHandleType(HANDLE_TYPE_FONT);
  FontDefaults.handle = -1;
  FontSystem.started = 0;
  return 0;
}
