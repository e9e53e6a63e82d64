// The library's own Ogg Theora decoder: one open movie, its table of pages with the frames
// they complete, and a stock of decoded frames that a decode thread of its own keeps filled
// ahead of the current frame. The main thread moves the current frame and takes frames out of
// the stock; the thread does all reading and decoding. The two share plain words: the main
// thread writes the requests, the seek target, the current frame and the entry it reads, the
// thread the state, the decoder position, the failure words and the stock; a stock entry is
// handed over by its used flag, written last (release) and read first (acquire).
#pragma once
#include <windows.h>
#include <d3d9.h>
#include <ogg/ogg.h>
#include <theora/theora.h>

#include <cstdint>

#include "image/raster_image.h"
#include "korvel_file.h"

enum {
  THEORA_STATE_IDLE = 0,  // stock full
  THEORA_STATE_DECODING = 1,
  THEORA_STATE_SEEKING = 2,
  THEORA_STATE_ENDED = 3,
  THEORA_STATE_PAUSED = 4,
};

enum {
  THEORA_POSITION_LOST = -2,  // the decoder's picture belongs to no known frame: the next one is found afresh
  THEORA_MAX_FRAME_SIDE = 8192,  // the largest coded width and height converted (an XRGB8 image of 256 MB)
  THEORA_WAIT_LIMIT_MS = 5000,   // the longest wait for the decode thread
};

struct THEORA_PAGE_ENTRY {
  uint32_t offset;  // file offset of the Ogg page (0 for the first entry: the start of the file)
  int firstFrame;   // number of the first video packet that completes in the page
  int keyFrame;     // 1 when a key frame completes in the page
  int frames;       // video packets that complete in the page
  int afterLostData;  // 1 when data was lost before the page: a seek starts from an earlier one
};

struct THEORA_STOCK_FRAME {
  int used;  // 0: the thread's; 1: readers' (set last, after the planes and the frame number)
  int frame;
  uint8_t* y;
  uint8_t* cb;
  uint8_t* cr;
  int yWidth, yHeight, yStride;
  int chromaWidth, chromaHeight, chromaStride;
};

struct THEORA_MOVIE_INFO {
  double framesPerSecond;
  int frameCount;
  int width;  // coded frame size (whole 16-pixel macroblocks)
  int height;
};

struct THEORA_DECODER {
  int state;  // THEORA_STATE_*, written by the thread
  int pauseRequest;
  int endRequest;
  int seekRequest;
  int seekTarget;
  int endOfData;    // 1: the thread could not make the failed frame (its data ended, or no room)
  int failedFrame;  // the frame the thread last could not make; a stored frame or a seek clears both
  int readingEntry;  // index + 1 of the stock entry PresentTheoraFrame reads, 0 when none
  int idleStart;  // GetMillisecondCount when the thread last became idle
  int holders;     // the closing side and the live thread; the last to let go frees the decoder
  int ownsStream;  // 1: the decoder closes the stream when freed (a close left it to the thread)
  HANDLE thread;
  DWORD threadId;
  FILE_ACCESS_TABLE files;  // copied at opening; read, seek and eof are used
  uint32_t stream;
  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state theoraStream;
  ogg_packet packet;
  theora_info info;
  theora_comment comment;
  theora_state decoderState;
  int serialNumber;
  THEORA_PAGE_ENTRY* pages;
  int pageCount;
  int pageCapacity;
  uint8_t* keyFrames;  // one byte per frame, 1 for a key frame
  int keyFrameCapacity;
  int64_t frameCount;
  int currentFrame;     // -1 until the first seek
  int decoderPosition;  // frame whose picture the decoder state holds (THEORA_POSITION_LOST: none known)
  int headerCount;
  THEORA_STOCK_FRAME* stock;
  int stockCount;
  RASTER_IMAGE image;  // XRGB8 picture of the current frame, coded frame size
  int overlayLost;
  IDirect3DSurface9* overlaySurface;
  uint32_t overlayFourcc;
  int imageUpToDate;
  int overlayUpToDate;
};

// The shared words: every access from either side goes through these. The used flags and the
// reading entry are ordered among themselves in one sequence (a reader announces its entry,
// then checks the entry is still in use; the thread frees an entry, then checks nobody reads
// it before it writes), so an entry is never rewritten under its reader.
inline int LoadSharedWord(const int* word) { return __atomic_load_n(word, __ATOMIC_ACQUIRE); }
inline void StoreSharedWord(int* word, int value) { __atomic_store_n(word, value, __ATOMIC_RELEASE); }
inline int LoadOrderedWord(const int* word) { return __atomic_load_n(word, __ATOMIC_SEQ_CST); }
inline void StoreOrderedWord(int* word, int value) { __atomic_store_n(word, value, __ATOMIC_SEQ_CST); }

// The stream must be at its start. Null for anything that is not an Ogg stream with a Theora
// stream (without a message: the caller tries another way) or after a logged failure; a Theora
// stream whose frame size cannot be shown is refused with a message naming the limit, and
// *refused (when given) becomes 1 so that the caller does not try the file another way.
THEORA_DECODER* OpenTheoraDecoder(const FILE_ACCESS_TABLE* files, uint32_t stream, int stockCount,
                                  int fromAsyncThread, int* refused = nullptr);
// Ends the thread and frees everything but the stream, which the caller closes afterwards: 0.
// A thread that does not end within its limit still reads the stream and writes the decoder:
// the decoder is left to it with the stream, both freed and closed when it ends, and the
// result is 1 (the caller must not close the stream then).
int CloseTheoraDecoder(THEORA_DECODER* decoder);
// 0, or -1 when the thread did not stop for the seek in time (nothing changed).
int SeekTheoraFrame(THEORA_DECODER* decoder, int frame);
int StepTheoraFrames(THEORA_DECODER* decoder, int n);
int GetTheoraInfo(THEORA_DECODER* decoder, THEORA_MOVIE_INFO* out);
int GetTheoraCurrentFrame(THEORA_DECODER* decoder);
RASTER_IMAGE* GetTheoraImage(THEORA_DECODER* decoder);

// 1 when the current frame was found in the stock (the forms asked for are then refreshed, the
// overlay as far as its surface allows); 0 when nothing was to be done, the thread has ended,
// the thread could not make the frame, or it did not come within THEORA_WAIT_LIMIT_MS.
int PresentTheoraFrame(THEORA_DECODER* decoder, int updateImage, int updateOverlay, int fromAsyncThread);
IDirect3DSurface9* GetTheoraOverlaySurface(THEORA_DECODER* decoder);
int SetTheoraOverlayLost(THEORA_DECODER* decoder);
// On the main thread when the device is lost: the overlay surface is released at once and made
// again by the next overlay update.
int ReleaseTheoraOverlayOfLostDevice(THEORA_DECODER* decoder);
// 1 while the decoder has an overlay surface or one released with a lost device.
int IsTheoraOverlayWanted(const THEORA_DECODER* decoder);
int CreateTheoraOverlay(THEORA_DECODER* decoder, int fromAsyncThread);
int ReleaseTheoraOverlay(THEORA_DECODER* decoder, int fromAsyncThread);

// Inside the decoder.
int ReadTheoraStreamData(THEORA_DECODER* decoder, int bytes);
// 1; -1 when no Theora stream with three headers is found; -2 when its frame size is refused.
int ReadTheoraHeaders(THEORA_DECODER* decoder);
// Reads n video packets: 1 or 0 (the last was a key frame or not), -1 when the data ended,
// -2 when a pause or end request stopped it (the position is then lost).
int DecodeTheoraFrames(THEORA_DECODER* decoder, int n);
DWORD WINAPI RunTheoraDecodeThread(LPVOID decoder);
// One side (the thread as it ends, or the closing side) lets go of the decoder; the last one
// frees it.
void LetGoOfTheoraDecoder(THEORA_DECODER* decoder);
// The stock entry in use that holds the frame, or null.
THEORA_STOCK_FRAME* FindTheoraStockFrame(THEORA_DECODER* decoder, int frame);
// Makes the entry of the frame the reader's (readingEntry) and returns it, or null when it is
// not in the stock; ReleaseTheoraStockFrame gives it back.
THEORA_STOCK_FRAME* HoldTheoraStockFrame(THEORA_DECODER* decoder, int frame);
void ReleaseTheoraStockFrame(THEORA_DECODER* decoder);
// 0 when the library can convert and the device can hold frames of the identification
// header's sizes, else -1 after a log line naming the limit passed. Made before libtheora sets
// a decoder up, whose set-up takes time and memory by the frame size.
int CheckTheoraFrameSize(const theora_info* info);
void FreeTheoraStockPlanes(THEORA_STOCK_FRAME* entry);
