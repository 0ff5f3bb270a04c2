#include "engine/image.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/graphics.h"

namespace engine {
namespace {

namespace fs = std::filesystem;

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("poromeko_image_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  fs::path dir_;
};

TEST_F(ImageTest, SaveThenLoadKeepsEveryPixelAndChannel) {
  // Distinct values in every channel, including fully transparent and
  // half-transparent texels whose colour must not be premultiplied away.
  const std::uint32_t w = 5, h = 3;
  std::vector<std::uint32_t> argb(w * h);
  for (std::uint32_t i = 0; i < argb.size(); ++i)
    argb[i] = (i * 17u) << 24 | (255 - i) << 16 | (i * 3u) << 8 | (100 + i);
  argb[0] = 0x00FF8040;  // transparent, colour kept
  argb[1] = 0x80FFFFFF;
  ASSERT_TRUE(SavePng(Path("a.png"), w, h, argb.data()));

  Image img;
  std::string error;
  ASSERT_TRUE(LoadPng(Path("a.png"), &img, &error)) << error;
  EXPECT_EQ(img.width, w);
  EXPECT_EQ(img.height, h);
  EXPECT_EQ(img.pixels, argb);
  EXPECT_EQ(img.At(0, 1), argb[5]);  // rows run top to bottom
}

TEST_F(ImageTest, ReadIntoALargerBufferClearsOrKeepsWhatLiesBeyondThePicture) {
  const std::vector<std::uint32_t> argb = {0xFF102030u, 0x80405060u, 0x00708090u,
                                           0xFFA0B0C0u, 0xFFD0E0F0u, 0x01020304u};
  ASSERT_TRUE(SavePng(Path("b.png"), 3, 2, argb.data()));
  for (const bool destIsBlack : {false, true}) {
    SCOPED_TRACE(destIsBlack);
    std::vector<std::uint32_t> dest(5 * 4, 0xDEADBEEFu);
    PngFile file;
    ASSERT_TRUE(file.Open(Path("b.png")));
    ASSERT_TRUE(file.ReadInto(dest.data(), 5, 4, nullptr, destIsBlack));
    for (std::uint32_t y = 0; y < 4; ++y) {
      for (std::uint32_t x = 0; x < 5; ++x) {
        const std::uint32_t beyond = destIsBlack ? 0xDEADBEEFu : 0u;
        EXPECT_EQ(dest[y * 5 + x], x < 3 && y < 2 ? argb[y * 3 + x] : beyond) << x << ", " << y;
      }
    }
  }
}

TEST_F(ImageTest, GreyAndOpaqueFilesBecomeOpaqueArgb) {
  // A one-channel file, as an image editor might save a mask.
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 2;
  image.height = 2;
  image.format = PNG_FORMAT_GRAY;
  const png_byte grey[4] = {0, 64, 128, 255};
  ASSERT_TRUE(png_image_write_to_file(&image, Path("g.png").c_str(), 0, grey, 2, nullptr));

  Image img;
  ASSERT_TRUE(LoadPng(Path("g.png"), &img));
  ASSERT_EQ(img.pixels.size(), 4u);
  EXPECT_EQ(img.pixels[0], 0xFF000000u);
  EXPECT_EQ(img.pixels[1], 0xFF404040u);
  EXPECT_EQ(img.pixels[2], 0xFF808080u);
  EXPECT_EQ(img.pixels[3], 0xFFFFFFFFu);
}

TEST_F(ImageTest, BadFilesFailCleanlyWithAReason) {
  std::vector<std::uint32_t> argb(16 * 16, 0xFF123456u);
  ASSERT_TRUE(SavePng(Path("good.png"), 16, 16, argb.data()));
  const std::vector<unsigned char> good = ReadBytes(Path("good.png"));
  ASSERT_GT(good.size(), 60u);

  WriteBytes(Path("half.png"), {good.begin(), good.begin() + good.size() / 2});
  WriteBytes(Path("header.png"), {good.begin(), good.begin() + 8});
  WriteBytes(Path("text.png"), {'h', 'e', 'l', 'l', 'o', '\n'});
  WriteBytes(Path("empty.png"), {});
  // One byte of the compressed image data changed: its chunk's CRC no longer
  // matches.
  std::vector<unsigned char> bent = good;
  const unsigned char idat[] = {'I', 'D', 'A', 'T'};
  auto at = std::search(bent.begin(), bent.end(), std::begin(idat), std::end(idat));
  ASSERT_LT(at + 5, bent.end());
  at[5] ^= 0x5A;
  WriteBytes(Path("bent.png"), bent);

  for (const char* name :
       {"missing.png", "half.png", "header.png", "text.png", "empty.png", "bent.png", ""}) {
    Image img;
    img.width = 7;  // must be cleared on failure
    img.pixels.assign(3, 1u);
    std::string error;
    EXPECT_FALSE(LoadPng(Path(name), &img, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_EQ(img.width, 0u) << name;
    EXPECT_TRUE(img.pixels.empty()) << name;
  }
  // A directory is not an image either.
  Image img;
  EXPECT_FALSE(LoadPng(dir_.string(), &img));
  EXPECT_FALSE(LoadPng(Path("good.png"), nullptr));
}

TEST_F(ImageTest, HugeDeclaredSizeIsRefusedBeforeAllocating) {
  // Valid headers announcing 100000 x 100000 and 16384 x 16384 pixels (a
  // gigabyte to decode into), followed by nothing.
  std::vector<std::uint32_t> argb(4, 0xFFFFFFFFu);
  ASSERT_TRUE(SavePng(Path("small.png"), 2, 2, argb.data()));
  for (const std::uint32_t big : {100000u, 16384u, kMaxImageSide + 1}) {
    std::vector<unsigned char> bytes = ReadBytes(Path("small.png"));
    // IHDR data starts at byte 16: width and height big-endian, then the CRC
    // over type + data at byte 29, which we recompute so only the size is odd.
    for (int k = 0; k < 2; ++k)
      for (int b = 0; b < 4; ++b)
        bytes[16 + 4 * k + b] = static_cast<unsigned char>(big >> (24 - 8 * b));
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &bytes[12], 17));
    for (int b = 0; b < 4; ++b) bytes[29 + b] = static_cast<unsigned char>(crc >> (24 - 8 * b));
    WriteBytes(Path("huge.png"), bytes);

    Image img;
    std::string error;
    EXPECT_FALSE(LoadPng(Path("huge.png"), &img, &error)) << big;
    EXPECT_NE(error.find("not supported"), std::string::npos) << error;
    EXPECT_TRUE(img.pixels.empty());
  }
}

TEST_F(ImageTest, SaveRefusesNothingToWriteAndUnwritablePaths) {
  std::uint32_t pixel = 0xFFFFFFFFu;
  std::string error;
  EXPECT_FALSE(SavePng(Path("zero.png"), 0, 1, &pixel, &error));
  EXPECT_FALSE(SavePng(Path("null.png"), 1, 1, nullptr, &error));
  EXPECT_FALSE(SavePng(Path("no/such/dir/x.png"), 1, 1, &pixel, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(Path("zero.png")));
}

// The mean of a 2 x 2 block, each channel rounded on its own, the slow way.
std::uint32_t BoxMean(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const std::uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) +
                              ((c >> shift) & 0xFF) + ((d >> shift) & 0xFF);
    out |= ((sum + 2) / 4) << shift;
  }
  return out;
}

TEST(MipChainTest, EachLevelIsTheRoundedBoxMeanOfTheOneAbove) {
  // 8 x 4 of every kind of byte, then 4 x 2, 2 x 1, 1 x 1.
  std::mt19937 rng(11);
  std::vector<std::uint32_t> level0(8 * 4);
  for (auto& p : level0) p = static_cast<std::uint32_t>(rng());
  level0[0] = level0[1] = level0[8] = level0[9] = 0xFFFFFFFFu;  // saturated: stays 0xFF
  level0[2] = 0xFF00FF00u;
  level0[3] = level0[10] = level0[11] = 0x00FF00FFu;  // 765 / 4 gives 191, 255 / 4 gives 64
  ASSERT_EQ(platform::MipChainPixels(8, 4), 8u + 2u + 1u);
  std::vector<std::uint32_t> chain(platform::MipChainPixels(8, 4));
  platform::MakeMipChain(level0.data(), 8, 4, chain.data());
  EXPECT_EQ(chain[0], 0xFFFFFFFFu);
  EXPECT_EQ(chain[1], 0x40BF40BFu);
  for (std::uint32_t y = 0; y < 2; ++y)
    for (std::uint32_t x = 0; x < 4; ++x) {
      const std::uint32_t* p = &level0[2 * y * 8 + 2 * x];
      EXPECT_EQ(chain[y * 4 + x], BoxMean(p[0], p[1], p[8], p[9])) << x << "," << y;
    }
  EXPECT_EQ(chain[8], BoxMean(chain[0], chain[1], chain[4], chain[5]));
  EXPECT_EQ(chain[9], BoxMean(chain[2], chain[3], chain[6], chain[7]));
  EXPECT_EQ(chain[10], BoxMean(chain[8], chain[9], chain[8], chain[9]));

  // Odd and thin pictures: 3 x 2 leaves its last column out; a single row
  // or column halves along its length only.
  const std::uint32_t odd[6] = {0x10, 0x20, 0xFF, 0x30, 0x40, 0xFF};
  ASSERT_EQ(platform::MipChainPixels(3, 2), 1u);
  std::uint32_t one = 0;
  platform::MakeMipChain(odd, 3, 2, &one);
  EXPECT_EQ(one, 0x28u);
  const std::uint32_t column[4] = {0x04, 0x08, 0x0C, 0x10};
  ASSERT_EQ(platform::MipChainPixels(1, 4), 3u);
  std::uint32_t columnChain[3] = {};
  platform::MakeMipChain(column, 1, 4, columnChain);
  EXPECT_EQ(columnChain[0], 0x06u);
  EXPECT_EQ(columnChain[1], 0x0Eu);
  EXPECT_EQ(columnChain[2], 0x0Au);
  EXPECT_EQ(platform::MipChainPixels(1, 1), 0u);
}

}  // namespace
}  // namespace engine
