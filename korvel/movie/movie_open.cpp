// Opening a movie file: the library's Theora decoder with the file's Vorbis track as a stream
// sound, else a DirectShow graph that renders the file into the library's renderer filter;
// when the graph cannot render the file under its name (a member of an archive, say) it
// renders a temporary copy made through the file layer.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "core/strings.h"
#include "core/winapi.h"
#include "file/win_file.h"
#include "korvel.h"
#include "movie/movie_handles.h"
#include "movie/movie_renderer.h"

namespace {
const char kNoGraph[] = "CLSID_FilterGraph の作成に失敗しました\n";
const char kNoRenderer[] = "Could not add renderer filter to graph!\n";
const char kNoBasicAudio[] = "BasicAudio インターフェースの取得に失敗しました\n";
const char kNoMediaControl[] = "IID_IMediaControlインターフェイスの取得に失敗しました\n";
const char kNoMediaSeeking[] = "IID_IMediaSeekingインターフェイスの取得に失敗しました\n";
const char kOpenFailed[] = "ムービーファイルオープン処理時にエラーが発生しました";
const WCHAR kRendererName[] = L"MovieRenderer";

// COM for the graph's objects on a loader thread; the main thread has it from the library start.
struct ThreadCom {
  bool started = false;
  explicit ThreadCom(int fromAsyncThread) {
    if (fromAsyncThread && WinApi.ole32.CoInitializeEx != nullptr)
      started = SUCCEEDED(WinApi.ole32.CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  }
  ~ThreadCom() {
    if (started && WinApi.ole32.CoUninitialize != nullptr) WinApi.ole32.CoUninitialize();
  }
};

// Copies the file, read through the file layer, into a new temporary file whose name goes into
// the record's path. false when no copy could be started; a short write ends the copy early.
bool CopyToTemporaryFile(MOVIE_RECORD* m, const char* path) {
  uint32_t stream = OpenFileStream(path, 0, 1, 0);
  if (stream == 0) return false;
  SeekFileStream(stream, 0, SEEK_END);
  int64_t size = TellFileStream(stream);
  SeekFileStream(stream, 0, SEEK_SET);
  uint8_t* buffer = (uint8_t*)AllocTracked(MOVIE_COPY_PIECE, __FILE__, __LINE__);
  if (buffer == nullptr) {
    CloseFileStream(stream);
    return false;
  }
  char temporaryPath[FILE_PATH_SIZE] = "";
  HANDLE temp = CreateTempFile(temporaryPath);
  bool named = MultiByteToWideChar(932, 0, temporaryPath, -1, m->path, MOVIE_PATH_CHARS) != 0;
  if (temp == nullptr || temp == INVALID_HANDLE_VALUE || !named) {
    if (temp != nullptr && temp != INVALID_HANDLE_VALUE) {
      CloseHandle(temp);
      DeleteFileA(temporaryPath);
    }
    CloseFileStream(stream);
    FreeTracked(buffer);
    return false;
  }
  m->temporaryFile = 1;
  for (int64_t position = 0; position < size;) {
    int piece = size - position < MOVIE_COPY_PIECE ? (int)(size - position) : MOVIE_COPY_PIECE;
    int read = ReadFileStream(buffer, 1, piece, stream);
    if (read <= 0) break;
    DWORD written = 0;
    if (!WriteFile(temp, buffer, (DWORD)read, &written, nullptr) || written < (DWORD)read || read < piece) break;
    position += read;
  }
  CloseFileStream(stream);
  CloseHandle(temp);
  FreeTracked(buffer);
  return true;
}

int FailGraph(MOVIE_RECORD* m, const char* message) {
  ReleaseInterface(&m->graphBuilder);
  ReleaseInterface(&m->mediaControl);
  ReleaseInterface(&m->mediaSeeking);
  ReleaseInterface(&m->basicAudio);
  m->renderer = nullptr;
  WriteLogText(message);
  return -1;
}

// Adds the renderer under its name; a renderer the graph refused is freed here.
bool AddRenderer(MOVIE_RECORD* m) {
  Korvel::K_CMovieFrameRenderer* r = CreateMovieRenderer(nullptr, nullptr);
  if (r == nullptr) return false;
  IBaseFilter* filter = static_cast<IBaseFilter*>(r);
  filter->AddRef();
  HRESULT hr = m->graphBuilder->AddFilter(filter, kRendererName);
  filter->Release();  // the graph's reference keeps it, or it goes now
  if (FAILED(hr)) return false;
  m->renderer = r;
  return true;
}
}  // namespace

int OpenMovieGraph(MOVIE_RECORD* m, const char* path, int* width, int* height, int mode, int fromAsyncThread) {
  (void)mode;
  ThreadCom com(fromAsyncThread);
  m->frameImage.pixels = nullptr;
  if (WinApi.ole32.CoCreateInstance == nullptr ||
      FAILED(WinApi.ole32.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                           IID_IGraphBuilder, (void**)&m->graphBuilder)))
    return FailGraph(m, kNoGraph);
  if (!AddRenderer(m)) return FailGraph(m, kNoRenderer);
  if (FAILED(m->graphBuilder->QueryInterface(IID_IBasicAudio, (void**)&m->basicAudio)))
    return FailGraph(m, kNoBasicAudio);
  if (FAILED(m->graphBuilder->QueryInterface(IID_IMediaControl, (void**)&m->mediaControl)))
    return FailGraph(m, kNoMediaControl);
  if (FAILED(m->graphBuilder->QueryInterface(IID_IMediaSeeking, (void**)&m->mediaSeeking)))
    return FailGraph(m, kNoMediaSeeking);

  char message[FILE_PATH_SIZE + 64];
  FormatString(message, sizeof message, "ファイル:%s が開けませんでした\n", path);
  // A name too long for the graph's buffer is not opened under a cut name.
  bool named = MultiByteToWideChar(GetCharCodePage(), 0, path, -1, m->path, MOVIE_PATH_CHARS) != 0;
  if (!named || FAILED(m->graphBuilder->RenderFile(m->path, nullptr))) {
    if (m->temporaryFile || !CopyToTemporaryFile(m, path)) return FailGraph(m, message);
    if (FAILED(m->graphBuilder->RenderFile(m->path, nullptr))) {
      // The graph may still hold the copy open; the release deletes it once more.
      DeleteFileW(m->path);
      return FailGraph(m, message);
    }
  }

  LONGLONG duration = 0, stop = 0;
  if (FAILED(m->mediaSeeking->GetDuration(&duration))) duration = 0;
  m->duration = duration != 0 ? duration : MOVIE_DEFAULT_DURATION;
  if (FAILED(m->mediaSeeking->GetStopPosition(&stop)) || stop < 0) stop = 0;
  m->stopPosition = stop;
  if (width != nullptr) *width = m->renderer->width;
  if (height != nullptr) *height = m->renderer->height;
  return 0;
}

HANDLE_VALUE CreateMovieFromFile(int* loadOption, const char* path, int* width, int* height, int mode,
                                 int fromAsyncThread) {
  HANDLE_VALUE h = NewHandle(HANDLE_TYPE_MOVIE, -1);
  if (h == -1) return -1;
  MOVIE_RECORD* m = (MOVIE_RECORD*)LookupHandleRecord(h);
  m->sound = -1;
  m->loadOption = *loadOption;
  // A missing file goes straight to the graph, which reports it.
  m->fileStream = OpenFileStream(path, 0, 1, 0);
  int refused = 0;
  if (m->fileStream != 0) {
    m->decoder =
        OpenTheoraDecoder(GetFileAccessTable(), m->fileStream, MOVIE_THEORA_STOCK, fromAsyncThread, &refused);
    if (m->decoder == nullptr) {
      CloseFileStream(m->fileStream);
      m->fileStream = 0;
    }
  }
  // A Theora movie refused for its frame size is not handed to DirectShow.
  if (refused) {
    WriteLogText(kOpenFailed);
    DeleteHandle(h);
    return -1;
  }
  if (m->decoder != nullptr) {
    m->theora = 1;
    SOUND_LOAD_SETTINGS settings;
    FillSoundLoadDefaults(&settings);
    settings.streamKind = 3;
    settings.disableBits = (int)0xFFFFFFFB;
    settings.vorbisSelector = 1;
    m->sound = CreateSoundFromFile(&settings, path, 1, -1, 0, fromAsyncThread);
    THEORA_MOVIE_INFO info = {};
    GetTheoraInfo(m->decoder, &info);
    m->width = info.width;
    m->height = info.height;
    if (width != nullptr) *width = info.width;
    if (height != nullptr) *height = info.height;
    m->image = GetTheoraImage(m->decoder);
    m->copyMode = 0;
  } else {
    m->temporaryFile = 0;
    if (OpenMovieGraph(m, path, width, height, mode, fromAsyncThread) < 0) {
      WriteLogText(kOpenFailed);
      DeleteHandle(h);
      return -1;
    }
    m->image = &m->frameImage;
    m->width = m->renderer->width;
    m->height = m->renderer->height;
  }
  m->stopped = 1;
  m->playType = MOVIE_PLAY_ONCE;
  m->resume = 0;
  return h;
}
