// A whole run of the game stepped by hand: from a new game scene through the
// fade, three minutes of play and the result, back to the title; and every
// screen with words on it in English.
#include <map>
#include <set>
#include <string>

#include "creatures/enemy_manager.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/game_play.h"
#include "scenes/game_fixture.h"
#include "scenes/loading/load_parent.h"
#include "scenes/result/game_result.h"
#include "scenes/title/title.h"
#include "scenes/title/title_parent.h"

namespace scenes {
namespace {

using scenetest::GameContentTest;
using GameSmokeTest = GameContentTest;

TEST_F(GameSmokeTest, ARunGoesFromTheFadeThroughThreeMinutesToTheResultAndTheTitle) {
  SequenceParent root(NewGame(services));
  auto* game = dynamic_cast<GameParent*>(root.child);
  ASSERT_NE(game, nullptr);
  EXPECT_GT(game->R(), 40.0f);
  EXPECT_EQ(enemies.enemies.size(), 40u + 35u + 25u + 30u + 12u);  // one fly on each stump
  EXPECT_EQ(objects.objects.size(), 97u);
  int updates = 0;
  while (dynamic_cast<GamePlay*>(game->child) && updates < 20000) {
    root.Update(platform::TickInput{}, services);
    if (updates % 500 == 0) root.Draw(Frame());
    ++updates;
  }
  // 85 updates of fade, then 180 seconds of sixtieths (give or take one for
  // rounding).
  EXPECT_NEAR(updates, 85 + 180 * 60, 2);
  ASSERT_NE(dynamic_cast<GameResult*>(game->child), nullptr);
  EXPECT_EQ(game->timeLeft, 0.0f);
  platform::TickInput enter;
  enter.Hold(platform::Key::Return);
  for (int i = 0; i < 2000 && root.child == game; ++i) {
    root.Update(i % 2 ? enter : platform::TickInput{}, services);
    root.Draw(Frame());
  }
  EXPECT_NE(dynamic_cast<TitleParent*>(root.child), nullptr);
  EXPECT_EQ(services.runsFinished, 1);
}

// Played in English, each screen draws its words from the English pictures:
// the loading caption, the title's prompt, legend and quit question, the
// combo and the pause question in play, the result's title, score label,
// burp and prompt. No Japanese caption is drawn anywhere.
TEST_F(GameSmokeTest, AnEnglishGameDrawsEveryCaptionInEnglishAndNoneInJapanese) {
  namespace tex = content::texture;
  const content::Language english = content::Language::English;
  services.language = english;
  const LoadTargets targets{&Device(), *services.textures, *services.meshes, services.sounds};
  for (LoadParent::Job job : LoadParent::DefaultJobs(english)) job(targets);

  // What a frame drew, by the path of each texture it drew with (mapped as
  // it is drawn: a picture unloaded later may leave its address to another).
  std::set<std::string> drawn;
  auto draw = [&](SequenceParent& root) {
    std::map<const platform::Texture*, std::string> paths;
    for (const tex::Nominal& n : tex::kAll) {
      const media::TextureRecord* r = scenetest::Content().textures.FindTexture(n.path);
      if (r && r->texture) paths[r->texture] = n.path;
    }
    Device().ClearDraws();
    Device().RecordDraws(true);
    root.Draw(Frame());
    Device().RecordDraws(false);
    for (const platform::DrawRecord& d : Device().Draws()) {
      const auto at = paths.find(d.state.texture);
      if (at != paths.end()) drawn.insert(at->second);
    }
    Device().ClearDraws();
  };
  auto keys = [](std::initializer_list<platform::Key> held) {
    platform::TickInput in;
    for (platform::Key k : held) in.Press(k);
    return in;
  };

  {
    SequenceParent loading(new LoadParent(services, {}, &NewTitle, LoadParent::Loader::Updates, 1));
    draw(loading);
  }
  {
    SequenceParent title(NewTitle(services));
    auto* screen = dynamic_cast<Title*>(dynamic_cast<TitleParent*>(title.child)->child);
    ASSERT_NE(screen, nullptr);
    title.Update({}, services);
    title.Update(keys({platform::Key::Return}), services);  // skips the intro
    title.Update({}, services);
    ASSERT_EQ(screen->titleState, Title::kWaiting);
    draw(title);
    title.Update(keys({platform::Key::Escape}), services);
    ASSERT_TRUE(screen->quitPrompt);
    draw(title);
  }
  SequenceParent root(NewGame(services));
  auto* game = dynamic_cast<GameParent*>(root.child);
  ASSERT_NE(game, nullptr);
  for (int i = 0; i < 100; ++i) root.Update({}, services);
  game->score.comboShown = true;
  game->score.comboCount = 3;
  draw(root);
  root.Update(keys({platform::Key::Escape}), services);
  ASSERT_TRUE(game->paused);
  draw(root);

  game->paused = false;
  delete game->child;
  auto* result = new GameResult(services);
  game->child = result;
  bool burped = false;
  for (int i = 0; i < 2000 && !(burped && result->phase == 3); ++i) {
    root.Update({}, services);
    draw(root);
    burped = burped || result->burpShowing;
  }
  EXPECT_TRUE(burped);
  EXPECT_EQ(result->phase, 3);

  for (const tex::Captions* captions : {&tex::kEnglish, &tex::kJapanese}) {
    for (const char* path :
         {captions->loading, captions->combo, captions->score, captions->result, captions->burp,
          captions->backTitle, captions->pushEnter, captions->endGame, captions->keyLegend}) {
      EXPECT_EQ(drawn.count(path), captions == &tex::kEnglish ? 1u : 0u) << path;
    }
  }
}

}  // namespace
}  // namespace scenes
