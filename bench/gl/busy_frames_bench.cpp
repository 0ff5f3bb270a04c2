// The busiest frames of a real run on the real device, so the figure the
// benchmark gives is the one a player meets where the picture is fullest,
// not only at one fixed view. A whole autoplayed run of play is first
// played on the headless device, counting the triangles each frame hands to
// the device; the frames with the most (at least a second of play apart, so
// they show different places) are then replayed from the same keys on the
// GL device: each iteration is one such frame's update and its whole draw
// and present, timed until its last pixel (each frame three times: the
// median, 95th percentile and longest are counters). Run under Xvfb with
// software GL. Goal: at most 8 ms median and 14 ms at the 95th percentile,
// as in the game's own --verbose summary.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench/game_setup.h"
#include "bench/gl/gl_bench.h"
#include "platform/null/device_null.h"
#include "platform/sdl_gl/backend.h"
#include "scenes/autoplay.h"

namespace {

constexpr int kBusyFrames = 24;
constexpr long kApart = 60;  // updates between two chosen frames at least

struct Tick {
  platform::TickInput input;
  std::uint64_t triangles = 0;
  engine::Vec3 creature;  // where the creature stood after the update
};

// The keys of one autoplayed run of play and what each of its frames drew.
std::vector<Tick> PlayOnTheNullDevice() {
  platform::NullDevice device;
  device.RecordDraws(true);
  benchgame::BenchRun run(&device);
  scenes::Autoplayer autoplayer(3);
  std::vector<Tick> ticks;
  while (dynamic_cast<scenes::GamePlay*>(run.Game().child) && run.Game().timeLeft > 1.0f) {
    Tick t;
    t.input = autoplayer.Next(*run.root, run.services);
    run.root->Update(t.input, run.services);
    device.ClearDraws();
    run.root->Draw(run.Frame());
    for (const platform::DrawRecord& d : device.Draws()) t.triangles += d.primitiveCount;
    if (!dynamic_cast<scenes::GameParent*>(run.root->child)) break;
    t.creature = run.Game().player->Position();
    ticks.push_back(t);
  }
  return ticks;
}

// The busiest ticks, at least kApart from each other, in the run's order.
std::vector<long> Busiest(const std::vector<Tick>& ticks) {
  std::vector<long> order(ticks.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<long>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](long a, long b) { return ticks[a].triangles > ticks[b].triangles; });
  std::vector<long> chosen;
  for (long i : order) {
    if (static_cast<int>(chosen.size()) == kBusyFrames) break;
    const bool near =
        std::any_of(chosen.begin(), chosen.end(), [&](long c) { return std::abs(c - i) < kApart; });
    if (!near) chosen.push_back(i);
  }
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

void BM_BusiestPlayFramesOnGl(benchmark::State& state) {
  benchgl::Window& window = benchgl::SharedWindow();
  if (!window.device) {
    state.SkipWithError("no window: is DISPLAY set (xvfb-run)?");
    return;
  }
  const std::vector<Tick> ticks = PlayOnTheNullDevice();
  const std::vector<long> busiest = Busiest(ticks);
  if (busiest.empty()) {
    state.SkipWithError("the run had no frame of play");
    return;
  }
  double triangles = 0;
  for (long i : busiest) triangles += static_cast<double>(ticks[i].triangles);

  benchgame::BenchRun run(window.device.get());
  long next = 0;  // the next tick of the run to update
  auto restart = [&] {
    run.random = engine::Random{7};
    run.NewRun();
    next = 0;
  };
  // Once through every chosen frame untimed: the rasteriser compiles code
  // for each new combination of state the first time it meets it.
  for (long target : busiest) {
    for (; next <= target; ++next) run.root->Update(ticks[next].input, run.services);
    run.root->Draw(run.Frame());
    platform::sdl_gl::FinishForTest(*window.device);
    window.system->PumpEvents();
  }
  restart();
  std::size_t chosen = 0;
  double cpuMs = 0;
  std::vector<double> frameMs;
  for (auto _ : state) {
    state.PauseTiming();
    if (chosen == busiest.size()) {
      // Again from the start of the same run.
      restart();
      chosen = 0;
    }
    const long target = busiest[chosen++];
    for (; next < target; ++next) run.root->Update(ticks[next].input, run.services);
    state.ResumeTiming();
    benchgl::CpuSpan cpu(&cpuMs);
    const double start = benchgl::WallMs();
    run.root->Update(ticks[next].input, run.services);
    run.root->Draw(run.Frame());
    platform::sdl_gl::FinishForTest(*window.device);
    frameMs.push_back(benchgl::WallMs() - start);
    cpu.Stop();
    state.PauseTiming();
    ++next;
    window.system->PumpEvents();
    const engine::Vec3 at = run.Game().player->Position();
    const engine::Vec3 want = ticks[target].creature;
    if (at.x != want.x || at.y != want.y || at.z != want.z) {
      state.SkipWithError("the replay on the GL device went elsewhere than the headless run");
      break;
    }
    state.ResumeTiming();
  }
  benchgl::ReportProcessCpu(state, cpuMs);
  state.counters["triangles"] = triangles / static_cast<double>(busiest.size());
  if (!frameMs.empty()) {
    std::sort(frameMs.begin(), frameMs.end());
    auto at = [&](double q) {
      return frameMs[static_cast<std::size_t>(q * static_cast<double>(frameMs.size() - 1))];
    };
    state.counters["median_ms"] = at(0.5);
    state.counters["p95_ms"] = at(0.95);
    state.counters["longest_ms"] = frameMs.back();
  }
}
BENCHMARK(BM_BusiestPlayFramesOnGl)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3 * kBusyFrames);

}  // namespace
