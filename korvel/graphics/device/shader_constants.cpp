#include "graphics/device/shader_constants.h"

#include <cstring>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/state_cache.h"

SHADER_CONSTANT_SETS ShaderConstants;

namespace {
const int kRegisterCounts[CONSTANT_FILE_COUNT] = {256, 16, 16, 224, 16, 16};
const int kBytesPerRegister[CONSTANT_FILE_COUNT] = {16, 16, 4, 16, 16, 4};

void SendRegisters(int file, int first, const void* values, int count) {
  switch (file) {
    case 0: DeviceCalls.DeviceSetVertexShaderConstantF(first, (const float*)values, count); break;
    case 1: DeviceCalls.DeviceSetVertexShaderConstantI(first, (const int*)values, count); break;
    case 2: DeviceCalls.DeviceSetVertexShaderConstantB(first, (const BOOL*)values, count); break;
    case 3: DeviceCalls.DeviceSetPixelShaderConstantF(first, (const float*)values, count); break;
    case 4: DeviceCalls.DeviceSetPixelShaderConstantI(first, (const int*)values, count); break;
    case 5: DeviceCalls.DeviceSetPixelShaderConstantB(first, (const BOOL*)values, count); break;
  }
}

int ValidFileSet(SHADER_CONSTANT_SETS* sets, int file, int set, int first, int count) {
  if (file < 0 || file >= CONSTANT_FILE_COUNT || set < 0 || set >= CONSTANT_SET_COUNT) return 0;
  return first >= 0 && count >= 0 && first + count <= sets->files[file][set].registerCount;
}

// Packs `count` registers of the file's layout from 16-byte register slots into `out`.
void PackRegisters(int file, const uint32_t (*registers)[4], int count, uint32_t* out) {
  int words = kBytesPerRegister[file] / 4;
  for (int i = 0; i < count; i++) memcpy(out + i * words, registers[i], words * 4);
}

// Uploads maximal runs of [first, first + count) whose owner is set, from each owner's values.
void UploadFromOwners(SHADER_CONSTANT_SETS* sets, int file, int first, int count) {
  uint32_t packed[CONSTANT_REGISTER_MAX * 4];
  int words = kBytesPerRegister[file] / 4;
  int i = first, end = first + count;
  while (i < end) {
    if (sets->owner[file][i] == CONSTANT_NO_OWNER) {
      i++;
      continue;
    }
    int start = i;
    while (i < end && sets->owner[file][i] != CONSTANT_NO_OWNER) {
      memcpy(packed + (i - start) * words, sets->files[file][sets->owner[file][i]].values[i], words * 4);
      i++;
    }
    UploadConstantRange(packed, start, sets, file, i - start);
  }
}
}  // namespace

int InitShaderConstantSets(SHADER_CONSTANT_SETS* sets) {
  memset(sets, 0, sizeof(*sets));
  for (int file = 0; file < CONSTANT_FILE_COUNT; file++) {
    for (int set = 0; set < CONSTANT_SET_COUNT; set++) {
      sets->files[file][set].registerCount = kRegisterCounts[file];
      sets->files[file][set].bytesPerRegister = kBytesPerRegister[file];
    }
    memset(sets->owner[file], CONSTANT_NO_OWNER, sizeof(sets->owner[file]));
  }
  return 0;
}

int UpdateConstantRanges(SHADER_CONSTANT_FILE* file, int add, int first, int count) {
  if (count <= 0) return 0;
  int a = first, b = first + count;
  CONSTANT_RANGE result[CONSTANT_REGISTER_MAX + 1];
  int n = 0;
  if (add) {
    int placed = 0;
    for (int i = 0; i < file->rangeCount; i++) {
      CONSTANT_RANGE r = file->ranges[i];
      if (r.end < a) {
        result[n++] = r;
      } else if (r.first > b) {
        if (!placed) result[n++] = {(uint16_t)a, (uint16_t)b}, placed = 1;
        result[n++] = r;
      } else {  // overlaps or touches: merge
        if (r.first < a) a = r.first;
        if (r.end > b) b = r.end;
      }
    }
    if (!placed) result[n++] = {(uint16_t)a, (uint16_t)b};
  } else {
    for (int i = 0; i < file->rangeCount; i++) {
      CONSTANT_RANGE r = file->ranges[i];
      if (r.end <= a || r.first >= b) {
        result[n++] = r;
        continue;
      }
      if (r.first < a) result[n++] = {r.first, (uint16_t)a};
      if (r.end > b) result[n++] = {(uint16_t)b, r.end};
    }
  }
  if (n > CONSTANT_REGISTER_MAX) n = CONSTANT_REGISTER_MAX;  // cannot happen: ranges are disjoint
  memcpy(file->ranges, result, n * sizeof(CONSTANT_RANGE));
  file->rangeCount = n;
  return 0;
}

int UploadConstantRange(const void* values, int first, SHADER_CONSTANT_SETS* sets, int file, int count) {
  if (StateFlags.programmableShaders && HasDirect3DDevice()) SendRegisters(file, first, values, count);
  int words = kBytesPerRegister[file] / 4;
  const uint32_t* source = (const uint32_t*)values;
  for (int i = 0; i < count; i++) {
    memset(sets->uploaded[file][first + i], 0, 16);
    memcpy(sets->uploaded[file][first + i], source + i * words, words * 4);
  }
  return 0;
}

int WriteShaderConstants(SHADER_CONSTANT_SETS* sets, int file, int set, int first, const void* values, int count,
                         int addToRanges) {
  if (!ValidFileSet(sets, file, set, first, count) || count == 0) return 0;
  SHADER_CONSTANT_FILE* f = &sets->files[file][set];
  if (addToRanges) UpdateConstantRanges(f, 1, first, count);
  int words = kBytesPerRegister[file] / 4;
  const uint32_t* source = (const uint32_t*)values;
  for (int i = 0; i < count; i++) {
    memset(f->values[first + i], 0, 16);
    memcpy(f->values[first + i], source + i * words, words * 4);
  }
  int ownsAll = 1;
  for (int r = first; r < first + count; r++) {
    sets->used[file][set][r] = 1;
    if (!sets->active[set]) continue;
    unsigned char& owner = sets->owner[file][r];
    if (owner == CONSTANT_NO_OWNER || owner <= set) owner = (unsigned char)set;
    if (owner != set) ownsAll = 0;
  }
  if (!sets->active[set]) return 0;
  if (ownsAll)
    UploadConstantRange(values, first, sets, file, count);
  else
    UploadFromOwners(sets, file, first, count);
  return 0;
}

int ClearShaderConstants(SHADER_CONSTANT_SETS* sets, int file, int set, int first, int count) {
  if (!ValidFileSet(sets, file, set, first, count) || count == 0) return 0;
  UpdateConstantRanges(&sets->files[file][set], 0, first, count);
  int passed = 0;
  for (int r = first; r < first + count; r++) {
    sets->used[file][set][r] = 0;
    if (sets->owner[file][r] != set) continue;
    int next = CONSTANT_NO_OWNER;
    for (int lower = set - 1; lower >= 0; lower--)
      if (sets->used[file][lower][r]) {
        next = lower;
        break;
      }
    sets->owner[file][r] = (unsigned char)next;
    if (next != CONSTANT_NO_OWNER) passed = 1;
  }
  if (passed) UploadFromOwners(sets, file, first, count);
  return 0;
}

int SelectShaderConstantSets(SHADER_CONSTANT_SETS* sets, int mask) {
  mask &= 15;
  if (mask == sets->activeMask) return 0;
  sets->activeMask = mask;
  for (int set = 0; set < CONSTANT_SET_COUNT; set++) sets->active[set] = (mask >> set) & 1;
  for (int file = 0; file < CONSTANT_FILE_COUNT; file++) {
    unsigned char newOwner[CONSTANT_REGISTER_MAX];
    memset(newOwner, CONSTANT_NO_OWNER, sizeof(newOwner));
    for (int set = CONSTANT_SET_COUNT - 1; set >= 0; set--) {
      if (!sets->active[set]) continue;
      const SHADER_CONSTANT_FILE& f = sets->files[file][set];
      for (int i = 0; i < f.rangeCount; i++)
        for (int r = f.ranges[i].first; r < f.ranges[i].end; r++)
          if (newOwner[r] == CONSTANT_NO_OWNER) newOwner[r] = (unsigned char)set;
    }
    int count = kRegisterCounts[file];
    unsigned char* oldOwner = sets->owner[file];
    int words = kBytesPerRegister[file] / 4;
    uint32_t packed[CONSTANT_REGISTER_MAX * 4];
    int r = 0;
    while (r < count) {
      if (newOwner[r] == CONSTANT_NO_OWNER || newOwner[r] == oldOwner[r]) {
        r++;
        continue;
      }
      int start = r;
      while (r < count && newOwner[r] != CONSTANT_NO_OWNER && newOwner[r] != oldOwner[r]) {
        memcpy(packed + (r - start) * words, sets->files[file][newOwner[r]].values[r], words * 4);
        r++;
      }
      UploadConstantRange(packed, start, sets, file, r - start);
    }
    memcpy(oldOwner, newOwner, sizeof(newOwner));
  }
  return 0;
}

int ResendAllShaderConstants(SHADER_CONSTANT_SETS* sets) {
  if (!StateFlags.programmableShaders || !HasDirect3DDevice()) return 0;
  uint32_t packed[CONSTANT_REGISTER_MAX * 4];
  for (int file = 0; file < CONSTANT_FILE_COUNT; file++) {
    PackRegisters(file, sets->uploaded[file], kRegisterCounts[file], packed);
    SendRegisters(file, 0, packed, kRegisterCounts[file]);
  }
  return 0;
}

void WriteVertexConstantF(int first, const float* values, int count) {
  WriteShaderConstants(&ShaderConstants, 0, 0, first, values, count, 1);
}
void WritePixelConstantF(int first, const float* values, int count) {
  WriteShaderConstants(&ShaderConstants, 3, 0, first, values, count, 1);
}
void WriteVertexConstantB(int first, const int* values, int count) {
  WriteShaderConstants(&ShaderConstants, 2, 0, first, values, count, 1);
}
