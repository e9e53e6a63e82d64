// The decode thread of a Theora movie and the main thread's moves of the current frame. The
// thread keeps the stock filled with the frames of the window [current, current + stock]
// taken modulo the frame count, so that a current frame that wraps to the start of the movie
// behind the decoder is still reached.
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

bool InWindow(const THEORA_DECODER* d, int frame, int current) {
  return d->frameCount > 0 && FramesAhead(current, frame, d->frameCount) <= d->stockCount;
}

// Frees the stock entries outside the current frame's window.
void DiscardOutsideWindow(THEORA_DECODER* d, int current) {
  for (int i = 0; i < d->stockCount; i++) {
    THEORA_STOCK_FRAME* e = &d->stock[i];
    if (LoadSharedWord(&e->used) && !InWindow(d, e->frame, current)) StoreSharedWord(&e->used, 0);
  }
}

THEORA_STOCK_FRAME* FindFreeEntry(THEORA_DECODER* d) {
  for (int i = 0; i < d->stockCount; i++)
    if (!LoadSharedWord(&d->stock[i].used)) return &d->stock[i];
  return nullptr;
}

int CountFreeEntries(THEORA_DECODER* d) {
  int count = 0;
  for (int i = 0; i < d->stockCount; i++) count += !LoadSharedWord(&d->stock[i].used);
  return count;
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

// Copies the decoder's picture into a free entry as frame p and hands the entry over. The
// planes are kept tightly packed (stride = width). -> false when the picture cannot be stored.
bool StoreDecodedFrame(THEORA_DECODER* d, THEORA_STOCK_FRAME* e) {
  yuv_buffer yuv;
  if (theora_decode_YUVout(&d->decoderState, &yuv) < 0 || yuv.y_width <= 0 || yuv.y_height <= 0 ||
      yuv.uv_width <= 0 || yuv.uv_height <= 0)
    return false;
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
  e->frame = d->decoderPosition;
  StoreSharedWord(&e->used, 1);
  return true;
}

// Moves the stream and the decoder to the seek target: from one page before the nearest page
// with a key frame before the target's page (and before any lost data there), every frame up
// to the target is decoded. The stock is emptied. -> false for a stream without frames (the thread then ends).
bool SeekInThread(THEORA_DECODER* d) {
  int target = LoadSharedWord(&d->seekTarget);
  int i = 0;
  while (i < d->pageCount && d->pages[i].firstFrame + d->pages[i].frames <= target) i++;
  if (i == d->pageCount) return false;
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
    if (havePage) {
      if (ogg_page_continued(&d->page)) frame += 1;  // its first packet cannot be completed
      ogg_stream_pagein(&d->theoraStream, &d->page);
    }
  }
  d->decoderPosition = frame - 1;
  for (int f = frame; f <= target; f++)
    if (DecodeTheoraFrames(d, 1) < 0) break;
  for (int k = 0; k < d->stockCount; k++) StoreSharedWord(&d->stock[k].used, 0);
  d->decoderPosition = target;
  StoreSharedWord(&d->endOfData, 0);
  StoreSharedWord(&d->seekRequest, 0);
  return true;
}

// One pass of keeping the stock filled.
void FillStock(THEORA_DECODER* d) {
  int current = LoadSharedWord(&d->currentFrame);
  int position = d->decoderPosition;
  int64_t frameCount = d->frameCount;
  if (frameCount <= 0) return;
  if (!LoadSharedWord(&d->endOfData)) DiscardOutsideWindow(d, current);
  THEORA_STOCK_FRAME* entry = FindFreeEntry(d);
  if (entry == nullptr) {
    if (LoadSharedWord(&d->state) != THEORA_STATE_IDLE) {
      StoreSharedWord(&d->state, THEORA_STATE_IDLE);
      d->idleStart = GetMillisecondCount();
    }
    return;
  }
  StoreSharedWord(&d->state, THEORA_STATE_DECODING);
  bool positionAhead = position >= 0 && InWindow(d, position, current);
  const bool currentMissing = FindTheoraStockFrame(d, current) == nullptr;
  // The window holds one frame more than the stock has entries: while the current frame is
  // missing, the last free entry is kept for it, or a stock full of the frames after it would
  // leave the current frame undecoded for good.
  const bool keepForCurrent = currentMissing && CountFreeEntries(d) == 1;
  if (FindTheoraStockFrame(d, position) == nullptr && positionAhead && (!keepForCurrent || position == current)) {
    // The decoder already holds a picture the window needs (the seek target): store it as is.
  } else {
    // Straight to the current frame when it is missing and the decoder is behind it (or the
    // last entry is kept for it), else the next frame; past the last frame the stream starts
    // again from the top.
    int64_t step = 1;
    if (currentMissing && (keepForCurrent || !positionAhead)) step = FramesAhead(position, current, frameCount);
    if (step < 1) step = 1;
    int result;
    if (position + step < frameCount) {
      result = DecodeTheoraFrames(d, (int)step);
    } else {
      int wrapTo = (int)(position + step - frameCount);
      ogg_sync_reset(&d->sync);
      ogg_stream_reset(&d->theoraStream);
      d->files.seek(d->stream, (int)d->pages[0].offset, SEEK_SET);
      d->decoderPosition = -1;
      result = DecodeTheoraFrames(d, wrapTo + 1);
    }
    if (result < 0) {
      StoreSharedWord(&d->endOfData, 1);
      Sleep(1);
      return;
    }
  }
  if (!StoreDecodedFrame(d, entry)) {
    // No room for the picture: the data ends here, so that no one waits for this frame.
    if (!LoadSharedWord(&d->endOfData)) AddLogText(kNoPlaneMemory);
    StoreSharedWord(&d->endOfData, 1);
    Sleep(1);
  }
}

void IdleSleep(THEORA_DECODER* d) {
  if (LoadSharedWord(&d->state) != THEORA_STATE_IDLE) {
    Sleep(0);
    return;
  }
  int now = GetMillisecondCount();
  Sleep(now >= 0 && now - d->idleStart <= kIdleYieldMs ? 0 : 1);
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
    if (LoadSharedWord(&e->used) && e->frame == frame) return e;
  }
  return nullptr;
}

int DecodeTheoraFrames(THEORA_DECODER* d, int n) {
  // Packets before the last key frame of the window are read but not decoded.
  int lastKey = -1;
  for (int f = d->decoderPosition; f < d->decoderPosition + n; f++)
    if (f >= 0 && f < d->frameCount && f < d->keyFrameCapacity && d->keyFrames[f]) lastKey = f;
  for (int i = 0; i < n; i++) {
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
  return 0;
}

int SeekTheoraFrame(THEORA_DECODER* d, int frame) {
  int last = d->frameCount > 0 ? (int)d->frameCount - 1 : 0;
  if (frame < 0) frame = 0;
  if (frame > last) frame = last;
  if (frame == LoadSharedWord(&d->currentFrame)) return 0;
  d->imageUpToDate = 0;
  d->overlayUpToDate = 0;
  // The thread must be parked before the target changes; an ended thread is not waited for.
  bool parked = d->thread != nullptr;
  if (parked) {
    StoreSharedWord(&d->pauseRequest, 1);
    int state;
    while ((state = LoadSharedWord(&d->state)) != THEORA_STATE_PAUSED && state != THEORA_STATE_ENDED) Sleep(0);
    parked = state == THEORA_STATE_PAUSED;
  }
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
