// Small helpers shared by the world's tests: orientations worked by hand,
// random orientations from a fixed seed, and comparisons with a tolerance.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "engine/math.h"
#include "world/chara.h"

namespace world::checks {

inline engine::Quaternion AboutX(float degrees) {
  return engine::QuaternionRotationAxis({1, 0, 0}, degrees * engine::kDegToRad);
}
inline engine::Quaternion AboutY(float degrees) {
  return engine::QuaternionRotationAxis({0, 1, 0}, degrees * engine::kDegToRad);
}
inline engine::Quaternion AboutZ(float degrees) {
  return engine::QuaternionRotationAxis({0, 0, 1}, degrees * engine::kDegToRad);
}

// Uniformly spread unit orientations (Shoemake's method), the same ones for
// every run.
class RandomOrientations {
 public:
  explicit RandomOrientations(unsigned seed) : gen_(seed) {}
  engine::Quaternion Next() {
    const double u1 = unit_(gen_), u2 = unit_(gen_), u3 = unit_(gen_);
    const double a = std::sqrt(1.0 - u1), b = std::sqrt(u1);
    return {static_cast<float>(a * std::sin(2 * M_PI * u2)),
            static_cast<float>(a * std::cos(2 * M_PI * u2)),
            static_cast<float>(b * std::sin(2 * M_PI * u3)),
            static_cast<float>(b * std::cos(2 * M_PI * u3))};
  }
  float Uniform(float lo, float hi) { return static_cast<float>(lo + (hi - lo) * unit_(gen_)); }

 private:
  std::mt19937 gen_;
  std::uniform_real_distribution<double> unit_{0.0, 1.0};
};

inline ::testing::AssertionResult VecNear(const engine::Vec3& got, const engine::Vec3& want,
                                          float tolerance) {
  const float dx = got.x - want.x, dy = got.y - want.y, dz = got.z - want.z;
  if (std::fabs(dx) <= tolerance && std::fabs(dy) <= tolerance && std::fabs(dz) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "(" << got.x << ", " << got.y << ", " << got.z << "), want (" << want.x << ", "
         << want.y << ", " << want.z << ")";
}

inline ::testing::AssertionResult MatrixNear(const engine::Matrix& got, const engine::Matrix& want,
                                             float tolerance) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (!(std::fabs(got.m[r][c] - want.m[r][c]) <= tolerance)) {
        return ::testing::AssertionFailure() << "element [" << r << "][" << c << "] is "
                                             << got.m[r][c] << ", want " << want.m[r][c];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

inline double Length(const engine::Quaternion& q) {
  return std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z + double(q.w) * q.w);
}

// The angle in degrees between two directions, in double precision.
inline double DegreesBetween(const engine::Vec3& a, const engine::Vec3& b) {
  const double dot = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
  const double la = std::sqrt(double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z);
  const double lb = std::sqrt(double(b.x) * b.x + double(b.y) * b.y + double(b.z) * b.z);
  return std::acos(std::clamp(dot / (la * lb), -1.0, 1.0)) * 180.0 / M_PI;
}

// A creature for the tests: a Chara that draws nothing.
struct Standing : Chara {
  void Draw(platform::Device&, media::MeshManager&) override {}
};

}  // namespace world::checks
