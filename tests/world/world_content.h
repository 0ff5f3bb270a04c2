// The world's models from content/ on the headless device, for tests that
// look at what was drawn: the planet, the sky, the tree and the stump in the
// mesh store, the planet model also as the ground the world stands on.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "media/mesh_manager.h"
#include "media/paths.h"
#include "platform/null/device_null.h"
#include "world/chara.h"

namespace world::checks {

class WorldContentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    old_ = new std::filesystem::path(std::filesystem::current_path());
    std::filesystem::current_path(std::filesystem::path(POROMEKO_SOURCE_DIR) / "content");
    device_ = new platform::NullDevice;
    meshes_ = new media::MeshManager;
    media::MeshManager& store = *meshes_;
    for (const char* path : content::model::kStatic) store.LoadStaticMesh(path, device_);
  }
  static void TearDownTestSuite() {
    delete meshes_;
    delete device_;
    std::filesystem::current_path(*old_);
    delete old_;
  }
  void SetUp() override {
    ASSERT_NE(TreeMesh(), nullptr);
    ASSERT_NE(meshes_->FindStaticMesh(content::model::kPlanet), nullptr);
    planet_.radius = PlanetRadius();
    planet_.mesh = meshes_->FindStaticMesh(content::model::kPlanet)->mesh;
    planet_.innerRadius = planet_.mesh->EnclosedRadius({0, 0, 0});
    device_->RecordDraws(true);
    device_->ClearDraws();
  }
  void TearDown() override { device_->RecordDraws(false); }

  static const engine::Mesh* TreeMesh() {
    const media::StaticMesh* tree = meshes_->FindStaticMesh(content::model::kTree);
    return tree ? tree->mesh : nullptr;
  }
  // The planet model's bounding radius, as the game scene measures it.
  static float PlanetRadius() {
    const engine::Mesh* mesh = meshes_->FindStaticMesh(content::model::kPlanet)->mesh;
    engine::Vec3 centre;
    float radius = 0;
    engine::ComputeBoundingSphere(mesh->Vertices(), mesh->GetNumVertices(),
                                  mesh->GetNumBytesPerVertex(), &centre, &radius);
    return radius;
  }
  // The world matrices of the draw calls made since the last ClearDraws.
  static std::vector<engine::Matrix> DrawnWith() {
    std::vector<engine::Matrix> worlds;
    for (const platform::DrawRecord& d : device_->Draws()) worlds.push_back(d.state.world[0]);
    return worlds;
  }
  static bool Drew(const engine::Matrix& world) {
    for (const engine::Matrix& m : DrawnWith())
      if (m == world) return true;
    return false;
  }

  static inline std::filesystem::path* old_ = nullptr;
  static inline platform::NullDevice* device_ = nullptr;
  static inline media::MeshManager* meshes_ = nullptr;
  Planet planet_;
};

}  // namespace world::checks
