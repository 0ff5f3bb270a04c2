// The browser's frame loop: emscripten calls the frame once per display
// refresh (requestAnimationFrame) and the page reads the game's figures
// through the functions exported here (see the page's script).
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/frame_loop.h"

// The page shows the end and tells its tests (see pre.js).
EM_JS(void, TellPageGameExited, (int code), {
  if (Module.onGameExit) Module.onGameExit(code);
});

namespace platform {

namespace {

struct Loop {
  std::function<bool()> frame;
  std::function<int()> done;
  std::function<std::string()> describe;
  std::uint64_t frames = 0;
  double busyMs = 0.0;
  std::string status;  // the last line handed to the page (kept alive for it)
  std::string stats;
};

Loop& TheLoop() {
  static Loop loop;
  return loop;
}

void OneFrame() {
  Loop& loop = TheLoop();
  const double start = emscripten_get_now();
  const bool more = loop.frame();
  loop.busyMs += emscripten_get_now() - start;
  ++loop.frames;
  if (more) return;
  emscripten_cancel_main_loop();
  const int code = loop.done ? loop.done() : 0;
  std::fflush(stdout);
  std::fflush(stderr);
  TellPageGameExited(code);
}

}  // namespace

int RunFrameLoop(std::function<bool()> frame, std::function<int()> done) {
  Loop& loop = TheLoop();
  loop.frame = std::move(frame);
  loop.done = std::move(done);
  // 0 frames per second: one call per display refresh. The last argument
  // leaves this stack where it is; nothing after the call runs.
  emscripten_set_main_loop(&OneFrame, 0, 1);
  return 0;
}

bool FrameLoopFollowsDisplay() { return true; }

void PublishStatus(std::function<std::string()> describe) {
  TheLoop().describe = std::move(describe);
}

}  // namespace platform

// Called by the page (window.poromeko.state() and stats()).
extern "C" {

EMSCRIPTEN_KEEPALIVE const char* poromeko_status() {
  platform::Loop& loop = platform::TheLoop();
  loop.status = loop.describe ? loop.describe() : std::string("null");
  return loop.status.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* poromeko_loop_stats() {
  platform::Loop& loop = platform::TheLoop();
  char text[128];
  std::snprintf(text, sizeof text, "{\"frames\":%llu,\"busyMs\":%.3f}",
                static_cast<unsigned long long>(loop.frames), loop.busyMs);
  loop.stats = text;
  return loop.stats.c_str();
}

}  // extern "C"
