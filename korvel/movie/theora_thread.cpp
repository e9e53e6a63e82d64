// The decode thread of a Theora movie and the main thread's moves of the current frame.
//
// The thread keeps the stock filled with the window of the current frame c: the frames c,
// c + 1, ... taken modulo the frame count, as many as the stock has entries (the whole movie
// when it is shorter). Each pass frees the entries outside the window, then makes the first
// frame of the window that the stock lacks: from the decoder's picture when it is that frame,
// by decoding forward when the frame lies ahead of the decoder, else from the page table (a
// frame behind the decoder: past the loop point, or a step back). Only the thread adds entries
// and it adds a frame only when the stock lacks it, so no frame is held twice; the window
// never holds more frames than the stock has entries, so while the current frame is missing
// at most stock - 1 entries are in use and it finds a free one. A missing current frame is
// therefore the next frame made by the first pass that reads it, from any state of the stock,
// or it is reported as a frame that cannot come (its data ended, or no room for its planes).
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "movie/theora_decoder.h"

namespace {
const int kReadPiece = 4096;
const int kIdleYieldMs = 200;
const char kNoPlaneMemory[] = "Theora ムービーデコードフレーム用のメモリ確保に失敗しました\n";

// Frames from c forward to f, modulo the frame count.
int64_t FramesAhead(int64_t c, int64_t f, int64_t frameCount) {
  int64_t d = (f - c) % frameCount;
  return d < 0 ? d + frameCount : d;
}

int WindowSize(const THEORA_DECODER* d) {
  return d->frameCount < d->stockCount ? (int)d->frameCount : d->stockCount;
}

bool InWindow(const THEORA_DECODER* d, int frame, int current) {
  return frame >= 0 && frame < d->frameCount && FramesAhead(current, frame, d->frameCount) < WindowSize(d);
}

// Frees the stock entries outside the current frame's window.
void DiscardOutsideWindow(THEORA_DECODER* d, int current) {
  for (int i = 0; i < d->stockCount; i++) {
    THEORA_STOCK_FRAME* e = &d->stock[i];
    if (LoadOrderedWord(&e->used) && !InWindow(d, LoadSharedWord(&e->frame), current)) StoreOrderedWord(&e->used, 0);
  }
}

// The first frame of the window that the stock lacks, or -1 when it holds the whole window.
int FirstMissingFrame(THEORA_DECODER* d, int current) {
  for (int k = 0; k < WindowSize(d); k++) {
    int frame = (int)((current + (int64_t)k) % d->frameCount);
    if (FindTheoraStockFrame(d, frame) == nullptr) return frame;
  }
  return -1;
}

// A free entry that no reader holds: the thread may write into it.
THEORA_STOCK_FRAME* FindWritableEntry(THEORA_DECODER* d) {
  for (int i = 0; i < d->stockCount; i++)
    if (!LoadOrderedWord(&d->stock[i].used) && LoadOrderedWord(&d->readingEntry) != i + 1) return &d->stock[i];
  return nullptr;
}

// Makes a plane of the entry hold width x height bytes, keeping it when the size is the same.
bool FitPlane(uint8_t** plane, int oldWidth, int oldHeight, int width, int height) {
  if (*plane != nullptr && (oldWidth != width || oldHeight != height)) {
    FreeTracked(*plane);
    *plane = nullptr;
  }
  if (*plane == nullptr) *plane = (uint8_t*)AllocTracked((size_t)width * height, __FILE__, __LINE__);
  return *plane != nullptr;
}

void CopyPlane(uint8_t* dest, const unsigned char* source, int stride, int width, int height) {
  for (int row = 0; row < height; row++) memcpy(dest + (size_t)row * width, source + (ptrdiff_t)row * stride, width);
}

// A picture whose planes lie inside the frame the header announced.
bool PlanesFit(const THEORA_DECODER* d, const yuv_buffer& yuv) {
  return yuv.y != nullptr && yuv.u != nullptr && yuv.v != nullptr && yuv.y_width > 0 && yuv.y_height > 0 &&
         yuv.uv_width > 0 && yuv.uv_height > 0 && (uint32_t)yuv.y_width <= d->info.width &&
         (uint32_t)yuv.y_height <= d->info.height && yuv.uv_width <= yuv.y_width && yuv.uv_height <= yuv.y_height;
}

// Copies the decoder's picture into a free entry as frame p and hands the entry over. The
// planes are kept tightly packed (stride = width). -> false when the picture cannot be stored.
bool StoreDecodedFrame(THEORA_DECODER* d, THEORA_STOCK_FRAME* e) {
  yuv_buffer yuv;
  if (theora_decode_YUVout(&d->decoderState, &yuv) < 0 || !PlanesFit(d, yuv)) return false;
  bool fits = FitPlane(&e->y, e->yWidth, e->yHeight, yuv.y_width, yuv.y_height) &&
              FitPlane(&e->cb, e->chromaWidth, e->chromaHeight, yuv.uv_width, yuv.uv_height) &&
              FitPlane(&e->cr, e->chromaWidth, e->chromaHeight, yuv.uv_width, yuv.uv_height);
  if (!fits) {
    FreeTheoraStockPlanes(e);
    return false;
  }
  e->yWidth = yuv.y_width;
  e->yHeight = yuv.y_height;
  e->yStride = yuv.y_width;
  e->chromaWidth = yuv.uv_width;
  e->chromaHeight = yuv.uv_height;
  e->chromaStride = yuv.uv_width;
  CopyPlane(e->y, yuv.y, yuv.y_stride, yuv.y_width, yuv.y_height);
  CopyPlane(e->cb, yuv.u, yuv.uv_stride, yuv.uv_width, yuv.uv_height);
  CopyPlane(e->cr, yuv.v, yuv.uv_stride, yuv.uv_width, yuv.uv_height);
  StoreSharedWord(&e->frame, d->decoderPosition);
  StoreOrderedWord(&e->used, 1);
  return true;
}

// Moves the stream and the decoder to the target from the page table: from one page before the
// nearest page with a key frame before the target's page (and before any lost data there),
// every frame up to the target is decoded. 1; -1 when the data ends first or no page holds
// the target; -2 when a pause or end request stopped it. The position is lost unless 1.
int MoveDecoderTo(THEORA_DECODER* d, int target) {
  d->decoderPosition = THEORA_POSITION_LOST;
  int i = 0;
  while (i < d->pageCount && d->pages[i].firstFrame + d->pages[i].frames <= target) i++;
  if (i == d->pageCount) return -1;
  if (i > 0) {
    i -= 1;
    while (i > 0 && !d->pages[i].keyFrame) i -= 1;
    if (i > 0) i -= 1;
  }
  while (i > 0 && d->pages[i].afterLostData) i -= 1;
  ogg_sync_reset(&d->sync);
  ogg_stream_reset(&d->theoraStream);
  d->files.seek(d->stream, (int)d->pages[i].offset, SEEK_SET);
  int frame = d->pages[i].firstFrame;
  if (i > 0) {
    bool havePage = true;
    while (havePage && ogg_sync_pageout(&d->sync, &d->page) <= 0) havePage = ReadTheoraStreamData(d, kReadPiece) > 0;
    if (!havePage) return -1;
    if (ogg_page_continued(&d->page)) frame += 1;  // its first packet cannot be completed
    ogg_stream_pagein(&d->theoraStream, &d->page);
  }
  if (frame > target) return -1;
  d->decoderPosition = frame - 1;
  int result = DecodeTheoraFrames(d, target - (frame - 1));
  if (result < 0) {
    d->decoderPosition = THEORA_POSITION_LOST;
    return result;
  }
  return 1;
}

// Brings the decoder's picture to the frame: 1, -1 (the data ended), -2 (interrupted).
int BringDecoderTo(THEORA_DECODER* d, int frame) {
  int position = d->decoderPosition;
  if (position == frame) return 1;
  if (position == THEORA_POSITION_LOST || position > frame) return MoveDecoderTo(d, frame);
  int result = DecodeTheoraFrames(d, frame - position);
  if (result >= 0) return 1;
  d->decoderPosition = THEORA_POSITION_LOST;
  return result;
}

void ReportFailedFrame(THEORA_DECODER* d, int frame) {
  StoreSharedWord(&d->failedFrame, frame);
  StoreSharedWord(&d->endOfData, 1);
}

void ClearFailedFrame(THEORA_DECODER* d) {
  StoreSharedWord(&d->endOfData, 0);
  StoreSharedWord(&d->failedFrame, -1);
}

void BecomeIdle(THEORA_DECODER* d) {
  if (LoadSharedWord(&d->state) == THEORA_STATE_IDLE) return;
  StoreSharedWord(&d->state, THEORA_STATE_IDLE);
  d->idleStart = GetMillisecondCount();
}

// The seek: the stock is emptied and the decoder moved to the target. -> false for a stream
// without frames (the thread then ends).
bool SeekInThread(THEORA_DECODER* d) {
  if (d->frameCount <= 0 || d->pageCount <= 0) return false;
  int target = LoadSharedWord(&d->seekTarget);
  for (int k = 0; k < d->stockCount; k++) StoreOrderedWord(&d->stock[k].used, 0);
  int result = MoveDecoderTo(d, target);
  if (result == -2) return true;  // a pause or end request came first: the seek stays requested
  // A target that cannot be reached is reported, never stored with the picture the decoder
  // happens to hold.
  if (result < 0) ReportFailedFrame(d, target);
  else ClearFailedFrame(d);
  StoreSharedWord(&d->seekRequest, 0);
  return true;
}

// One pass of keeping the stock filled.
void FillStock(THEORA_DECODER* d) {
  int current = LoadSharedWord(&d->currentFrame);
  if (d->frameCount <= 0 || current < 0 || current >= d->frameCount) {
    BecomeIdle(d);
    return;
  }
  DiscardOutsideWindow(d, current);
  int goal = FirstMissingFrame(d, current);
  // A frame that could not be made is tried again only once the window asks for another one.
  if (goal < 0 || (LoadSharedWord(&d->endOfData) && LoadSharedWord(&d->failedFrame) == goal)) {
    BecomeIdle(d);
    return;
  }
  THEORA_STOCK_FRAME* entry = FindWritableEntry(d);
  if (entry == nullptr) {  // only while the reader still holds an entry freed under it
    Sleep(1);
    return;
  }
  StoreSharedWord(&d->state, THEORA_STATE_DECODING);
  int result = BringDecoderTo(d, goal);
  if (result == -2) return;
  if (result < 0) {
    ReportFailedFrame(d, goal);
    return;
  }
  if (!StoreDecodedFrame(d, entry)) {
    if (!LoadSharedWord(&d->endOfData)) AddLogText(kNoPlaneMemory);
    ReportFailedFrame(d, goal);
    return;
  }
  ClearFailedFrame(d);
}

void IdleSleep(THEORA_DECODER* d) {
  if (LoadSharedWord(&d->state) != THEORA_STATE_IDLE) {
    Sleep(0);
    return;
  }
  int now = GetMillisecondCount();
  Sleep(now >= 0 && now - d->idleStart <= kIdleYieldMs ? 0 : 1);
}

bool Interrupted(THEORA_DECODER* d) {
  return LoadSharedWord(&d->endRequest) || LoadSharedWord(&d->pauseRequest);
}
}  // namespace

void FreeTheoraStockPlanes(THEORA_STOCK_FRAME* e) {
  FreeTracked(e->y);
  FreeTracked(e->cb);
  FreeTracked(e->cr);
  e->y = e->cb = e->cr = nullptr;
  e->yWidth = e->yHeight = e->chromaWidth = e->chromaHeight = 0;
}

THEORA_STOCK_FRAME* FindTheoraStockFrame(THEORA_DECODER* d, int frame) {
  for (int i = 0; i < d->stockCount; i++) {
    THEORA_STOCK_FRAME* e = &d->stock[i];
    if (LoadOrderedWord(&e->used) && LoadSharedWord(&e->frame) == frame) return e;
  }
  return nullptr;
}

THEORA_STOCK_FRAME* HoldTheoraStockFrame(THEORA_DECODER* d, int frame) {
  for (int i = 0; i < d->stockCount; i++) {
    THEORA_STOCK_FRAME* e = &d->stock[i];
    if (!LoadOrderedWord(&e->used) || LoadSharedWord(&e->frame) != frame) continue;
    // Announced first, then checked again: an entry still in use now is not rewritten until
    // the reader lets go of it.
    StoreOrderedWord(&d->readingEntry, i + 1);
    if (LoadOrderedWord(&e->used) && LoadSharedWord(&e->frame) == frame) return e;
    StoreOrderedWord(&d->readingEntry, 0);
  }
  return nullptr;
}

void ReleaseTheoraStockFrame(THEORA_DECODER* d) { StoreOrderedWord(&d->readingEntry, 0); }

int DecodeTheoraFrames(THEORA_DECODER* d, int n) {
  // Packets before the last key frame of the window are read but not decoded.
  int lastKey = -1;
  for (int64_t f = d->decoderPosition; f < (int64_t)d->decoderPosition + n; f++)
    if (f >= 0 && f < d->frameCount && f < d->keyFrameCapacity && d->keyFrames[f]) lastKey = (int)f;
  for (int i = 0; i < n; i++) {
    if (Interrupted(d)) return -2;
    for (;;) {
      int result = ogg_stream_packetout(&d->theoraStream, &d->packet);
      if (result > 0) {
        if (theora_packet_iskeyframe(&d->packet) >= 0) break;
        continue;  // a header packet (a wrap or a seek to the first page reads them again)
      }
      if (result < 0) continue;  // lost data: not a frame
      if (ogg_sync_pageout(&d->sync, &d->page) > 0) {
        ogg_stream_pagein(&d->theoraStream, &d->page);
        continue;
      }
      if (d->files.eof(d->stream)) return -1;
      if (ReadTheoraStreamData(d, kReadPiece) == 0) return -1;
    }
    if (lastKey == -1 || lastKey <= d->decoderPosition + 1) theora_decode_packetin(&d->decoderState, &d->packet);
    d->decoderPosition += 1;
  }
  return theora_packet_iskeyframe(&d->packet) == 1 ? 1 : 0;
}

DWORD WINAPI RunTheoraDecodeThread(LPVOID parameter) {
  THEORA_DECODER* d = (THEORA_DECODER*)parameter;
  while (!LoadSharedWord(&d->endRequest)) {
    if (LoadSharedWord(&d->pauseRequest)) {
      StoreSharedWord(&d->state, THEORA_STATE_PAUSED);
      Sleep(1);
      continue;
    }
    if (LoadSharedWord(&d->seekRequest)) {
      StoreSharedWord(&d->state, THEORA_STATE_SEEKING);
      if (!SeekInThread(d)) break;
      continue;
    }
    FillStock(d);
    IdleSleep(d);
  }
  StoreSharedWord(&d->state, THEORA_STATE_ENDED);
  // After this the decoder may be gone: a close that stopped waiting left it to this thread.
  LetGoOfTheoraDecoder(d);
  return 0;
}

int SeekTheoraFrame(THEORA_DECODER* d, int frame) {
  int last = d->frameCount > 0 ? (int)d->frameCount - 1 : 0;
  if (frame < 0) frame = 0;
  if (frame > last) frame = last;
  if (frame == LoadSharedWord(&d->currentFrame)) return 0;
  // The thread must be parked before the target changes (it stops within one packet); an
  // ended thread is not waited for.
  bool parked = d->thread != nullptr;
  if (parked) {
    StoreSharedWord(&d->pauseRequest, 1);
    DWORD start = GetTickCount();
    int state;
    while ((state = LoadSharedWord(&d->state)) != THEORA_STATE_PAUSED && state != THEORA_STATE_ENDED) {
      if (GetTickCount() - start > (DWORD)THEORA_WAIT_LIMIT_MS) {
        StoreSharedWord(&d->pauseRequest, 0);
        return -1;
      }
      Sleep(0);
    }
    parked = state == THEORA_STATE_PAUSED;
  }
  d->imageUpToDate = 0;
  d->overlayUpToDate = 0;
  StoreSharedWord(&d->currentFrame, frame);
  StoreSharedWord(&d->seekTarget, frame);
  if (parked) StoreSharedWord(&d->seekRequest, 1);
  StoreSharedWord(&d->pauseRequest, 0);
  return 0;
}

int StepTheoraFrames(THEORA_DECODER* d, int n) {
  if (n <= 0 || d->frameCount <= 0) return 0;
  int64_t frame = ((int64_t)LoadSharedWord(&d->currentFrame) + n) % d->frameCount;
  StoreSharedWord(&d->currentFrame, (int)frame);
  d->imageUpToDate = 0;
  d->overlayUpToDate = 0;
  return 0;
}
