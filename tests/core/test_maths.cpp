// Vector and matrix maths: projections, look-at, inverse, transforms and rectangle clipping.
#include <gtest/gtest.h>

#include <cmath>

#include "core/maths.h"

namespace {
const float kPi = 3.14159265f;

MAT44F Mat(std::initializer_list<float> values) {
  MAT44F m;
  float* p = &m.m[0][0];
  for (float v : values) *p++ = v;
  return m;
}

void ExpectMatNear(const MAT44F& a, const MAT44F& b, float tolerance, const char* what) {
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << what << " m" << r << c;
}

void ExpectVecNear(const VEC3F& v, float x, float y, float z, const char* what) {
  EXPECT_NEAR(v.x, x, 1e-5f) << what;
  EXPECT_NEAR(v.y, y, 1e-5f) << what;
  EXPECT_NEAR(v.z, z, 1e-5f) << what;
}

// Runs first: no screen size stored yet.
TEST(Maths, PerspectiveProjection) {
  MAT44F m;
  ASSERT_EQ(MakePerspectiveMat44(&m, kPi / 2, 1.0f, 101.0f, 0.5f), 0);
  ExpectMatNear(m, Mat({0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0}), 1e-5f, "fov 90");

  // A negative aspect takes the default: 0.75 without a screen size, else height / width.
  float cot = 1.0f / tanf(0.5f);
  ASSERT_EQ(MakePerspectiveMat44(&m, 1.0f, 1.0f, 100.0f, -1.0f), 0);
  EXPECT_NEAR(m.m[0][0], 0.75f * cot, 1e-5f);
  EXPECT_NEAR(m.m[1][1], cot, 1e-5f);
  SetAspectScreenSize(1000, 500);
  ASSERT_EQ(MakePerspectiveMat44(&m, 1.0f, 1.0f, 100.0f, -1.0f), 0);
  EXPECT_NEAR(m.m[0][0], 0.5f * cot, 1e-5f);
  ASSERT_EQ(MakePerspectiveMat44(&m, 1.0f, 1.0f, 100.0f, 0.0f), 0);  // 0 is used as given
  EXPECT_EQ(m.m[0][0], 0.0f);
  SetAspectScreenSize(0, 0);

  // A point on the near plane lands at depth 0, one on the far plane at depth 1.
  ASSERT_EQ(MakePerspectiveMat44(&m, kPi / 3, 2.0f, 50.0f, 1.0f), 0);
  for (float z : {2.0f, 50.0f}) {
    VEC3F p = {0, 0, z}, out;
    float w = 1, outW;
    TransformVec4(&out, &outW, &p, &w, &m);
    EXPECT_NEAR(out.z / outW, z == 2.0f ? 0.0f : 1.0f, 1e-5f) << z;
  }

  // Refusals leave the output untouched.
  MAT44F untouched = Mat({7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7});
  m = untouched;
  EXPECT_EQ(MakePerspectiveMat44(&m, 1.0f, 5.0f, 5.0f, 1.0f), -1);
  EXPECT_EQ(MakePerspectiveMat44(&m, 0.0f, 1.0f, 100.0f, 1.0f), -1);
  ExpectMatNear(m, untouched, 0, "refused perspective");
}

TEST(Maths, OrthoAndViewport) {
  MAT44F m;
  ASSERT_EQ(MakeOrthoMat44(&m, 2.0f, 0.0f, 10.0f, 0.5f), 0);
  ExpectMatNear(m, Mat({0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 1}), 1e-6f, "ortho");
  ASSERT_EQ(MakeOrthoMat44(&m, 2.0f, 4.0f, 14.0f, -1.0f), 0);  // default aspect 0.75
  EXPECT_NEAR(m.m[0][0], 0.75f, 1e-6f);
  EXPECT_NEAR(m.m[3][2], -0.4f, 1e-6f);
  EXPECT_EQ(MakeOrthoMat44(&m, 2.0f, 3.0f, 3.00005f, 1.0f), -1);

  MakeViewportMat44(&m, 320, 240, 640, 480);
  ExpectMatNear(m, Mat({320, 0, 0, 0, 0, -240, 0, 0, 0, 0, 1, 0, 320, 240, 0, 1}), 0, "viewport");
}

TEST(Maths, LookAt) {
  MAT44F m;
  VEC3F eye = {0, 0, -10}, target = {0, 0, 0}, up = {0, 1, 0};
  MakeLookAtMat44(&m, &eye, &target, &up);
  ExpectMatNear(m, Mat({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 10, 1}), 1e-6f, "axis look-at");

  // From an oblique eye: the eye goes to the origin, the target straight ahead on +z, a point
  // above the target up on +y, and the rotation stays orthonormal.
  eye = {3, 4, 5};
  target = {1, -1, 2};
  MakeLookAtMat44(&m, &eye, &target, &up);
  VEC3F out;
  TransformVec3(&out, &eye, &m);
  ExpectVecNear(out, 0, 0, 0, "eye");
  TransformVec3(&out, &target, &m);
  ExpectVecNear(out, 0, 0, sqrtf(4 + 25 + 9), "target");
  VEC3F above = {1, 0, 2};
  TransformVec3(&out, &above, &m);
  EXPECT_GT(out.y, 0.0f);
  MAT44F t, product;
  TransposeMat44(&t, &m);
  t.m[0][3] = t.m[1][3] = t.m[2][3] = 0;
  t.m[3][0] = t.m[3][1] = t.m[3][2] = 0;
  MAT44F rotation = m;
  rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0;
  MultiplyMat44(&product, &rotation, &t);
  MAT44F identity;
  SetIdentityMat44(&identity);
  ExpectMatNear(product, identity, 1e-5f, "orthonormal");
}

TEST(Maths, InverseMultiplyAndTranspose) {
  MAT44F a = Mat({2, 0, 1, 0, 1, 3, 0, 0, 0, 1, 4, 0, 5, -2, 7, 1}), inv, product, identity;
  SetIdentityMat44(&identity);
  ASSERT_EQ(InvertMat44(&inv, &a), 0);
  MultiplyMat44(&product, &a, &inv);
  ExpectMatNear(product, identity, 1e-5f, "a x inverse");
  MultiplyMat44(&product, &inv, &a);
  ExpectMatNear(product, identity, 1e-5f, "inverse x a");
  MAT44F general = Mat({1, 2, 3, 4, 0, 1, 5, 2, 2, 0, 1, 3, 4, 1, 0, 1}), copy = general;
  ASSERT_EQ(InvertMat44(&general, &general), 0);  // in place
  MultiplyMat44(&product, &copy, &general);
  ExpectMatNear(product, identity, 1e-5f, "in place");

  MAT44F zeroRow = Mat({1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 9, 1, 2, 3}), out = identity;
  EXPECT_EQ(InvertMat44(&out, &zeroRow), -1);
  ExpectMatNear(out, identity, 0, "unchanged after refusal");
  MAT44F tiny = Mat({0.01f, 0, 0, 0, 0, 0.01f, 0, 0, 0, 0, 0.01f, 0, 0, 0, 0, 0.01f});  // det 1e-8
  EXPECT_EQ(InvertMat44(&out, &tiny), -1);
  MAT44F small = Mat({0.1f, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 0.1f, 0, 0, 0, 0, 0.1f});  // det 1e-4
  EXPECT_EQ(InvertMat44(&out, &small), 0);
  EXPECT_NEAR(out.m[2][2], 10.0f, 1e-4f);

  // a x b applies a first: translate then scale moves the translation too.
  MAT44F translate = Mat({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1});
  MAT44F scale = Mat({2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1});
  MultiplyMat44(&product, &translate, &scale);
  VEC3F p = {1, 1, 1}, out3;
  TransformVec3(&out3, &p, &product);
  ExpectVecNear(out3, 4, 6, 8, "translate then scale");
  MultiplyMat44(nullptr, &translate, &scale);  // does nothing
  MAT44F t = translate;
  TransposeMat44(&t, &t);
  EXPECT_EQ(t.m[0][3], 1.0f);
  EXPECT_EQ(t.m[2][3], 3.0f);
  EXPECT_EQ(t.m[3][0], 0.0f);

  VEC3F direction = {1, 1, 1}, outDirection;
  float w = 0, outW;
  TransformVec4(&outDirection, &outW, &direction, &w, &translate);  // w 0: no translation
  ExpectVecNear(outDirection, 1, 1, 1, "direction");
  EXPECT_EQ(outW, 0.0f);
}

TEST(Maths, VectorsAndPlanes) {
  EXPECT_EQ(GetVec3Length(0.0001f, 0, 0), 0.0f);
  EXPECT_FLOAT_EQ(GetVec3Length(3, 4, 0), 5.0f);
  VEC3F n = NormalizeVec3ByValue(0, 3, 4);
  ExpectVecNear(n, 0, 0.6f, 0.8f, "normalise");
  VEC3F a = {1, 2, 3}, b = {4, 5, 6}, out;
  SubtractVec3(&out, &a, &b);
  ExpectVecNear(out, -3, -3, -3, "subtract");
  CrossVec3(&out, &a, &b);
  ExpectVecNear(out, -3, 6, -3, "cross");
  CrossVec3(&a, &a, &b);  // in place
  ExpectVecNear(a, -3, 6, -3, "cross in place");
  VEC3F zero = {0, 0, 0};
  NormalizeVec3(&out, &zero);
  EXPECT_FALSE(std::isfinite(out.x));

  VEC4F plane;
  VEC3F point = {0, 0, 5}, normal = {0, 0, 2};
  EXPECT_EQ(MakePlaneFromPointNormal(&plane, &point, &normal), &plane);
  EXPECT_FLOAT_EQ(plane.z, 1.0f);
  EXPECT_FLOAT_EQ(plane.w, -5.0f);
}

TEST(Maths, ClipRectangles) {
  struct Row { RECT in; RECT out; } rows[] = {
      {{10, 10, 5, 5}, {10, 10, 10, 10}},      // inverted: emptied at its left/top
      {{-20, -20, -10, -10}, {0, 0, 0, 0}},    // outside: on the bounds' corner
      {{-5, 10, 50, 200}, {0, 10, 50, 100}},   // clipped on two edges
      {{20, 30, 40, 50}, {20, 30, 40, 50}},    // inside
      {{150, 150, 300, 300}, {100, 100, 100, 100}},
  };
  const RECT bounds = {0, 0, 100, 100};
  for (const Row& r : rows) {
    RECT rect = r.in;
    EXPECT_EQ(ClipRectToRect(&rect, &bounds), 0);
    EXPECT_TRUE(EqualRect(&rect, &r.out)) << r.in.left << "," << r.in.top << "," << r.in.right << "," << r.in.bottom
                                          << " -> " << rect.left << "," << rect.top << "," << rect.right << ","
                                          << rect.bottom;
  }
}
}  // namespace
