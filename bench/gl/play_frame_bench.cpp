// One frame of play on the real device: the update, then the whole draw
// (the world, the HUD, the glow) and the present, timed until the frame's
// last pixel is finished. Run under Xvfb with software GL at 800 x 600.
// Goal: at most 4 ms median for update plus draw. process_cpu_ms is the CPU
// all threads spent on it, the steadier figure on a busy machine.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/game_setup.h"
#include "bench/gl/gl_bench.h"
#include "platform/sdl_gl/backend.h"

namespace {

void BM_PlayFrameOnGl(benchmark::State& state) {
  benchgl::Window& window = benchgl::SharedWindow();
  if (!window.device) {
    state.SkipWithError("no window: is DISPLAY set (xvfb-run)?");
    return;
  }
  benchgame::BenchRun run(window.device.get());
  // Shaders compiled and uploads done before timing.
  for (int i = 0; i < 3; ++i) run.root->Draw(run.Frame());
  platform::sdl_gl::FinishForTest(*window.device);
  long tick = 0;
  double cpuMs = 0;
  for (auto _ : state) {
    benchgl::CpuSpan cpu(&cpuMs);
    platform::TickInput in;
    in.Hold(tick++ % 400 < 300 ? platform::Key::Up : platform::Key::Right);
    run.root->Update(in, run.services);
    run.root->Draw(run.Frame());
    platform::sdl_gl::FinishForTest(*window.device);
    cpu.Stop();
    state.PauseTiming();
    window.system->PumpEvents();
    run.KeepPlaying();
    state.ResumeTiming();
  }
  benchgl::ReportProcessCpu(state, cpuMs);
}
BENCHMARK(BM_PlayFrameOnGl)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly();

}  // namespace
