// A skinned model loaded through the game's mesh store, posed by its
// controller and drawn by the GL device with vertex blending: the pixels
// follow the bones.
#include <filesystem>
#include <fstream>

#include "gl_world.h"
#include "media/mesh_manager.h"

namespace gltest {
namespace {

namespace fs = std::filesystem;

constexpr char kTwoBones[] = "two_bones.x";

// A triangle (0,0) (1,0) (0,1); its apex hangs half on Bone0, half on Bone1,
// which slides from x 0 to x 2 over one second.
const char* kTwoBonesText = R"(xof 0303txt 0032
Frame Root {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
  Frame Bone0 {
    FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
    Frame Bone1 { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,1,0,1;; } }
  }
  Mesh Body {
    3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;
    1; 3;0,1,2;;
    MeshMaterialList { 1; 1; 0;; Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }
    XSkinMeshHeader { 2; 2; 2; }
    SkinWeights { "Bone0"; 3; 0,1,2; 1.0,1.0,0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1;; }
    SkinWeights { "Bone1"; 1; 2; 0.5; 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,-1,0,1;; }
  }
}
AnimTicksPerSecond { 4800; }
AnimationSet Slide {
  Animation { { Bone1 } AnimationKey { 2; 2; 0;3;0.0,1.0,0.0;;, 4800;3;2.0,1.0,0.0;;; } }
}
)";

class SkinnedModelGlTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() / "poromeko_gl_skinned";
    fs::create_directories(dir_);
    fs::current_path(dir_);
    std::ofstream(kTwoBones) << kTwoBonesText;
  }
  void TearDown() override {
    meshes_.Clear();
    fs::current_path(old_);
    fs::remove_all(dir_);
    GlTest::TearDown();
  }

  // World x in [-2, 2] and y in [-1.5, 1.5] fill the 800 x 600 picture, so a
  // world point (x, y) lands on pixel (200 (x + 2), 200 (1.5 - y)).
  std::vector<std::uint32_t> DrawPosed(double seconds) {
    meshes_.LoadAnimatedModel(kTwoBones, d);
    media::AnimatedModel* m = meshes_.FindAnimatedModel(kTwoBones);
    EXPECT_NE(m, nullptr);
    if (!m) return {};
    media::SetAnimationPosition(m, seconds);
    m->controller->AdvanceTime(0.0);
    d->SetRenderState(RenderState::Lighting, 0);
    d->SetRenderState(RenderState::ZEnable, 0);
    d->SetRenderState(RenderState::CullMode, kCullNone);
    d->SetTransform(TransformState::View, Matrix::Identity());
    d->SetTransform(TransformState::Projection,
                    MatrixOrthoOffCenterLH(-2.0f, 2.0f, -1.5f, 1.5f, 0.0f, 1.0f));
    Matrix world = Matrix::Identity();
    d->SetTransform(TransformState::World, world);
    media::UpdateFrameMatrices(m->rootFrame, &world);
    d->BeginScene();
    d->Clear(kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f, 0);
    media::DrawFrames(d, m->rootFrame);
    d->EndScene();
    return Frame();
  }

  static bool Lit(const std::vector<std::uint32_t>& px, float x, float y) {
    int sx = static_cast<int>(200.0f * (x + 2.0f));
    int sy = static_cast<int>(200.0f * (1.5f - y));
    return Channel(At(px, sx, sy), 8) > 200;
  }

  fs::path old_, dir_;
  media::MeshManager meshes_;
};

TEST_F(SkinnedModelGlTest, BlendedApexFollowsTheMovingBone) {
  // At rest the triangle is the plain one.
  std::vector<std::uint32_t> rest = DrawPosed(0.0);
  ASSERT_FALSE(rest.empty());
  EXPECT_TRUE(Lit(rest, 0.1f, 0.8f));
  EXPECT_FALSE(Lit(rest, 0.9f, 0.8f));
  EXPECT_TRUE(Lit(rest, 0.5f, 0.2f));

  // Bone1 at x 1.98: the apex, half on each bone, moves to x 0.99.
  std::vector<std::uint32_t> posed = DrawPosed(0.99);
  EXPECT_FALSE(Lit(posed, 0.1f, 0.8f));
  EXPECT_TRUE(Lit(posed, 0.9f, 0.8f));
  EXPECT_TRUE(Lit(posed, 0.5f, 0.2f));
  // Nothing is drawn where neither pose reaches.
  EXPECT_FALSE(Lit(posed, -0.5f, 0.5f));
  EXPECT_FALSE(Lit(posed, 1.5f, 0.5f));
}

}  // namespace
}  // namespace gltest
