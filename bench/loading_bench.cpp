// The whole loading job list, as the loading scene runs it, on the headless
// device: PNG decoding, WAV reading and conversion, .x parsing and mesh
// building (with the ray-cast structure) of every content file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "media/mesh_manager.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "platform/null/device_null.h"
#include "platform/sound.h"
#include "scenes/loading/load_parent.h"

namespace {

namespace fs = std::filesystem;

// The shipped content as the working folder, the null device, the shared
// sprite and the caches the jobs fill, for as long as it lives.
class ContentOnNullDevice {
 public:
  ContentOnNullDevice() : old_(fs::current_path()) {
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
    NewCaches();
    services.device = &device_;
    services.loader = &handshake;
  }
  ~ContentOnNullDevice() { fs::current_path(old_); }
  ContentOnNullDevice(const ContentOnNullDevice&) = delete;
  ContentOnNullDevice& operator=(const ContentOnNullDevice&) = delete;

  // Gives back everything the jobs loaded: empty caches in place of the full
  // ones.
  void NewCaches() {
    meshes_.reset();
    sounds_.reset();
    textures_.reset();
    textures_ = std::make_unique<media::TextureManager>(&device_);
    meshes_ = std::make_unique<media::MeshManager>();
    sounds_ = media::InitSound([] { return platform::CreateSilentSoundDevice(); });
    services.textures = textures_.get();
    services.meshes = meshes_.get();
    services.sounds = sounds_.get();
  }

  // What the jobs fill.
  scenes::LoadTargets Targets() { return {&device_, *textures_, *meshes_, sounds_.get()}; }

  scenes::LoaderHandshake handshake;
  scenes::Services services;

 private:
  fs::path old_;
  platform::NullDevice device_;
  std::unique_ptr<media::TextureManager> textures_;
  std::unique_ptr<media::MeshManager> meshes_;
  std::unique_ptr<media::SoundManager> sounds_;
  media::SharedSprite sprite_{&device_};
};

void BM_LoadEveryContentFile(benchmark::State& state) {
  ContentOnNullDevice run;
  const std::vector<scenes::LoadParent::Job> jobs = scenes::LoadParent::DefaultJobs();
  for (auto _ : state) {
    const scenes::LoadTargets targets = run.Targets();
    for (scenes::LoadParent::Job job : jobs) job(targets);
    state.PauseTiming();
    run.NewCaches();
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
    {
      scenes::LoadParent scene(run.services, scenes::LoadParent::DefaultJobs(), nullptr,
                               scenes::LoadParent::Loader::Thread, workers);
      while (run.handshake.RecordedLoaderThread()->StillActive())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      state.PauseTiming();
    }
    // The scene's end stops a loader it did not hand over: clear the flag.
    run.handshake.ResetStopFlag();
    run.handshake.RecordLoaderThread(nullptr);
    run.NewCaches();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadingSceneWorkers)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
