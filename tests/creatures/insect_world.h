// A small world for the insects' tests: a smooth sphere (R = 48), an
// insect standing at the north pole facing +Z, and a creature placed by how
// far (degrees of arc) and which way it stands from there.
#pragma once

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "creatures/enemy.h"
#include "engine/math.h"
#include "world/chara.h"
#include "world/test_planet.h"

namespace creatures::testworld {

inline constexpr float kR = 48.0f;  // the test sphere: radius 0.8 at scale 60

// The test sphere, radius 0.8 at scale 60, closed at both poles: the insects
// start at the north pole, where every ground ray they cast goes through the
// cap.
using testplanet::MakeSphere;

inline engine::Quaternion AboutX(float degrees) {
  return engine::QuaternionRotationAxis({1, 0, 0}, degrees * engine::kDegToRad);
}
inline engine::Quaternion AboutZ(float degrees) {
  return engine::QuaternionRotationAxis({0, 0, 1}, degrees * engine::kDegToRad);
}

struct InsectWorld {
  std::unique_ptr<testplanet::TestPlanet> planet = MakeSphere();
  EnemyWorld world;

  InsectWorld() {
    world.planet = &planet->planet;
    world.playerHeight = kR + 1.0f;
    Away();
  }
  // The creature `degrees` of arc from the pole, on the side the insect faces
  // (+Z), behind it (-Z) or to its right (+X).
  void Ahead(float degrees) { world.playerRotation = AboutX(degrees); }
  void Behind(float degrees) { world.playerRotation = AboutX(-degrees); }
  void Right(float degrees) { world.playerRotation = AboutZ(-degrees); }
  // On the far side of the planet.
  void Away() { Behind(120.0f); }
};

// The insect's position after walking an arc of s from the pole straight
// toward +Z (or -Z for a negative s), at height h.
inline engine::Vec3 AlongZ(float s, float h) {
  const double a = s / kR;
  return {0.0f, static_cast<float>(h * std::cos(a)), static_cast<float>(h * std::sin(a))};
}

}  // namespace creatures::testworld
