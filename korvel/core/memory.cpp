#include "memory.h"

#include <windows.h>

#include <cstring>

#include "log.h"
#include "strings.h"
#include "threads.h"

namespace {
struct AllocatorState {
  ALLOC_BLOCK_HEAD* head;  // newest block; null until the first allocation
  uint16_t idCounter;
  uint32_t totalSize;
  int blockCount;
  CRITICAL_SECTION lock;
  int lockCreated;
  // Debug settings (no setter): log each operation, log totals after each, check all blocks,
  // and the size selector (an operation on a block of this user size is logged; < 0: all).
  int logEveryOperation;
  int logTotals;
  int checkAll;
  int logSizeSelector;
};
AllocatorState alloc;

// The sentinel: a complete block of user size 0 that ends the list and is never handed out.
alignas(16) unsigned char sentinelStore[ALLOC_OVERHEAD];
ALLOC_BLOCK_HEAD* const sentinel = (ALLOC_BLOCK_HEAD*)sentinelStore;

unsigned char* Bytes(ALLOC_BLOCK_HEAD* block) { return (unsigned char*)block; }

void RefreshGuards(ALLOC_BLOCK_HEAD* block) {
  if (block == nullptr) return;
  memcpy(Bytes(block) + ALLOC_GUARD_SIZE, block, ALLOC_GUARD_SIZE);
  memcpy(Bytes(block) + ALLOC_HEADER_SIZE + block->size, block, ALLOC_GUARD_SIZE);
}

void EnsureLock() {
  if (alloc.lockCreated) return;
  InitLock(&alloc.lock);
  alloc.lockCreated = 1;
}

void FillDescriptor(ALLOC_BLOCK_HEAD* block, const char* name, int line) {
  memset(block->name, 0xA5, sizeof(block->name));
  if (name == nullptr) {
    block->name[0] = 0;
  } else {
    size_t len = strlen(name);
    const char* from = len < 15 ? name : name + (len - 15);
    memcpy(block->name, from, strlen(from) + 1);
  }
  block->line = (uint16_t)line;
  block->id = alloc.idCounter++;
}

bool ShouldLog(uint32_t size) {
  return alloc.logSizeSelector < 0 || (uint32_t)alloc.logSizeSelector == size || alloc.logEveryOperation == 1;
}

void LogOperation(const char* text, const ALLOC_BLOCK_HEAD* block) {
  if (!ShouldLog(block->size)) return;
  WriteLogText(text);
  LogAllocBlock(block, 1);
}

void AfterChange() {
  if (alloc.logTotals == 1) LogAllocTotals();
  if (alloc.checkAll == 1) CheckAllAllocBlocks();
}

void LogHexLine(const char* label, const unsigned char* b) {
  AddLogLineFormat(
      "%s%02x %02x %02x %02x  %02x %02x %02x %02x  %02x %02x %02x %02x  %02x %02x %02x %02x    "
      "%02x %02x %02x %02x  %02x %02x %02x %02x  %02x %02x %02x %02x  %02x %02x %02x %02x",
      label, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15],
      b[16], b[17], b[18], b[19], b[20], b[21], b[22], b[23], b[24], b[25], b[26], b[27], b[28], b[29], b[30], b[31]);
}
}  // namespace

namespace {
void* ProcessHeapAlloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void* ProcessHeapReallocZeroed(void* block, size_t size) {
  return HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, size);
}
void ProcessHeapFree(void* block) { HeapFree(GetProcessHeap(), 0, block); }
const ALLOC_HEAP_FUNCTIONS kProcessHeap = {ProcessHeapAlloc, ProcessHeapReallocZeroed, ProcessHeapFree};
ALLOC_HEAP_FUNCTIONS heapFunctions = kProcessHeap;
}  // namespace

void SetAllocHeapFunctions(const ALLOC_HEAP_FUNCTIONS* functions) {
  heapFunctions = functions != nullptr ? *functions : kProcessHeap;
}
void* HeapAllocBytes(size_t size) { return heapFunctions.alloc(size); }
void* HeapReallocZeroed(void* block, size_t size) { return heapFunctions.reallocZeroed(block, size); }
void HeapFreeBlock(void* block) { heapFunctions.free(block); }

void* AllocTracked(size_t size, const char* name, int line) {
  EnsureLock();
  // A size that would wrap with the descriptor and guards (or not fit the 32-bit size
  // field) is refused.
  if (size > (size_t)UINT32_MAX - ALLOC_OVERHEAD || size > (size_t)-1 - ALLOC_OVERHEAD) return nullptr;
  EnterLock(&alloc.lock);
  ALLOC_BLOCK_HEAD* block = (ALLOC_BLOCK_HEAD*)HeapAllocBytes(size + ALLOC_OVERHEAD);
  if (block == nullptr) {
    DumpAllocatedBlocks();
    CheckAllAllocBlocks();
    LeaveLock(&alloc.lock);
    return nullptr;
  }
  FillDescriptor(block, name, line);
  block->size = (uint32_t)size;
  if (alloc.head == nullptr) {
    RefreshGuards(sentinel);
    alloc.head = sentinel;
  }
  alloc.head->previous = block;
  block->next = alloc.head;
  alloc.head = block;
  block->previous = nullptr;
  RefreshGuards(block);
  RefreshGuards(block->next);
  alloc.totalSize += (uint32_t)size;
  alloc.blockCount += 1;
  LogOperation("mem alloc  ", block);
  AfterChange();
  LeaveLock(&alloc.lock);
  return Bytes(block) + ALLOC_HEADER_SIZE;
}

void* AllocTrackedZeroed(size_t size, const char* name, int line) {
  void* p = AllocTracked(size, name, line);
  if (p != nullptr) memset(p, 0, size);
  return p;
}

void* ReallocTracked(void* pointer, size_t size, const char* name, int line) {
  EnsureLock();
  if (pointer == nullptr) return AllocTracked(size, name, line);
  if (size > (size_t)UINT32_MAX - ALLOC_OVERHEAD || size > (size_t)-1 - ALLOC_OVERHEAD) return nullptr;
  EnterLock(&alloc.lock);
  ALLOC_BLOCK_HEAD* old = (ALLOC_BLOCK_HEAD*)((unsigned char*)pointer - ALLOC_HEADER_SIZE);
  ALLOC_BLOCK_HEAD* block = old;
  if (size != old->size) {
    block = (ALLOC_BLOCK_HEAD*)HeapReallocZeroed(old, size + ALLOC_OVERHEAD);
    if (block == nullptr) {
      DumpAllocatedBlocks();
      LeaveLock(&alloc.lock);
      return nullptr;
    }
  }
  FillDescriptor(block, name, line);
  if (block->next != nullptr) block->next->previous = block;
  if (block->previous != nullptr) block->previous->next = block;
  if (alloc.head == old) alloc.head = block;
  alloc.totalSize -= block->size;
  block->size = (uint32_t)size;
  alloc.totalSize += (uint32_t)size;
  RefreshGuards(block);
  RefreshGuards(block->next);
  RefreshGuards(block->previous);
  LogOperation("mem realloc  ", block);
  AfterChange();
  LeaveLock(&alloc.lock);
  return Bytes(block) + ALLOC_HEADER_SIZE;
}

void FreeTracked(void* pointer) {
  if (pointer == nullptr) return;
  EnsureLock();
  EnterLock(&alloc.lock);
  ALLOC_BLOCK_HEAD* block = (ALLOC_BLOCK_HEAD*)((unsigned char*)pointer - ALLOC_HEADER_SIZE);
  alloc.totalSize -= block->size;
  alloc.blockCount -= 1;
  if (alloc.checkAll == 1)
    CheckAllAllocBlocks();
  else
    CheckAllocBlock(block);
  if (block->next != nullptr) block->next->previous = block->previous;
  if (block->previous != nullptr) block->previous->next = block->next;
  if (alloc.head == block) alloc.head = block->next;
  RefreshGuards(block->previous);
  RefreshGuards(block->next);
  LogOperation("mem free  ", block);
  HeapFreeBlock(block);
  LeaveLock(&alloc.lock);
}

int CheckAllocBlock(ALLOC_BLOCK_HEAD* block) {
  const unsigned char* base = Bytes(block);
  const unsigned char* first = base + ALLOC_GUARD_SIZE;
  const unsigned char* second = base + ALLOC_HEADER_SIZE + block->size;
  if (memcmp(base, first, ALLOC_GUARD_SIZE) == 0 && memcmp(base, second, ALLOC_GUARD_SIZE) == 0) return 0;
  WriteLogText("以下のメモリ確保情報が破損しました、強制終了します\n");
  LogHexLine("HEAD  BASE:", base);
  LogHexLine("HEAD TEMP1:", first);
  LogHexLine("HEAD TEMP2:", second);
  LogAllocBlock(block, 1);
  LogAllocBlock((const ALLOC_BLOCK_HEAD*)first, 0);
  LogAllocBlock((const ALLOC_BLOCK_HEAD*)second, 0);
  TerminateProcess(GetCurrentProcess(), ALLOC_CORRUPTION_EXIT_CODE);
  ExitProcess(ALLOC_CORRUPTION_EXIT_CODE);
}

int CheckAllAllocBlocks() {
  EnsureLock();
  EnterLock(&alloc.lock);
  for (ALLOC_BLOCK_HEAD* b = alloc.head; b != nullptr && b != sentinel; b = b->next) CheckAllocBlock(b);
  LeaveLock(&alloc.lock);
  return 0;
}

void LogAllocBlock(const ALLOC_BLOCK_HEAD* block, int withData) {
  char line[256];
  char name[17];
  memcpy(name, block->name, 16);
  name[16] = 0;
  const unsigned char* data = (const unsigned char*)block + ALLOC_HEADER_SIZE;
  // The address is printed whole: 8 hex digits in the 32-bit build, 16 with 64-bit pointers.
  FormatString(line, sizeof(line), "\tsize:%10d(%10.3fkb)  file:%-26s  line:%-5d  ID:%-5d  addr:%0*llx",
               (int)block->size, block->size / 1024.0, name, (int)block->line, (int)block->id,
               (int)(2 * sizeof(void*)), (unsigned long long)(uintptr_t)data);
  size_t pos = strlen(line);
  if (withData) {
    uint32_t shown = block->size < 16 ? block->size : 16;
    const char* open = "  data:<";
    memcpy(line + pos, open, strlen(open));
    pos += strlen(open);
    for (uint32_t i = 0; i < shown; i++) line[pos++] = (data[i] < 0x20 || data[i] >= 0x80) ? '.' : (char)data[i];
    memcpy(line + pos, "> [", 3);
    pos += 3;
    for (uint32_t i = 0; i < shown; i++) {
      FormatString(line + pos, sizeof(line) - pos, "%02x ", data[i]);
      pos += 3;
    }
    // "]\n" goes over the last blank (or over the "[" when no byte was shown).
    memcpy(line + pos - 1, "]\n", 3);
  } else {
    memcpy(line + pos, "\n", 2);
  }
  WriteLogText(line);
}

void LogAllocTotals() {
  AddLogLineFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", (int)alloc.totalSize, alloc.totalSize / 1024.0,
                   alloc.blockCount);
}

void DumpAllocatedBlocks() {
  EnsureLock();
  EnterLock(&alloc.lock);
  WriteLogText("\n");
  WriteLogText("Alloc memory dump\n");
  for (ALLOC_BLOCK_HEAD* b = alloc.head; b != nullptr && b != sentinel; b = b->next) LogAllocBlock(b, 1);
  LogAllocTotals();
  WriteLogText("\n");
  LeaveLock(&alloc.lock);
}

uint32_t GetAllocTotalSize() { return alloc.totalSize; }
int GetAllocBlockCount() { return alloc.blockCount; }
