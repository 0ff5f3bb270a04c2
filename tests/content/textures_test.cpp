// The committed 2D textures: every file the game loads is there, is a PNG
// of exactly the size the game asks for, and the pictures the game cuts up
// or lays over each other are drawn where the game expects them.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
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
  EXPECT_EQ(std::size(tex::kAll), 53u);
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

// The English pictures lie where the Japanese ones do, so they must be cut
// and centred as those are: the loading caption's cells, the question
// panels in the middle of a clear screen, the centred labels; and the
// start-up question's answers, cut from their picture in 200 x 80 cells.
TEST(Textures, EnglishCaptionsKeepTheLayoutOfTheJapaneseOnes) {
  {
    SCOPED_TRACE("loading caption");
    const Picture p = Load(tex::kLoadingStrEn);
    ASSERT_TRUE(p.ok);
    const auto& edges = tex::kLoadingCellsEn.edges;
    for (std::size_t c = 0; c + 1 < edges.size(); ++c) {
      SCOPED_TRACE("cell " + std::to_string(c));
      EXPECT_GT(InkCount(p, edges[c], 0, edges[c + 1], p.height), 40);
      EXPECT_EQ(InkCount(p, edges[c], 0, edges[c] + 1, p.height, 1), 0);
      EXPECT_EQ(InkCount(p, edges[c + 1] - 1, 0, edges[c + 1], p.height, 1), 0);
    }
  }
  for (const char* path : {tex::kBackTitleEn, tex::kEndGameEn}) {
    SCOPED_TRACE(path);
    const Picture p = Load(path);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(InkCount(p, 0, 0, p.width, 150, 1), 0);
    EXPECT_EQ(InkCount(p, 0, 450, p.width, p.height, 1), 0);
    const InkBox b = BoundsOfInk(p);
    EXPECT_NEAR((b.x0 + b.x1) / 2.0, 400, 6);
    EXPECT_NE(p.rgba, Load(path == tex::kBackTitleEn ? tex::kBackTitle : tex::kEndGame).rgba);
  }
  for (const char* path : {tex::kResultEn, tex::kPushEnterEn, tex::kScoreEn}) {
    SCOPED_TRACE(path);
    const Picture p = Load(path);
    ASSERT_TRUE(p.ok);
    const InkBox b = BoundsOfInk(p);
    EXPECT_NEAR((b.x0 + b.x1) / 2.0, (p.width - 1) / 2.0, 6);
  }
  for (const char* path : {tex::kScreenAnswers, tex::kScreenAnswersEn}) {
    SCOPED_TRACE(path);
    const Picture p = Load(path);
    ASSERT_TRUE(p.ok);
    for (int x : {0, 199, 200, 399}) EXPECT_EQ(InkCount(p, x, 0, x + 1, p.height, 1), 0) << x;
    for (int y : {0, 79, 80, 159}) EXPECT_EQ(InkCount(p, 0, y, p.width, y + 1, 1), 0) << y;
    // A button fills most of each cell; the lit ones differ from the plain.
    for (int cell = 0; cell < 4; ++cell) {
      const int x = cell % 2 * 200, y = cell / 2 * 80;
      EXPECT_GT(InkCount(p, x, y, x + 200, y + 80), 200 * 80 / 2) << cell;
    }
    int differ = 0;
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 400; ++x) differ += p.Rgba(x, y) != p.Rgba(x, y + 80);
    }
    EXPECT_GT(differ, 400 * 80 / 4);
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
  // Nothing on the rim is cut off by the picture's border, wherever the
  // turning brings it.
  EXPECT_EQ(InkCount(p, 0, 0, p.width, 1, 1), 0);
  EXPECT_EQ(InkCount(p, 0, p.height - 1, p.width, p.height, 1), 0);
  EXPECT_EQ(InkCount(p, 0, 0, 1, p.height, 1), 0);
  EXPECT_EQ(InkCount(p, p.width - 1, 0, p.width, p.height, 1), 0);
}

TEST(Textures, LogoKeepsClearOfTheRankingBelowIt) {
  // The logo is drawn from y 60; the crowns start at y 250, so the lower
  // part of the picture stays clear apart from small sparkles.
  const Picture p = Load(tex::kTitle);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(InkCount(p, 0, 215, p.width, p.height, 1), 0);
  EXPECT_GT(InkCount(p, 0, 0, p.width, 200), p.width * 200 / 4);
}

// Lowest row with ink in columns [x0, x1).
int InkBottom(const Picture& p, int x0, int x1) {
  for (int y = p.height - 1; y >= 0; --y) {
    if (InkCount(p, x0, y, x1, y + 1) > 0) return y;
  }
  return -1;
}

TEST(Textures, DigitsShareABaselineAndTheSignsLineUpWithThem) {
  // Digits without a descender: a score like "2030" must not wobble.
  const Picture num = Load(tex::kNum);
  ASSERT_TRUE(num.ok);
  const int base = InkBottom(num, 0, 40);
  for (int d : {1, 2, 3, 5, 6, 8}) EXPECT_NEAR(InkBottom(num, d * 40, d * 40 + 40), base, 1) << d;

  // The clock colon is drawn at y (57 - 41) / 2 + 20 beside digits drawn at
  // y 20: its two dots centre on the digits' middle.
  const Picture dot = Load(tex::kDot);
  ASSERT_TRUE(dot.ok);
  const InkBox colon = BoundsOfInk(dot);
  const InkBox zero = BoundsOfInk(num);
  EXPECT_NEAR((colon.y0 + colon.y1) / 2.0 + 8, (zero.y0 + zero.y1) / 2.0, 2.5);
  EXPECT_GT(InkCount(dot, 0, 0, dot.width, dot.height / 2), 20);
  EXPECT_GT(InkCount(dot, 0, dot.height / 2, dot.width, dot.height), 20);

  // The percent sign follows the result digits on the same line.
  const Picture digits = Load(tex::kResultScoreNum);
  const Picture par = Load(tex::kPar);
  ASSERT_TRUE(digits.ok && par.ok);
  EXPECT_NEAR(InkBottom(par, 0, par.width), InkBottom(digits, 0, 55), 3);
}

TEST(Textures, SlidingPicturesAreCentredInTheirFrames) {
  // The title logo, the result title and the Enter prompt are placed by
  // centring their frames on the screen, so the drawing must be centred too.
  for (const char* path : {tex::kTitle, tex::kResult, tex::kPushEnter, tex::kScore}) {
    SCOPED_TRACE(path);
    const Picture p = Load(path);
    ASSERT_TRUE(p.ok);
    const InkBox b = BoundsOfInk(p);
    EXPECT_NEAR((b.x0 + b.x1) / 2.0, (p.width - 1) / 2.0, 6);
  }
}

TEST(Textures, TitleBannerRunsFromEdgeToEdge) {
  // Stretched between its two ends during the intro and then drawn from x 0
  // to 800: the band must reach both sides along its middle.
  const Picture p = Load(tex::kTitleW);
  ASSERT_TRUE(p.ok);
  for (int y = 70; y < 160; ++y) {
    EXPECT_EQ(p.Alpha(0, y), 255) << y;
    EXPECT_EQ(p.Alpha(p.width - 1, y), 255) << y;
  }
  // ... with sky above and below it.
  EXPECT_EQ(InkCount(p, 0, 0, p.width, 3, 1), 0);
}

TEST(Textures, EmotionBalloonsShareOneBubbleWithDifferentContents) {
  const Picture plain = Load(tex::kBalloon);
  ASSERT_TRUE(plain.ok);
  for (const char* path : {tex::kHeart, tex::kNote, tex::kSweat}) {
    SCOPED_TRACE(path);
    const Picture p = Load(path);
    ASSERT_TRUE(p.ok);
    // Same outline: the rim rows agree, the middle does not.
    int same_rim = 0, rim = 0;
    for (int x = 0; x < p.width; ++x) {
      for (int y : {2, 3, 4}) {
        rim += 1;
        same_rim += p.Rgba(x, y) == plain.Rgba(x, y);
      }
    }
    EXPECT_EQ(same_rim, rim);
    int differ = 0;
    for (int y = 12; y < 34; ++y) {
      for (int x = 20; x < 54; ++x) differ += p.Rgba(x, y) != plain.Rgba(x, y);
    }
    EXPECT_GT(differ, 60);
  }
}

// Mean saturation (max - min channel) of the opaque pixels.
double MeanSaturation(const Picture& p) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (p.Alpha(x, y) < 200) continue;
      const std::uint8_t* c = &p.rgba[(y * p.width + x) * 4];
      sum += std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]});
      ++n;
    }
  }
  return n ? sum / n : 0;
}

TEST(Textures, CrownsAreGoldSilverAndBronze) {
  const Picture gold = Load(tex::kCrown1);
  const Picture silver = Load(tex::kCrown2);
  const Picture bronze = Load(tex::kCrown3);
  ASSERT_TRUE(gold.ok && silver.ok && bronze.ok);
  // Silver is the least coloured of the three.
  EXPECT_LT(MeanSaturation(silver), MeanSaturation(gold));
  EXPECT_LT(MeanSaturation(silver), MeanSaturation(bronze));
  // Gold is yellow at its band: red and green high, blue low.
  const InkBox b = BoundsOfInk(gold);
  const std::uint32_t band = gold.Rgba((b.x0 + b.x1) / 2 - 12, b.y1 - 9);
  EXPECT_GT((band >> 24) & 0xFF, 180u);
  EXPECT_GT((band >> 16) & 0xFF, 130u);
  EXPECT_LT((band >> 8) & 0xFF, 120u);
}

TEST(Textures, MissedInsectsAreGreyedOut) {
  const std::pair<const char*, const char*> pairs[] = {{tex::kS, tex::kSMiss},
                                                       {tex::kM, tex::kMMiss},
                                                       {tex::kL, tex::kLMiss},
                                                       {tex::kW, tex::kWMiss}};
  for (const auto& [normal_path, miss_path] : pairs) {
    SCOPED_TRACE(miss_path);
    const Picture normal = Load(normal_path);
    const Picture miss = Load(miss_path);
    ASSERT_TRUE(normal.ok && miss.ok);
    // Away from the cross over its middle (the two diagonals of the centred
    // square), the missed insect has lost its colours.
    const double side = std::min(miss.width, miss.height);
    const double ox = (miss.width - side) / 2, oy = (miss.height - side) / 2;
    int coloured_normal = 0, coloured_miss = 0;
    for (int y = 0; y < miss.height; ++y) {
      for (int x = 0; x < miss.width; ++x) {
        const double u = (x + 0.5 - ox) / side, v = (y + 0.5 - oy) / side;
        if (std::abs(u - v) < 0.16 || std::abs(u + v - 1) < 0.16) continue;
        for (const Picture* p : {&normal, &miss}) {
          if (p->Alpha(x, y) < 200) continue;
          const std::uint8_t* c = &p->rgba[(y * p->width + x) * 4];
          const int sat = std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]});
          if (sat > 40) (p == &normal ? coloured_normal : coloured_miss) += 1;
        }
      }
    }
    EXPECT_GT(coloured_normal, 30);
    EXPECT_LT(coloured_miss, coloured_normal / 5);
  }
}

}  // namespace
