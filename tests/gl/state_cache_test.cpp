// The GL device sends a draw only the state that changed since the draw
// before it, and runs a program made for the state that decides its code.
// Whatever it remembers must never leak into a draw whose state differs:
// after a render-target switch, after the sprite restores the state, after
// another device drew on the same context, after GL names were freed and
// made again, and from one program to another.
#include <algorithm>

#include "engine/sprite.h"
#include "gl/gl_world.h"

namespace gltest {
namespace {

using StateCacheTest = GlTest;

// Position, normal and colour (XYZ | NORMAL | DIFFUSE).
struct LitVertex {
  float x, y, z;
  float nx, ny, nz;
  std::uint32_t color;
};
constexpr std::uint32_t kLitFvf = kFvfXyz | kFvfNormal | kFvfDiffuse;

// Position and texture coordinates (XYZ | TEX1).
struct TexVertex {
  float x, y, z;
  float u, v;
};
constexpr std::uint32_t kTexFvf = kFvfXyz | kFvfTex1;

// World units equal to pixels of a target `w` x `h` (y down).
void UsePixelOrtho(Device* d, float w, float h) {
  d->SetTransform(TransformState::Projection, MatrixOrthoOffCenterLH(0, w, h, 0, 0, 1));
  d->SetTransform(TransformState::View, Matrix::Identity());
  d->SetTransform(TransformState::World, Matrix::Identity());
}

// A w x h rectangle at the world origin facing the camera, lit from the front.
void LitRect(Device* d, float w, float h, std::uint32_t color) {
  const LitVertex v[4] = {{0, 0, 0.5f, 0, 0, -1, color},
                          {w, 0, 0.5f, 0, 0, -1, color},
                          {w, h, 0.5f, 0, 0, -1, color},
                          {0, h, 0.5f, 0, 0, -1, color}};
  d->SetFVF(kLitFvf);
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, v, sizeof(LitVertex));
}

void TexRect(Device* d, float l, float t, float r, float b) {
  const TexVertex v[4] = {
      {l, t, 0.5f, 0, 0}, {r, t, 0.5f, 1, 0}, {r, b, 0.5f, 1, 1}, {l, b, 0.5f, 0, 1}};
  d->SetFVF(kTexFvf);
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, v, sizeof(TexVertex));
}

Texture* MakeTexture(Device* d, std::uint32_t w, std::uint32_t h,
                     const std::vector<std::uint32_t>& texels) {
  Texture* t = d->CreateTexture(w, h, Usage::Default);
  if (!t) return nullptr;
  std::copy(texels.begin(), texels.end(), t->LockRect());
  t->UnlockRect();
  return t;
}

// Only the material's emissive colour lights the vertices.
Material Glowing(float r, float g, float b) {
  Material m;
  m.diffuse = {0, 0, 0, 1};
  m.emissive = {r, g, b, 1};
  return m;
}

int CountColor(const std::vector<std::uint32_t>& px, std::uint32_t color) {
  return static_cast<int>(std::count(px.begin(), px.end(), color));
}

int Differing(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

TEST_F(StateCacheTest, EachTargetGetsItsOwnViewportAndScreenScale) {
  Texture* rt = d->CreateTexture(64, 32, Usage::RenderTarget);
  ASSERT_NE(rt, nullptr);
  Surface* level = rt->GetSurfaceLevel(0);
  Surface* back = d->GetBackBuffer();
  Surface* depth = d->GetDepthStencilSurface();
  d->SetRenderState(RenderState::Lighting, 0);
  d->SetRenderState(RenderState::ZEnable, 0);

  // The same two draws, each with the same program, first on the back buffer,
  // then in the texture, then on the back buffer again.
  auto drawBoth = [&](float w, float h) {
    UsePixelOrtho(d, w, h);
    d->SetTexture(0, nullptr);
    const TexVertex v[4] = {
        {0, 0, 0.5f, 0, 0}, {w / 2, 0, 0.5f, 0, 0}, {w / 2, h, 0.5f, 0, 0}, {0, h, 0.5f, 0, 0}};
    d->SetFVF(kTexFvf);
    d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, v, sizeof(TexVertex));  // left half white
    Quad(w - 8, h - 8, w, h, 0xFFFF0000u);  // red bottom-right corner
  };
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  drawBoth(800, 600);
  auto first = Frame();
  EXPECT_EQ(CountColor(first, 0xFFFFFFFFu), 400 * 600);
  EXPECT_EQ(At(first, 799, 599), 0xFFFF0000u);

  d->SetRenderTarget(0, level);
  d->SetDepthStencilSurface(nullptr);
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  drawBoth(64, 32);
  auto inTexture = d->ReadTexture(rt);
  ASSERT_EQ(inTexture.size(), 64u * 32u);
  EXPECT_EQ(CountColor(inTexture, 0xFFFFFFFFu), 32 * 32);
  EXPECT_EQ(At(inTexture, 31, 31, 64), 0xFFFFFFFFu);
  EXPECT_EQ(At(inTexture, 32, 0, 64), 0xFF000000u);
  EXPECT_EQ(CountColor(inTexture, 0xFFFF0000u), 64);
  EXPECT_EQ(At(inTexture, 56, 24, 64), 0xFFFF0000u);

  d->SetRenderTarget(0, back);
  d->SetDepthStencilSurface(depth);
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  drawBoth(800, 600);
  EXPECT_EQ(Differing(Frame(), first), 0);

  depth->Release();
  back->Release();
  level->Release();
  rt->Release();
}

TEST_F(StateCacheTest, DrawsAfterTheSpriteSeeTheRestoredState) {
  // Point-sampled black | white, magnified over 100 pixels: a hard edge in
  // the middle; no blending, so an alpha of 0 in the texel still covers.
  Texture* stripes = MakeTexture(d, 2, 1, {0x00000000u, 0x00FFFFFFu});
  ASSERT_NE(stripes, nullptr);
  Texture* icon = MakeTexture(d, 2, 1, {0xFF000000u, 0xFFFFFFFFu});
  ASSERT_NE(icon, nullptr);
  Sprite* sprite = nullptr;
  ASSERT_TRUE(CreateSprite(d, &sprite));
  d->SetRenderState(RenderState::Lighting, 0);
  d->SetRenderState(RenderState::CullMode, kCullCW);  // the rectangle is clockwise: culled
  UsePixelOrtho(d, 800, 600);
  d->SetTexture(0, stripes);

  auto drawWorld = [&] {
    d->Clear(kClearTarget | kClearZBuffer, 0xFF0000FFu, 1.0f, 0);
    TexRect(d, 100, 100, 200, 120);  // culled
    d->SetRenderState(RenderState::CullMode, kCullNone);
    TexRect(d, 300, 100, 400, 120);
    d->SetRenderState(RenderState::CullMode, kCullCW);
  };
  drawWorld();
  auto before = Frame();
  EXPECT_EQ(At(before, 150, 110), 0xFF0000FFu);
  EXPECT_EQ(At(before, 349, 110), 0xFF000000u);
  EXPECT_EQ(At(before, 350, 110), 0xFFFFFFFFu);

  // The sprite blends, filters linearly, clamps, culls nothing and tests
  // alpha: its black | white, magnified the same way, turns grey between
  // the two texels.
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  ASSERT_TRUE(sprite->Begin(kSpriteAlphaBlend));
  sprite->SetTransform(MatrixScaling(50, 50, 1));
  const Vec3 at{2, 4, 0};
  sprite->Draw(icon, nullptr, nullptr, &at, 0xFFFFFFFFu);
  ASSERT_TRUE(sprite->End());
  ASSERT_EQ(d->GetTexture(0), stripes);
  auto sprites = Frame();
  EXPECT_TRUE(RgbNear(At(sprites, 150, 225), 128, 128, 128, 3));

  drawWorld();
  EXPECT_EQ(Differing(Frame(), before), 0);
  sprite->Release();
  icon->Release();
  stripes->Release();
}

TEST_F(StateCacheTest, ProgramsKeepTheirOwnUniforms) {
  d->SetRenderState(RenderState::ZEnable, 0);
  d->SetRenderState(RenderState::CullMode, kCullNone);
  UsePixelOrtho(d, 800, 600);
  Texture* white = MakeTexture(d, 1, 1, {0xFFFFFFFFu});
  ASSERT_NE(white, nullptr);

  // A lit program and a textured one take turns; each time a program comes
  // back, the world matrix it is given is the one the other program had
  // last, which is not what this program had.
  auto lit = [&](float x, float g) {
    d->SetRenderState(RenderState::Lighting, 1);
    d->SetMaterial(Glowing(1 - g, g, 0));
    d->SetTransform(TransformState::World, MatrixTranslation(x, 10, 0));
    LitRect(d, 20, 20, 0xFFFFFFFFu);
  };
  auto textured = [&](float x) {
    d->SetRenderState(RenderState::Lighting, 0);
    d->SetTexture(0, white);
    d->SetTransform(TransformState::World, MatrixTranslation(x, 10, 0));
    TexRect(d, 0, 0, 20, 20);
    d->SetTexture(0, nullptr);
  };
  lit(10, 0);     // red at 10
  textured(100);  // white at 100
  lit(100, 1);    // green over the white
  textured(200);  // white at 200
  lit(200, 1);    // green over that white too
  textured(300);  // white at 300

  auto px = Frame();
  EXPECT_EQ(At(px, 20, 20), 0xFFFF0000u);
  EXPECT_EQ(At(px, 110, 20), 0xFF00FF00u);
  EXPECT_EQ(At(px, 210, 20), 0xFF00FF00u);
  EXPECT_EQ(At(px, 310, 20), 0xFFFFFFFFu);
  EXPECT_EQ(CountColor(px, 0xFFFF0000u), 400);
  EXPECT_EQ(CountColor(px, 0xFF00FF00u), 800);
  EXPECT_EQ(CountColor(px, 0xFFFFFFFFu), 400);
  white->Release();
}

TEST_F(StateCacheTest, ClearLeavesDepthWritesAsTheStateSays) {
  d->SetRenderState(RenderState::ZWriteEnable, 0);
  d->SetRenderState(RenderState::ZFunc, kCmpLess);
  Quad(0, 0, 10, 10, 0xFFFF0000u, 0.5f);
  // Clearing depth writes depth whatever the state says; the next draw
  // still writes none.
  d->Clear(kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f, 0);
  Quad(0, 0, 10, 10, 0xFFFF0000u, 0.5f);
  Quad(0, 0, 10, 10, 0xFF00FF00u, 0.7f);  // passes: nothing wrote 0.5
  EXPECT_EQ(At(Frame(), 5, 5), 0xFF00FF00u);
}

TEST_F(StateCacheTest, AnotherDeviceDrawingInBetweenChangesNothing) {
  std::unique_ptr<Device> other = TheWorld().system->CreateDevice();
  ASSERT_NE(other, nullptr);
  Texture* green = MakeTexture(d, 1, 1, {0xFF00FF00u});
  Texture* mine = MakeTexture(other.get(), 1, 1, {0xFFFF00FFu});
  ASSERT_NE(green, nullptr);
  ASSERT_NE(mine, nullptr);

  // Added together: the green texel, then (after the other device drew)
  // untextured 0x40 red.
  d->SetRenderState(RenderState::AlphaBlendEnable, 1);
  d->SetRenderState(RenderState::SrcBlend, kBlendOne);
  d->SetRenderState(RenderState::DestBlend, kBlendOne);
  d->SetTexture(0, green);
  Quad(0, 0, 10, 10, 0xFFFFFFFFu);

  // The other device draws opaque and textured into its own back buffer,
  // and the two take turns in the middle of it.
  other->SetTexture(0, mine);
  other->Clear(kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f, 0);
  Quad(0, 0, 10, 10, 0);  // adds nothing
  ScreenVertex q[4] = {{0, 0, 0.9f, 1, 0xFFFFFFFFu, 0, 0},
                       {20, 0, 0.9f, 1, 0xFFFFFFFFu, 1, 0},
                       {20, 20, 0.9f, 1, 0xFFFFFFFFu, 1, 1},
                       {0, 20, 0.9f, 1, 0xFFFFFFFFu, 0, 1}};
  other->SetFVF(kScreenFvf);
  other->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, q, sizeof(ScreenVertex));
  auto theirs = other->ReadBackBuffer();
  EXPECT_EQ(At(theirs, 5, 5), 0xFFFF00FFu);

  d->SetTexture(0, nullptr);
  Quad(0, 0, 10, 10, 0xFF400000u);
  auto px = Frame();
  EXPECT_EQ(At(px, 5, 5), 0xFF40FF00u);
  EXPECT_EQ(CountColor(px, 0xFF40FF00u), 100);
  other->SetTexture(0, nullptr);
  mine->Release();
  green->Release();
  other.reset();
  EXPECT_EQ(sdl_gl::TakeGlError(*d), 0u);
}

TEST_F(StateCacheTest, BuffersAndTexturesMadeAfterOthersWereFreedDrawTheirOwnContent) {
  auto makeQuad = [&](float l, std::uint32_t color, VertexBuffer** vb, IndexBuffer** ib) {
    *vb = d->CreateVertexBuffer(4 * sizeof(ScreenVertex), kScreenFvf);
    *ib = d->CreateIndexBuffer(6);
    auto* v = static_cast<ScreenVertex*>((*vb)->Lock());
    v[0] = {l, 0, 0, 1, color, 0, 0};
    v[1] = {l + 10, 0, 0, 1, color, 1, 0};
    v[2] = {l + 10, 10, 0, 1, color, 1, 1};
    v[3] = {l, 10, 0, 1, color, 0, 1};
    (*vb)->Unlock();
    const std::uint32_t idx[6] = {0, 1, 2, 0, 2, 3};
    std::copy(idx, idx + 6, (*ib)->Lock());
    (*ib)->Unlock();
  };
  for (int round = 0; round < 3; ++round) {
    const std::uint32_t texel = round == 1 ? 0xFF00FF00u : 0xFFFF0000u;
    Texture* t = MakeTexture(d, 1, 1, {texel});
    VertexBuffer* vb = nullptr;
    IndexBuffer* ib = nullptr;
    makeQuad(static_cast<float>(20 * round), 0xFFFFFFFFu, &vb, &ib);
    d->SetTexture(0, t);
    d->DrawIndexedPrimitive(vb, ib, PrimitiveType::TriangleList, 0, 2);
    d->SetTexture(0, nullptr);
    auto px = Frame();
    EXPECT_EQ(At(px, 20 * round + 5, 5), texel) << "round " << round;
    // Freed here; their GL names go back to GL at the next draw.
    t->Release();
    vb->Release();
    ib->Release();
  }
}

}  // namespace
}  // namespace gltest
