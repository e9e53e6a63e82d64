// Single-precision 3D maths in the Direct3D conventions (row vectors on the left of a matrix,
// translation in the fourth row, left-handed view and projection) and rectangle clipping.
#pragma once
#include <windows.h>

struct VEC3F {
  float x, y, z;
};

// As a plane: normal x, y, z and d; the plane holds the points p with dot(normal, p) + d = 0.
struct VEC4F {
  float x, y, z, w;
};

// Row-major, m[row][column]; a point transforms as (x, y, z, 1) x M.
struct MAT44F {
  float m[4][4];
};

// The screen size behind the default aspect (height / width, or 0.75 while unset).
void SetAspectScreenSize(int width, int height);

// Outputs may be the same object as an input.
int SetIdentityMat44(MAT44F* out);
int MultiplyMat44(MAT44F* out, const MAT44F* a, const MAT44F* b);  // a first, then b
int TransposeMat44(MAT44F* out, const MAT44F* in);
int InvertMat44(MAT44F* out, const MAT44F* in);  // -1 (out unchanged) for a near-zero determinant
// A negative aspect takes the default aspect.
int MakePerspectiveMat44(MAT44F* out, float fovY, float nearZ, float farZ, float aspect);
int MakeOrthoMat44(MAT44F* out, float height, float nearZ, float farZ, float aspect);
int MakeViewportMat44(MAT44F* out, float centerX, float centerY, float width, float height);
int MakeLookAtMat44(MAT44F* out, const VEC3F* eye, const VEC3F* target, const VEC3F* up);
VEC4F* MakePlaneFromPointNormal(VEC4F* plane, const VEC3F* point, const VEC3F* normal);
int NormalizeVec3(VEC3F* out, const VEC3F* in);
VEC3F NormalizeVec3ByValue(float x, float y, float z);
float GetVec3Length(float x, float y, float z);  // 0 below a squared length of 1e-7
int SubtractVec3(VEC3F* out, const VEC3F* a, const VEC3F* b);
int CrossVec3(VEC3F* out, const VEC3F* a, const VEC3F* b);
int TransformVec3(VEC3F* out, const VEC3F* in, const MAT44F* m);
int TransformVec4(VEC3F* outXyz, float* outW, const VEC3F* inXyz, const float* inW, const MAT44F* m);
// The smallest power of two at or above n (1 for n <= 1, at most 1 << 30).
inline int PowerOfTwoAtLeast(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}
// One side of a mip level: the side of level 0 halved once per level, never below 1.
inline int MipLevelLength(int length, int level) {
  int side = length >> level;
  return side < 1 ? 1 : side;
}
// The levels of a full mip chain, level 0 down to 1 x 1.
inline int FullMipChainLevels(int width, int height) {
  int side = width > height ? width : height, levels = 1;
  while (side > 1) {
    side >>= 1;
    levels++;
  }
  return levels;
}

// Clamps each edge into the bounds; an empty or outside rectangle ends with zero width or
// height on the bounds' edge.
int ClipRectToRect(RECT* rect, const RECT* bounds);
