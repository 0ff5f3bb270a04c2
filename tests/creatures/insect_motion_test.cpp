// The insects' steps, frame by frame, on a smooth test planet with the
// creature placed by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "creatures/beetle.h"
#include "creatures/butterfly.h"
#include "creatures/caterpillar.h"
#include "creatures/fly.h"
#include "insect_world.h"

namespace creatures {
namespace {

using engine::Vec3;
using testworld::AlongZ;
using testworld::InsectWorld;
using testworld::kR;

// The faces of the test sphere lie up to 0.026 inside the true sphere.
constexpr float kGroundSlack = 0.03f;

void ExpectNear(const Vec3& got, const Vec3& want, float tolerance, const char* what) {
  EXPECT_NEAR(got.x, want.x, tolerance) << what;
  EXPECT_NEAR(got.y, want.y, tolerance) << what;
  EXPECT_NEAR(got.z, want.z, tolerance) << what;
}

// Degrees of arc between the pole and the place the creature stands: the
// creature helpers must put it where the tests say.
TEST(InsectWorldTest, CreatureStandsWhereThePlacementSays) {
  InsectWorld w;
  Enemy04 fly(kR + 1.5f);
  w.Ahead(30.0f);
  EXPECT_NEAR(fly.NearAngle(w.world), 30.0f, 1e-3f);
  EXPECT_GT(world::Up(w.world.playerRotation).z, 0.4f);
  w.Behind(30.0f);
  EXPECT_LT(world::Up(w.world.playerRotation).z, -0.4f);
  w.Right(30.0f);
  EXPECT_GT(world::Up(w.world.playerRotation).x, 0.4f);
  // The ground is hover height below an insect standing at the pole.
  EXPECT_NEAR(fly.DistanceToGround(*w.world.planet), 1.5f, kGroundSlack);
  // 8 along the surface of a sphere of radius 48 is 9.5493 degrees.
  w.Behind(9.5f);
  EXPECT_NEAR(fly.ArcDistance(w.world), 7.9587f, 1e-3f);
}

TEST(InsectBirthTest, EachKindStartsAtThePoleWithItsNameHoverAndSphere) {
  const Enemy01 caterpillar(50.0f);
  const Enemy02 butterfly(51.0f);
  const Enemy03 beetle(52.0f);
  const Enemy04 fly(53.0f);
  const struct {
    const Enemy& insect;
    const char* name;
    int kind;
    float hover, templateRadius, height;
  } want[] = {
      {caterpillar, "あおむし", kCaterpillar, 0.2f, 0.8f, 50.0f},
      {butterfly, "ちょうちょ", kButterfly, 1.4f, 1.0f, 51.0f},
      {beetle, "かぶとむし", kBeetle, 1.5f, 3.2f, 52.0f},
      {fly, "はえ", kFly, 1.5f, 1.6f, 53.0f},
  };
  for (const auto& w : want) {
    EXPECT_EQ(w.insect.mName, w.name);
    EXPECT_EQ(w.insect.Kind(), w.kind) << w.name;
    EXPECT_FLOAT_EQ(w.insect.hoverHeight, w.hover) << w.name;
    EXPECT_FLOAT_EQ(w.insect.hitSphere.radius, w.templateRadius) << w.name;
    EXPECT_FLOAT_EQ(w.insect.mHeight, w.height) << w.name;
    EXPECT_EQ(w.insect.mRotation, engine::Quaternion{}) << w.name;
    EXPECT_EQ(w.insect.mAngle, 0.0f) << w.name;
    EXPECT_TRUE(w.insect.alive) << w.name;
    EXPECT_FALSE(w.insect.tilted) << w.name;
    EXPECT_EQ(w.insect.animClock, 0.0f) << w.name;
  }
}

TEST(InsectHitSphereTest, OneSphereAtTheInsectScaledByItsKind) {
  Enemy01 caterpillar(50.0f);
  Enemy02 butterfly(50.0f);
  Enemy03 beetle(50.0f);
  Enemy04 fly(50.0f);
  const struct {
    Enemy& insect;
    float radius;
  } want[] = {{caterpillar, 1.2f}, {butterfly, 2.0f}, {beetle, 0.64f}, {fly, 0.64f}};
  for (const auto& w : want) {
    // A quarter turn about Z lays +Y onto -X: the insect stands at (-50, 0, 0).
    w.insect.mRotation = testworld::AboutZ(90.0f);
    const std::vector<world::HitSphere> spheres = w.insect.GetHitSpheres();
    ASSERT_EQ(spheres.size(), 1u) << w.insect.mName;
    EXPECT_NEAR(spheres[0].radius, w.radius, 1e-6f) << w.insect.mName;
    ExpectNear(spheres[0].Centre(), {-50.0f, 0.0f, 0.0f}, 1e-4f, w.insect.mName.c_str());
  }
}

TEST(CaterpillarTest, FarFromTheCreatureItNeitherCrawlsNorAnimates) {
  InsectWorld w;
  Enemy01 caterpillar(kR + 0.2f);
  w.Behind(46.0f);
  for (int i = 0; i < 120; ++i) ASSERT_TRUE(caterpillar.EnemyUpdate(w.world));
  EXPECT_EQ(caterpillar.mRotation, engine::Quaternion{});
  EXPECT_EQ(caterpillar.mHeight, kR + 0.2f);
  EXPECT_EQ(caterpillar.animClock, 0.0f);
}

TEST(CaterpillarTest, ClockWrapsAfterSixtyUpdatesAndItCrawlsInTheSecondHalf) {
  InsectWorld w;
  Enemy01 caterpillar(kR + 0.2f);
  // Ahead of it, so that it crawls toward the creature and stays awake.
  w.Ahead(44.9f);
  ASSERT_LE(caterpillar.NearAngle(w.world), 45.0f);
  // Sixty adds of 1/60 in single precision: after the 59th the clock is
  // 0.98333305, still short of 0.98333335, so the 60th (0.9999997) wraps it
  // to 0. The 30th is the first at 0.5 or more (0.50000018).
  std::vector<int> crawled;
  for (int n = 1; n <= 120; ++n) {
    const engine::Quaternion before = caterpillar.mRotation;
    ASSERT_TRUE(caterpillar.EnemyUpdate(w.world));
    if (!(caterpillar.mRotation == before)) crawled.push_back(n);
    const int inCycle = (n - 1) % 60 + 1;
    if (inCycle == 60) {
      EXPECT_EQ(caterpillar.animClock, 0.0f) << n;
    } else {
      EXPECT_NEAR(caterpillar.animClock, inCycle / 60.0f, 1e-5f) << n;
    }
  }
  std::vector<int> want;
  for (int n = 30; n <= 59; ++n) want.push_back(n);
  for (int n = 90; n <= 119; ++n) want.push_back(n);
  EXPECT_EQ(crawled, want);
  // Sixty crawls of 0.05, straight on, standing 0.2 above the ground.
  const Vec3 at = caterpillar.Position();
  EXPECT_NEAR(at.x, 0.0f, 1e-4f);
  EXPECT_NEAR(std::atan2(at.z, at.y) * kR, 3.0f, 1e-3f);
  EXPECT_NEAR(caterpillar.mHeight, kR + 0.2f, kGroundSlack);
  EXPECT_EQ(caterpillar.mAngle, 0.0f);
}

TEST(FlyTest, FarFromTheCreatureItStandsStillButKeepsItsWingsGoing) {
  InsectWorld w;
  Enemy04 fly(kR + 1.5f);
  w.Ahead(46.0f);
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(fly.EnemyUpdate(w.world));
  EXPECT_EQ(fly.mRotation, engine::Quaternion{});
  EXPECT_EQ(fly.mHeight, kR + 1.5f);
  EXPECT_NEAR(fly.animClock, 1.0f, 1e-5f);
}

TEST(FlyTest, NearTheCreatureItWalksStraightOnWithoutPausesAndNeverWrapsItsClock) {
  InsectWorld w;
  Enemy04 fly(kR + 1.5f);
  w.Ahead(44.9f);
  ASSERT_LE(fly.NearAngle(w.world), 45.0f);
  for (int n = 1; n <= 90; ++n) {
    ASSERT_TRUE(fly.EnemyUpdate(w.world));
    // 0.05 along the surface per update, 1.5 above the ground.
    ExpectNear(fly.Position(), AlongZ(0.05f * n, kR + 1.5f), 0.04f, "walking");
  }
  EXPECT_NEAR(std::atan2(fly.Position().z, fly.Position().y) * kR, 4.5f, 1e-3f);
  EXPECT_NEAR(fly.animClock, 1.5f, 1e-5f);
  EXPECT_EQ(fly.mAngle, 0.0f);
}

// Runs updates until the butterfly is fleeing; returns the number of updates
// it took (0 when it never fled within `limit`).
int UpdatesUntilFleeing(Enemy02& butterfly, InsectWorld& w, int limit) {
  for (int n = 1; n <= limit; ++n) {
    EXPECT_TRUE(butterfly.EnemyUpdate(w.world)) << n;
    if (butterfly.fleeing) return n;
  }
  return 0;
}

TEST(ButterflyTest, AlarmedWithinEightAlongTheSurfaceAndFleesOnWhenTheCreatureLeaves) {
  InsectWorld w;
  {
    // 9.6 degrees is 8.04 along the surface: not close enough.
    Enemy02 butterfly(kR + 1.4f);
    w.Behind(9.6f);
    EXPECT_EQ(UpdatesUntilFleeing(butterfly, w, 200), 0);
    EXPECT_EQ(butterfly.alarmCounter, 0);
    EXPECT_EQ(butterfly.mRotation, engine::Quaternion{});
    EXPECT_NEAR(butterfly.animClock, 200 / 60.0f, 1e-4f);
  }
  for (const float leftTo : {30.0f, 120.0f}) {
    // 9.5 degrees is 7.96. The alarm starts the counter at 1 and the delay
    // counts it on in the same update (2); it passes 49 in the 49th update,
    // 48 updates after the alarm, with the creature gone out of range.
    Enemy02 butterfly(kR + 1.4f);
    w.Behind(9.5f);
    ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
    EXPECT_EQ(butterfly.alarmCounter, 2);
    w.Behind(leftTo);
    for (int n = 2; n <= 48; ++n) {
      ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
      ASSERT_FALSE(butterfly.fleeing) << n;
      ASSERT_EQ(butterfly.mRotation, engine::Quaternion{}) << "it rests until it flees";
    }
    if (leftTo >= 50.0f) {
      // Already 50 degrees from the creature: it is gone the moment it flies.
      EXPECT_FALSE(butterfly.EnemyUpdate(w.world));
      EXPECT_TRUE(butterfly.fleeing);
      continue;
    }
    ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
    EXPECT_TRUE(butterfly.fleeing);
    EXPECT_TRUE(butterfly.turningAway);
    EXPECT_EQ(butterfly.alarmCounter, 50);
    // It flies off in the update it takes wing.
    EXPECT_NE(butterfly.mRotation, engine::Quaternion{});
    // The counter stops once it flees.
    ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
    EXPECT_EQ(butterfly.alarmCounter, 50);
  }
}

TEST(ButterflyTest, BobsInStepsOfAFifthOfAQuarterBetweenMinusAndPlusPointTwo) {
  InsectWorld w;
  Enemy02 butterfly(kR + 1.4f);
  w.Behind(9.0f);
  ASSERT_EQ(UpdatesUntilFleeing(butterfly, w, 60), 49);
  // The update it takes wing is the first bob.
  const float cycle[] = {0.05f,  0.1f,  0.15f,  0.2f,  0.15f,  0.1f,  0.05f,  0.0f,
                         -0.05f, -0.1f, -0.15f, -0.2f, -0.15f, -0.1f, -0.05f, 0.0f};
  float lowest = 0, highest = 0;
  for (int n = 0; n < 300; ++n) {
    if (n > 0) {
      ASSERT_TRUE(butterfly.EnemyUpdate(w.world)) << n;
    }
    ASSERT_NEAR(butterfly.bobOffset, cycle[n % 16], 1e-6f) << "flight update " << n;
    lowest = std::fmin(lowest, butterfly.bobOffset);
    highest = std::fmax(highest, butterfly.bobOffset);
    // Its height follows the bob above its hover height.
    ASSERT_NEAR(butterfly.DistanceToGround(*w.world.planet), 1.4f + cycle[n % 16], kGroundSlack)
        << n;
  }
  EXPECT_NEAR(lowest, -0.2f, 1e-6f);
  EXPECT_NEAR(highest, 0.2f, 1e-6f);
}

TEST(ButterflyTest, EscapesInTheUpdateItsNearAngleReachesFifty) {
  InsectWorld w;
  Enemy02 butterfly(kR + 1.4f);
  // The creature behind it: the butterfly never turns and flies straight
  // away, 0.1 along the surface (0.119366 degrees) per update, from 9.5
  // degrees: 339 flights leave it at 49.965 degrees, the 340th at 50.084.
  w.Behind(9.5f);
  ASSERT_EQ(UpdatesUntilFleeing(butterfly, w, 60), 49);
  int flights = 1;
  while (butterfly.EnemyUpdate(w.world)) {
    ++flights;
    ASSERT_LT(butterfly.NearAngle(w.world), 50.0f);
    ASSERT_LT(flights, 400);
  }
  ++flights;
  EXPECT_EQ(flights, 340);
  EXPECT_GE(butterfly.NearAngle(w.world), 50.0f);
  EXPECT_TRUE(butterfly.alive) << "escaped, not eaten";
}

TEST(ButterflyTest, TurnsItsBackOnTheCreatureThreeDegreesAtATime) {
  {
    // Creature to its right: yaw error +90, so it turns left, and mAngle goes
    // below 0 without wrapping.
    InsectWorld w;
    Enemy02 butterfly(kR + 1.4f);
    w.Right(9.0f);
    ASSERT_EQ(UpdatesUntilFleeing(butterfly, w, 60), 49);
    EXPECT_NEAR(butterfly.yawToPlayer, 90.0f, 1e-3f);
    EXPECT_EQ(butterfly.mAngle, -3.0f);
    ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
    EXPECT_EQ(butterfly.mAngle, -6.0f);
    // Its heading turned toward -X, away from the creature.
    const Vec3 forward = world::Forward(butterfly.mRotation);
    EXPECT_NEAR(forward.x, -std::sin(6.0f * engine::kDegToRad), 2e-3f);
  }
  {
    // Creature straight ahead: yaw error 0, it turns right.
    InsectWorld w;
    Enemy02 butterfly(kR + 1.4f);
    w.Ahead(9.0f);
    ASSERT_EQ(UpdatesUntilFleeing(butterfly, w, 60), 49);
    EXPECT_NEAR(butterfly.yawToPlayer, 0.0f, 1e-3f);
    EXPECT_EQ(butterfly.mAngle, 3.0f);
    // Next it has flown 0.1 on and turned 3 degrees: the error is the
    // heading's own angle to the creature (0.15 degrees to its left) less
    // mAngle, -6.15.
    ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
    EXPECT_NEAR(butterfly.yawToPlayer, -6.15f, 0.2f);
    EXPECT_EQ(butterfly.mAngle, 6.0f);
    // From then on every update turns 3 degrees away from the side the error
    // points to, or not at all once the error reaches 177 either way.
    int still = 0;
    for (int n = 0; n < 150; ++n) {
      const float before = butterfly.mAngle;
      ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
      const float yaw = butterfly.yawToPlayer;
      const float turned = butterfly.mAngle - before;
      if (std::fabs(yaw) >= 177.0f) {
        ASSERT_EQ(turned, 0.0f) << n << " error " << yaw;
        ++still;
      } else {
        ASSERT_EQ(turned, yaw > 0.0f ? -3.0f : 3.0f) << n << " error " << yaw;
      }
    }
    EXPECT_GT(still, 50) << "it never got its back to the creature";
  }
  {
    // Creature behind it: its back is already turned (error 180); it flies on
    // without turning at all.
    InsectWorld w;
    Enemy02 butterfly(kR + 1.4f);
    w.Behind(9.0f);
    ASSERT_EQ(UpdatesUntilFleeing(butterfly, w, 60), 49);
    for (int n = 0; n < 100; ++n) {
      ASSERT_TRUE(butterfly.EnemyUpdate(w.world));
      ASSERT_GE(std::fabs(butterfly.yawToPlayer), 177.0f);
      ASSERT_EQ(butterfly.mAngle, 0.0f);
    }
    EXPECT_NEAR(butterfly.Position().x, 0.0f, 1e-4f);
    EXPECT_GT(butterfly.Position().z, 0.0f);
  }
}

TEST(BeetleTest, AlarmedItTurnsAboutAndClimbsUntilItIsGone) {
  InsectWorld w;
  // 49.51 + 270 * 0.03 = 57.61: the 270th climb passes 1.2 R = 57.6, the
  // 269th (57.58) does not.
  Enemy03 beetle(49.51f);
  w.Behind(9.6f);
  for (int n = 0; n < 100; ++n) ASSERT_TRUE(beetle.EnemyUpdate(w.world));
  EXPECT_EQ(beetle.alarmCounter, 0) << "8.04 along the surface is not close enough";

  w.Behind(9.5f);
  ASSERT_TRUE(beetle.EnemyUpdate(w.world));
  EXPECT_EQ(beetle.alarmCounter, 2);
  w.Away();
  for (int n = 2; n <= 48; ++n) {
    ASSERT_TRUE(beetle.EnemyUpdate(w.world));
    ASSERT_FALSE(beetle.flying) << n;
  }
  EXPECT_EQ(beetle.mHeight, 49.51f);
  EXPECT_EQ(beetle.animClock, 0.0f) << "a resting beetle's wings are still";

  // The 49th update: a half turn, the first flight step and the first climb.
  ASSERT_TRUE(beetle.EnemyUpdate(w.world));
  ASSERT_TRUE(beetle.flying);
  EXPECT_EQ(beetle.mAngle, 180.0f);
  EXPECT_NEAR(beetle.mHeight, 49.54f, 1e-4f);
  // Its wings start in the next update: five fifty-ninths per update, and the
  // eighth (40/59) starts the beat over.
  EXPECT_EQ(beetle.animClock, 0.0f);
  int climbs = 1;
  for (int n = 1; n <= 8; ++n) {
    ASSERT_TRUE(beetle.EnemyUpdate(w.world));
    ++climbs;
    if (n < 8) {
      EXPECT_NEAR(beetle.animClock, n * 5.0f / 59.0f, 1e-5f) << n;
    } else {
      EXPECT_EQ(beetle.animClock, 0.0f);
    }
  }
  // Turned about, it flies toward -Z, 0.08 along the ground per update, and
  // never stands on the ground again.
  EXPECT_NEAR(std::atan2(beetle.Position().z, beetle.Position().y) * kR, -0.72f, 1e-3f);
  EXPECT_NEAR(beetle.mHeight, 49.51f + 9 * 0.03f, 1e-4f);

  while (beetle.EnemyUpdate(w.world)) {
    ++climbs;
    ASSERT_TRUE(beetle.alive);
    ASSERT_LT(climbs, 300);
  }
  ++climbs;
  EXPECT_EQ(climbs, 270);
  EXPECT_FALSE(beetle.alive);
  EXPECT_GE(beetle.mHeight, kR * 1.2f);
}

TEST(EatenInsectTest, ItsNextUpdateReturnsFalse) {
  InsectWorld w;
  w.Behind(30.0f);
  Enemy01 caterpillar(kR + 0.2f);
  Enemy02 butterfly(kR + 1.4f);
  Enemy03 beetle(kR + 1.5f);
  Enemy04 fly(kR + 1.5f);
  for (Enemy* insect : std::vector<Enemy*>{&caterpillar, &butterfly, &beetle, &fly}) {
    ASSERT_TRUE(insect->EnemyUpdate(w.world)) << insect->mName;
    insect->alive = false;
    EXPECT_FALSE(insect->EnemyUpdate(w.world)) << insect->mName;
  }
  // A fleeing butterfly and a climbing beetle can still be eaten.
  Enemy02 fleeing(kR + 1.4f);
  Enemy03 climbing(kR + 1.5f);
  w.Behind(9.0f);
  for (int n = 0; n < 60; ++n) {
    ASSERT_TRUE(fleeing.EnemyUpdate(w.world));
    ASSERT_TRUE(climbing.EnemyUpdate(w.world));
  }
  ASSERT_TRUE(fleeing.fleeing);
  ASSERT_TRUE(climbing.flying);
  fleeing.alive = false;
  climbing.alive = false;
  EXPECT_FALSE(fleeing.EnemyUpdate(w.world));
  EXPECT_FALSE(climbing.EnemyUpdate(w.world));
}

}  // namespace
}  // namespace creatures
