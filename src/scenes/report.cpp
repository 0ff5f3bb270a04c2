#include "scenes/report.h"

#include <cstdio>

#include "scenes/loading/load_parent.h"

namespace scenes {

std::string DescribeRun(const SequenceParent& root, std::uint32_t seed, long ticks) {
  const char* scene = "none";
  if (dynamic_cast<const LoadParent*>(root.child))
    scene = "loading";
  else if (root.child)
    scene = "other";
  char text[256];
  std::snprintf(text, sizeof text, "{\"scene\":\"%s\",\"ticks\":%ld,\"seed\":%u}", scene, ticks,
                static_cast<unsigned>(seed));
  return text;
}

}  // namespace scenes
