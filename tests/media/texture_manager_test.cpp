#include "media/texture_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>

#include "engine/image.h"
#include "media/paths.h"
#include "platform/null/device_null.h"

namespace media {
namespace {

namespace fs = std::filesystem;
using platform::Rect;

// The cache keys by the address of the path constant, so the test files get
// path variables of their own, filled in once the temp directory is known.
constexpr int kThreadFiles = 24;
char gSmallPath[512];
char gOtherSmallPath[512];  // same text as gSmallPath, different key
char gMissingPath[512];
char gThreadPaths[kThreadFiles][512];

class TextureManagerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("poromeko_texman_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // 5 x 3, each texel its own value.
    std::vector<std::uint32_t> px(15);
    for (std::uint32_t i = 0; i < px.size(); ++i) px[i] = 0xFF000000u | (i + 1);
    const std::string small = (dir_ / "small.png").string();
    ASSERT_TRUE(engine::SavePng(small, 5, 3, px.data()));
    std::snprintf(gSmallPath, sizeof gSmallPath, "%s", small.c_str());
    std::snprintf(gOtherSmallPath, sizeof gOtherSmallPath, "%s", small.c_str());
    std::snprintf(gMissingPath, sizeof gMissingPath, "%s", (dir_ / "missing.png").c_str());
    for (int i = 0; i < kThreadFiles; ++i) {
      // Every third one missing: failed loads race with draws too.
      const std::string p = (dir_ / ("t" + std::to_string(i) + ".png")).string();
      if (i % 3 != 0) {
        ASSERT_TRUE(engine::SavePng(p, 5, 3, px.data()));
      }
      std::snprintf(gThreadPaths[i], sizeof gThreadPaths[i], "%s", p.c_str());
    }
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void SetUp() override {
    device_.RecordDraws(true);
    textures_ = std::make_unique<TextureManager>(&device_);
    sprite_ = std::make_unique<SharedSprite>(&device_);
    ASSERT_NE(Sprite(), nullptr);
  }
  void TearDown() override {
    if (Sprite() && Sprite()->IsBegun()) Sprite()->End();
    sprite_.reset();
    textures_.reset();
  }

  // The cache's operations, as the game calls them on the shell's cache.
  void LoadTexture(const char* path, std::uint32_t width, std::uint32_t height) {
    textures_->LoadTexture(path, width, height);
  }
  TextureRecord* FindTexture(const char* path) { return textures_->FindTexture(path); }
  void UnloadTexture(const char* path) { textures_->UnloadTexture(path); }
  bool DrawTexture(engine::Sprite& sprite, const char* path, float x, float y, float alpha) {
    return textures_->DrawTexture(sprite, path, x, y, alpha);
  }
  void DrawTexturePart(engine::Sprite& sprite, const char* path, float x, float y, float alpha,
                       std::int32_t left, std::int32_t top, std::int32_t right,
                       std::int32_t bottom) {
    textures_->DrawTexturePart(sprite, path, x, y, alpha, left, top, right, bottom);
  }
  void ReleaseAllTextures() { textures_->ReleaseAllTextures(); }
  engine::Sprite* Sprite() const { return sprite_ ? sprite_->Get() : nullptr; }

  // Draws between the sprite's Begin and End and returns the emitted quads.
  template <typename F>
  std::vector<engine::SpriteQuad> DrawnBy(F&& draw) {
    engine::Sprite* sprite = Sprite();
    EXPECT_TRUE(sprite->Begin(engine::kSpriteAlphaBlend));
    draw();
    EXPECT_TRUE(sprite->End());
    return sprite->LastBatch();
  }

  static inline fs::path dir_;
  platform::NullDevice device_;
  std::unique_ptr<TextureManager> textures_;
  std::unique_ptr<SharedSprite> sprite_;
};

TEST_F(TextureManagerTest, LoadMakesAPowerOfTwoTextureWithTheImageTopLeft) {
  LoadTexture(gSmallPath, 5, 3);
  TextureRecord* r = FindTexture(gSmallPath);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->width, 5u);
  EXPECT_EQ(r->height, 3u);
  EXPECT_EQ(r->texWidth, 8u);
  EXPECT_EQ(r->texHeight, 4u);
  ASSERT_NE(r->texture, nullptr);
  EXPECT_EQ(r->texture->Width(), 8u);
  EXPECT_EQ(r->texture->Height(), 4u);
  const std::uint32_t* t = r->texture->LockRect();
  EXPECT_EQ(t[0], 0xFF000001u);
  EXPECT_EQ(t[8 + 4], 0xFF000000u | 10u);  // image row 1, column 4
  EXPECT_EQ(t[5], 0u);                     // right of the image
  EXPECT_EQ(t[3 * 8], 0u);                 // below it
  r->texture->UnlockRect();
}

TEST_F(TextureManagerTest, FirstLoadOfAPathWinsWithItsSizes) {
  LoadTexture(content::texture::kResultScoreNum, 550, 79);
  LoadTexture(content::texture::kResultScoreNum, 600, 108);
  TextureRecord* r = FindTexture(content::texture::kResultScoreNum);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->width, 550u);
  EXPECT_EQ(r->height, 79u);
  EXPECT_EQ(r->texWidth, 1024u);
  EXPECT_EQ(r->texHeight, 128u);

  // With a real file the texture itself is kept, not reloaded.
  LoadTexture(gSmallPath, 5, 3);
  TextureRecord* first = FindTexture(gSmallPath);
  platform::Texture* texture = first->texture;
  LoadTexture(gSmallPath, 64, 64);
  EXPECT_EQ(FindTexture(gSmallPath), first);
  EXPECT_EQ(first->texture, texture);
  EXPECT_EQ(first->texWidth, 8u);
}

TEST_F(TextureManagerTest, KeysAreThePathConstantsNotTheirText) {
  LoadTexture(gSmallPath, 5, 3);
  ASSERT_STREQ(gSmallPath, gOtherSmallPath);
  EXPECT_EQ(FindTexture(gOtherSmallPath), nullptr);
  EXPECT_FALSE(DrawTexture(*Sprite(), gOtherSmallPath, 0, 0, 255.0f));
  LoadTexture(gOtherSmallPath, 5, 3);
  EXPECT_NE(FindTexture(gOtherSmallPath), FindTexture(gSmallPath));
  EXPECT_EQ(textures_->Size(), 2u);
}

TEST_F(TextureManagerTest, MissingFileIsCachedWithoutTextureAndDrawsNothing) {
  LoadTexture(gMissingPath, 70, 54);
  TextureRecord* r = FindTexture(gMissingPath);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->texture, nullptr);
  EXPECT_EQ(r->width, 70u);
  EXPECT_EQ(r->texWidth, 128u);
  auto quads = DrawnBy([this] {
    EXPECT_FALSE(DrawTexture(*Sprite(), gMissingPath, 10, 10, 255.0f));
    DrawTexturePart(*Sprite(), gMissingPath, 10, 10, 255.0f, 0, 0, 5, 5);
    EXPECT_FALSE(DrawTexture(*Sprite(), content::texture::kPar, 0, 0, 255.0f));  // never loaded
  });
  EXPECT_TRUE(quads.empty());
  EXPECT_TRUE(device_.Draws().empty());
  EXPECT_EQ(FindTexture(content::texture::kPar), nullptr);
}

TEST_F(TextureManagerTest, DrawTextureDrawsTheNominalImageAtItsPosition) {
  LoadTexture(gSmallPath, 5, 3);
  auto quads = DrawnBy([this] {
    EXPECT_TRUE(DrawTexture(*Sprite(), gSmallPath, 306.5f, 260.5f, 127.9f));
    DrawTexturePart(*Sprite(), gSmallPath, 453.0f, 538.0f, 255.0f, 1, 0, 3, 2);
  });
  ASSERT_EQ(quads.size(), 2u);
  const engine::SpriteQuad& whole = quads[0];
  EXPECT_FLOAT_EQ(whole.corners[0].x, 306.5f);
  EXPECT_FLOAT_EQ(whole.corners[0].y, 260.5f);
  EXPECT_FLOAT_EQ(whole.corners[2].x, 311.5f);
  EXPECT_FLOAT_EQ(whole.corners[2].y, 263.5f);
  // Only the image part of the 8 x 4 texture.
  EXPECT_FLOAT_EQ(whole.uv[2].x, 5.0f / 8);
  EXPECT_FLOAT_EQ(whole.uv[2].y, 3.0f / 4);
  EXPECT_EQ(whole.color, 0x7FFFFFFFu);

  const engine::SpriteQuad& part = quads[1];
  EXPECT_FLOAT_EQ(part.corners[0].x, 453.0f);
  EXPECT_FLOAT_EQ(part.corners[2].x, 455.0f);
  EXPECT_FLOAT_EQ(part.corners[2].y, 540.0f);
  EXPECT_FLOAT_EQ(part.uv[0].x, 1.0f / 8);
  EXPECT_FLOAT_EQ(part.uv[2].y, 2.0f / 4);
  EXPECT_EQ(part.color, 0xFFFFFFFFu);
  // The sprite keeps the last translation.
  EXPECT_EQ(Sprite()->GetTransform(), engine::MatrixTranslation(453.0f, 538.0f, 0));
}

TEST_F(TextureManagerTest, AlphaKeepsTheLowByteOfTheTruncatedValue) {
  struct Case {
    float alpha;
    std::uint8_t byte;
  } cases[] = {
      {255.0f, 255},
      {127.9f, 127},
      {256.0f, 0},
      {0.99f, 0},
      {-0.99f, 0},
      {-1.0f, 255},
      {511.5f, 255},
      {-256.5f, 0},
      {300.0f, 44},
      {1e10f, 0},
      {-3e9f, 0},
      {2147483520.0f, 128 /* 0x7FFFFF80 */},
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {INFINITY, 0},
      {-INFINITY, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(AlphaByte(c.alpha), c.byte) << c.alpha;
  EXPECT_EQ(AlphaColor(255.0f), 0xFFFFFFFFu);
  EXPECT_EQ(AlphaColor(127.9f), 0x7FFFFFFFu);
  EXPECT_EQ(AlphaColor(256.0f), 0x00FFFFFFu);
}

TEST_F(TextureManagerTest, DigitCellsAreTenEqualCellsFromTheLeft) {
  const std::vector<Rect> cells = MakeDigitCells(55, 79);
  ASSERT_EQ(cells.size(), 10u);
  EXPECT_EQ(cells[0], (Rect{0, 0, 55, 79}));
  EXPECT_EQ(cells[3], (Rect{165, 0, 220, 79}));
  EXPECT_EQ(cells[9], (Rect{495, 0, 550, 79}));
  EXPECT_EQ(MakeDigitCells(40, 57)[9], (Rect{360, 0, 400, 57}));
  // Widths past what a 32-bit rectangle holds saturate instead of wrapping.
  const std::vector<Rect> wide = MakeDigitCells(1000000000, 1);
  EXPECT_EQ(wide[2].left, 2000000000);
  EXPECT_EQ(wide[9].right, std::numeric_limits<std::int32_t>::max());
}

TEST_F(TextureManagerTest, TextureSidesArePowersOfTwoOfAtLeastTwo) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0, 2},          {1, 2},       {2, 2},       {3, 4},
      {255, 256},      {256, 256},   {257, 512},   {800, 1024},
      {2407, 4096},    {1069, 2048}, {1068, 2048}, {0x80000000u, 0x80000000u},
      {0x80000001u, 0}};
  for (auto [n, side] : cases) EXPECT_EQ(TextureSizeFor(n), side) << n;
  // And the loader uses it for both sides.
  LoadTexture(content::texture::kTitlePlanet, 1069, 1068);
  LoadTexture(content::texture::kVer, 1, 19);
  EXPECT_EQ(FindTexture(content::texture::kTitlePlanet)->texWidth, 2048u);
  EXPECT_EQ(FindTexture(content::texture::kTitlePlanet)->texHeight, 2048u);
  EXPECT_EQ(FindTexture(content::texture::kVer)->texWidth, 2u);
  EXPECT_EQ(FindTexture(content::texture::kVer)->texHeight, 32u);
}

TEST_F(TextureManagerTest, UnloadForgetsOnlyThatPath) {
  UnloadTexture(gSmallPath);  // empty cache: nothing happens
  LoadTexture(gSmallPath, 5, 3);
  LoadTexture(gMissingPath, 5, 3);
  UnloadTexture(content::texture::kPar);  // not cached: nothing happens
  EXPECT_EQ(textures_->Size(), 2u);
  UnloadTexture(gSmallPath);
  EXPECT_EQ(FindTexture(gSmallPath), nullptr);
  EXPECT_NE(FindTexture(gMissingPath), nullptr);
  auto quads = DrawnBy([this] { EXPECT_FALSE(DrawTexture(*Sprite(), gSmallPath, 0, 0, 255.0f)); });
  EXPECT_TRUE(quads.empty());
  // It can be loaded again, with new sizes.
  LoadTexture(gSmallPath, 4, 2);
  EXPECT_EQ(FindTexture(gSmallPath)->width, 4u);
}

TEST_F(TextureManagerTest, QueuedDrawOutlivesAnUnloadBeforeEnd) {
  LoadTexture(gSmallPath, 5, 3);
  engine::Sprite* sprite = Sprite();
  ASSERT_TRUE(sprite->Begin(engine::kSpriteAlphaBlend));
  EXPECT_TRUE(DrawTexture(*Sprite(), gSmallPath, 0, 0, 255.0f));
  UnloadTexture(gSmallPath);
  ASSERT_TRUE(sprite->End());  // under ASan, a freed texture would show here
  EXPECT_EQ(device_.Draws().size(), 1u);
}

TEST_F(TextureManagerTest, ReleaseAllEmptiesTheCacheWhichStaysUsable) {
  LoadTexture(gSmallPath, 5, 3);
  LoadTexture(gMissingPath, 5, 3);
  ReleaseAllTextures();
  EXPECT_EQ(textures_->Size(), 0u);
  EXPECT_EQ(FindTexture(gSmallPath), nullptr);
  ReleaseAllTextures();
  UnloadTexture(gSmallPath);
  LoadTexture(gSmallPath, 5, 3);
  EXPECT_NE(FindTexture(gSmallPath)->texture, nullptr);
}

TEST_F(TextureManagerTest, WithoutADeviceNothingIsDrawnAndNothingBreaks) {
  LoadTexture(gSmallPath, 5, 3);
  sprite_.reset();

  const SharedSprite noSprite(nullptr);
  EXPECT_EQ(noSprite.Get(), nullptr);
  TextureManager noDevice(nullptr);
  noDevice.LoadTexture(gMissingPath, 5, 3);  // no device: a record without texture
  ASSERT_NE(noDevice.FindTexture(gMissingPath), nullptr);
  EXPECT_EQ(noDevice.FindTexture(gMissingPath)->texture, nullptr);
  EXPECT_TRUE(device_.Draws().empty());
}

TEST_F(TextureManagerTest, LoaderThreadInsertsWhileTheMainThreadDraws) {
  std::atomic<bool> done{false};
  std::thread loader([&] {
    for (int i = 0; i < kThreadFiles; ++i) LoadTexture(gThreadPaths[i], 5, 3);
    done = true;
  });
  engine::Sprite* sprite = Sprite();
  int frames = 0;
  while (!done || frames < 3) {
    ASSERT_TRUE(sprite->Begin(engine::kSpriteAlphaBlend));
    for (int i = 0; i < kThreadFiles; ++i) {
      if (TextureRecord* r = FindTexture(gThreadPaths[i])) {
        EXPECT_EQ(r->width, 5u);
      }
      DrawTexture(*Sprite(), gThreadPaths[i], 1, 1, 255.0f);
    }
    ASSERT_TRUE(sprite->End());
    ++frames;
  }
  loader.join();
  EXPECT_EQ(textures_->Size(), static_cast<std::size_t>(kThreadFiles));
  const auto quads = DrawnBy([this] {
    for (int i = 0; i < kThreadFiles; ++i)
      EXPECT_EQ(DrawTexture(*Sprite(), gThreadPaths[i], 1, 1, 255.0f), i % 3 != 0) << i;
  });
  EXPECT_EQ(quads.size(), static_cast<std::size_t>(kThreadFiles - kThreadFiles / 3));
}

}  // namespace
}  // namespace media
