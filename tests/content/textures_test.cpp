// The committed 2D textures: every file the game loads is there, is a PNG
// of exactly the size the game asks for, and the pictures the game cuts up
// or lays over each other are drawn where the game expects them.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "media/paths.h"

namespace {

namespace tex = content::texture;

struct Picture {
  bool ok = false;
  std::string error;
  int width = 0, height = 0;
  bool file_has_alpha = false;
  std::vector<std::uint8_t> rgba;

  std::uint8_t Alpha(int x, int y) const { return rgba[(y * width + x) * 4 + 3]; }
  std::uint32_t Rgba(int x, int y) const {
    const std::uint8_t* p = &rgba[(y * width + x) * 4];
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
  }
};

Picture ReadPng(const std::filesystem::path& path) {
  Picture pic;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    pic.error = image.message;
    return pic;
  }
  pic.file_has_alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  pic.width = static_cast<int>(image.width);
  pic.height = static_cast<int>(image.height);
  pic.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pic.rgba.data(), 0, nullptr)) {
    pic.error = image.message;
    png_image_free(&image);
    return pic;
  }
  pic.ok = true;
  return pic;
}

std::filesystem::path ContentPath(const char* path) {
  return std::filesystem::path(POROMEKO_SOURCE_DIR) / "content" / path;
}

Picture Load(const char* path) {
  Picture p = ReadPng(ContentPath(path));
  EXPECT_TRUE(p.ok) << path << ": " << p.error;
  return p;
}

// Pixels with alpha of at least `min_alpha` inside a rectangle.
int InkCount(const Picture& p, int x0, int y0, int x1, int y1, int min_alpha = 128) {
  int n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) n += p.Alpha(x, y) >= min_alpha;
  }
  return n;
}

struct InkBox {
  int x0, y0, x1, y1;  // inclusive bounds of pixels with alpha >= 128
};

InkBox BoundsOfInk(const Picture& p) {
  InkBox b{p.width, p.height, -1, -1};
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (p.Alpha(x, y) >= 128) {
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
      }
    }
  }
  return b;
}

TEST(Textures, EveryTextureIsAPngOfItsNominalSizeWithAlpha) {
  EXPECT_EQ(std::size(tex::kAll), 39u);
  for (const auto& n : tex::kAll) {
    SCOPED_TRACE(n.path);
    const Picture p = Load(n.path);
    if (!p.ok) continue;
    EXPECT_EQ(p.width, static_cast<int>(n.width));
    EXPECT_EQ(p.height, static_cast<int>(n.height));
    EXPECT_TRUE(p.file_has_alpha) << "stored without an alpha channel";
    const int opaque = InkCount(p, 0, 0, p.width, p.height);
    EXPECT_GT(opaque, 0) << "nothing drawn";
    if (n.path != tex::kTitleBack) {
      // Shapes stand on transparency (the landscape alone fills its frame).
      EXPECT_GT(InkCount(p, 0, 0, p.width, p.height, 0) - InkCount(p, 0, 0, p.width, p.height, 1),
                0)
          << "no transparent pixel";
    }
  }
}

TEST(Textures, TheReaderRejectsABrokenFile) {
  // The check above is only worth something if a damaged file fails it.
  const auto src = ContentPath(tex::kNum);
  std::ifstream in(src, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 200u);
  const auto cut = std::filesystem::temp_directory_path() / "poromeko_truncated_num.png";
  {
    std::ofstream out(cut, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
  }
  EXPECT_FALSE(ReadPng(cut).ok);
  std::filesystem::remove(cut);
  EXPECT_FALSE(ReadPng(ContentPath("Texture/no_such_picture.png")).ok);
}

struct Strip {
  const char* path;
  int cell;
};

TEST(Textures, DigitStripsHoldTenDistinctDigitsEachInsideItsCell) {
  const Strip strips[] = {
      {tex::kNum, 40}, {tex::kNumCombo, 40}, {tex::kResultScoreNum, 55}, {tex::kTitleScoreNum, 21}};
  for (const auto& s : strips) {
    SCOPED_TRACE(s.path);
    const Picture p = Load(s.path);
    if (!p.ok) continue;
    ASSERT_EQ(p.width, 10 * s.cell);
    std::vector<std::vector<std::uint32_t>> cells;
    for (int d = 0; d < 10; ++d) {
      SCOPED_TRACE("digit " + std::to_string(d));
      const int x0 = d * s.cell;
      // A real glyph covers a good part of its cell, not a speck.
      EXPECT_GT(InkCount(p, x0, 0, x0 + s.cell, p.height), s.cell * p.height / 8);
      // The game cuts cells at exact multiples of the width: nothing of a
      // neighbour may show at either edge.
      EXPECT_EQ(InkCount(p, x0, 0, x0 + 1, p.height, 1), 0);
      EXPECT_EQ(InkCount(p, x0 + s.cell - 1, 0, x0 + s.cell, p.height, 1), 0);
      std::vector<std::uint32_t> px;
      for (int y = 0; y < p.height; ++y) {
        for (int x = x0; x < x0 + s.cell; ++x) px.push_back(p.Rgba(x, y));
      }
      cells.push_back(std::move(px));
    }
    for (int a = 0; a < 10; ++a) {
      for (int b = a + 1; b < 10; ++b) EXPECT_NE(cells[a], cells[b]) << a << " and " << b;
    }
  }
}

TEST(Textures, LoadingCaptionHasAGlyphInEachOfItsFiveCells) {
  const Picture p = Load(tex::kLoadingStr);
  ASSERT_TRUE(p.ok);
  const int edges[] = {0, 62, 120, 182, 238, 255};
  for (int c = 0; c < 5; ++c) {
    SCOPED_TRACE("cell " + std::to_string(c));
    EXPECT_GT(InkCount(p, edges[c], 0, edges[c + 1], p.height), 40);
    // The caption is put together from these cells in another order, so a
    // glyph must not spill into the next cell.
    EXPECT_EQ(InkCount(p, edges[c], 0, edges[c] + 1, p.height, 1), 0);
    EXPECT_EQ(InkCount(p, edges[c + 1] - 1, 0, edges[c + 1], p.height, 1), 0);
  }
}

TEST(Textures, TitleLandscapeRepeatsItsFirstFiveColumnsAtTheEnd) {
  const Picture p = Load(tex::kTitleBack);
  ASSERT_TRUE(p.ok);
  // Drawn again 2407 - 5 pixels to the right: columns 2402..2406 lie under
  // columns 0..4 of the next copy.
  for (int y = 0; y < p.height; ++y) {
    for (int i = 0; i < 5; ++i) {
      ASSERT_EQ(p.Rgba(i, y), p.Rgba(2402 + i, y)) << "column " << i << " row " << y;
    }
  }
  EXPECT_EQ(InkCount(p, 0, 0, p.width, p.height, 255), p.width * p.height) << "not opaque";
}

TEST(Textures, GrowthGaugeFrameIsOpenWhereTheFillingShows) {
  const Picture frame = Load(tex::kWildGauge);
  const Picture fill = Load(tex::kWildGaugeVal);
  ASSERT_TRUE(frame.ok && fill.ok);
  const int mid = frame.height / 2;
  // Along the middle row the frame is clear between its ends and the filling
  // is solid, so any revealed part of the filling shows.
  int open = 0, solid = 0;
  for (int x = 20; x < frame.width - 20; ++x) {
    if (x % 75 >= 70 || x % 75 <= 5) continue;  // the quarter notches
    open += frame.Alpha(x, mid) == 0;
    solid += fill.Alpha(x, mid) == 255;
  }
  const int columns = (frame.width - 40) - 3 * 11;
  EXPECT_GE(open, columns - 4);
  EXPECT_GE(solid, columns - 4);
  // The filling starts at the left end: a few percent of growth shows.
  EXPECT_GT(InkCount(fill, 0, 0, 15, fill.height), 100);
  // And it is a gradient (the right end is another colour than the left).
  EXPECT_NE(fill.Rgba(30, mid) >> 8, fill.Rgba(270, mid) >> 8);
}

TEST(Textures, ComboBarIsSolidAcrossItsWidth) {
  const Picture p = Load(tex::kComboTimeGauge);
  ASSERT_TRUE(p.ok);
  for (int x = 2; x < p.width - 2; ++x) EXPECT_GT(p.Alpha(x, p.height / 2), 200) << x;
}

TEST(Textures, InsectIconsAreCentredAndTheirMissedVariantsDiffer) {
  const std::pair<const char*, const char*> pairs[] = {{tex::kS, tex::kSMiss},
                                                       {tex::kM, tex::kMMiss},
                                                       {tex::kL, tex::kLMiss},
                                                       {tex::kW, tex::kWMiss}};
  for (const auto& [normal_path, miss_path] : pairs) {
    SCOPED_TRACE(normal_path);
    const Picture normal = Load(normal_path);
    const Picture miss = Load(miss_path);
    ASSERT_TRUE(normal.ok && miss.ok);
    ASSERT_EQ(normal.width, miss.width);
    ASSERT_EQ(normal.height, miss.height);
    EXPECT_NE(normal.rgba, miss.rgba);
    // The HUD scales icons about their middle, so the drawing sits centred.
    for (const Picture* p : {&normal, &miss}) {
      const InkBox b = BoundsOfInk(*p);
      EXPECT_NEAR((b.x0 + b.x1) / 2.0, (p->width - 1) / 2.0, 4.0);
      EXPECT_NEAR((b.y0 + b.y1) / 2.0, (p->height - 1) / 2.0, 4.0);
    }
  }
}

TEST(Textures, QuestionPanelsSitInTheMiddleOfAClearScreen) {
  for (const char* path : {tex::kBackTitle, tex::kEndGame}) {
    SCOPED_TRACE(path);
    const Picture p = Load(path);
    ASSERT_TRUE(p.ok);
    // The game dims the screen behind; the picture adds only its panel.
    EXPECT_EQ(InkCount(p, 0, 0, p.width, 150, 1), 0);
    EXPECT_EQ(InkCount(p, 0, 450, p.width, p.height, 1), 0);
    EXPECT_EQ(p.Alpha(400, 300), 255);
    const InkBox b = BoundsOfInk(p);
    EXPECT_NEAR((b.x0 + b.x1) / 2.0, 400, 6);
  }
  EXPECT_NE(Load(tex::kBackTitle).rgba, Load(tex::kEndGame).rgba);
}

TEST(Textures, TitlePlanetIsADiscWithThingsAlongItsTopRim) {
  const Picture p = Load(tex::kTitlePlanet);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.Alpha(p.width / 2, p.height / 2), 255);
  EXPECT_EQ(p.Alpha(0, 0), 0);
  EXPECT_EQ(p.Alpha(p.width - 1, p.height - 1), 0);
  // Only about the top 170 rows show on the title screen, and the picture
  // turns: every quarter of the rim carries something above the ground.
  const int cx = p.width / 2, cy = p.height / 2;
  const int quarters[4][4] = {{cx - 150, 0, cx + 150, 75},
                              {cx - 150, p.height - 75, cx + 150, p.height},
                              {0, cy - 150, 75, cy + 150},
                              {p.width - 75, cy - 150, p.width, cy + 150}};
  for (const auto& q : quarters) EXPECT_GT(InkCount(p, q[0], q[1], q[2], q[3]), 200);
}

TEST(Textures, LogoKeepsClearOfTheRankingBelowIt) {
  // The logo is drawn from y 60; the crowns start at y 250, so the lower
  // part of the picture stays clear apart from small sparkles.
  const Picture p = Load(tex::kTitle);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(InkCount(p, 0, 215, p.width, p.height, 1), 0);
  EXPECT_GT(InkCount(p, 0, 0, p.width, 200), p.width * 200 / 4);
}

}  // namespace
