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
  EXPECT_TRUE(journal.checked);

  // Changed after it was written: another seed, a key, an update taken out
  // or added: refused, naming what.
  std::ifstream in(path, std::ios::binary);
  std::stringstream whole;
  whole << in.rdbuf();
  const std::string text = whole.str();
  const std::size_t firstTick = text.find("seed 4000000000\n") + 16;
  const std::size_t closing = text.rfind("end ");
  const std::pair<std::string, const char*> changed[] = {
      {std::string(text).replace(text.find("seed 4"), 6, "seed 3"), "seed or the keys"},
      {std::string(text).replace(firstTick, 4, "0001"), "seed or the keys"},
      {std::string(text).erase(firstTick, 10), "299 updates"},
      {std::string(text).insert(closing, "0000 0000\n"), "301 updates"},
      {text + "0000 0000\n", "follows the closing line"},
      {std::string(text).replace(closing, 4, "end x"), "closing line must be"},
  };
  for (const auto& [bad, why] : changed) {
    error.clear();
    EXPECT_FALSE(ParseJournal(bad, &journal, &error));
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
  // Cut short at a line's end: it reads, but unchecked.
  ASSERT_TRUE(ParseJournal(text.substr(0, closing), &journal, &error)) << error;
  EXPECT_EQ(journal.ticks, ticks);
  EXPECT_FALSE(journal.checked);
  fs::remove(path);
}

TEST(JournalTest, RefusesWhatIsNotAJournalOfThisGame) {
  Journal j;
  std::string error;
  // A journal from before closing lines reads, unchecked.
  const std::string header = "poromeko-journal 1\nversion 1.00\nseed 7\n";
  EXPECT_TRUE(ParseJournal(header, &j, &error)) << error;
  EXPECT_TRUE(j.ticks.empty());
  EXPECT_FALSE(j.checked);
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
