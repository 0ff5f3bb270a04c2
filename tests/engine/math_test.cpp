#include "engine/math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace engine {
namespace {

constexpr float kEps = 1e-5f;

void ExpectMatrixNear(const Matrix& a, const Matrix& b, float eps = kEps) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], eps) << "at " << i << "," << j;
}

void ExpectVecNear(const Vec3& a, const Vec3& b, float eps = kEps) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

TEST(MatrixTest, RowVectorsComposeLeftToRight) {
  // Scale first, then translate: the point is scaled before it moves.
  Matrix m = MatrixScaling(2, 2, 2) * MatrixTranslation(1, 0, 0);
  ExpectVecNear(Vec3TransformCoord({1, 1, 1}, m), {3, 2, 2});
  Matrix n = MatrixTranslation(1, 0, 0) * MatrixScaling(2, 2, 2);
  ExpectVecNear(Vec3TransformCoord({1, 1, 1}, n), {4, 2, 2});
}

TEST(MatrixTest, RotationsTurnClockwiseLookingDownTheAxis) {
  // Left-handed: +90 degrees about Y takes +Z to +X, about X takes +Y to +Z,
  // about Z takes +X to +Y.
  ExpectVecNear(Vec3TransformNormal({0, 0, 1}, MatrixRotationY(kPi / 2)), {1, 0, 0});
  ExpectVecNear(Vec3TransformNormal({0, 1, 0}, MatrixRotationX(kPi / 2)), {0, 0, 1});
  ExpectVecNear(Vec3TransformNormal({1, 0, 0}, MatrixRotationZ(kPi / 2)), {0, 1, 0});
  // The axis form agrees with the dedicated ones, and normalises its axis.
  ExpectMatrixNear(MatrixRotationAxis({0, 5, 0}, 0.7f), MatrixRotationY(0.7f));
}

TEST(MatrixTest, LookAtAndPerspectiveMatchHandValues) {
  Matrix v = MatrixLookAtLH({0, 0, -7}, {0, 0, 0}, {0, 1, 0});
  ExpectVecNear(Vec3TransformCoord({0, 0, 0}, v), {0, 0, 7});
  ExpectVecNear(Vec3TransformCoord({1, 2, 0}, v), {1, 2, 7});
  // Looking down -X from +X (left-handed): world +Z is on the camera's right.
  Matrix side = MatrixLookAtLH({5, 0, 0}, {0, 0, 0}, {0, 1, 0});
  ExpectVecNear(Vec3TransformCoord({0, 0, 1}, side), {1, 0, 5});

  Matrix p = MatrixPerspectiveFovLH(1.0471976f, 4.0f / 3.0f, 1.0f, 1000.0f);
  EXPECT_NEAR(p.m[1][1], 1.0f / std::tan(0.5235988f), 1e-5f);
  EXPECT_NEAR(p.m[0][0], p.m[1][1] * 0.75f, 1e-5f);
  EXPECT_EQ(p.m[2][3], 1.0f);
  EXPECT_EQ(p.m[3][3], 0.0f);
  // Clip z / w is 0 at the near plane and 1 at the far plane.
  Vec4 nearPt = Vec3Transform({0, 0, 1}, p);
  Vec4 farPt = Vec3Transform({0, 0, 1000}, p);
  EXPECT_NEAR(nearPt.z / nearPt.w, 0.0f, 1e-6f);
  EXPECT_NEAR(farPt.z / farPt.w, 1.0f, 1e-6f);
}

TEST(MatrixTest, InverseRoundTripsAndRefusesSingularMatrices) {
  Matrix m = MatrixScaling(60, 60, 60) * MatrixRotationY(0.3f) * MatrixTranslation(1, 2, 3);
  Matrix inv;
  float det = 0;
  ASSERT_TRUE(MatrixInverse(&inv, &det, m));
  EXPECT_NEAR(det, 216000.0f, 1.0f);
  ExpectMatrixNear(m * inv, Matrix::Identity(), 1e-5f);

  Matrix singular = MatrixScaling(1, 0, 1);
  Matrix untouched = MatrixTranslation(9, 9, 9);
  float detUntouched = 42.0f;
  EXPECT_FALSE(MatrixInverse(&untouched, &detUntouched, singular));
  EXPECT_EQ(untouched, MatrixTranslation(9, 9, 9));
  EXPECT_EQ(detUntouched, 42.0f);
  EXPECT_FALSE(MatrixInverse(&untouched, nullptr, Matrix::Zero()));
}

TEST(VectorTest, TransformsAndNormalize) {
  Matrix m = MatrixTranslation(1, 2, 3);
  // Normals ignore translation; coordinates divide by w.
  ExpectVecNear(Vec3TransformNormal({1, 0, 0}, m), {1, 0, 0});
  ExpectVecNear(Vec3TransformCoord({1, 0, 0}, m), {2, 2, 3});
  Matrix w2 = MatrixScaling(1, 1, 1);
  w2.m[3][3] = 2.0f;
  ExpectVecNear(Vec3TransformCoord({4, 4, 4}, w2), {2, 2, 2});
  Vec4 raw = Vec3Transform({4, 4, 4}, w2);
  EXPECT_EQ(raw.w, 2.0f);
  EXPECT_EQ(raw.x, 4.0f);
  Vec4 v4 = Vec4Transform({1, 1, 1, 0}, m);
  EXPECT_EQ(v4.x, 1.0f);  // w = 0: no translation

  EXPECT_EQ(Vec3Normalize({0, 0, 0}), (Vec3{0, 0, 0}));
  ExpectVecNear(Vec3Normalize({3, 0, 4}), {0.6f, 0, 0.8f});
  ExpectVecNear(Vec3Cross({1, 0, 0}, {0, 1, 0}), {0, 0, 1});
}

TEST(QuaternionTest, MultiplyMeansFirstThenSecond) {
  Quaternion a = QuaternionRotationAxis({0, 1, 0}, 0.5f);
  Quaternion b = QuaternionRotationAxis({1, 0, 0}, 1.1f);
  ExpectMatrixNear(MatrixRotationQuaternion(QuaternionMultiply(a, b)),
                   MatrixRotationQuaternion(a) * MatrixRotationQuaternion(b));
  // Not commutative: the order is observable.
  Vec3 p{0, 0, 1};
  Vec3 ab = Vec3TransformNormal(p, MatrixRotationQuaternion(QuaternionMultiply(a, b)));
  Vec3 ba = Vec3TransformNormal(p, MatrixRotationQuaternion(QuaternionMultiply(b, a)));
  EXPECT_GT(Vec3Length(ab - ba), 0.1f);
}

TEST(QuaternionTest, AxisIsNormalisedAndMatchesMatrices) {
  Quaternion q = QuaternionRotationAxis({0, 3, 0}, kPi / 2);
  EXPECT_NEAR(q.y, std::sin(kPi / 4), 1e-6f);
  EXPECT_NEAR(q.w, std::cos(kPi / 4), 1e-6f);
  ExpectMatrixNear(MatrixRotationQuaternion(q), MatrixRotationY(kPi / 2));
  // Round trip through a matrix.
  Quaternion r = QuaternionRotationAxis(Vec3Normalize({1, 2, 3}), 2.5f);
  Quaternion back = QuaternionRotationMatrix(MatrixRotationQuaternion(r));
  if (QuaternionDot(r, back) < 0) back = {-back.x, -back.y, -back.z, -back.w};
  EXPECT_NEAR(back.x, r.x, 1e-5f);
  EXPECT_NEAR(back.w, r.w, 1e-5f);
  // A zero-angle rotation is the identity.
  EXPECT_EQ(QuaternionRotationAxis({1, 0, 0}, 0.0f), (Quaternion{0, 0, 0, 1}));
}

TEST(QuaternionTest, SlerpTakesTheShortArcAndInterpolatesAngles) {
  Quaternion a = QuaternionRotationAxis({0, 1, 0}, 0.0f);
  Quaternion b = QuaternionRotationAxis({0, 1, 0}, 1.0f);
  Quaternion half = QuaternionSlerp(a, b, 0.5f);
  ExpectMatrixNear(MatrixRotationQuaternion(half), MatrixRotationY(0.5f));
  // -b is the same rotation; slerp must not go the long way round.
  Quaternion negB{-b.x, -b.y, -b.z, -b.w};
  ExpectMatrixNear(MatrixRotationQuaternion(QuaternionSlerp(a, negB, 0.5f)), MatrixRotationY(0.5f));
  // Nearly equal: plain lerp, no NaN.
  Quaternion c = QuaternionRotationAxis({0, 1, 0}, 1e-4f);
  Quaternion l = QuaternionSlerp(a, c, 0.5f);
  EXPECT_FALSE(std::isnan(l.w));
}

TEST(PlaneTest, FromPointsNormalizeAndSides) {
  // Counter-clockwise points seen from +Y (x then z): normal points down in
  // a left-handed cross product order.
  Plane p = PlaneFromPoints({0, 0, 0}, {1, 0, 0}, {0, 0, 1});
  EXPECT_NEAR(p.b, -1.0f, 1e-6f);
  EXPECT_GT(PlaneDotCoord(p, {0, -1, 0}), 0.0f);
  EXPECT_LT(PlaneDotCoord(p, {0, 1, 0}), 0.0f);

  Plane q = PlaneNormalize({0, 2, 0, 4});
  EXPECT_EQ(q.b, 1.0f);
  EXPECT_EQ(q.d, 2.0f);
  Plane z = PlaneNormalize({0, 0, 0, 5});
  EXPECT_EQ(z.d, 0.0f);
  // Degenerate points give a zero plane, not NaN.
  Plane deg = PlaneFromPoints({1, 1, 1}, {1, 1, 1}, {2, 2, 2});
  EXPECT_FALSE(std::isnan(deg.a));
}

TEST(BoundingSphereTest, MeanCentreAndFarthestPoint) {
  struct V {
    float x, y, z, pad;
  };
  V pts[] = {{0, 0, 0, 9}, {2, 0, 0, 9}, {0, 4, 0, 9}, {0, 0, 6, 9}};
  Vec3 c;
  float r = 0;
  ComputeBoundingSphere(pts, 4, sizeof(V), &c, &r);
  ExpectVecNear(c, {0.5f, 1.0f, 1.5f});
  EXPECT_NEAR(r, Vec3Length(Vec3{0, 0, 6} - c), 1e-5f);
  ComputeBoundingSphere(pts, 0, sizeof(V), &c, &r);
  EXPECT_EQ(r, 0.0f);
}

}  // namespace
}  // namespace engine
