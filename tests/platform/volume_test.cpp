#include <gtest/gtest.h>

#include <cmath>

#include "platform/sound.h"

namespace platform {
namespace {

TEST(VolumeFromPercentTest, SilentAtZeroFullAtHundredAndTheGainSquaredBetween) {
  EXPECT_EQ(VolumeFromPercent(0), kVolumeMin);
  EXPECT_EQ(VolumeToGain(VolumeFromPercent(0)), 0.0);
  EXPECT_EQ(VolumeFromPercent(100), kVolumeMax);
  EXPECT_EQ(VolumeFromPercent(-20), kVolumeMin);
  EXPECT_EQ(VolumeFromPercent(250), kVolumeMax);
  // 40 * log10(p / 100) dB, worked by hand.
  EXPECT_EQ(VolumeFromPercent(50), -1204);
  EXPECT_EQ(VolumeFromPercent(10), -4000);
  EXPECT_EQ(VolumeFromPercent(1), -8000);
  for (int p = 1; p <= 100; ++p) {
    SCOPED_TRACE(p);
    // Each step up is louder.
    EXPECT_GT(VolumeFromPercent(p), VolumeFromPercent(p - 1));
    // The mixer's gain is the square of the setting, within the half
    // hundredth of a decibel the rounding costs (a factor of 1.000576).
    const double want = (p / 100.0) * (p / 100.0);
    EXPECT_NEAR(VolumeToGain(VolumeFromPercent(p)), want, want * 0.0006);
  }
}

}  // namespace
}  // namespace platform
