// The insect manager on the game's own planet: scattering, the insects the
// placed objects carry, the step that removes the gone ones and the draw
// that leaves out the ones too far round the planet or out of view.
#include "creatures/enemy_manager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "creatures/beetle.h"
#include "creatures/butterfly.h"
#include "creatures/caterpillar.h"
#include "creatures/fly.h"
#include "engine/math.h"
#include "engine/random.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "platform/null/device_null.h"
#include "world/camera.h"
#include "world/culling.h"
#include "world/test_planet.h"
#include "world/world_objects.h"

namespace creatures {
namespace {

namespace fs = std::filesystem;
using engine::Matrix;
using engine::Quaternion;
using engine::Vec3;

Quaternion AboutX(float degrees) {
  return engine::QuaternionRotationAxis({1, 0, 0}, degrees * engine::kDegToRad);
}

bool Near(const Vec3& a, const Vec3& b, float tolerance) {
  return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
         std::fabs(a.z - b.z) <= tolerance;
}

class EnemyManagerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { planet_ = testplanet::LoadGamePlanet().release(); }
  static void TearDownTestSuite() {
    delete planet_;
    planet_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(planet_, nullptr); }

  static const world::Planet& World() { return planet_->planet; }
  static float R() { return planet_->R(); }
  // The distance straight down to the ground, over every face of the model.
  static float StraightDown(const Enemy& insect) {
    const float k = 1.0f / World().scale;
    const engine::IntersectResult hit =
        planet_->mesh->IntersectBruteForce(insect.Position() * k, -world::Up(insect.mRotation) * k);
    EXPECT_TRUE(hit.hit);
    return hit.distance;
  }

  static testplanet::TestPlanet* planet_;
  EnemyManager manager;
};

testplanet::TestPlanet* EnemyManagerTest::planet_ = nullptr;

// Each insect takes three angles from the generator, a about X, b about Y
// and c about Z, and is turned about Z, then X, then Y: its up axis is
// (0, 1, 0) RotZ(c) RotX(a) RotY(b).
TEST_F(EnemyManagerTest, Scatters40CaterpillarsThen35FliesStandingAtTheirHover) {
  manager.SpawnEnemy("Fly", 70.0f, "Stump", {});  // last run's insect
  engine::Random random(7);
  manager.SpawnRandomEnemies(World(), random);
  ASSERT_EQ(manager.enemies.size(), 75u);
  EXPECT_EQ(manager.Count(kCaterpillar), 40);
  EXPECT_EQ(manager.Count(kFly), 35);
  EXPECT_EQ(manager.Count(kButterfly), 0);
  EXPECT_EQ(manager.Count(kBeetle), 0);

  engine::Random again(7);
  for (std::size_t i = 0; i < manager.enemies.size(); ++i) {
    const Enemy& insect = *manager.enemies[i];
    EXPECT_EQ(insect.Kind(), i < 40 ? kCaterpillar : kFly) << i;
    const float a = static_cast<float>(again.Rand() % 360) * engine::kDegToRad;
    const float b = static_cast<float>(again.Rand() % 360) * engine::kDegToRad;
    const float c = static_cast<float>(again.Rand() % 360) * engine::kDegToRad;
    const Matrix turned =
        engine::MatrixRotationZ(c) * engine::MatrixRotationX(a) * engine::MatrixRotationY(b);
    EXPECT_TRUE(
        Near(world::Up(insect.mRotation), {turned.m[1][0], turned.m[1][1], turned.m[1][2]}, 1e-5f))
        << i;
    const float hover = i < 40 ? 0.2f : 1.5f;
    EXPECT_NEAR(insect.DistanceToGround(World()), hover, 2e-4f) << i;
    EXPECT_NEAR(StraightDown(insect), hover, 2e-4f) << i;
    EXPECT_FALSE(insect.tilted);
  }
  // Three numbers an insect, and no new seed.
  EXPECT_EQ(random.State(), again.State());
}

TEST_F(EnemyManagerTest, SpawnEnemyMakesTheKindAtItsHostsHeightPlusItsHover) {
  const Quaternion q = AboutX(33.0f);
  const float h = 58.75f;
  const struct {
    const char* kind;
    const char* host;
    int want;  // -1: nothing
    bool tilted;
    float hover;
  } cases[] = {
      {"Butterfly", "Tree", kButterfly, true, 1.4f},
      {"Butterfly", "Flower", kButterfly, false, 1.4f},
      {"BeetleBug", "Tree", kBeetle, true, 1.5f},
      {"BeetleBug", "Stump", kBeetle, false, 1.5f},
      {"Fly", "Tree", kFly, false, 1.5f},
      {"Fly", "Stump", kFly, false, 1.5f},
      {"Butterfly", "Tree ", kButterfly, false, 1.4f},
      {"BeetleBug", "tree", kBeetle, false, 1.5f},
      {"Caterpillar", "Tree", -1, false, 0.0f},
      {"butterfly", "Flower", -1, false, 0.0f},
      {"Fly ", "Stump", -1, false, 0.0f},
      {"", "", -1, false, 0.0f},
  };
  for (const auto& c : cases) {
    manager.ClearEnemies();
    manager.SpawnEnemy(c.kind, h, c.host, q);
    if (c.want < 0) {
      EXPECT_TRUE(manager.enemies.empty()) << c.kind;
      continue;
    }
    ASSERT_EQ(manager.enemies.size(), 1u) << c.kind;
    const Enemy& insect = *manager.enemies[0];
    EXPECT_EQ(insect.Kind(), c.want) << c.kind;
    EXPECT_EQ(insect.tilted, c.tilted) << c.kind << " on '" << c.host << "'";
    // No ground ray: exactly the host's height plus the hover.
    EXPECT_EQ(insect.mHeight, h + c.hover) << c.kind;
    EXPECT_EQ(insect.mRotation, q) << c.kind;
  }
  // Spawned insects are appended.
  manager.ClearEnemies();
  manager.SpawnEnemy("Fly", h, "Stump", q);
  manager.SpawnEnemy("BeetleBug", h, "Tree", q);
  ASSERT_EQ(manager.enemies.size(), 2u);
  EXPECT_EQ(manager.enemies[0]->Kind(), kFly);
  EXPECT_EQ(manager.enemies[1]->Kind(), kBeetle);
}

TEST_F(EnemyManagerTest, TheShippedPlacementCarriesTiltedBeetlesAndUprightButterfliesAndFlies) {
  engine::Random random(11);
  manager.SpawnRandomEnemies(World(), random);
  world::WorldObjects objects;
  const std::vector<world::Rider> riders = world::LoadObjectPositions(
      objects, World(), random, {manager.beetleCount, manager.butterflyCount},
      std::string(POROMEKO_SOURCE_DIR) + "/content/Data/ObjectPos.csv");
  manager.SpawnRiders(riders);
  ASSERT_EQ(manager.enemies.size(), 75u + 25u + 30u + 12u);
  EXPECT_EQ(manager.Count(kCaterpillar), 40);
  EXPECT_EQ(manager.Count(kBeetle), 25);
  EXPECT_EQ(manager.Count(kButterfly), 30);
  EXPECT_EQ(manager.Count(kFly), 35 + 12);
  for (std::size_t i = 75; i < manager.enemies.size(); ++i) {
    const Enemy& insect = *manager.enemies[i];
    const world::Rider& rider = riders[i - 75];
    EXPECT_EQ(insect.tilted, insect.Kind() == kBeetle) << i;
    EXPECT_EQ(insect.mRotation, rider.rotation);
    EXPECT_EQ(insect.mHeight, rider.height + insect.hoverHeight);
    // The host stands on the ground, so the insect hovers over it; a beetle
    // sits 0.8 behind its tree, where the ground may be a little lower.
    EXPECT_NEAR(insect.DistanceToGround(World()), insect.hoverHeight,
                insect.Kind() == kBeetle ? 0.1f : 2e-4f)
        << i;
  }
}

// Five insects of every kind, far round the planet from the creature so
// that none of them moves; the ones marked gone leave, the rest keep their
// order.
TEST_F(EnemyManagerTest, TheStepRemovesTheGoneInsectsAndKeepsTheOrder) {
  manager.enemies.push_back(std::make_unique<Enemy01>(R() + 0.2f));
  manager.enemies.push_back(std::make_unique<Enemy02>(R() + 1.4f));
  manager.enemies.push_back(std::make_unique<Enemy03>(R() + 1.5f));
  manager.enemies.push_back(std::make_unique<Enemy04>(R() + 1.5f));
  manager.enemies.push_back(std::make_unique<Enemy01>(R() + 0.2f));
  std::vector<Enemy*> all;
  for (const auto& e : manager.enemies) all.push_back(e.get());
  EnemyWorld w;
  w.planet = &World();
  w.playerRotation = AboutX(150.0f);
  w.playerHeight = R() + 1.0f;

  manager.UpdateEnemies(w);
  ASSERT_EQ(manager.enemies.size(), 5u);
  all[0]->alive = false;
  all[2]->alive = false;
  all[4]->alive = false;
  manager.UpdateEnemies(w);
  ASSERT_EQ(manager.enemies.size(), 2u);
  EXPECT_EQ(manager.enemies[0].get(), all[1]);
  EXPECT_EQ(manager.enemies[1].get(), all[3]);
  all[1]->alive = false;
  manager.UpdateEnemies(w);
  ASSERT_EQ(manager.enemies.size(), 1u);
  EXPECT_EQ(manager.enemies[0].get(), all[3]);
  all[3]->alive = false;
  manager.UpdateEnemies(w);
  EXPECT_TRUE(manager.enemies.empty());
}

// Drawn on the headless device with the fly's model: the creature stands at
// the north pole, the camera looks at the planet from far out in front, so
// every fly tested is in view.
class EnemyDrawTest : public EnemyManagerTest {
 protected:
  static void SetUpTestSuite() {
    EnemyManagerTest::SetUpTestSuite();
    old_ = new fs::path(fs::current_path());
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
    device_ = new platform::NullDevice;
    meshes_ = new media::MeshManager;
    meshes_->LoadAnimatedModel(content::model::kFly, device_);
  }
  static void TearDownTestSuite() {
    delete meshes_;
    delete device_;
    fs::current_path(*old_);
    delete old_;
    EnemyManagerTest::TearDownTestSuite();
  }
  void SetUp() override {
    EnemyManagerTest::SetUp();
    device_->RecordDraws(true);
  }
  void TearDown() override { device_->RecordDraws(false); }

  // Whether a lone fly at q is drawn for the creature at the north pole.
  bool Drawn(const Quaternion& q, const Matrix& view) {
    manager.ClearEnemies();
    manager.SpawnEnemy("Fly", R(), "Stump", q);
    device_->ClearDraws();
    manager.DrawEnemiesCulled(*device_, *meshes_, Quaternion{},
                              world::ViewVolume(view, Projection()));
    return !device_->Draws().empty();
  }
  bool InView(const Quaternion& q, const Matrix& view) {
    manager.ClearEnemies();
    manager.SpawnEnemy("Fly", R(), "Stump", q);
    return world::ViewVolume(view, Projection()).AnyInside(manager.enemies[0]->GetHitSpheres());
  }
  static Matrix FrontView() { return engine::MatrixLookAtLH({0, 40, 300}, {0, 40, 0}, {0, 1, 0}); }
  static Matrix Projection() {
    return engine::MatrixPerspectiveFovLH(world::kCameraFov, world::kCameraAspect,
                                          world::kCameraNear, world::kCameraFar);
  }

  static inline fs::path* old_ = nullptr;
  static inline platform::NullDevice* device_ = nullptr;
  static inline media::MeshManager* meshes_ = nullptr;
};

TEST_F(EnemyDrawTest, InsectsAreDrawnWithin45DegreesAndInViewOnly) {
  for (float degrees : {30.0f, 44.9f, 45.1f, 60.0f})
    ASSERT_TRUE(InView(AboutX(degrees), FrontView())) << degrees;
  EXPECT_TRUE(Drawn(AboutX(30.0f), FrontView()));
  EXPECT_TRUE(Drawn(AboutX(44.9f), FrontView()));
  EXPECT_FALSE(Drawn(AboutX(45.1f), FrontView()));
  EXPECT_FALSE(Drawn(AboutX(60.0f), FrontView()));

  // At exactly 45 degrees it is still drawn: among flies turned a few
  // degrees about their own up axis some measure 45 exactly.
  bool found = false;
  for (int turn = 0; turn < 360 && !found; ++turn) {
    const Quaternion yaw = engine::QuaternionRotationAxis({0, 1, 0}, turn * engine::kDegToRad);
    for (float a = 44.999f; a < 45.001f && !found; a = std::nextafter(a, 90.0f)) {
      const Quaternion q = engine::QuaternionMultiply(AboutX(a), yaw);
      if (world::SurfaceAngle({}, q) != 45.0f) continue;
      found = true;
      EXPECT_TRUE(Drawn(q, FrontView())) << a << " turned " << turn;
    }
  }
  EXPECT_TRUE(found) << "no orientation measures exactly 45 degrees";

  // Within the cut but behind the camera.
  const Matrix lookingAway = engine::MatrixLookAtLH({0, 40, 300}, {0, 40, 600}, {0, 1, 0});
  ASSERT_FALSE(InView(AboutX(30.0f), lookingAway));
  EXPECT_FALSE(Drawn(AboutX(30.0f), lookingAway));
}

}  // namespace
}  // namespace creatures
