#include "scenes/loading/load_parent.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/threads.h"

namespace scenes {

namespace tex = content::texture;
namespace snd = content::sound;
namespace mdl = content::model;

namespace {

template <const char* Path, std::uint32_t W, std::uint32_t H>
void TextureJob(const LoadTargets& to) {
  to.textures.LoadTexture(Path, W, H);
}

template <const char* Path>
void SoundJob(const LoadTargets& to) {
  if (to.sounds) to.sounds->LoadSound(Path);
}

template <const char* Path>
void StaticMeshJob(const LoadTargets& to) {
  to.meshes.LoadStaticMesh(Path, to.device);
}

// A mesh the game casts rays at: the creature stands on the planet, and the
// culling looks through trees.
template <const char* Path>
void RayCastMeshJob(const LoadTargets& to) {
  to.meshes.LoadStaticMesh(Path, to.device, true);
}

template <const char* Path>
void AnimatedModelJob(const LoadTargets& to) {
  to.meshes.LoadAnimatedModel(Path, to.device);
}

void PlayerJob(const LoadTargets& to) {
  // One job for the three parts of the creature.
  to.meshes.LoadAnimatedModel(mdl::kPlayerUpBody, to.device);
  to.meshes.LoadAnimatedModel(mdl::kPlayerDownBody, to.device);
  to.meshes.LoadAnimatedModel(mdl::kPlayerHand, to.device);
}

}  // namespace

std::vector<LoadParent::Job> LoadParent::DefaultJobs(content::Language language) {
  // A caption's job loads the picture of the language chosen: the other
  // language's are never drawn, and the two question pictures alone are
  // four megabytes of graphics memory each.
  const bool english = language == content::Language::English;
  auto caption = [english](Job japanese, Job inEnglish) { return english ? inEnglish : japanese; };
  return {
      caption(&TextureJob<tex::kCombo, 90, 32>, &TextureJob<tex::kComboEn, 90, 32>),
      &TextureJob<tex::kNum, 400, 57>,
      &TextureJob<tex::kTime, 57, 57>,
      &TextureJob<tex::kPlayerFace, 51, 42>,
      &TextureJob<tex::kWildGauge, 300, 47>,
      &TextureJob<tex::kDot, 19, 41>,
      caption(&TextureJob<tex::kScore, 215, 73>, &TextureJob<tex::kScoreEn, 215, 73>),
      caption(&TextureJob<tex::kResult, 296, 80>, &TextureJob<tex::kResultEn, 296, 80>),
      &TextureJob<tex::kWildGaugeVal, 300, 47>,
      &TextureJob<tex::kS, 38, 44>,
      &TextureJob<tex::kSMiss, 38, 44>,
      &TextureJob<tex::kM, 41, 47>,
      &TextureJob<tex::kL, 43, 49>,
      &TextureJob<tex::kW, 45, 52>,
      &TextureJob<tex::kMMiss, 41, 47>,
      &TextureJob<tex::kLMiss, 43, 49>,
      &TextureJob<tex::kWMiss, 45, 52>,
      // Already loaded by the constructor at 550 x 79; this request changes nothing.
      &TextureJob<tex::kResultScoreNum, 600, 108>,
      caption(&TextureJob<tex::kGeppu, 113, 96>, &TextureJob<tex::kGeppuEn, 113, 96>),
      &TextureJob<tex::kBalloon, 70, 54>,
      &TextureJob<tex::kHeart, 70, 54>,
      &TextureJob<tex::kNote, 70, 54>,
      &TextureJob<tex::kSweat, 70, 54>,
      &TextureJob<tex::kNumCombo, 400, 57>,
      caption(&TextureJob<tex::kBackTitle, 800, 600>, &TextureJob<tex::kBackTitleEn, 800, 600>),
      &TextureJob<tex::kTitle, 717, 273>,
      &TextureJob<tex::kTitleBack, 2407, 600>,
      caption(&TextureJob<tex::kPushEnter, 350, 62>, &TextureJob<tex::kPushEnterEn, 350, 62>),
      &TextureJob<tex::kTitlePlanet, 1069, 1068>,
      &TextureJob<tex::kVer, 86, 19>,
      &TextureJob<tex::kCrown1, 80, 67>,
      &TextureJob<tex::kCrown2, 64, 54>,
      &TextureJob<tex::kCrown3, 48, 40>,
      &TextureJob<tex::kTitleScoreNum, 210, 33>,
      &TextureJob<tex::kTitleW, 800, 224>,
      caption(&TextureJob<tex::kEndGame, 800, 600>, &TextureJob<tex::kEndGameEn, 800, 600>),
      &TextureJob<tex::kComboTimeGauge, 179, 10>,
      caption(&TextureJob<tex::kKeyLegend, 224, 152>, &TextureJob<tex::kKeyLegendEn, 224, 152>),
      &SoundJob<snd::kTitleBgm>,
      &SoundJob<snd::kSelect>,
      &SoundJob<snd::kGameBgm>,
      &SoundJob<snd::kBon>,
      &SoundJob<snd::kEatGoku>,
      &SoundJob<snd::kEatHyoi>,
      &SoundJob<snd::kEnd>,
      &SoundJob<snd::kMiss>,
      &RayCastMeshJob<mdl::kPlanet>,
      &StaticMeshJob<mdl::kSkySphere>,
      &PlayerJob,
      &AnimatedModelJob<mdl::kButterfly>,
      &AnimatedModelJob<mdl::kCaterpillar>,
      &StaticMeshJob<mdl::kBeetleBug>,
      &AnimatedModelJob<mdl::kBeetleBugFly>,
      &AnimatedModelJob<mdl::kFlower>,
      &RayCastMeshJob<mdl::kTree>,
      &StaticMeshJob<mdl::kStump>,
      &AnimatedModelJob<mdl::kFly>,
  };
}

int LoadParent::DefaultWorkers() { return platform::HardwareThreads() >= 2 ? 2 : 1; }

std::size_t LoadParent::DefaultHelperStart() {
  const std::vector<Job> jobs = DefaultJobs();
  const Job planet = &RayCastMeshJob<mdl::kPlanet>;
  return static_cast<std::size_t>(std::find(jobs.begin(), jobs.end(), planet) - jobs.begin());
}

LoadParent::LoadParent(Services& services, std::vector<Job> jobs, NextScene next, Loader loader,
                       int workers, std::size_t helperStart)
    : services_(services), loader_(loader), workers_(workers), next_(next) {
  const content::texture::Captions& captions = content::CaptionsIn(services.language);
  caption_ = captions.loading;
  const content::texture::CaptionCells& cells = *captions.loadingCells;
  for (std::size_t i = 0; i < captionPlaces_.size(); ++i) {
    const std::size_t cell = cells.order[i];
    captionPlaces_[i] = {cells.edges[cell], 0, cells.edges[cell + 1], 62};
  }
  // What the loading screen itself draws is there from the first frame.
  services_.textures->LoadTexture(caption_, 255, 62);
  services_.textures->LoadTexture(tex::kResultScoreNum, 550, 79);
  services_.textures->LoadTexture(tex::kPar, 77, 79);
  progress_ = 0.0f;
  shownProgress_ = 0.0f;
  wave_ = {0, 2, 4, 6, 8, 10, 12, 14};
  waveDir_.fill(-1);
  jobs_ = std::move(jobs);
  if (loader_ == Loader::Thread && workers_ > 1 && helperStart < jobs_.size())
    std::reverse(jobs_.begin() + static_cast<std::ptrdiff_t>(helperStart), jobs_.end());
  back_ = jobs_.size();
  Start();
}

void LoadParent::Start() {
  // Pictures are decoded and meshes built on the loader thread, in a malloc
  // arena of its own, and their CPU copies are freed by the drawing thread
  // once uploaded: every large block goes back to the system at once.
  platform::HoldLargeBlocksBriefly();
  loadStartMs_ = platform::MonotonicMs();
  if (loader_ == Loader::Updates) return;  // the updates run the jobs
  thread_ = std::make_unique<LoaderThread>([this] { LoaderRoutine(); });
  services_.loader->RecordLoaderThread(thread_.get());
}

LoadParent::~LoadParent() {
  // Loading that never finished (the window closed first) has been stopped by
  // the close step; make sure the thread is gone before the jobs are.
  if (thread_) {
    services_.loader->RequestStop();
    thread_->Join();
    if (services_.loader->RecordedLoaderThread() == thread_.get())
      services_.loader->RecordLoaderThread(nullptr);
    thread_.reset();
  }
  delete following_;
  services_.textures->UnloadTexture(caption_);
  services_.textures->UnloadTexture(tex::kPar);
  jobs_.clear();
}

bool LoadParent::RunNextJob(bool fromBack) {
  std::size_t job = 0;
  {
    std::lock_guard<std::mutex> lock(progressMutex_);
    if (failed_ || front_ >= back_) return false;
    job = fromBack ? --back_ : front_++;
  }
  const LoadTargets targets{services_.device, *services_.textures, *services_.meshes,
                            services_.sounds};
  try {
    jobs_[job](targets);
  } catch (const std::exception& e) {
    // A model the game cannot run without: the main thread shows it and
    // ends the run; no further job starts.
    services_.loader->RaiseFatalError(e.what());
    std::lock_guard<std::mutex> lock(progressMutex_);
    failed_ = true;
    front_ = back_;
    return false;
  }
  const bool stop = services_.loader->StopRequested();
  std::lock_guard<std::mutex> lock(progressMutex_);
  ++jobsDone_;
  progress_ = static_cast<float>(jobsDone_) / static_cast<float>(jobs_.size());
  if (stop) front_ = back_;
  return !failed_ && front_ < back_;
}

void LoadParent::FinishLoading() {
  // What the jobs built and threw away stays in the loader's arena otherwise.
  platform::TrimAllocator();
  loadMs_ = platform::MonotonicMs() - loadStartMs_;
}

void LoadParent::LoaderRoutine() {
  // Helpers take jobs beside this thread. The jobs share only the caches,
  // which take loads from several threads; pictures, sounds and models are
  // decoded side by side.
  // All of them leave the drawing thread first call on the cores, so the
  // loading screen keeps its frames.
  platform::YieldToForeground();
  std::vector<std::unique_ptr<platform::Worker>> helpers;
  for (int i = 1; i < workers_; ++i) {
    auto helper = platform::StartWorker([this, fromBack = i % 2 == 1] {
      platform::YieldToForeground();
      while (RunNextJob(fromBack)) {
      }
    });
    if (!helper) break;  // no thread to be had: this one takes every job
    helpers.push_back(std::move(helper));
  }
  while (RunNextJob()) {
  }
  for (auto& helper : helpers) helper->Join();
  if (!failed_) FinishLoading();
}

bool LoadParent::RunJobsOnThisThread(bool all) {
  // Jobs for about half a frame, at least one: the loading screen keeps
  // moving while the jobs go by, as it does beside the loader thread.
  constexpr double kSliceMs = 8.0;
  const double start = platform::MonotonicMs();
  bool more = true;
  {
    std::lock_guard<std::mutex> lock(progressMutex_);
    more = front_ < back_;
  }
  while (more) {
    more = RunNextJob();
    const double spent = platform::MonotonicMs() - start;
    if (!all && spent >= kSliceMs) break;
  }
  if (more || failed_) return false;
  FinishLoading();
  return true;
}

float LoadParent::Progress() {
  std::lock_guard<std::mutex> lock(progressMutex_);
  return progress_;
}

bool LoadParent::JobsEnded(const Tick& tick) {
  if (thread_) {
    if (tick.services.waitForLoader) thread_->Join();
    if (thread_->StillActive()) return false;
    thread_->Join();
    services_.loader->RecordLoaderThread(nullptr);
    thread_.reset();
    return !failed_;
  }
  if (loader_ == Loader::Updates && !failed_)
    return RunJobsOnThisThread(tick.services.waitForLoader);
  return false;
}

SequenceChildBase* LoadParent::Update(SequenceParent*, const Tick& tick) {
  if (!jobsFinished_ && JobsEnded(tick)) {
    jobsFinished_ = true;
    if (tick.services.verbose) {
      std::fprintf(stderr, "poromeko: %zu load jobs in %.1f ms\n", jobs_.size(), loadMs_);
    }
  }
  // The pictures the jobs made go to the graphics memory between frames, a
  // few at a time; the loading screen stays until the last has gone, so
  // that the first frames of the next scene do not send them.
  const platform::Device* device = tick.services.device;
  if (following_) {
    tick.services.loaded = true;
    SequenceChild* next = following_;
    following_ = nullptr;
    return next;
  }
  if (jobsFinished_ && !(device && device->UploadsPending())) {
    // Made now, shown from the next update: its first pictures are rehearsed
    // between the two (its first draw builds what its states and pictures
    // need, longer than a tick, and the tick after would skip its draw).
    following_ = next_(tick.services);
    if (!following_) {
      tick.services.loaded = true;
      return nullptr;
    }
  }
  for (std::size_t i = 0; i < wave_.size(); ++i) {
    wave_[i] += static_cast<float>(waveDir_[i]) * 0.5f;
    if (wave_[i] > 10.0f && waveDir_[i] == 1) {
      wave_[i] = 10.0f;
      waveDir_[i] = -1;
    }
    if (wave_[i] < 0.0f && waveDir_[i] == -1) {
      wave_[i] = 0.0f;
      waveDir_[i] = 1;
    }
  }
  float progress = Progress();
  shownProgress_ += 0.01f;
  if (progress < shownProgress_) shownProgress_ = progress;
  return this;
}

void LoadParent::Rehearse(const DrawContext& frame) {
  if (!following_ || rehearsed_) return;
  rehearsed_ = true;
  // Twice: the second picture starts from the states the first left behind,
  // not the loading screen's, and a rasteriser that builds code per state
  // combination builds more for it (about 80 ms of it with nothing cached
  // from an earlier run).
  frame.device.SetRehearsal(true);
  following_->Draw(frame);
  following_->Draw(frame);
  frame.device.SetRehearsal(false);
}

void LoadParent::Draw(const DrawContext& frame) {
  platform::Device& device = frame.device;
  engine::Sprite& sprite = frame.sprite;
  device.BeginScene();
  device.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFF000000u, 1.0f, 0);
  device.LightEnable(0, true);
  device.SetFVF(platform::kFvfXyz | platform::kFvfDiffuse | platform::kFvfTex1);
  sprite.Begin(engine::kSpriteAlphaBlend);
  // The caption ends at the screen's right edge.
  float x = 800.0f;
  for (const platform::Rect& cell : captionPlaces_) x -= static_cast<float>(cell.right - cell.left);
  for (std::size_t i = 0; i < captionPlaces_.size(); ++i) {
    const platform::Rect& cell = captionPlaces_[i];
    frame.textures.DrawTexturePart(sprite, caption_, x, 538.0f - wave_[i], 255.0f, cell.left,
                                   cell.top, cell.right, cell.bottom);
    x += static_cast<float>(cell.right - cell.left);
  }
  char text[16];
  std::snprintf(text, sizeof text, "%2d", static_cast<int>(shownProgress_ * 100.0f));
  x = 306.5f;
  media::TextureRecord* digits = frame.textures.FindTexture(tex::kResultScoreNum);
  for (const char* c = text; *c; ++c) {
    if (*c >= '0' && *c <= '9' && digits && digits->texture) {
      int d = *c - '0';
      platform::Rect cell{d * 55, 0, d * 55 + 55, 79};
      sprite.SetTransform(engine::MatrixTranslation(x, 260.5f, 0.0f));
      engine::Vec3 centre{0, 0, 0};
      sprite.Draw(digits->texture, &cell, &centre, nullptr, 0xFFFFFFFFu);
    }
    x += 55.0f;
  }
  frame.textures.DrawTexture(sprite, tex::kPar, x, 260.5f, 255.0f);
  sprite.End();
  device.EndScene();
  device.Present();
}

}  // namespace scenes
