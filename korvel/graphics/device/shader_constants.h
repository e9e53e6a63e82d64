// Shader constants in four layered sets of the six register files. Set 0 holds the library's
// own constants; higher sets are layered over it. Each register takes its value from the
// highest-numbered active set that uses it, and only registers whose source changed are sent.
#pragma once
#include <cstdint>

enum {
  CONSTANT_FILE_COUNT = 6,  // vertex float, int, bool; pixel float, int, bool
  CONSTANT_SET_COUNT = 4,
  CONSTANT_REGISTER_MAX = 256,
  CONSTANT_NO_OWNER = 255,
};

struct CONSTANT_RANGE {
  uint16_t first, end;  // end exclusive
};

struct SHADER_CONSTANT_FILE {
  CONSTANT_RANGE ranges[CONSTANT_REGISTER_MAX];
  int rangeCount;
  int registerCount;
  int bytesPerRegister;
  uint32_t values[CONSTANT_REGISTER_MAX][4];
};

struct SHADER_CONSTANT_SETS {
  int active[CONSTANT_SET_COUNT];
  int activeMask;
  SHADER_CONSTANT_FILE files[CONSTANT_FILE_COUNT][CONSTANT_SET_COUNT];
  unsigned char used[CONSTANT_FILE_COUNT][CONSTANT_SET_COUNT][CONSTANT_REGISTER_MAX];
  uint32_t uploaded[CONSTANT_FILE_COUNT][CONSTANT_REGISTER_MAX][4];
  unsigned char owner[CONSTANT_FILE_COUNT][CONSTANT_REGISTER_MAX];
};

extern SHADER_CONSTANT_SETS ShaderConstants;

int InitShaderConstantSets(SHADER_CONSTANT_SETS* sets);
int WriteShaderConstants(SHADER_CONSTANT_SETS* sets, int file, int set, int first, const void* values, int count,
                         int addToRanges);
int ClearShaderConstants(SHADER_CONSTANT_SETS* sets, int file, int set, int first, int count);
int SelectShaderConstantSets(SHADER_CONSTANT_SETS* sets, int mask);
int UploadConstantRange(const void* values, int first, SHADER_CONSTANT_SETS* sets, int file, int count);
int UpdateConstantRanges(SHADER_CONSTANT_FILE* file, int add, int first, int count);
// Sends the whole last-uploaded copy of every file (after the device state is re-established).
int ResendAllShaderConstants(SHADER_CONSTANT_SETS* sets);

// Set 0 helpers for the library's own float constants.
void WriteVertexConstantF(int first, const float* values, int count);
void WritePixelConstantF(int first, const float* values, int count);
void WriteVertexConstantB(int first, const int* values, int count);
