#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace platform {

double MonotonicMs() {
  static const auto origin = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - origin)
      .count();
}

std::uint32_t SecondsSinceEpoch() { return static_cast<std::uint32_t>(std::time(nullptr)); }

}  // namespace platform
