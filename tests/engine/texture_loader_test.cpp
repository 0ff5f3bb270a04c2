#include "engine/texture_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/null/device_null.h"

namespace engine {

using namespace platform;
namespace {

namespace fs = std::filesystem;

class TextureLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("poromeko_texload_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // 3 x 2 image, every texel different.
    image_ = {0xFF000001u, 0xFF000002u, 0x80000003u, 0xFF000004u, 0x00FFFFFFu, 0xFF000006u};
    ASSERT_TRUE(SavePng(Path("img.png"), 3, 2, image_.data()));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  NullDevice device_;
  fs::path dir_;
  std::vector<std::uint32_t> image_;
};

TEST_F(TextureLoaderTest, ImageSitsUnscaledInTheTopLeftOfALargerTexture) {
  Texture* tex = nullptr;
  ASSERT_TRUE(CreateTextureFromFileEx(&device_, Path("img.png"), 4, 4, &tex));
  ASSERT_NE(tex, nullptr);
  EXPECT_EQ(tex->Width(), 4u);
  EXPECT_EQ(tex->Height(), 4u);
  EXPECT_EQ(tex->GetLevelCount(), 1u);  // a sprite's picture: never a mip chain
  const std::uint32_t* t = tex->LockRect();
  const std::vector<std::uint32_t> expected = {0xFF000001u, 0xFF000002u, 0x80000003u, 0,  //
                                               0xFF000004u, 0x00FFFFFFu, 0xFF000006u, 0,  //
                                               0,           0,           0,           0,  //
                                               0,           0,           0,           0};
  EXPECT_EQ(std::vector<std::uint32_t>(t, t + 16), expected);
  tex->UnlockRect();
  tex->Release();
}

TEST_F(TextureLoaderTest, ImageLargerThanTheTextureIsCropped) {
  Texture* tex = nullptr;
  ASSERT_TRUE(CreateTextureFromFileEx(&device_, Path("img.png"), 2, 1, &tex));
  const std::uint32_t* t = tex->LockRect();
  EXPECT_EQ(t[0], 0xFF000001u);
  EXPECT_EQ(t[1], 0xFF000002u);
  tex->UnlockRect();
  tex->Release();
}

TEST_F(TextureLoaderTest, FileSizeTextureMatchesTheImage) {
  Texture* tex = nullptr;
  ASSERT_TRUE(CreateTextureFromFile(&device_, Path("img.png"), &tex));
  EXPECT_EQ(tex->Width(), 3u);
  EXPECT_EQ(tex->Height(), 2u);
  EXPECT_EQ(tex->GetLevelCount(), 2u);  // a model's texture: the whole chain, 3x2 and 1x1
  const std::uint32_t* t = tex->LockRect();
  EXPECT_EQ(std::vector<std::uint32_t>(t, t + 6), image_);
  tex->UnlockRect();
  tex->Release();
}

TEST_F(TextureLoaderTest, FailuresLeaveNoTexture) {
  Texture* sentinel = reinterpret_cast<Texture*>(&device_);  // any non-null value
  struct Case {
    Device* device;
    std::string path;
    std::uint32_t w, h;
  } cases[] = {
      {&device_, Path("missing.png"), 4, 4},
      {&device_, Path("img.png"), 0, 4},
      {&device_, Path("img.png"), 4, kMaxTextureSide + 1},
      {nullptr, Path("img.png"), 4, 4},
  };
  for (const Case& c : cases) {
    Texture* tex = sentinel;
    std::string error;
    EXPECT_FALSE(CreateTextureFromFileEx(c.device, c.path, c.w, c.h, &tex, &error)) << c.path;
    EXPECT_EQ(tex, nullptr);
    EXPECT_FALSE(error.empty());
  }
  Texture* tex = sentinel;
  EXPECT_FALSE(CreateTextureFromFile(&device_, Path("missing.png"), &tex));
  EXPECT_EQ(tex, nullptr);
  EXPECT_FALSE(CreateTextureFromFileEx(&device_, Path("img.png"), 4, 4, nullptr));
}

}  // namespace
}  // namespace engine
