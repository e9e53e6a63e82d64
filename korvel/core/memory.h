// The tracked allocator: every heap block of the library carries a 32-byte descriptor and two
// guard copies of it around the caller's bytes, all live blocks are kept in one list, and a
// damaged guard found on free is reported in the log and stops the process.
#pragma once
#include <cstddef>
#include <cstdint>

struct ALLOC_BLOCK_HEAD {
  char name[16];  // source name, 0xA5-filled, last 15 characters kept
  uint16_t id;    // running operation number
  uint16_t line;
  uint32_t size;  // user size
  ALLOC_BLOCK_HEAD* next;      // next older block
  ALLOC_BLOCK_HEAD* previous;  // next newer block, null for the newest
};
static_assert(sizeof(ALLOC_BLOCK_HEAD) == 32, "descriptor is 32 bytes in the 32-bit build");

enum { ALLOC_GUARD_SIZE = 32, ALLOC_HEADER_SIZE = 64, ALLOC_OVERHEAD = 96 };

void* AllocTracked(size_t size, const char* name, int line);
void* AllocTrackedZeroed(size_t size, const char* name, int line);
void* ReallocTracked(void* pointer, size_t size, const char* name, int line);
void FreeTracked(void* pointer);
int CheckAllocBlock(ALLOC_BLOCK_HEAD* block);
int CheckAllAllocBlocks();
void DumpAllocatedBlocks();
void LogAllocBlock(const ALLOC_BLOCK_HEAD* block, int withData);
void LogAllocTotals();

// Running totals, read by tests and the shut-down report.
uint32_t GetAllocTotalSize();
int GetAllocBlockCount();

void* HeapAllocBytes(size_t size);
void* HeapReallocZeroed(void* block, size_t size);
void HeapFreeBlock(void* block);

// Exit code of the process when a damaged guard stops it.
enum { ALLOC_CORRUPTION_EXIT_CODE = 3 };
