// The data files: every tuning key is there with a sensible value, the
// placement file reads the way the game reads it, and the ranking starts
// well-formed.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/math.h"
#include "media/ini.h"
#include "media/paths.h"

namespace {

using engine::Vec3;

std::string ContentPath(const char* relative) {
  return std::string(POROMEKO_SOURCE_DIR) + "/content/" + relative;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Ini(const char* section, const char* key) {
  return media::GetPrivateProfileString(section, key, media::kMissingKeyMarker,
                                        ContentPath(content::data::kGameData));
}

float IniFloat(const char* section, const char* key) {
  return media::StringToFloat(Ini(section, key));
}

std::vector<float> IniFields(const char* section, const char* key) {
  std::vector<float> out;
  for (const std::string& f : media::SplitString(Ini(section, key), ","))
    out.push_back(media::StringToFloat(f));
  return out;
}

TEST(GameData, EveryKeyTheGameReadsIsPresent) {
  const char* keys[][2] = {{"Player", "radius"},
                           {"Player", "mStartGravity"},
                           {"Player", "mFrameMinus"},
                           {"Player", "mStartJumpV"},
                           {"Player", "mMaxGravity"},
                           {"PlayerEatAtackHitSphere", "radius"},
                           {"PlayerEatAtackHitSphere", "localPos.x"},
                           {"PlayerEatAtackHitSphere", "localPos.y"},
                           {"PlayerEatAtackHitSphere", "localPos.z"},
                           {"Title", "Player"},
                           {"Title", "Enemy"}};
  for (const auto& k : keys) {
    const std::string v = Ini(k[0], k[1]);
    EXPECT_NE(v, media::kMissingKeyMarker) << k[0] << "." << k[1];
    EXPECT_FALSE(v.empty()) << k[0] << "." << k[1];
  }
  EXPECT_EQ(IniFields("Title", "Player").size(), 4u);
  EXPECT_EQ(IniFields("Title", "Enemy").size(), 4u);
}

TEST(GameData, BodyAndMouthSitWhereTheCreatureIs) {
  const float body = IniFloat("Player", "radius");
  EXPECT_GE(body, 0.7f);
  EXPECT_LE(body, 1.3f);
  // The mouth is in front (+Z after the game's half turn), a little below
  // the origin, on the centre line, and within reach of an insect the body
  // bumps against.
  const float z = IniFloat("PlayerEatAtackHitSphere", "localPos.z");
  EXPECT_GT(z, 1.0f);
  EXPECT_LT(z, 2.5f);
  EXPECT_NEAR(IniFloat("PlayerEatAtackHitSphere", "localPos.x"), 0.0f, 1e-6f);
  EXPECT_LT(std::fabs(IniFloat("PlayerEatAtackHitSphere", "localPos.y")), 0.8f);
  EXPECT_GT(IniFloat("PlayerEatAtackHitSphere", "radius"), 0.0f);
}

TEST(GameData, TitleDemoStandsInViewAndTheCaterpillarReachesTheMouth) {
  const auto player = IniFields("Title", "Player");
  const auto enemy = IniFields("Title", "Enemy");
  ASSERT_EQ(player.size(), 4u);
  ASSERT_EQ(enemy.size(), 4u);
  // Title camera: eye (0, 0, -7), fov 60 degrees, 4:3; at z = 0 it spans
  // x +-5.39, y +-4.04.
  const float scale = player[3];
  EXPECT_GE(scale, 0.5f);
  EXPECT_LE(scale, 0.9f);
  EXPECT_NEAR(player[2], 0.0f, 1e-6f);
  EXPECT_LT(std::fabs(player[0]) + 1.5f * scale, 5.39f);
  const float feet = player[1] - 1.5f * scale;
  // The title planet picture's disc: centre y -8.98, radius 7.2 at z = 0.
  const float ground = -8.98f + std::sqrt(7.2f * 7.2f - player[0] * player[0]);
  // On the picture's rim, or a little in front of it (the picture is flat).
  EXPECT_LE(feet, ground + 0.05f);
  EXPECT_GE(feet, ground - 0.45f);
  // The caterpillar's circle hugs the same disc; its top, where the bite
  // starts, is just in front of the creature (which faces +x).
  EXPECT_NEAR(enemy[0], 0.0f, 0.5f);
  EXPECT_NEAR(enemy[1], -8.98f, 0.3f);
  EXPECT_NEAR(enemy[3], 7.35f, 0.3f);
  const float topX = enemy[0], topY = enemy[1] + enemy[3];
  EXPECT_GT(topX, player[0]) << "the caterpillar comes from the creature's front";
  EXPECT_LT(topX - player[0], 2.5f * scale);
  EXPECT_LT(std::fabs(topY - player[1]), 1.5f * scale);
  // It starts off screen to the right (angle 300 degrees).
  const float a = 300.0f * engine::kDegToRad;
  EXPECT_GT(enemy[0] - enemy[3] * std::sin(a), 5.39f);
}

struct CsvLine {
  std::vector<std::string> fields;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

TEST(ObjectPos, HeaderCountsMatchTheLinesAndEveryLineIsWellFormed) {
  const std::string text = ReadFile(ContentPath(content::data::kObjectPos));
  ASSERT_FALSE(text.empty());
  ASSERT_EQ(text.back(), '\n') << "the last line is read only when it ends with a line feed";
  const auto lines = Lines(text);
  ASSERT_GT(lines.size(), 6u);
  const char* labels[] = {"Tree", "Stump", "Flower", "Total"};
  int header[4];
  for (int i = 0; i < 4; ++i) {
    const auto f = media::SplitString(lines[static_cast<std::size_t>(i)], ",");
    ASSERT_EQ(f.size(), 2u) << lines[static_cast<std::size_t>(i)];
    EXPECT_EQ(f[0], labels[i]);
    header[i] = std::stoi(f[1]);
  }
  int counts[3] = {0, 0, 0};
  std::vector<std::pair<std::string, Vec3>> placed;
  for (std::size_t i = 6; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].find('\r'), std::string::npos);
    const auto f = media::SplitString(lines[i], ",");
    ASSERT_EQ(f.size(), 6u) << "line " << i + 1 << ": " << lines[i];
    int kind = -1;
    for (int k = 0; k < 3; ++k)
      if (f[0] == labels[k]) kind = k;
    ASSERT_GE(kind, 0) << "line " << i + 1 << ": unknown kind " << f[0];
    ++counts[kind];
    const engine::Quaternion q{media::StringToFloat(f[2]), media::StringToFloat(f[3]),
                               media::StringToFloat(f[4]), media::StringToFloat(f[1])};
    EXPECT_NEAR(std::sqrt(engine::QuaternionDot(q, q)), 1.0f, 1e-4f) << "line " << i + 1;
    const float scale = media::StringToFloat(f[5]);
    const float lo[] = {0.9f, 0.8f, 1.0f}, hi[] = {1.3f, 1.05f, 2.0f};
    EXPECT_GE(scale, lo[kind]) << "line " << i + 1;
    EXPECT_LE(scale, hi[kind]) << "line " << i + 1;
    const Vec3 up = engine::Vec3TransformCoord({0, 1, 0}, engine::MatrixRotationQuaternion(q));
    placed.emplace_back(f[0], up * 60.0f);
  }
  EXPECT_EQ(header[0], counts[0]);
  EXPECT_EQ(header[1], counts[1]);
  EXPECT_EQ(header[2], counts[2]);
  EXPECT_EQ(header[3], counts[0] + counts[1] + counts[2]);
  EXPECT_GE(counts[0], 25) << "a tree for every beetle";
  EXPECT_GE(counts[2], 30) << "a flower for every butterfly";
  EXPECT_GE(counts[1], 8);

  // Nothing in the creature's way at the start, nothing overlapping.
  const Vec3 start{0, 60, 0};
  for (std::size_t i = 0; i < placed.size(); ++i) {
    EXPECT_GT(engine::Vec3Length(placed[i].second - start), 12.0f) << placed[i].first << i;
    for (std::size_t j = i + 1; j < placed.size(); ++j) {
      const float d = engine::Vec3Length(placed[i].second - placed[j].second);
      const bool trees = placed[i].first == "Tree" && placed[j].first == "Tree";
      EXPECT_GT(d, trees ? 6.0f : 2.5f) << placed[i].first << i << " and " << placed[j].first << j;
    }
  }
}

TEST(Ranking, ThreeWellFormedLines) {
  const std::string text = ReadFile(ContentPath(content::data::kRanking));
  const auto lines = Lines(text);
  ASSERT_EQ(text.back(), '\n');
  ASSERT_EQ(lines.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto f = media::SplitString(lines[i], ",");
    ASSERT_EQ(f.size(), 2u) << lines[i];
    EXPECT_EQ(f[0], std::to_string(i + 1) + "位");
    ASSERT_EQ(f[1].size(), 6u);
    for (char c : f[1]) EXPECT_TRUE(c >= '0' && c <= '9') << lines[i];
  }
}

}  // namespace
