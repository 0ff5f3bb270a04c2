// The game's own content on the null device, for tests that step scenes by
// hand: every texture, sound and model loaded once through the loading
// scene's jobs, a fresh set of services for each test (the generator seeded
// with 7, empty insect and object lists, the shipped tuning, a ranking file
// in a temporary folder), and helpers to update and draw.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "creatures/enemy_manager.h"
#include "engine/random.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "platform/input.h"
#include "platform/null/device_null.h"
#include "platform/sound.h"
#include "scenes/loading/load_parent.h"
#include "scenes/sequence.h"
#include "world/world_objects.h"

namespace scenetest {

namespace fs = std::filesystem;

// The caches, the sound system and the sprite on the null device, made once
// for the test program as the shell makes them for a run (and, like the
// content loaded into them, kept to its end).
struct SharedContent {
  platform::NullDevice device;
  media::TextureManager textures{&device};
  media::MeshManager meshes;
  std::unique_ptr<media::SoundManager> sounds =
      media::InitSound([] { return platform::CreateSilentSoundDevice(); });
  media::SharedSprite sprite{&device};
  scenes::LoaderHandshake loader;
};
inline SharedContent& Content() {
  static SharedContent* content = new SharedContent;
  return *content;
}

// A model of the shared content, and where track 0 of its controller stands:
// the position, and the index of its animation set (-1 for none of the
// model's).
inline media::AnimatedModel* Model(const char* path) {
  return Content().meshes.FindAnimatedModel(path);
}
inline double TrackPosition(const char* path) {
  engine::TrackDesc desc;
  Model(path)->controller->GetTrackDesc(0, &desc);
  return desc.position;
}
inline int TrackSet(const char* path) {
  media::AnimatedModel* m = Model(path);
  engine::AnimationSet* set = m->controller->GetTrackAnimationSet(0);
  for (std::size_t i = 0; i < m->animationSets.size(); ++i) {
    if (set && m->animationSets[i] == set) return static_cast<int>(i);
  }
  return -1;
}

class GameContentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!oldDir_) oldDir_ = new fs::path(fs::current_path());
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
  }
  static void TearDownTestSuite() {
    if (oldDir_) fs::current_path(*oldDir_);
  }

  void SetUp() override {
    // Whatever another test released is loaded again; what is cached stays.
    SharedContent& content = Content();
    static platform::Surface* backBuffer = content.device.GetBackBuffer();
    device_ = &content.device;
    backBuffer_ = backBuffer;
    content.textures.LoadTexture(content::texture::kResultScoreNum, 550, 79);
    const scenes::LoadTargets targets{device_, content.textures, content.meshes,
                                      content.sounds.get()};
    for (scenes::LoadParent::Job job : scenes::LoadParent::DefaultJobs()) job(targets);
    device_->RecordDraws(false);
    device_->ClearDraws();

    dir_ = fs::temp_directory_path() /
           ("poromeko_scene_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    services.textures = &content.textures;
    services.meshes = &content.meshes;
    services.sounds = content.sounds.get();
    services.device = device_;
    services.loader = &content.loader;
    services.random = &random;
    services.enemies = &enemies;
    services.objects = &objects;
    services.tuning = media::LoadTuning();
    services.rankingPath = (dir_ / "Ranking.txt").string();
    std::ofstream(services.rankingPath) << "1位,005000\n2位,003000\n3位,001000\n";
  }
  void TearDown() override { fs::remove_all(dir_); }

  scenes::Tick MakeTick(const platform::TickInput& input) {
    return scenes::Tick{input, services, escapeArmed};
  }
  scenes::DrawContext Frame() {
    SharedContent& content = Content();
    return {*device_, *content.sprite.Get(), content.textures, content.meshes, backBuffer_};
  }
  // Whether a sound is playing (with the flag given: looping, say).
  static bool Playing(const char* sound, std::uint32_t flag = platform::kStatusPlaying) {
    platform::SoundBuffer* buffer = Content().sounds->FindSoundBuffer(sound);
    return buffer && (buffer->GetStatus() & flag) != 0;
  }
  static void StopSound(const char* sound) {
    if (platform::SoundBuffer* buffer = Content().sounds->FindSoundBuffer(sound)) buffer->Stop();
  }
  platform::NullDevice& Device() { return *device_; }

  // The keys of one update with the given keys held (and pressed).
  static platform::TickInput Keys(std::initializer_list<platform::Key> held) {
    platform::TickInput in;
    for (platform::Key k : held) in.Press(k);
    return in;
  }

  engine::Random random{7};
  creatures::EnemyManager enemies;
  world::WorldObjects objects;
  scenes::Services services;
  bool escapeArmed = false;
  fs::path dir_;

 private:
  static inline fs::path* oldDir_ = nullptr;
  platform::NullDevice* device_ = nullptr;
  platform::Surface* backBuffer_ = nullptr;
};

}  // namespace scenetest
