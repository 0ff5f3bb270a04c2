#include "app/folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/file.h"

namespace app {
namespace {

namespace fs = std::filesystem;

class FoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("poromeko_folders_" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg) oldXdg_ = xdg;
    hadXdg_ = xdg != nullptr;
    setenv("XDG_DATA_HOME", (root_ / "xdg").c_str(), 1);
  }
  void TearDown() override {
    if (hadXdg_) {
      setenv("XDG_DATA_HOME", oldXdg_.c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
    fs::remove_all(root_);
  }
  // A folder with the game's files (the planet and a shipped ranking).
  fs::path Game(const fs::path& where) {
    fs::create_directories(where / "XFile");
    fs::create_directories(where / "Data");
    std::ofstream(where / "XFile" / "planet.x") << "xof 0303txt 0032\n";
    std::ofstream(where / "Data" / "Ranking.txt") << "1位,000100\n2位,000050\n3位,000010\n";
    return where;
  }

  fs::path root_;
  std::string oldXdg_;
  bool hadXdg_ = false;
};

TEST_F(FoldersTest, ABuildTreeKeepsItsRankingBesideItsContent) {
  const fs::path game = Game(root_ / "build" / "game");
  const GameFolders f = FindGameFolders("", game.string(), (root_ / "elsewhere").string());
  EXPECT_TRUE(f.found);
  EXPECT_EQ(fs::path(f.content), game);
  EXPECT_EQ(fs::path(f.ranking), game / "Data" / "Ranking.txt");
}

TEST_F(FoldersTest, AnInstalledGameKeepsItsRankingInTheUsersDataFolder) {
  const fs::path prefix = root_ / "prefix";
  fs::create_directories(prefix / "bin");
  const fs::path share = Game(prefix / "share" / "poromeko");
  const GameFolders f = FindGameFolders("", (prefix / "bin").string(), "/");
  EXPECT_TRUE(f.found);
  EXPECT_EQ(fs::path(f.content), share);
  EXPECT_EQ(fs::path(f.ranking), root_ / "xdg" / "poromeko" / "Ranking.txt");
  // The first start copies the shipped scores there; later starts keep the
  // player's own.
  PrepareRanking(f);
  std::ifstream first(f.ranking);
  std::string line;
  std::getline(first, line);
  EXPECT_EQ(line, "1位,000100");
  std::ofstream(f.ranking) << "1位,099999\n";
  PrepareRanking(f);
  std::ifstream second(f.ranking);
  std::getline(second, line);
  EXPECT_EQ(line, "1位,099999");
}

TEST_F(FoldersTest, DataFolderWinsAndTheWorkingFolderIsTheLastResort) {
  const fs::path beside = Game(root_ / "beside");
  const fs::path given = Game(root_ / "given");
  GameFolders f = FindGameFolders(given.string(), beside.string(), "/");
  EXPECT_EQ(fs::path(f.content), given);
  // A relative --data is taken from the folder the game was started in.
  f = FindGameFolders("given", beside.string(), root_.string());
  EXPECT_EQ(fs::path(f.content), given);
  // Nothing beside the executable nor installed: the working folder.
  const fs::path cwd = Game(root_ / "cwd");
  f = FindGameFolders("", (root_ / "empty").string(), cwd.string());
  EXPECT_TRUE(f.found);
  EXPECT_EQ(fs::path(f.content), cwd);
  // No game anywhere: said so, and the working folder is where it looks.
  f = FindGameFolders("", (root_ / "empty").string(), (root_ / "nothing").string());
  EXPECT_FALSE(f.found);
  EXPECT_EQ(fs::path(f.content), root_ / "nothing");
}

TEST_F(FoldersTest, UserDataFolderFollowsTheXdgRules) {
  EXPECT_EQ(fs::path(platform::UserDataDir("poromeko")), root_ / "xdg" / "poromeko");
  setenv("XDG_DATA_HOME", "relative/ignored", 1);
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(fs::path(platform::UserDataDir("poromeko")),
              fs::path(home) / ".local" / "share" / "poromeko");
  }
}

}  // namespace
}  // namespace app
