// The game's content on the GL device, for tests that draw scenes: every
// texture, sound and model loaded through the loading scene's jobs into
// caches of the test's own, the shared sprite, and a set of services (the
// generator seeded with 7, empty insect and object lists, the shipped
// tuning, a ranking file in the temporary folder), all made afresh for each
// test as the shell makes them for a run.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "creatures/enemy_manager.h"
#include "engine/random.h"
#include "gl/gl_world.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "scenes/loading/load_parent.h"
#include "scenes/sequence.h"
#include "world/world_objects.h"

namespace gltest {

class GameGlTest : public GlTest {
 protected:
  // `ranking` names the test's ranking file in the temporary folder.
  void SetUpGame(const char* ranking) {
    namespace fs = std::filesystem;
    old_ = fs::current_path();
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
    backBuffer_ = d->GetBackBuffer();
    textures_ = std::make_unique<media::TextureManager>(d);
    meshes_ = std::make_unique<media::MeshManager>();
    sounds_ = media::InitSound([] { return platform::CreateSilentSoundDevice(); });
    sprite_ = std::make_unique<media::SharedSprite>(d);
    textures_->LoadTexture(content::texture::kResultScoreNum, 550, 79);
    const scenes::LoadTargets targets{d, *textures_, *meshes_, sounds_.get()};
    for (scenes::LoadParent::Job job : scenes::LoadParent::DefaultJobs()) job(targets);
    ranking_ = fs::temp_directory_path() / ranking;
    services_.textures = textures_.get();
    services_.meshes = meshes_.get();
    services_.sounds = sounds_.get();
    services_.device = d;
    services_.random = &random_;
    services_.enemies = &enemies_;
    services_.objects = &objects_;
    services_.tuning = media::LoadTuning();
    services_.rankingPath = ranking_.string();
  }
  // The scenes must have gone first.
  void TearDownGame() {
    enemies_.ClearEnemies();
    objects_.ClearObjects();
    sprite_.reset();
    sounds_.reset();
    meshes_.reset();
    textures_.reset();
    if (backBuffer_) backBuffer_->Release();
    std::error_code error;
    std::filesystem::remove(ranking_, error);
    std::filesystem::current_path(old_);
  }

  scenes::DrawContext Scene() const {
    return {*d, *sprite_->Get(), *textures_, *meshes_, backBuffer_};
  }

  std::filesystem::path old_, ranking_;
  platform::Surface* backBuffer_ = nullptr;
  std::unique_ptr<media::TextureManager> textures_;
  std::unique_ptr<media::MeshManager> meshes_;
  std::unique_ptr<media::SoundManager> sounds_;
  std::unique_ptr<media::SharedSprite> sprite_;
  engine::Random random_{7};
  creatures::EnemyManager enemies_;
  world::WorldObjects objects_;
  scenes::Services services_;
};

}  // namespace gltest
