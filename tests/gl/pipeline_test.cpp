// The fixed-function pipeline of the GL device, checked on pixels read back.
#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "gl/gl_world.h"

namespace gltest {
namespace {

using PipelineTest = GlTest;

// Counts the pixels equal to `color` and the bounding box they lie in.
struct Coverage {
  int count = 0, left = 800, top = 600, right = -1, bottom = -1;
};
Coverage Cover(const std::vector<std::uint32_t>& px, std::uint32_t color) {
  Coverage c;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      if (px[static_cast<std::size_t>(y) * 800 + static_cast<std::size_t>(x)] != color) continue;
      ++c.count;
      c.left = std::min(c.left, x);
      c.right = std::max(c.right, x);
      c.top = std::min(c.top, y);
      c.bottom = std::max(c.bottom, y);
    }
  }
  return c;
}

// Position and colour (XYZ | DIFFUSE).
struct ColorVertex {
  float x, y, z;
  std::uint32_t color;
};

// Drawing in world units equal to back-buffer pixels (y down), lighting off.
void UsePixelOrtho(Device* d) {
  d->SetTransform(TransformState::Projection, MatrixOrthoOffCenterLH(0, 800, 600, 0, 0, 1));
  d->SetTransform(TransformState::View, Matrix::Identity());
  d->SetTransform(TransformState::World, Matrix::Identity());
  d->SetRenderState(RenderState::Lighting, 0);
}

Texture* MakeTexture(Device* d, std::uint32_t w, std::uint32_t h,
                     const std::vector<std::uint32_t>& texels) {
  Texture* t = d->CreateTexture(w, h, Usage::Default);
  if (!t) return nullptr;
  std::copy(texels.begin(), texels.end(), t->LockRect());
  t->UnlockRect();
  return t;
}

// Draws that take the texture's colour and the texel's alpha times the
// vertex's, blended over what is there by that alpha.
void UseTextureBlendedByItsAlpha(Device* d, Texture* t) {
  d->SetTexture(0, t);
  d->SetRenderState(RenderState::AlphaBlendEnable, 1);
  d->SetRenderState(RenderState::SrcBlend, kBlendSrcAlpha);
  d->SetRenderState(RenderState::DestBlend, kBlendInvSrcAlpha);
  d->SetTextureStageState(0, TextureStageState::AlphaOp, kTopModulate);
  d->SetTextureStageState(0, TextureStageState::AlphaArg2, kTaDiffuse);
}

TEST_F(PipelineTest, ClearFillsTheViewportOnly) {
  d->Clear(kClearTarget, 0xFF336699u, 1.0f, 0);
  auto px = Frame();
  EXPECT_EQ(Cover(px, 0xFF336699u).count, 800 * 600);

  d->SetViewport(Viewport{100, 50, 30, 20, 0, 1});
  d->Clear(kClearTarget, 0xFFFF0000u, 1.0f, 0);
  Coverage c = Cover(Frame(), 0xFFFF0000u);
  EXPECT_EQ(c.count, 30 * 20);
  EXPECT_EQ(c.left, 100);
  EXPECT_EQ(c.top, 50);
  EXPECT_EQ(c.right, 129);
  EXPECT_EQ(c.bottom, 69);
}

TEST_F(PipelineTest, ScreenQuadsCoverExactPixels) {
  Quad(10, 20, 30, 40, 0xFFFFFFFFu);
  Coverage c = Cover(Frame(), 0xFFFFFFFFu);
  EXPECT_EQ(c.count, 20 * 20);
  EXPECT_EQ(c.left, 10);
  EXPECT_EQ(c.right, 29);
  EXPECT_EQ(c.top, 20);
  EXPECT_EQ(c.bottom, 39);

  // The whole target, each pixel exactly once: adding 1 twice would show.
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  d->SetRenderState(RenderState::AlphaBlendEnable, 1);
  d->SetRenderState(RenderState::SrcBlend, kBlendOne);
  d->SetRenderState(RenderState::DestBlend, kBlendOne);
  Quad(0, 0, 800, 600, 0xFF010101u);
  EXPECT_EQ(Cover(Frame(), 0xFF010101u).count, 800 * 600);
}

// Whether the pixel centre (px, py) belongs to the triangle under the
// top-left fill rule, in exact integers: a centre strictly inside is drawn, a
// centre on an edge only when that edge is a top edge (horizontal, inside
// below) or a left edge (inside to its right).
struct Point {
  int x, y;
};
bool CoversTopLeft(std::array<Point, 3> t, int px, int py) {
  auto edge = [](Point a, Point b, int x, int y) {
    return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
  };
  // Clockwise on screen (y down) puts the inside on the positive side.
  if (edge(t[0], t[1], t[2].x, t[2].y) < 0) std::swap(t[1], t[2]);
  for (int i = 0; i < 3; ++i) {
    const Point a = t[i], b = t[(i + 1) % 3];
    const int e = edge(a, b, px, py);
    if (e > 0) continue;
    if (e < 0) return false;
    const bool top = a.y == b.y && b.x > a.x;
    const bool left = b.y < a.y;
    if (!top && !left) return false;
  }
  return true;
}

TEST_F(PipelineTest, EdgesThroughPixelCentresFollowTheTopLeftRule) {
  // Every slanted edge runs exactly through pixel centres (integer
  // coordinates); some triangles are wound each way.
  const std::array<Point, 3> tris[] = {
      {{{10, 10}, {26, 18}, {10, 18}}},     // right edge of slope 1/2
      {{{40, 10}, {56, 18}, {56, 10}}},     // the same slope as a left edge
      {{{70, 10}, {74, 26}, {66, 26}}},     // steep right and left edges
      {{{100, 10}, {116, 26}, {100, 26}}},  // right edge of slope 1
      {{{130, 10}, {146, 26}, {146, 10}}},  // left edge of slope 1
      {{{170, 26}, {186, 10}, {186, 26}}},  // left edge falling to the right
      {{{200, 10}, {200, 26}, {216, 10}}},  // right edge falling to the right
      {{{240, 10}, {256, 18}, {236, 30}}},  // no straight edge at all
  };
  for (bool screen : {true, false}) {
    SCOPED_TRACE(screen ? "screen vertices" : "transformed vertices");
    d->SetState(DeviceState{});
    d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
    d->SetRenderState(RenderState::CullMode, kCullNone);
    if (!screen) UsePixelOrtho(d);
    for (const auto& t : tris) {
      if (screen) {
        ScreenVertex v[3];
        for (int i = 0; i < 3; ++i) {
          v[i] = {static_cast<float>(t[i].x), static_cast<float>(t[i].y), 0, 1, 0xFFFFFFFFu, 0, 0};
        }
        d->SetFVF(kScreenFvf);
        d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, v, sizeof(ScreenVertex));
      } else {
        ColorVertex v[3];
        for (int i = 0; i < 3; ++i) {
          v[i] = {static_cast<float>(t[i].x), static_cast<float>(t[i].y), 0, 0xFFFFFFFFu};
        }
        d->SetFVF(kFvfXyz | kFvfDiffuse);
        d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, v, sizeof(ColorVertex));
      }
    }
    const auto px = Frame();
    auto drawn = [&](int x, int y) { return At(px, x, y) == 0xFFFFFFFFu; };
    // Worked by hand: centres on a right or bottom edge stay empty...
    EXPECT_FALSE(drawn(14, 12));   // on the right edge of slope 1/2
    EXPECT_FALSE(drawn(12, 18));   // on the bottom edge
    EXPECT_FALSE(drawn(56, 14));   // on a straight right edge
    EXPECT_FALSE(drawn(108, 18));  // on the right edge of slope 1
    EXPECT_FALSE(drawn(208, 18));  // on the right edge falling to the right
    EXPECT_FALSE(drawn(246, 24));  // on the lower right edge
    // ...their neighbours inside are drawn...
    EXPECT_TRUE(drawn(13, 12));
    EXPECT_TRUE(drawn(12, 17));
    EXPECT_TRUE(drawn(55, 14));
    EXPECT_TRUE(drawn(107, 18));
    // ...and centres on a top or left edge are drawn.
    EXPECT_TRUE(drawn(10, 12));   // straight left edge
    EXPECT_TRUE(drawn(44, 12));   // left edge of slope 1/2
    EXPECT_TRUE(drawn(50, 10));   // top edge
    EXPECT_TRUE(drawn(138, 18));  // left edge of slope 1
    EXPECT_TRUE(drawn(178, 18));  // left edge falling to the right
    EXPECT_TRUE(drawn(238, 20));  // steep left edge
    EXPECT_FALSE(drawn(43, 12));
    EXPECT_FALSE(drawn(137, 18));

    // Every pixel around them against the rule worked in integers.
    int wrong = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 270; ++x) {
        bool want = false;
        for (const auto& t : tris) want = want || CoversTopLeft(t, x, y);
        if (drawn(x, y) != want && wrong++ < 8) {
          ADD_FAILURE() << "pixel " << x << "," << y << (want ? " missing" : " drawn");
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(PipelineTest, AlphaBlending) {
  d->Clear(kClearTarget, 0xFF0000FFu, 1.0f, 0);
  d->SetRenderState(RenderState::AlphaBlendEnable, 1);
  d->SetRenderState(RenderState::SrcBlend, kBlendSrcAlpha);
  d->SetRenderState(RenderState::DestBlend, kBlendInvSrcAlpha);
  Quad(0, 0, 100, 100, 0x80FF0000u);
  d->SetRenderState(RenderState::SrcBlend, kBlendOne);
  d->SetRenderState(RenderState::DestBlend, kBlendOne);
  Quad(200, 0, 300, 100, 0x10204060u);
  // Blending off: the source replaces whatever was there.
  d->SetRenderState(RenderState::AlphaBlendEnable, 0);
  Quad(400, 0, 500, 100, 0x20123456u);
  auto px = Frame();
  EXPECT_TRUE(RgbNear(At(px, 50, 50), 128, 0, 127));
  EXPECT_TRUE(RgbNear(At(px, 250, 50), 0x20, 0x40, 0xFF));
  EXPECT_TRUE(RgbNear(At(px, 450, 50), 0x12, 0x34, 0x56, 0));
}

TEST_F(PipelineTest, AlphaTestDiscardsByReference) {
  d->SetRenderState(RenderState::AlphaTestEnable, 1);
  d->SetRenderState(RenderState::AlphaFunc, kCmpGreater);
  d->SetRenderState(RenderState::AlphaRef, 0x80);
  Quad(0, 0, 10, 10, 0x80FFFFFFu);
  Quad(20, 0, 30, 10, 0x81FFFFFFu);
  d->SetRenderState(RenderState::AlphaFunc, kCmpLessEqual);
  Quad(40, 0, 50, 10, 0x80FFFFFFu);
  Quad(60, 0, 70, 10, 0x81FFFFFFu);
  auto px = Frame();
  EXPECT_EQ(At(px, 5, 5), 0xFF000000u);
  EXPECT_EQ(At(px, 25, 5), 0xFFFFFFFFu);
  EXPECT_EQ(At(px, 45, 5), 0xFFFFFFFFu);
  EXPECT_EQ(At(px, 65, 5), 0xFF000000u);
}

TEST_F(PipelineTest, AlphaTestComparesTheAlphaBeforeRounding) {
  // Texel alpha 0x81 times a diffuse alpha lands between two 8-bit steps; the
  // alpha test weighs that product itself against the reference, not the
  // 8-bit alpha a target would store.
  Texture* t = MakeTexture(d, 1, 1, {0x81FFFFFFu});
  ASSERT_NE(t, nullptr);
  d->SetTexture(0, t);
  d->SetTextureStageState(0, TextureStageState::AlphaOp, kTopModulate);
  d->SetTextureStageState(0, TextureStageState::AlphaArg2, kTaDiffuse);
  d->SetRenderState(RenderState::AlphaTestEnable, 1);
  struct Case {
    std::uint32_t diffuseAlpha, func, ref;
    bool drawn;
  };
  const Case cases[] = {
      // 0x81 * 0xFE / 255 = 128.49: above 0x80, though it rounds to 0x80.
      {0xFE, kCmpGreater, 0x80, true},
      {0xFE, kCmpEqual, 0x80, false},
      {0xFE, kCmpLessEqual, 0x80, false},
      // 0x81 * 0xFD / 255 = 127.99: below 0x80, though it rounds to 0x80.
      {0xFD, kCmpGreaterEqual, 0x80, false},
      {0xFD, kCmpLess, 0x80, true},
      // 0x81 * 0xFF / 255 = 0x81 exactly: equal stays equal.
      {0xFF, kCmpEqual, 0x81, true},
      {0xFF, kCmpGreater, 0x81, false},
      {0xFF, kCmpLessEqual, 0x81, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& k = cases[i];
    d->SetRenderState(RenderState::AlphaFunc, k.func);
    d->SetRenderState(RenderState::AlphaRef, k.ref);
    const float x = 20.0f * static_cast<float>(i);
    Quad(x, 0, x + 10, 10, (k.diffuseAlpha << 24) | 0x00FFFFFFu);
  }
  const auto px = Frame();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& k = cases[i];
    EXPECT_EQ(At(px, 20 * static_cast<int>(i) + 5, 5) == 0xFFFFFFFFu, k.drawn)
        << "diffuse alpha " << k.diffuseAlpha << ", func " << k.func << ", ref " << k.ref;
  }
  d->SetTexture(0, nullptr);
  t->Release();
}

// The lighting equation by hand: one directional light, material, global
// ambient, normals through the inverse-transpose and not renormalised.
struct LitVertex {
  float x, y, z, nx, ny, nz;
  std::uint32_t color;
};

TEST_F(PipelineTest, LightingMatchesTheEquation) {
  d->SetRenderState(RenderState::CullMode, kCullNone);
  d->SetRenderState(RenderState::Lighting, 1);
  d->SetRenderState(RenderState::Ambient, 0x00202020u);
  d->SetRenderState(RenderState::AlphaBlendEnable, 1);
  d->SetRenderState(RenderState::SrcBlend, kBlendSrcAlpha);
  d->SetRenderState(RenderState::DestBlend, kBlendInvSrcAlpha);
  // Scaling by 2 shrinks the transformed normal to half length.
  d->SetTransform(TransformState::World, MatrixScaling(2, 2, 2));
  d->SetTransform(TransformState::View, MatrixLookAtLH({0, 0, -5}, {0, 0, 0}, {0, 1, 0}));
  d->SetTransform(TransformState::Projection, MatrixPerspectiveFovLH(kPi / 2, 4.0f / 3, 1, 100));
  Material m;
  m.ambient = {0.5f, 0.4f, 0.3f, 1};
  m.diffuse = {0.8f, 0.4f, 0.2f, 0.6f};
  m.emissive = {0.05f, 0.1f, 0.0f, 0};
  d->SetMaterial(m);
  Light light;
  light.type = LightType::Directional;
  light.ambient = {0.1f, 0.1f, 0.1f, 1};
  light.diffuse = {1.0f, 1.0f, 0.5f, 1};
  light.direction = {0, 0, 2};  // into the screen; not unit length
  d->SetLight(0, light);
  d->LightEnable(0, true);

  const float ga = 32.0f / 255.0f;
  const float ndotl = 0.5f;
  auto expect = [&](const ColorValue& md, bool withNormal) {
    float r = m.ambient.r * (ga + 0.1f) + (withNormal ? md.r * 1.0f * ndotl : 0) + m.emissive.r;
    float g = m.ambient.g * (ga + 0.1f) + (withNormal ? md.g * 1.0f * ndotl : 0) + m.emissive.g;
    float b = m.ambient.b * (ga + 0.1f) + (withNormal ? md.b * 0.5f * ndotl : 0) + m.emissive.b;
    auto c = [&](float v) { return std::clamp(v, 0.0f, 1.0f) * md.a * 255.0f; };
    return std::array<float, 3>{c(r), c(g), c(b)};
  };
  auto draw = [&](std::uint32_t fvf, std::uint32_t color) {
    LitVertex tri[3] = {
        {-1, -1, 0, 0, 0, -1, color}, {0, 1, 0, 0, 0, -1, color}, {1, -1, 0, 0, 0, -1, color}};
    d->Clear(kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f, 0);
    d->SetFVF(fvf);
    // Vertices without a normal or colour are packed tighter.
    std::vector<unsigned char> bytes;
    for (const LitVertex& v : tri) {
      auto put = [&](const void* p, std::size_t n) {
        auto* b = static_cast<const unsigned char*>(p);
        bytes.insert(bytes.end(), b, b + n);
      };
      put(&v.x, 12);
      if (fvf & kFvfNormal) put(&v.nx, 12);
      if (fvf & kFvfDiffuse) put(&v.color, 4);
    }
    d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, bytes.data(), GetFVFVertexSize(fvf));
    return At(Frame(), 400, 300);
  };

  // Material diffuse (the vertex has no colour of its own).
  d->SetRenderState(RenderState::DiffuseMaterialSource, kMcsColor1);
  auto e = expect(m.diffuse, true);
  EXPECT_TRUE(RgbNear(draw(kFvfXyz | kFvfNormal, 0), e[0], e[1], e[2]));

  // COLOR1 takes the vertex colour, alpha included...
  std::uint32_t vertexColor = 0x40FF8000u;
  ColorValue vc{1.0f, 128.0f / 255, 0.0f, 64.0f / 255};
  e = expect(vc, true);
  EXPECT_TRUE(RgbNear(draw(kFvfXyz | kFvfNormal | kFvfDiffuse, vertexColor), e[0], e[1], e[2]));
  // ...MATERIAL ignores it.
  d->SetRenderState(RenderState::DiffuseMaterialSource, kMcsMaterial);
  e = expect(m.diffuse, true);
  EXPECT_TRUE(RgbNear(draw(kFvfXyz | kFvfNormal | kFvfDiffuse, vertexColor), e[0], e[1], e[2]));

  // No normal: no diffuse term.
  e = expect(m.diffuse, false);
  EXPECT_TRUE(RgbNear(draw(kFvfXyz, 0), e[0], e[1], e[2]));

  // Light off: ambient and emissive only.
  d->LightEnable(0, false);
  float off[3] = {m.ambient.r * ga + m.emissive.r, m.ambient.g * ga + m.emissive.g,
                  m.ambient.b * ga + m.emissive.b};
  EXPECT_TRUE(RgbNear(draw(kFvfXyz | kFvfNormal, 0), off[0] * 0.6f * 255, off[1] * 0.6f * 255,
                      off[2] * 0.6f * 255));

  // Lighting off: the vertex colour as is, or opaque white without one.
  d->SetRenderState(RenderState::Lighting, 0);
  EXPECT_TRUE(RgbNear(draw(kFvfXyz | kFvfNormal | kFvfDiffuse, 0xFF336699u), 0x33, 0x66, 0x99));
  EXPECT_TRUE(RgbNear(draw(kFvfXyz | kFvfNormal, 0), 255, 255, 255));
}

TEST_F(PipelineTest, ScaledNormalsLightEachFaceAtMostOncePerLight) {
  // A box face scaled by (0.7, 1.2, 0.7), as the game scales its creatures,
  // seen head on.
  // The normal goes through the inverse-transpose, so a face normal along z
  // comes out 1 / 0.7 long and one along y 1 / 1.2 long; neither is
  // renormalised.
  d->SetRenderState(RenderState::CullMode, kCullNone);
  d->SetRenderState(RenderState::Lighting, 1);
  d->SetRenderState(RenderState::Ambient, 0x00404040u);
  d->SetRenderState(RenderState::DiffuseMaterialSource, kMcsMaterial);
  d->SetTransform(TransformState::World, MatrixScaling(0.7f, 1.2f, 0.7f));
  d->SetTransform(TransformState::View, MatrixLookAtLH({0, 0, -5}, {0, 0, 0}, {0, 1, 0}));
  d->SetTransform(TransformState::Projection, MatrixPerspectiveFovLH(kPi / 2, 4.0f / 3, 1, 100));
  Material m;
  m.ambient = {0.2f, 0.2f, 0.2f, 1};
  m.diffuse = {0.5f, 0.4f, 0.3f, 1};
  d->SetMaterial(m);
  Light light;
  light.diffuse = {1.0f, 0.8f, 1.0f, 1};
  d->LightEnable(0, true);

  struct V {
    float x, y, z, nx, ny, nz;
  };
  auto draw = [&](Vec3 normal, Vec3 lightDirection) {
    light.direction = lightDirection;
    d->SetLight(0, light);
    V quad[4] = {{-1, -1, 0, normal.x, normal.y, normal.z},
                 {-1, 1, 0, normal.x, normal.y, normal.z},
                 {1, 1, 0, normal.x, normal.y, normal.z},
                 {1, -1, 0, normal.x, normal.y, normal.z}};
    d->Clear(kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f, 0);
    d->SetFVF(kFvfXyz | kFvfNormal);
    d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(V));
    return At(Frame(), 400, 300);
  };
  // Ma * Ga + Md * Ld * N.L, per channel, 0..255.
  const float ambient = 0.2f * 64.0f / 255.0f;
  auto lit = [&](float ndotl) {
    auto c = [&](float md, float ld) {
      return std::clamp(ambient + md * ld * ndotl, 0.0f, 1.0f) * 255.0f;
    };
    return std::array<float, 3>{c(0.5f, 1.0f), c(0.4f, 0.8f), c(0.3f, 1.0f)};
  };

  // The front face with the light straight on: N.L = 1 / 0.7 = 1.43.
  // Clamped per light the face gets (140, 94, 89); unclamped it would get
  // (195, 129, 122), far outside the tolerance of either.
  const auto clamped = lit(1.0f);
  const auto unclamped = lit(1.0f / 0.7f);
  ASSERT_GT(std::abs(clamped[0] - unclamped[0]), 40.0f);
  const auto& want = kClampDiffusePerLight ? clamped : unclamped;
  const auto& other = kClampDiffusePerLight ? unclamped : clamped;
  const std::uint32_t front = draw({0, 0, -1}, {0, 0, 1});
  EXPECT_TRUE(RgbNear(front, want[0], want[1], want[2]));
  EXPECT_FALSE(RgbNear(front, other[0], other[1], other[2]));

  // Light at 60 degrees to the same face: N.L = cos 60 / 0.7 = 0.71, below
  // one, so both settings keep the long normal's extra light (a unit normal
  // would give 0.5).
  const float s60 = std::sqrt(3.0f) / 2;
  auto e = lit(0.5f / 0.7f);
  EXPECT_TRUE(RgbNear(draw({0, 0, -1}, {s60, 0, 0.5f}), e[0], e[1], e[2]));

  // A top-face normal shrinks instead (1 / 1.2) and stays short.
  e = lit(1.0f / 1.2f);
  EXPECT_TRUE(RgbNear(draw({0, 1, 0}, {0, -1, 0}), e[0], e[1], e[2]));

  // Facing away lights nothing, however long the normal.
  e = lit(0.0f);
  EXPECT_TRUE(RgbNear(draw({0, 0, 1}, {0, 0, 1}), e[0], e[1], e[2]));
}

TEST_F(PipelineTest, OpsReadingAMissingTextureSelectTheDiffuseColour) {
  // Default stage 0: colour MODULATE(TEXTURE, CURRENT), alpha SELECTARG1(TEXTURE).
  d->SetRenderState(RenderState::AlphaBlendEnable, 1);
  d->SetRenderState(RenderState::SrcBlend, kBlendSrcAlpha);
  d->SetRenderState(RenderState::DestBlend, kBlendInvSrcAlpha);
  Quad(0, 0, 10, 10, 0x80FF8040u);
  // The start-up state of the game: alpha MODULATE(TEXTURE, DIFFUSE).
  d->SetTextureStageState(0, TextureStageState::AlphaOp, kTopModulate);
  d->SetTextureStageState(0, TextureStageState::AlphaArg2, kTaDiffuse);
  Quad(20, 0, 30, 10, 0x80FF8040u);
  // An op that never reads the texture is left alone.
  d->SetTextureStageState(0, TextureStageState::ColorOp, kTopSelectArg2);
  d->SetTextureStageState(0, TextureStageState::ColorArg2, kTaDiffuse);
  Quad(40, 0, 50, 10, 0xFF00FF00u);
  auto px = Frame();
  EXPECT_TRUE(RgbNear(At(px, 5, 5), 128, 64, 32));
  EXPECT_TRUE(RgbNear(At(px, 25, 5), 128, 64, 32));
  EXPECT_TRUE(RgbNear(At(px, 45, 5), 0, 255, 0, 0));
}

TEST_F(PipelineTest, TextureModulationAndAddressing) {
  // Top-left red, top-right green, bottom-left blue, bottom-right half-transparent white.
  Texture* t = MakeTexture(d, 2, 2, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x80FFFFFFu});
  ASSERT_NE(t, nullptr);
  UseTextureBlendedByItsAlpha(d, t);
  Quad(100, 100, 104, 104, 0xFF808080u);
  // Twice round the texture: wrapped, then clamped.
  Quad(200, 100, 208, 104, 0xFFFFFFFFu, 0, 0, 0, 2, 1);
  d->SetSamplerState(0, SamplerState::AddressU, kTaddressClamp);
  Quad(300, 100, 308, 104, 0xFFFFFFFFu, 0, 0, 0, 2, 1);
  auto px = Frame();
  EXPECT_TRUE(RgbNear(At(px, 100, 100), 128, 0, 0));
  EXPECT_TRUE(RgbNear(At(px, 101, 101), 128, 0, 0));
  EXPECT_TRUE(RgbNear(At(px, 102, 100), 0, 128, 0));
  EXPECT_TRUE(RgbNear(At(px, 100, 102), 0, 0, 128));
  EXPECT_TRUE(RgbNear(At(px, 103, 103), 64, 64, 64));  // 0.5 grey at alpha 0.5
  EXPECT_TRUE(RgbNear(At(px, 204, 100), 255, 0, 0));
  EXPECT_TRUE(RgbNear(At(px, 206, 100), 0, 255, 0));
  EXPECT_TRUE(RgbNear(At(px, 304, 100), 0, 255, 0));
  EXPECT_TRUE(RgbNear(At(px, 300, 100), 255, 0, 0));

  // New content after UnlockRect reaches the GL texture.
  t->LockRect()[0] = 0xFFFFFF00u;
  t->UnlockRect();
  d->SetRenderState(RenderState::AlphaBlendEnable, 0);
  Quad(100, 100, 104, 104, 0xFFFFFFFFu);
  EXPECT_TRUE(RgbNear(At(Frame(), 100, 100), 255, 255, 0));
  d->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(PipelineTest, PointAndLinearFiltering) {
  Texture* t = MakeTexture(d, 2, 1, {0xFF000000u, 0xFFFFFFFFu});
  ASSERT_NE(t, nullptr);
  d->SetTexture(0, t);
  d->SetSamplerState(0, SamplerState::AddressU, kTaddressClamp);
  Quad(100, 100, 104, 101, 0xFFFFFFFFu);
  d->SetSamplerState(0, SamplerState::MagFilter, kTexfLinear);
  d->SetSamplerState(0, SamplerState::MinFilter, kTexfLinear);
  Quad(200, 100, 204, 101, 0xFFFFFFFFu);
  auto px = Frame();
  EXPECT_EQ(Channel(At(px, 101, 100), 0), 0);
  EXPECT_EQ(Channel(At(px, 102, 100), 0), 255);
  // Pixel 202 samples halfway between the two texel centres.
  EXPECT_NEAR(Channel(At(px, 202, 100), 0), 128, 8);
  EXPECT_EQ(Channel(At(px, 200, 100), 0), 0);
  EXPECT_EQ(Channel(At(px, 203, 100), 0), 255);
  d->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(PipelineTest, PointSampledScreenQuadsTakeTheirOwnTexelEverywhere) {
  // Drawn 1:1 on screen vertices, pixel i samples exactly on the left edge of
  // texel i, which is texel i's; across the whole target, where the
  // interpolated coordinate drifts most, and with wrapping, where a hair
  // below 0 would fetch the last texel.
  auto code = [](int i) { return 0xFF000000u | static_cast<std::uint32_t>(i) * 0x010203u; };
  std::vector<std::uint32_t> row(800), column(600);
  for (int i = 0; i < 800; ++i) row[static_cast<std::size_t>(i)] = code(i);
  for (int i = 0; i < 600; ++i) column[static_cast<std::size_t>(i)] = code(i);
  Texture* wide = MakeTexture(d, 800, 1, row);
  Texture* tall = MakeTexture(d, 1, 600, column);
  ASSERT_NE(wide, nullptr);
  ASSERT_NE(tall, nullptr);
  d->SetTexture(0, wide);
  Quad(0, 100, 800, 101, 0xFFFFFFFFu);
  d->SetTexture(0, tall);
  Quad(300, 0, 301, 600, 0xFFFFFFFFu);
  d->SetTexture(0, nullptr);
  const auto px = Frame();
  int wrong = 0;
  for (int x = 0; x < 800; ++x) {
    if (x != 300 && At(px, x, 100) != code(x) && wrong++ < 5) ADD_FAILURE() << "column " << x;
  }
  for (int y = 0; y < 600; ++y) {
    if (At(px, 300, y) != code(y) && wrong++ < 10) ADD_FAILURE() << "row " << y;
  }
  EXPECT_EQ(wrong, 0);
  wide->Release();
  tall->Release();
}

TEST_F(PipelineTest, MipFilterAveragesMinifiedTexturesThatHaveAChain) {
  // A 4x4 black-and-white checkerboard drawn into a single pixel.
  std::vector<std::uint32_t> checker(16);
  for (int i = 0; i < 16; ++i) checker[i] = ((i + i / 4) & 1) ? 0xFFFFFFFFu : 0xFF000000u;
  Texture* t = MakeTexture(d, 4, 4, checker);
  Texture* single = d->CreateTexture(4, 4, 1, Usage::Default, 4, 4);
  ASSERT_NE(t, nullptr);
  ASSERT_NE(single, nullptr);
  EXPECT_EQ(t->GetLevelCount(), 3u);
  EXPECT_EQ(single->GetLevelCount(), 1u);
  std::copy(checker.begin(), checker.end(), single->LockRect());
  single->UnlockRect();
  d->SetTexture(0, t);
  Quad(10, 10, 11, 11, 0xFFFFFFFFu);  // no mip filter: one texel
  d->SetSamplerState(0, SamplerState::MipFilter, kTexfLinear);
  Quad(20, 10, 21, 11, 0xFFFFFFFFu);  // the smallest level: the average
  // A single level under a mip filter is sampled as without one.
  d->SetTexture(0, single);
  Quad(30, 10, 31, 11, 0xFFFFFFFFu);
  auto px = Frame();
  int plain = Channel(At(px, 10, 10), 0);
  EXPECT_TRUE(plain == 0 || plain == 255) << plain;
  EXPECT_NEAR(Channel(At(px, 20, 10), 0), 128, 3);
  EXPECT_EQ(At(px, 30, 10), At(px, 10, 10));

  // Filled again once drawn: every level takes the new picture, whether GL
  // made the chain's storage in one piece or level by level.
  std::uint32_t* again = t->LockRect();
  ASSERT_NE(again, nullptr);
  for (int i = 0; i < 16; ++i) again[i] = (i & 1) ? 0xFF0000FFu : 0xFFFF0000u;
  t->UnlockRect();
  d->SetTexture(0, t);
  Quad(20, 10, 21, 11, 0xFFFFFFFFu);
  d->SetSamplerState(0, SamplerState::MipFilter, kTexfNone);
  Quad(40, 10, 44, 14, 0xFFFFFFFFu);
  px = Frame();
  EXPECT_NEAR(Channel(At(px, 20, 10), 0), 128, 3);  // blue and red averaged
  EXPECT_EQ(Channel(At(px, 20, 10), 8), 0);
  EXPECT_NEAR(Channel(At(px, 20, 10), 16), 128, 3);
  EXPECT_EQ(At(px, 40, 10), 0xFFFF0000u);
  EXPECT_EQ(At(px, 41, 10), 0xFF0000FFu);
  d->SetTexture(0, nullptr);
  t->Release();
  single->Release();
}

TEST_F(PipelineTest, ATextureStoredTrimmedSamplesAsTheWholePaddedOne) {
  // A 37 x 23 picture padded to 64 x 32 in a single level, as the sprites'
  // pictures are loaded, once stored whole and once with only its content:
  // every way the game or a test samples it gives the same pixels, mip
  // filter or not. Draws that wrap store it whole first.
  constexpr std::uint32_t kW = 64, kH = 32, kCw = 37, kCh = 23;
  std::vector<std::uint32_t> padded(kW * kH, 0u);
  std::mt19937 rng(5);
  for (std::uint32_t y = 0; y < kCh; ++y)
    for (std::uint32_t x = 0; x < kCw; ++x) padded[y * kW + x] = static_cast<std::uint32_t>(rng());
  Texture* whole = d->CreateTexture(kW, kH, 1, Usage::Default, kW, kH);
  Texture* trimmed = d->CreateTexture(kW, kH, 1, Usage::Default, kCw, kCh);
  ASSERT_NE(whole, nullptr);
  ASSERT_NE(trimmed, nullptr);
  for (Texture* t : {whole, trimmed}) {
    std::copy(padded.begin(), padded.end(), t->LockRect());
    t->UnlockRect();
  }

  auto draw = [&](Texture* t) {
    d->Clear(kClearTarget, 0xFF203040u, 1.0f, 0);
    UseTextureBlendedByItsAlpha(d, t);
    d->SetSamplerState(0, SamplerState::AddressU, kTaddressClamp);
    d->SetSamplerState(0, SamplerState::AddressV, kTaddressClamp);
    // 1:1 and point sampled, the picture and the padding past it.
    Quad(10, 10, 74, 42, 0xFFFFFFFFu);
    // Magnified and linear, past both edges, as a scaled sprite reads it.
    d->SetSamplerState(0, SamplerState::MagFilter, kTexfLinear);
    d->SetSamplerState(0, SamplerState::MinFilter, kTexfLinear);
    Quad(100, 10, 100 + 3.3f * kW, 10 + 3.3f * kH, 0xFFFFFFFFu, 0, -0.1f, -0.1f, 1.1f, 1.2f);
    // Minified, and off the texel grid, with and without a mip filter.
    Quad(320, 10.37f, 341.6f, 21.1f, 0xC0FFFFFFu);
    d->SetSamplerState(0, SamplerState::MipFilter, kTexfLinear);
    Quad(320, 30, 335.5f, 38.25f, 0xFFFFFFFFu);
    d->SetSamplerState(0, SamplerState::MipFilter, kTexfNone);
    d->SetSamplerState(0, SamplerState::AddressU, 4);  // BORDER
    Quad(400, 10, 500, 60, 0xFFFFFFFFu, 0, -0.5f, 0, 1.5f, 1);
    const auto clamped = Frame();
    // Wrapped: reads the padding itself.
    d->Clear(kClearTarget, 0xFF203040u, 1.0f, 0);
    d->SetSamplerState(0, SamplerState::AddressU, kTaddressWrap);
    d->SetSamplerState(0, SamplerState::AddressV, kTaddressWrap);
    Quad(10, 100, 300, 250, 0xFFFFFFFFu, 0, -0.7f, -0.3f, 1.9f, 1.4f);
    d->SetSamplerState(0, SamplerState::MipFilter, kTexfLinear);
    Quad(320, 100, 335.5f, 108.25f, 0xFFFFFFFFu);
    const auto wrapped = Frame();
    d->SetState(DeviceState{});
    return std::make_pair(clamped, wrapped);
  };
  const auto [wholeClamped, wholeWrapped] = draw(whole);
  const auto [trimmedClamped, trimmedWrapped] = draw(trimmed);
  int differ = 0;
  for (std::size_t i = 0; i < wholeClamped.size(); ++i) {
    if (wholeClamped[i] != trimmedClamped[i] && differ++ < 5)
      ADD_FAILURE() << "clamped: pixel " << i % 800 << ", " << i / 800 << ": " << std::hex
                    << trimmedClamped[i] << " for " << wholeClamped[i];
    if (wholeWrapped[i] != trimmedWrapped[i] && differ++ < 5)
      ADD_FAILURE() << "wrapped: pixel " << i % 800 << ", " << i / 800 << ": " << std::hex
                    << trimmedWrapped[i] << " for " << wholeWrapped[i];
  }
  EXPECT_EQ(differ, 0);

  // Locked again, it reads back the whole padded picture.
  const std::uint32_t* back = trimmed->LockRect();
  EXPECT_TRUE(std::equal(padded.begin(), padded.end(), back));
  trimmed->UnlockRect();
  whole->Release();
  trimmed->Release();
}

// Blend vertex: position, one weight, colour (XYZB1 | DIFFUSE).
struct BlendVertex {
  float x, y, z, weight;
  std::uint32_t color;
};

TEST_F(PipelineTest, TwoMatrixVertexBlending) {
  UsePixelOrtho(d);
  d->SetRenderState(RenderState::CullMode, kCullNone);
  d->SetRenderState(RenderState::VertexBlend, kVbf1Weights);
  d->SetTransform(WorldMatrix(0), MatrixTranslation(100, 100, 0));
  d->SetTransform(WorldMatrix(1), MatrixTranslation(300, 200, 0));
  d->SetFVF(kFvfXyzB1 | kFvfDiffuse);

  // One weight for all: 0.25 of World 0 and 0.75 of World 1 = +(250, 175).
  BlendVertex quad[4] = {{0, 0, 0, 0.25f, 0xFFFFFFFFu},
                         {20, 0, 0, 0.25f, 0xFFFFFFFFu},
                         {20, 20, 0, 0.25f, 0xFFFFFFFFu},
                         {0, 20, 0, 0.25f, 0xFFFFFFFFu}};
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(BlendVertex));
  Coverage c = Cover(Frame(), 0xFFFFFFFFu);
  EXPECT_EQ(c.count, 400);
  EXPECT_EQ(c.left, 250);
  EXPECT_EQ(c.top, 175);

  // Per-vertex weights: the left edge follows World 0 (weight 1), the right
  // edge World 1 (weight 0), giving the rectangle (100,100)-(340,140).
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  d->SetTransform(WorldMatrix(1), MatrixTranslation(300, 100, 0));
  BlendVertex mixed[4] = {{0, 0, 0, 1.0f, 0xFFFFFFFFu},
                          {40, 0, 0, 0.0f, 0xFFFFFFFFu},
                          {40, 40, 0, 0.0f, 0xFFFFFFFFu},
                          {0, 40, 0, 1.0f, 0xFFFFFFFFu}};
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, mixed, sizeof(BlendVertex));
  c = Cover(Frame(), 0xFFFFFFFFu);
  EXPECT_EQ(c.left, 100);
  EXPECT_EQ(c.right, 339);
  EXPECT_EQ(c.top, 100);
  EXPECT_EQ(c.bottom, 139);
  EXPECT_EQ(c.count, 240 * 40);

  // Blending off: World 0 only, the weights are ignored.
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  d->SetRenderState(RenderState::VertexBlend, kVbfDisable);
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(BlendVertex));
  c = Cover(Frame(), 0xFFFFFFFFu);
  EXPECT_EQ(c.left, 100);
  EXPECT_EQ(c.top, 100);
  EXPECT_EQ(c.count, 400);
}

TEST_F(PipelineTest, BlendedNormalsLightWithTheirOwnMatrices) {
  // Two bones: identity and a 180-degree turn about y, so the blended normal
  // runs from facing the light (all bone 0) to facing away (all bone 1).
  struct V {
    float x, y, z, w, nx, ny, nz;
  };
  d->SetRenderState(RenderState::CullMode, kCullNone);
  d->SetRenderState(RenderState::Lighting, 1);
  d->SetRenderState(RenderState::VertexBlend, kVbf1Weights);
  d->SetTransform(TransformState::Projection, MatrixOrthoOffCenterLH(0, 800, 600, 0, -10, 10));
  d->SetTransform(WorldMatrix(0), MatrixTranslation(100, 100, 0));
  d->SetTransform(WorldMatrix(1), MatrixRotationY(kPi) * MatrixTranslation(100, 100, 0));
  Material m;
  m.diffuse = {1, 1, 1, 1};
  m.ambient = {1, 1, 1, 1};
  d->SetMaterial(m);
  d->SetRenderState(RenderState::Ambient, 0x00404040u);
  Light light;
  light.diffuse = {1, 1, 1, 1};
  light.direction = {0, 0, 1};
  d->SetLight(0, light);
  d->LightEnable(0, true);
  d->SetFVF(kFvfXyzB1 | kFvfNormal);
  auto draw = [&](float weight) {
    V tri[3] = {{-20, -20, 0, weight, 0, 0, -1},
                {20, -20, 0, weight, 0, 0, -1},
                {0, 20, 0, weight, 0, 0, -1}};
    d->Clear(kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f, 0);
    d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, tri, sizeof(V));
    return At(Frame(), 100, 100);
  };
  EXPECT_TRUE(RgbNear(draw(1.0f), 255, 255, 255));
  EXPECT_TRUE(RgbNear(draw(0.25f), 0x40, 0x40, 0x40));
  EXPECT_TRUE(RgbNear(draw(0.0f), 0x40, 0x40, 0x40));
  EXPECT_TRUE(RgbNear(draw(0.75f), 0x40 + 0.5 * 255, 0x40 + 0.5 * 255, 0x40 + 0.5 * 255));
}

TEST_F(PipelineTest, TransformedGeometryMapsIntoTheViewport) {
  UsePixelOrtho(d);
  d->SetRenderState(RenderState::CullMode, kCullNone);
  // The whole clip square lands on the viewport, its top on the viewport's top.
  d->SetTransform(TransformState::Projection, MatrixOrthoOffCenterLH(0, 200, 150, 0, 0, 1));
  d->SetViewport(Viewport{100, 60, 200, 150, 0, 1});
  ColorVertex quad[4] = {{0, 0, 0, 0xFFFFFFFFu},
                         {200, 0, 0, 0xFFFFFFFFu},
                         {200, 150, 0, 0xFFFFFFFFu},
                         {0, 150, 0, 0xFFFFFFFFu}};
  ColorVertex corner[4] = {{0, 0, 0, 0xFFFF0000u},
                           {10, 0, 0, 0xFFFF0000u},
                           {10, 5, 0, 0xFFFF0000u},
                           {0, 5, 0, 0xFFFF0000u}};
  d->SetFVF(kFvfXyz | kFvfDiffuse);
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(ColorVertex));
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, corner, sizeof(ColorVertex));
  auto px = Frame();
  Coverage white = Cover(px, 0xFFFFFFFFu);
  Coverage red = Cover(px, 0xFFFF0000u);
  EXPECT_EQ(white.count + red.count, 200 * 150);
  EXPECT_EQ(white.left, 100);
  EXPECT_EQ(white.right, 299);
  EXPECT_EQ(white.bottom, 209);
  EXPECT_EQ(red.count, 50);
  EXPECT_EQ(red.left, 100);
  EXPECT_EQ(red.top, 60);
}

TEST_F(PipelineTest, DepthTestAndWrites) {
  // Less-equal against the cleared depth of 1.
  Quad(0, 0, 10, 10, 0xFFFF0000u, 0.5f);
  Quad(0, 0, 10, 10, 0xFF00FF00u, 0.7f);
  // Always passes.
  Quad(20, 0, 30, 10, 0xFFFF0000u, 0.5f);
  d->SetRenderState(RenderState::ZFunc, kCmpAlways);
  Quad(20, 0, 30, 10, 0xFF00FF00u, 0.7f);
  d->SetRenderState(RenderState::ZFunc, kCmpLessEqual);
  // Nothing written: the farther quad still passes.
  d->SetRenderState(RenderState::ZWriteEnable, 0);
  Quad(40, 0, 50, 10, 0xFFFF0000u, 0.5f);
  d->SetRenderState(RenderState::ZWriteEnable, 1);
  Quad(40, 0, 50, 10, 0xFF00FF00u, 0.7f);
  // Depth off.
  Quad(60, 0, 70, 10, 0xFFFF0000u, 0.5f);
  d->SetRenderState(RenderState::ZEnable, 0);
  Quad(60, 0, 70, 10, 0xFF00FF00u, 0.7f);
  d->SetRenderState(RenderState::ZEnable, 1);
  // Clear to a nearer depth.
  d->Clear(kClearZBuffer, 0, 0.6f, 0);
  Quad(80, 0, 90, 10, 0xFF0000FFu, 0.7f);
  Quad(100, 0, 110, 10, 0xFF0000FFu, 0.5f);
  auto px = Frame();
  EXPECT_EQ(At(px, 5, 5), 0xFFFF0000u);
  EXPECT_EQ(At(px, 25, 5), 0xFF00FF00u);
  EXPECT_EQ(At(px, 45, 5), 0xFF00FF00u);
  EXPECT_EQ(At(px, 65, 5), 0xFF00FF00u);
  EXPECT_EQ(At(px, 85, 5), 0xFF000000u);
  EXPECT_EQ(At(px, 105, 5), 0xFF0000FFu);
}

// A clockwise and a counter-clockwise triangle (as seen on screen), both in
// world space and as screen vertices.
void DrawWindings(Device* d) {
  UsePixelOrtho(d);
  ColorVertex cw[3] = {
      {100, 100, 0, 0xFFFFFFFFu}, {140, 100, 0, 0xFFFFFFFFu}, {100, 140, 0, 0xFFFFFFFFu}};
  ColorVertex ccw[3] = {
      {200, 100, 0, 0xFFFFFFFFu}, {200, 140, 0, 0xFFFFFFFFu}, {240, 100, 0, 0xFFFFFFFFu}};
  d->SetFVF(kFvfXyz | kFvfDiffuse);
  d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, cw, sizeof(ColorVertex));
  d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, ccw, sizeof(ColorVertex));
  ScreenVertex scw[3] = {{10, 10, 0, 1, 0xFFFFFFFFu, 0, 0},
                         {40, 10, 0, 1, 0xFFFFFFFFu, 0, 0},
                         {10, 40, 0, 1, 0xFFFFFFFFu, 0, 0}};
  ScreenVertex sccw[3] = {{50, 10, 0, 1, 0xFFFFFFFFu, 0, 0},
                          {50, 40, 0, 1, 0xFFFFFFFFu, 0, 0},
                          {80, 10, 0, 1, 0xFFFFFFFFu, 0, 0}};
  d->SetFVF(kScreenFvf);
  d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, scw, sizeof(ScreenVertex));
  d->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, sccw, sizeof(ScreenVertex));
}

TEST_F(PipelineTest, CullModes) {
  struct Case {
    std::uint32_t mode;
    bool cwShown, ccwShown;
  };
  for (Case k :
       {Case{kCullCCW, true, false}, Case{kCullCW, false, true}, Case{kCullNone, true, true}}) {
    SCOPED_TRACE(k.mode);
    d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
    d->SetRenderState(RenderState::CullMode, k.mode);
    DrawWindings(d);
    auto px = Frame();
    EXPECT_EQ(At(px, 110, 110) == 0xFFFFFFFFu, k.cwShown);
    EXPECT_EQ(At(px, 210, 110) == 0xFFFFFFFFu, k.ccwShown);
    EXPECT_EQ(At(px, 15, 15) == 0xFFFFFFFFu, k.cwShown);
    EXPECT_EQ(At(px, 55, 15) == 0xFFFFFFFFu, k.ccwShown);
  }
}

TEST_F(PipelineTest, StateRestoresWhatWasSaved) {
  d->SetRenderState(RenderState::AlphaBlendEnable, 0);
  d->SetRenderState(RenderState::Ambient, 0x00123456u);
  d->SetTransform(WorldMatrix(2), MatrixTranslation(1, 2, 3));
  Texture* t = MakeTexture(d, 1, 1, {0xFF00FF00u});
  d->SetTexture(0, t);
  DeviceState saved = d->State();

  d->SetRenderState(RenderState::AlphaBlendEnable, 1);
  d->SetRenderState(RenderState::SrcBlend, kBlendOne);
  d->SetRenderState(RenderState::DestBlend, kBlendOne);
  d->SetRenderState(RenderState::Ambient, 0);
  d->SetTransform(WorldMatrix(2), Matrix::Identity());
  d->SetTexture(0, nullptr);
  d->SetState(saved);
  t->Release();  // the device still holds the texture through the restored state

  EXPECT_EQ(d->GetRenderState(RenderState::AlphaBlendEnable), 0u);
  EXPECT_EQ(d->GetRenderState(RenderState::Ambient), 0x00123456u);
  EXPECT_EQ(d->GetTransform(WorldMatrix(2)), MatrixTranslation(1, 2, 3));
  ASSERT_EQ(d->GetTexture(0), t);
  d->Clear(kClearTarget, 0xFF0000FFu, 1.0f, 0);
  Quad(0, 0, 10, 10, 0xFFFFFFFFu);
  // Drawn with the restored state: textured green, not added to the blue.
  EXPECT_EQ(At(Frame(), 5, 5), 0xFF00FF00u);
}

TEST_F(PipelineTest, IndexedDrawingFromBuffers) {
  VertexBuffer* vb = d->CreateVertexBuffer(4 * sizeof(ScreenVertex), kScreenFvf);
  IndexBuffer* ib = d->CreateIndexBuffer(6);
  auto fill = [&](float l, float t) {
    auto* v = static_cast<ScreenVertex*>(vb->Lock());
    v[0] = {l, t, 0, 1, 0xFFFFFFFFu, 0, 0};
    v[1] = {l + 10, t, 0, 1, 0xFFFFFFFFu, 0, 0};
    v[2] = {l + 10, t + 10, 0, 1, 0xFFFFFFFFu, 0, 0};
    v[3] = {l, t + 10, 0, 1, 0xFFFFFFFFu, 0, 0};
    vb->Unlock();
  };
  fill(50, 60);
  const std::uint32_t idx[6] = {0, 1, 2, 0, 2, 3};
  std::copy(idx, idx + 6, ib->Lock());
  ib->Unlock();
  d->DrawIndexedPrimitive(vb, ib, PrimitiveType::TriangleList, 0, 2);
  Coverage c = Cover(Frame(), 0xFFFFFFFFu);
  EXPECT_EQ(c.count, 100);
  EXPECT_EQ(c.left, 50);
  EXPECT_EQ(c.top, 60);

  // New vertices after Unlock; only the second triangle (start index 3).
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  fill(200, 100);
  d->DrawIndexedPrimitive(vb, ib, PrimitiveType::TriangleList, 3, 1);
  auto px = Frame();
  EXPECT_EQ(At(px, 201, 108), 0xFFFFFFFFu);
  EXPECT_EQ(At(px, 208, 101), 0xFF000000u);
  EXPECT_EQ(Cover(px, 0xFFFFFFFFu).left, 200);

  // Ranges past either buffer draw nothing (and read nothing).
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  d->DrawIndexedPrimitive(vb, ib, PrimitiveType::TriangleList, 3, 2);
  d->DrawIndexedPrimitive(vb, ib, PrimitiveType::TriangleList, 0xFFFFFFF0u, 1);
  ib->Lock()[5] = 4;
  ib->Unlock();
  d->DrawIndexedPrimitive(vb, ib, PrimitiveType::TriangleList, 0, 2);
  EXPECT_EQ(Cover(Frame(), 0xFFFFFFFFu).count, 0);
  vb->Release();
  ib->Release();
}

TEST_F(PipelineTest, MalformedDrawsDrawNothing) {
  ScreenVertex q[4] = {};
  // Stride smaller than the format, no vertices, no position in the format.
  d->SetFVF(kScreenFvf);
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, q, 8);
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, nullptr, sizeof(ScreenVertex));
  d->SetFVF(kFvfDiffuse);
  d->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, q, sizeof(ScreenVertex));
  d->DrawIndexedPrimitive(nullptr, nullptr, PrimitiveType::TriangleList, 0, 1);
  EXPECT_EQ(Cover(Frame(), 0xFF000000u).count, 800 * 600);
  EXPECT_EQ(d->CreateTexture(0, 4, Usage::Default), nullptr);
  EXPECT_EQ(d->CreateTexture(1u << 20, 4, Usage::Default), nullptr);
}

}  // namespace
}  // namespace gltest
