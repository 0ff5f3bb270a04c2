#include "engine/trig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace engine {
namespace {

float FloatFromBits(std::uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

// Our functions rounded to float against the C library's double ones rounded
// to float (correctly rounded but for the rarest inputs), over a dense
// sample of every float in the game's range of angles and cosines, both
// signs: a wrong coefficient, quadrant or reduction shows as mismatches.
TEST(TrigTest, FloatResultsAreTheCorrectlyRoundedOnes) {
  int mismatches = 0;
  int checked = 0;
  for (std::uint32_t u = 0; u <= 0x40E00000u; u += 4099) {  // 0 to 7 radians
    for (const float x : {FloatFromBits(u), -FloatFromBits(u)}) {
      const double d = x;
      mismatches += Sin(x) != static_cast<float>(std::sin(d));
      mismatches += Cos(x) != static_cast<float>(std::cos(d));
      mismatches += Tan(x) != static_cast<float>(std::tan(d));
      mismatches += Atan(x) != static_cast<float>(std::atan(d));
      mismatches += Atan2(x, -0.75f) != static_cast<float>(std::atan2(d, -0.75));
      mismatches += Atan2(0.75f, x) != static_cast<float>(std::atan2(0.75, d));
      if (std::fabs(x) <= 1.0f) {
        mismatches += Acos(x) != static_cast<float>(std::acos(d));
        mismatches += Asin(x) != static_cast<float>(std::asin(d));
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 500000);
  EXPECT_EQ(mismatches, 0);
  // Far turns still land on the right quadrant.
  EXPECT_FLOAT_EQ(Sin(1000.5f), static_cast<float>(std::sin(1000.5)));
  EXPECT_FLOAT_EQ(Cos(-12345.25f), static_cast<float>(std::cos(-12345.25)));
}

TEST(TrigTest, EdgesFollowTheCLibrary) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const double y : {0.0, -0.0, 1.0, -1.0, inf, -inf}) {
    for (const double x : {0.0, -0.0, 1.0, -1.0, inf, -inf}) {
      const double ours = Atan2(y, x);
      const double theirs = std::atan2(y, x);
      EXPECT_NEAR(ours, theirs, 1e-15) << "atan2(" << y << ", " << x << ")";
      EXPECT_EQ(std::signbit(ours), std::signbit(theirs)) << "atan2(" << y << ", " << x << ")";
    }
  }
  EXPECT_TRUE(std::isnan(Sin(inf)));
  EXPECT_TRUE(std::isnan(Cos(nan)));
  EXPECT_TRUE(std::isnan(Acos(1.0000001)));
  EXPECT_TRUE(std::isnan(Asin(-2.0)));
  EXPECT_EQ(Acos(1.0), 0.0);
  EXPECT_EQ(Asin(-0.0), -0.0);
  EXPECT_TRUE(std::signbit(Asin(-0.0)));
}

}  // namespace
}  // namespace engine
