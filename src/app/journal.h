// The journal of a run: the seed and every update's keys, so the same run can
// be played again tick for tick (--record FILE, --replay FILE).
//
// The file is text: a header line "poromeko-journal 1", a line "version V"
// with the game's version, a line "seed N", then one line per update after
// the loading scene with the held and pressed key bits as four hexadecimal
// digits each ("0010 0010"). Unknown header lines are refused, so a journal
// from a game that differs cannot replay into a different run unnoticed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/input.h"

namespace app {

inline constexpr const char* kJournalMagic = "poromeko-journal 1";
inline constexpr const char* kGameVersion = "1.00";

struct Journal {
  std::uint32_t seed = 0;
  std::vector<platform::TickInput> ticks;
};

// Parses a journal. False, with a message naming the line, for anything that
// is not a journal of this version.
bool ParseJournal(std::string_view text, Journal* journal, std::string* error);
bool ReadJournal(const std::string& path, Journal* journal, std::string* error);

// Writes a journal as it goes: the header at Open, one line per Append,
// flushed when closed. Writing problems are reported once on standard error;
// the game goes on.
class JournalWriter {
 public:
  JournalWriter() = default;
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  bool Open(const std::string& path, std::uint32_t seed, std::string* error);
  void Append(const platform::TickInput& input);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
};

}  // namespace app
