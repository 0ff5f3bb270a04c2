// The one-line JSON description of a run that --report prints at exit, for
// tests and tools.
#pragma once

#include <cstdint>
#include <string>

#include "scenes/sequence.h"

namespace scenes {

// The current scene, the runs finished, the captions' language ("ja" or
// "en") and, during a run of the game, its state: time left, the
// creature's place and size, the score, the meals by kind and the best
// combo; the insects alive by kind.
std::string DescribeRun(const SequenceParent& root, const Services& services, std::uint32_t seed,
                        long ticks);

}  // namespace scenes
