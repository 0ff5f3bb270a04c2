// One frame of play on the real device: the update, then the whole draw
// (the world, the HUD, the glow) and the present, timed until the frame's
// last pixel is finished. Run under Xvfb with software GL at 800 x 600.
// Goal: at most 4 ms median for update plus draw.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/game_setup.h"
#include "platform/sdl_gl/backend.h"
#include "platform/system.h"

namespace {

struct Window {
  std::unique_ptr<platform::System> system = platform::CreateSdlSystem();
  std::unique_ptr<platform::Device> device;
  Window() {
    platform::WindowConfig config;
    config.caption = "play frame benchmark";
    platform::WindowFailure failure = platform::WindowFailure::None;
    if (system && system->CreateGameWindow(config, &failure)) device = system->CreateDevice();
  }
  ~Window() {
    device.reset();
    if (system) system->DestroyGameWindow();
  }
};

void BM_PlayFrameOnGl(benchmark::State& state) {
  Window window;
  if (!window.device) {
    state.SkipWithError("no window: is DISPLAY set (xvfb-run)?");
    return;
  }
  benchgame::BenchRun run(window.device.get());
  // Shaders compiled and uploads done before timing.
  for (int i = 0; i < 3; ++i) run.root->Draw(run.Frame());
  platform::sdl_gl::FinishForTest(*window.device);
  long tick = 0;
  for (auto _ : state) {
    platform::TickInput in;
    in.Hold(tick++ % 400 < 300 ? platform::Key::Up : platform::Key::Right);
    run.root->Update(in, run.services);
    run.root->Draw(run.Frame());
    platform::sdl_gl::FinishForTest(*window.device);
    state.PauseTiming();
    window.system->PumpEvents();
    run.KeepPlaying();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PlayFrameOnGl)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly();

}  // namespace
