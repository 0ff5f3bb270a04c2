// The whole loading job list, as the loading scene runs it, on the headless
// device: PNG decoding, WAV reading and conversion, .x parsing and mesh
// building (with the ray-cast structure) of every content file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "media/mesh_manager.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "platform/null/device_null.h"
#include "platform/sound.h"
#include "scenes/loading/load_parent.h"

namespace {

namespace fs = std::filesystem;

// The shipped content as the working folder, the null device and the
// shared sprite, for as long as it lives.
class ContentOnNullDevice {
 public:
  ContentOnNullDevice() : old_(fs::current_path()) {
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
    media::InitSprite(&device_, &backBuffer_);
  }
  ~ContentOnNullDevice() {
    media::ReleaseSprite();
    fs::current_path(old_);
  }
  ContentOnNullDevice(const ContentOnNullDevice&) = delete;
  ContentOnNullDevice& operator=(const ContentOnNullDevice&) = delete;

  // Gives back everything the jobs loaded.
  static void ReleaseLoaded() {
    media::ReleaseAllTextures();
    media::ReleaseSound();
    media::MeshManager::GetInstance().Clear();
  }

  // The device as the jobs take it.
  platform::Device*& Device() { return device_; }

 private:
  fs::path old_;
  platform::NullDevice nullDevice_;
  platform::Device* device_ = &nullDevice_;  // the sprite keeps its address
  platform::Surface* backBuffer_ = nullptr;
};

void BM_LoadEveryContentFile(benchmark::State& state) {
  ContentOnNullDevice run;
  const std::vector<scenes::LoadParent::Job> jobs = scenes::LoadParent::DefaultJobs();
  for (auto _ : state) {
    media::InitSound([] { return platform::CreateSilentSoundDevice(); });
    for (scenes::LoadParent::Job job : jobs) job(run.Device());
    state.PauseTiming();
    ContentOnNullDevice::ReleaseLoaded();
    state.ResumeTiming();
  }
  state.counters["jobs"] = static_cast<double>(jobs.size());
}
BENCHMARK(BM_LoadEveryContentFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same jobs as the game's loading scene runs them: on its loader thread
// and a helper beside it (Arg: the number of threads).
void BM_LoadingSceneWorkers(benchmark::State& state) {
  ContentOnNullDevice run;
  const auto workers = static_cast<int>(state.range(0));
  for (auto _ : state) {
    media::InitSound([] { return platform::CreateSilentSoundDevice(); });
    {
      scenes::LoadParent scene(scenes::LoadParent::DefaultJobs(), nullptr,
                               scenes::LoadParent::Loader::Thread, workers);
      while (scenes::RecordedLoaderThread()->StillActive())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      state.PauseTiming();
    }
    // The scene's end stops a loader it did not hand over: clear the flag.
    scenes::ResetStopFlag();
    scenes::RecordLoaderThread(nullptr);
    ContentOnNullDevice::ReleaseLoaded();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadingSceneWorkers)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
