// The journal of a run: the seed and every update's keys, so the same run can
// be played again tick for tick (--record FILE, --replay FILE).
//
// The file is text: a header line "poromeko-journal 2", a line "version V"
// with the game's version, a line "seed N", then one line per update after
// the loading scene with the held and pressed key bits as four hexadecimal
// digits each ("0010 0010"), and last a closing line "end N DIGEST": the
// number of updates and a 64-bit FNV-1a digest, in 16 hexadecimal digits, of
// the seed line and every update's line as written. A journal whose seed or
// keys were changed, or whose closing line does not match, is refused; one
// without a closing line (cut short, or written before journals had one:
// "poromeko-journal 1") reads as unchecked, and the game says so when it
// replays it. Unknown header lines are refused, so a journal from a game
// that differs cannot replay into a different run unnoticed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/input.h"

namespace app {

inline constexpr const char* kJournalMagic = "poromeko-journal 2";
// Journals written before the closing line, still read (unchecked).
inline constexpr const char* kJournalMagicUnchecked = "poromeko-journal 1";
inline constexpr const char* kGameVersion = "1.00";

// The largest journal read: an update takes one line of ten bytes, so this
// holds over three million updates, fifteen hours of play.
inline constexpr std::uint64_t kMaxJournalBytes = 32u << 20;

struct Journal {
  std::uint32_t seed = 0;
  std::vector<platform::TickInput> ticks;
  bool checked = false;  // its closing line was there and matched
};

// What the closing line's digest is computed over: the seed line, then each
// update's line, as the writer writes them.
class JournalDigest {
 public:
  explicit JournalDigest(std::uint32_t seed);
  void Add(const platform::TickInput& input);
  std::uint64_t Value() const { return hash_; }

 private:
  void AddText(std::string_view text);
  std::uint64_t hash_ = 0xcbf29ce484222325ull;
};

// Parses a journal. False, with a message naming the line, for anything that
// is not a journal of this version.
bool ParseJournal(std::string_view text, Journal* journal, std::string* error);
bool ReadJournal(const std::string& path, Journal* journal, std::string* error);

// Writes a journal as it goes: the header at Open, one line per Append, the
// closing line at Close. Writing problems are reported once on standard
// error; the game goes on, and Close says whether the journal was written
// whole.
class JournalWriter {
 public:
  JournalWriter() = default;
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  bool Open(const std::string& path, std::uint32_t seed, std::string* error);
  void Append(const platform::TickInput& input);
  // Ends the journal with its closing line. False when any of it could not
  // be written. Closing a writer that is not open succeeds.
  bool Close();
  bool IsOpen() const { return file_ != nullptr; }

 private:
  void Failed();

  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
  std::size_t ticks_ = 0;
  JournalDigest digest_{0};
};

}  // namespace app
