// The archive-aware file layer: the default functions of the file access table. A path is
// read from the first KVA archive found among the directory prefixes of its upper-cased full
// path (shortest first, never the last component); only when no prefix names an archive is
// the real file opened. Open archives are shared through a reference-counted cache.
#pragma once
#include <cstdint>

#include "file/kva_archive.h"
#include "korvel.h"

enum { VFS_MAX_FILES = 0x8000, VFS_MAX_ARCHIVES = 4096 };
static const uint32_t VFS_HANDLE_TAG = 0xF0000000u;  // on every handle given out (never 0)

uint32_t OpenVfsFile(const char* path, int useCache, int unused, int asyncRead);
int CloseVfsFile(uint32_t handle);
int TellVfsFile(uint32_t handle);
int SeekVfsFile(uint32_t handle, int offset, int origin);
int ReadVfsFile(void* buffer, int size, int count, uint32_t handle);
int IsVfsFileEof(uint32_t handle);
int IsVfsFileIdle(uint32_t handle);
int SetVfsCurrentDir(const char* path);
int GetVfsCurrentDir(char* buffer);
intptr_t FindFirstVfsFile(const char* pattern, FILE_FIND_DATA* data);
int FindNextVfsFile(intptr_t find, FILE_FIND_DATA* data);
int CloseVfsFind(intptr_t find);

int InitVfs();
int EndVfs();
int FindArchiveForPath(const char* path, int* cacheIndex, char* archivePath, char* innerPath);
int OpenCachedKva(int hint, const char* archivePath, int loadWhole, int async);
void SweepKvaCache();
// The cached archive of an index (tests and the layer itself), or null.
KVA_ARCHIVE* GetCachedKva(int index);
