#include "app/shell.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "app/sequence.h"
#include "platform/keyboard.h"

namespace app {

namespace {

std::mutex gStopMutex;
bool gStopFlag = false;
LoaderThread* gLoaderThread = nullptr;

std::mutex gFatalMutex;
std::string gFatalMessage;
bool gFatalPending = false;

}  // namespace

bool StopRequested() {
  std::lock_guard<std::mutex> lock(gStopMutex);
  return gStopFlag;
}

void RequestStop() {
  std::lock_guard<std::mutex> lock(gStopMutex);
  gStopFlag = true;
}

void ResetStopFlag() {
  std::lock_guard<std::mutex> lock(gStopMutex);
  gStopFlag = false;
}

void RecordLoaderThread(LoaderThread* thread) { gLoaderThread = thread; }
LoaderThread* RecordedLoaderThread() { return gLoaderThread; }

void OnWindowDestroy(platform::System& system) {
  if (gLoaderThread && gLoaderThread->StillActive()) {
    RequestStop();
    // The loader looks at the flag after its current job.
    gLoaderThread->Join();
  }
  system.PostQuit(0);
}

void RaiseFatalError(const std::string& message) {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  if (gFatalPending) return;  // the first error is the one shown
  gFatalPending = true;
  gFatalMessage = message;
}

bool FatalErrorPending() {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  return gFatalPending;
}

void ClearFatalError() {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  gFatalPending = false;
  gFatalMessage.clear();
}

std::string TakeFatalErrorMessage() {
  std::lock_guard<std::mutex> lock(gFatalMutex);
  return gFatalMessage;
}

FrameTicker::Result FrameTicker::Tick() {
  std::uint32_t now = hooks_.now();
  tickStartTime = now;
  if (static_cast<std::uint32_t>(now - lastTickTime) < kTickMs) return Result::TooEarly;
  lastTickTime = now;
  if (hooks_.foreground()) hooks_.update();
  if (lastFrameDuration > kTickMs) {
    lastFrameDuration = 0;
    return Result::DrawSkipped;
  }
  hooks_.draw();
  lastFrameDuration = static_cast<std::uint32_t>(hooks_.now() - tickStartTime);
  return Result::Drawn;
}

std::uint32_t FrameTicker::MsUntilDue() const {
  std::uint32_t elapsed = static_cast<std::uint32_t>(hooks_.now() - lastTickTime);
  return elapsed >= kTickMs ? 0 : kTickMs - elapsed;
}

const char* Usage() {
  return "usage: poromeko [--windowed | --fullscreen] [--headless] [--frames N] "
         "[--screenshot FILE]\n"
         "  --windowed      play in a window without asking\n"
         "  --fullscreen    play full screen without asking\n"
         "  --headless      no window, no sound; ticks run back to back\n"
         "  --frames N      quit after N ticks\n"
         "  --screenshot F  write the last picture shown to F (PNG) at exit\n";
}

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto needValue = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "--windowed") {
      options->screen = Options::Screen::Windowed;
    } else if (arg == "--fullscreen") {
      options->screen = Options::Screen::Fullscreen;
    } else if (arg == "--headless") {
      options->headless = true;
    } else if (arg == "--frames") {
      const char* v = needValue("--frames");
      if (!v) return false;
      long n = 0;
      const char* end = v + std::strlen(v);
      auto [ptr, ec] = std::from_chars(v, end, n);
      if (ec != std::errc() || ptr != end || n < 0) {
        *error = std::string("--frames needs a count, not '") + v + "'";
        return false;
      }
      options->frames = n;
    } else if (arg == "--screenshot") {
      const char* v = needValue("--screenshot");
      if (!v) return false;
      options->screenshot = v;
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }
  return true;
}

void SetInitialDeviceState(platform::Device& d) {
  using platform::RenderState;
  using platform::SamplerState;
  using platform::TextureStageState;
  d.SetRenderState(RenderState::ZEnable, 1);
  d.SetRenderState(RenderState::ZWriteEnable, 1);
  d.SetRenderState(RenderState::AlphaBlendEnable, 1);
  d.SetRenderState(RenderState::SrcBlend, platform::kBlendSrcAlpha);
  d.SetRenderState(RenderState::DestBlend, platform::kBlendInvSrcAlpha);
  d.SetTextureStageState(0, TextureStageState::AlphaOp, platform::kTopModulate);
  d.SetTextureStageState(0, TextureStageState::AlphaArg1, platform::kTaTexture);
  d.SetTextureStageState(0, TextureStageState::AlphaArg2, platform::kTaDiffuse);
  d.SetTextureStageState(0, TextureStageState::ColorOp, platform::kTopModulate);
  d.SetRenderState(RenderState::CullMode, platform::kCullNone);
  d.SetSamplerState(0, SamplerState::MipFilter, platform::kTexfLinear);
  d.SetSamplerState(0, SamplerState::MinFilter, platform::kTexfLinear);
  d.SetSamplerState(0, SamplerState::MagFilter, platform::kTexfLinear);
  d.SetRenderState(RenderState::Lighting, 1);
  d.SetRenderState(RenderState::DiffuseMaterialSource, platform::kMcsMaterial);
  d.SetFVF(platform::kFvfXyz | platform::kFvfDiffuse | platform::kFvfTex1);
}

}  // namespace app
