// Vector, matrix, quaternion and plane math of the game, in single precision.
//
// Contract (every back end shares this file; there is nothing back-end
// specific in it):
//  - Row vectors: a point p is transformed as p * M, so A * B applies A first.
//    m[row][col], translation in row 3. Left-handed coordinates.
//  - Quaternions are (x, y, z, w). QuaternionMultiply(a, b) is "rotate by a,
//    then by b" and matches MatrixRotationQuaternion(a) * MatrixRotationQuaternion(b).
//  - Degenerate input never produces NaN where the reference library gives a
//    defined answer: Vec3Normalize of the zero vector is zero, PlaneNormalize of
//    a zero normal is all zero, MatrixInverse of a singular matrix fails and
//    leaves its outputs untouched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

struct Vec2 {
  float x = 0, y = 0;
};

struct Vec3 {
  float x = 0, y = 0, z = 0;

  Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3 operator-() const { return {-x, -y, -z}; }
  Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
  Vec3& operator+=(const Vec3& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    return *this;
  }
  bool operator==(const Vec3&) const = default;
};

struct Vec4 {
  float x = 0, y = 0, z = 0, w = 0;
  bool operator==(const Vec4&) const = default;
};

struct Quaternion {
  float x = 0, y = 0, z = 0, w = 1;
  bool operator==(const Quaternion&) const = default;
};

struct Plane {
  float a = 0, b = 0, c = 0, d = 0;
};

struct Matrix {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

  static Matrix Identity() { return Matrix{}; }
  static Matrix Zero();
  Matrix operator*(const Matrix& o) const;
  bool operator==(const Matrix&) const = default;
  // The translation row.
  Vec3 Translation() const { return {m[3][0], m[3][1], m[3][2]}; }
};

inline constexpr float kPi = 3.1415927f;
// The factors the game converts degrees with.
inline constexpr float kDegToRad = 0.017453292f;
inline constexpr float kRadToDeg = 57.2957763671875f;

float Vec3Dot(const Vec3& a, const Vec3& b);
Vec3 Vec3Cross(const Vec3& a, const Vec3& b);
float Vec3Length(const Vec3& v);
Vec3 Vec3Normalize(const Vec3& v);
Vec3 Vec3Lerp(const Vec3& a, const Vec3& b, float t);
// (x, y, z, 1) * M, divided by the resulting w.
Vec3 Vec3TransformCoord(const Vec3& v, const Matrix& m);
// (x, y, z, 0) * M: no translation, no renormalisation.
Vec3 Vec3TransformNormal(const Vec3& v, const Matrix& m);
// (x, y, z, 1) * M without division.
Vec4 Vec3Transform(const Vec3& v, const Matrix& m);
Vec4 Vec4Transform(const Vec4& v, const Matrix& m);

Matrix MatrixMultiply(const Matrix& a, const Matrix& b);
Matrix MatrixTranslation(float x, float y, float z);
Matrix MatrixScaling(float x, float y, float z);
Matrix MatrixRotationX(float radians);
Matrix MatrixRotationY(float radians);
Matrix MatrixRotationZ(float radians);
Matrix MatrixRotationAxis(const Vec3& axis, float radians);
Matrix MatrixRotationQuaternion(const Quaternion& q);
Matrix MatrixTranspose(const Matrix& m);
Matrix MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up);
Matrix MatrixPerspectiveFovLH(float fovy, float aspect, float zn, float zf);
Matrix MatrixOrthoOffCenterLH(float l, float r, float b, float t, float zn, float zf);
float MatrixDeterminant(const Matrix& m);
// Writes the inverse and (when asked) the determinant and returns true; returns
// false for a singular matrix (determinant exactly 0) and writes nothing.
bool MatrixInverse(Matrix* out, float* determinant, const Matrix& m);
// Scale * Rotation * Translation, the order keyframes are composed in.
Matrix MatrixTransformation(const Vec3& scale, const Quaternion& rotation, const Vec3& translation);

Quaternion QuaternionRotationAxis(const Vec3& axis, float radians);
Quaternion QuaternionMultiply(const Quaternion& a, const Quaternion& b);
Quaternion QuaternionNormalize(const Quaternion& q);
Quaternion QuaternionConjugate(const Quaternion& q);
float QuaternionDot(const Quaternion& a, const Quaternion& b);
// Shortest-arc spherical interpolation; falls back to a plain lerp (without
// renormalising) when the two are within 0.001 of each other.
Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b, float t);
// The rotation part of an orthonormal rotation matrix.
Quaternion QuaternionRotationMatrix(const Matrix& m);

Plane PlaneFromPoints(const Vec3& p1, const Vec3& p2, const Vec3& p3);
Plane PlaneNormalize(const Plane& p);
float PlaneDotCoord(const Plane& p, const Vec3& v);

// Centre = arithmetic mean of the points, radius = largest distance from it.
// Positions are read as three floats at the start of each stride-byte vertex.
void ComputeBoundingSphere(const void* firstPosition, std::size_t count, std::size_t strideBytes,
                           Vec3* centre, float* radius);

}  // namespace engine
