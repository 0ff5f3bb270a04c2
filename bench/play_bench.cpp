// One update of play with the whole insect population, on the headless
// device: the creature's step (its ground rays and pushes), every insect's
// step, the placed objects, the camera and the counters. Goal: at most
// 0.3 ms median.
#include <benchmark/benchmark.h>

#include "bench/game_setup.h"
#include "platform/null/device_null.h"
#include "scenes/autoplay.h"

namespace {

// Walking straight on, turning now and then: the creature's ground rays and
// pushes every update.
void BM_PlayUpdateWalking(benchmark::State& state) {
  platform::NullDevice device;
  benchgame::BenchRun run(&device);
  long tick = 0;
  for (auto _ : state) {
    platform::TickInput in;
    in.Hold(tick++ % 400 < 300 ? platform::Key::Up : platform::Key::Right);
    run.root->Update(in, run.services);
    state.PauseTiming();
    run.KeepPlaying();
    state.ResumeTiming();
  }
  state.counters["insects"] = static_cast<double>(run.enemies.enemies.size());
}
BENCHMARK(BM_PlayUpdateWalking)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// The busiest play: the autoplayer chases, bites, eats, grows and combos.
void BM_PlayUpdateEating(benchmark::State& state) {
  platform::NullDevice device;
  benchgame::BenchRun run(&device);
  scenes::Autoplayer autoplayer(7);
  for (auto _ : state) {
    state.PauseTiming();
    const platform::TickInput in = autoplayer.Next(*run.root, run.services);
    state.ResumeTiming();
    run.root->Update(in, run.services);
    state.PauseTiming();
    run.KeepPlaying();
    state.ResumeTiming();
  }
  state.counters["score"] = run.Game().score.score;
}
BENCHMARK(BM_PlayUpdateEating)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// What drawing a frame costs the processor on its own (culling, matrices,
// draw calls), without any rasterising.
void BM_PlayDrawOnTheNullDevice(benchmark::State& state) {
  platform::NullDevice device;
  benchgame::BenchRun run(&device);
  for (auto _ : state) run.root->Draw(run.Frame());
}
BENCHMARK(BM_PlayDrawOnTheNullDevice)->Unit(benchmark::kMicrosecond);

}  // namespace
