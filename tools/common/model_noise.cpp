#include "model_noise.h"

#include <cmath>

namespace contentgen {

std::uint32_t Hash3(std::int32_t x, std::int32_t y, std::int32_t z, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B1u;
  h ^= static_cast<std::uint32_t>(x) * 0x85EBCA77u;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
  h = (h << 17) | (h >> 15);
  h ^= static_cast<std::uint32_t>(z) * 0x27D4EB2Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

float Hash01(std::int32_t x, std::int32_t y, std::int32_t z, std::uint32_t seed) {
  return static_cast<float>(Hash3(x, y, z, seed) >> 8) / 16777216.0f;
}

float SmoothStep(float edge0, float edge1, float x) {
  float t = (x - edge0) / (edge1 - edge0);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return t * t * (3 - 2 * t);
}

float ValueNoise(const engine::Vec3& p, std::uint32_t seed) {
  const float fx = std::floor(p.x), fy = std::floor(p.y), fz = std::floor(p.z);
  const auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy),
             iz = static_cast<std::int32_t>(fz);
  const auto fade = [](float t) { return t * t * (3 - 2 * t); };
  const float tx = fade(p.x - fx), ty = fade(p.y - fy), tz = fade(p.z - fz);
  float c[2][2][2];
  for (int dz = 0; dz < 2; ++dz)
    for (int dy = 0; dy < 2; ++dy)
      for (int dx = 0; dx < 2; ++dx) c[dz][dy][dx] = Hash01(ix + dx, iy + dy, iz + dz, seed);
  const auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  const float x00 = lerp(c[0][0][0], c[0][0][1], tx), x10 = lerp(c[0][1][0], c[0][1][1], tx);
  const float x01 = lerp(c[1][0][0], c[1][0][1], tx), x11 = lerp(c[1][1][0], c[1][1][1], tx);
  const float y0 = lerp(x00, x10, ty), y1 = lerp(x01, x11, ty);
  return lerp(y0, y1, tz) * 2.0f - 1.0f;
}

float Fbm(const engine::Vec3& p, int octaves, std::uint32_t seed) {
  float sum = 0, amp = 1, norm = 0;
  engine::Vec3 q = p;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * ValueNoise(q, seed + static_cast<std::uint32_t>(i) * 1013u);
    norm += amp;
    amp *= 0.5f;
    q = q * 2.03f + engine::Vec3{17.1f, 3.7f, 9.2f};
  }
  return sum / norm;
}

std::uint64_t Rng::Next() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 7;
  state_ ^= state_ << 17;
  return state_;
}

float Rng::Uniform() { return static_cast<float>(Next() >> 40) / 16777216.0f; }

}  // namespace contentgen
