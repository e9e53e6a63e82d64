// Loading a sound handle: the file image, its decoding into PCM, the device buffers of an
// in-memory sound and the move to a stream for long sounds or when buffers cannot be made.
#include "sound/sound_platform.h"
#include <dsound.h>

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"

namespace {
// One second of audio, raised to whole frames.
int OneSecondBytes(const WAVEFORMATEX* format) {
  uint32_t bytes = format->nAvgBytesPerSec & 0xFFFFFF;
  uint32_t align = format->nBlockAlign != 0 ? format->nBlockAlign : 1;
  return (int)((bytes + align - 1) / align * align);
}

// Streams the sound instead: from the file image held in memory.
int LoadAsStream(HANDLE_VALUE handle, SOUND_LOAD_SETTINGS* settings, const void* image, int size, HANDLE_VALUE shared,
                 int loader) {
  if (AddStreamSoundFromMemory(settings, image, size, 0, handle, settings->streamKind, shared, loader) < 0) return -1;
  PrepareStreamSound(handle, loader);
  return 0;
}

// Decodes the whole image into a PCM block; -1 (after its log line) when it cannot.
int DecodeImage(const SOUND_LOAD_SETTINGS* settings, const void* image, int size, WAVEFORMATEX* format, void** pcm,
                int* pcmSize) {
  MEMORY_STREAM* memory = OpenMemoryStream(image, (uint32_t)size);
  if (memory == nullptr) return -1;
  STREAM_SOURCE source = {*GetMemoryStreamOps(), (uintptr_t)memory};
  SOUND_CONVERT_STATE state;
  if (SetUpSoundConverter(&state, &source, settings->disableBits, settings->oggBytesPerSample,
                          settings->vorbisSelector) < 0) {
    AddLogLineFormat("音声ファイルのＰＣＭへの変換に失敗しました");
    CloseMemoryStream(memory);
    return -1;
  }
  int result = ConvertSoundToPcm(&state, format, pcm, pcmSize);
  if (result < 0) AddLogLineFormat("音声ファイルを格納するメモリ領域の確保に失敗しました");
  EndSoundConverter(&state);
  CloseMemoryStream(memory);
  return result;
}

int CopyPcmIntoBuffers(SOUND_RECORD* r) {
  for (int i = 0; i < r->bufferCount; i++) {
    void* region1 = nullptr;
    void* region2 = nullptr;
    uint32_t size1 = 0, size2 = 0;
    if (LockSoundBuffer(&r->buffers[i], 0, (uint32_t)r->pcmSize, &region1, &size1, &region2, &size2) < 0) {
      AddLogLineFormat("サウンドデータの転送に失敗しました_1");
      return -1;
    }
    uint32_t total = (uint32_t)r->pcmSize;
    if (size1 > total) size1 = total;
    if (size2 > total - size1) size2 = total - size1;
    if (region1 != nullptr) memcpy(region1, r->pcmData, size1);
    if (region2 != nullptr) memcpy(region2, r->pcmData + size1, size2);
    if (UnlockSoundBuffer(&r->buffers[i], region1, size1, region2, size2) < 0) {
      AddLogLineFormat("サウンドデータの転送に失敗しました_2");
      return -1;
    }
  }
  return 0;
}

// One new buffer for the PCM, or none: with frequency control first, without it second.
int MakeFirstBuffer(SOUND_RECORD* r, const WAVEFORMATEX* format, int dataBytes) {
  WAVEFORMATEX copy = *format;
  DSBUFFERDESC desc = {};
  desc.dwSize = sizeof(desc);
  desc.dwBufferBytes = (DWORD)dataBytes;
  desc.lpwfxFormat = &copy;
  desc.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DirectSoundLocationFlag();
  if (SetUpSoundBuffer(&r->buffers[0], &desc, nullptr, r->is3D) == 0) return 0;
  desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DirectSoundLocationFlag();
  return SetUpSoundBuffer(&r->buffers[0], &desc, nullptr, r->is3D);
}
}  // namespace

int LoadFileToMemory(const char* path, void** data, int* size) {
  uint32_t file = OpenFileStream(path, 0, 0, 0);
  if (file == 0) {
    AddLogLineFormat("右記のファイルのオープンに失敗しました：%s", path);
    return -1;
  }
  SeekFileStream(file, 0, 2);
  int bytes = TellFileStream(file);
  SeekFileStream(file, 0, 0);
  void* block = bytes >= 0 ? AllocTracked((size_t)bytes, "", 0) : nullptr;
  if (block == nullptr) {
    AddLogLineFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
    CloseFileStream(file);
    return -1;
  }
  int read = ReadFileStream(block, 1, bytes, file);
  CloseFileStream(file);
  // A failed read is no data; a short one keeps what arrived.
  if (read < 0) {
    FreeTracked(block);
    return -1;
  }
  *data = block;
  *size = read;
  return 0;
}

int LoadSoundFile(SOUND_LOAD_SETTINGS* settings, HANDLE_VALUE handle, HANDLE_VALUE shared, int loader,
                  const char* path, int count) {
  if (SoundSystem.device == nullptr) return -1;
  if (count > SOUND_MAX_BUFFERS) count = SOUND_MAX_BUFFERS;
  if (count < 1) count = 1;
  if (settings->streamKind != 0) {
    if (AddStreamSoundFromFile(settings, path, 0, handle, settings->streamKind, shared, loader) < 0) return -1;
    PrepareStreamSound(handle, loader);
    return 0;
  }
  void* image = nullptr;
  int size = 0;
  if (LoadFileToMemory(path, &image, &size) < 0) {
    AddLogLineFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
    return -1;
  }
  int result = -1;
  if (SoundSystem.device != nullptr) result = LoadSoundFromMemory(handle, settings, image, size, count, -1, loader);
  if (result < 0) AddLogLineFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
  FreeTracked(image);
  return result;
}

int LoadSoundFromMemory(HANDLE_VALUE handle, SOUND_LOAD_SETTINGS* settings, const void* image, int size, int count,
                        HANDLE_VALUE shared, int loader) {
  if (SoundSystem.device == nullptr || count > SOUND_MAX_BUFFERS || image == nullptr || size < 0) return -1;
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  if (r == nullptr) return -1;
  if (r->is3D) count = 1;
  if (settings->streamKind != 0) return LoadAsStream(handle, settings, image, size, shared, loader);

  WAVEFORMATEX format;
  void* pcm = nullptr;
  int pcmSize = 0;
  if (DecodeImage(settings, image, size, &format, &pcm, &pcmSize) < 0) return -1;
  uint32_t seconds = format.nAvgBytesPerSec != 0 ? (uint32_t)pcmSize / format.nAvgBytesPerSec : 0;
  if (seconds > SOUND_MEMORY_SECONDS_LIMIT || SetUpSoundHandleBuffers(-1, &format, pcmSize, 0, count, handle, loader) < 0) {
    FreeTracked(pcm);
    settings->streamKind = STREAM_PART_FILE_COPY;
    return LoadAsStream(handle, settings, image, size, shared, loader);
  }
  r->frequency = (int32_t)format.nSamplesPerSec;
  r->pcmReferences = static_cast<int32_t*>(AllocTracked(sizeof(int32_t), "", 0));
  if (r->pcmReferences == nullptr) {
    AddLogLineFormat("サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
    FreeTracked(pcm);
    return -1;
  }
  r->format = format;
  r->pcmData = static_cast<uint8_t*>(pcm);
  r->pcmSize = pcmSize;
  *r->pcmReferences = 1;
  return CopyPcmIntoBuffers(r);
}

int SetUpSoundHandleBuffers(HANDLE_VALUE sourceHandle, const WAVEFORMATEX* format, int dataBytes, int kind, int count,
                            HANDLE_VALUE handle, int loader) {
  if (SoundSystem.device == nullptr) return -1;
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  if (r == nullptr) return -1;
  SOUND_RECORD* source = nullptr;
  if (sourceHandle != -1) {
    source = LookupSoundRecord(sourceHandle, 0);
    if (source == nullptr || kind != SOUND_KIND_MEMORY) return -1;
    format = &source->format;
    dataBytes = source->pcmSize;
  }
  if (count > SOUND_MAX_BUFFERS) count = SOUND_MAX_BUFFERS;
  if (kind == SOUND_KIND_STREAM) {
    WAVEFORMATEX copy = *format;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN |
                   DSBCAPS_CTRLFREQUENCY | DirectSoundLocationFlag();
    desc.dwBufferBytes = (DWORD)OneSecondBytes(format);
    desc.lpwfxFormat = &copy;
    if (SetUpSoundBuffer(&r->buffers[0], &desc, nullptr, r->is3D) < 0) {
      WriteLogText("ストリーム風サウンドバッファの作成に失敗しました\n");
      return -1;
    }
    r->bufferCount = 1;
  } else {
    int made = 0;
    for (; made < count; made++) {
      if (made > 0 || source != nullptr) {
        SOUNDBUFFER* from = source != nullptr ? &source->buffers[0] : &r->buffers[0];
        if (SetUpSoundBuffer(&r->buffers[made], nullptr, from, r->is3D) == 0) continue;
        if (made > 0 || source == nullptr) break;
      }
      if (MakeFirstBuffer(r, format, dataBytes) < 0) {
        for (int i = made - 1; i >= 0; i--) ReleaseSoundBuffer(&r->buffers[i]);
        WriteLogText("DirectSoundBuffer の作成に失敗しました\n");
        return -1;
      }
    }
    r->bufferCount = made;
  }
  r->kind = kind;
  LockHandleType(HANDLE_TYPE_SOUND);
  if (kind == SOUND_KIND_STREAM) InsertListNode(&SoundSystem.streamHead, &r->streamNode, handle, r);
  if (r->is3D) Set3DSoundChannels(r, format->nChannels);
  UnlockHandleType(HANDLE_TYPE_SOUND);
  return 0;
}
