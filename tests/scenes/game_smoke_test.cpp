// A whole run of the game stepped by hand: from a new game scene through the
// fade, three minutes of play and the result, back to the title.
#include "creatures/enemy_manager.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/game_play.h"
#include "scenes/game_fixture.h"
#include "scenes/result/game_result.h"
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

}  // namespace
}  // namespace scenes
