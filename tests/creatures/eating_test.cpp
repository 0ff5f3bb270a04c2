// The eating rules: what the creature's size allows, the points, the combo,
// the growth at the end of the chew, and the miss, through real bites of the
// creature (standing at the pole of the test sphere, insects perched in front
// of its mouth) and through the rules' own functions.
#include "creatures/eating.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "creature_world.h"
#include "creatures/beetle.h"
#include "creatures/butterfly.h"
#include "creatures/caterpillar.h"
#include "creatures/fly.h"
#include "creatures/player.h"

namespace creatures {
namespace {

using platform::Key;
using testworld::CreatureTest;

// In front of the mouth and clear of the body: the mouth reaches an insect
// within 1.0 (the body's radius) plus the insect's own radius.
constexpr float kFlyAhead = 1.0f;          // fly: 1.6 x 0.4 = 0.64
constexpr float kCaterpillarAhead = 1.6f;  // caterpillar: 0.8 x 1.5 = 1.2

void ExpectRestarted(const BugIcon& icon, int result) {
  EXPECT_EQ(icon.pulse, 1.0f);
  EXPECT_EQ(icon.pulseStep, 1);
  EXPECT_EQ(icon.shake, 0.0f);
  EXPECT_EQ(icon.shakeStep, 1);
  EXPECT_EQ(icon.result, result);
}

class EatingTest : public CreatureTest {
 protected:
  // Holds Space for `updates` frames of play (the creature, then the
  // insects).
  void Bite(int updates) {
    for (int u = 0; u < updates; ++u) Frame(Keys({Key::Space}));
  }
};

TEST_F(EatingTest, ASmallCreatureEatsAFlyForFiftyPointsAndGrowsWhenTheChewEnds) {
  SettleAnimations();
  PerchAt<Enemy04>(AheadOfMouth(kFlyAhead));
  // A fly on the far side of the planet, which the manager keeps.
  auto far = std::make_unique<Enemy04>(testworld::kR + 1.5f);
  far->mRotation = testworld::AboutX(150.0f);
  const Enemy* farFly = far.get();
  enemies.enemies.push_back(std::move(far));
  // What the meal must restart or leave alone.
  score.comboBannerX = 527.0f;
  score.bugIcons[0] = BugIcon{1.3f, -1, 2.0f, -1, 2};
  player->hungerInterval = 20;
  player->hungerCounter = 5;

  Bite(14);
  ASSERT_EQ(enemies.enemies.size(), 2u);
  EXPECT_EQ(score.score, 0);
  Bite(1);  // the bite stands at 14/59
  ASSERT_EQ(enemies.enemies.size(), 1u) << "the manager took the eaten fly out in the same frame";
  EXPECT_EQ(enemies.enemies[0].get(), farFly);
  EXPECT_TRUE(farFly->alive);
  EXPECT_EQ(score.score, 50);
  EXPECT_EQ(score.comboCount, 1);
  EXPECT_FALSE(score.comboShown) << "no banner for a first meal";
  EXPECT_EQ(score.comboBannerX, 527.0f);
  EXPECT_EQ(score.comboTimer, 350);
  ExpectRestarted(score.bugIcons[kFly], 1);
  EXPECT_EQ(player->hungerInterval, 50);
  EXPECT_EQ(player->hungerCounter, 1) << "reset by the meal, then counted in the same update";
  EXPECT_TRUE(player->chewing);
  EXPECT_TRUE(player->biting) << "the bite runs on to its end";
  EXPECT_EQ(player->lastEaten, "はえ");
  EXPECT_EQ(player->mSize, 0.5f) << "no growth before the chew ends";

  // The bite ends in update 39, the chew in update 54: only then it grows
  // (a fly matches the smallest size: +0.05), glows and gulps.
  Bite(39);
  EXPECT_TRUE(player->chewing);
  EXPECT_EQ(player->mSize, 0.5f);
  EXPECT_FALSE(player->glowing);
  EXPECT_FALSE(IsPlaying(content::sound::kEatGoku));
  Frame();
  EXPECT_FALSE(player->chewing);
  EXPECT_EQ(player->mSize, 0.5f + 0.05f);
  EXPECT_TRUE(player->glowing);
  EXPECT_EQ(player->glowScale, 1.0f);
  EXPECT_TRUE(IsPlaying(content::sound::kEatGoku));
  EXPECT_EQ(score.score, 50) << "the chew scores nothing more";
}

TEST_F(EatingTest, ACaterpillarBittenTooEarlyMakesTheBiteRecoilAndLivesOn) {
  SettleAnimations();
  Enemy* caterpillar = PerchAt<Enemy01>(AheadOfMouth(kCaterpillarAhead));
  score.score = 1234;
  score.comboCount = 2;
  score.comboShown = true;
  score.comboTimer = 100;
  score.comboBannerX = 600.0f;
  Bite(14);
  const int hunger = player->hungerCounter;
  Bite(1);
  EXPECT_TRUE(player->recoiling);
  EXPECT_FALSE(player->biting);
  EXPECT_FALSE(player->chewing);
  EXPECT_TRUE(IsPlaying(content::sound::kMiss));
  ExpectRestarted(score.bugIcons[kCaterpillar], 2);
  EXPECT_EQ(score.bugIcons[kFly].result, 0);
  EXPECT_EQ(score.score, 1234);
  EXPECT_EQ(score.comboCount, 2);
  EXPECT_TRUE(score.comboShown);
  EXPECT_EQ(score.comboTimer, 100);
  EXPECT_EQ(score.comboBannerX, 600.0f);
  EXPECT_TRUE(caterpillar->alive);
  ASSERT_EQ(enemies.enemies.size(), 1u) << "still in the world after the insects' step";
  EXPECT_EQ(player->hungerCounter, hunger + 1) << "a miss does not feed";
  // The bite plays backwards from where it was hit (14/59), one frame an
  // update; the first frame back is already taken.
  EXPECT_NEAR(player->recoilPosition, 13.0 / 59.0, 1e-6);
  EXPECT_NEAR(player->UpperBodyPosition(), 13.0 / 59.0, 1e-6);
  Frame();
  EXPECT_NEAR(player->UpperBodyPosition(), 12.0 / 59.0, 1e-6);
  EXPECT_TRUE(player->lastEaten.empty());
  EXPECT_EQ(player->mSize, 0.5f);
}

TEST_F(EatingTest, MealsInAChainScoreTheComboAndThreeFliesOpenTheCaterpillars) {
  // Space held all along; after each meal a new insect is put in front of
  // the mouth. A bite that follows a chew starts with the chew's quicker
  // clock (4/59 in its first update), so it lands in its update 11, not 14;
  // either way the chew ends 40 updates after the catch, and hunger shrinks
  // the creature once between two meals.
  SettleAnimations();
  const platform::TickInput space = Keys({Key::Space});
  struct Meal {
    bool caterpillar;
    int catchUpdate;  // counted from the bite's first update
    int total;        // the kind's points, plus 100 a meal of the chain from the second on
  };
  const Meal meals[] = {{false, 14, 50},
                        {false, 11, 50 + 50 + 200},
                        {false, 11, 300 + 50 + 300},
                        {true, 11, 650 + 200 + 400}};
  int n = 0;
  for (const Meal& meal : meals) {
    ++n;
    score.comboBannerX = 527.0f;
    if (meal.caterpillar) {
      EXPECT_EQ(player->SizeClass(), 1) << "three flies and two hungry spells make pct 29";
      PerchAt<Enemy01>(AheadOfMouth(kCaterpillarAhead));
    } else {
      EXPECT_EQ(player->SizeClass(), 0);
      PerchAt<Enemy04>(AheadOfMouth(kFlyAhead));
    }
    int u = 0;
    for (; u < 60 && !enemies.enemies.empty(); ++u) Frame(space);
    ASSERT_TRUE(enemies.enemies.empty()) << "meal " << n;
    EXPECT_EQ(u - 1, meal.catchUpdate) << "meal " << n;
    EXPECT_EQ(score.score, meal.total) << "meal " << n;
    EXPECT_EQ(score.comboCount, n);
    EXPECT_EQ(score.comboShown, n >= 2) << "meal " << n;
    EXPECT_EQ(score.comboBannerX, n >= 2 ? 800.0f : 527.0f) << "meal " << n;
    EXPECT_EQ(score.comboTimer, 350);
    // Each meal matches the size it is eaten at: +0.05 when the chew ends.
    int chew = 0;
    float before = player->mSize;
    for (; chew < 60 && player->chewing; ++chew) {
      before = player->mSize;
      Frame(space);
    }
    EXPECT_EQ(chew, 40) << "meal " << n;
    EXPECT_EQ(player->mSize, before + 0.05f) << "meal " << n;
  }
  EXPECT_NEAR(player->mSize, 0.5f + 4 * 0.05f - 3 * 0.001f, 1e-5f);
  EXPECT_EQ(score.bestCombo, 4);
  EXPECT_EQ(score.meals[kFly], 3);
  EXPECT_EQ(score.meals[kCaterpillar], 1);
}

TEST_F(EatingTest, OneBiteCatchesOnlyTheFirstInsectOfTheListThatTheMouthTouches) {
  SettleAnimations();
  PerchAt<Enemy04>(AheadOfMouth(kFlyAhead));
  Enemy* second = PerchAt<Enemy04>(AheadOfMouth(kFlyAhead + 0.2f));
  Bite(15);
  ASSERT_EQ(enemies.enemies.size(), 1u);
  EXPECT_EQ(enemies.enemies[0].get(), second);
  EXPECT_TRUE(second->alive);
  EXPECT_EQ(score.score, 50);
  EXPECT_EQ(score.comboCount, 1);

  // First in the list decides, edible or not: a caterpillar before a fly
  // makes the bite recoil and the fly lives.
  StandAtPole(0.5f);
  enemies.ClearEnemies();
  score = ScoreState{};
  SettleAnimations();
  Enemy* caterpillar = PerchAt<Enemy01>(AheadOfMouth(kCaterpillarAhead));
  Enemy* fly = PerchAt<Enemy04>(AheadOfMouth(kFlyAhead));
  Bite(15);
  EXPECT_TRUE(player->recoiling);
  EXPECT_TRUE(caterpillar->alive);
  EXPECT_TRUE(fly->alive);
  EXPECT_EQ(enemies.enemies.size(), 2u);
  EXPECT_EQ(score.score, 0);
  EXPECT_EQ(score.bugIcons[kCaterpillar].result, 2);
  EXPECT_EQ(score.bugIcons[kFly].result, 0);
}

TEST_F(EatingTest, HungerShrinkingTheCreatureBelowAThresholdLocksTheKindAgain) {
  // pct exactly 25: caterpillars allowed; the first shrink makes it 24.8.
  StandAtPole(0.625f);
  ASSERT_EQ(player->SizeClass(), 1);
  for (int u = 0; u < 50; ++u) Frame();
  EXPECT_EQ(player->mSize, 0.625f - 0.001f);
  EXPECT_EQ(player->SizeClass(), 0);
  Enemy* caterpillar = PerchAt<Enemy01>(AheadOfMouth(kCaterpillarAhead));
  Bite(15);
  EXPECT_TRUE(player->recoiling);
  EXPECT_TRUE(caterpillar->alive);
  EXPECT_EQ(score.score, 0);
}

using EatingRulesTest = CreatureTest;

TEST_F(EatingRulesTest, SizePercentAndClassHaveTheirThresholdsAt25_50And75) {
  EXPECT_EQ(SizePercent(0.5f), 0.0f);
  EXPECT_EQ(SizePercent(0.625f), 25.0f);
  EXPECT_EQ(SizePercent(0.75f), 50.0f);
  EXPECT_EQ(SizePercent(0.875f), 75.0f);
  EXPECT_EQ(SizePercent(1.0f), 100.0f);
  EXPECT_NEAR(SizePercent(0.65f), 30.0f, 1e-4f);
  const struct {
    float size;
    int sizeClass;
  } classes[] = {
      {0.5f, 0},  {std::nextafter(0.625f, 0.0f), 0}, {0.625f, 1}, {std::nextafter(0.75f, 0.0f), 1},
      {0.75f, 2}, {std::nextafter(0.875f, 0.0f), 2}, {0.875f, 3}, {1.0f, 3}};
  for (const auto& c : classes) EXPECT_EQ(SizeClass(c.size), c.sizeClass) << c.size;

  // Each kind from its threshold on, exactly.
  for (int kind = 0; kind < 4; ++kind) {
    const float from = 25.0f * static_cast<float>(kind);
    EXPECT_TRUE(IsEdible(kind, from)) << kind;
    EXPECT_TRUE(IsEdible(kind, 100.0f)) << kind;
    if (kind > 0) {
      EXPECT_FALSE(IsEdible(kind, std::nextafter(from, 0.0f))) << kind;
    }
  }
  EXPECT_FALSE(IsEdible(-1, 100.0f));
  EXPECT_FALSE(IsEdible(4, 100.0f));
}

TEST_F(EatingRulesTest, AtExactlyItsThresholdEachKindIsEatenJustBelowItRecoils) {
  Enemy01 caterpillar(50.0f);
  Enemy02 butterfly(50.0f);
  Enemy03 beetle(50.0f);
  Enemy04 fly(50.0f);
  const struct {
    Enemy& insect;
    float threshold;
    int points;
  } kinds[] = {{caterpillar, 0.625f, 200}, {butterfly, 0.75f, 500}, {beetle, 0.875f, 1000}};
  for (const auto& k : kinds) {
    for (const bool atThreshold : {true, false}) {
      StandAtPole(atThreshold ? k.threshold : std::nextafter(k.threshold, 0.0f));
      score = ScoreState{};
      k.insect.alive = true;
      Silence(content::sound::kMiss);
      SettleBite(*player, k.insect, score, services.soundRequests);
      EXPECT_EQ(k.insect.alive, !atThreshold) << k.insect.mName << " at " << player->mSize;
      EXPECT_EQ(player->chewing, atThreshold);
      EXPECT_EQ(player->recoiling, !atThreshold);
      EXPECT_EQ(IsPlaying(content::sound::kMiss), !atThreshold);
      EXPECT_EQ(score.score, atThreshold ? k.points : 0);
    }
  }
  // A fly at the smallest size.
  StandAtPole(0.5f);
  score = ScoreState{};
  SettleBite(*player, fly, score, services.soundRequests);
  EXPECT_FALSE(fly.alive);
  EXPECT_EQ(score.score, 50);
}

TEST_F(EatingRulesTest, GrowthCrossingAThresholdOpensTheNextKind) {
  // 0.6 (pct 20) eats a fly: 0.65, pct 30, and caterpillars are allowed.
  const struct {
    float size;
    const char* meal;
    int opens;
  } steps[] = {{0.6f, "はえ", kCaterpillar},
               {0.72f, "あおむし", kButterfly},
               {0.85f, "ちょうちょ", kBeetle}};
  for (const auto& s : steps) {
    StandAtPole(s.size);
    EXPECT_FALSE(IsEdible(s.opens, SizePercent(player->mSize))) << s.size;
    player->lastEaten = s.meal;
    Swallow(*player, services.soundRequests);
    EXPECT_EQ(player->mSize, s.size + 0.05f) << "a meal of its own class";
    EXPECT_TRUE(IsEdible(s.opens, SizePercent(player->mSize))) << s.size;
    EXPECT_EQ(player->SizeClass(), s.opens);
  }
}

TEST_F(EatingRulesTest, TheChewGrowsTheCreatureTwiceAsMuchForItsOwnClassAndNeverPastOne) {
  const struct {
    float size;
    const char* meal;
    float grown;
  } cases[] = {
      {0.5f, "はえ", 0.5f + 0.05f},         // class 0 eats its own kind
      {0.7f, "はえ", 0.7f + 0.025f},        // class 1 eats a fly
      {0.7f, "あおむし", 0.7f + 0.05f},     // class 1 eats its own kind
      {0.8f, "ちょうちょ", 0.8f + 0.05f},   // class 2
      {0.9f, "ちょうちょ", 0.9f + 0.025f},  // class 3 eats a butterfly
      {0.5f, "かぶとむし", 0.5f + 0.025f},  // the rule asks only for the kind
      {0.98f, "かぶとむし", 1.0f},          // 1.03 is held at 1.0
      {0.99f, "はえ", 1.0f},                // 1.015 too
      {0.98f, "Tree", 0.98f},               // not an insect: no growth
      {0.6f, "", 0.6f},                     // nothing eaten
  };
  for (const auto& c : cases) {
    StandAtPole(c.size);
    player->lastEaten = c.meal;
    player->glowScale = 1.3f;
    Silence(content::sound::kEatGoku);
    Swallow(*player, services.soundRequests);
    EXPECT_EQ(player->mSize, c.grown) << c.size << " eats " << c.meal;
    EXPECT_TRUE(player->glowing);
    EXPECT_EQ(player->glowScale, 1.0f);
    EXPECT_TRUE(IsPlaying(content::sound::kEatGoku));
  }
}

}  // namespace
}  // namespace creatures
