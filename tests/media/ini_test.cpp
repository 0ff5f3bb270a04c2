#include "media/ini.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>

#include "media/tuning.h"

namespace media {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("poromeko_ini_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    path_ = (dir_ / "t.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Get(const char* section, const char* key) {
    return GetPrivateProfileString(section, key, kMissingKeyMarker, path_);
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(ProfileTest, NamesAreCaseInsensitiveAndBlanksTrimmed) {
  Write("[Player]\n  Radius =  1.25  \nmStartGravity=0.5\n[Title]\nPlayer=1,2,3,4\n");
  EXPECT_EQ(Get("player", "RADIUS"), "1.25");
  EXPECT_EQ(Get("Player", "mStartGravity"), "0.5");
  EXPECT_EQ(Get("Title", "Player"), "1,2,3,4");
  EXPECT_EQ(Get("Title", "radius"), kMissingKeyMarker);  // other section
}

TEST_F(ProfileTest, MissingFileSectionOrKeyGiveTheFallback) {
  EXPECT_EQ(Get("Player", "radius"), kMissingKeyMarker);  // no file yet
  Write("[Player]\nradius=1\n");
  EXPECT_EQ(Get("Nope", "radius"), kMissingKeyMarker);
  EXPECT_EQ(Get("Player", "nope"), kMissingKeyMarker);
}

TEST_F(ProfileTest, QuotesDuplicatesEmptyValuesAndLength) {
  std::string longValue(300, 'x');
  Write("[A]\nq=\"quoted value\"\nmis=\"half\nk=first\nk=second\nempty=\nlong=" + longValue +
        "\n[A]\nlate=1\n");
  EXPECT_EQ(Get("A", "q"), "quoted value");
  EXPECT_EQ(Get("A", "mis"), "\"half");
  EXPECT_EQ(Get("A", "k"), "first");
  EXPECT_EQ(Get("A", "empty"), "");  // present but empty is not missing
  EXPECT_EQ(Get("A", "long").size(), 255u);
}

TEST_F(ProfileTest, CrlfNoFinalNewlineAndBrokenLinesAreTolerated) {
  Write("[S]\r\na=1\r\nnoequals\r\n[broken\r\nb=2");
  EXPECT_EQ(Get("S", "a"), "1");
  EXPECT_EQ(Get("broken", "b"), "2");
}

TEST_F(ProfileTest, BinaryGarbageNeverCrashes) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>((i * 131 + 7) & 0xff));
  Write(junk);
  EXPECT_EQ(Get("Player", "radius"), kMissingKeyMarker);
  Write(std::string("[P]\n\0\0=\0\n", 10));
  EXPECT_EQ(Get("P", "x"), kMissingKeyMarker);
}

TEST(SplitStringTest, CommaTable) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitString("a,b,c", ","), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitString("a,,b", ","), (V{"a", "b"}));
  EXPECT_EQ(SplitString(",a,", ","), (V{"a"}));
  EXPECT_EQ(SplitString("abc", ","), (V{"abc"}));
  EXPECT_EQ(SplitString("", ","), V{});
  EXPECT_EQ(SplitString(",", ","), V{});
  EXPECT_EQ(SplitString("x::y", "::"), (V{"x", "y"}));
  EXPECT_EQ(SplitString("x:y", "::"), (V{"x:y"}));
  // An empty delimiter cannot split (and must not loop forever).
  EXPECT_EQ(SplitString("abc", ""), (V{"abc"}));
}

TEST(StringToFloatTest, LeadingNumberOrZero) {
  EXPECT_EQ(StringToFloat("1.5"), 1.5f);
  EXPECT_EQ(StringToFloat(" 2"), 2.0f);
  EXPECT_EQ(StringToFloat("3abc"), 3.0f);
  EXPECT_EQ(StringToFloat("-999"), -999.0f);
  EXPECT_EQ(StringToFloat("1e2"), 100.0f);
  EXPECT_EQ(StringToFloat(""), 0.0f);
  EXPECT_EQ(StringToFloat("abc"), 0.0f);
  EXPECT_EQ(StringToFloat("-"), 0.0f);
}

class TuningFileTest : public ProfileTest {
 protected:
  void SetUp() override {
    ProfileTest::SetUp();
    old_ = fs::current_path();
    fs::create_directories(dir_ / "Data");
    fs::current_path(dir_);
    path_ = (dir_ / "Data" / "game_data.ini").string();
  }
  void TearDown() override {
    fs::current_path(old_);
    ProfileTest::TearDown();
  }
  fs::path old_;
};

TEST_F(TuningFileTest, ReadIniFloatAndTheMarker) {
  Write("[Player]\nradius=1.5\nblank= 2\nword=3abc\nneg=-999\nmarker=" +
        std::string(kMissingKeyMarker) + "\nmore=" + std::string(kMissingKeyMarker) + "x\n");
  EXPECT_EQ(ReadIniFloat("Player", "radius"), 1.5f);
  EXPECT_EQ(ReadIniFloat("Player", "blank"), 2.0f);
  EXPECT_EQ(ReadIniFloat("Player", "word"), 3.0f);
  EXPECT_EQ(ReadIniFloat("Player", "neg"), kMissingKeyValue);
  EXPECT_EQ(ReadIniFloat("Player", "missing"), kMissingKeyValue);
  // A value that is the marker reads as missing; one that only starts with it
  // is an ordinary (non-numeric) value.
  EXPECT_EQ(ReadIniFloat("Player", "marker"), kMissingKeyValue);
  EXPECT_EQ(ReadIniFloat("Player", "more"), 0.0f);
  EXPECT_EQ(ReadIniString("Player", "missing"), kMissingKeyMarker);
  EXPECT_EQ(kMissingKeyMarker.size(), 39u);  // UTF-8 bytes of the marker
}

TEST_F(TuningFileTest, MissingKeysAreToldOnceAtLoad) {
  Write("[Player]\nradius=1.5\nmStartGravity=-999\n[Title]\nPlayer=1,2,3,4\nEnemy=\n");
  ::testing::internal::CaptureStderr();
  const Tuning t = LoadTuning(path_);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(t.player.radius, 1.5f);
  EXPECT_EQ(t.player.mStartGravity, -999.0f);  // written, so not missing
  EXPECT_EQ(t.player.mMaxGravity, kMissingKeyValue);
  EXPECT_EQ(t.title.player.count, 4);
  EXPECT_EQ(t.title.enemy.count, 0);
  EXPECT_NE(err.find(path_ + " gives no [Player] mMaxGravity; it reads as -999"), std::string::npos)
      << err;
  EXPECT_NE(err.find("gives no [PlayerEatAtackHitSphere] localPos.x"), std::string::npos) << err;
  EXPECT_NE(err.find("gives no [Title] Enemy; it reads as 0"), std::string::npos) << err;
  EXPECT_EQ(err.find("[Player] radius"), std::string::npos) << err;
  EXPECT_EQ(err.find("mStartGravity"), std::string::npos) << err;
  EXPECT_EQ(err.find("[Title] Player"), std::string::npos) << err;

  // No file (or a folder in its place): one line saying why, every value missing.
  for (const auto& [path, why] : {std::pair{(dir_ / "none.ini").string(), "No such file"},
                                  std::pair{dir_.string(), "not a regular file"}}) {
    ::testing::internal::CaptureStderr();
    const Tuning none = LoadTuning(path);
    const std::string line = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(none.player.radius, kMissingKeyValue);
    EXPECT_EQ(line.rfind("poromeko: cannot read " + path + ": ", 0), 0u) << line;
    EXPECT_NE(line.find(why), std::string::npos) << line;
    const std::string tail = "; the tuning values read as -999\n";
    EXPECT_TRUE(line.size() > tail.size() && line.ends_with(tail)) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
  }
}

}  // namespace
}  // namespace media
