// The result phase stepped update by update with the game's content: the
// title sliding in, the accelerating count-up, the ranking written once,
// Enter and ESC, the figure walking in, turning and burping, and the frozen
// picture of the world taken on the first draw.
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/texture_manager.h"
#include "scenes/game/game_parent.h"
#include "scenes/game_fixture.h"
#include "scenes/result/game_result.h"
#include "scenes/title/title_parent.h"

namespace scenes {
namespace {

using platform::Key;
using platform::TickInput;

// The result's title, 296 pixels wide, comes to rest at (800 - 296) / 2.
constexpr float kTitleLeft = 252.0f;
constexpr float kTitleRight = 548.0f;
// Phase 0 ends on this update: the right edge runs in at 5.5 a step below
// 400 (update 127: 1096 - 127 x 5.5 = 397.5) and back at 7.5 a step until
// it reaches 548 (21 steps more).
constexpr int kSlideUpdates = 127 + 21;
constexpr const char* kParts[3] = {content::model::kPlayerUpBody, content::model::kPlayerDownBody,
                                   content::model::kPlayerHand};

using scenetest::Model;
using scenetest::TrackPosition;
using scenetest::TrackSet;

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ResultTest : public scenetest::GameContentTest {
 protected:
  void SetUp() override {
    GameContentTest::SetUp();
    for (const char* part : kParts) ASSERT_NE(Model(part), nullptr);
    game_.reset(dynamic_cast<GameParent*>(NewGame(services)));
    ASSERT_NE(game_, nullptr);
    NewResult(0);
  }

  // The run is over with this score: a new result in place of the play.
  void NewResult(int score) {
    game_->score.score = score;
    game_->paused = false;
    delete game_->child;
    result_ = new GameResult(services);
    game_->child = result_;
  }

  // One update; what the result handed on in place of itself (null while it
  // stays).
  std::unique_ptr<SequenceChildBase> Step(const TickInput& input = {}) {
    SequenceChildBase* next = result_->Update(game_.get(), MakeTick(input));
    if (next == result_) return nullptr;
    return std::unique_ptr<SequenceChildBase>(next);
  }
  void Steps(int n, const TickInput& input = {}) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(Step(input), nullptr);
  }
  // Updates (with the given keys) until the ranking has been entered.
  int StepsToWaiting(const TickInput& input = {}) {
    int n = 0;
    while (result_->phase != 3 && n < 1000) {
      EXPECT_EQ(Step(input), nullptr);
      ++n;
    }
    return n;
  }

  std::unique_ptr<GameParent> game_;
  GameResult* result_ = nullptr;
};

TEST_F(ResultTest, TheTitleSlidesInThenTheScoreCountsUpInGrowingSteps) {
  NewResult(3000);
  float left[kSlideUpdates + 1], right[kSlideUpdates + 1];
  for (int n = 1; n <= kSlideUpdates; ++n) {
    ASSERT_EQ(result_->phase, 0) << n;
    Steps(1);
    left[n] = result_->titleLeft;
    right[n] = result_->titleRight;
  }
  EXPECT_FLOAT_EQ(left[99], 255.5f);
  EXPECT_FLOAT_EQ(left[100], kTitleLeft);
  EXPECT_FLOAT_EQ(left[kSlideUpdates], kTitleLeft);
  EXPECT_FLOAT_EQ(right[126], 403.0f);
  EXPECT_FLOAT_EQ(right[127], 397.5f);
  EXPECT_FLOAT_EQ(right[128], 405.0f);
  EXPECT_FLOAT_EQ(right[kSlideUpdates - 1], 547.5f);
  EXPECT_EQ(result_->phase, 1);
  EXPECT_FLOAT_EQ(result_->titleRight, kTitleRight);
  EXPECT_FLOAT_EQ(result_->shownScore, 0.0f);

  // Steps of 1, 11, 31, 61, 101, ... each ten more than the last increase.
  const float shown[] = {1, 12, 43, 104, 205, 356, 567, 848, 1209, 1660, 2211, 2872};
  for (float expected : shown) {
    Steps(1);
    EXPECT_EQ(result_->phase, 1);
    EXPECT_FLOAT_EQ(result_->shownScore, expected);
  }
  // 3653 would overshoot: the score itself is shown and the count-up ends.
  Steps(1);
  EXPECT_EQ(result_->phase, 2);
  EXPECT_FLOAT_EQ(result_->shownScore, 3000.0f);
  EXPECT_EQ(services.runsFinished, 0);
  EXPECT_EQ(FileText(services.rankingPath), "1位,005000\n2位,003000\n3位,001000\n");
}

TEST_F(ResultTest, TheRankingIsEnteredOnceTheUpdateAfterTheCountUp) {
  NewResult(3000);
  EXPECT_EQ(StepsToWaiting(), kSlideUpdates + 13 + 1);
  EXPECT_EQ(services.runsFinished, 1);
  EXPECT_EQ(result_->rankedPlace, 1);
  EXPECT_EQ(game_->ranking, (Ranking{5000, 3000, 3000}));
  EXPECT_EQ(FileText(services.rankingPath), "1位,005000\n2位,003000\n3位,003000\n");

  // Never again in this result.
  std::ofstream(services.rankingPath, std::ios::trunc) << "changed by hand\n";
  Steps(400);
  EXPECT_EQ(FileText(services.rankingPath), "changed by hand\n");
  EXPECT_EQ(services.runsFinished, 1);
}

TEST_F(ResultTest, AScoreOfZeroEndsTheCountUpAtOnceAndAnExactHitDoesNot) {
  // 0: the first step shows 1, which is put back to 0; the next update ranks.
  Steps(kSlideUpdates + 1);
  EXPECT_EQ(result_->phase, 2);
  EXPECT_FLOAT_EQ(result_->shownScore, 0.0f);
  Steps(1);
  EXPECT_EQ(result_->phase, 3);
  EXPECT_EQ(services.runsFinished, 1);
  // Below all three: counted as a finished run, the file untouched.
  EXPECT_EQ(result_->rankedPlace, -1);
  EXPECT_EQ(FileText(services.rankingPath), "1位,005000\n2位,003000\n3位,001000\n");

  // 12 is what two steps show: the count-up goes on and clamps on the third.
  NewResult(12);
  Steps(kSlideUpdates + 2);
  EXPECT_EQ(result_->phase, 1);
  EXPECT_FLOAT_EQ(result_->shownScore, 12.0f);
  Steps(1);
  EXPECT_EQ(result_->phase, 2);
  EXPECT_FLOAT_EQ(result_->shownScore, 12.0f);
}

TEST_F(ResultTest, EnterHeldFromThePlayCountsOnlyAfterItWasLetGoWhileWaiting) {
  NewResult(100);
  const TickInput enter = Keys({Key::Return});
  Steps(40, enter);
  // Let go before the result is complete: that does not count.
  Steps(1);
  StepsToWaiting(enter);
  Steps(30, enter);
  EXPECT_EQ(result_->phase, 3);
  Steps(1);
  std::unique_ptr<SequenceChildBase> next = Step(enter);
  ASSERT_NE(next, nullptr);
  EXPECT_NE(dynamic_cast<TitleParent*>(next.get()), nullptr);
}

TEST_F(ResultTest, EscapeWaitsForTheRankingThenOnlyYAndNAnswer) {
  NewResult(3000);
  const TickInput escape = Keys({Key::Escape});
  // Held through the slide and the count-up: the prompt opens in the update
  // that completes the result, after the ranking was written.
  const int toWaiting = StepsToWaiting(escape);
  EXPECT_EQ(toWaiting, kSlideUpdates + 14);
  EXPECT_TRUE(game_->paused);
  EXPECT_EQ(FileText(services.rankingPath), "1位,005000\n2位,003000\n3位,003000\n");

  // Paused: the figure, the prompt's blink and the burp wait; Enter and ESC
  // are no answer.
  const engine::Matrix place = result_->modelPlace;
  const float blink = result_->blink;
  const int stage = result_->modelStage;
  Steps(1);
  Steps(1, Keys({Key::Return}));
  Steps(1, escape);
  EXPECT_TRUE(game_->paused);
  EXPECT_EQ(result_->blink, blink);
  EXPECT_EQ(result_->modelStage, stage);
  EXPECT_EQ(result_->modelPlace.m[3][0], place.m[3][0]);

  // N goes back to the result; ESC opens the prompt again.
  Steps(1, Keys({Key::N}));
  EXPECT_FALSE(game_->paused);
  Steps(1);
  EXPECT_NE(result_->blink, blink);
  Steps(1, escape);
  EXPECT_TRUE(game_->paused);

  // Y leaves for the title; the ranking is not written a second time.
  std::unique_ptr<SequenceChildBase> next = Step(Keys({Key::Y}));
  ASSERT_NE(next, nullptr);
  EXPECT_NE(dynamic_cast<TitleParent*>(next.get()), nullptr);
  EXPECT_EQ(services.runsFinished, 1);
  EXPECT_EQ(game_->ranking, (Ranking{5000, 3000, 3000}));
}

TEST_F(ResultTest, TheFigureWalksInTurnsAndBurpsOnce) {
  const char* upper = content::model::kPlayerUpBody;
  const char* lower = content::model::kPlayerDownBody;
  const media::TextureRecord* geppu =
      scenetest::Content().textures.FindTexture(content::texture::kGeppu);
  ASSERT_NE(geppu, nullptr);
  auto burpDrawn = [&] {
    Device().ClearDraws();
    Device().RecordDraws(true);
    result_->Draw(game_.get(), Frame());
    Device().RecordDraws(false);
    bool drawn = false;
    for (const platform::DrawRecord& d : Device().Draws())
      drawn |= d.state.texture == geppu->texture;
    Device().ClearDraws();
    return drawn;
  };

  // The creature stood still when the time ran out: its parts play at their
  // own pace (a run or a meal at the end would leave them faster).
  for (const char* part : kParts) Model(part)->controller->SetTrackSpeed(0, 1.0f);
  EXPECT_FLOAT_EQ(result_->modelPlace.m[3][0], 7.0f);
  int walked = 0, turned = 0, burpShown = 0, burpGone = 0, idle = 0, shows = 0;
  double lowerBefore = 0, lowerAtTurnEnd = 0, lowerAtBurpEnd = 0;
  for (int n = 1; n <= 600; ++n) {
    const int stage = result_->modelStage;
    const bool showing = result_->burpShowing;
    lowerBefore = TrackPosition(lower);
    Steps(1);
    if (stage == 0 && result_->modelStage == 1) walked = n;
    if (stage == 1 && result_->modelStage == 2) {
      turned = n;
      lowerAtTurnEnd = TrackPosition(lower) - lowerBefore;
      EXPECT_EQ(TrackSet(upper), 1);
      EXPECT_EQ(TrackPosition(upper), 0.0);
      EXPECT_EQ(TrackSet(lower), 2);
      EXPECT_EQ(TrackSet(content::model::kPlayerHand), 2);
    }
    if (stage == 2 && result_->modelStage == 3) {
      idle = n;
      lowerAtBurpEnd = TrackPosition(lower) - lowerBefore;
      EXPECT_EQ(TrackSet(upper), 2);
    }
    if (!showing && result_->burpShowing) {
      ++shows;
      burpShown = n;
      EXPECT_GE(TrackPosition(upper), 0.33898305892944336);
      EXPECT_EQ(result_->burpCounter, 1);
      EXPECT_TRUE(burpDrawn());
    }
    if (showing && !result_->burpShowing) {
      burpGone = n;
      EXPECT_EQ(result_->burpCounter, 100);
      EXPECT_FALSE(burpDrawn());
    }
    if (n < 70) {
      ASSERT_GT(result_->modelPlace.m[3][0], 3.5f) << n;
    }
  }
  // 3.5 to walk at 0.05 a step; 45 degrees to turn at a half (the 91st half
  // passes 45).
  EXPECT_EQ(walked, 70);
  EXPECT_EQ(turned, 70 + 91);
  EXPECT_FLOAT_EQ(result_->modelTurned, 45.5f);
  EXPECT_FLOAT_EQ(result_->modelPlace.m[3][1], -3.25f);
  // The figure stands on x 3.5, turned 45.5 degrees: the place's first row is
  // (cos 45.5, 0, sin 45.5) about Y the game's way round.
  EXPECT_NEAR(result_->modelPlace.m[3][0], 3.5f, 1e-5f);
  EXPECT_NEAR(result_->modelPlace.m[0][0], 0.70090926f, 1e-4f);
  EXPECT_NEAR(std::abs(result_->modelPlace.m[0][2]), 0.71325045f, 1e-4f);
  // The update that ends the turn does not step the models; the one that
  // ends the burp steps them twice.
  EXPECT_EQ(lowerAtTurnEnd, 0.0);
  EXPECT_NEAR(lowerAtBurpEnd, 2.0 / 59.0, 1e-6);
  // 20 steps of the float 1/59 fall just short of the float 20/59: the burp
  // shows on the 21st step, and the burp ends on the 58th.
  EXPECT_EQ(burpShown, turned + 21);
  EXPECT_EQ(idle, turned + 58);
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(burpGone, burpShown + 99);
  EXPECT_EQ(result_->burpCounter, 100);
}

// Counts the render-target textures made through it.
class CountingDevice : public platform::NullDevice {
 public:
  platform::Texture* CreateTexture(std::uint32_t width, std::uint32_t height,
                                   platform::Usage usage) override {
    if (usage == platform::Usage::RenderTarget) ++renderTargets;
    return NullDevice::CreateTexture(width, height, usage);
  }
  platform::Texture* CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels,
                                   platform::Usage usage, std::uint32_t contentWidth,
                                   std::uint32_t contentHeight) override {
    if (usage == platform::Usage::RenderTarget) ++renderTargets;
    return NullDevice::CreateTexture(width, height, levels, usage, contentWidth, contentHeight);
  }
  int renderTargets = 0;
};

TEST_F(ResultTest, TheFirstDrawFreezesTheWorldAndLaterDrawsShowThatPicture) {
  CountingDevice device;
  platform::Surface* backBuffer = device.GetBackBuffer();
  platform::Surface* depth = device.GetDepthStencilSurface();
  const DrawContext frame{device, *scenetest::Content().sprite.Get(), scenetest::Content().textures,
                          scenetest::Content().meshes, backBuffer};
  device.RecordDraws(true);

  result_->Draw(game_.get(), frame);
  EXPECT_EQ(device.renderTargets, 1);
  ASSERT_NE(result_->snapshot, nullptr);
  EXPECT_TRUE(result_->snapshotTaken);
  EXPECT_EQ(result_->snapshot->GetUsage(), platform::Usage::RenderTarget);
  EXPECT_EQ(result_->snapshot->Width(), 800u);
  EXPECT_EQ(result_->snapshot->Height(), 600u);
  // Drawing goes back to the screen and its depth buffer.
  platform::Surface* target = device.GetRenderTarget(0);
  EXPECT_EQ(target, backBuffer);
  target->Release();
  platform::Surface* nowDepth = device.GetDepthStencilSurface();
  EXPECT_EQ(nowDepth, depth);
  nowDepth->Release();
  EXPECT_EQ(device.SceneDepth(), 0);
  const std::size_t firstDraws = device.Draws().size();

  platform::Texture* snapshot = result_->snapshot;
  for (int i = 0; i < 3; ++i) {
    device.ClearDraws();
    Steps(1);
    result_->Draw(game_.get(), frame);
    EXPECT_EQ(device.renderTargets, 1);
    EXPECT_EQ(result_->snapshot, snapshot);
    // The world is not drawn again: only the picture of it, as the
    // background quad.
    EXPECT_LT(device.Draws().size(), firstDraws);
    ASSERT_FALSE(device.Draws().empty());
    EXPECT_EQ(device.Draws().front().state.texture, snapshot);
  }
  device.RecordDraws(false);
  device.SetTexture(0, nullptr);
  // The result gives its picture back before the device goes.
  delete game_->child;
  game_->child = nullptr;
  result_ = nullptr;
  depth->Release();
  backBuffer->Release();
}

}  // namespace
}  // namespace scenes
