// Deterministic 3D value noise for procedural shapes and textures (no
// library randomness: integer hashes of lattice points with a seed).
#pragma once

#include <cstdint>

#include "engine/math.h"

namespace contentgen {

// A 32-bit hash of three lattice coordinates and a seed.
std::uint32_t Hash3(std::int32_t x, std::int32_t y, std::int32_t z, std::uint32_t seed);
// A hash mapped to [0, 1).
float Hash01(std::int32_t x, std::int32_t y, std::int32_t z, std::uint32_t seed);

// Smoothly interpolated value noise in [-1, 1].
float ValueNoise(const engine::Vec3& p, std::uint32_t seed);
// Sum of `octaves` noises at doubling frequency and halving amplitude,
// normalised to [-1, 1].
float Fbm(const engine::Vec3& p, int octaves, std::uint32_t seed);

float SmoothStep(float edge0, float edge1, float x);

// A small deterministic generator for placements (xorshift).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  std::uint64_t Next();
  float Uniform();  // [0, 1)
  float Range(float lo, float hi) { return lo + (hi - lo) * Uniform(); }

 private:
  std::uint64_t state_;
};

}  // namespace contentgen
