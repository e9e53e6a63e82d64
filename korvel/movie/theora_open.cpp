// Opening a Theora movie: the header search, the scan of the whole file into the page table
// and key-frame flags, the decode thread's start, and closing.
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "movie/theora_decoder.h"

namespace {
const int kReadPiece = 4096;
const int kTableStep = 1000;

const char kNoDecoderMemory[] = "Theora ムービーデコード処理用のメモリ確保に失敗しました\n";
const char kNoThread[] = "Theora ムービーデコード用スレッドの作成に失敗しました\n";
const char kNoPageMemory[] = "Theora ページ情報格納用メモリの確保に失敗しました\n";
const char kNoKeyMemory[] = "Theora キーフレーム情報格納用メモリの確保に失敗しました\n";
const char kNoImageMemory[] = "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n";
const char kNoStockMemory[] = "Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n";
const char kThreadDoesNotEnd[] = "Theora ムービーデコード用スレッドが終了しません\n";
const DWORD kThreadEndLimitMs = 2 * THEORA_WAIT_LIMIT_MS;

// Grows a tracked table by kTableStep elements; false (the table unchanged) on failure.
template <typename T>
bool GrowTable(T** table, int* capacity) {
  T* grown = (T*)ReallocTracked(*table, sizeof(T) * (size_t)(*capacity + kTableStep), __FILE__, __LINE__);
  if (grown == nullptr) return false;
  *table = grown;
  *capacity += kTableStep;
  return true;
}

// Takes the next page out of the sync, reading more data while none is ready; false when the
// data ends first.
bool TakeNextPage(THEORA_DECODER* d) {
  while (ogg_sync_pageout(&d->sync, &d->page) <= 0)
    if (ReadTheoraStreamData(d, kReadPiece) == 0) return false;
  return true;
}

// Everything the decode thread may still use: the stock, the tables, the Ogg and Theora states,
// the stream once it was handed over, and the decoder itself.
void FreeSharedParts(THEORA_DECODER* d) {
  if (d->stock != nullptr) {
    for (int i = 0; i < d->stockCount; i++) FreeTheoraStockPlanes(&d->stock[i]);
    FreeTracked(d->stock);
  }
  FreeTracked(d->pages);
  FreeTracked(d->keyFrames);
  ogg_stream_clear(&d->theoraStream);
  theora_clear(&d->decoderState);
  theora_comment_clear(&d->comment);
  theora_info_clear(&d->info);
  ogg_sync_clear(&d->sync);
  if (d->ownsStream && d->files.close != nullptr) d->files.close(d->stream);
  FreeTracked(d);
}

// Ends the thread and frees everything but the stream; fromAsyncThread decides how the overlay
// is released. The thread stops within one packet of the end request. One that has not ended
// in time may still read the stream and write the decoder: the overlay and the image, which it
// never touches, go now, the rest stays until it ends and is freed by whichever side lets go
// last; with handStream the stream goes with it. -> 0, or 1 when the decoder was left to the
// thread.
int FreeTheoraDecoder(THEORA_DECODER* d, int fromAsyncThread, int handStream) {
  int left = 0;
  if (d->thread != nullptr) {
    StoreSharedWord(&d->endRequest, 1);
    if (WaitForSingleObject(d->thread, kThreadEndLimitMs) != WAIT_OBJECT_0) {
      AddLogText(kThreadDoesNotEnd);
      d->ownsStream = handStream;
      left = 1;
    }
    CloseHandle(d->thread);
    d->thread = nullptr;
  }
  ReleaseTheoraOverlay(d, fromAsyncThread);
  DisposeImage(&d->image);
  LetGoOfTheoraDecoder(d);
  return left;
}

THEORA_DECODER* FailOpen(THEORA_DECODER* d, const char* message, int fromAsyncThread) {
  if (message != nullptr) AddLogText(message);
  // The thread is still parked: it has not touched the stream, which stays the caller's.
  FreeTheoraDecoder(d, fromAsyncThread, 0);
  return nullptr;
}

// Builds the page table and the key-frame flags from the whole file, which the stream has
// been moved to the start of. Lost data (a hole in the packet stream) is no frame. Offsets come from the bytes read less those the sync still
// holds, so bytes the sync skips as garbage do not shift them. -> 0, or -1 after a logged
// failure to grow a table.
int ScanTheoraPages(THEORA_DECODER* d) {
  uint32_t totalRead = 0, lastOffset = 0;
  int newPage = 0, holeSeen = 0;
  for (;;) {
    int result = ogg_stream_packetout(&d->theoraStream, &d->packet);
    if (result < 0) {  // lost data: not a frame
      holeSeen = 1;
      continue;
    }
    if (result == 0) {
      if (ogg_sync_pageout(&d->sync, &d->page) > 0) {
        uint32_t held = (uint32_t)(d->sync.fill - d->sync.returned);
        lastOffset = totalRead - held - (uint32_t)(d->page.header_len + d->page.body_len);
        newPage = 1;
        ogg_stream_pagein(&d->theoraStream, &d->page);
        continue;
      }
      int read = ReadTheoraStreamData(d, kReadPiece);
      if (read == 0) return 0;
      totalRead += (uint32_t)read;
      continue;
    }
    int kind = theora_packet_iskeyframe(&d->packet);
    if (kind < 0) continue;  // a header packet
    if (newPage) {
      newPage = 0;
      if (d->pageCount == d->pageCapacity && !GrowTable(&d->pages, &d->pageCapacity)) {
        AddLogText(kNoPageMemory);
        return -1;
      }
      // After lost data the page may begin with the rest of a packet that was dropped
      // uncounted; where a seek starting at the page would count it, it must not start there.
      d->pages[d->pageCount++] = {lastOffset, (int)d->frameCount, 0, 0, holeSeen};
      holeSeen = 0;
    }
    if (d->frameCount >= d->keyFrameCapacity && !GrowTable(&d->keyFrames, &d->keyFrameCapacity)) {
      AddLogText(kNoKeyMemory);
      return -1;
    }
    THEORA_PAGE_ENTRY* last = &d->pages[d->pageCount - 1];
    d->keyFrames[d->frameCount] = kind > 0 ? 1 : 0;
    if (kind > 0) last->keyFrame = 1;
    d->frameCount += 1;
    last->frames += 1;
  }
}
}  // namespace

int ReadTheoraStreamData(THEORA_DECODER* d, int bytes) {
  char* buffer = ogg_sync_buffer(&d->sync, bytes);
  if (buffer == nullptr) return 0;
  int read = d->files.read(buffer, 1, bytes, d->stream);
  if (read < 0) read = 0;
  if (read > bytes) read = bytes;
  ogg_sync_wrote(&d->sync, read);
  return read;
}

int ReadTheoraHeaders(THEORA_DECODER* d) {
  // The beginning-of-stream pages: the first whose first packet is a Theora header names the
  // stream; the first other page ends them.
  for (;;) {
    if (!TakeNextPage(d)) return -1;
    if (!ogg_page_bos(&d->page)) break;
    if (d->headerCount > 0) continue;
    ogg_stream_state candidate;
    ogg_stream_init(&candidate, ogg_page_serialno(&d->page));
    ogg_stream_pagein(&candidate, &d->page);
    if (ogg_stream_packetout(&candidate, &d->packet) == 1 &&
        theora_decode_header(&d->info, &d->comment, &d->packet) >= 0) {
      d->theoraStream = candidate;
      d->serialNumber = ogg_page_serialno(&d->page);
      d->headerCount = 1;
    } else {
      ogg_stream_clear(&candidate);
    }
  }
  if (d->headerCount == 0) return -1;  // no Theora stream
  // The identification header gave the sizes: nothing more is read of a stream too large.
  if (CheckTheoraFrameSize(&d->info) < 0) return -2;
  ogg_stream_pagein(&d->theoraStream, &d->page);
  while (d->headerCount < 3) {
    int result = ogg_stream_packetout(&d->theoraStream, &d->packet);
    if (result < 0) return -1;
    if (result > 0) {
      if (theora_decode_header(&d->info, &d->comment, &d->packet) < 0) return -1;
      d->headerCount += 1;
      continue;
    }
    if (!TakeNextPage(d)) return -1;  // the end of the file while searching for the headers
    ogg_stream_pagein(&d->theoraStream, &d->page);
  }
  return 1;
}

THEORA_DECODER* OpenTheoraDecoder(const FILE_ACCESS_TABLE* files, uint32_t stream, int stockCount,
                                  int fromAsyncThread, int* refused) {
  if (refused != nullptr) *refused = 0;
  char magic[4] = {};
  if (files->read(magic, 1, 4, stream) != 4 || memcmp(magic, "OggS", 4) != 0) return nullptr;
  files->seek(stream, 0, SEEK_SET);

  THEORA_DECODER* d = (THEORA_DECODER*)AllocTrackedZeroed(sizeof(THEORA_DECODER), __FILE__, __LINE__);
  if (d == nullptr) {
    AddLogText(kNoDecoderMemory);
    return nullptr;
  }
  d->holders = 1;
  d->headerCount = 0;
  d->currentFrame = -1;
  d->failedFrame = -1;
  ogg_sync_init(&d->sync);
  theora_info_init(&d->info);
  theora_comment_init(&d->comment);
  d->files = *files;
  d->stream = stream;
  d->stockCount = stockCount > 0 ? stockCount : 1;

  int headers = ReadTheoraHeaders(d);
  if (headers < 0) {
    if (headers == -2 && refused != nullptr) *refused = 1;
    return FailOpen(d, nullptr, fromAsyncThread);
  }

  // The thread starts parked: it waits for the first seek.
  d->pauseRequest = 1;
  d->state = THEORA_STATE_IDLE;
  d->idleStart = GetMillisecondCount();
  d->holders = 2;  // the thread lets go when it ends
  d->thread = CreateThread(nullptr, 0, RunTheoraDecodeThread, d, 0, &d->threadId);
  if (d->thread == nullptr) {
    d->holders = 1;
    return FailOpen(d, kNoThread, fromAsyncThread);
  }

  if (theora_decode_init(&d->decoderState, &d->info) != 0) return FailOpen(d, nullptr, fromAsyncThread);
  ogg_sync_reset(&d->sync);
  ogg_stream_reset(&d->theoraStream);
  d->files.seek(d->stream, 0, SEEK_SET);

  d->pages = (THEORA_PAGE_ENTRY*)AllocTracked(sizeof(THEORA_PAGE_ENTRY) * kTableStep, __FILE__, __LINE__);
  if (d->pages == nullptr) return FailOpen(d, kNoPageMemory, fromAsyncThread);
  d->pageCapacity = kTableStep;
  d->keyFrames = (uint8_t*)AllocTracked(kTableStep, __FILE__, __LINE__);
  if (d->keyFrames == nullptr) return FailOpen(d, kNoKeyMemory, fromAsyncThread);
  d->keyFrameCapacity = kTableStep;
  d->pageCount = 0;
  d->frameCount = 0;
  if (ScanTheoraPages(d) < 0) return FailOpen(d, nullptr, fromAsyncThread);
  if (d->pageCount > 0) d->pages[0].offset = 0;

  CreateTheoraOverlay(d, fromAsyncThread);
  if (AllocXRGB8Image(d->info.width, d->info.height, &d->image) < 0)
    return FailOpen(d, kNoImageMemory, fromAsyncThread);
  d->stock = (THEORA_STOCK_FRAME*)AllocTrackedZeroed(sizeof(THEORA_STOCK_FRAME) * (size_t)d->stockCount, __FILE__,
                                                     __LINE__);
  if (d->stock == nullptr) return FailOpen(d, kNoStockMemory, fromAsyncThread);

  SeekTheoraFrame(d, 0);
  PresentTheoraFrame(d, 1, 1, fromAsyncThread);
  return d;
}

int CloseTheoraDecoder(THEORA_DECODER* d) { return FreeTheoraDecoder(d, 0, 1); }

void LetGoOfTheoraDecoder(THEORA_DECODER* d) {
  if (__atomic_sub_fetch(&d->holders, 1, __ATOMIC_ACQ_REL) == 0) FreeSharedParts(d);
}

int GetTheoraInfo(THEORA_DECODER* d, THEORA_MOVIE_INFO* out) {
  uint32_t numerator = (uint32_t)d->info.fps_numerator, denominator = (uint32_t)d->info.fps_denominator;
  out->framesPerSecond = denominator != 0 ? (double)numerator / (double)denominator : 0.0;
  out->frameCount = (int)d->frameCount;
  out->width = (int)d->info.width;
  out->height = (int)d->info.height;
  return 0;
}

int GetTheoraCurrentFrame(THEORA_DECODER* d) { return LoadSharedWord(&d->currentFrame); }

RASTER_IMAGE* GetTheoraImage(THEORA_DECODER* d) { return &d->image; }
