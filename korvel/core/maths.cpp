#include "maths.h"

#include <cmath>

#include "strings.h"

namespace {
struct ASPECT_STATE {
  int screenWidth;  // 0 until the graphics set-up stores the screen size
  int screenHeight;
};
ASPECT_STATE aspectState;

float ResolveAspect(float aspect) {
  if (aspect >= 0.0f) return aspect;
  if (aspectState.screenWidth != 0 && aspectState.screenHeight != 0)
    return (float)aspectState.screenHeight / (float)aspectState.screenWidth;
  return 0.75f;
}

float Dot(const VEC3F& a, const VEC3F& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void ClearMat44(MAT44F* out) {
  for (auto& row : out->m)
    for (float& v : row) v = 0.0f;
}

// Clamps one edge: above the upper bound -> upper bound, else below the lower -> lower.
void ClampEdge(LONG* edge, LONG lower, LONG upper) {
  if (*edge > upper) *edge = upper;
  else if (*edge < lower) *edge = lower;
}
}  // namespace

void SetAspectScreenSize(int width, int height) {
  aspectState.screenWidth = width;
  aspectState.screenHeight = height;
}

int SetIdentityMat44(MAT44F* out) {
  ClearMat44(out);
  for (int i = 0; i < 4; i++) out->m[i][i] = 1.0f;
  return 0;
}

int MultiplyMat44(MAT44F* out, const MAT44F* a, const MAT44F* b) {
  if (out == nullptr) return 0;
  MAT44F r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++)
      r.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] + a->m[i][3] * b->m[3][j];
  *out = r;
  return 0;
}

int TransposeMat44(MAT44F* out, const MAT44F* in) {
  MAT44F r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) r.m[i][j] = in->m[j][i];
  *out = r;
  return 0;
}

// Cofactor inverse: the 2 x 2 minors of the top two rows and of the bottom two rows give every
// 3 x 3 cofactor, and the determinant from them.
int InvertMat44(MAT44F* out, const MAT44F* in) {
  const float(*m)[4] = in->m;
  float s0 = m[0][0] * m[1][1] - m[1][0] * m[0][1];
  float s1 = m[0][0] * m[1][2] - m[1][0] * m[0][2];
  float s2 = m[0][0] * m[1][3] - m[1][0] * m[0][3];
  float s3 = m[0][1] * m[1][2] - m[1][1] * m[0][2];
  float s4 = m[0][1] * m[1][3] - m[1][1] * m[0][3];
  float s5 = m[0][2] * m[1][3] - m[1][2] * m[0][3];
  float c5 = m[2][2] * m[3][3] - m[3][2] * m[2][3];
  float c4 = m[2][1] * m[3][3] - m[3][1] * m[2][3];
  float c3 = m[2][1] * m[3][2] - m[3][1] * m[2][2];
  float c2 = m[2][0] * m[3][3] - m[3][0] * m[2][3];
  float c1 = m[2][0] * m[3][2] - m[3][0] * m[2][2];
  float c0 = m[2][0] * m[3][1] - m[3][0] * m[2][1];
  float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
  if (det > -1e-7f && det < 1e-7f) return -1;
  float k = 1.0f / det;
  MAT44F r;
  r.m[0][0] = (m[1][1] * c5 - m[1][2] * c4 + m[1][3] * c3) * k;
  r.m[0][1] = (-m[0][1] * c5 + m[0][2] * c4 - m[0][3] * c3) * k;
  r.m[0][2] = (m[3][1] * s5 - m[3][2] * s4 + m[3][3] * s3) * k;
  r.m[0][3] = (-m[2][1] * s5 + m[2][2] * s4 - m[2][3] * s3) * k;
  r.m[1][0] = (-m[1][0] * c5 + m[1][2] * c2 - m[1][3] * c1) * k;
  r.m[1][1] = (m[0][0] * c5 - m[0][2] * c2 + m[0][3] * c1) * k;
  r.m[1][2] = (-m[3][0] * s5 + m[3][2] * s2 - m[3][3] * s1) * k;
  r.m[1][3] = (m[2][0] * s5 - m[2][2] * s2 + m[2][3] * s1) * k;
  r.m[2][0] = (m[1][0] * c4 - m[1][1] * c2 + m[1][3] * c0) * k;
  r.m[2][1] = (-m[0][0] * c4 + m[0][1] * c2 - m[0][3] * c0) * k;
  r.m[2][2] = (m[3][0] * s4 - m[3][1] * s2 + m[3][3] * s0) * k;
  r.m[2][3] = (-m[2][0] * s4 + m[2][1] * s2 - m[2][3] * s0) * k;
  r.m[3][0] = (-m[1][0] * c3 + m[1][1] * c1 - m[1][2] * c0) * k;
  r.m[3][1] = (m[0][0] * c3 - m[0][1] * c1 + m[0][2] * c0) * k;
  r.m[3][2] = (-m[3][0] * s3 + m[3][1] * s1 - m[3][2] * s0) * k;
  r.m[3][3] = (m[2][0] * s3 - m[2][1] * s1 + m[2][2] * s0) * k;
  *out = r;
  return 0;
}

int MakePerspectiveMat44(MAT44F* out, float fovY, float nearZ, float farZ, float aspect) {
  aspect = ResolveAspect(aspect);
  float s, c;
  GetSinCos(fovY * 0.5f, &s, &c);
  if (AbsFloat(farZ - nearZ) < 0.0001f || AbsFloat(s) < 0.0001f) return -1;
  float cot = c / s;
  ClearMat44(out);
  out->m[0][0] = aspect * cot;
  out->m[1][1] = cot;
  out->m[2][2] = farZ / (farZ - nearZ);
  out->m[2][3] = 1.0f;
  out->m[3][2] = -nearZ * farZ / (farZ - nearZ);
  out->m[3][3] = 0.0f;
  return 0;
}

int MakeOrthoMat44(MAT44F* out, float height, float nearZ, float farZ, float aspect) {
  aspect = ResolveAspect(aspect);
  if (AbsFloat(nearZ - farZ) < 0.0001f) return -1;
  float width = height / aspect;
  ClearMat44(out);
  out->m[0][0] = 2.0f / width;
  out->m[1][1] = 2.0f / height;
  out->m[2][2] = 1.0f / (farZ - nearZ);
  out->m[3][2] = nearZ / (nearZ - farZ);
  out->m[3][3] = 1.0f;
  return 0;
}

int MakeViewportMat44(MAT44F* out, float centerX, float centerY, float width, float height) {
  ClearMat44(out);
  out->m[0][0] = width * 0.5f;
  out->m[1][1] = height * -0.5f;
  out->m[2][2] = 1.0f;
  out->m[3][3] = 1.0f;
  out->m[3][0] = centerX;
  out->m[3][1] = centerY;
  return 0;
}

int MakeLookAtMat44(MAT44F* out, const VEC3F* eye, const VEC3F* target, const VEC3F* up) {
  VEC3F x, y, z;
  SubtractVec3(&z, target, eye);
  CrossVec3(&x, up, &z);
  CrossVec3(&y, &z, &x);
  NormalizeVec3(&x, &x);
  NormalizeVec3(&y, &y);
  NormalizeVec3(&z, &z);
  VEC3F e = *eye;
  out->m[0][0] = x.x; out->m[1][0] = x.y; out->m[2][0] = x.z;
  out->m[0][1] = y.x; out->m[1][1] = y.y; out->m[2][1] = y.z;
  out->m[0][2] = z.x; out->m[1][2] = z.y; out->m[2][2] = z.z;
  out->m[0][3] = out->m[1][3] = out->m[2][3] = 0.0f;
  out->m[3][0] = -Dot(x, e);
  out->m[3][1] = -Dot(y, e);
  out->m[3][2] = -Dot(z, e);
  out->m[3][3] = 1.0f;
  return 0;
}

VEC4F* MakePlaneFromPointNormal(VEC4F* plane, const VEC3F* point, const VEC3F* normal) {
  VEC3F n;
  NormalizeVec3(&n, normal);
  float d = -Dot(*point, n);
  *plane = {n.x, n.y, n.z, d};
  return plane;
}

int NormalizeVec3(VEC3F* out, const VEC3F* in) {
  float length = SqrtFloat(in->x * in->x + in->y * in->y + in->z * in->z);
  *out = {in->x / length, in->y / length, in->z / length};
  return 0;
}

VEC3F NormalizeVec3ByValue(float x, float y, float z) {
  VEC3F v = {x, y, z};
  NormalizeVec3(&v, &v);
  return v;
}

float GetVec3Length(float x, float y, float z) {
  float squared = x * x + y * y + z * z;
  return squared < 1e-7f ? 0.0f : SqrtFloat(squared);
}

int SubtractVec3(VEC3F* out, const VEC3F* a, const VEC3F* b) {
  *out = {a->x - b->x, a->y - b->y, a->z - b->z};
  return 0;
}

int CrossVec3(VEC3F* out, const VEC3F* a, const VEC3F* b) {
  *out = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
  return 0;
}

int TransformVec3(VEC3F* out, const VEC3F* in, const MAT44F* m) {
  float w = 1.0f;
  return TransformVec4(out, nullptr, in, &w, m);
}

int TransformVec4(VEC3F* outXyz, float* outW, const VEC3F* inXyz, const float* inW, const MAT44F* m) {
  const float v[4] = {inXyz->x, inXyz->y, inXyz->z, *inW};
  float r[4];
  for (int j = 0; j < 4; j++) r[j] = v[0] * m->m[0][j] + v[1] * m->m[1][j] + v[2] * m->m[2][j] + v[3] * m->m[3][j];
  *outXyz = {r[0], r[1], r[2]};
  if (outW != nullptr) *outW = r[3];
  return 0;
}

int ClipRectToRect(RECT* rect, const RECT* bounds) {
  if (rect->right < rect->left) rect->right = rect->left;
  if (rect->bottom < rect->top) rect->bottom = rect->top;
  ClampEdge(&rect->bottom, bounds->top, bounds->bottom);
  ClampEdge(&rect->top, bounds->top, bounds->bottom);
  ClampEdge(&rect->right, bounds->left, bounds->right);
  ClampEdge(&rect->left, bounds->left, bounds->right);
  return 0;
}
