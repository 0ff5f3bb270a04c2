// Planets for the world's and the creatures' tests: a smooth sphere made in
// memory, and the game's own planet model read from content/.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/hierarchy.h"
#include "engine/math.h"
#include "engine/mesh.h"
#include "world/chara.h"

namespace testplanet {

// Owns the mesh a world::Planet points at.
struct TestPlanet {
  engine::Mesh* mesh = nullptr;
  world::Planet planet;
  TestPlanet() = default;
  TestPlanet(const TestPlanet&) = delete;
  TestPlanet& operator=(const TestPlanet&) = delete;
  ~TestPlanet() {
    if (mesh) mesh->Release();
  }
  float R() const { return planet.R(); }
};

// A closed latitude/longitude sphere of the given radius in mesh units,
// placed at scale 60 like the game's planet. Fine enough that its faces lie
// within radius * (1 - cos(pi / rings)) of the true sphere.
inline std::unique_ptr<TestPlanet> MakeSphere(float radius = 0.8f, int rings = 96,
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
      // The triangles that would have two corners on a pole are left out.
      if (r < rings - 1) idx.insert(idx.end(), {at(r, s), at(r + 1, s), at(r + 1, s + 1)});
      if (r > 0) idx.insert(idx.end(), {at(r, s), at(r + 1, s + 1), at(r, s + 1)});
    }
  }
  std::vector<unsigned char> bytes(pos.size() * sizeof(engine::Vec3));
  std::memcpy(bytes.data(), pos.data(), bytes.size());
  std::vector<std::uint32_t> attributes(idx.size() / 3, 0);
  auto planet = std::make_unique<TestPlanet>();
  planet->mesh = engine::Mesh::Create(nullptr, platform::kFvfXyz, std::move(bytes), std::move(idx),
                                      std::move(attributes));
  planet->planet.radius = radius;
  planet->planet.scale = 60.0f;
  planet->planet.mesh = planet->mesh;
  return planet;
}

// The game's planet as the game measures it: the model's bounding radius,
// scale 60. Null (and a test failure) when content/ cannot be read.
inline std::unique_ptr<TestPlanet> LoadGamePlanet() {
  const std::string path = std::string(POROMEKO_SOURCE_DIR) + "/content/XFile/planet.x";
  auto planet = std::make_unique<TestPlanet>();
  std::vector<engine::XMaterial> materials;
  std::string error;
  if (!engine::LoadMeshFromX(path, nullptr, &planet->mesh, &materials, &error)) {
    ADD_FAILURE() << path << ": " << error;
    return nullptr;
  }
  engine::Vec3 centre;
  engine::ComputeBoundingSphere(planet->mesh->Vertices(), planet->mesh->GetNumVertices(),
                                planet->mesh->GetNumBytesPerVertex(), &centre,
                                &planet->planet.radius);
  planet->planet.scale = 60.0f;
  planet->planet.mesh = planet->mesh;
  return planet;
}

}  // namespace testplanet
