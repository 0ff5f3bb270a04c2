#include "engine/sprite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/null/device_null.h"

namespace engine {

using namespace platform;
namespace {

constexpr float kEps = 1e-4f;

// A texture that tells when it is destroyed.
class WatchedTexture : public Texture {
 public:
  WatchedTexture(std::uint32_t w, std::uint32_t h, bool* destroyed)
      : w_(w), h_(h), destroyed_(destroyed) {}
  std::uint32_t Width() const override { return w_; }
  std::uint32_t Height() const override { return h_; }
  Usage GetUsage() const override { return Usage::Default; }
  std::uint32_t* LockRect() override { return nullptr; }
  void UnlockRect() override {}
  Surface* GetSurfaceLevel(std::uint32_t) override { return nullptr; }
  std::uint32_t GetLevelCount() const override { return 1; }

 protected:
  ~WatchedTexture() override {
    if (destroyed_) *destroyed_ = true;
  }

 private:
  std::uint32_t w_, h_;
  bool* destroyed_;
};

void ExpectVec(const Vec3& a, const Vec3& b) {
  EXPECT_NEAR(a.x, b.x, kEps);
  EXPECT_NEAR(a.y, b.y, kEps);
  EXPECT_NEAR(a.z, b.z, kEps);
}

std::vector<SpriteVertex> Vertices(const DrawRecord& r) {
  std::vector<SpriteVertex> v(r.vertices.size() / sizeof(SpriteVertex));
  std::memcpy(v.data(), r.vertices.data(), v.size() * sizeof(SpriteVertex));
  return v;
}

class SpriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_.RecordDraws(true);
    ASSERT_TRUE(CreateSprite(&device_, &sprite_));
    a_ = device_.CreateTexture(64, 32, Usage::Default);
    b_ = device_.CreateTexture(16, 16, Usage::Default);
  }
  void TearDown() override {
    sprite_->Release();
    a_->Release();
    b_->Release();
  }

  NullDevice device_;
  Sprite* sprite_ = nullptr;
  Texture* a_ = nullptr;
  Texture* b_ = nullptr;
};

TEST_F(SpriteTest, BeginSetsTheSpriteStateButLeavesDepthAlone) {
  device_.SetRenderState(RenderState::ZEnable, 0);
  device_.SetRenderState(RenderState::ZWriteEnable, 0);
  device_.SetRenderState(RenderState::ZFunc, kCmpAlways);
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  const DeviceState& s = device_.State();
  EXPECT_EQ(s.lighting, 0u);
  EXPECT_EQ(s.vertexBlend, kVbfDisable);
  EXPECT_EQ(s.cullMode, kCullNone);
  EXPECT_EQ(s.alphaBlendEnable, 1u);
  EXPECT_EQ(s.srcBlend, kBlendSrcAlpha);
  EXPECT_EQ(s.destBlend, kBlendInvSrcAlpha);
  EXPECT_EQ(s.alphaTestEnable, 1u);
  EXPECT_EQ(s.alphaFunc, kCmpGreater);
  EXPECT_EQ(s.alphaRef, 0u);
  EXPECT_EQ(s.colorOp, kTopModulate);
  EXPECT_EQ(s.colorArg1, kTaTexture);
  EXPECT_EQ(s.colorArg2, kTaDiffuse);
  EXPECT_EQ(s.alphaOp, kTopModulate);
  EXPECT_EQ(s.alphaArg1, kTaTexture);
  EXPECT_EQ(s.alphaArg2, kTaDiffuse);
  EXPECT_EQ(s.addressU, kTaddressClamp);
  EXPECT_EQ(s.addressV, kTaddressClamp);
  EXPECT_EQ(s.magFilter, kTexfLinear);
  EXPECT_EQ(s.minFilter, kTexfLinear);
  EXPECT_EQ(s.zEnable, 0u);
  EXPECT_EQ(s.zWriteEnable, 0u);
  EXPECT_EQ(s.zFunc, kCmpAlways);
  EXPECT_TRUE(sprite_->End());
}

TEST_F(SpriteTest, EndRestoresTheStateBeforeBegin) {
  Light light;
  light.diffuse = {1, 0.5f, 0.25f, 1};
  device_.SetLight(0, light);
  device_.SetTransform(TransformState::View, MatrixTranslation(1, 2, 3));
  device_.SetTransform(TransformState::Projection, MatrixScaling(2, 2, 2));
  device_.SetTransform(TransformState::World, MatrixRotationY(0.5f));
  device_.SetRenderState(RenderState::CullMode, kCullCW);
  device_.SetRenderState(RenderState::AlphaBlendEnable, 0);
  device_.SetTextureStageState(0, TextureStageState::AlphaOp, kTopSelectArg1);
  device_.SetSamplerState(0, SamplerState::AddressU, kTaddressWrap);
  device_.SetFVF(kFvfXyz | kFvfNormal);
  device_.SetTexture(0, b_);
  const DeviceState before = device_.State();

  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFFFFFFFF);
  ASSERT_TRUE(sprite_->End());

  const DeviceState& after = device_.State();
  EXPECT_EQ(after.view, before.view);
  EXPECT_EQ(after.projection, before.projection);
  EXPECT_EQ(after.world[0], before.world[0]);
  EXPECT_EQ(after.cullMode, kCullCW);
  EXPECT_EQ(after.lighting, before.lighting);
  EXPECT_EQ(after.alphaBlendEnable, 0u);
  EXPECT_EQ(after.alphaOp, kTopSelectArg1);
  EXPECT_EQ(after.addressU, kTaddressWrap);
  EXPECT_EQ(after.fvf, kFvfXyz | kFvfNormal);
  EXPECT_EQ(after.texture, b_);
  EXPECT_EQ(after.light.diffuse.g, 0.5f);
  // ...and it was really changed while drawing.
  ASSERT_EQ(device_.Draws().size(), 1u);
  EXPECT_EQ(device_.Draws()[0].state.texture, a_);
  EXPECT_EQ(device_.Draws()[0].state.cullMode, kCullNone);
}

TEST_F(SpriteTest, TextureBoundBeforeBeginSurvivesUntilEndRebindsIt) {
  bool destroyed = false;
  Texture* bound = new WatchedTexture(8, 8, &destroyed);
  device_.SetTexture(0, bound);
  bound->Release();  // only the device holds it now
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFFFFFFFF);
  ASSERT_TRUE(sprite_->End());
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(device_.GetTexture(0), bound);
  device_.SetTexture(0, nullptr);
  EXPECT_TRUE(destroyed);
}

TEST_F(SpriteTest, QuadsWaitForEndAndComeOutInCallOrderBatchedByTexture) {
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFF000001);
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFF000002);
  sprite_->Draw(b_, nullptr, nullptr, nullptr, 0xFF000003);
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFF000004);
  EXPECT_TRUE(device_.Draws().empty());
  ASSERT_TRUE(sprite_->End());

  const auto& draws = device_.Draws();
  ASSERT_EQ(draws.size(), 3u);
  const Texture* textures[] = {a_, b_, a_};
  const std::uint32_t prims[] = {4, 2, 2};
  const Color firstColour[] = {0xFF000001, 0xFF000003, 0xFF000004};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(draws[i].type, PrimitiveType::TriangleList);
    EXPECT_EQ(draws[i].fvf, kSpriteFvf);
    EXPECT_EQ(draws[i].state.texture, textures[i]);
    EXPECT_EQ(draws[i].primitiveCount, prims[i]);
    EXPECT_EQ(Vertices(draws[i])[0].color, firstColour[i]);
  }
  // The second quad of the first run follows the first one.
  EXPECT_EQ(Vertices(draws[0])[6].color, 0xFF000002u);

  ASSERT_EQ(sprite_->LastBatch().size(), 4u);
  EXPECT_EQ(sprite_->LastBatch()[2].texture, b_);
}

TEST_F(SpriteTest, FlushEmitsNowAndBeginStartsANewBatch) {
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFFFFFFFF);
  ASSERT_TRUE(sprite_->Flush());
  EXPECT_EQ(device_.Draws().size(), 1u);
  sprite_->Draw(b_, nullptr, nullptr, nullptr, 0xFFFFFFFF);
  ASSERT_TRUE(sprite_->End());
  EXPECT_EQ(device_.Draws().size(), 2u);
  EXPECT_EQ(sprite_->LastBatch().size(), 2u);

  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  ASSERT_TRUE(sprite_->End());
  EXPECT_TRUE(sprite_->LastBatch().empty());
  EXPECT_EQ(device_.Draws().size(), 2u);
}

TEST_F(SpriteTest, CornersFollowPositionCentreAndTheTransformOfEachDraw) {
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  const Rect src{8, 4, 28, 14};  // 20 x 10
  const Vec3 centre{5, 2, 0};
  const Vec3 pos{100, 50, 0};
  sprite_->SetTransform(MatrixTranslation(10, 20, 0));
  sprite_->Draw(a_, &src, &centre, &pos, 0xFFFFFFFF);
  // Changing the transform after Draw does not move the queued quad; the
  // position lives inside the transform and is scaled with it.
  sprite_->SetTransform(MatrixScaling(2, 3, 1));
  sprite_->Draw(a_, &src, nullptr, &pos, 0xFFFFFFFF);
  sprite_->SetTransform(MatrixTranslation(0, 0, 0.25f));
  ASSERT_TRUE(sprite_->End());

  const auto& q = sprite_->LastBatch();
  ASSERT_EQ(q.size(), 2u);
  ExpectVec(q[0].corners[0], {105, 68, 0});
  ExpectVec(q[0].corners[1], {125, 68, 0});
  ExpectVec(q[0].corners[2], {125, 78, 0});
  ExpectVec(q[0].corners[3], {105, 78, 0});
  ExpectVec(q[1].corners[0], {200, 150, 0});
  ExpectVec(q[1].corners[2], {240, 180, 0});
  EXPECT_EQ(sprite_->GetTransform(), MatrixTranslation(0, 0, 0.25f));

  // Texcoords: the rectangle over the texture size, no half-texel shift.
  EXPECT_FLOAT_EQ(q[0].uv[0].x, 8.0f / 64);
  EXPECT_FLOAT_EQ(q[0].uv[0].y, 4.0f / 32);
  EXPECT_FLOAT_EQ(q[0].uv[2].x, 28.0f / 64);
  EXPECT_FLOAT_EQ(q[0].uv[2].y, 14.0f / 32);

  // The vertices handed to the device are those corners, two triangles.
  const auto v = Vertices(device_.Draws().at(0));
  ASSERT_EQ(v.size(), 12u);
  const int corner[6] = {0, 1, 2, 0, 2, 3};
  for (int i = 0; i < 6; ++i) {
    ExpectVec({v[i].x, v[i].y, v[i].z}, q[0].corners[corner[i]]);
    EXPECT_FLOAT_EQ(v[i].u, q[0].uv[corner[i]].x);
    EXPECT_FLOAT_EQ(v[i].v, q[0].uv[corner[i]].y);
  }
}

TEST_F(SpriteTest, NoRectangleDrawsTheWholeTextureAtTheOrigin) {
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  sprite_->SetTransform(Matrix::Identity());
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0x80FF0000);
  ASSERT_TRUE(sprite_->End());
  const SpriteQuad& q = sprite_->LastBatch().at(0);
  ExpectVec(q.corners[0], {0, 0, 0});
  ExpectVec(q.corners[2], {64, 32, 0});
  EXPECT_FLOAT_EQ(q.uv[2].x, 1.0f);
  EXPECT_FLOAT_EQ(q.uv[2].y, 1.0f);
  EXPECT_EQ(q.color, 0x80FF0000u);
  EXPECT_EQ(Vertices(device_.Draws().at(0))[4].color, 0x80FF0000u);
}

TEST_F(SpriteTest, SpritesLandAboveDirectDrawsAndKeepTheirOwnState) {
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFFFFFFFF);
  // A screen quad drawn directly between Begin and End, with its own state.
  device_.SetFVF(kFvfXyzRhw | kFvfDiffuse);
  device_.SetRenderState(RenderState::AlphaBlendEnable, 0);
  device_.SetTransform(TransformState::Projection, MatrixScaling(5, 5, 5));
  device_.SetTexture(0, nullptr);
  const float quad[4 * 5] = {};
  device_.DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, 20);
  ASSERT_TRUE(sprite_->End());

  const auto& draws = device_.Draws();
  ASSERT_EQ(draws.size(), 2u);
  EXPECT_EQ(draws[0].fvf, kFvfXyzRhw | kFvfDiffuse);
  EXPECT_EQ(draws[1].fvf, kSpriteFvf);
  EXPECT_EQ(draws[1].state.alphaBlendEnable, 1u);
  EXPECT_EQ(draws[1].state.texture, a_);
  EXPECT_EQ(draws[1].state.projection, Sprite::ScreenProjection(device_.GetViewport()));
  EXPECT_EQ(draws[1].state.view, Matrix::Identity());
  EXPECT_EQ(draws[1].state.world[0], Matrix::Identity());
}

TEST_F(SpriteTest, TextureReleasedAfterDrawLivesUntilItIsEmitted) {
  bool destroyed = false;
  Texture* t = new WatchedTexture(4, 4, &destroyed);
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  sprite_->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF);
  t->Release();
  EXPECT_FALSE(destroyed);
  ASSERT_TRUE(sprite_->End());
  EXPECT_TRUE(destroyed);  // End put the old (null) texture back
}

TEST_F(SpriteTest, CallsOutOfOrderAreRefused) {
  EXPECT_FALSE(sprite_->Draw(a_, nullptr, nullptr, nullptr, 0xFFFFFFFF));
  EXPECT_FALSE(sprite_->Flush());
  EXPECT_FALSE(sprite_->End());
  ASSERT_TRUE(sprite_->Begin(kSpriteAlphaBlend));
  EXPECT_FALSE(sprite_->Begin(kSpriteAlphaBlend));
  EXPECT_FALSE(sprite_->Draw(nullptr, nullptr, nullptr, nullptr, 0xFFFFFFFF));
  EXPECT_TRUE(sprite_->End());
  EXPECT_FALSE(sprite_->End());
  EXPECT_TRUE(device_.Draws().empty());

  Sprite* none = nullptr;
  EXPECT_FALSE(CreateSprite(nullptr, &none));
  EXPECT_EQ(none, nullptr);
}

TEST_F(SpriteTest, SpriteReleasedWhileBegunFreesWhatItHeld) {
  bool destroyed = false;
  Texture* t = new WatchedTexture(4, 4, &destroyed);
  Sprite* s = nullptr;
  ASSERT_TRUE(CreateSprite(&device_, &s));
  ASSERT_TRUE(s->Begin(kSpriteAlphaBlend));
  s->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFF);
  t->Release();
  s->Release();
  EXPECT_TRUE(destroyed);
  EXPECT_TRUE(device_.Draws().empty());
}

TEST(SpriteProjectionTest, MapsViewportPixelsToTheClipSquareYDown) {
  Viewport vp;
  vp.x = 100;
  vp.y = 50;
  vp.width = 400;
  vp.height = 300;
  const Matrix p = Sprite::ScreenProjection(vp);
  // The viewport's edges plus half a pixel: the device moves everything half
  // a pixel the other way to put pixel centres on integers, so a sprite
  // corner at an integer position ends on a pixel boundary.
  ExpectVec(Vec3TransformCoord({100.5f, 50.5f, 0}, p), {-1, 1, 0});
  ExpectVec(Vec3TransformCoord({500.5f, 350.5f, 1}, p), {1, -1, 1});
  ExpectVec(Vec3TransformCoord({300.5f, 200.5f, 0.5f}, p), {0, 0, 0.5f});
  // One unit is one pixel, y down.
  const Vec3 a = Vec3TransformCoord({120, 60, 0}, p);
  const Vec3 b = Vec3TransformCoord({121, 61, 0}, p);
  EXPECT_NEAR(b.x - a.x, 2.0f / 400, kEps);
  EXPECT_NEAR(b.y - a.y, -2.0f / 300, kEps);

  // A flat depth range must not poison the matrix with infinities.
  vp.minZ = vp.maxZ = 0.5f;
  const Matrix flat = Sprite::ScreenProjection(vp);
  for (const auto& row : flat.m)
    for (float f : row) EXPECT_TRUE(std::isfinite(f));
}

}  // namespace
}  // namespace engine
