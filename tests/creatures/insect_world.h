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
// start at the north pole, where every ground ray they cast goes straight
// through the cap. (testplanet::MakeSphere keeps the flat triangles at the
// poles and drops the cap ones, so its poles have a hole a ring wide.)
inline std::unique_ptr<testplanet::TestPlanet> MakeClosedSphere(float radius = 0.8f, int rings = 96,
                                                                int segments = 192) {
  std::vector<engine::Vec3> pos;
  std::vector<std::uint32_t> idx;
  for (int r = 0; r <= rings; ++r) {
    const double theta = M_PI * r / rings;
    for (int s = 0; s <= segments; ++s) {
      const double phi = 2.0 * M_PI * s / segments;
      pos.push_back({static_cast<float>(radius * std::sin(theta) * std::cos(phi)),
                     static_cast<float>(radius * std::cos(theta)),
                     static_cast<float>(radius * std::sin(theta) * std::sin(phi))});
    }
  }
  auto at = [&](int r, int s) { return static_cast<std::uint32_t>(r * (segments + 1) + s); };
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      // Each quad's two triangles; at a pole one of them has collapsed.
      if (r < rings - 1) idx.insert(idx.end(), {at(r, s), at(r + 1, s), at(r + 1, s + 1)});
      if (r > 0) idx.insert(idx.end(), {at(r, s), at(r + 1, s + 1), at(r, s + 1)});
    }
  }
  std::vector<unsigned char> bytes(pos.size() * sizeof(engine::Vec3));
  std::memcpy(bytes.data(), pos.data(), bytes.size());
  std::vector<std::uint32_t> attributes(idx.size() / 3, 0);
  auto planet = std::make_unique<testplanet::TestPlanet>();
  planet->mesh = engine::Mesh::Create(nullptr, platform::kFvfXyz, std::move(bytes), std::move(idx),
                                      std::move(attributes));
  planet->planet.radius = radius;
  planet->planet.scale = 60.0f;
  planet->planet.mesh = planet->mesh;
  return planet;
}

inline engine::Quaternion AboutX(float degrees) {
  return engine::QuaternionRotationAxis({1, 0, 0}, degrees * engine::kDegToRad);
}
inline engine::Quaternion AboutZ(float degrees) {
  return engine::QuaternionRotationAxis({0, 0, 1}, degrees * engine::kDegToRad);
}

struct InsectWorld {
  std::unique_ptr<testplanet::TestPlanet> planet = MakeClosedSphere();
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
