// The ranking file: what its lines read as, what a new score writes, and that
// the player's three best scores survive a crash in the middle of a write and
// files or folders that are not what they should be.
#include "scenes/result/ranking.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace scenes {
namespace {

namespace fs = std::filesystem;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

constexpr char kStored[] = "1位,005000\n2位,003000\n3位,001000\n";
// The same scores as the old game wrote them: Shift-JIS rank character, CRLF.
constexpr char kOldStored[] = "1\x88\xCA,005000\r\n2\x88\xCA,003000\r\n3\x88\xCA,001000\r\n";

class RankingFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("poromeko_ranking_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Ranking.txt").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  void Put(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string Contents() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Files other than the ranking itself and its lock: what a write left
  // behind.
  std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (entry.path() != fs::path(path_) && name != ".Ranking.txt.lock") names.push_back(name);
    }
    return names;
  }
  // Runs `body` in a child process without root's rights (root reads and
  // writes anything); its exit code and what it said on standard error.
  // The exit code is 77 where the rights cannot be dropped.
  static std::pair<int, std::string> AsNobody(const std::function<int()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {-1, ""};
    const pid_t child = ::fork();
    if (child < 0) return {-1, ""};
    if (child == 0) {
      ::close(pipeFds[0]);
      ::dup2(pipeFds[1], 2);
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
      ::_exit(body());
    }
    ::close(pipeFds[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
      said.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return {-1, said};
    return {WEXITSTATUS(status), said};
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(RankingFileTest, ANewScoreTakesItsPlaceAndTheFileIsRewrittenWhole) {
  // A score equal to a stored one ranks above it; the third drops out.
  Put(kStored);
  Ranking ranking = LoadRanking(path_);
  EXPECT_EQ(ranking, (Ranking{5000, 3000, 1000}));
  EXPECT_EQ(EnterScore(ranking, 3000, path_), 1);
  EXPECT_EQ(ranking, (Ranking{5000, 3000, 3000}));
  EXPECT_EQ(Contents(), "1位,005000\n2位,003000\n3位,003000\n");
  EXPECT_EQ(LoadRanking(path_), (Ranking{5000, 3000, 3000}));

  // 0 against three zeros takes the first place, and the file is written
  // again (here from the old form into the new one).
  Put("1\x88\xCA,000000\r\n2\x88\xCA,000000\r\n3\x88\xCA,000000\r\n");
  ranking = LoadRanking(path_);
  EXPECT_EQ(EnterScore(ranking, 0, path_), 0);
  EXPECT_EQ(Contents(), "1位,000000\n2位,000000\n3位,000000\n");

  // More than six digits are written in full and read back.
  Put(kStored);
  ranking = LoadRanking(path_);
  EXPECT_EQ(EnterScore(ranking, 1234567, path_), 0);
  EXPECT_EQ(Contents(), "1位,1234567\n2位,005000\n3位,003000\n");
  EXPECT_EQ(LoadRanking(path_), (Ranking{1234567, 5000, 3000}));

  // A longer old file leaves nothing of itself behind the new lines.
  Put(std::string(kStored) + "4位,000999\nsomething else\n");
  ranking = LoadRanking(path_);
  EXPECT_EQ(EnterScore(ranking, 1000, path_), 2);
  EXPECT_EQ(Contents(), "1位,005000\n2位,003000\n3位,001000\n");
  EXPECT_TRUE(Strays().empty());
}

TEST_F(RankingFileTest, AScoreBelowAllThreeLeavesTheFileUntouched) {
  Put(kOldStored);
  struct stat before {};
  ASSERT_EQ(::stat(path_.c_str(), &before), 0);
  Ranking ranking = LoadRanking(path_);
  EXPECT_EQ(EnterScore(ranking, 999, path_), -1);
  EXPECT_EQ(ranking, (Ranking{5000, 3000, 1000}));
  // The same file (not a rewritten copy) with the same bytes.
  struct stat after {};
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(Contents(), kOldStored);
  EXPECT_TRUE(Strays().empty());
}

TEST_F(RankingFileTest, AMissingFileReadsAsZerosQuietlyAndTheFirstScoreCreatesIt) {
  CaptureStderr();
  Ranking ranking = LoadRanking(path_);
  EXPECT_EQ(ranking, (Ranking{0, 0, 0}));
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(EnterScore(ranking, 42, path_), 0);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(Contents(), "1位,000042\n2位,000000\n3位,000000\n");
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::owner_read, fs::perms::owner_read);
}

TEST_F(RankingFileTest, TheOldShiftJisFileWithCrLfReadsLikeTheNewOne) {
  CaptureStderr();
  Put(kOldStored);
  EXPECT_EQ(LoadRanking(path_), (Ranking{5000, 3000, 1000}));
  // Without the last line end, too.
  Put("1\x88\xCA,005000\r\n2\x88\xCA,003000\r\n3\x88\xCA,001000");
  EXPECT_EQ(LoadRanking(path_), (Ranking{5000, 3000, 1000}));
  Put(kStored);
  EXPECT_EQ(LoadRanking(path_), (Ranking{5000, 3000, 1000}));
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(RankingFileTest, UnreadableScoresCountAsZeroAndNameTheirLine) {
  struct Case {
    const char* bytes;
    Ranking expected;
    const char* message;  // expected in the report; null for none
  };
  const Case cases[] = {
      {"hello\nworld\n!!!\n", {0, 0, 0}, "line 1"},
      {"1位005000\n2位,003000\n3位,001000\n", {0, 3000, 1000}, "line 1"},
      {"1位,005000\n2位,-3000\n3位,001000\n", {5000, 0, 1000}, "line 2"},
      {"1位,005000\n2位,003000\n3位,99999999999999999999\n", {5000, 3000, 0}, "line 3"},
      // The largest score an int holds, and one more.
      {"1位,2147483647\n2位,2147483648\n3位,1\n", {2147483647, 0, 1}, "line 2"},
      {"1位,\n2位,,\n3位,x1\n", {0, 0, 0}, "line 3"},
      {"", {0, 0, 0}, nullptr},  // a file not yet written to
      // Digits up to the first other character, as the old reader took them.
      {"1位,0012ab\n2位, 7\n3位,+3\n", {12, 7, 3}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    Put(c.bytes);
    CaptureStderr();
    EXPECT_EQ(LoadRanking(path_), c.expected);
    const std::string said = GetCapturedStderr();
    if (c.message) {
      EXPECT_NE(said.find(path_), std::string::npos) << said;
      EXPECT_NE(said.find(c.message), std::string::npos) << said;
    } else {
      EXPECT_EQ(said, "");
    }
  }

  // The run goes on: the next score replaces the garbage with a good file,
  // after keeping the garbage beside it (it may be someone's, in UTF-16).
  const std::string garbage = std::string(
                                  "\xFF\xFE"
                                  "1\0",
                                  4) +
                              "hello\nworld\n!!!\n";
  Put(garbage);
  CaptureStderr();
  Ranking ranking = LoadRanking(path_);
  EXPECT_EQ(EnterScore(ranking, 10, path_), 0);
  const std::string said = GetCapturedStderr();
  EXPECT_EQ(Contents(), "1位,000010\n2位,000000\n3位,000000\n");
  const std::vector<std::string> kept = Strays();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].rfind("Ranking.txt.bad-", 0), 0u) << kept[0];
  EXPECT_NE(said.find(kept[0]), std::string::npos) << said;
  std::ifstream in(dir_ / kept[0], std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
  // A good file is replaced without a copy.
  EXPECT_EQ(EnterScore(ranking, 20, path_), 0);
  EXPECT_EQ(Strays().size(), 1u);
}

TEST_F(RankingFileTest, AHugeFileIsReadOnlyAsFarAsItsThreeLines) {
  const std::size_t tenMegabytes = 10u << 20;
  Put(std::string(kStored) + std::string(tenMegabytes, 'z'));
  CaptureStderr();
  EXPECT_EQ(LoadRanking(path_), (Ranking{5000, 3000, 1000}));
  GetCapturedStderr();

  // One line of ten million digits: no number, no crash.
  Put("1位," + std::string(tenMegabytes, '9'));
  CaptureStderr();
  EXPECT_EQ(LoadRanking(path_), (Ranking{0, 0, 0}));
  const std::string said = GetCapturedStderr();
  EXPECT_NE(said.find(path_), std::string::npos) << said;

  // And it is replaced by the next score like any other file.
  Ranking ranking{0, 0, 0};
  EXPECT_EQ(EnterScore(ranking, 5, path_), 0);
  EXPECT_EQ(Contents(), "1位,000005\n2位,000000\n3位,000000\n");
}

TEST_F(RankingFileTest, ADirectoryInPlaceOfTheFileIsReportedAndLeftAlone) {
  fs::create_directories(path_);
  std::ofstream(fs::path(path_) / "keep.txt") << "mine";
  CaptureStderr();
  Ranking ranking = LoadRanking(path_);
  std::string said = GetCapturedStderr();
  EXPECT_EQ(ranking, (Ranking{0, 0, 0}));
  EXPECT_EQ(said, "") << "said once as the game starts, not at every read";

  CaptureStderr();
  // A score the file cannot take does not count as ranked.
  EXPECT_EQ(EnterScore(ranking, 100, path_), -1);
  said = GetCapturedStderr();
  EXPECT_EQ(ranking, (Ranking{0, 0, 0}));
  EXPECT_NE(said.find("not saved"), std::string::npos) << said;
  EXPECT_NE(said.find(path_), std::string::npos) << said;
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_TRUE(fs::exists(fs::path(path_) / "keep.txt"));
  EXPECT_TRUE(Strays().empty());
}

TEST_F(RankingFileTest, AFolderThatCannotBeReachedIsReported) {
  // A plain file where the folder should be, and a folder that is not there:
  // no one can write beneath either.
  const fs::path plain = dir_ / "plain";
  std::ofstream(plain) << "not a folder";
  for (const fs::path& where : {plain / "Ranking.txt", dir_ / "gone" / "Ranking.txt"}) {
    SCOPED_TRACE(where.string());
    CaptureStderr();
    Ranking ranking = LoadRanking(where.string());
    EXPECT_EQ(ranking, (Ranking{0, 0, 0}));
    EXPECT_EQ(EnterScore(ranking, 77, where.string()), -1);
    const std::string said = GetCapturedStderr();
    EXPECT_NE(said.find("not saved"), std::string::npos) << said;
    EXPECT_NE(said.find(where.string()), std::string::npos) << said;
  }
  EXPECT_FALSE(fs::exists(dir_ / "gone"));
  EXPECT_TRUE(fs::is_regular_file(plain));
}

TEST_F(RankingFileTest, AReadOnlyFolderKeepsTheOldFileAndSaysSo) {
  Put(kStored);
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  const auto [code, said] = AsNobody([this] {
    Ranking ranking = LoadRanking(path_);
    const int place = EnterScore(ranking, 9000, path_);
    return place == -1 && ranking == Ranking{5000, 3000, 1000} ? 0 : 1;
  });
  if (code == 77) GTEST_SKIP() << "cannot drop root rights here";
  EXPECT_EQ(code, 0);
  EXPECT_NE(said.find("not saved"), std::string::npos) << said;
  EXPECT_NE(said.find(path_), std::string::npos) << said;
  EXPECT_EQ(Contents(), kStored);
  EXPECT_TRUE(Strays().empty());
}

// A ranking the player cannot read (root's, after a game run with sudo)
// shows as zeros and is never replaced by the next score.
TEST_F(RankingFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
  Put(kStored);
  ASSERT_EQ(::chmod(path_.c_str(), 0), 0);
  const auto [code, said] = AsNobody([this] {
    Ranking ranking = LoadRanking(path_);
    if (ranking != Ranking{0, 0, 0}) return 1;
    return EnterScore(ranking, 9000, path_) == -1 ? 0 : 2;
  });
  if (code == 77) GTEST_SKIP() << "cannot drop root rights here";
  EXPECT_EQ(code, 0);
  EXPECT_NE(said.find("not overwritten"), std::string::npos) << said;
  ::chmod(path_.c_str(), 0644);
  EXPECT_EQ(Contents(), kStored);
}

// What a write killed before its rename left behind goes at the next write,
// once it is a minute old; nothing else beside the ranking is touched.
TEST_F(RankingFileTest, TheNextWriteRemovesStaleTemporaryFilesOfOurs) {
  Put(kStored);
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
  for (const char* name : {".Ranking.txt.a1B2c3", ".Ranking.txt.fresh1", ".Ranking.txt.long123",
                           ".Other.txt.a1B2c3", "notes.txt"}) {
    std::ofstream(dir_ / name) << "x";
    if (std::string(name) != ".Ranking.txt.fresh1") fs::last_write_time(dir_ / name, old);
  }
  Ranking ranking = LoadRanking(path_);
  EXPECT_EQ(EnterScore(ranking, 4000, path_), 1);
  std::vector<std::string> left = Strays();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".Other.txt.a1B2c3", ".Ranking.txt.fresh1",
                                            ".Ranking.txt.long123", "notes.txt"}));
}

// Runs a write of `bytes` in a child process that is killed right after
// `step`; returns whether it died there.
bool WriteKilledAfter(const std::string& path, const std::string& bytes, platform::WriteStep step) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    std::string error;
    platform::WriteFileAtomically(path, bytes, &error, [step](platform::WriteStep at) {
      if (at == step) ::raise(SIGKILL);
    });
    ::_exit(0);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST_F(RankingFileTest, ACrashAtAnyStepOfAWriteLeavesTheOldFileOrTheNewOneWhole) {
  using platform::WriteStep;
  // Lines of different lengths, so that a mixture of the two would show.
  const std::string oldText = kStored;
  Ranking next{1234567, 5000, 3000};
  const std::string newText = RankingText(next);
  ASSERT_EQ(newText, "1位,1234567\n2位,005000\n3位,003000\n");
  struct Case {
    WriteStep step;
    bool replaced;  // the new file is in place when the crash comes
  };
  for (const Case c : {Case{WriteStep::Created, false}, Case{WriteStep::Written, false},
                       Case{WriteStep::Flushed, false}, Case{WriteStep::Renamed, true}}) {
    SCOPED_TRACE(static_cast<int>(c.step));
    Put(oldText);
    ASSERT_TRUE(WriteKilledAfter(path_, newText, c.step));
    EXPECT_EQ(Contents(), c.replaced ? newText : oldText);
    EXPECT_EQ(LoadRanking(path_), c.replaced ? next : (Ranking{5000, 3000, 1000}));

    // The first write of all: before the rename there is still no file.
    fs::remove(path_);
    ASSERT_TRUE(WriteKilledAfter(path_, newText, c.step));
    EXPECT_EQ(fs::exists(path_), c.replaced);
    if (c.replaced) {
      EXPECT_EQ(Contents(), newText);
    }
  }

  // Whatever a crash left behind, the next score is saved.
  Put(oldText);
  Ranking ranking = LoadRanking(path_);
  EXPECT_EQ(EnterScore(ranking, 4000, path_), 1);
  EXPECT_EQ(Contents(), "1位,005000\n2位,004000\n3位,003000\n");
}

}  // namespace
}  // namespace scenes
