#include "engine/random.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(RandomTest, GivesTheClassicRuntimeSequence) {
  // The C runtime's rand() after srand(1).
  Random r;
  const int fromOne[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
  for (int v : fromOne) EXPECT_EQ(r.Rand(), v);
  // Seeding again starts the same sequence again.
  r.Seed(1);
  EXPECT_EQ(r.Rand(), 41);
  // Never outside 0..kRandMax, whatever the state.
  Random wide(0xFFFFFFFFu);
  for (int i = 0; i < 100000; ++i) {
    int v = wide.Rand();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, kRandMax);
  }
}

}  // namespace
}  // namespace engine
