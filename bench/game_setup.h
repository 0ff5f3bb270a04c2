// A run of the game for benchmarks: the shipped content loaded through the
// loading scene's jobs on a given device, the services a run needs, and a
// game scene past its opening fade.
#pragma once

#include <filesystem>
#include <memory>

#include "creatures/enemy_manager.h"
#include "engine/random.h"
#include "media/mesh_manager.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "platform/sound.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/game_play.h"
#include "scenes/loading/load_parent.h"
#include "scenes/sequence.h"
#include "world/world_objects.h"

namespace benchgame {

class BenchRun {
 public:
  explicit BenchRun(platform::Device* device)
      : device_(device), textures_(device), sprite_(device) {
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(POROMEKO_SOURCE_DIR) / "content");
    backBuffer_ = device->GetBackBuffer();
    sounds_ = media::InitSound([] { return platform::CreateSilentSoundDevice(); });
    textures_.LoadTexture(content::texture::kResultScoreNum, 550, 79);
    const scenes::LoadTargets targets{device_, textures_, meshes_, sounds_.get()};
    for (scenes::LoadParent::Job job : scenes::LoadParent::DefaultJobs()) job(targets);
    services.textures = &textures_;
    services.meshes = &meshes_;
    services.sounds = sounds_.get();
    services.device = device_;
    services.random = &random;
    services.enemies = &enemies;
    services.objects = &objects;
    services.tuning = media::LoadTuning();
    services.rankingPath = "/nonexistent/Ranking.txt";  // runs end before their result
    NewRun();
  }
  ~BenchRun() {
    root.reset();
    sounds_.reset();
    textures_.ReleaseAllTextures();
    meshes_.Clear();
    if (backBuffer_) backBuffer_->Release();
    std::filesystem::current_path(old_);
  }

  // A new game scene, stepped past its fade.
  void NewRun() {
    root = std::make_unique<scenes::SequenceParent>(scenes::NewGame(services));
    for (int i = 0; i < 85; ++i) root->Update(platform::TickInput{}, services);
  }
  scenes::GameParent& Game() { return *dynamic_cast<scenes::GameParent*>(root->child); }
  // A new run when this one is near its end (so every update is one of play).
  void KeepPlaying() {
    auto* game = dynamic_cast<scenes::GameParent*>(root->child);
    if (!game || game->timeLeft < 5.0f || !dynamic_cast<scenes::GamePlay*>(game->child)) NewRun();
  }
  scenes::DrawContext Frame() {
    return {*device_, *sprite_.Get(), textures_, meshes_, backBuffer_};
  }

 private:
  platform::Device* device_;
  media::TextureManager textures_;
  media::MeshManager meshes_;
  std::unique_ptr<media::SoundManager> sounds_;
  media::SharedSprite sprite_;

 public:
  engine::Random random{7};
  creatures::EnemyManager enemies;
  world::WorldObjects objects;
  scenes::Services services;
  std::unique_ptr<scenes::SequenceParent> root;

 private:
  platform::Surface* backBuffer_ = nullptr;
  std::filesystem::path old_;
};

}  // namespace benchgame
