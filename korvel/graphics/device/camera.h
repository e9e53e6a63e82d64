// The matrices of 3D drawing (world, view, projection and the viewport matrix from clip space
// to screen pixels), the camera that builds the view, and the products that map screen
// positions back into the world.
#pragma once
#include "core/maths.h"

struct CAMERA_STATE {
  MAT44F world, view, projection, viewport;
  int worldSet, viewSet, projectionSet;
  MAT44F screenToClip, pixelViewport;  // of the draw target
  MAT44F userProjection;               // the matrix of projection kind 2
  VEC3F eye, target, up;
  MAT44F viewCopy;
  float verticalAngle, horizontalAngle, twist;
  float centreX, centreY;
  MAT44F viewProjectionViewport, worldViewProjectionViewport, inverse;
  int inverseValid;
  MAT44F cameraRotation;
  VEC4F planes[6];  // left, right, bottom, top, near, far
  int derivedValid;
};

int PlaceCamera(VEC3F eye, VEC3F target, VEC3F up);
int SetViewportCentre(float x, float y);
int SetNearFar(float nearZ, float farZ);
int SetPerspectiveFov(float fieldOfView);
int SetProjectionUserMatrix(MAT44F matrix);
int SetAspectScale(float scale);
int RebuildProjection();
int SetWorldMatrix(MAT44F matrix);
int SetViewMatrix(MAT44F matrix);
int SetProjectionMatrix(MAT44F matrix);
int SetViewportMatrix(MAT44F matrix);
int SetDeviceWorldTransform(MAT44F matrix);
int SetDeviceViewTransform(MAT44F matrix);
int SetDeviceProjectionTransform(MAT44F matrix);
VEC3F ScreenToWorld(float x, float y, float z);
VEC3F GetVec3Difference(VEC3F a, VEC3F b);
VEC3F GetVec3Scaled(VEC3F v, float s);
float GetVec3Dot(VEC3F a, VEC3F b);
VEC3F TransformVec3Point(VEC3F v, MAT44F m);
VEC3F TransformVec3Direction(VEC3F v, MAT44F m);
// The reset of every draw-target selection: z = 0 coincides with the target's pixels.
int ResetCameraForTarget(int width, int height);
