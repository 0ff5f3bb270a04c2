#include "app/journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace app {
namespace {

namespace fs = std::filesystem;

TEST(JournalTest, WrittenJournalReadsBackTickForTick) {
  const fs::path path = fs::temp_directory_path() / "poromeko_journal_roundtrip.txt";
  std::vector<platform::TickInput> ticks;
  for (int i = 0; i < 300; ++i) {
    platform::TickInput t;
    t.held = static_cast<std::uint16_t>((i * 37) & platform::kAllKeys);
    t.pressed = static_cast<std::uint16_t>((i * 11) & t.held);
    ticks.push_back(t);
  }
  {
    JournalWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(path.string(), 4000000000u, &error)) << error;
    for (const auto& t : ticks) writer.Append(t);
  }
  Journal journal;
  std::string error;
  ASSERT_TRUE(ReadJournal(path.string(), &journal, &error)) << error;
  EXPECT_EQ(journal.seed, 4000000000u);
  EXPECT_EQ(journal.ticks, ticks);
  fs::remove(path);
}

TEST(JournalTest, RefusesWhatIsNotAJournalOfThisGame) {
  Journal j;
  std::string error;
  const std::string header = "poromeko-journal 1\nversion 1.00\nseed 7\n";
  EXPECT_TRUE(ParseJournal(header, &j, &error)) << error;
  EXPECT_TRUE(j.ticks.empty());
  EXPECT_TRUE(ParseJournal(header + "0001 0001\r\n0000 0000", &j, &error)) << error;
  EXPECT_EQ(j.ticks.size(), 2u);  // CRLF and a missing final line feed are fine

  const std::pair<std::string, const char*> bad[] = {
      {"", "header"},
      {"hello\n", "line 1"},
      {"poromeko-journal 1\nversion 0.99\nseed 7\n", "line 2"},
      {"poromeko-journal 1\nversion 1.00\n", "header"},
      {"poromeko-journal 1\nversion 1.00\nseed -1\n", "line 3"},
      {"poromeko-journal 1\nversion 1.00\nseed 99999999999\n", "line 3"},
      {header + "0001 0001\n001 0001\n", "line 5"},
      {header + "00g1 0000\n", "line 4"},
      {header + "0001  0001\n", "line 4"},
      {header + "\n0001 0000\n", "line 4"},
      {header + "8000 0000\n", "line 4"},  // no such key
  };
  for (const auto& [text, where] : bad) {
    error.clear();
    EXPECT_FALSE(ParseJournal(text, &j, &error)) << text;
    EXPECT_NE(error.find(where), std::string::npos) << error;
  }
  EXPECT_FALSE(ReadJournal("/nonexistent/journal.txt", &j, &error));
  EXPECT_NE(error.find("/nonexistent/journal.txt"), std::string::npos);
}

}  // namespace
}  // namespace app
