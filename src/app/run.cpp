// Start-up, the frame loop and tear-down.
#include <cstdio>
#include <memory>

#include "app/sequence.h"
#include "app/shell.h"
#include "platform/image.h"
#include "platform/keyboard.h"

namespace app {

SequenceChild* CreateFirstScene();

namespace {

bool ChooseFullScreen(const Options& options, platform::System& system) {
  switch (options.screen) {
    case Options::Screen::Windowed: return false;
    case Options::Screen::Fullscreen: return true;
    case Options::Screen::Ask: break;
  }
  if (options.headless) return false;
  return system.AskYesNo(kQuestionCaption, kFullScreenQuestion);
}

void WriteScreenshot(platform::Device& device, const std::string& path) {
  std::vector<std::uint32_t> pixels = device.ReadBackBuffer();
  if (pixels.size() != 800u * 600u) {
    std::fprintf(stderr, "poromeko: no picture to write to %s (nothing was presented)\n",
                 path.c_str());
    return;
  }
  std::string error;
  if (!platform::SavePng(path, 800, 600, pixels.data(), &error)) {
    std::fprintf(stderr, "poromeko: could not write %s: %s\n", path.c_str(), error.c_str());
  }
}

}  // namespace

int Run(const Options& options, platform::System& system) {
  ResetStopFlag();
  bool fullscreen = ChooseFullScreen(options, system);

  platform::WindowFailure failure = platform::WindowFailure::None;
  platform::WindowConfig config;
  config.caption = kWindowCaption;
  config.fullscreen = fullscreen;
  if (!system.CreateGameWindow(config, &failure)) {
    system.ShowError(kErrorCaption, failure == platform::WindowFailure::NoGraphics
                                        ? kNoDeviceMessage
                                        : kNoWindowMessage);
    return 1;
  }
  std::unique_ptr<platform::Device> device = system.CreateDevice();
  if (!device) {
    system.ShowError(kErrorCaption, kNoDeviceMessage);
    system.DestroyGameWindow();
    return 1;
  }
  SetInitialDeviceState(*device);
  platform::Device* devicePtr = device.get();
  platform::Surface* backBuffer = device->GetBackBuffer();

  InitServices(&devicePtr, &backBuffer, options);
  SetFirstSceneFactory(&CreateFirstScene);

  system.SetCloseHandler([&system] { OnWindowDestroy(system); });

  long ticks = 0;
  bool fatal = false;
  FrameTicker ticker({
      [&system] { return system.TimeGetTime(); },
      [&system] { return system.IsForeground(); },
      [] { SequenceParent::GetInstance().Update(); },
      [] { SequenceParent::GetInstance().Draw(); },
  });

  while (system.PumpEvents()) {
    if (FatalErrorPending() && !fatal) {
      fatal = true;
      system.ShowError(kErrorCaption, TakeFatalErrorMessage());
      OnWindowDestroy(system);
      continue;
    }
    if (ticker.Tick() != FrameTicker::Result::TooEarly) {
      ++ticks;
      if (options.frames >= 0 && ticks >= options.frames) {
        OnWindowDestroy(system);
        continue;
      }
    }
    // Sleep until the next tick is due or an event arrives, instead of
    // spinning: tick times stay the same, an idle game leaves the CPU alone.
    std::uint32_t wait = ticker.MsUntilDue();
    if (wait > 0) system.WaitEvents(wait);
  }

  if (!options.screenshot.empty()) WriteScreenshot(*device, options.screenshot);

  ReleaseServices();
  if (backBuffer) backBuffer->Release();
  device.reset();
  system.DestroyGameWindow();
  platform::ResetKeyboard();
  return fatal ? 1 : system.QuitCode();
}

}  // namespace app
