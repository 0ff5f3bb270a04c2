// The loading scene: the first scene of the run. A background thread runs
// the load jobs that fill the texture, sound and model caches while the
// screen shows a bouncing caption and the percentage done; once the thread
// has ended and the pictures are in the graphics memory, the next update
// makes the title and the one after hands over to it: in between, the
// title's first pictures are rehearsed unseen. A headless run
// (Services::waitForLoader) waits for the thread in its first update, so
// what follows loading never depends on how fast the loader was. Where there
// are no threads (the browser), each update runs jobs for a slice of its
// frame instead, and the screen still moves between them.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "media/paths.h"
#include "platform/graphics.h"
#include "platform/threads.h"
#include "scenes/loading/loader_thread.h"
#include "scenes/sequence.h"

namespace scenes {

// What a load job fills: the caches the shell made, and the device the
// pictures and meshes are made on (none on a run without one).
struct LoadTargets {
  platform::Device* device;
  media::TextureManager& textures;
  media::MeshManager& meshes;
  media::SoundManager* sounds;  // none: the sound jobs load nothing
};

class LoadParent : public SequenceChild {
 public:
  using Job = void (*)(const LoadTargets& targets);
  // The game's full job list, with the captions of the language given.
  static std::vector<Job> DefaultJobs(content::Language language = content::Language::Japanese);
  // Where in it a helper starts: the models, from the planet on. They are
  // the longest jobs (the planet's, with the largest picture the game
  // decodes, is the longest of all), and starting them first keeps one
  // thread from running the planet alone at the end.
  static std::size_t DefaultHelperStart();
  // The scene that follows loading.
  using NextScene = SequenceChild* (*)(Services& services);

  // Where the jobs run: on the loader thread, or in slices of the updates
  // (where there are no threads).
  enum class Loader { Thread, Updates };
  static constexpr Loader kDefaultLoader =
      platform::kThreadsAvailable ? Loader::Thread : Loader::Updates;
  // How many threads the game's loading takes jobs with: the loader thread
  // and, where the machine has a second core, one helper beside it.
  static int DefaultWorkers();

  // Loading `jobs`, then `next` (the flow's first scene: the game's jobs,
  // then the title; tests give others), with the caption in the services'
  // language. The services' caches, device and loader handshake must be
  // set. Where the jobs run and, on the loader thread, how many threads
  // take them: each
  // job runs once. One worker runs the list in order. With two, the loader
  // thread takes the jobs before `helperStart` in list order and the helper
  // those from it on, in list order too; whichever runs out first takes
  // the other's last remaining jobs, from the end back, until they meet.
  // By default the helper starts from the end, and so takes the list's
  // jobs from the back.
  LoadParent(Services& services, std::vector<Job> jobs, NextScene next,
             Loader loader = kDefaultLoader, int workers = 1,
             std::size_t helperStart = kHelperFromTheBack);
  static constexpr std::size_t kHelperFromTheBack = static_cast<std::size_t>(-1);
  ~LoadParent() override;

  using SequenceChild::Update;
  SequenceChildBase* Update(SequenceParent* parent, const Tick& tick) override;
  void Draw(const DrawContext& frame) override;
  void Rehearse(const DrawContext& frame) override;

  float ShownProgress() const { return shownProgress_; }
  // How long the loader thread took over its jobs, in milliseconds (read
  // once it has ended; --verbose prints it).
  double LoadMilliseconds() const { return loadMs_; }
  float Progress();
  const std::array<float, 8>& Wave() const { return wave_; }

 private:
  // Takes and runs the next job from the front of the list (or its back);
  // false when none is left (or loading stopped). Any worker may call it.
  bool RunNextJob(bool fromBack = false);
  void FinishLoading();
  // The loader thread's whole life.
  void LoaderRoutine();
  // Without threads: the jobs for this update (all of them when `all`).
  // True once every job has run.
  bool RunJobsOnThisThread(bool all);
  // Whether every job has now run, without failing: the loader thread has
  // ended, or this update ran the last of them.
  bool JobsEnded(const Tick& tick);
  void Start();

  Services& services_;
  std::mutex progressMutex_;  // guards progress_, jobsDone_ and the job ends
  // The caption's picture, and the part of it each of its eight places
  // shows, left to right.
  const char* caption_ = nullptr;
  std::array<platform::Rect, 8> captionPlaces_{};
  std::array<float, 8> wave_{};
  std::array<int, 8> waveDir_{};
  float progress_ = 0.0f;
  float shownProgress_ = 0.0f;
  double loadMs_ = 0.0;
  std::vector<Job> jobs_;
  Loader loader_ = kDefaultLoader;
  int workers_ = 1;
  // Jobs [front_, back_) are still to be taken: the loader thread takes
  // from the front, a helper from the back. With a helper the list is kept
  // with its part from the helper's start reversed, so that the back
  // gives those jobs in list order.
  std::size_t front_ = 0, back_ = 0;
  std::size_t jobsDone_ = 0;
  bool jobsFinished_ = false;        // every job has run; the uploads may not have
  std::atomic<bool> failed_{false};  // a job raised a fatal error
  double loadStartMs_ = 0.0;         // platform::MonotonicMs at the start
  NextScene next_;
  // The scene made for the hand-over, held for one update (owned until
  // handed over), and whether its first pictures have been rehearsed.
  SequenceChild* following_ = nullptr;
  bool rehearsed_ = false;
  std::unique_ptr<LoaderThread> thread_;
};

}  // namespace scenes
