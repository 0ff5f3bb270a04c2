#include "scenes/loading/load_parent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "app/shell.h"
#include "engine/image.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/texture_manager.h"
#include "platform/null/device_null.h"

namespace scenes {
namespace {

namespace fs = std::filesystem;
namespace tex = content::texture;

// The handshake of the test's loading scene, for jobs that look at it.
LoaderHandshake* gHandshake = nullptr;

// Jobs the test releases one at a time.
std::mutex gGateMutex;
std::condition_variable gGateCv;
int gReleased = 0;
std::atomic<int> gJobsRun{0};

void GatedJob(const LoadTargets&) {
  int mine = gJobsRun.load();
  std::unique_lock<std::mutex> lock(gGateMutex);
  gGateCv.wait(lock, [mine] { return gReleased > mine; });
  ++gJobsRun;
}

void QuickJob(const LoadTargets&) { ++gJobsRun; }

void BigNumberJob(const LoadTargets& to) {
  to.textures.LoadTexture(tex::kResultScoreNum, 600, 108);
  ++gJobsRun;
}

void FailingModelJob(const LoadTargets& to) {
  to.meshes.LoadAnimatedModel(content::model::kFly, nullptr);
}

void Release(int n) {
  {
    std::lock_guard<std::mutex> lock(gGateMutex);
    gReleased = n;
  }
  gGateCv.notify_all();
}

// The scene after loading: counts how many there are and their draws.
int gNextAlive = 0, gNextDraws = 0;
class NextScene : public SequenceChild {
 public:
  NextScene() { ++gNextAlive; }
  ~NextScene() override { --gNextAlive; }
  using SequenceChild::Update;
  SequenceChildBase* Update(SequenceParent*, const Tick&) override { return this; }
  void Draw(const DrawContext& frame) override {
    ++gNextDraws;
    frame.device.Present();
  }
};
SequenceChild* MakeNext(Services&) { return new NextScene; }

void WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 5000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(done());
}

// The null device, with textures that wait for their upload while
// `pendingUploads` is above 0.
class UploadingDevice : public platform::NullDevice {
 public:
  bool UploadsPending() const override { return pendingUploads > 0; }
  int pendingUploads = 0;
};

// Runs in a temporary folder with the three pictures of the loading screen,
// on the null device.
class LoadParentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("poromeko_load_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_ / "Texture");
    fs::current_path(dir_);
    WritePng(tex::kLoadingStr, 255, 62);
    WritePng(tex::kResultScoreNum, 550, 79);
    WritePng(tex::kPar, 77, 79);
    device_ = std::make_unique<UploadingDevice>();
    textures_ = std::make_unique<media::TextureManager>(device_.get());
    sprite_ = std::make_unique<media::SharedSprite>(device_.get());
    gReleased = 0;
    gJobsRun = 0;
    gNextAlive = gNextDraws = 0;
    gHandshake = &handshake_;
    services_.textures = textures_.get();
    services_.meshes = &meshes_;
    services_.device = device_.get();
    services_.loader = &handshake_;
  }
  void TearDown() override {
    gHandshake = nullptr;
    sprite_.reset();
    textures_.reset();
    device_.reset();
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void WritePng(const char* path, std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * h, 0xFF336699u);
    ASSERT_TRUE(engine::SavePng(path, w, h, px.data(), nullptr));
  }

  void Update(SequenceParent& root) { root.Update(platform::TickInput{}, services_); }
  DrawContext Frame() { return {*device_, *sprite_->Get(), *textures_, meshes_, nullptr}; }
  void Draw(SequenceParent& root) { root.Draw(Frame()); }
  void Rehearse(SequenceParent& root) { root.Rehearse(Frame()); }

  fs::path old_, dir_;
  std::unique_ptr<UploadingDevice> device_;
  std::unique_ptr<media::TextureManager> textures_;
  std::unique_ptr<media::SharedSprite> sprite_;
  media::MeshManager meshes_;
  LoaderHandshake handshake_;
  Services services_;
};

TEST_F(LoadParentTest, ShownPercentageTrailsTheRealOneByAtMostOnePercent) {
  std::vector<LoadParent::Job> jobs(4, &GatedJob);
  auto* scene = new LoadParent(services_, jobs, &MakeNext);
  SequenceParent root(scene);
  float last = 0.0f;
  for (int released = 1; released <= 3; ++released) {
    Release(released);
    WaitFor([&] { return scene->Progress() >= released / 4.0f; });
    for (int i = 0; i < 40; ++i) {
      Update(root);
      ASSERT_EQ(root.child, scene);
      float shown = scene->ShownProgress();
      EXPECT_GE(shown, last);
      EXPECT_LE(shown - last, 0.0100001f);
      EXPECT_LE(shown, scene->Progress());
      last = shown;
    }
  }
  EXPECT_FLOAT_EQ(last, 0.75f);  // 40 updates reached the real value, not beyond
  Release(4);
  WaitFor([&] {
    return !gHandshake->RecordedLoaderThread() ||
           !gHandshake->RecordedLoaderThread()->StillActive();
  });
  Update(root);
  Update(root);
  EXPECT_NE(root.child, nullptr);
  EXPECT_EQ(dynamic_cast<LoadParent*>(root.child), nullptr);
}

TEST_F(LoadParentTest, HandsOverAsSoonAsTheThreadEndsWhateverIsShown) {
  auto* scene = new LoadParent(services_, {&QuickJob, &QuickJob, &BigNumberJob}, &MakeNext);
  SequenceParent root(scene);
  WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
  EXPECT_FALSE(services_.loaded);
  Update(root);  // the first update after the end makes the title; nothing was shown yet
  Update(root);  // and the next hands over
  ASSERT_NE(dynamic_cast<NextScene*>(root.child), nullptr);
  EXPECT_TRUE(services_.loaded);
  EXPECT_EQ(gHandshake->RecordedLoaderThread(), nullptr);
  EXPECT_EQ(gJobsRun.load(), 3);
  // The loading screen's own pictures are gone; the digit strip stays with
  // the size the constructor asked for.
  EXPECT_EQ(textures_->FindTexture(tex::kLoadingStr), nullptr);
  EXPECT_EQ(textures_->FindTexture(tex::kPar), nullptr);
  EXPECT_FALSE(textures_->DrawTexture(*sprite_->Get(), tex::kPar, 0, 0, 255));
  media::TextureRecord* digits = textures_->FindTexture(tex::kResultScoreNum);
  ASSERT_NE(digits, nullptr);
  EXPECT_EQ(digits->width, 550u);
  EXPECT_EQ(digits->height, 79u);
  EXPECT_NE(digits->texture, nullptr);
}

TEST_F(LoadParentTest, HandsOverOnceThePicturesHaveGoneToTheGraphicsMemory) {
  auto* scene = new LoadParent(services_, {&QuickJob, &QuickJob}, &MakeNext);
  SequenceParent root(scene);
  WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
  device_->pendingUploads = 2;
  for (int frame = 0; frame < 2; ++frame, --device_->pendingUploads) {
    Update(root);
    ASSERT_EQ(root.child, scene) << frame;  // the loading screen goes on
    EXPECT_FALSE(services_.loaded);
    EXPECT_EQ(gJobsRun.load(), 2);
  }
  Update(root);
  Update(root);
  EXPECT_NE(dynamic_cast<NextScene*>(root.child), nullptr);
  EXPECT_TRUE(services_.loaded);
}

TEST_F(LoadParentTest, TheNextSceneIsMadeAnUpdateEarlyAndItsFirstPictureRehearsedUnseen) {
  auto* scene = new LoadParent(services_, {&QuickJob}, &MakeNext);
  SequenceParent root(scene);
  WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
  Rehearse(root);  // nothing made yet: nothing to rehearse
  EXPECT_EQ(gNextDraws, 0);
  Update(root);
  ASSERT_EQ(root.child, scene);  // made, not shown: the loading screen stays
  EXPECT_EQ(gNextAlive, 1);
  EXPECT_FALSE(services_.loaded);
  Draw(root);
  const int presents = device_->PresentCount();
  Rehearse(root);
  Rehearse(root);  // one rehearsal is enough: two pictures, the second
                   // starting from the states the first left
  EXPECT_EQ(gNextDraws, 2);
  EXPECT_EQ(device_->PresentCount(), presents);  // drawn, but nothing shown
  Update(root);
  ASSERT_NE(dynamic_cast<NextScene*>(root.child), nullptr);
  EXPECT_EQ(gNextAlive, 1);  // the one made before
  EXPECT_TRUE(services_.loaded);
  Draw(root);
  EXPECT_EQ(device_->PresentCount(), presents + 1);
}

TEST_F(LoadParentTest, ASceneMadeButNeverHandedOverGoesWithTheLoadingScene) {
  {
    SequenceParent root(new LoadParent(services_, {&QuickJob}, &MakeNext));
    WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
    Update(root);
    EXPECT_EQ(gNextAlive, 1);
  }  // the window closed before the next update
  EXPECT_EQ(gNextAlive, 0);
}

TEST_F(LoadParentTest, AHeadlessRunWaitsForTheLoaderInItsFirstUpdate) {
  std::vector<LoadParent::Job> jobs(3, &GatedJob);
  SequenceParent root(new LoadParent(services_, jobs, &MakeNext));
  services_.waitForLoader = true;
  std::thread releaser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Release(3);
  });
  Update(root);  // however slow the loader, the title is made in this update
  releaser.join();
  EXPECT_EQ(gNextAlive, 1);
  Update(root);  // and handed over in the next
  EXPECT_EQ(gJobsRun.load(), 3);
  EXPECT_NE(dynamic_cast<NextScene*>(root.child), nullptr);
}

TEST_F(LoadParentTest, StopFlagIsHonouredBetweenJobs) {
  std::vector<LoadParent::Job> jobs(5, &GatedJob);
  {
    SequenceParent root(new LoadParent(services_, jobs, &MakeNext));
    WaitFor([] { return gHandshake->RecordedLoaderThread() != nullptr; });
    gHandshake->RequestStop();  // set while the first job runs
    Release(5);
    WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
    EXPECT_EQ(gJobsRun.load(), 1);  // the current job finished, no other started
  }
  EXPECT_EQ(gHandshake->RecordedLoaderThread(), nullptr);
}

TEST_F(LoadParentTest, WindowClosedWhileLoadingDeletesTheSceneCleanly) {
  std::vector<LoadParent::Job> jobs(3, &GatedJob);
  auto system = platform::CreateHeadlessSystem();
  SequenceParent root(new LoadParent(services_, jobs, &MakeNext));
  std::thread closer([&] { app::OnWindowDestroy(*system, *gHandshake); });
  WaitFor([] { return gHandshake->StopRequested(); });
  Release(3);
  closer.join();
  EXPECT_EQ(gJobsRun.load(), 1);
  EXPECT_FALSE(system->PumpEvents());
}

TEST_F(LoadParentTest, AModelThatCannotLoadEndsTheLoaderWithAFatalError) {
  SequenceParent root(
      new LoadParent(services_, {&QuickJob, &FailingModelJob, &QuickJob}, &MakeNext));
  WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
  EXPECT_TRUE(gHandshake->FatalErrorPending());
  EXPECT_NE(gHandshake->TakeFatalErrorMessage().find(media::kXFileLoadFailed), std::string::npos);
  EXPECT_NE(gHandshake->TakeFatalErrorMessage().find(content::model::kFly), std::string::npos);
  EXPECT_EQ(gJobsRun.load(), 1);
}

// Jobs that hold on until another job runs beside them (or a long while
// passes), and note the threads they ran on.
std::mutex gSideMutex;
std::condition_variable gSideCv;
int gInFlight = 0, gMostInFlight = 0;
std::set<std::thread::id> gJobThreads;

void SideBySideJob(const LoadTargets&) {
  std::unique_lock<std::mutex> lock(gSideMutex);
  gJobThreads.insert(std::this_thread::get_id());
  gMostInFlight = std::max(gMostInFlight, ++gInFlight);
  gSideCv.notify_all();
  gSideCv.wait_for(lock, std::chrono::seconds(5), [] { return gMostInFlight >= 2; });
  --gInFlight;
  ++gJobsRun;
}

TEST_F(LoadParentTest, TwoWorkersTakeEveryJobOnceSideBySide) {
  gInFlight = gMostInFlight = 0;
  gJobThreads.clear();
  std::vector<LoadParent::Job> jobs(40, &SideBySideJob);
  jobs.push_back(&BigNumberJob);
  auto* scene = new LoadParent(services_, jobs, &MakeNext, LoadParent::Loader::Thread, 2);
  SequenceParent root(scene);
  WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
  EXPECT_EQ(gJobsRun.load(), 41);
  EXPECT_FLOAT_EQ(scene->Progress(), 1.0f);
  EXPECT_EQ(gMostInFlight, 2);
  EXPECT_EQ(gJobThreads.size(), 2u);
  Update(root);
  Update(root);
  EXPECT_NE(dynamic_cast<NextScene*>(root.child), nullptr);
  EXPECT_NE(textures_->FindTexture(tex::kResultScoreNum), nullptr);
}

// Jobs that note which thread ran them, in what order. With two workers
// jobs 0 and 3 each wait (a while at most) until the other has started, so
// that the two threads' first jobs run side by side.
std::vector<std::pair<int, std::thread::id>> gRunOrder;
bool gFirstJobsMeet = false;

// The thread that ran `job` (none yet: the default id).
std::thread::id ThreadOf(int job) {
  for (const auto& [index, id] : gRunOrder)
    if (index == job) return id;
  return {};
}
bool Started(int job) { return ThreadOf(job) != std::thread::id{}; }

template <int Index>
void OrderedJob(const LoadTargets&) {
  std::unique_lock<std::mutex> lock(gSideMutex);
  gRunOrder.emplace_back(Index, std::this_thread::get_id());
  gSideCv.notify_all();
  if (gFirstJobsMeet && (Index == 0 || Index == 3)) {
    gSideCv.wait_for(lock, std::chrono::seconds(5), [] { return Started(0) && Started(3); });
  }
  ++gJobsRun;
}

// The jobs `thread` ran, in the order it ran them.
std::vector<int> RanOn(std::thread::id thread) {
  std::vector<int> ran;
  for (const auto& [index, id] : gRunOrder)
    if (id == thread) ran.push_back(index);
  return ran;
}

TEST_F(LoadParentTest, AHelperStartsWhereItIsToldAndBothThreadsKeepTheListsOrder) {
  const std::vector<LoadParent::Job> jobs = {&OrderedJob<0>, &OrderedJob<1>, &OrderedJob<2>,
                                             &OrderedJob<3>, &OrderedJob<4>, &OrderedJob<5>};
  {
    gRunOrder.clear();
    gFirstJobsMeet = false;
    SequenceParent root(
        new LoadParent(services_, jobs, &MakeNext, LoadParent::Loader::Thread, 1, 3));
    WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
    EXPECT_EQ(RanOn(gRunOrder.at(0).second), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  }
  gHandshake->ResetStopFlag();  // set as the first scene went
  gRunOrder.clear();
  gFirstJobsMeet = true;
  SequenceParent root(new LoadParent(services_, jobs, &MakeNext, LoadParent::Loader::Thread, 2, 3));
  WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
  ASSERT_EQ(gRunOrder.size(), 6u);
  // The helper's first job is the one it was told.
  const std::thread::id loader = ThreadOf(0), helper = ThreadOf(3);
  ASSERT_NE(loader, helper);
  const std::vector<int> loaders = RanOn(loader), helpers = RanOn(helper);
  ASSERT_EQ(loaders.front(), 0);
  ASSERT_EQ(helpers.front(), 3);
  // Each runs its part in list order, then the other's last remaining jobs
  // from the end back.
  EXPECT_EQ(loaders.size() + helpers.size(), 6u);
  std::set<int> all(loaders.begin(), loaders.end());
  all.insert(helpers.begin(), helpers.end());
  EXPECT_EQ(all.size(), 6u);
  auto own = [](const std::vector<int>& ran, int from, int to) {
    std::vector<int> part;
    for (int i : ran)
      if (i >= from && i < to) part.push_back(i);
    return part;
  };
  const std::vector<int> loadersOwn = own(loaders, 0, 3), helpersOwn = own(helpers, 3, 6);
  EXPECT_TRUE(std::is_sorted(loadersOwn.begin(), loadersOwn.end()));
  EXPECT_TRUE(std::is_sorted(helpersOwn.begin(), helpersOwn.end()));
  EXPECT_TRUE(std::is_sorted(loaders.begin() + static_cast<std::ptrdiff_t>(loadersOwn.size()),
                             loaders.end(), std::greater<>()));
  EXPECT_TRUE(std::is_sorted(helpers.begin() + static_cast<std::ptrdiff_t>(helpersOwn.size()),
                             helpers.end(), std::greater<>()));
}

std::atomic<int> gStartedAfterFailure{0};
void NotingJob(const LoadTargets&) {
  if (gHandshake->FatalErrorPending()) ++gStartedAfterFailure;
  std::this_thread::sleep_for(std::chrono::microseconds(200));
  ++gJobsRun;
}

TEST_F(LoadParentTest, WithTwoWorkersAModelThatCannotLoadStopsBoth) {
  gStartedAfterFailure = 0;
  std::vector<LoadParent::Job> jobs(3, &NotingJob);
  jobs.push_back(&FailingModelJob);
  jobs.insert(jobs.end(), 200, &NotingJob);
  SequenceParent root(new LoadParent(services_, jobs, &MakeNext, LoadParent::Loader::Thread, 2));
  WaitFor([] { return !gHandshake->RecordedLoaderThread()->StillActive(); });
  EXPECT_TRUE(gHandshake->FatalErrorPending());
  // The other worker finishes the job it holds (which it may have taken
  // just before the failure), and takes none after.
  EXPECT_GE(gJobsRun.load(), 3);
  EXPECT_LE(gStartedAfterFailure.load(), 1);
  Update(root);
  EXPECT_NE(dynamic_cast<LoadParent*>(root.child), nullptr);  // never hands over
}

TEST_F(LoadParentTest, CaptionBouncesAndDrawShowsCaptionDigitsAndPercent) {
  auto* scene = new LoadParent(services_, {&GatedJob}, &MakeNext);
  SequenceParent root(scene);
  // Glyphs start at 0, 2, ..., 14 falling; each bounces between 0 and 10.
  for (int i = 0; i < 200; ++i) {
    Update(root);
    for (float w : scene->Wave()) {
      EXPECT_GE(w, 0.0f);
      EXPECT_LE(w, i < 10 ? 14.0f : 10.0f);
    }
  }
  EXPECT_NE(scene->Wave()[0], scene->Wave()[1]);  // out of phase
  Draw(root);
  engine::Sprite* sprite = sprite_->Get();
  const auto& quads = sprite->LastBatch();
  // Eight caption glyphs, one digit (" 0"), the percent sign.
  ASSERT_EQ(quads.size(), 10u);
  EXPECT_FLOAT_EQ(quads[0].corners[0].x, 453.0f);
  EXPECT_FLOAT_EQ(quads[7].corners[1].x, 800.0f);  // the caption ends at the right edge
  EXPECT_FLOAT_EQ(quads[8].corners[0].x, 306.5f + 55.0f);
  EXPECT_FLOAT_EQ(quads[8].corners[0].y, 260.5f);
  EXPECT_FLOAT_EQ(quads[9].corners[0].x, 306.5f + 110.0f);
  EXPECT_EQ(device_->PresentCount(), 1);
  Release(1);
}

}  // namespace
}  // namespace scenes

namespace scenes {
namespace {

void SlowJob(const LoadTargets&) {
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  ++gJobsRun;
}

// Where there are no threads (the browser), the updates run the jobs a
// slice at a time and the screen moves between them.
TEST_F(LoadParentTest, WithoutThreadsTheUpdatesRunTheJobsInSlices) {
  std::vector<LoadParent::Job> jobs(12, &SlowJob);
  auto* scene = new LoadParent(services_, jobs, &MakeNext, LoadParent::Loader::Updates);
  SequenceParent root(scene);
  EXPECT_EQ(gHandshake->RecordedLoaderThread(), nullptr);
  EXPECT_EQ(gJobsRun.load(), 0);  // nothing runs before the first update
  Update(root);
  const int afterOne = gJobsRun.load();
  EXPECT_GE(afterOne, 1);
  EXPECT_LT(afterOne, 12);  // 36 ms of jobs do not fit in one slice
  EXPECT_FLOAT_EQ(scene->Progress(), static_cast<float>(afterOne) / 12.0f);
  Draw(root);  // the loading screen draws between slices
  int updates = 1;
  while (dynamic_cast<NextScene*>(root.child) == nullptr && updates < 100) {
    Update(root);
    ++updates;
  }
  EXPECT_EQ(gJobsRun.load(), 12);
  EXPECT_GE(updates, 3);
  EXPECT_TRUE(services_.loaded);
  EXPECT_NE(dynamic_cast<NextScene*>(root.child), nullptr);
}

TEST_F(LoadParentTest, WithoutThreadsAHeadlessRunLoadsInItsFirstUpdate) {
  std::vector<LoadParent::Job> jobs(12, &SlowJob);
  SequenceParent root(new LoadParent(services_, jobs, &MakeNext, LoadParent::Loader::Updates));
  services_.waitForLoader = true;
  Update(root);
  EXPECT_EQ(gJobsRun.load(), 12);
  Update(root);
  EXPECT_NE(dynamic_cast<NextScene*>(root.child), nullptr);
}

TEST_F(LoadParentTest, WithoutThreadsAModelThatCannotLoadStopsLoadingForGood) {
  SequenceParent root(new LoadParent(services_, {&QuickJob, &FailingModelJob, &QuickJob}, &MakeNext,
                                     LoadParent::Loader::Updates));
  for (int i = 0; i < 5; ++i) Update(root);
  EXPECT_TRUE(gHandshake->FatalErrorPending());
  EXPECT_NE(gHandshake->TakeFatalErrorMessage().find(content::model::kFly), std::string::npos);
  EXPECT_EQ(gJobsRun.load(), 1);
  // The shell shows the error and closes; the title never comes.
  EXPECT_EQ(dynamic_cast<NextScene*>(root.child), nullptr);
  EXPECT_FALSE(services_.loaded);
}

}  // namespace
}  // namespace scenes
