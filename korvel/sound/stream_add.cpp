// Adding parts to a stream sound: each part decodes its own source (the caller's open stream,
// a memory copy of it, or a WAVE image of its decoded PCM) and all parts share one format;
// and the release of a part.
#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "sound/sound_handles.h"
#include "sound/sound_system.h"
#include "sound/wave_format.h"

namespace {
// A memory source over data, or -1.
int OpenMemorySource(STREAM_SOURCE* source, const void* data, int size) {
  MEMORY_STREAM* memory = OpenMemoryStream(data, (uint32_t)size);
  if (memory == nullptr) return -1;
  source->ops = *GetMemoryStreamOps();
  source->handle = (uintptr_t)memory;
  return 0;
}

void CloseMemorySource(STREAM_SOURCE* source) {
  if (source->handle != 0) CloseMemoryStream(reinterpret_cast<MEMORY_STREAM*>(source->handle));
  source->handle = 0;
}

// The part's converter over a memory source on its data; the part gives everything back when
// either cannot be made.
int OpenPartConverter(STREAM_SOUND_PART* part, const SOUND_LOAD_SETTINGS* s) {
  if (OpenMemorySource(&part->memorySource, part->data, part->dataSize) < 0 ||
      SetUpSoundConverter(&part->converter, &part->memorySource, s->disableBits, s->oggBytesPerSample,
                          s->vorbisSelector) < 0) {
    ReleaseStreamPart(part, 0);
    AddLogLineFormat("音声データのオープンに失敗しました");
    return -1;
  }
  return 0;
}

// Decodes the whole source and keeps it as an in-memory WAVE image with its own converter.
int OpenWaveImagePart(STREAM_SOUND_PART* part, STREAM_SOURCE* source, const SOUND_LOAD_SETTINGS* s) {
  uint8_t* copy = nullptr;
  int32_t copySize = 0;
  if (ReadStreamToMemory(source, &copy, &copySize) < 0) {
    AddLogLineFormat("音声データの読み込みに失敗しました");
    return -1;
  }
  STREAM_SOURCE temporary = {};
  SOUND_CONVERT_STATE converter;
  WAVEFORMATEX format;
  void* pcm = nullptr;
  int pcmSize = 0;
  int decoded = -1;
  if (OpenMemorySource(&temporary, copy, copySize) == 0) {
    if (SetUpSoundConverter(&converter, &temporary, s->disableBits, s->oggBytesPerSample, s->vorbisSelector) == 0) {
      decoded = ConvertSoundToPcm(&converter, &format, &pcm, &pcmSize);
      EndSoundConverter(&converter);
    }
    CloseMemorySource(&temporary);
  }
  FreeTracked(copy);
  if (decoded < 0) {
    AddLogLineFormat("音声データの変換に失敗しました");
    return -1;
  }
  int built = BuildWaveImage(&part->data, &part->dataSize, &format, (int)sizeof(WAVEFORMATEX), pcm, pcmSize);
  FreeTracked(pcm);
  if (built < 0) return -1;
  return OpenPartConverter(part, s);
}

int OpenFileCopyPart(STREAM_SOUND_PART* part, STREAM_SOURCE* source, const SOUND_LOAD_SETTINGS* s) {
  if (ReadStreamToMemory(source, &part->data, &part->dataSize) < 0) {
    AddLogLineFormat("音声データの読み込みに失敗しました");
    return -1;
  }
  return OpenPartConverter(part, s);
}

int OpenPart(STREAM_SOUND_PART* part, STREAM_SOURCE* source, const SOUND_LOAD_SETTINGS* s, int* copied) {
  switch (part->kind) {
    case STREAM_PART_OPEN_STREAM:
      *copied = 0;
      if (SetUpSoundConverter(&part->converter, source, s->disableBits, s->oggBytesPerSample, s->vorbisSelector) < 0) {
        AddLogLineFormat("音声データのオープンに失敗しました");
        return -1;
      }
      return 0;
    case STREAM_PART_FILE_COPY:
      *copied = 1;
      return OpenFileCopyPart(part, source, s);
    case STREAM_PART_WAVE_IMAGE:
      *copied = 1;
      return OpenWaveImagePart(part, source, s);
    default:
      AddLogLineFormat("音声データのオープンに失敗しました");
      return -1;
  }
}

// The stream's buffer: the shared stream's when it may be used, else one of its own.
int AttachStreamBuffer(SOUND_RECORD* r, HANDLE_VALUE handle, HANDLE_VALUE shared, int loader) {
  SOUND_RECORD* owner = shared != -1 ? LookupSoundRecord(shared, 0) : nullptr;
  int oneSecond = (int)(r->format.nAvgBytesPerSec & 0xFFFFFF);
  if (r->format.nBlockAlign != 0) oneSecond = (oneSecond + r->format.nBlockAlign - 1) / r->format.nBlockAlign * r->format.nBlockAlign;
  if (owner != nullptr && owner != r && owner->kind == SOUND_KIND_STREAM && owner->ownerHandle == -1 &&
      memcmp(&owner->format, &r->format, sizeof(WAVEFORMATEX)) == 0) {
    LockHandleType(HANDLE_TYPE_SOUND);
    r->kind = SOUND_KIND_STREAM;
    r->bufferCount = 1;
    InsertListNode(&SoundSystem.streamHead, &r->streamNode, handle, r);
    r->ownerHandle = shared;
    owner->sharerCount++;
    UnlockHandleType(HANDLE_TYPE_SOUND);
  } else {
    if (SetUpSoundHandleBuffers(-1, &r->format, oneSecond, SOUND_KIND_STREAM, 1, handle, loader) < 0) return -1;
    r->ownerHandle = -1;
    r->frequency = (int32_t)r->format.nSamplesPerSec;
  }
  // A stream that uses another's buffer keeps its own ring geometry of the same format.
  r->bufferSize = oneSecond;
  r->sharerCount = 0;
  r->currentUser = -1;
  r->deletePending = 0;
  return 0;
}
}  // namespace

void ReleaseStreamPart(STREAM_SOUND_PART* part, int ownsStream) {
  STREAM_SOURCE source = part->converter.source;
  EndSoundConverter(&part->converter);
  CloseMemorySource(&part->memorySource);
  FreeTracked(part->data);
  part->data = nullptr;
  if (ownsStream && part->kind == STREAM_PART_OPEN_STREAM && source.ops.close != nullptr) source.ops.close(source.handle);
}

int BuildWaveImage(uint8_t** image, int32_t* size, const void* fmt, int fmtSize, const void* data, int dataSize) {
  long long total = (long long)fmtSize + dataSize + WAVE_HEADER_BYTES;
  uint8_t* out = fmtSize >= 0 && dataSize >= 0 && total <= 0x7FFFFFFF
                     ? static_cast<uint8_t*>(AllocTracked((size_t)total, "", 0))
                     : nullptr;
  if (out == nullptr) {
    WriteLogText("仮WAVEファイルイメージ用のメモリ確保に失敗しました\n");
    return -1;
  }
  WriteWaveFileHeader(out, fmt, (uint32_t)fmtSize, (uint32_t)dataSize);
  memcpy(out + WAVE_HEADER_BYTES + fmtSize, data, (size_t)dataSize);
  *image = out;
  *size = (int32_t)total;
  return 0;
}

int ReadStreamToMemory(STREAM_SOURCE* source, uint8_t** data, int32_t* size) {
  source->ops.seek(source->handle, 0, 2);
  int bytes = source->ops.tell(source->handle);
  source->ops.seek(source->handle, 0, 0);
  uint8_t* block = bytes >= 0 ? static_cast<uint8_t*>(AllocTracked((size_t)bytes, "", 0)) : nullptr;
  if (block == nullptr) {
    AddLogLineFormat("ストリームの読み込みに必要なメモリの確保に失敗しました");
    return -1;
  }
  int read = source->ops.read(block, 1, bytes, source->handle);
  // A failed read is no data; a short one keeps what arrived.
  if (read < 0) {
    FreeTracked(block);
    return -1;
  }
  *data = block;
  *size = read;
  return 0;
}

int AddSreamSound(SOUND_LOAD_SETTINGS* settings, STREAM_SOURCE* source, int repeat, HANDLE_VALUE handle, int kind,
                  int* copied, HANDLE_VALUE shared, int loader) {
  if (SoundSystem.device == nullptr) return -1;
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  if (r == nullptr) return -1;
  if (r->partCount > 0) {
    if (r->kind != SOUND_KIND_STREAM) {
      WriteLogText("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
      return -1;
    }
    SOUNDBUFFER* buffer = nullptr;
    uint32_t status = 0;
    if (ClaimStreamBuffer(handle, r, &buffer, 0) == 0 && GetSoundBufferStatus(buffer, &status) == 0 && (status & 1)) {
      WriteLogText("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
      return -1;
    }
    if (r->partCount >= STREAM_MAX_PARTS) {
      WriteLogText("ストリーム風サウンドの制御データ領域がいっぱいです\n");
      return -1;
    }
  }
  STREAM_SOUND_PART* part = &r->parts[r->partCount];
  memset(part, 0, sizeof(*part));
  part->kind = kind;
  part->playLimit = -1;
  source->ops.seek(source->handle, 0, 0);
  if (OpenPart(part, source, settings, copied) < 0) return -1;
  if (r->partCount == 0) {
    r->format = part->converter.format;
    // A stream whose buffer cannot be made is not loaded.
    if (AttachStreamBuffer(r, handle, shared, loader) < 0) {
      ReleaseStreamPart(part, 0);
      return -1;
    }
  } else if (memcmp(&part->converter.format, &r->format, sizeof(WAVEFORMATEX)) != 0) {
    ReleaseStreamPart(part, 0);
    AddLogLineFormat("フォーマットの違う音声データは同時に使うことは出来ません");
    return -1;
  }
  part->repeatCount = (int8_t)repeat;
  r->partCount++;
  long long frames = 0;
  for (int i = 0; i < r->partCount; i++)
    frames += GetSoundConverterSize(&r->parts[i].converter) / (r->format.nBlockAlign != 0 ? r->format.nBlockAlign : 1);
  r->totalFrames = frames > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)frames;
  return 0;
}

int AddStreamSoundFromFile(SOUND_LOAD_SETTINGS* settings, const char* path, int repeat, HANDLE_VALUE handle, int kind,
                           HANDLE_VALUE shared, int loader) {
  uint32_t file = OpenFileStream(path, 0, 0, 0);
  if (file == 0) {
    WriteSoundLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
    return -1;
  }
  STREAM_SOURCE source = {*GetFileStreamOps(), (uintptr_t)file};
  int copied = 0;
  if (AddSreamSound(settings, &source, repeat, handle, kind, &copied, shared, loader) < 0) {
    CloseFileStream(file);
    WriteSoundLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
    return -1;
  }
  if (copied) CloseFileStream(file);
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  r->partOwnsStream[r->partCount - 1] = 1;
  return 0;
}

int AddStreamSoundFromMemory(SOUND_LOAD_SETTINGS* settings, const void* image, int size, int repeat,
                             HANDLE_VALUE handle, int kind, HANDLE_VALUE shared, int loader) {
  STREAM_SOURCE source = {};
  if (OpenMemorySource(&source, image, size) < 0) {
    WriteLogText("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    return -1;
  }
  if (kind == STREAM_PART_OPEN_STREAM) kind = STREAM_PART_FILE_COPY;
  int copied = 0;
  if (AddSreamSound(settings, &source, repeat, handle, kind, &copied, shared, loader) < 0) {
    CloseMemorySource(&source);
    WriteLogText("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    return -1;
  }
  if (copied) CloseMemorySource(&source);
  SOUND_RECORD* r = LookupSoundRecord(handle, loader);
  r->partOwnsStream[r->partCount - 1] = 1;
  return 0;
}
