// The creature stepped frame by frame with its real body models, on the
// closed test sphere (R = 48), starting at the north pole facing +Z.
#include "creatures/player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "creature_world.h"
#include "creatures/caterpillar.h"
#include "creatures/eating.h"
#include "creatures/fly.h"
#include "world/placed_objects.h"

namespace creatures {
namespace {

using engine::Vec3;
using platform::Key;
using testworld::AboutX;
using testworld::ArcBetween;
using testworld::CreatureTest;
using testworld::kR;

constexpr float kOneFrame = 1.0f / 59.0f;

// The orientation that stands an object on the meridian through +Z, `arc`
// units along the surface from the pole.
engine::Quaternion AlongMeridian(float arc) { return AboutX(arc / kR * engine::kRadToDeg); }

double UpperBodyTrack(int* set = nullptr) {
  media::AnimatedModel* upper =
      scenetest::Content().meshes.FindAnimatedModel(content::model::kPlayerUpBody);
  engine::TrackDesc desc;
  upper->controller->GetTrackDesc(0, &desc);
  if (set) {
    *set = -1;
    const engine::AnimationSet* current = upper->controller->GetTrackAnimationSet(0);
    for (int i = 0; i < 5; ++i) {
      if (upper->animationSets[static_cast<std::size_t>(i)] == current) *set = i;
    }
  }
  return desc.position;
}

using PlayerKeysTest = CreatureTest;

TEST_F(PlayerKeysTest, TheFirstHeldArrowInTheOrderUpDownRightLeftGivesTheDirection) {
  const struct {
    std::vector<Key> keys;
    int direction;
  } cases[] = {
      {{Key::Up, Key::Left}, 0},      {{Key::Down, Key::Right}, 180},
      {{Key::Right, Key::Left}, 90},  {{Key::Left}, 270},
      {{Key::Left, Key::Down}, 180},  {{Key::Up, Key::Down}, 0},
      {{Key::Right, Key::Space}, 90},
  };
  for (const auto& c : cases) {
    Step(Hold(c.keys));
    EXPECT_TRUE(player->moving);
    EXPECT_EQ(player->moveDirection, c.direction);
  }
  // With no arrow held the creature stands, and remembers the last direction.
  Step(Keys({Key::Space, Key::Z}));
  EXPECT_FALSE(player->moving);
  EXPECT_EQ(player->moveDirection, 90);
}

using PlayerTurnTest = CreatureTest;

TEST_F(PlayerTurnTest, TurnsTenDegreesAFrameTheShortWayAndWalksOnlyOnceItArrives) {
  const Vec3 start = player->Position();
  // 90 degrees to the right: nine frames of turning (the ninth lands on 90
  // but with 10 left at its start, so it does not count as arrived), then a
  // step of 0.2 toward +X.
  for (int frame = 1; frame <= 9; ++frame) {
    Step(Keys({Key::Right}));
    EXPECT_FLOAT_EQ(player->mAngle, 10.0f * static_cast<float>(frame)) << "frame " << frame;
    EXPECT_LT(engine::Vec3Length(player->Position() - start), 1e-3f) << "frame " << frame;
  }
  Step(Keys({Key::Right}));
  EXPECT_FLOAT_EQ(player->mAngle, 90.0f);
  const Vec3 forward = world::Forward(player->mRotation);
  EXPECT_NEAR(forward.x, 1.0f, 1e-4f);
  EXPECT_NEAR(forward.z, 0.0f, 1e-4f);
  const Vec3 moved = player->Position() - start;
  EXPECT_NEAR(ArcBetween(start, player->Position()), 0.2f, 1e-3f);
  EXPECT_GT(moved.x, 0.19f);

  // And 90 degrees to the left the same way round: 350, 340, ... 270, then
  // the step toward -X.
  StandAtPole(0.5f);
  for (int frame = 1; frame <= 9; ++frame) {
    Step(Keys({Key::Left}));
    EXPECT_FLOAT_EQ(player->mAngle, 360.0f - 10.0f * static_cast<float>(frame))
        << "frame " << frame;
    EXPECT_LT(engine::Vec3Length(player->Position() - start), 1e-3f) << "frame " << frame;
  }
  Step(Keys({Key::Left}));
  EXPECT_FLOAT_EQ(player->mAngle, 270.0f);
  EXPECT_NEAR(ArcBetween(start, player->Position()), 0.2f, 1e-3f);
  EXPECT_LT(player->Position().x, -0.19f);
}

TEST_F(PlayerTurnTest, TheTargetTakesTheCameraYawIntoAccountAndWrapsPast360) {
  // Right with the camera at 300 heads for 30: to the right of 0.
  cameraYaw = 300.0f;
  Step(Keys({Key::Right}));
  EXPECT_FLOAT_EQ(player->mAngle, 10.0f);
  // Up with the camera at 300 heads for 300: to the left of 10.
  Step(Keys({Key::Up}));
  EXPECT_FLOAT_EQ(player->mAngle, 0.0f);
  Step(Keys({Key::Up}));
  EXPECT_FLOAT_EQ(player->mAngle, 350.0f);
}

TEST_F(PlayerTurnTest, ATargetExactlyOppositeTurnsTowardDecreasingFacing) {
  const Vec3 start = player->Position();
  Step(Keys({Key::Down}));  // facing 0, target 180: right and left are both 180
  EXPECT_FLOAT_EQ(player->mAngle, 350.0f);
  EXPECT_LT(engine::Vec3Length(player->Position() - start), 1e-3f) << "it only turns";

  // Facing 180, target 0.
  StandAtPole(0.5f);
  player->mRotation = engine::QuaternionMultiply(player->mRotation, player->TurnRight(180.0f));
  ASSERT_FLOAT_EQ(player->mAngle, 180.0f);
  Step(Keys({Key::Up}));
  EXPECT_FLOAT_EQ(player->mAngle, 170.0f);
}

TEST_F(PlayerTurnTest, AFacingFiveDegreesOffTurnsTenTakesFiveBackAndWalksInTheSameFrame) {
  for (const float yaw : {5.0f, 355.0f}) {
    StandAtPole(0.5f);
    cameraYaw = yaw;
    const Vec3 start = player->Position();
    Step(Keys({Key::Up}));
    EXPECT_FLOAT_EQ(player->mAngle, yaw) << "yaw " << yaw;
    const float heading = yaw * engine::kDegToRad;
    const Vec3 forward = world::Forward(player->mRotation);
    EXPECT_NEAR(forward.x, std::sin(heading), 1e-4f) << "yaw " << yaw;
    EXPECT_NEAR(forward.z, std::cos(heading), 1e-4f) << "yaw " << yaw;
    // The step of 0.2 goes the new way.
    EXPECT_NEAR(ArcBetween(start, player->Position()), 0.2f, 1e-3f) << "yaw " << yaw;
    const Vec3 moved = engine::Vec3Normalize(player->Position() - start);
    EXPECT_NEAR(moved.x, std::sin(heading), 0.01f) << "yaw " << yaw;
    EXPECT_NEAR(moved.z, std::cos(heading), 0.01f) << "yaw " << yaw;
  }
}

using PlayerWalkTest = CreatureTest;

TEST_F(PlayerWalkTest, WalkingKeepsTheBodyOneAndAHalfTimesItsSizeAboveTheGround) {
  for (const float size : {0.5f, 0.8f}) {
    StandAtPole(size);
    const Vec3 start = player->Position();
    for (int frame = 1; frame <= 40; ++frame) {
      Step(Keys({Key::Up}));
      ASSERT_NEAR(player->DistanceToGround(planet->planet), 1.5f * size, 1e-3f)
          << "size " << size << ", frame " << frame;
      EXPECT_NEAR(player->groundDistance, 1.5f * size, 0.03f);
    }
    // Forty steps of 0.2 along the meridian through +Z.
    EXPECT_NEAR(ArcBetween(start, player->Position()), 8.0f, 0.01f) << "size " << size;
    EXPECT_NEAR(player->Position().x, 0.0f, 1e-3f);
    EXPECT_GT(player->Position().z, 7.5f);
  }
}

using PlayerPushTest = CreatureTest;

TEST_F(PlayerPushTest, AnInsectInsideTheBodyPushesItOutOnTheNextUpdateAndItStandsAgain) {
  // A caterpillar (sphere 0.8 x 1.5 = 1.2) one unit ahead at its hover
  // height: the body (radius 1.0) overlaps it.
  const Vec3 c = player->Position();
  const Vec3 at = world::Up(AlongMeridian(1.0f)) * (kR + 0.2f);
  PerchAt<Enemy01>(at);
  const float d = engine::Vec3Length(c - at);
  ASSERT_LT(d, 2.2f);
  Step();
  const Vec3 now = player->Position();
  EXPECT_NEAR(ArcBetween(c, now), 2.2f - d, 2e-3f);
  EXPECT_LT(now.z, 0.0f) << "pushed away from the insect, back along -Z";
  EXPECT_NEAR(player->DistanceToGround(planet->planet), 0.75f, 1e-3f) << "stands again";
  // The push is along the ground, so with the insect lower than the body the
  // overlap left over is small, and the next update pushes only that.
  Step();
  const float again = ArcBetween(now, player->Position());
  EXPECT_GT(again, 0.0f);
  EXPECT_LT(again, 0.1f);
}

TEST_F(PlayerPushTest, EveryInsectPushesFromWhereTheBodyStandsAfterTheInsectsBefore) {
  // Two caterpillars on one spot: the first pushes the body nearly out, the
  // second only by what is left (it measures from the body's new place).
  const Vec3 c = player->Position();
  const Vec3 at = world::Up(AlongMeridian(1.0f)) * (kR + 0.2f);
  PerchAt<Enemy01>(at);
  PerchAt<Enemy01>(at);
  const float first = 2.2f - engine::Vec3Length(c - at);
  Step();
  const float moved = ArcBetween(c, player->Position());
  EXPECT_GT(moved, first);
  EXPECT_LT(moved, first + 0.15f);
}

TEST_F(PlayerPushTest, TreesAndStumpsPushWithoutStandingItAgainAndFlowersNever) {
  // One unit ahead on the ground: the stump's foot and top spheres (1.5)
  // both overlap the body, of the tree's (0.8) only the foot.
  struct Case {
    const char* name;
    std::unique_ptr<world::Chara> object;
    int overlapping;
  };
  std::vector<Case> cases;
  cases.push_back({"Stump", std::make_unique<world::Stump>(kR, AlongMeridian(1.0f)), 2});
  cases.push_back({"Tree", std::make_unique<world::Tree>(kR, AlongMeridian(1.0f)), 1});
  for (Case& k : cases) {
    StandAtPole(0.5f);
    objects.ClearObjects();
    // The body is pushed from each sphere it overlaps, all measured from
    // where it stood when the object's turn came.
    const Vec3 c = player->Position();
    float expected = 0.0f;
    int overlapped = 0;
    for (const world::HitSphere& s : k.object->GetHitSpheres()) {
      const float d = engine::Vec3Length(c - s.Centre());
      if (d < 1.0f + s.radius) {
        expected += 1.0f + s.radius - d;
        ++overlapped;
      }
    }
    ASSERT_EQ(overlapped, k.overlapping) << k.name;
    objects.AddObject(std::move(k.object));
    const float height = player->mHeight;
    Step();
    EXPECT_NEAR(ArcBetween(c, player->Position()), expected, 2e-3f) << k.name;
    EXPECT_LT(player->Position().z, 0.0f) << k.name;
    EXPECT_EQ(player->mHeight, height) << k.name << ": no standing again after an object";
  }
  // A flower well inside the body's reach pushes nothing.
  StandAtPole(0.5f);
  objects.ClearObjects();
  objects.AddObject(std::make_unique<world::Flower>(AlongMeridian(0.3f), kR));
  const engine::Quaternion before = player->mRotation;
  for (int frame = 0; frame < 5; ++frame) Step();
  EXPECT_EQ(player->mRotation, before);
}

using PlayerBiteTest = CreatureTest;

TEST_F(PlayerBiteTest, SpaceStartsABiteWithItsSoundAndTheBiteAnimation) {
  SettleAnimations();
  Step(Keys({Key::Space}));
  EXPECT_TRUE(player->biting);
  EXPECT_TRUE(IsPlaying(content::sound::kEatHyoi));
  int set = -1;
  EXPECT_NEAR(UpperBodyTrack(&set), kOneFrame, 1e-6);
  EXPECT_EQ(set, kBite);
  // Still biting: holding Space does not start it again.
  Silence(content::sound::kEatHyoi);
  Step(Keys({Key::Space}));
  EXPECT_FALSE(IsPlaying(content::sound::kEatHyoi));
  EXPECT_NEAR(UpperBodyTrack(&set), 2 * kOneFrame, 1e-6);
  EXPECT_EQ(set, kBite);
}

TEST_F(PlayerBiteTest, HeldSpaceBitesAgainAsSoonAsTheBiteTheChewAndTheRecoilAreOver) {
  const platform::TickInput space = Keys({Key::Space});
  auto starts = [&](int updates) {
    std::vector<int> at;
    for (int u = 0; u < updates; ++u) {
      Silence(content::sound::kEatHyoi);
      Frame(space);
      if (IsPlaying(content::sound::kEatHyoi)) at.push_back(u);
    }
    return at;
  };
  // Nothing in reach: the bite ends when it reaches 40/59, in its 40th
  // update, and the next begins in the one after.
  SettleAnimations();
  EXPECT_EQ(starts(90), (std::vector<int>{0, 40, 80}));

  // A fly caught in update 14: the bite runs on to its end (update 39), the
  // chew (1/59, then 4/59 an update) reaches 55/59 in update 54, and the
  // next bite begins in update 55.
  StandAtPole(0.5f);
  SettleAnimations();
  PerchAt<Enemy04>(AheadOfMouth(1.0f));
  EXPECT_EQ(starts(60), (std::vector<int>{0, 55}));

  // A caterpillar too big, hit in update 14: the recoil plays the bite back
  // from 14/59 one frame an update and is over in update 27.
  StandAtPole(0.5f);
  enemies.ClearEnemies();
  SettleAnimations();
  PerchAt<Enemy01>(AheadOfMouth(1.6f));
  const std::vector<int> afterMiss = starts(29);
  EXPECT_EQ(afterMiss, (std::vector<int>{0, 28}));
}

TEST_F(PlayerBiteTest, TheMouthIsTestedOnExactlyOneFrameWhenTheBiteStandsAt14Of59) {
  // An insect left in the list after it is eaten is caught again by every
  // further test of the mouth, so the combo counts the frames tested.
  SettleAnimations();
  Enemy* fly = PerchAt<Enemy04>(AheadOfMouth(1.0f));
  const platform::TickInput space = Keys({Key::Space});
  std::vector<int> caught;
  for (int u = 0; u < 40; ++u) {
    const double position = UpperBodyTrack();
    const int before = score.comboCount;
    Step(space);
    if (score.comboCount != before) {
      caught.push_back(u);
      EXPECT_NEAR(position, 14.0 / 59.0, 1e-6) << "the bite stood at 14/59 when it landed";
    }
  }
  EXPECT_EQ(caught, std::vector<int>{14});
  EXPECT_FALSE(fly->alive);
  EXPECT_TRUE(player->chewing);
  EXPECT_EQ(player->lastEaten, fly->mName);
}

TEST_F(PlayerBiteTest, ABiteStartedWhileRunningLandsWhenItsClockReaches14Of59) {
  // Running, the upper body's clock runs at speed 2, and the bite's first
  // update still advances it at that speed: 2/59 after the start, then one
  // frame an update, so 14/59 is reached after 13 updates.
  Step(Keys({Key::Up}));
  // A fly 4 ahead of the mouth: the running mouth reaches it two updates
  // before the bite stands at 14/59, the body stays clear of it until then.
  Enemy* fly = PerchAt<Enemy04>(AheadOfMouth(4.0f));
  std::vector<int> caught;
  for (int u = 0; u < 30; ++u) {
    const double position = UpperBodyTrack();
    const int before = score.comboCount;
    Step(Keys({Key::Up, Key::Space}));
    if (score.comboCount != before) {
      caught.push_back(u);
      EXPECT_NEAR(position, 14.0 / 59.0, 1e-6);
    }
  }
  EXPECT_EQ(caught, std::vector<int>{13});
  EXPECT_FALSE(fly->alive);
}

using PlayerHungerTest = CreatureTest;

TEST_F(PlayerHungerTest, AnUnfedCreatureShrinksAfter50Then47Then44FramesDownToEvery10) {
  StandAtPole(0.6f);
  std::vector<int> shrinks;
  for (int u = 1; u <= 460; ++u) {
    const float before = player->mSize;
    Step();
    if (player->mSize != before) {
      shrinks.push_back(u);
      EXPECT_EQ(player->mSize, before - 0.001f) << "update " << u;
    }
  }
  // Intervals 50, 47, 44, 41, 38, 35, 32, 29, 26, 23, 20, 17, 14, 11, then 10.
  EXPECT_EQ(shrinks, (std::vector<int>{50, 97, 141, 182, 220, 255, 287, 316, 342, 365, 385, 402,
                                       416, 427, 437, 447, 457}));
  EXPECT_EQ(player->hungerInterval, 10);
}

TEST_F(PlayerHungerTest, TheSizeNeverFallsBelowHalfNorTheIntervalBelow10) {
  StandAtPole(0.52f);
  for (int u = 0; u < 1000; ++u) {
    Step();
    ASSERT_GE(player->mSize, 0.5f) << "update " << u;
    ASSERT_GE(player->hungerInterval, 10) << "update " << u;
  }
  EXPECT_EQ(player->mSize, 0.5f);
  EXPECT_EQ(player->hungerInterval, 10);
}

using PlayerGlowTest = CreatureTest;

TEST_F(PlayerGlowTest, TheGlowSwellsFromOneToOneAndAHalfByAHundredthAnUpdate) {
  player->lastEaten = "";  // no growth, only the glow
  Swallow(*player, services.soundRequests);
  ASSERT_TRUE(player->glowing);
  ASSERT_EQ(player->glowScale, 1.0f);
  for (int u = 1; u <= 50; ++u) {
    Step();
    EXPECT_NEAR(player->glowScale, 1.0f + 0.01f * static_cast<float>(u), 1e-5f) << "update " << u;
    // Fifty hundredths added in single precision make 1.4999995: still
    // showing, so the glow ends with the update after.
    EXPECT_TRUE(player->glowing) << "update " << u;
  }
  Step();
  EXPECT_FALSE(player->glowing);
  EXPECT_GE(player->glowScale, 1.5f);
  const float scale = player->glowScale;
  Step();
  EXPECT_EQ(player->glowScale, scale) << "it stops growing once it is over";
}

TEST_F(PlayerGlowTest, TheGlowIsDrawnAddedToTheSceneOnlyWhileItShows) {
  platform::NullDevice& device = Device();
  device.RecordDraws(true);
  device.ClearDraws();
  player->DrawGlow(device, *services.meshes);
  EXPECT_TRUE(device.Draws().empty()) << "no glow, no draw";

  player->Draw(device, *services.meshes);
  const std::size_t bodyDraws = device.Draws().size();
  ASSERT_GT(bodyDraws, 0u);
  device.ClearDraws();
  player->glowing = true;
  player->glowScale = 1.2f;
  player->DrawGlow(device, *services.meshes);
  ASSERT_EQ(device.Draws().size(), bodyDraws);
  for (const platform::DrawRecord& d : device.Draws()) {
    EXPECT_EQ(d.state.destBlend, platform::kBlendOne);
  }
  EXPECT_EQ(device.State().destBlend, platform::kBlendInvSrcAlpha);
  device.RecordDraws(false);
  device.ClearDraws();
}

using PlayerRecoilTest = CreatureTest;

TEST_F(PlayerRecoilTest, ARecoilBegunWhileRunningKeepsRunningTheSameWayWithTheKeysReleased) {
  // Running along +Z into a caterpillar too big: the bite started while
  // running lands 13 updates after its start, with the body still clear of
  // the caterpillar's sphere.
  Step(Keys({Key::Up}));
  Enemy* caterpillar = PerchAt<Enemy01>(AheadOfMouth(4.6f));
  int u = 0;
  for (; u < 20 && !player->recoiling; ++u) Step(Keys({Key::Up, Key::Space}));
  ASSERT_TRUE(player->recoiling);
  EXPECT_EQ(u, 14) << "the miss came in update 13 after the start";
  EXPECT_TRUE(caterpillar->alive);
  // Out of the way, so that nothing pushes the body while it runs on.
  enemies.ClearEnemies();

  // The recoil lasts 14 updates counting the one of the miss; in the 13 that
  // follow the keys are not read: Left held, or nothing, it runs on along +Z.
  for (int r = 1; r <= 13; ++r) {
    ASSERT_TRUE(player->recoiling) << "recoil update " << r;
    const Vec3 before = player->Position();
    Step(r % 2 ? Keys({Key::Left}) : platform::TickInput{});
    EXPECT_TRUE(player->moving) << "recoil update " << r;
    EXPECT_EQ(player->moveDirection, 0) << "recoil update " << r;
    EXPECT_FLOAT_EQ(player->mAngle, 0.0f) << "recoil update " << r;
    EXPECT_NEAR(ArcBetween(before, player->Position()), 0.2f, 1e-3f) << "recoil update " << r;
    EXPECT_GT(player->Position().z, before.z);
  }
  EXPECT_FALSE(player->recoiling);
  EXPECT_EQ(player->recoilPosition, 0.0);
  // The keys count again: released, it stands.
  const Vec3 stop = player->Position();
  Step();
  EXPECT_FALSE(player->moving);
  EXPECT_LT(engine::Vec3Length(player->Position() - stop), 1e-4f);
}

using PlayerDebugTest = CreatureTest;

std::string ReadAll(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[256];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, f)) text.append(buffer, n);
  return text;
}

TEST_F(PlayerDebugTest, TheTurningLinesGoToTheGivenFileOnlyAndNameTheDirection) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  debugOut = file;
  const std::string rule = "--------------------------------------------------------\n";
  ::testing::internal::CaptureStdout();
  Step(Keys({Key::Down}));
  Step();  // standing: no lines
  cameraYaw = 300.0f;
  Step(Keys({Key::Right}));  // target 30 from 350: 40 to the right, to exactly 360
  Step(Keys({Key::Left, Key::Up}));
  debugOut = nullptr;
  Step(Keys({Key::Left}));  // no file: no lines anywhere
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "");
  EXPECT_EQ(ReadAll(file), rule + "kDown\n" + "angle350.000000, camY0.000000\n" +
                               "right_ang:180.000000, left_ang:180.000000\n" + rule + "kRight\n" +
                               "angle360.000000, camY300.000000\n" +
                               "right_ang:40.000000, left_ang:320.000000\n" + rule + "kUp\n" +
                               "angle350.000000, camY300.000000\n" +
                               "right_ang:300.000000, left_ang:60.000000\n");
  std::fclose(file);
}

}  // namespace
}  // namespace creatures
