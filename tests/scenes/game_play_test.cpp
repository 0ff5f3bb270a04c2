// The playing phase stepped by hand with the game's content on the null
// device: the fade, the camera keys, the pause, the combo timer, the banner,
// the time limit, the insect icons, and what the display draws.
#include "scenes/game/game_play.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "creatures/eating.h"
#include "creatures/enemy_manager.h"
#include "creatures/fly.h"
#include "engine/sprite.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "platform/sound.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/hud.h"
#include "scenes/game_fixture.h"
#include "scenes/result/game_result.h"
#include "scenes/title/title_parent.h"

namespace scenes {
namespace {

using platform::Key;
namespace tex = content::texture;

// A fly that keeps still where the test puts it.
class PerchedFly : public creatures::Enemy04 {
 public:
  explicit PerchedFly(float height) : Enemy04(height) {}
  bool EnemyUpdate(const creatures::EnemyWorld&) override { return alive; }
};

class GamePlayTest : public scenetest::GameContentTest {
 protected:
  void SetUp() override {
    GameContentTest::SetUp();
    for (const char* s : {content::sound::kGameBgm, content::sound::kSelect}) StopSound(s);
    root = std::make_unique<SequenceParent>(NewGame(services));
    game = dynamic_cast<GameParent*>(root->child);
    ASSERT_NE(game, nullptr);
  }
  void TearDown() override {
    root.reset();
    GameContentTest::TearDown();
  }

  void Update(const platform::TickInput& input = {}) { root->Update(input, services); }
  void SkipFade() {
    for (int u = 0; u < 85; ++u) Update();
    ASSERT_FALSE(Play()->fading);
  }
  GamePlay* Play() const { return dynamic_cast<GamePlay*>(game->child); }
  // One update with ESC up, then one with it down: the pause opens.
  void OpenPause() {
    Update();
    Update(Keys({Key::Escape}));
    ASSERT_TRUE(game->paused);
  }

  std::unique_ptr<SequenceParent> root;
  GameParent* game = nullptr;  // owned by root while it is current
};

using GamePlayFadeTest = GamePlayTest;

TEST_F(GamePlayFadeTest, TheFirst85UpdatesOnlyFadeAndTheMusicStartsInThe85th) {
  std::vector<engine::Quaternion> insects;
  for (const auto& e : enemies.enemies) insects.push_back(e->mRotation);
  const engine::Quaternion facing = game->player->mRotation;
  const platform::TickInput keys =
      Keys({Key::Z, Key::X, Key::Up, Key::Space, Key::Escape, Key::Y, Key::N});
  for (int u = 1; u <= 84; ++u) {
    Update(keys);
    ASSERT_TRUE(Play()->fading) << "update " << u;
    EXPECT_EQ(Play()->fadeAlpha, 255.0f - 3.0f * static_cast<float>(u));
    EXPECT_FALSE(Playing(content::sound::kGameBgm)) << "update " << u;
  }
  Update(keys);
  EXPECT_FALSE(Play()->fading);
  EXPECT_EQ(Play()->fadeAlpha, 0.0f);
  EXPECT_TRUE(Playing(content::sound::kGameBgm));
  EXPECT_TRUE(Playing(content::sound::kGameBgm, platform::kStatusLooping));
  // Nothing else happened in those 85 updates, whatever was held.
  EXPECT_EQ(game->timeLeft, 180.0f);
  EXPECT_EQ(game->cameraYaw, 0.0f);
  EXPECT_EQ(game->skyAngle, 0.0f);
  EXPECT_FALSE(game->paused);
  EXPECT_FALSE(game->player->biting);
  EXPECT_FALSE(game->player->moving);
  EXPECT_EQ(game->player->hungerCounter, 0);
  EXPECT_EQ(game->player->mRotation, facing);
  ASSERT_EQ(enemies.enemies.size(), insects.size());
  for (std::size_t i = 0; i < insects.size(); ++i) {
    EXPECT_EQ(enemies.enemies[i]->mRotation, insects[i]) << "insect " << i;
  }
  // The 86th is play: time runs, Z turns the camera, Space bites.
  Update(Keys({Key::Z, Key::Space}));
  EXPECT_EQ(game->timeLeft, 180.0f - 0.016666668f);
  EXPECT_EQ(game->cameraYaw, 358.0f);
  EXPECT_TRUE(game->player->biting);
}

using GamePlayCameraTest = GamePlayTest;

TEST_F(GamePlayCameraTest, ZAndXTurnTheCameraTwoDegreesWrappingOnlyPast360) {
  SkipFade();
  const struct {
    float from;
    std::vector<Key> keys;
    float to;
  } cases[] = {
      {0.0f, {Key::Z}, 358.0f},
      {358.0f, {Key::X}, 360.0f},
      {360.0f, {Key::X}, 2.0f},
      {1.0f, {Key::Z}, 359.0f},
      {2.0f, {Key::Z}, 0.0f},
      {100.0f, {Key::Z, Key::X}, 98.0f},
      {100.0f, {Key::Up, Key::Space}, 100.0f},
  };
  for (const auto& c : cases) {
    game->cameraYaw = c.from;
    platform::TickInput in;
    for (Key k : c.keys) in.Press(k);
    Update(in);
    EXPECT_EQ(game->cameraYaw, c.to) << "from " << c.from;
  }
}

using GamePlayPauseTest = GamePlayTest;

TEST_F(GamePlayPauseTest, AHeldEscOpensThePauseOnceAndAfterNOnlyAFreshPressOpensItAgain) {
  SkipFade();
  // ESC is seen up first: the flag arms.
  Update();
  EXPECT_TRUE(root->escapeArmed);
  Update(Keys({Key::Escape}));
  EXPECT_TRUE(game->paused);
  EXPECT_FALSE(root->escapeArmed);
  EXPECT_TRUE(Playing(content::sound::kSelect));
  StopSound(content::sound::kSelect);

  // Paused: nothing moves, whatever is held, and ESC neither closes nor
  // reopens the prompt; the flag is not looked at.
  const float time = game->timeLeft;
  const float sky = game->skyAngle;
  const int hunger = game->player->hungerCounter;
  const platform::TickInput pausedKeys[] = {
      Keys({Key::Escape}),         Keys({Key::Escape, Key::Z}), {},
      Keys({Key::Up, Key::Space}), Keys({Key::Escape}),         {}};
  for (const platform::TickInput& in : pausedKeys) {
    Update(in);
    EXPECT_TRUE(game->paused);
    EXPECT_FALSE(root->escapeArmed);
  }
  EXPECT_FALSE(Playing(content::sound::kSelect));
  EXPECT_EQ(game->timeLeft, time);
  EXPECT_EQ(game->skyAngle, sky);
  EXPECT_EQ(game->cameraYaw, 0.0f);
  EXPECT_EQ(game->player->hungerCounter, hunger);
  EXPECT_FALSE(game->player->biting);

  // N closes it. ESC down since before does not reopen it; once seen up, a
  // press does.
  Update(Keys({Key::N, Key::Escape}));
  EXPECT_FALSE(game->paused);
  for (int u = 0; u < 3; ++u) {
    Update(Keys({Key::Escape}));
    EXPECT_FALSE(game->paused);
  }
  EXPECT_NE(game->timeLeft, time) << "playing again";
  Update();
  EXPECT_FALSE(game->paused);
  Update(Keys({Key::Escape}));
  EXPECT_TRUE(game->paused);
  EXPECT_TRUE(Playing(content::sound::kSelect));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(GamePlayPauseTest, YWhilePausedGivesUpTheRunForANewTitleAndRecordsNothing) {
  SkipFade();
  game->score.score = 999999;  // would top the ranking
  const std::string ranking = ReadFile(services.rankingPath);
  ASSERT_FALSE(ranking.empty());
  // Y is no key of play.
  Update(Keys({Key::Y}));
  ASSERT_EQ(root->child, game);
  EXPECT_FALSE(game->paused);
  OpenPause();
  ASSERT_TRUE(Playing(content::sound::kGameBgm));
  Update(Keys({Key::Y}));
  EXPECT_NE(dynamic_cast<TitleParent*>(root->child), nullptr);
  game = nullptr;  // gone with the run
  EXPECT_FALSE(Playing(content::sound::kGameBgm)) << "the music ends with the run";
  EXPECT_EQ(ReadFile(services.rankingPath), ranking);
  EXPECT_EQ(services.runsFinished, 0);
}

TEST_F(GamePlayPauseTest, OnlyAFreshPressAnswersThePromptAndEnterPausesToo) {
  SkipFade();
  // A gamepad's A holds Space and Y while it bites; Back (ESC) pauses. The
  // Y already held does not give the run up; letting go and pressing does.
  platform::TickInput bite;
  bite.Hold(Key::Space);
  bite.Hold(Key::Y);
  Update(bite);
  platform::TickInput biteAndPause = bite;
  biteAndPause.Press(Key::Escape);
  Update(biteAndPause);
  ASSERT_TRUE(game->paused);
  for (int u = 0; u < 30; ++u) Update(bite);
  EXPECT_EQ(root->child, game);
  EXPECT_TRUE(game->paused);
  platform::TickInput no;
  no.Press(Key::N);
  Update(no);
  EXPECT_FALSE(game->paused);
  // Enter (a gamepad's Start) pauses once per press, like ESC.
  Update(Keys({Key::Return}));
  EXPECT_TRUE(game->paused);
  Update(Keys({Key::N}));
  ASSERT_FALSE(game->paused);
  platform::TickInput held;
  held.Hold(Key::Return);  // still down, not pressed again
  Update(held);
  EXPECT_FALSE(game->paused);
  Update(Keys({Key::Y}));  // Y is no key of play
  Update(Keys({Key::Return}));
  ASSERT_TRUE(game->paused);
  Update(Keys({Key::Y}));
  EXPECT_NE(dynamic_cast<TitleParent*>(root->child), nullptr);
  game = nullptr;
}

using GamePlayComboTest = GamePlayTest;

TEST_F(GamePlayComboTest, AComboTimerOfOneRunsOutInTheNextUpdate) {
  SkipFade();
  game->score.comboTimer = 1;
  game->score.comboCount = 3;
  game->score.comboShown = true;
  Update();
  EXPECT_EQ(game->score.comboTimer, 0);
  EXPECT_EQ(game->score.comboCount, 0);
  EXPECT_FALSE(game->score.comboShown);
  // A timer at 2 still has one update to go.
  game->score.comboTimer = 2;
  game->score.comboCount = 3;
  game->score.comboShown = true;
  Update();
  EXPECT_EQ(game->score.comboTimer, 1);
  EXPECT_EQ(game->score.comboCount, 3);
  EXPECT_TRUE(game->score.comboShown);
}

TEST_F(GamePlayComboTest, AMealInPlayIsScoredInItsOwnUpdateAndItsChainRunsOutIn350Updates) {
  SkipFade();
  Update();  // standing: the body's clocks run at speed 1
  // Only a fly that keeps still, in front of the mouth and clear of the body.
  enemies.ClearEnemies();
  creatures::Player& player = *game->player;
  const engine::Vec3 at = player.MouthCentre() + world::Forward(player.mRotation) * 1.0f;
  auto fly = std::make_unique<PerchedFly>(engine::Vec3Length(at));
  const engine::Vec3 n = engine::Vec3Normalize(at);
  fly->mRotation = engine::QuaternionRotationAxis(
      engine::Vec3Normalize(engine::Vec3Cross({0.0f, 1.0f, 0.0f}, n)), std::acos(n.y));
  ASSERT_LT(engine::Vec3Length(fly->GetHitSpheres()[0].Centre() - at), 1e-3f);
  enemies.enemies.push_back(std::move(fly));

  // The bite lands in its update 14: the score, the combo and the list are
  // settled by the end of that update, and the timer already counted once.
  for (int u = 0; u < 14; ++u) Update(Keys({Key::Space}));
  ASSERT_EQ(enemies.enemies.size(), 1u);
  EXPECT_EQ(game->score.score, 0);
  Update(Keys({Key::Space}));
  EXPECT_TRUE(enemies.enemies.empty());
  EXPECT_EQ(game->score.score, 50);
  EXPECT_EQ(game->score.comboCount, 1);
  EXPECT_EQ(game->score.comboTimer, 349);
  EXPECT_EQ(game->score.bugIcons[creatures::kFly].result, 1);
  EXPECT_NEAR(game->score.bugIcons[creatures::kFly].pulse, 1.04f, 1e-6f) << "and it pulses";

  // Counting the meal's update as the first, the chain is still there in the
  // 349th and gone in the 350th.
  for (int u = 2; u <= 349; ++u) Update();
  EXPECT_EQ(game->score.comboCount, 1);
  EXPECT_EQ(game->score.comboTimer, 1);
  Update();
  EXPECT_EQ(game->score.comboCount, 0);
  EXPECT_EQ(game->score.comboTimer, 0);
  EXPECT_FALSE(game->score.comboShown);
}

TEST_F(GamePlayComboTest, TheBannerSlidesInBySevenAnUpdateAndStaysAt527) {
  SkipFade();
  game->score.comboBannerX = 800.0f;
  for (int u = 1; u <= 39; ++u) {
    Update();
    ASSERT_EQ(game->score.comboBannerX, 800.0f - 7.0f * static_cast<float>(u)) << "update " << u;
  }
  EXPECT_EQ(game->score.comboBannerX, 527.0f);
  for (int u = 0; u < 30; ++u) Update();
  EXPECT_EQ(game->score.comboBannerX, 527.0f);
  // Restarted by a meal, it does not move while the game is paused.
  game->score.comboBannerX = 800.0f;
  OpenPause();  // two updates of play
  EXPECT_EQ(game->score.comboBannerX, 786.0f);
  for (int u = 0; u < 5; ++u) Update();
  EXPECT_EQ(game->score.comboBannerX, 786.0f);
}

using GamePlayTimeTest = GamePlayTest;

TEST_F(GamePlayTimeTest, TimeUpHandsOverToTheResultAfter180SecondsOfPlayNotCountingPauses) {
  SkipFade();
  int played = 0;
  while (Play() && played < 20000) {
    if (played == 5000) {
      // A pause of 200 updates in the middle of the run.
      Update();
      Update(Keys({Key::Escape}));
      played += 2;
      ASSERT_TRUE(game->paused);
      const float left = game->timeLeft;
      for (int u = 0; u < 200; ++u) Update();
      EXPECT_EQ(game->timeLeft, left);
      Update(Keys({Key::N}));
      EXPECT_EQ(game->timeLeft, left);
      continue;
    }
    Update();
    ++played;
  }
  EXPECT_NEAR(played, 180 * 60, 1);
  EXPECT_NE(dynamic_cast<GameResult*>(game->child), nullptr);
  EXPECT_EQ(game->timeLeft, 0.0f);
  EXPECT_FALSE(Playing(content::sound::kGameBgm)) << "the music ends with the playing phase";
}

TEST_F(GamePlayTimeTest, EscapeOrEnterInTheUpdateTheTimeRunsOutDoesNotCostTheScore) {
  SkipFade();
  Update();  // ESC seen up: armed
  game->score.score = 4000;
  game->timeLeft = 0.01f;
  // Pressed in the very update the time runs out, then Y at once: a paused
  // result would take Y as "give up" and leave before the score is ranked.
  Update(Keys({Key::Escape, Key::Return}));
  auto* result = dynamic_cast<GameResult*>(game->child);
  ASSERT_NE(result, nullptr);
  EXPECT_FALSE(game->paused);
  Update(Keys({Key::Y}));
  for (int u = 0; u < 200 && result->phase < 3; ++u) Update();
  EXPECT_EQ(result->phase, 3);
  EXPECT_EQ(game->ranking, (Ranking{5000, 4000, 3000}));
}

TEST(BugIconTest, APulseLasts22StepsAndAMissShakesTwoPixelsEachWayMeanwhile) {
  std::array<creatures::BugIcon, 4> icons;
  icons[0].Restart(1);
  icons[3].Restart(2);
  const float shakes[] = {1.5f, 2.0f, 0.5f, -1.0f, -2.0f, -0.5f, 1.0f, 2.0f, 0.5f, -1.0f, -2.0f};
  float peak = 0.0f;
  int peakStep = 0;
  for (int step = 1; step <= 22; ++step) {
    const float before = icons[0].pulse;
    AnimateBugIcons(icons);
    if (icons[0].pulse > peak) {
      peak = icons[0].pulse;
      peakStep = step;
    }
    if (step <= 11) {
      EXPECT_GT(icons[0].pulse, before) << "step " << step;
    } else {
      EXPECT_LT(icons[0].pulse, before) << "step " << step;
    }
    EXPECT_EQ(icons[3].pulse, icons[0].pulse) << "both pulse alike";
    if (step <= 11) {
      EXPECT_EQ(icons[3].shake, shakes[step - 1]) << "step " << step;
    }
    if (step < 22) {
      EXPECT_EQ(icons[0].result, 1) << "step " << step;
      EXPECT_EQ(icons[3].result, 2) << "step " << step;
    }
  }
  EXPECT_EQ(peakStep, 11);
  EXPECT_NEAR(peak, 1.44f, 1e-5f);
  EXPECT_EQ(icons[0].result, 0);
  EXPECT_EQ(icons[3].result, 0);
  EXPECT_LT(icons[0].pulse, 1.0f);
  EXPECT_GT(icons[0].pulse, 0.999f);
  // Over: nothing moves any more; idle icons never did.
  const creatures::BugIcon done = icons[3];
  AnimateBugIcons(icons);
  EXPECT_EQ(icons[3].pulse, done.pulse);
  EXPECT_EQ(icons[3].shake, done.shake);
  EXPECT_EQ(icons[1].pulse, 1.0f);
  EXPECT_EQ(icons[1].shake, 0.0f);
  EXPECT_EQ(icons[1].result, 0);
}

TEST_F(GamePlayTest, TheIconsAnimateOnceAPlayingUpdateNeverWhileFadingOrPaused) {
  game->score.bugIcons[2].Restart(2);
  for (int u = 0; u < 85; ++u) Update();
  EXPECT_EQ(game->score.bugIcons[2].pulse, 1.0f);
  EXPECT_EQ(game->score.bugIcons[2].shake, 0.0f);
  OpenPause();  // two updates of play
  EXPECT_NEAR(game->score.bugIcons[2].pulse, 1.08f, 1e-6f);
  EXPECT_EQ(game->score.bugIcons[2].shake, 2.0f);
  for (int u = 0; u < 5; ++u) Update();
  EXPECT_NEAR(game->score.bugIcons[2].pulse, 1.08f, 1e-6f);
  EXPECT_EQ(game->score.bugIcons[2].shake, 2.0f);
}

// What the display drew: the sprite's quads of one texture, in draw order.
class GameHudTest : public GamePlayTest {
 protected:
  std::vector<engine::SpriteQuad> Draw() {
    DrawHud(*game, Frame());
    return (*scenetest::Content().sprite.Get()).LastBatch();
  }
  static std::vector<engine::SpriteQuad> Of(const std::vector<engine::SpriteQuad>& quads,
                                            const char* path) {
    const media::TextureRecord* record = scenetest::Content().textures.FindTexture(path);
    std::vector<engine::SpriteQuad> out;
    if (!record || !record->texture) {
      ADD_FAILURE() << path << " is not loaded";
      return out;
    }
    for (const engine::SpriteQuad& q : quads)
      if (q.texture == record->texture) out.push_back(q);
    return out;
  }
  // The digit a quad shows: its cell of the 40-pixel strip.
  static int Digit(const engine::SpriteQuad& q) {
    return static_cast<int>(std::lround(q.uv[0].x * static_cast<float>(q.texture->Width()))) / 40;
  }
  static float Width(const engine::SpriteQuad& q) { return q.corners[1].x - q.corners[0].x; }
  // The digits drawn at a height, with where each starts.
  static std::string Text(const std::vector<engine::SpriteQuad>& digits, float y,
                          std::vector<float>* xs = nullptr) {
    std::string text;
    for (const engine::SpriteQuad& q : digits) {
      if (q.corners[0].y != y) continue;
      text += static_cast<char>('0' + Digit(q));
      if (xs) xs->push_back(q.corners[0].x);
    }
    return text;
  }
};

TEST_F(GameHudTest, TheScoreIsSixDigitsFromX20AtY523AndASeventhRunsFurther) {
  game->score.score = 1234;
  std::vector<float> xs;
  EXPECT_EQ(Text(Of(Draw(), tex::kNum), 523.0f, &xs), "001234");
  EXPECT_EQ(xs, (std::vector<float>{20, 60, 100, 140, 180, 220}));
  game->score.score = 1234567;
  xs.clear();
  EXPECT_EQ(Text(Of(Draw(), tex::kNum), 523.0f, &xs), "1234567");
  ASSERT_EQ(xs.size(), 7u);
  EXPECT_EQ(xs.back(), 260.0f);
}

TEST_F(GameHudTest, TheTimeShowsMinutesAColonAndTwoDigitSecondsAtTheTopRight) {
  const struct {
    float left;
    const char* text;
  } cases[] = {{179.99f, "259"}, {65.5f, "105"}, {0.0f, "000"}, {180.0f, "300"}};
  for (const auto& c : cases) {
    game->timeLeft = c.left;
    const std::vector<engine::SpriteQuad> quads = Draw();
    std::vector<float> xs;
    EXPECT_EQ(Text(Of(quads, tex::kNum), 20.0f, &xs), c.text) << c.left;
    // Room for three digits (120), the colon (19), the label (57) and a
    // margin of 20 from the right edge: the label at 584, then the digits.
    EXPECT_EQ(xs, (std::vector<float>{641, 700, 740})) << c.left;
    const auto label = Of(quads, tex::kTime);
    ASSERT_EQ(label.size(), 1u);
    EXPECT_EQ(label[0].corners[0].x, 584.0f);
    EXPECT_EQ(label[0].corners[0].y, 20.0f);
    const auto colon = Of(quads, tex::kDot);
    ASSERT_EQ(colon.size(), 1u);
    EXPECT_EQ(colon[0].corners[0].x, 681.0f);
    EXPECT_EQ(colon[0].corners[0].y, 28.0f) << "centred on the digits: (57 - 41) / 2 + 20";
  }
}

TEST_F(GameHudTest, TheComboShowsItsCountLabelAndAGaugeOfTheTimeLeft) {
  game->score.comboShown = false;
  game->score.comboCount = 12;
  game->score.comboTimer = 350;
  std::vector<engine::SpriteQuad> quads = Draw();
  EXPECT_TRUE(Of(quads, tex::kNumCombo).empty());
  EXPECT_TRUE(Of(quads, tex::kCombo).empty());
  EXPECT_TRUE(Of(quads, tex::kComboTimeGauge).empty());

  game->score.comboShown = true;
  game->score.comboBannerX = 600.0f;
  const struct {
    int timer;
    float width;
  } gauges[] = {{350, 179.0f}, {175, 89.0f}, {0, 0.0f}, {1, 0.0f}};
  for (const auto& g : gauges) {
    game->score.comboTimer = g.timer;
    quads = Draw();
    std::vector<float> xs;
    EXPECT_EQ(Text(Of(quads, tex::kNumCombo), 250.0f, &xs), "12");
    EXPECT_EQ(xs, (std::vector<float>{600, 640}));
    const auto label = Of(quads, tex::kCombo);
    ASSERT_EQ(label.size(), 1u);
    EXPECT_EQ(label[0].corners[0].x, 680.0f);
    EXPECT_EQ(label[0].corners[0].y, 275.0f);
    const auto gauge = Of(quads, tex::kComboTimeGauge);
    ASSERT_EQ(gauge.size(), 1u);
    EXPECT_EQ(gauge[0].corners[0].x, 600.0f);
    EXPECT_EQ(gauge[0].corners[0].y, 320.0f);
    EXPECT_EQ(Width(gauge[0]), g.width) << "timer " << g.timer;
  }
}

TEST_F(GameHudTest, TheWildGaugeFillsAsTheCreatureGrowsFromHalfToOne) {
  const struct {
    float size;
    float width;
  } cases[] = {{0.5f, 0.0f}, {0.75f, 150.0f}, {1.0f, 300.0f}, {0.6f, 60.0f}};
  for (const auto& c : cases) {
    game->player->mSize = c.size;
    const std::vector<engine::SpriteQuad> quads = Draw();
    const auto fill = Of(quads, tex::kWildGaugeVal);
    const auto frame = Of(quads, tex::kWildGauge);
    ASSERT_EQ(fill.size(), 1u);
    ASSERT_EQ(frame.size(), 1u);
    EXPECT_NEAR(Width(fill[0]), c.width, 0.5f) << c.size;
    EXPECT_EQ(fill[0].corners[0].x, 20.0f);
    EXPECT_EQ(fill[0].corners[0].y, 72.0f);
    EXPECT_EQ(Width(frame[0]), 300.0f);
    EXPECT_EQ(frame[0].corners[0].x, 20.0f);
  }
}

TEST_F(GameHudTest, ExactlyTheIconOfTheCreaturesSizeClassIsBright) {
  const char* icons[4] = {tex::kS, tex::kM, tex::kL, tex::kW};
  const float places[4][2] = {{66, 69}, {133, 62}, {202, 55}, {278, 48}};
  const struct {
    float size;
    int bright;
  } cases[] = {{0.5f, 0},  {std::nextafter(0.625f, 0.0f), 0}, {0.625f, 1}, {0.7f, 1},
               {0.75f, 2}, {std::nextafter(0.875f, 0.0f), 2}, {0.875f, 3}, {1.0f, 3}};
  for (const auto& c : cases) {
    game->player->mSize = c.size;
    const std::vector<engine::SpriteQuad> quads = Draw();
    for (int k = 0; k < 4; ++k) {
      const auto icon = Of(quads, icons[k]);
      ASSERT_EQ(icon.size(), 1u) << "size " << c.size << ", icon " << k;
      EXPECT_EQ(icon[0].color, (k == c.bright ? 0xFF000000u : 0x64000000u) | 0xFFFFFFu)
          << "size " << c.size << ", icon " << k;
      // Centred on its place (to half a pixel: odd sizes halve downward).
      EXPECT_NEAR((icon[0].corners[0].x + icon[0].corners[1].x) / 2, places[k][0], 0.5f);
      EXPECT_NEAR((icon[0].corners[0].y + icon[0].corners[3].y) / 2, places[k][1], 0.5f);
    }
  }
}

TEST_F(GameHudTest, AMissShowsTheMissIconFullyBrightScaledAndShaken) {
  game->player->mSize = 0.5f;
  game->score.bugIcons[1] = creatures::BugIcon{1.2f, 1, 2.0f, -1, 2};
  game->score.bugIcons[0] = creatures::BugIcon{1.2f, 1, 0.0f, 1, 1};
  const std::vector<engine::SpriteQuad> quads = Draw();
  EXPECT_TRUE(Of(quads, tex::kM).empty());
  const auto miss = Of(quads, tex::kMMiss);
  ASSERT_EQ(miss.size(), 1u);
  EXPECT_EQ(miss[0].color, 0xFFFFFFFFu);
  EXPECT_NEAR(Width(miss[0]), 41.0f * 1.2f, 1e-3f);
  EXPECT_NEAR((miss[0].corners[0].x + miss[0].corners[1].x) / 2, 133.0f + 2.0f, 1.0f);
  // An eaten fly's icon pulses about its place at its own brightness.
  const auto fly = Of(quads, tex::kS);
  ASSERT_EQ(fly.size(), 1u);
  EXPECT_EQ(fly[0].color, 0xFFFFFFFFu);
  EXPECT_NEAR(Width(fly[0]), 38.0f * 1.2f, 1e-3f);
  EXPECT_NEAR((fly[0].corners[0].x + fly[0].corners[1].x) / 2, 66.0f, 1e-3f);
}

TEST_F(GameHudTest, ThePauseDimsTheWorldUnderThePromptAndEveryOtherSprite) {
  platform::NullDevice& device = Device();
  device.RecordDraws(true);
  device.ClearDraws();
  auto isDimmer = [](const platform::DrawRecord& d) {
    if (d.type != platform::PrimitiveType::TriangleFan || d.primitiveCount != 2 ||
        d.fvf != 0x144u || d.vertices.size() != 4 * 28u || d.state.texture) {
      return false;
    }
    for (int v = 0; v < 4; ++v) {
      std::uint32_t color;
      std::memcpy(&color, d.vertices.data() + v * 28 + 16, 4);
      if (color != 0x64000000u) return false;
    }
    return true;
  };
  Draw();
  for (const platform::DrawRecord& d : device.Draws()) EXPECT_FALSE(isDimmer(d));
  EXPECT_TRUE(Of((*scenetest::Content().sprite.Get()).LastBatch(), tex::kBackTitle).empty());

  game->paused = true;
  device.ClearDraws();
  const std::vector<engine::SpriteQuad> quads = Draw();
  const auto& draws = device.Draws();
  ASSERT_FALSE(draws.empty());
  EXPECT_TRUE(isDimmer(draws.front())) << "drawn first, under the sprites";
  int dimmers = 0;
  for (const platform::DrawRecord& d : draws) dimmers += isDimmer(d) ? 1 : 0;
  EXPECT_EQ(dimmers, 1);
  const auto prompt = Of(quads, tex::kBackTitle);
  ASSERT_EQ(prompt.size(), 1u);
  EXPECT_EQ(prompt[0].corners[0].x, 0.0f);
  EXPECT_EQ(prompt[0].corners[0].y, 0.0f);
  EXPECT_EQ(Width(prompt[0]), 800.0f);
  device.RecordDraws(false);
  device.ClearDraws();
}

}  // namespace
}  // namespace scenes
