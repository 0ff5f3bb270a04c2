// A small world for the creature's tests: the game's content on the null
// device (its three body models above all), the closed test sphere (R = 48),
// a creature standing at the north pole facing +Z, empty insect and object
// lists, and helpers to perch insects at given points and to step the
// creature frame by frame as the playing phase does.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "creatures/enemy_manager.h"
#include "creatures/fly.h"
#include "creatures/player.h"
#include "insect_world.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "scenes/game_fixture.h"
#include "world/world_objects.h"

namespace creatures::testworld {

// An insect of a kind that keeps still: its own step does nothing but say
// whether it is still there, so it stays where the test put it.
template <class Kind>
class Perched : public Kind {
 public:
  explicit Perched(float height) : Kind(height) {}
  bool EnemyUpdate(const EnemyWorld&) override { return this->alive; }
};

// The orientation that stands an object at world point p: up(q) along p.
inline engine::Quaternion StandingAt(const engine::Vec3& p) {
  const engine::Vec3 n = engine::Vec3Normalize(p);
  const engine::Vec3 axis = engine::Vec3Cross({0.0f, 1.0f, 0.0f}, n);
  if (engine::Vec3Length(axis) < 1e-7f) return engine::Quaternion{};
  return engine::QuaternionRotationAxis(engine::Vec3Normalize(axis),
                                        std::acos(std::fmax(-1.0f, std::fmin(1.0f, n.y))));
}

// How far apart two points on the sphere are along its surface (the arc at
// radius R between their up directions), in double precision: steps of 0.2
// are a few thousandths of a radian, too fine for a float arc cosine.
inline float ArcBetween(const engine::Vec3& a, const engine::Vec3& b) {
  const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z;
  const double cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
  const double angle =
      std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), ax * bx + ay * by + az * bz);
  return static_cast<float>(angle * kR);
}

class CreatureTest : public scenetest::GameContentTest {
 protected:
  void SetUp() override {
    GameContentTest::SetUp();
    planet = MakeSphere();
    player = std::make_unique<Player>(services.tuning.player, *services.meshes);
    StandAtPole(0.5f);
    for (const char* s :
         {content::sound::kEatHyoi, content::sound::kEatGoku, content::sound::kMiss}) {
      Silence(s);
    }
  }

  // A new creature of the given size at the pole, facing +Z, hovering 1.5
  // times its size above the ground.
  void StandAtPole(float size) {
    player = std::make_unique<Player>(services.tuning.player, *services.meshes);
    player->mSize = size;
    player->mHeight = kR + 1.5f * size;
  }

  // The body models are shared by every test: one update standing still
  // leaves them idle at speed 1, so a bite started next runs from a known
  // clock. (The update counts towards hunger.)
  void SettleAnimations() { Step(); }

  // Plays the sounds the steps so far asked for, as the scene sequence does
  // after an update, and says whether `sound` is playing.
  bool IsPlaying(const char* sound) {
    scenetest::Content().sounds->PlayRequests(services.soundRequests);
    return Playing(sound);
  }
  // The silent device keeps a sound playing until it is stopped: tests stop
  // the ones they watch before the update they look at.
  void Silence(const char* sound) {
    scenetest::Content().sounds->PlayRequests(services.soundRequests);
    StopSound(sound);
  }

  PlayerWorld View(const platform::TickInput& input) {
    return PlayerWorld{input,   cameraYaw, planet->planet,         enemies,
                       objects, score,     services.soundRequests, debugOut};
  }
  // The creature's step alone.
  void Step(const platform::TickInput& input = {}) { player->Update(View(input)); }
  // The creature's step, then the insects' step, as in a frame of play.
  void Frame(const platform::TickInput& input = {}) {
    Step(input);
    enemies.UpdateEnemies(EnemyWorld{player->mRotation, player->mHeight, &planet->planet});
  }

  // Puts an insect of a kind that keeps still with its sphere centred at p.
  template <class Kind>
  Enemy* PerchAt(const engine::Vec3& p) {
    auto insect = std::make_unique<Perched<Kind>>(engine::Vec3Length(p));
    insect->mRotation = StandingAt(p);
    Enemy* placed = insect.get();
    enemies.enemies.push_back(std::move(insect));
    const engine::Vec3 at = placed->GetHitSpheres().at(0).Centre();
    EXPECT_NEAR(engine::Vec3Length(at - p), 0.0f, 1e-3f) << "the insect stands where asked";
    return placed;
  }

  // A point `ahead` units in front of the mouth (along the creature's
  // facing) at the mouth's height.
  engine::Vec3 AheadOfMouth(float ahead) const {
    return player->MouthCentre() + world::Forward(player->mRotation) * ahead;
  }

  static platform::TickInput Hold(const std::vector<platform::Key>& keys) {
    platform::TickInput in;
    for (platform::Key k : keys) in.Press(k);
    return in;
  }

  std::unique_ptr<testplanet::TestPlanet> planet;
  std::unique_ptr<Player> player;
  ScoreState score;
  float cameraYaw = 0.0f;
  std::FILE* debugOut = nullptr;
};

}  // namespace creatures::testworld
