// The title stepped update by update with the game's content: the intro's
// squash and spring, Enter and ESC with their edge rules, the quit prompt,
// the demo creature eating the caterpillar, the blinking prompt, the
// scrolling landscape and the scores under the crowns.
#include "scenes/title/title.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/texture_manager.h"
#include "scenes/game/game_parent.h"
#include "scenes/game_fixture.h"
#include "scenes/title/title_parent.h"

namespace scenes {
namespace {

namespace fs = std::filesystem;
using platform::Key;
using platform::TickInput;

constexpr float kLogoLeft = 41.5f;    // (800 - 717) / 2
constexpr float kLogoRight = 758.5f;  // and 717 pixels on

using scenetest::Model;
using scenetest::TrackPosition;
using scenetest::TrackSet;

class TitleTest : public scenetest::GameContentTest {
 protected:
  void SetUp() override {
    GameContentTest::SetUp();
    ASSERT_NE(Model(content::model::kPlayerUpBody), nullptr);
    ASSERT_NE(Model(content::model::kCaterpillar), nullptr);
    NewTitle();
  }

  void NewTitle() {
    parent_ = std::make_unique<TitleParent>(services);
    title_ = dynamic_cast<Title*>(parent_->child);
    ASSERT_NE(title_, nullptr);
  }

  // One update; what the title handed on in place of itself (null while it
  // stays).
  std::unique_ptr<SequenceChildBase> Step(const TickInput& input = {}) {
    SequenceChildBase* next = title_->Update(parent_.get(), MakeTick(input));
    if (next == title_) return nullptr;
    return std::unique_ptr<SequenceChildBase>(next);
  }
  void Steps(int n, const TickInput& input = {}) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(Step(input), nullptr);
  }
  // Skips the intro with one Enter press (Enter is up first).
  void SkipIntro() {
    Steps(1);
    Steps(1, Keys({Key::Return}));
    Steps(1);
    ASSERT_EQ(title_->titleState, Title::kWaiting);
  }

  std::unique_ptr<TitleParent> parent_;
  Title* title_ = nullptr;
};

TEST_F(TitleTest, TheBannerAndTheLogoSqueezeAndSpringBackOnTheirOwnUpdates) {
  EXPECT_EQ(title_->titleState, Title::kBannerIntro);
  EXPECT_FLOAT_EQ(title_->logoTargetLeft, kLogoLeft);
  EXPECT_FLOAT_EQ(title_->logoTargetRight, kLogoRight);
  int bannerSpring = 0, bannerDone = 0, logoSpring = 0, logoDone = 0;
  float bannerLeft[94], bannerRight[94], logoRight[94];
  for (int n = 1; n <= 93; ++n) {
    const int state = title_->titleState;
    const float speed = title_->slideSpeed;
    Steps(1);
    if (speed < 0 && title_->slideSpeed > 0) (state == 0 ? bannerSpring : logoSpring) = n;
    if (state == 0 && title_->titleState == 1) bannerDone = n;
    if (state == 1 && title_->titleState == 2) logoDone = n;
    bannerLeft[n] = title_->bannerLeft;
    bannerRight[n] = title_->bannerRight;
    logoRight[n] = title_->logoRight;
  }
  // The right edges: 25 pixels an update in, squeezed to 600, then back at
  // 26, 27, ... pixels an update.
  EXPECT_FLOAT_EQ(bannerRight[39], 625.0f);
  EXPECT_FLOAT_EQ(bannerRight[40], 600.0f);
  EXPECT_FLOAT_EQ(bannerRight[41], 626.0f);
  EXPECT_FLOAT_EQ(bannerRight[46], 771.0f);
  EXPECT_FLOAT_EQ(bannerRight[47], 800.0f);
  EXPECT_FLOAT_EQ(logoRight[47 + 39], 625.0f);
  EXPECT_FLOAT_EQ(logoRight[47 + 45], 740.0f);
  // The left edge stops at its place.
  EXPECT_FLOAT_EQ(bannerLeft[20], 300.0f);
  EXPECT_FLOAT_EQ(bannerLeft[32], 0.0f);
  EXPECT_FLOAT_EQ(bannerLeft[45], 0.0f);
  // The banner's 40th and 47th updates; the logo's 40th and 46th.
  EXPECT_EQ(bannerSpring, 40);
  EXPECT_EQ(bannerDone, 47);
  EXPECT_EQ(logoSpring, 47 + 40);
  EXPECT_EQ(logoDone, 47 + 46);
  EXPECT_EQ(title_->titleState, Title::kWaiting);
  EXPECT_FLOAT_EQ(title_->bannerLeft, 0.0f);
  EXPECT_FLOAT_EQ(title_->bannerRight, 800.0f);
  EXPECT_FLOAT_EQ(title_->logoLeft, kLogoLeft);
  EXPECT_FLOAT_EQ(title_->logoRight, kLogoRight);
}

TEST_F(TitleTest, EnterSkipsTheIntroOnlyAfterItWasUpAndThenStartsTheRun) {
  // Held while the title appears: nothing, the intro runs on.
  Steps(10, Keys({Key::Return}));
  EXPECT_EQ(title_->titleState, Title::kBannerIntro);
  EXPECT_FLOAT_EQ(title_->bannerRight, 1600.0f - 250.0f);
  Steps(1);
  Steps(1, Keys({Key::Return}));
  EXPECT_EQ(title_->titleState, Title::kWaiting);
  EXPECT_FLOAT_EQ(title_->bannerLeft, 0.0f);
  EXPECT_FLOAT_EQ(title_->bannerRight, 800.0f);
  EXPECT_FLOAT_EQ(title_->logoLeft, kLogoLeft);
  EXPECT_FLOAT_EQ(title_->logoRight, kLogoRight);
  // Still held: the same press does not start the run too.
  Steps(20, Keys({Key::Return}));
  EXPECT_EQ(title_->titleState, Title::kWaiting);
  Steps(1);
  Steps(1, Keys({Key::Return}));
  EXPECT_EQ(title_->titleState, Title::kLeaving);

  // During the logo's part of the intro the same.
  NewTitle();
  Steps(60);
  ASSERT_EQ(title_->titleState, Title::kLogoIntro);
  Steps(1, Keys({Key::Return}));
  EXPECT_EQ(title_->titleState, Title::kWaiting);
  EXPECT_FLOAT_EQ(title_->bannerLeft, 0.0f);
  EXPECT_FLOAT_EQ(title_->bannerRight, 800.0f);
  EXPECT_FLOAT_EQ(title_->logoLeft, kLogoLeft);
  EXPECT_FLOAT_EQ(title_->logoRight, kLogoRight);
}

TEST_F(TitleTest, LeavingFreezesTheTitleAndStartsTheRunAfter85Updates) {
  SkipIntro();
  Steps(30);
  Steps(1, Keys({Key::Return}));  // the first update of the fade
  ASSERT_EQ(title_->titleState, Title::kLeaving);
  const float planet = title_->planetAngle, background = title_->backgroundX,
              caterpillar = title_->caterpillarAngle;
  const double creature = TrackPosition(content::model::kPlayerUpBody);
  const double crawl = TrackPosition(content::model::kCaterpillar);
  // The prompt blinked on in this 34th update (5 x 34) before Enter was read;
  // it is held opaque from the next update on.
  EXPECT_FLOAT_EQ(title_->pushEnterAlpha, 170.0f);
  EXPECT_FLOAT_EQ(title_->leaveFade, 3.0f);
  for (int n = 2; n <= 84; ++n) {
    // Enter pressed again and ESC (armed by the updates before) change
    // nothing.
    TickInput input;
    if (n % 3 == 0) input = Keys({Key::Return});
    if (n % 5 == 0) input = Keys({Key::Escape});
    ASSERT_EQ(Step(input), nullptr) << n;
    EXPECT_FLOAT_EQ(title_->leaveFade, 3.0f * static_cast<float>(n));
    EXPECT_FLOAT_EQ(title_->pushEnterAlpha, 255.0f);
  }
  EXPECT_EQ(title_->titleState, Title::kLeaving);
  EXPECT_FALSE(title_->quitPrompt);
  EXPECT_EQ(title_->planetAngle, planet);
  EXPECT_EQ(title_->backgroundX, background);
  EXPECT_EQ(title_->caterpillarAngle, caterpillar);
  EXPECT_EQ(TrackPosition(content::model::kPlayerUpBody), creature);
  EXPECT_EQ(TrackPosition(content::model::kCaterpillar), crawl);
  EXPECT_FLOAT_EQ(title_->pushEnterAlpha, 255.0f);

  std::unique_ptr<SequenceChildBase> next = Step();
  ASSERT_NE(next, nullptr);
  EXPECT_NE(dynamic_cast<GameParent*>(next.get()), nullptr);
  EXPECT_FLOAT_EQ(title_->leaveFade, 255.0f);
}

TEST_F(TitleTest, EscapeAsksToQuitOnlyOnceTheIntroIsOver) {
  Steps(1);  // ESC seen up
  // A tap during the intro is forgotten.
  Steps(1, Keys({Key::Escape}));
  Steps(1);
  // Held through the intro: the question comes when the waiting begins.
  for (int n = 4; n <= 92; ++n) {
    Steps(1, Keys({Key::Escape}));
    ASSERT_FALSE(title_->quitPrompt) << n;
  }
  Steps(1, Keys({Key::Escape}));
  EXPECT_EQ(title_->titleState, Title::kWaiting);
  EXPECT_TRUE(title_->quitPrompt);

  // Nothing moves under the question, and Enter is no answer.
  const float planet = title_->planetAngle, blink = title_->pushEnterAlpha;
  Steps(5, Keys({Key::Escape}));
  Steps(1);
  Steps(1, Keys({Key::Return}));
  EXPECT_TRUE(title_->quitPrompt);
  EXPECT_EQ(title_->planetAngle, planet);
  EXPECT_EQ(title_->pushEnterAlpha, blink);
  EXPECT_EQ(title_->titleState, Title::kWaiting);

  // N closes it and the title goes on; a new ESC press opens it again.
  Steps(1, Keys({Key::N}));
  EXPECT_FALSE(title_->quitPrompt);
  Steps(1);
  EXPECT_NE(title_->planetAngle, planet);
  Steps(1, Keys({Key::Escape}));
  EXPECT_TRUE(title_->quitPrompt);
  EXPECT_FALSE(services.quitRequested);
  Steps(1, Keys({Key::Y}));
  EXPECT_TRUE(services.quitRequested);
}

TEST_F(TitleTest, TheEKeyReadsTheCaterpillarsCircleAgainOnEveryUpdate) {
  const fs::path ini = dir_ / "game_data.ini";
  fs::copy_file("Data/game_data.ini", ini);
  services.tuningPath = ini.string();
  auto setEnemy = [&](const std::string& value) {
    std::ifstream in(ini);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    const std::size_t at = text.find("Enemy=");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, text.find('\n', at) - at, "Enemy=" + value);
    std::ofstream(ini, std::ios::trunc) << text;
  };

  EXPECT_FLOAT_EQ(title_->caterpillarCentreX, 0.0f);
  EXPECT_FLOAT_EQ(title_->caterpillarCentreY, -8.98f);
  EXPECT_FLOAT_EQ(title_->caterpillarRadius, 7.5f);
  Steps(3);
  EXPECT_FLOAT_EQ(title_->caterpillarAngle, 300.3f);

  setEnemy("1.5,-2,3,4");
  for (int n = 0; n < 4; ++n) {
    Steps(1, Keys({Key::E}));
    // Back at 300, then the update's own 0.1 degree.
    EXPECT_FLOAT_EQ(title_->caterpillarAngle, 300.1f);
  }
  EXPECT_FLOAT_EQ(title_->caterpillarCentreX, 1.5f);
  EXPECT_FLOAT_EQ(title_->caterpillarCentreY, -2.0f);
  EXPECT_FLOAT_EQ(title_->caterpillarDepth, 3.0f);
  EXPECT_FLOAT_EQ(title_->caterpillarRadius, 4.0f);
  EXPECT_FLOAT_EQ(services.tuning.title.enemy.values[3], 4.0f);

  // Edited while E is held: the next update has the new circle.
  setEnemy("0,-5,0,6");
  Steps(1, Keys({Key::E}));
  EXPECT_FLOAT_EQ(title_->caterpillarCentreY, -5.0f);
  EXPECT_FLOAT_EQ(title_->caterpillarRadius, 6.0f);

  // Let go, the caterpillar crawls on; a press between two updates counts.
  Steps(2);
  EXPECT_FLOAT_EQ(title_->caterpillarAngle, 300.3f);
  TickInput tapped;
  tapped.pressed = TickInput::Bit(Key::E);
  Steps(1, tapped);
  EXPECT_FLOAT_EQ(title_->caterpillarAngle, 300.1f);

  // Under the quit question too (where nothing else moves).
  SkipIntro();
  Steps(1, Keys({Key::Escape}));
  ASSERT_TRUE(title_->quitPrompt);
  setEnemy("2,2,2,2");
  Steps(1, Keys({Key::E}));
  EXPECT_FLOAT_EQ(title_->caterpillarAngle, 300.0f);
  EXPECT_FLOAT_EQ(title_->caterpillarCentreX, 2.0f);
}

TEST_F(TitleTest, TheCaterpillarWalksFromTheStartWhateverPlayLeftItsModelAt) {
  // Play's drawing poses the shared caterpillar model at each insect's own
  // clock; a title made afterwards walks its own way from the start.
  Steps(10);
  const double fresh = TrackPosition(content::model::kCaterpillar);
  Model(content::model::kCaterpillar)->controller->SetTrackPosition(0, 12.345);
  NewTitle();
  Steps(10);
  EXPECT_DOUBLE_EQ(TrackPosition(content::model::kCaterpillar), fresh);
}

TEST_F(TitleTest, ThePromptBlinksWithAPeriodOf51Updates) {
  for (int n = 1; n <= 110; ++n) {
    Steps(1);
    // 5, 10, ..., 255, then 260 - 255 = 5 again.
    const int expected = ((n - 1) % 51 + 1) * 5;
    ASSERT_FLOAT_EQ(title_->pushEnterAlpha, static_cast<float>(expected)) << n;
  }
}

TEST_F(TitleTest, TheLandscapeJumpsBackToZeroWhenItPassesItsWidth) {
  SkipIntro();
  int jumps = 0, jumpedAt = 0;
  for (int n = 4; n <= 3100; ++n) {
    const float before = title_->backgroundX;
    Steps(1);
    if (title_->backgroundX == 0.0f) {
      ++jumps;
      jumpedAt = n;
      // It jumps on the update that would take it past -2407, not earlier.
      EXPECT_LT(before - 0.3f, -2407.0f);
    } else {
      ASSERT_GE(title_->backgroundX, -2407.0f) << n;
    }
  }
  EXPECT_EQ(jumps, 1);
  // 907 pixels at 0.3 a step: the 3024th update (3023 with the float sum).
  EXPECT_NEAR(jumpedAt, 3024, 1);
}

TEST_F(TitleTest, TheCreatureBitesWhenTheCaterpillarReachesTheTopAndChewsIt) {
  const char* upper = content::model::kPlayerUpBody;
  int biteAt = 0, caughtAt = 0, biteEnd = 0, chewEnd = 0, secondBite = 0;
  for (int n = 1; n <= 1200 && !secondBite; ++n) {
    const bool biting = title_->playerBiting, chewing = title_->playerChewing;
    const float angle = title_->caterpillarAngle;
    const double position = TrackPosition(upper);
    Steps(1);
    if (!biting && title_->playerBiting) {
      (biteAt ? secondBite : biteAt) = n;
      // It has just wrapped past 359 to 0, the top of the circle.
      EXPECT_EQ(title_->caterpillarAngle, 0.0f) << n;
      EXPECT_GT(angle, 358.8f) << n;
      EXPECT_EQ(TrackSet(upper), 3);
      EXPECT_EQ(TrackPosition(upper), 0.0);
    }
    if (!chewing && title_->playerChewing) {
      caughtAt = n;
      EXPECT_EQ(title_->caterpillarAngle, 300.0f);
      EXPECT_TRUE(title_->playerBiting);
      // The bite had not reached 13/59 s on the update before.
      EXPECT_LT(position, 0.22033898532390594);
      EXPECT_GE(TrackPosition(upper), 0.22033898532390594);
    }
    if (biting && !title_->playerBiting) biteEnd = n;
    if (chewing && !title_->playerChewing) {
      chewEnd = n;
      EXPECT_EQ(TrackSet(upper), 0);
    }
  }
  // 59 degrees at 0.1 a step.
  EXPECT_EQ(biteAt, 590);
  // 13 steps of 1/59 s in single precision fall just short of the float
  // 13/59: the 14th step catches it. The bite lasts 46 steps.
  EXPECT_EQ(caughtAt, 590 + 14);
  EXPECT_EQ(biteEnd, 590 + 46);
  EXPECT_GT(chewEnd, biteEnd);
  EXPECT_LT(chewEnd, biteEnd + 30);
  // The caterpillar crawls its 59 degrees again from where it was caught.
  EXPECT_EQ(secondBite, caughtAt + 590);
}

TEST_F(TitleTest, TheScoresUnderTheCrownsComeFromTheRankingFile) {
  EXPECT_EQ(title_->rankingText[0], "005000");
  EXPECT_EQ(title_->rankingText[1], "003000");
  EXPECT_EQ(title_->rankingText[2], "001000");

  // Drawn only once the intro is over: 18 digits of the title's strip.
  const media::TextureRecord* strip =
      scenetest::Content().textures.FindTexture(content::texture::kTitleScoreNum);
  ASSERT_NE(strip, nullptr);
  auto digitsDrawn = [&] {
    Device().ClearDraws();
    Device().RecordDraws(true);
    title_->Draw(parent_.get(), Frame());
    Device().RecordDraws(false);
    std::uint32_t triangles = 0;
    for (const platform::DrawRecord& d : Device().Draws()) {
      if (d.state.texture == strip->texture) triangles += d.primitiveCount;
    }
    Device().ClearDraws();
    return triangles / 2;
  };
  EXPECT_EQ(digitsDrawn(), 0u);
  SkipIntro();
  EXPECT_EQ(digitsDrawn(), 18u);

  std::ofstream(services.rankingPath, std::ios::trunc) << "1位,1234567\n2位,000042\n";
  NewTitle();
  EXPECT_EQ(title_->rankingText[0], "1234567");
  EXPECT_EQ(title_->rankingText[1], "000042");
  EXPECT_EQ(title_->rankingText[2], "000000");
  SkipIntro();
  EXPECT_EQ(digitsDrawn(), 19u);

  fs::remove(services.rankingPath);
  NewTitle();
  for (const std::string& text : title_->rankingText) EXPECT_EQ(text, "000000");
}

}  // namespace
}  // namespace scenes
