// The tracked allocator: every heap block of the library carries a descriptor (32 bytes in the
// 32-bit build, 40 with 64-bit pointers) and two guard copies of it around the caller's bytes, all live blocks are kept in one list, and a
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
static_assert(sizeof(ALLOC_BLOCK_HEAD) == 24 + 2 * sizeof(void*), "descriptor without padding");

// The header is the descriptor and its first guard copy; the second copy follows the data.
// Both sizes keep the caller's bytes on the heap's alignment (8 in 32 bits, 16 in 64).
enum {
  ALLOC_GUARD_SIZE = sizeof(ALLOC_BLOCK_HEAD),
  ALLOC_HEADER_SIZE = 2 * ALLOC_GUARD_SIZE,
  ALLOC_OVERHEAD = 3 * ALLOC_GUARD_SIZE
};

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

// The raw heap under the tracked allocator (the process heap by default). Tests replace it to
// place blocks where they want them, above 4 GB in a 64-bit process; replace it only while no
// tracked block is alive. Null restores the process heap.
struct ALLOC_HEAP_FUNCTIONS {
  void* (*alloc)(size_t size);
  void* (*reallocZeroed)(void* block, size_t size);  // bytes past the old size come back zeroed
  void (*free)(void* block);
};
void SetAllocHeapFunctions(const ALLOC_HEAP_FUNCTIONS* functions);

// Exit code of the process when a damaged guard stops it.
enum { ALLOC_CORRUPTION_EXIT_CODE = 3 };
