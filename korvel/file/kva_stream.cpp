// Archive entries read as streams: stored entries from the archive file or image,
// compressed entries decoded whole at open.
#include "kva_archive.h"

#include "core/memory.h"
#include "core/strings.h"
#include "file/kva_lz.h"
#include "file/kva_records.h"

namespace {
void WaitPendingStep(KVA_STREAM* s) {
  while (FinishKvaStreamRead(s) == 0) Sleep(1);
}
}  // namespace

int OpenKvaEntryStream(KVA_STREAM* stream, KVA_ARCHIVE* archive, const char* path, int async) {
  FillBytes(stream, 0, sizeof(*stream));
  const KVA_FILE_ENTRY* e = FindKvaFileEntry(path, archive);
  uint32_t start, stored;
  if (e == nullptr || !GetKvaDataRange(archive, e, &start, &stored)) return -1;
  WIN_FILE* file = OpenWinFile(archive->path, 0, 1, 0);
  if (file == nullptr) return -1;
  stream->archive = archive;
  stream->entry = e;
  stream->file = file;
  stream->async = async;
  if (!IsKvaCompressed(archive, e)) return 0;

  stream->decoded = (uint8_t*)AllocTracked(e->size > 0 ? e->size : 1, "", 0);
  if (stream->decoded == nullptr) goto fail;
  if (archive->memoryImage) {
    if (DecodeKvaLz(archive->image + start, stored, stream->decoded, e->size) != (int)e->size) goto fail;
    return 0;
  }
  stream->compressed = (uint8_t*)AllocTracked(stored > 0 ? stored : 1, "", 0);
  if (stream->compressed == nullptr || SeekWinFile(file, (int)start, 0) != 0) goto fail;
  if (async) {
    stream->lastReadFilePosition = start;
    if (ReadWinFile(stream->compressed, (int)stored, 1, file) != 1) goto fail;
    stream->pendingStep = 1;
    return 0;
  }
  if (ReadKvaBytes(archive->header.version < 5 ? -1 : (int64_t)e->size, file, stream->compressed, stored, archive->key) != 0 ||
      DecodeKvaLz(stream->compressed, stored, stream->decoded, e->size) != (int)e->size)
    goto fail;
  FreeTracked(stream->compressed);
  stream->compressed = nullptr;
  return 0;
fail:
  if (stream->decoded != nullptr) FreeTracked(stream->decoded);
  if (stream->compressed != nullptr) FreeTracked(stream->compressed);
  CloseWinFile(file);
  FillBytes(stream, 0, sizeof(*stream));
  return -1;
}

int FinishKvaStreamRead(KVA_STREAM* stream) {
  if (!stream->async || stream->pendingStep == 0) return 1;
  if (!IsWinFileIdle(stream->file)) return 0;
  KVA_ARCHIVE* a = stream->archive;
  const KVA_FILE_ENTRY* e = stream->entry;
  const uint32_t dataStart = a->header.dataOffset + e->dataOffset;
  if (stream->pendingStep == 1) {
    CipherKvaBytes(e->storedSize, stream->compressed, a->header.version < 5 ? stream->lastReadFilePosition : e->size, a->key);
    if (DecodeKvaLz(stream->compressed, e->storedSize, stream->decoded, e->size) != (int)e->size) {
      // A damaged block reads as nothing: the stream is at its end.
      FreeTracked(stream->decoded);
      stream->decoded = nullptr;
      stream->eof = 1;
    }
    FreeTracked(stream->compressed);
    stream->compressed = nullptr;
  } else {
    uint32_t position = a->header.version < 5 ? stream->lastReadFilePosition
                                              : e->size + (stream->lastReadFilePosition - dataStart);
    CipherKvaBytes(stream->lastReadSize, stream->lastReadBuffer, position, a->key);
  }
  stream->pendingStep = 0;
  return 1;
}

int ReadKvaEntryStream(KVA_STREAM* stream, void* buffer, uint32_t bytes) {
  WaitPendingStep(stream);
  KVA_ARCHIVE* a = stream->archive;
  const KVA_FILE_ENTRY* e = stream->entry;
  if (stream->eof) return 0;
  if (stream->position >= e->size) {
    stream->eof = 1;
    return 0;
  }
  uint32_t n = bytes < e->size - stream->position ? bytes : e->size - stream->position;
  if (n == 0) return 0;
  const uint32_t dataStart = a->header.dataOffset + e->dataOffset;  // checked at open
  if (IsKvaCompressed(a, e)) {
    if (stream->decoded == nullptr) return 0;
    CopyMemoryBytes(buffer, stream->decoded + stream->position, n);
  } else if (a->memoryImage) {
    CopyMemoryBytes(buffer, a->image + dataStart + stream->position, n);
  } else {
    uint32_t at = dataStart + stream->position;
    if ((uint32_t)TellWinFile(stream->file) != at && SeekWinFile(stream->file, (int)at, 0) != 0) return 0;
    if (stream->async) {
      if (ReadWinFile(buffer, (int)n, 1, stream->file) != 1) return 0;
      stream->lastReadFilePosition = at;
      stream->lastReadBuffer = (uint8_t*)buffer;
      stream->lastReadSize = n;
      stream->pendingStep = 2;
    } else if (ReadKvaBytes(a->header.version < 5 ? -1 : (int64_t)e->size + stream->position, stream->file, buffer, n,
                            a->key) != 0) {
      return 0;
    }
  }
  stream->position += n;
  stream->eof = 0;
  return (int)n;
}

int SeekKvaEntryStream(KVA_STREAM* stream, int offset, int origin) {
  WaitPendingStep(stream);
  int64_t target = origin == 1 ? (int64_t)stream->position + offset : origin == 2 ? (int64_t)stream->entry->size + offset : offset;
  if (target < 0) target = 0;
  if (target > stream->entry->size) target = stream->entry->size;
  stream->position = (uint32_t)target;
  stream->eof = 0;
  return 0;
}

int TellKvaEntryStream(KVA_STREAM* stream) {
  WaitPendingStep(stream);
  return (int)stream->position;
}

int IsKvaEntryStreamEof(KVA_STREAM* stream) {
  WaitPendingStep(stream);
  return stream->eof ? -1 : 0;
}

int CloseKvaEntryStream(KVA_STREAM* stream) {
  if (stream->file != nullptr) WaitPendingStep(stream);
  if (stream->decoded != nullptr) FreeTracked(stream->decoded);
  if (stream->compressed != nullptr) FreeTracked(stream->compressed);
  if (stream->file != nullptr) CloseWinFile(stream->file);
  FillBytes(stream, 0, sizeof(*stream));
  return 0;
}
