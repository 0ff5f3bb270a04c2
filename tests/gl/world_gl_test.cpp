// Moments of play drawn by the GL device with the game's content: a tree
// between the camera and the creature drawn see-through, and a butterfly
// taking flight when the creature comes near.
//
// With POROMEKO_SCREENSHOT_DIR set, each moment is also written there as a
// PNG (see_through.png, butterfly.png).
#include <cstdlib>
#include <filesystem>

#include "app/shell.h"
#include "creatures/butterfly.h"
#include "creatures/enemy_manager.h"
#include "engine/image.h"
#include "engine/random.h"
#include "gl/gl_game.h"
#include "gl/gl_world.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/game_play.h"
#include "scenes/loading/load_parent.h"
#include "world/camera.h"
#include "world/world_objects.h"

namespace gltest {
namespace {

namespace fs = std::filesystem;

class WorldGlTest : public GameGlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (!d) return;
    SetUpGame("poromeko_world_gl_ranking.txt");
    app::SetInitialDeviceState(*d);
    game_ = std::make_unique<scenes::GameParent>(services_);
    play_ = dynamic_cast<scenes::GamePlay*>(game_->child);
    ASSERT_NE(play_, nullptr);
    play_->fading = false;
  }
  void TearDown() override {
    if (d) {
      game_.reset();
      TearDownGame();
    }
    GlTest::TearDown();
  }

  // Puts the creature `arc` along the ground from `q`, heading along q's
  // forward, standing on the ground.
  void PlaceCreature(const engine::Quaternion& q, float arc) {
    creatures::Player& p = *game_->player;
    p.mRotation = engine::QuaternionMultiply(q, world::ForwardArcRotation(q, arc, game_->R()));
    p.mAngle = 0.0f;
    p.mHeight = game_->R() + 1.0f;
    p.mHeight = p.mHeight - p.DistanceToGround(game_->planet) + 1.5f * p.mSize;
    game_->cameraYaw = 0.0f;
    game_->UpdateCamera();
    game_->CullWorld();
  }

  world::Chara* FirstTree() {
    for (const auto& o : objects_.objects)
      if (o->mName == "Tree") return o.get();
    return nullptr;
  }

  std::vector<std::uint32_t> DrawFrame() {
    game_->child->Draw(game_.get(), Scene());
    return d->ReadBackBuffer();
  }

  // The planet alone from the camera: through the faces in view, or whole.
  std::vector<std::uint32_t> PlanetAlone(bool inView) {
    d->Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFFFFFFFFu, 1.0f, 0);
    world::ApplyCamera(*d, game_->camera);
    const float s = game_->planet.scale;
    if (inView) {
      world::DrawPlanet(*d, *meshes_, s);
    } else {
      d->SetTransform(platform::TransformState::World, engine::MatrixScaling(s, s, s));
      media::DrawClosedStaticMesh(meshes_->FindStaticMesh(content::model::kPlanet), d);
    }
    return d->ReadBackBuffer();
  }

  void Save(const std::vector<std::uint32_t>& frame, const char* name) {
    const char* dir = std::getenv("POROMEKO_SCREENSHOT_DIR");
    if (!dir) return;
    std::string error;
    EXPECT_TRUE(engine::SavePng((fs::path(dir) / name).string(), 800, 600, frame.data(), &error))
        << error;
  }

  std::unique_ptr<scenes::GameParent> game_;
  scenes::GamePlay* play_ = nullptr;
  bool escapeArmed_ = false;
};

TEST_F(WorldGlTest, ATreeBetweenTheCameraAndTheCreatureIsDrawnSeeThrough) {
  // The creature three units in front of the first tree, the camera behind
  // it on the same line: the tree stands in the way.
  world::Chara* tree = FirstTree();
  ASSERT_NE(tree, nullptr);
  PlaceCreature(tree->mRotation, 3.0f);
  const std::vector<std::uint32_t> behindTree = DrawFrame();
  ASSERT_EQ(objects_.seeThrough.size(), 1u);
  EXPECT_EQ(objects_.seeThrough[0], tree);
  Save(behindTree, "see_through.png");

  // Behind the creature instead, the tree hides nothing and is drawn as it
  // is.
  PlaceCreature(tree->mRotation, -3.0f);
  DrawFrame();
  for (world::Chara* c : objects_.seeThrough) EXPECT_NE(c, tree);
}

TEST_F(WorldGlTest, APlayFrameDrawnInBatchesIsTheSamePicture) {
  world::Chara* tree = FirstTree();
  ASSERT_NE(tree, nullptr);
  // A frame with a see-through tree, the glow and the HUD: blending, depth
  // and alpha tests carried across batch ends.
  PlaceCreature(tree->mRotation, 3.0f);
  sdl_gl::SetRasteriserBatchForTest(*d, 0);
  const std::vector<std::uint32_t> whole = DrawFrame();
  // A batch ends after every draw call.
  sdl_gl::SetRasteriserBatchForTest(*d, 1);
  const std::vector<std::uint32_t> batched = DrawFrame();
  sdl_gl::SetRasteriserBatchForTest(*d, sdl_gl::kCpuRasteriserBatch);
  ASSERT_EQ(whole.size(), batched.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < whole.size(); ++i) differing += whole[i] != batched[i];
  EXPECT_EQ(differing, 0u);
}

TEST_F(WorldGlTest, AButterflyTakesFlightWhenTheCreatureComesNear) {
  creatures::Enemy02* butterfly = nullptr;
  for (const auto& e : enemies_.enemies)
    if ((butterfly = dynamic_cast<creatures::Enemy02*>(e.get()))) break;
  ASSERT_NE(butterfly, nullptr);
  // Six units behind the butterfly, looking its way.
  PlaceCreature(butterfly->mRotation, -6.0f);
  const float restingHeight = butterfly->mHeight;
  int updates = 0;
  while (!butterfly->fleeing && updates < 200) {
    game_->child->Update(game_.get(), scenes::Tick{{}, services_, escapeArmed_});
    ++updates;
  }
  ASSERT_TRUE(butterfly->fleeing);
  EXPECT_LE(updates, 50);
  for (int i = 0; i < 12; ++i) {
    game_->child->Update(game_.get(), scenes::Tick{{}, services_, escapeArmed_});
  }
  EXPECT_NE(butterfly->mHeight, restingHeight);
  Save(DrawFrame(), "butterfly.png");
}

TEST_F(WorldGlTest, CullingTheFacesTurnedAwayKeepsThePicture) {
  // Beside trees, stumps and flowers all over the planet, the camera swung
  // round: the planet's faces chosen by the view, the models drawn with one
  // winding culled. A face culled wrongly (a winding taken the wrong way
  // round, a plane of the view misplaced) opens a hole in a model or in the
  // ground; what culling may change is a pixel on a rim where a face turned
  // away and the one covering it round to the same depth.
  std::size_t places = 0;
  for (std::size_t i = 0; i < objects_.objects.size(); i += 9) {
    PlaceCreature(objects_.objects[i]->mRotation, 4.0f);
    game_->cameraYaw = static_cast<float>(places * 70 % 360);
    game_->UpdateCamera();
    media::SetCullTurnedAwayFaces(false);
    const std::vector<std::uint32_t> every = DrawFrame();
    media::SetCullTurnedAwayFaces(true);
    const std::vector<std::uint32_t> culled = DrawFrame();
    ASSERT_EQ(every.size(), culled.size());
    std::size_t differing = 0;
    for (std::size_t p = 0; p < every.size(); ++p) differing += every[p] != culled[p];
    EXPECT_LE(differing, every.size() / 2000) << "at object " << i;
    // The planet drawn through the faces in view is the planet drawn whole,
    // to the pixel, with and without culling.
    for (bool cull : {false, true}) {
      media::SetCullTurnedAwayFaces(cull);
      EXPECT_TRUE(PlanetAlone(true) == PlanetAlone(false)) << "at object " << i;
    }
    ++places;
  }
  EXPECT_GE(places, 8u);
}

}  // namespace
}  // namespace gltest
