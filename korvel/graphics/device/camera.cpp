#include "graphics/device/camera.h"
#include "graphics/device/lights.h"

#include <cmath>
#include <cstring>

#include "graphics/device/d3d_calls.h"
#include "graphics/device/draw_settings.h"
#include "graphics/device/screen.h"
#include "graphics/device/shader_constants.h"
#include "graphics/device/vertex_batch.h"

namespace {
CAMERA_STATE& Cam() { return DrawSettings.camera; }

int Hardware() { return ScreenState.hardwareRendering; }

// A matrix goes to the shaders transposed, one column per register.
void WriteMatrixConstants(int first, const MAT44F& matrix) {
  MAT44F transposed;
  TransposeMat44(&transposed, &matrix);
  WriteVertexConstantF(first, &transposed.m[0][0], 4);
}

void SendTransform(D3DTRANSFORMSTATETYPE state, const MAT44F& matrix) {
  DeviceCalls.DeviceSetTransform(state, (const D3DMATRIX*)&matrix);
}

MAT44F Multiply(const MAT44F& a, const MAT44F& b) {
  MAT44F out;
  MultiplyMat44(&out, &a, &b);
  return out;
}

VEC3F Cross(VEC3F a, VEC3F b) {
  VEC3F out;
  CrossVec3(&out, &a, &b);
  return out;
}

void RebuildDerivedTransforms() {
  CAMERA_STATE& c = Cam();
  if (c.derivedValid) return;
  c.viewProjectionViewport = Multiply(Multiply(c.view, c.projection), c.viewport);
  c.worldViewProjectionViewport = Multiply(c.world, c.viewProjectionViewport);
  c.inverseValid = 0;
  memset(&c.cameraRotation, 0, sizeof(c.cameraRotation));
  for (int r = 0; r < 3; r++)
    for (int col = 0; col < 3; col++) c.cameraRotation.m[r][col] = c.view.m[col][r];
  const float* area = DrawSettings.drawAreaF;
  float x1 = area[0], y1 = area[1], x2 = area[2], y2 = area[3];
  VEC3F ntl = ScreenToWorld(x1, y1, 0), ntr = ScreenToWorld(x2, y1, 0);
  VEC3F nbl = ScreenToWorld(x1, y2, 0), nbr = ScreenToWorld(x2, y2, 0);
  VEC3F ftl = ScreenToWorld(x1, y1, 1), ftr = ScreenToWorld(x2, y1, 1);
  VEC3F fbl = ScreenToWorld(x1, y2, 1);
  auto plane = [](VEC4F* out, VEC3F point, VEC3F normal) { MakePlaneFromPointNormal(out, &point, &normal); };
  plane(&c.planes[0], ntl, Cross(GetVec3Difference(ftl, ntl), GetVec3Difference(nbl, ntl)));
  plane(&c.planes[1], ntr, Cross(GetVec3Difference(nbr, ntr), GetVec3Difference(ftr, ntr)));
  plane(&c.planes[2], nbl, Cross(GetVec3Difference(fbl, nbl), GetVec3Difference(nbr, nbl)));
  plane(&c.planes[3], ntl, Cross(GetVec3Difference(ntr, ntl), GetVec3Difference(ftl, ntl)));
  plane(&c.planes[4], ntl, Cross(GetVec3Difference(nbl, ntl), GetVec3Difference(ntr, ntl)));
  plane(&c.planes[5], ftl, Cross(GetVec3Difference(ftr, ftl), GetVec3Difference(fbl, ftl)));
  c.derivedValid = 1;
}

void UpdateCameraAngles() {
  CAMERA_STATE& c = Cam();
  const float(*v)[4] = c.view.m;
  const float halfPi = 1.5707964f;
  float t, f;
  if (std::fabs(v[0][2]) < 1e-8f && std::fabs(v[2][2]) < 1e-8f) {
    c.horizontalAngle = 0;
    t = -v[0][1];
    if (v[1][2] < 0) {
      c.verticalAngle = halfPi;
      f = v[2][1];
    } else {
      c.verticalAngle = -halfPi;
      f = -v[2][1];
    }
  } else {
    c.horizontalAngle = v[1][1] < 0 ? std::atan2(-v[0][2], -v[2][2]) : std::atan2(v[0][2], v[2][2]);
    float co = std::cos(-c.horizontalAngle), si = std::sin(-c.horizontalAngle);
    float w = v[2][0] * co - v[0][0] * si;
    f = v[2][0] * si + v[0][0] * co;
    float depth = v[2][2] * co - v[0][2] * si;
    if (v[1][1] < 0 && v[1][2] > 0)
      c.verticalAngle = -std::atan2(-depth, v[1][2]) - halfPi;
    else if (v[1][1] < 0)
      c.verticalAngle = std::atan2(-depth, -v[1][2]) + halfPi;
    else
      c.verticalAngle = std::atan2(-v[1][2], depth);
    t = v[1][0] * std::cos(-c.verticalAngle) - w * std::sin(-c.verticalAngle);
  }
  c.twist = std::atan2(t, f);
}

// The projection as the device sees it: P x Vp x S (S undoes the target's pixel viewport).
void SendDeviceProjection() {
  CAMERA_STATE& c = Cam();
  SetDeviceProjectionTransform(Multiply(Multiply(c.projection, c.viewport), c.screenToClip));
  c.projectionSet = 1;
}
}  // namespace

VEC3F GetVec3Difference(VEC3F a, VEC3F b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
VEC3F GetVec3Scaled(VEC3F v, float s) { return {v.x * s, v.y * s, v.z * s}; }
float GetVec3Dot(VEC3F a, VEC3F b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

VEC3F TransformVec3Point(VEC3F v, MAT44F m) {
  VEC3F out;
  TransformVec3(&out, &v, &m);
  return out;
}

VEC3F TransformVec3Direction(VEC3F v, MAT44F m) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0], v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

VEC3F ScreenToWorld(float x, float y, float z) {
  CAMERA_STATE& c = Cam();
  if (!c.inverseValid) {
    InvertMat44(&c.inverse, &c.worldViewProjectionViewport);  // a singular matrix keeps the last inverse
    c.inverseValid = 1;
  }
  VEC3F in = {x, y, z}, out;
  float one = 1.0f, w = 1.0f;
  TransformVec4(&out, &w, &in, &one, &c.inverse);
  if (w == 0.0f) return out;
  return {out.x / w, out.y / w, out.z / w};
}

int PlaceCamera(VEC3F eye, VEC3F target, VEC3F up) {
  CAMERA_STATE& c = Cam();
  c.eye = eye;
  c.target = target;
  VEC3F d = GetVec3Difference(target, eye);
  VEC3F side = Cross(d, up);
  VEC3F corrected = Cross(side, d);
  NormalizeVec3(&c.up, &corrected);
  MAT44F view;
  MakeLookAtMat44(&view, &eye, &target, &c.up);
  SetViewMatrix(view);
  c.viewCopy = view;
  UpdateCameraAngles();
  return 0;
}

int SetViewportCentre(float x, float y) {
  CAMERA_STATE& c = Cam();
  c.centreX = x;
  c.centreY = y;
  float scale = DrawSettings.centreScale;
  MAT44F viewport;
  MakeViewportMat44(&viewport, x, y, (float)DrawSettings.targetWidth * scale, (float)DrawSettings.targetHeight * scale);
  return SetViewportMatrix(viewport);
}

int SetNearFar(float nearZ, float farZ) {
  StoreNearFar(nearZ, farZ);
  return RebuildProjection();
}

int SetPerspectiveFov(float fieldOfView) {
  StoreProjectionKind(0);
  StoreFieldOfView(fieldOfView);
  return RebuildProjection();
}

int SetProjectionUserMatrix(MAT44F matrix) {
  StoreProjectionKind(2);
  Cam().userProjection = matrix;
  return RebuildProjection();
}

int SetAspectScale(float scale) {
  StoreAspectScale(scale);
  return RebuildProjection();
}

int RebuildProjection() {
  CAMERA_STATE& c = Cam();
  float aspect = 1.0f;
  if (DrawSettings.projectionKind != 2 && DrawSettings.targetWidth != 0)
    aspect = (float)DrawSettings.targetHeight / (float)DrawSettings.targetWidth * DrawSettings.aspectScale;
  MAT44F projection = c.projection;  // a refused builder leaves the matrix as it stands
  if (DrawSettings.projectionKind == 0)
    MakePerspectiveMat44(&projection, DrawSettings.fieldOfView, DrawSettings.nearZ, DrawSettings.farZ, aspect);
  else if (DrawSettings.projectionKind == 1)
    MakeOrthoMat44(&projection, DrawSettings.orthoHeight, DrawSettings.nearZ, DrawSettings.farZ, aspect);
  else
    projection = c.userProjection;
  return SetProjectionMatrix(projection);
}

int SetWorldMatrix(MAT44F matrix) {
  FlushVertexBatch(0);
  Cam().world = matrix;
  Cam().derivedValid = 0;
  RebuildDerivedTransforms();
  if (Hardware()) {
    SetDeviceWorldTransform(matrix);
    Cam().worldSet = 1;
  }
  return 0;
}

int SetViewMatrix(MAT44F matrix) {
  FlushVertexBatch(0);
  Cam().view = matrix;
  Cam().derivedValid = 0;
  RebuildDerivedTransforms();
  if (Hardware()) {
    SetDeviceViewTransform(matrix);
    Cam().viewSet = 1;
  }
  return 0;
}

int SetProjectionMatrix(MAT44F matrix) {
  FlushVertexBatch(0);
  Cam().projection = matrix;
  Cam().derivedValid = 0;
  RebuildDerivedTransforms();
  if (Hardware()) SendDeviceProjection();
  return 0;
}

int SetViewportMatrix(MAT44F matrix) {
  FlushVertexBatch(0);
  Cam().viewport = matrix;
  Cam().derivedValid = 0;
  RebuildDerivedTransforms();
  if (Hardware()) SendDeviceProjection();
  return 0;
}

int SetDeviceWorldTransform(MAT44F matrix) {
  if (!HasDirect3DDevice()) return 0;
  SendTransform(D3DTS_WORLD, matrix);
  WriteMatrixConstants(94, matrix);
  return 0;
}

// The view-space light registers follow the view.
int SetDeviceViewTransform(MAT44F matrix) {
  if (!HasDirect3DDevice()) return 0;
  SendTransform(D3DTS_VIEW, matrix);
  WriteMatrixConstants(6, matrix);
  UpdateViewSpaceLightConstants(&matrix);
  return 0;
}

int SetDeviceProjectionTransform(MAT44F matrix) {
  if (!HasDirect3DDevice()) return 0;
  SendTransform(D3DTS_PROJECTION, matrix);
  WriteMatrixConstants(2, matrix);
  return 0;
}

int ResetCameraForTarget(int width, int height) {
  CAMERA_STATE& c = Cam();
  // The centre is the target's middle (on a half pixel for odd sizes); the eye distance comes
  // from half the height in whole pixels.
  float w = (float)width, h = (float)height, cx = w * 0.5f, cy = h * 0.5f;
  StoreAspectScale(1.0f);
  MAT44F identity;
  SetIdentityMat44(&identity);
  c.world = identity;
  MakeViewportMat44(&c.pixelViewport, cx, cy, w, h);
  if (InvertMat44(&c.screenToClip, &c.pixelViewport) != 0) c.screenToClip = identity;
  SetViewportCentre(cx, cy);
  float d = (float)(height / 2) / 0.57735026f;
  PlaceCamera({cx, cy, -d}, {cx, cy, -d + 1}, {0, 1, 0});
  SetPerspectiveFov(1.0471976f);
  SetNearFar(d * 0.1f, d + 20000.0f);
  return 0;
}
