#include "engine/math.h"

#include <cmath>
#include <cstring>

#include "engine/trig.h"

namespace engine {

Matrix Matrix::Zero() {
  Matrix z;
  std::memset(z.m, 0, sizeof z.m);
  return z;
}

Matrix Matrix::operator*(const Matrix& o) const { return MatrixMultiply(*this, o); }

float Vec3Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 Vec3Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Vec3Length(const Vec3& v) { return std::sqrt(Vec3Dot(v, v)); }

Vec3 Vec3Normalize(const Vec3& v) {
  float len = Vec3Length(v);
  if (len == 0.0f) return {0, 0, 0};
  return {v.x / len, v.y / len, v.z / len};
}

Vec3 Vec3Lerp(const Vec3& a, const Vec3& b, float t) {
  return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

Vec4 Vec3Transform(const Vec3& v, const Matrix& m) {
  return Vec4Transform({v.x, v.y, v.z, 1.0f}, m);
}

Vec4 Vec4Transform(const Vec4& v, const Matrix& m) {
  Vec4 r;
  r.x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + v.w * m.m[3][0];
  r.y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + v.w * m.m[3][1];
  r.z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + v.w * m.m[3][2];
  r.w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + v.w * m.m[3][3];
  return r;
}

Vec3 Vec3TransformCoord(const Vec3& v, const Matrix& m) {
  Vec4 r = Vec3Transform(v, m);
  return {r.x / r.w, r.y / r.w, r.z / r.w};
}

Vec3 Vec3TransformNormal(const Vec3& v, const Matrix& m) {
  return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
          v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
          v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) {
  Matrix r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                  a.m[i][3] * b.m[3][j];
    }
  }
  return r;
}

Matrix MatrixTranslation(float x, float y, float z) {
  Matrix r;
  r.m[3][0] = x;
  r.m[3][1] = y;
  r.m[3][2] = z;
  return r;
}

Matrix MatrixScaling(float x, float y, float z) {
  Matrix r;
  r.m[0][0] = x;
  r.m[1][1] = y;
  r.m[2][2] = z;
  return r;
}

Matrix MatrixRotationX(float a) {
  Matrix r;
  float c = Cos(a), s = Sin(a);
  r.m[1][1] = c;
  r.m[1][2] = s;
  r.m[2][1] = -s;
  r.m[2][2] = c;
  return r;
}

Matrix MatrixRotationY(float a) {
  Matrix r;
  float c = Cos(a), s = Sin(a);
  r.m[0][0] = c;
  r.m[0][2] = -s;
  r.m[2][0] = s;
  r.m[2][2] = c;
  return r;
}

Matrix MatrixRotationZ(float a) {
  Matrix r;
  float c = Cos(a), s = Sin(a);
  r.m[0][0] = c;
  r.m[0][1] = s;
  r.m[1][0] = -s;
  r.m[1][1] = c;
  return r;
}

Matrix MatrixRotationAxis(const Vec3& axis, float radians) {
  return MatrixRotationQuaternion(QuaternionRotationAxis(axis, radians));
}

Matrix MatrixRotationQuaternion(const Quaternion& q) {
  Matrix r;
  float x = q.x, y = q.y, z = q.z, w = q.w;
  r.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
  r.m[0][1] = 2.0f * (x * y + z * w);
  r.m[0][2] = 2.0f * (x * z - y * w);
  r.m[1][0] = 2.0f * (x * y - z * w);
  r.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
  r.m[1][2] = 2.0f * (y * z + x * w);
  r.m[2][0] = 2.0f * (x * z + y * w);
  r.m[2][1] = 2.0f * (y * z - x * w);
  r.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
  return r;
}

Matrix MatrixTranspose(const Matrix& m) {
  Matrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r.m[i][j] = m.m[j][i];
  return r;
}

Matrix MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up) {
  Vec3 z = Vec3Normalize(at - eye);
  Vec3 x = Vec3Normalize(Vec3Cross(up, z));
  Vec3 y = Vec3Cross(z, x);
  Matrix r;
  r.m[0][0] = x.x;
  r.m[1][0] = x.y;
  r.m[2][0] = x.z;
  r.m[0][1] = y.x;
  r.m[1][1] = y.y;
  r.m[2][1] = y.z;
  r.m[0][2] = z.x;
  r.m[1][2] = z.y;
  r.m[2][2] = z.z;
  r.m[3][0] = -Vec3Dot(x, eye);
  r.m[3][1] = -Vec3Dot(y, eye);
  r.m[3][2] = -Vec3Dot(z, eye);
  return r;
}

Matrix MatrixPerspectiveFovLH(float fovy, float aspect, float zn, float zf) {
  Matrix r = Matrix::Zero();
  float ys = 1.0f / Tan(fovy / 2.0f);
  r.m[0][0] = ys / aspect;
  r.m[1][1] = ys;
  r.m[2][2] = zf / (zf - zn);
  r.m[2][3] = 1.0f;
  r.m[3][2] = -zn * zf / (zf - zn);
  return r;
}

Matrix MatrixOrthoOffCenterLH(float l, float r, float b, float t, float zn, float zf) {
  Matrix o;
  o.m[0][0] = 2.0f / (r - l);
  o.m[1][1] = 2.0f / (t - b);
  o.m[2][2] = 1.0f / (zf - zn);
  o.m[3][0] = (l + r) / (l - r);
  o.m[3][1] = (t + b) / (b - t);
  o.m[3][2] = zn / (zn - zf);
  return o;
}

namespace {

// Cofactor expansion in double: the inverse of the small, well-conditioned
// matrices the game uses comes out correctly rounded to float.
void Cofactors(const Matrix& m, double inv[16], double* det) {
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = m.m[i / 4][i % 4];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
           a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
           a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
           a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
            a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
           a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
           a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
           a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
            a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
           a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
           a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
            a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
            a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
           a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
           a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
            a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
            a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  *det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
}

}  // namespace

float MatrixDeterminant(const Matrix& m) {
  double inv[16], det;
  Cofactors(m, inv, &det);
  return static_cast<float>(det);
}

bool MatrixInverse(Matrix* out, float* determinant, const Matrix& m) {
  double inv[16], det;
  Cofactors(m, inv, &det);
  if (det == 0.0 || static_cast<float>(det) == 0.0f) return false;
  if (determinant) *determinant = static_cast<float>(det);
  Matrix r;
  for (int i = 0; i < 16; ++i) r.m[i / 4][i % 4] = static_cast<float>(inv[i] / det);
  *out = r;
  return true;
}

Matrix MatrixTransformation(const Vec3& scale, const Quaternion& rotation,
                            const Vec3& translation) {
  Matrix r = MatrixRotationQuaternion(rotation);
  for (int j = 0; j < 3; ++j) {
    r.m[0][j] *= scale.x;
    r.m[1][j] *= scale.y;
    r.m[2][j] *= scale.z;
  }
  r.m[3][0] = translation.x;
  r.m[3][1] = translation.y;
  r.m[3][2] = translation.z;
  return r;
}

Quaternion QuaternionRotationAxis(const Vec3& axis, float radians) {
  Vec3 n = Vec3Normalize(axis);
  float s = Sin(radians / 2.0f);
  return {n.x * s, n.y * s, n.z * s, Cos(radians / 2.0f)};
}

Quaternion QuaternionMultiply(const Quaternion& q1, const Quaternion& q2) {
  // Hamilton product q2 (x) q1: rotate by q1, then by q2.
  Quaternion r;
  r.w = q2.w * q1.w - q2.x * q1.x - q2.y * q1.y - q2.z * q1.z;
  r.x = q2.w * q1.x + q2.x * q1.w + q2.y * q1.z - q2.z * q1.y;
  r.y = q2.w * q1.y - q2.x * q1.z + q2.y * q1.w + q2.z * q1.x;
  r.z = q2.w * q1.z + q2.x * q1.y - q2.y * q1.x + q2.z * q1.w;
  return r;
}

float QuaternionDot(const Quaternion& a, const Quaternion& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

Quaternion QuaternionNormalize(const Quaternion& q) {
  float len = std::sqrt(QuaternionDot(q, q));
  if (len == 0.0f) return {0, 0, 0, 0};
  return {q.x / len, q.y / len, q.z / len, q.w / len};
}

Quaternion QuaternionConjugate(const Quaternion& q) { return {-q.x, -q.y, -q.z, q.w}; }

Quaternion QuaternionSlerp(const Quaternion& a, const Quaternion& b0, float t) {
  Quaternion b = b0;
  float dot = QuaternionDot(a, b);
  if (dot < 0.0f) {
    b = {-b.x, -b.y, -b.z, -b.w};
    dot = -dot;
  }
  float wa, wb;
  if (1.0f - dot <= 0.001f) {
    wa = 1.0f - t;
    wb = t;
  } else {
    float theta = Acos(dot);
    float s = Sin(theta);
    wa = Sin((1.0f - t) * theta) / s;
    wb = Sin(t * theta) / s;
  }
  return {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z, wa * a.w + wb * b.w};
}

Quaternion QuaternionRotationMatrix(const Matrix& m) {
  // Inverse of MatrixRotationQuaternion (row-vector layout).
  Quaternion q;
  float trace = m.m[0][0] + m.m[1][1] + m.m[2][2];
  if (trace > 0.0f) {
    float s = std::sqrt(trace + 1.0f) * 2.0f;
    q.w = 0.25f * s;
    q.x = (m.m[1][2] - m.m[2][1]) / s;
    q.y = (m.m[2][0] - m.m[0][2]) / s;
    q.z = (m.m[0][1] - m.m[1][0]) / s;
  } else if (m.m[0][0] > m.m[1][1] && m.m[0][0] > m.m[2][2]) {
    float s = std::sqrt(1.0f + m.m[0][0] - m.m[1][1] - m.m[2][2]) * 2.0f;
    q.w = (m.m[1][2] - m.m[2][1]) / s;
    q.x = 0.25f * s;
    q.y = (m.m[0][1] + m.m[1][0]) / s;
    q.z = (m.m[2][0] + m.m[0][2]) / s;
  } else if (m.m[1][1] > m.m[2][2]) {
    float s = std::sqrt(1.0f + m.m[1][1] - m.m[0][0] - m.m[2][2]) * 2.0f;
    q.w = (m.m[2][0] - m.m[0][2]) / s;
    q.x = (m.m[0][1] + m.m[1][0]) / s;
    q.y = 0.25f * s;
    q.z = (m.m[1][2] + m.m[2][1]) / s;
  } else {
    float s = std::sqrt(1.0f + m.m[2][2] - m.m[0][0] - m.m[1][1]) * 2.0f;
    q.w = (m.m[0][1] - m.m[1][0]) / s;
    q.x = (m.m[2][0] + m.m[0][2]) / s;
    q.y = (m.m[1][2] + m.m[2][1]) / s;
    q.z = 0.25f * s;
  }
  return q;
}

Plane PlaneFromPoints(const Vec3& p1, const Vec3& p2, const Vec3& p3) {
  Vec3 n = Vec3Normalize(Vec3Cross(p2 - p1, p3 - p1));
  return {n.x, n.y, n.z, -Vec3Dot(n, p1)};
}

Plane PlaneNormalize(const Plane& p) {
  float len = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
  if (len == 0.0f) return {0, 0, 0, 0};
  return {p.a / len, p.b / len, p.c / len, p.d / len};
}

float PlaneDotCoord(const Plane& p, const Vec3& v) {
  return p.a * v.x + p.b * v.y + p.c * v.z + p.d;
}

void ComputeBoundingSphere(const void* firstPosition, std::size_t count, std::size_t strideBytes,
                           Vec3* centre, float* radius) {
  const auto* base = static_cast<const unsigned char*>(firstPosition);
  auto at = [&](std::size_t i) {
    Vec3 p;
    std::memcpy(&p, base + i * strideBytes, sizeof p);
    return p;
  };
  Vec3 c{0, 0, 0};
  for (std::size_t i = 0; i < count; ++i) c += at(i);
  if (count > 0) c = c * (1.0f / static_cast<float>(count));
  float r = 0.0f;
  for (std::size_t i = 0; i < count; ++i) {
    float d = Vec3Length(at(i) - c);
    if (d > r) r = d;
  }
  *centre = c;
  *radius = r;
}

}  // namespace engine
