// The sprite on the GL device, checked on pixels read back.
#include <unistd.h>

#include <filesystem>
#include <random>

#include "engine/image.h"
#include "engine/sprite.h"
#include "engine/texture_loader.h"
#include "gl/gl_world.h"

namespace gltest {
namespace {

class SpriteGlTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (!d) return;
    ASSERT_TRUE(CreateSprite(d, &sprite));
  }
  void TearDown() override {
    if (sprite) sprite->Release();
    for (Texture* t : textures) t->Release();
    GlTest::TearDown();
  }

  Texture* MakeTexture(std::uint32_t w, std::uint32_t h, const std::vector<std::uint32_t>& px) {
    Texture* t = d->CreateTexture(w, h, Usage::Default);
    std::uint32_t* dst = t->LockRect();
    std::copy(px.begin(), px.end(), dst);
    t->UnlockRect();
    textures.push_back(t);
    return t;
  }
  Texture* Solid(std::uint32_t w, std::uint32_t h, std::uint32_t color) {
    return MakeTexture(w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, color));
  }

  Sprite* sprite = nullptr;
  std::vector<Texture*> textures;
};

// Pixels differing from `background` and the box they lie in.
struct Box {
  int count = 0, left = 800, top = 600, right = -1, bottom = -1;
};
Box Covered(const std::vector<std::uint32_t>& px, std::uint32_t background) {
  Box b;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      if (px[static_cast<std::size_t>(y) * 800 + static_cast<std::size_t>(x)] == background)
        continue;
      ++b.count;
      b.left = std::min(b.left, x);
      b.right = std::max(b.right, x);
      b.top = std::min(b.top, y);
      b.bottom = std::max(b.bottom, y);
    }
  }
  return b;
}

TEST_F(SpriteGlTest, ImageAtAnIntegerPositionLandsTexelForTexel) {
  // Neighbouring texels as different as can be, so any sampling between
  // texels would show.
  std::mt19937 rng(7);
  std::vector<std::uint32_t> px(16 * 8);
  for (std::uint32_t& p : px) p = 0xFF000000u | (rng() & 0xFFFFFFu);
  for (std::size_t i = 0; i < px.size(); i += 2) px[i] ^= 0x00FFFFFFu;
  Texture* t = MakeTexture(16, 8, px);

  ASSERT_TRUE(sprite->Begin(kSpriteAlphaBlend));
  sprite->SetTransform(MatrixTranslation(100, 50, 0));
  sprite->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFFu);
  // Part of the texture, placed through the position instead.
  const Rect src{3, 2, 11, 7};
  const Vec3 pos{300, 400, 0};
  sprite->SetTransform(Matrix::Identity());
  sprite->Draw(t, &src, nullptr, &pos, 0xFFFFFFFFu);
  ASSERT_TRUE(sprite->End());
  const auto frame = Frame();

  int wrong = 0;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint32_t want = px[static_cast<std::size_t>(y) * 16 + static_cast<std::size_t>(x)];
      if (At(frame, 100 + x, 50 + y) != want && wrong++ < 5) {
        ADD_FAILURE() << "texel " << x << "," << y << ": " << std::hex << At(frame, 100 + x, 50 + y)
                      << " want " << want;
      }
    }
  }
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 8; ++x) {
      const std::uint32_t want =
          px[static_cast<std::size_t>(y + 2) * 16 + static_cast<std::size_t>(x + 3)];
      if (At(frame, 300 + x, 400 + y) != want && wrong++ < 10) {
        ADD_FAILURE() << "part texel " << x << "," << y << ": " << std::hex
                      << At(frame, 300 + x, 400 + y) << " want " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  // Nothing but those two rectangles was touched.
  EXPECT_EQ(Covered(frame, 0xFF000000u).count, 16 * 8 + 8 * 5);

  // Under a viewport off the origin (odd, so a lost or doubled origin
  // shows) positions are still target pixels.
  d->Clear(kClearTarget, 0xFF000000u, 1.0f, 0);
  d->SetViewport(Viewport{37, 21, 500, 400, 0, 1});
  ASSERT_TRUE(sprite->Begin(kSpriteAlphaBlend));
  sprite->SetTransform(MatrixTranslation(100, 50, 0));
  sprite->Draw(t, nullptr, nullptr, nullptr, 0xFFFFFFFFu);
  ASSERT_TRUE(sprite->End());
  const auto offset = Frame();
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint32_t want = px[static_cast<std::size_t>(y) * 16 + static_cast<std::size_t>(x)];
      if (At(offset, 100 + x, 50 + y) != want && wrong++ < 5) {
        ADD_FAILURE() << "texel " << x << "," << y << " in the viewport: " << std::hex
                      << At(offset, 100 + x, 50 + y) << " want " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(Covered(offset, 0xFF000000u).count, 16 * 8);
}

TEST_F(SpriteGlTest, PngLoadedIntoALargerTextureDrawsItsImageOnly) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("poromeko_sprite_gl_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "img.png").string();
  const std::vector<std::uint32_t> img = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,
                                          0xFFFFFFFFu, 0xFF808080u, 0xFF102030u};
  ASSERT_TRUE(SavePng(path, 3, 2, img.data()));
  Texture* t = nullptr;
  ASSERT_TRUE(CreateTextureFromFileEx(d, path, 4, 4, &t));
  textures.push_back(t);
  std::filesystem::remove_all(dir);

  ASSERT_TRUE(sprite->Begin(kSpriteAlphaBlend));
  const Rect whole{0, 0, 3, 2};
  sprite->SetTransform(MatrixTranslation(640, 480, 0));
  sprite->Draw(t, &whole, nullptr, nullptr, 0xFFFFFFFFu);
  ASSERT_TRUE(sprite->End());
  const auto frame = Frame();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At(frame, 640 + x, 480 + y), img[y * 3 + x]) << x << y;
  const Box box = Covered(frame, 0xFF000000u);
  EXPECT_EQ(box.count, 6);
}

TEST_F(SpriteGlTest, TransformAndCentrePlaceTheQuad) {
  Texture* t = Solid(4, 4, 0xFFFFFFFFu);
  ASSERT_TRUE(sprite->Begin(kSpriteAlphaBlend));
  // Scaled by 2 about its centre (2, 2), then moved to (200, 100):
  // x 196..203, y 96..103.
  sprite->SetTransform(MatrixScaling(2, 2, 1) * MatrixTranslation(200, 100, 0));
  const Vec3 centre{2, 2, 0};
  sprite->Draw(t, nullptr, &centre, nullptr, 0xFF00FF00u);
  ASSERT_TRUE(sprite->End());
  const Box box = Covered(Frame(), 0xFF000000u);
  EXPECT_EQ(box.count, 64);
  EXPECT_EQ(box.left, 196);
  EXPECT_EQ(box.right, 203);
  EXPECT_EQ(box.top, 96);
  EXPECT_EQ(box.bottom, 103);
}

TEST_F(SpriteGlTest, ColourModulatesTheTexelAndAlphaBlends) {
  d->Clear(kClearTarget, 0xFF0000FFu, 1.0f, 0);
  // Left half (200, 100, 50) opaque, right half fully transparent.
  std::vector<std::uint32_t> px(8 * 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) px[y * 8 + x] = x < 4 ? 0xFFC86432u : 0x00FFFFFFu;
  Texture* t = MakeTexture(8, 4, px);
  ASSERT_TRUE(sprite->Begin(kSpriteAlphaBlend));
  sprite->SetTransform(MatrixTranslation(20, 30, 0));
  sprite->Draw(t, nullptr, nullptr, nullptr, 0xFFFF80FFu);  // halves green
  sprite->SetTransform(MatrixTranslation(20, 60, 0));
  sprite->Draw(t, nullptr, nullptr, nullptr, 0x80FFFFFFu);  // half transparent
  ASSERT_TRUE(sprite->End());
  const auto frame = Frame();
  EXPECT_TRUE(RgbNear(At(frame, 21, 31), 200, 50, 50));
  EXPECT_EQ(At(frame, 26, 31), 0xFF0000FFu);  // transparent texels leave the background
  EXPECT_TRUE(RgbNear(At(frame, 21, 61), 200 * 0.5, 100 * 0.5, 50 * 0.5 + 255 * 0.5));
}

TEST_F(SpriteGlTest, SpritesLandAboveDeviceDrawsMadeBeforeEnd) {
  Texture* red = Solid(4, 4, 0xFFFF0000u);
  ASSERT_TRUE(sprite->Begin(kSpriteAlphaBlend));
  sprite->SetTransform(MatrixTranslation(10, 10, 0));
  sprite->Draw(red, nullptr, nullptr, nullptr, 0xFFFFFFFFu);
  // A green screen quad drawn directly, after the Draw call, covering it.
  d->SetTexture(0, nullptr);
  d->SetRenderState(RenderState::AlphaBlendEnable, 0);
  Quad(0, 0, 40, 40, 0xFF00FF00u);
  ASSERT_TRUE(sprite->End());
  const auto frame = Frame();
  EXPECT_EQ(At(frame, 11, 11), 0xFFFF0000u);
  EXPECT_EQ(At(frame, 30, 30), 0xFF00FF00u);
  // The state before Begin is back.
  EXPECT_EQ(d->State().fvf, 0u);
  EXPECT_EQ(d->State().lighting, 1u);
}

}  // namespace
}  // namespace gltest
