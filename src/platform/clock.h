// The clocks. Only the platform reads them; gameplay never does (time
// arrives as update steps), and what measures itself (the loading scene's
// slices and its load time) asks here.
//
// Contract: MonotonicMs is milliseconds from a fixed point of this run,
// never going back, with at least millisecond resolution (every back end:
// std::chrono::steady_clock; the browser's is performance.now()).
// SecondsSinceEpoch is the wall clock in whole seconds since 1970 (UTC), for
// a seed nobody gave; it may go back when the system's clock is set.
#pragma once

#include <cstdint>

namespace platform {

double MonotonicMs();
std::uint32_t SecondsSinceEpoch();

}  // namespace platform
