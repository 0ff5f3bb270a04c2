#include "platform/frame_loop.h"

#if !defined(__EMSCRIPTEN__)

namespace platform {

int RunFrameLoop(std::function<bool()> frame, std::function<int()> done) {
  while (frame()) {
  }
  return done();
}

bool FrameLoopFollowsDisplay() { return false; }

void PublishStatus(std::function<std::string()>) {}

}  // namespace platform

#endif
