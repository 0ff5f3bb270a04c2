// The insects drawn on the headless device with the shipped models.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "creatures/beetle.h"
#include "creatures/butterfly.h"
#include "creatures/caterpillar.h"
#include "creatures/fly.h"
#include "insect_world.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "platform/null/device_null.h"

namespace creatures {
namespace {

namespace fs = std::filesystem;
namespace mdl = content::model;
using engine::Matrix;

// Every insect stands here in these tests: a quarter turn about Z lays its up
// axis onto -X, so it stands at (-50, 0, 0) and its placement is
//   rows (0, 1, 0), (-1, 0, 0), (0, 0, 1), translation (-50, 0, 0).
constexpr float kHeight = 50.0f;

Matrix Rows(std::initializer_list<std::initializer_list<float>> rows) {
  Matrix m;
  int r = 0;
  for (const auto& row : rows) {
    int c = 0;
    for (float v : row) m.m[r][c++] = v;
    m.m[r][3] = r == 3 ? 1.0f : 0.0f;
    ++r;
  }
  return m;
}

::testing::AssertionResult MatrixNear(const Matrix& got, const Matrix& want) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      if (std::fabs(got.m[r][c] - want.m[r][c]) > 1e-4f) {
        return ::testing::AssertionFailure() << "element [" << r << "][" << c << "] is "
                                             << got.m[r][c] << ", want " << want.m[r][c];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

void PlaceOnMinusX(Enemy& insect) { insect.mRotation = testworld::AboutZ(90.0f); }

// The world matrices every draw call of the last Draw was made with.
std::vector<Matrix> DrawnWith(const platform::NullDevice& device) {
  std::vector<Matrix> worlds;
  for (const platform::DrawRecord& d : device.Draws())
    for (const Matrix& w : d.state.world) worlds.push_back(w);
  return worlds;
}

double TrackPosition(const media::AnimatedModel& model) {
  engine::TrackDesc desc;
  model.controller->GetTrackDesc(0, &desc);
  return desc.position;
}

TEST(InsectDrawWithoutModelsTest, AnInsectWhoseModelIsNotLoadedDrawsNothing) {
  media::MeshManager meshes;
  platform::NullDevice device;
  device.RecordDraws(true);
  Enemy01 caterpillar(kHeight);
  Enemy02 butterfly(kHeight);
  Enemy03 beetle(kHeight);
  Enemy03 flyingBeetle(kHeight);
  flyingBeetle.flying = true;
  Enemy04 fly(kHeight);
  butterfly.tilted = beetle.tilted = true;
  for (Enemy* insect : std::vector<Enemy*>{&caterpillar, &butterfly, &beetle, &flyingBeetle, &fly})
    insect->Draw(device, meshes);
  EXPECT_TRUE(device.Draws().empty());
}

class InsectDrawTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    old_ = new fs::path(fs::current_path());
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
    device_ = new platform::NullDevice;
    meshes_ = new media::MeshManager;
    media::MeshManager& store = *meshes_;
    for (const char* path : {mdl::kFly, mdl::kCaterpillar, mdl::kButterfly, mdl::kBeetleBugFly})
      store.LoadAnimatedModel(path, device_);
    store.LoadStaticMesh(mdl::kBeetleBug, device_);
  }
  static void TearDownTestSuite() {
    delete meshes_;
    delete device_;
    fs::current_path(*old_);
    delete old_;
  }
  void SetUp() override {
    device_->RecordDraws(true);
    device_->ClearDraws();
  }
  static media::AnimatedModel& Model(const char* path) {
    media::AnimatedModel* m = meshes_->FindAnimatedModel(path);
    EXPECT_NE(m, nullptr) << path;
    return *m;
  }
  // The world matrices of one insect's draw.
  static std::vector<Matrix> Draw(Enemy& insect) {
    device_->ClearDraws();
    insect.Draw(*device_, *meshes_);
    EXPECT_FALSE(device_->Draws().empty()) << insect.mName;
    return DrawnWith(*device_);
  }

  static fs::path* old_;
  static platform::NullDevice* device_;
  static media::MeshManager* meshes_;
};

fs::path* InsectDrawTest::old_ = nullptr;
platform::NullDevice* InsectDrawTest::device_ = nullptr;
media::MeshManager* InsectDrawTest::meshes_ = nullptr;

TEST_F(InsectDrawTest, EveryFlyShowsItsOwnMomentOfTheSharedAnimation) {
  Enemy04 a(kHeight), b(kHeight);
  b.animClock = 0.25f;
  const std::vector<Matrix> first = Draw(a);
  EXPECT_EQ(TrackPosition(Model(mdl::kFly)), 0.0);
  const std::vector<Matrix> other = Draw(b);
  EXPECT_EQ(TrackPosition(Model(mdl::kFly)), 0.25);
  const std::vector<Matrix> again = Draw(a);
  EXPECT_NE(first, other) << "two moments of the wing beat look alike";
  EXPECT_EQ(first, again) << "the first fly took the second one's pose";
}

TEST_F(InsectDrawTest, FlyAndCaterpillarAreScaledAndPlacedTiltedOnlyWhenSaidSo) {
  media::AnimatedModel& fly = Model(mdl::kFly);
  Enemy04 f(kHeight);
  PlaceOnMinusX(f);
  Draw(f);
  EXPECT_TRUE(MatrixNear(fly.rootFrame->combinedTransform,
                         fly.rootFrame->transformationMatrix *
                             Rows({{0, 0.4f, 0}, {-0.4f, 0, 0}, {0, 0, 0.4f}, {-50, 0, 0}})));

  media::AnimatedModel& caterpillar = Model(mdl::kCaterpillar);
  Enemy01 c(kHeight);
  PlaceOnMinusX(c);
  Draw(c);
  EXPECT_TRUE(MatrixNear(caterpillar.rootFrame->combinedTransform,
                         caterpillar.rootFrame->transformationMatrix *
                             Rows({{0, 1.5f, 0}, {-1.5f, 0, 0}, {0, 0, 1.5f}, {-50, 0, 0}})));
  // Tilted: a quarter turn about X first, rows (1,0,0), (0,0,-1), (0,1,0).
  c.tilted = true;
  Draw(c);
  EXPECT_TRUE(MatrixNear(caterpillar.rootFrame->combinedTransform,
                         caterpillar.rootFrame->transformationMatrix *
                             Rows({{0, 1.5f, 0}, {0, 0, -1.5f}, {-1.5f, 0, 0}, {-50, 0, 0}})));
}

TEST_F(InsectDrawTest, RestingBeetleIsTheStillModelTiltedAgainstItsTrunk) {
  Enemy03 beetle(kHeight);
  PlaceOnMinusX(beetle);
  const Matrix upright = Rows({{0, 0.2f, 0}, {-0.2f, 0, 0}, {0, 0, 0.2f}, {-50, 0, 0}});
  const Matrix tilted = Rows({{0, 0.2f, 0}, {0, 0, -0.2f}, {-0.2f, 0, 0}, {-50, 0, 0}});
  Draw(beetle);
  for (const platform::DrawRecord& d : device_->Draws())
    EXPECT_TRUE(MatrixNear(d.state.world[0], upright));
  beetle.tilted = true;
  Draw(beetle);
  for (const platform::DrawRecord& d : device_->Draws())
    EXPECT_TRUE(MatrixNear(d.state.world[0], tilted));
}

TEST_F(InsectDrawTest, FlyingBeetleBeatsItsWingsUntiltedAtItsOwnClock) {
  media::AnimatedModel& wings = Model(mdl::kBeetleBugFly);
  Enemy03 beetle(kHeight);
  PlaceOnMinusX(beetle);
  beetle.tilted = true;
  beetle.flying = true;
  beetle.animClock = 0.33f;
  wings.rootFrame->combinedTransform = Matrix{};
  Draw(beetle);
  EXPECT_TRUE(MatrixNear(wings.rootFrame->combinedTransform,
                         wings.rootFrame->transformationMatrix *
                             Rows({{0, 0.2f, 0}, {-0.2f, 0, 0}, {0, 0, 0.2f}, {-50, 0, 0}})));
  EXPECT_FLOAT_EQ(static_cast<float>(TrackPosition(wings)), 0.33f);
  // On the ground again (as if it had never flown), it is the still model.
  beetle.flying = false;
  wings.rootFrame->combinedTransform = Matrix{};
  Draw(beetle);
  EXPECT_EQ(wings.rootFrame->combinedTransform, Matrix{});
}

TEST_F(InsectDrawTest, ButterflyRestsWithSetOneAndFleesWithSetZero) {
  media::AnimatedModel& model = Model(mdl::kButterfly);
  ASSERT_NE(model.animationSets[0], nullptr);
  ASSERT_NE(model.animationSets[1], nullptr);
  Enemy02 butterfly(kHeight);
  PlaceOnMinusX(butterfly);
  butterfly.animClock = 0.2f;
  const std::vector<Matrix> resting = Draw(butterfly);
  EXPECT_EQ(model.controller->GetTrackAnimationSet(0), model.animationSets[1]);
  // Drawn with no scale of its own.
  EXPECT_TRUE(MatrixNear(model.rootFrame->combinedTransform,
                         model.rootFrame->transformationMatrix *
                             Rows({{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {-50, 0, 0}})));
  butterfly.fleeing = true;
  const std::vector<Matrix> fleeing = Draw(butterfly);
  EXPECT_EQ(model.controller->GetTrackAnimationSet(0), model.animationSets[0]);
  EXPECT_NE(resting, fleeing) << "the same pose at rest and in flight";
  EXPECT_FLOAT_EQ(static_cast<float>(TrackPosition(model)), 0.2f);
  butterfly.fleeing = false;
  EXPECT_EQ(Draw(butterfly), resting);
}

}  // namespace
}  // namespace creatures
