// The game's one pseudo-random generator.
//
// Contract (no back-end specific part): the classic linear congruential
// generator of the C runtime the game grew up with, so a seed gives the same
// numbers on every platform and compiler: state = state * 214013 + 2531011
// (mod 2^32), Rand() = (state >> 16) & 0x7FFF, values 0 to kRandMax. Seed(s)
// sets the state to s. A default-constructed generator is seeded with 1.
#pragma once

#include <cstdint>

namespace engine {

inline constexpr int kRandMax = 0x7FFF;

class Random {
 public:
  explicit Random(std::uint32_t seed = 1) : state_(seed) {}
  void Seed(std::uint32_t seed) { state_ = seed; }
  int Rand() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }
  std::uint32_t State() const { return state_; }

 private:
  std::uint32_t state_;
};

}  // namespace engine
