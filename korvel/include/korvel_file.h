// Files: the replaceable table of twelve file functions through which every file access of
// the library goes, its forwarders, and search results.
#pragma once
#include <cstdint>

#include "korvel_system.h"  // LOCAL_DATE_TIME

// One search result of the find slots.
struct FILE_FIND_DATA {
  char name[260];  // as stored (its own case)
  int directory;   // 1 for a directory
  uint32_t sizeLow;
  uint32_t sizeHigh;  // always 0 for archive entries
  LOCAL_DATE_TIME creationTime;
  LOCAL_DATE_TIME lastWriteTime;
};

// Stream handles are 32-bit values, 0 = failure.
struct FILE_ACCESS_TABLE {
  uint32_t (*open)(const char* path, int useCache, int unused, int asyncRead);
  int (*close)(uint32_t handle);
  int (*tell)(uint32_t handle);
  int (*seek)(uint32_t handle, int offset, int origin);
  int (*read)(void* buffer, int size, int count, uint32_t handle);
  int (*eof)(uint32_t handle);
  int (*idle)(uint32_t handle);
  int (*setCurrentDir)(const char* path);
  int (*getCurrentDir)(char* buffer);  // buffer of 260 characters
  intptr_t (*findFirst)(const char* pattern, FILE_FIND_DATA* data);  // -1 when nothing matches
  int (*findNext)(intptr_t find, FILE_FIND_DATA* data);
  int (*findClose)(intptr_t find);
};

// Copies a table's twelve functions into the file layer; null installs the default set.
int InstallFileAccessTable(const FILE_ACCESS_TABLE* table);
const FILE_ACCESS_TABLE* GetFileAccessTable();

uint32_t OpenFileStream(const char* path, int useCache, int unused, int asyncRead);
int CloseFileStream(uint32_t handle);
int TellFileStream(uint32_t handle);
int SeekFileStream(uint32_t handle, int offset, int origin);
int ReadFileStream(void* buffer, int size, int count, uint32_t handle);
int IsFileStreamEof(uint32_t handle);
int IsFileStreamIdle(uint32_t handle);
int SetFileStreamDirectory(const char* path);
int GetFileStreamDirectory(char* buffer);  // buffer of 260 characters
