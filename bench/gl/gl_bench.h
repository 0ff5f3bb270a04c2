// What the GL benchmarks share: a game window with its device, and the CPU
// time of the whole process. The software rasteriser shades on threads of
// its own, so the time of the calling thread alone misses most of a frame;
// and on a machine busy with other work, CPU time moves less than wall time.
#pragma once

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

#include "platform/system.h"

namespace benchgl {

struct Window {
  std::unique_ptr<platform::System> system = platform::CreateSdlSystem();
  std::unique_ptr<platform::Device> device;
  explicit Window(const char* caption) {
    platform::WindowConfig config;
    config.caption = caption;
    platform::WindowFailure failure = platform::WindowFailure::None;
    if (system && system->CreateGameWindow(config, &failure)) device = system->CreateDevice();
  }
  ~Window() {
    device.reset();
    if (system) system->DestroyGameWindow();
  }
};

// The one window every GL benchmark of the process draws in: opening and
// closing a window per benchmark costs time and, on a busy X server, now and
// then the display itself.
inline Window& SharedWindow() {
  static Window window("GL benchmark");
  return window;
}

// Milliseconds of CPU the process has used, all its threads together.
inline double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// Milliseconds of a steady clock.
inline double WallMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// Adds the process CPU time between construction and Stop to a total.
class CpuSpan {
 public:
  explicit CpuSpan(double* total) : total_(total), start_(ProcessCpuMs()) {}
  void Stop() { *total_ += ProcessCpuMs() - start_; }

 private:
  double* total_;
  double start_;
};

// Reports the process CPU per iteration as the counter "process_cpu_ms".
inline void ReportProcessCpu(benchmark::State& state, double totalMs) {
  state.counters["process_cpu_ms"] =
      benchmark::Counter(totalMs, benchmark::Counter::kAvgIterations);
}

}  // namespace benchgl
