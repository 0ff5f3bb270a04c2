// The shipped content through the game's own loaders, exactly as the loading
// scene runs them: every job of the list fills its cache with a usable entry.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "platform/null/device_null.h"
#include "platform/sound.h"
#include "scenes/loading/load_parent.h"

namespace {

namespace fs = std::filesystem;

class GameLoadersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    old_ = new fs::path(fs::current_path());
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
    device_ = new platform::NullDevice;
    textures_ = new media::TextureManager(device_);
    meshes_ = new media::MeshManager;
    sounds_ = media::InitSound([] { return platform::CreateSilentSoundDevice(); }).release();
    const scenes::LoadTargets targets{device_, *textures_, *meshes_, sounds_};
    // In each language: the start-up question's pictures (the shell loads
    // them), the loading screen's own, then every job in order.
    namespace tex = content::texture;
    for (content::Language language : {content::Language::Japanese, content::Language::English}) {
      const tex::Captions& captions = content::CaptionsIn(language);
      textures_->LoadTexture(captions.screenQuestion, 560, 250);
      textures_->LoadTexture(captions.screenAnswers, 400, 160);
      textures_->LoadTexture(captions.loading, 255, 62);
      textures_->LoadTexture(tex::kResultScoreNum, 550, 79);
      textures_->LoadTexture(tex::kPar, 77, 79);
      for (scenes::LoadParent::Job job : scenes::LoadParent::DefaultJobs(language)) job(targets);
    }
  }
  static void TearDownTestSuite() {
    delete meshes_;
    delete sounds_;
    delete textures_;
    delete device_;
    fs::current_path(*old_);
    delete old_;
  }

  static fs::path* old_;
  static platform::NullDevice* device_;
  static media::TextureManager* textures_;
  static media::MeshManager* meshes_;
  static media::SoundManager* sounds_;
};

fs::path* GameLoadersTest::old_ = nullptr;
platform::NullDevice* GameLoadersTest::device_ = nullptr;
media::TextureManager* GameLoadersTest::textures_ = nullptr;
media::MeshManager* GameLoadersTest::meshes_ = nullptr;
media::SoundManager* GameLoadersTest::sounds_ = nullptr;

TEST_F(GameLoadersTest, EveryTextureLoadsAtItsNominalSize) {
  for (const auto& t : content::texture::kAll) {
    media::TextureRecord* r = textures_->FindTexture(t.path);
    ASSERT_NE(r, nullptr) << t.path;
    EXPECT_NE(r->texture, nullptr) << t.path << " did not load";
    EXPECT_EQ(r->width, t.width) << t.path;
    EXPECT_EQ(r->height, t.height) << t.path;
    EXPECT_EQ(r->texWidth, media::TextureSizeFor(t.width)) << t.path;
  }
}

TEST_F(GameLoadersTest, EverySoundLoadsWhole) {
  for (const char* path : content::sound::kAll) {
    media::SoundHolder* h = sounds_->FindSound(path);
    ASSERT_NE(h, nullptr) << path;
    EXPECT_TRUE(h->error.empty()) << path << ": " << h->error;
    EXPECT_GT(h->buffer->Size(), 4000u) << path;
  }
}

TEST_F(GameLoadersTest, EveryModelIsInTheStore) {
  media::MeshManager& store = *meshes_;
  for (const char* path : content::model::kStatic) {
    media::StaticMesh* m = store.FindStaticMesh(path);
    ASSERT_NE(m, nullptr) << path;
    EXPECT_GT(m->materialCount, 0u) << path;
  }
  // The ground and the sky get their colour from the textures they name.
  for (const char* path : {content::model::kPlanet, content::model::kSkySphere}) {
    media::StaticMesh* m = store.FindStaticMesh(path);
    ASSERT_NE(m, nullptr);
    bool textured = false;
    for (platform::Texture* t : m->textures) textured = textured || t != nullptr;
    EXPECT_TRUE(textured) << path;
  }
  for (const char* path : content::model::kAnimated) {
    media::AnimatedModel* m = store.FindAnimatedModel(path);
    ASSERT_NE(m, nullptr) << path;
    EXPECT_NE(m->rootFrame, nullptr) << path;
  }
}

double Period(media::MeshManager& store, const char* path, std::size_t set) {
  media::AnimatedModel* m = store.FindAnimatedModel(path);
  if (!m || !m->animationSets[set]) return -1.0;
  return m->animationSets[set]->GetPeriod();
}

TEST_F(GameLoadersTest, AnimationSetsSitAtTheIndicesTheGameUses) {
  namespace mdl = content::model;
  constexpr double kTick = 1.0 / 59.0;
  for (const char* part : {mdl::kPlayerUpBody, mdl::kPlayerDownBody, mdl::kPlayerHand}) {
    media::AnimatedModel* m = meshes_->FindAnimatedModel(part);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->controller->GetNumAnimationSets(), 5u) << part;
  }
  // 0 run, 1 burp, 2 idle, 3 bite, 4 chew on the upper body.
  EXPECT_GE(Period(*meshes_, mdl::kPlayerUpBody, 1), 58 * kTick - 1e-6);
  EXPECT_GE(Period(*meshes_, mdl::kPlayerUpBody, 3), 46 * kTick - 1e-6);
  EXPECT_NEAR(Period(*meshes_, mdl::kPlayerUpBody, 4), 55 * kTick, 2 * kTick);
  EXPECT_NEAR(Period(*meshes_, mdl::kCaterpillar, 0), 59.0 / 60.0, 1e-4);
  EXPECT_NEAR(Period(*meshes_, mdl::kBeetleBugFly, 0), 40 * kTick, 1e-4);
  EXPECT_GT(Period(*meshes_, mdl::kButterfly, 0), 0.0);  // flight
  EXPECT_GT(Period(*meshes_, mdl::kButterfly, 1), 0.0);  // resting
  EXPECT_GT(Period(*meshes_, mdl::kFly, 0), 0.0);
  EXPECT_GT(Period(*meshes_, mdl::kFlower, 0), 0.0);
}

TEST_F(GameLoadersTest, PlanetRadiusIsAboutSixtyInTheWorld) {
  media::StaticMesh* planet = meshes_->FindStaticMesh(content::model::kPlanet);
  ASSERT_NE(planet, nullptr);
  engine::Mesh* mesh = planet->mesh;
  engine::Vec3 centre;
  float radius = 0;
  engine::ComputeBoundingSphere(mesh->LockVertexBuffer(), mesh->GetNumVertices(),
                                platform::GetFVFVertexSize(mesh->GetFVF()), &centre, &radius);
  mesh->UnlockVertexBuffer();
  EXPECT_NEAR(radius * 60.0f, 60.0f, 3.0f);
  // Standing on it: a ray from above the north pole meets the ground.
  engine::IntersectResult hit = mesh->Intersect({0, 1.1f, 0}, {0, -1, 0});
  EXPECT_TRUE(hit.hit);
  EXPECT_NEAR(hit.distance, 0.1f, 0.05f);
}

}  // namespace
