// The mesh store and the game's hierarchy allocator on the headless device:
// caching rules, failures, bone linking, posing a shared controller and what
// a skinned draw hands the device.
#include "media/mesh_manager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/null/device_null.h"

namespace media {
namespace {

namespace fs = std::filesystem;
using engine::Matrix;
using engine::Vec3;

// Keys of this test's own files (the store keys by the constant's address).
constexpr char kSkinned[] = "skinned.x";
constexpr char kPlain[] = "plain.x";
constexpr char kNoMaterial[] = "nomaterial.x";
constexpr char kMissing[] = "missing.x";
constexpr char kBroken[] = "broken.x";

// A triangle skinned to two bones. Bone1 sits one unit above Bone0 and its
// only key set moves it from x 0 to x 2 over one second.
const char* kSkinnedText = R"(xof 0303txt 0032
Frame Root {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  Frame Bone0 {
    FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
    Frame Bone1 {
      FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1,0,1;; }
    }
  }
  Mesh Body {
    3;
    0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;
    1;
    3;0,1,2;;
    MeshMaterialList { 1; 1; 0;; Material { 0.2;0.4;0.6;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }
    XSkinMeshHeader { 2; 2; 2; }
    SkinWeights { "Bone0"; 3; 0,1,2; 1.0,1.0,0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
    SkinWeights { "Bone1"; 1; 2; 0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-1,0,1;; }
  }
}
AnimTicksPerSecond { 4800; }
AnimationSet Slide {
  Animation {
    { Bone1 }
    AnimationKey { 2; 2; 0;3;0.0,1.0,0.0;;, 4800;3;2.0,1.0,0.0;;; }
  }
}
)";

const char* kPlainText = R"(xof 0303txt 0032
Mesh Box {
  3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;
  1; 3;0,1,2;;
  MeshMaterialList { 1; 1; 0;; Material { 0.1;0.2;0.3;0.4;; 2.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }
}
)";

const char* kNoMaterialText = R"(xof 0303txt 0032
Frame F { Mesh M { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; } }
)";

class MeshManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("poromeko_meshes_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
    Write(kSkinned, kSkinnedText);
    Write(kPlain, kPlainText);
    Write(kNoMaterial, kNoMaterialText);
    Write(kBroken, "xof 0303txt 0032\nFrame { Mesh { 3; 0.0;0.0;");
    device_.RecordDraws(true);
  }
  void TearDown() override {
    store_.Clear();
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void Write(const char* path, const char* text) { std::ofstream(path) << text; }

  AnimatedModel* LoadSkinned(platform::Device* device) {
    store_.LoadAnimatedModel(kSkinned, device);
    return store_.FindAnimatedModel(kSkinned);
  }

  fs::path old_, dir_;
  platform::NullDevice device_;
  MeshManager store_;
};

AnimeXFile::FrameEx* Find(AnimatedModel* m, const char* name) {
  return static_cast<AnimeXFile::FrameEx*>(engine::FrameFind(m->rootFrame, name));
}

TEST_F(MeshManagerTest, EachPathLoadsOnceAndFailuresAreClear) {
  MeshManager& store = store_;
  store.LoadStaticMesh(kPlain, &device_);
  StaticMesh* first = store.FindStaticMesh(kPlain);
  ASSERT_NE(first, nullptr);
  fs::remove(kPlain);  // a second load does not touch the file
  store.LoadStaticMesh(kPlain, &device_);
  EXPECT_EQ(store.FindStaticMesh(kPlain), first);
  // Static copies take the diffuse colour as their ambient one.
  ASSERT_EQ(first->materialCount, 1u);
  EXPECT_FLOAT_EQ(first->materials[0].ambient.g, 0.2f);
  EXPECT_FLOAT_EQ(first->materials[0].ambient.a, 0.4f);
  // Both alpha draws take alpha on the 0..255 scale of every 2D draw.
  device_.RecordDraws(true);
  DrawStaticMeshAlpha(first, &device_, 127.5f);
  ASSERT_EQ(device_.Draws().size(), 1u);
  EXPECT_FLOAT_EQ(device_.Draws()[0].state.material.diffuse.a, 0.5f);
  EXPECT_FLOAT_EQ(device_.Draws()[0].state.material.diffuse.g, 0.2f);  // colour untouched
  device_.ClearDraws();

  // A static mesh that cannot load leaves no entry and the game goes on.
  store.LoadStaticMesh(kMissing, &device_);
  EXPECT_EQ(store.FindStaticMesh(kMissing), nullptr);
  store.LoadStaticMesh(kBroken, &device_);
  EXPECT_EQ(store.FindStaticMesh(kBroken), nullptr);

  // An animated model that cannot load is an error naming the file.
  try {
    store.LoadAnimatedModel(kBroken, &device_);
    FAIL() << "no error";
  } catch (const XFileLoadError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(kXFileLoadFailed, 0), 0u);
    EXPECT_NE(std::string(e.what()).find(kBroken), std::string::npos);
  }
  EXPECT_EQ(store.FindAnimatedModel(kBroken), nullptr);
  EXPECT_THROW(store.LoadAnimatedModel(kMissing, &device_), XFileLoadError);
}

TEST_F(MeshManagerTest, AnimatedModelHasItsSetsAndLinkedBones) {
  AnimatedModel* m = LoadSkinned(&device_);
  ASSERT_NE(m, nullptr);
  ASSERT_NE(m->controller, nullptr);
  EXPECT_NE(m->animationSets[0], nullptr);
  EXPECT_EQ(m->animationSets[1], nullptr);
  AnimeXFile::FrameEx* root = m->rootFrame;
  auto* c = static_cast<AnimeXFile::MeshContainerEx*>(root->meshContainer);
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->skinInfo, nullptr);
  ASSERT_EQ(c->boneMatrixPointers.size(), 2u);
  EXPECT_EQ(c->boneMatrixPointers[0], &Find(m, "Bone0")->combinedTransform);
  EXPECT_EQ(c->boneMatrixPointers[1], &Find(m, "Bone1")->combinedTransform);
  EXPECT_EQ(c->maxFaceInfluences, 2u);
  EXPECT_FLOAT_EQ(c->boneOffsetMatrices[1].m[3][1], -1.0f);
}

TEST_F(MeshManagerTest, UsersOfOneControllerPoseInTurn) {
  AnimatedModel* m = LoadSkinned(&device_);
  ASSERT_NE(m, nullptr);
  AnimeXFile::FrameEx* bone1 = Find(m, "Bone1");
  // Two insects of one kind: each sets its own time and poses before drawing.
  SetAnimationPosition(m, 0.25);
  m->controller->AdvanceTime(0.0);
  EXPECT_NEAR(bone1->transformationMatrix.m[3][0], 0.5f, 1e-5f);
  SetAnimationPosition(m, 0.75);
  m->controller->AdvanceTime(0.0);
  EXPECT_NEAR(bone1->transformationMatrix.m[3][0], 1.5f, 1e-5f);
  SetAnimationPosition(m, 0.25);
  m->controller->AdvanceTime(0.0);
  EXPECT_NEAR(bone1->transformationMatrix.m[3][0], 0.5f, 1e-5f);

  Matrix world = engine::MatrixTranslation(10, 0, 0);
  UpdateFrameMatrices(m->rootFrame, &world);
  Vec3 t = bone1->combinedTransform.Translation();
  EXPECT_NEAR(t.x, 10.5f, 1e-5f);
  EXPECT_NEAR(t.y, 1.0f, 1e-5f);
  // Without a parent matrix the root's combined matrix is its own.
  UpdateFrameMatrices(m->rootFrame, nullptr);
  EXPECT_NEAR(bone1->combinedTransform.m[3][0], 0.5f, 1e-5f);
}

// Skinned position of vertex i of the blended mesh: sum over the slots of
// weight * (p * offset * combined), the last weight implicit.
Vec3 SkinnedPosition(const AnimeXFile::MeshContainerEx& c, std::uint32_t combo, std::uint32_t v) {
  const engine::Mesh& mesh = *c.mesh;
  const unsigned char* base =
      mesh.Vertices() + static_cast<std::size_t>(v) * mesh.GetNumBytesPerVertex();
  Vec3 p;
  std::memcpy(&p, base, sizeof p);
  int betas = platform::FvfBetaCount(mesh.GetFVF());
  float weights[4] = {0, 0, 0, 0};
  float sum = 0;
  for (int j = 0; j < betas; ++j) {
    std::memcpy(&weights[j], base + 12 + 4 * j, 4);
    sum += weights[j];
  }
  weights[betas] = 1.0f - sum;
  Vec3 out{0, 0, 0};
  for (int j = 0; j <= betas; ++j) {
    std::uint32_t b = c.boneCombinations[combo].boneId[static_cast<std::size_t>(j)];
    if (b == engine::kUnusedBone) continue;
    Matrix m = c.boneOffsetMatrices[b] * *c.boneMatrixPointers[b];
    out += engine::Vec3TransformCoord(p, m) * weights[j];
  }
  return out;
}

TEST_F(MeshManagerTest, SkinnedTriangleFollowsItsBonesOnTheCpu) {
  AnimatedModel* m = LoadSkinned(&device_);
  ASSERT_NE(m, nullptr);
  SetAnimationPosition(m, 0.5);  // Bone1 at x 1, y 1
  m->controller->AdvanceTime(0.0);
  Matrix world = engine::MatrixTranslation(0, 0, 5);
  UpdateFrameMatrices(m->rootFrame, &world);
  auto* c = static_cast<AnimeXFile::MeshContainerEx*>(m->rootFrame->meshContainer);
  ASSERT_EQ(c->boneCombinationCount, 1u);
  // Find the blended copies of the three corners by their rest positions.
  std::uint32_t apex = 0, right = 0;
  for (std::uint32_t v = 0; v < c->mesh->GetNumVertices(); ++v) {
    Vec3 p = c->mesh->Position(v);
    if (p.y == 1.0f) apex = v;
    if (p.x == 1.0f) right = v;
  }
  // By hand: the apex (0,1,0) is half Bone0 (identity), half Bone1 (offset
  // moves it to the bone's origin, the bone then sits at (1,1,0)):
  // 0.5 * (0,1,0) + 0.5 * (1,1,0), then the world's z of 5.
  Vec3 a = SkinnedPosition(*c, 0, apex);
  EXPECT_NEAR(a.x, 0.5f, 1e-5f);
  EXPECT_NEAR(a.y, 1.0f, 1e-5f);
  EXPECT_NEAR(a.z, 5.0f, 1e-5f);
  Vec3 r = SkinnedPosition(*c, 0, right);  // all Bone0
  EXPECT_NEAR(r.x, 1.0f, 1e-5f);
  EXPECT_NEAR(r.y, 0.0f, 1e-5f);
}

TEST_F(MeshManagerTest, SkinnedDrawSetsBlendMatricesAndEmissive) {
  AnimatedModel* m = LoadSkinned(&device_);
  ASSERT_NE(m, nullptr);
  m->controller->AdvanceTime(0.0);
  UpdateFrameMatrices(m->rootFrame, nullptr);
  device_.ClearDraws();
  DrawFrames(&device_, m->rootFrame);
  ASSERT_EQ(device_.Draws().size(), 1u);
  const platform::DeviceState& s = device_.Draws()[0].state;
  EXPECT_EQ(s.vertexBlend, 1u);  // two bones: one weight in the vertex
  auto* c = static_cast<AnimeXFile::MeshContainerEx*>(m->rootFrame->meshContainer);
  const auto& ids = c->boneCombinations[0].boneId;
  for (int j = 0; j < 2; ++j) {
    std::uint32_t b = ids[static_cast<std::size_t>(j)];
    Matrix expect = c->boneOffsetMatrices[b] * *c->boneMatrixPointers[b];
    EXPECT_EQ(s.world[j], expect);
  }
  EXPECT_FLOAT_EQ(s.material.emissive.r, 0.5f);
  EXPECT_FLOAT_EQ(s.material.emissive.b, 0.5f);
  EXPECT_FLOAT_EQ(s.material.diffuse.g, 0.4f);
  EXPECT_FLOAT_EQ(s.material.diffuse.a, 1.0f);
  EXPECT_EQ(device_.GetRenderState(platform::RenderState::VertexBlend), 0u);  // put back

  device_.ClearDraws();
  DrawFramesAlpha(&device_, m->rootFrame, 127.5f);
  ASSERT_EQ(device_.Draws().size(), 1u);
  EXPECT_FLOAT_EQ(device_.Draws()[0].state.material.diffuse.a, 0.5f);
}

TEST_F(MeshManagerTest, ContainerWithoutMaterialsDrawsGrey) {
  store_.LoadAnimatedModel(kNoMaterial, &device_);
  AnimatedModel* m = store_.FindAnimatedModel(kNoMaterial);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->controller, nullptr);  // no sets in the file
  UpdateFrameMatrices(m->rootFrame, nullptr);
  DrawFrames(&device_, m->rootFrame);
  ASSERT_EQ(device_.Draws().size(), 1u);
  const platform::Material& mat = device_.Draws()[0].state.material;
  EXPECT_FLOAT_EQ(mat.diffuse.r, 0.5f);
  EXPECT_FLOAT_EQ(mat.diffuse.a, 0.0f);
  EXPECT_FLOAT_EQ(mat.specular.g, 0.5f);
  EXPECT_EQ(device_.Draws()[0].state.vertexBlend, 0u);
}

TEST_F(MeshManagerTest, CombinationWithoutBonesDrawsUnblended) {
  AnimatedModel* m = LoadSkinned(&device_);
  ASSERT_NE(m, nullptr);
  auto* c = static_cast<AnimeXFile::MeshContainerEx*>(m->rootFrame->meshContainer);
  for (auto& id : c->boneCombinations[0].boneId) id = engine::kUnusedBone;
  device_.SetTransform(platform::WorldMatrix(1), engine::MatrixTranslation(7, 7, 7));
  DrawFrames(&device_, m->rootFrame);
  ASSERT_EQ(device_.Draws().size(), 1u);
  EXPECT_EQ(device_.Draws()[0].state.vertexBlend, 0u);
  EXPECT_EQ(device_.Draws()[0].state.world[1], engine::MatrixTranslation(7, 7, 7));
}

}  // namespace
}  // namespace media
