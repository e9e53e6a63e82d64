// The KVA archive reader: opens one archive from its file, loaded whole into memory, or
// over a caller's memory image; finds entries by path, enumerates directories and reads
// entries as streams. Every offset, size and count taken from an archive is checked against
// the header block, the image or the file it refers to; a damaged archive is refused.
#pragma once
#include <cstdint>

#include "file/kva_format.h"
#include "file/win_file.h"
#include "korvel.h"

enum { KVA_PATH_SIZE = 1024 };

struct KVA_ARCHIVE {
  KVA_HEADER header;  // deciphered copy
  int codePageClass;
  WIN_FILE* file;   // file mode
  uint8_t* image;   // memory modes
  uint8_t* headerBlock;
  const KVA_DIRECTORY* currentDirectory;
  char path[KVA_PATH_SIZE];
  uint8_t key[KVA_KEY_SIZE];
  int memoryImage;
  int callerImage;
  uint32_t imageSize;
  uint32_t archiveSize;  // of the file or the image: every data range lies inside it
  int wholeLoadPending;
  WIN_FILE* pendingFile;
};

struct KVA_STREAM {
  KVA_ARCHIVE* archive;
  const KVA_FILE_ENTRY* entry;
  uint8_t* decoded;     // compressed entries: the whole decoded file
  uint8_t* compressed;  // during a pending read
  WIN_FILE* file;
  int eof;
  uint32_t position;
  int async;
  int pendingStep;  // 0 none, 1 decipher and decode, 2 decipher the last read
  uint32_t lastReadFilePosition;
  uint8_t* lastReadBuffer;
  uint32_t lastReadSize;
};

struct KVA_FIND {
  KVA_ARCHIVE* archive;
  char pattern[FILE_PATH_SIZE];
  const KVA_DIRECTORY* directory;
  uint32_t nextIndex;
};

int ClearKvaArchive(KVA_ARCHIVE* archive);
int OpenKvaFile(KVA_ARCHIVE* archive, const char* path, const char* keyString);
int LoadKvaIntoMemory(KVA_ARCHIVE* archive, const char* path, const char* keyString, int async);
int FinishKvaAsyncOpen(KVA_ARCHIVE* archive);
int OpenKvaFromMemory(KVA_ARCHIVE* archive, void* image, uint32_t imageSize, const char* keyString);
int CloseKvaArchive(KVA_ARCHIVE* archive);
int ReleaseKvaArchive(KVA_ARCHIVE* archive);
void* GetKvaMemoryImage(KVA_ARCHIVE* archive);

int ReadKvaBytes(int64_t keyPosition, WIN_FILE* file, void* buffer, uint32_t size, const uint8_t* key);
int CipherKvaFileData(KVA_ARCHIVE* archive, const KVA_DIRECTORY* directory);

int PackKvaName(const char* text, KVA_NAME_KEY* key, KVA_ARCHIVE* archive, int* consumed);
int FindKvaSubdirectory(KVA_ARCHIVE* archive, const KVA_NAME_KEY* key);
int ChangeKvaDirectory(KVA_ARCHIVE* archive, const char* path, int restoreOnFailure, KVA_NAME_KEY* keyOut);
const KVA_FILE_ENTRY* FindKvaFileEntry(const char* path, KVA_ARCHIVE* archive);
int SplitKvaPath(const char* path, KVA_ARCHIVE* archive, char* filePart, char* directoryPart);
int MatchKvaWildcard(const char* name, const char* pattern, KVA_ARCHIVE* archive);
int GetKvaFileLocation(KVA_ARCHIVE* archive, const char* path, int* offset, int* size);

KVA_FIND* FindFirstKvaEntry(KVA_ARCHIVE* archive, const char* pattern, FILE_FIND_DATA* data);
int NextKvaFindEntry(KVA_FIND* find, FILE_FIND_DATA* data);

int OpenKvaEntryStream(KVA_STREAM* stream, KVA_ARCHIVE* archive, const char* path, int async);
int FinishKvaStreamRead(KVA_STREAM* stream);
int ReadKvaEntryStream(KVA_STREAM* stream, void* buffer, uint32_t bytes);
int SeekKvaEntryStream(KVA_STREAM* stream, int offset, int origin);
int TellKvaEntryStream(KVA_STREAM* stream);
int IsKvaEntryStreamEof(KVA_STREAM* stream);
int CloseKvaEntryStream(KVA_STREAM* stream);
