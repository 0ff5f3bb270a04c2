#include "app/journal.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "platform/file.h"

namespace app {

namespace {

bool ParseHex16(std::string_view s, std::uint16_t* out) {
  if (s.size() != 4) return false;
  unsigned value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 16);
  if (ec != std::errc() || ptr != s.data() + s.size() || value > 0xFFFFu) return false;
  *out = static_cast<std::uint16_t>(value);
  return true;
}

std::string LineError(std::size_t line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

std::string SeedLine(std::uint32_t seed) { return "seed " + std::to_string(seed) + "\n"; }

std::string TickLine(const platform::TickInput& input) {
  char line[16];
  std::snprintf(line, sizeof line, "%04x %04x\n", static_cast<unsigned>(input.held),
                static_cast<unsigned>(input.pressed));
  return line;
}

constexpr std::string_view kEnd = "end ";

// The closing line after "end ": the number of updates and the digest must
// be what the journal above it gives.
bool CheckClosingLine(std::string_view rest, const Journal& journal, std::string* error) {
  const std::size_t space = rest.find(' ');
  std::size_t count = 0;
  std::uint64_t digest = 0;
  const std::string_view countText = rest.substr(0, space);
  const std::string_view digestText =
      space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  auto [countEnd, countError] =
      std::from_chars(countText.data(), countText.data() + countText.size(), count);
  auto [digestEnd, digestError] =
      std::from_chars(digestText.data(), digestText.data() + digestText.size(), digest, 16);
  if (countText.empty() || countError != std::errc() ||
      countEnd != countText.data() + countText.size() || digestText.size() != 16 ||
      digestError != std::errc() || digestEnd != digestText.data() + digestText.size()) {
    *error = "the closing line must be \"end\", the number of updates and 16 hexadecimal digits";
    return false;
  }
  if (count != journal.ticks.size()) {
    *error = "the journal holds " + std::to_string(journal.ticks.size()) +
             " updates where its closing line says " + std::to_string(count) +
             ": lines were taken out or added";
    return false;
  }
  JournalDigest check(journal.seed);
  for (const platform::TickInput& input : journal.ticks) check.Add(input);
  if (check.Value() != digest) {
    *error = "the seed or the keys were changed after the journal was written";
    return false;
  }
  return true;
}

}  // namespace

JournalDigest::JournalDigest(std::uint32_t seed) { AddText(SeedLine(seed)); }

void JournalDigest::Add(const platform::TickInput& input) { AddText(TickLine(input)); }

void JournalDigest::AddText(std::string_view text) {
  for (unsigned char c : text) hash_ = (hash_ ^ c) * 0x100000001b3ull;
}

bool ParseJournal(std::string_view text, Journal* journal, std::string* error) {
  Journal result;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  bool sawMagic = false, sawVersion = false, sawSeed = false, closed = false;
  bool unchecked = false;  // an older journal, written without a closing line
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!sawMagic) {
      unchecked = line == kJournalMagicUnchecked;
      if (line != kJournalMagic && !unchecked) {
        *error =
            LineError(lineNo, "not a journal (expected \"" + std::string(kJournalMagic) + "\")");
        return false;
      }
      sawMagic = true;
      continue;
    }
    if (!sawVersion) {
      if (line != std::string("version ") + kGameVersion) {
        *error = LineError(lineNo, "a journal of another version of the game");
        return false;
      }
      sawVersion = true;
      continue;
    }
    if (!sawSeed) {
      constexpr std::string_view kSeed = "seed ";
      std::uint32_t seed = 0;
      if (line.substr(0, kSeed.size()) != kSeed) {
        *error = LineError(lineNo, "the seed line is missing");
        return false;
      }
      std::string_view digits = line.substr(kSeed.size());
      auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seed);
      if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size()) {
        *error = LineError(lineNo, "the seed is not a number from 0 to 4294967295");
        return false;
      }
      result.seed = seed;
      sawSeed = true;
      continue;
    }
    if (line.empty() && pos >= text.size()) break;  // the final line feed
    if (closed) {
      *error = LineError(lineNo, "something follows the closing line");
      return false;
    }
    if (!unchecked && line.substr(0, kEnd.size()) == kEnd) {
      if (!CheckClosingLine(line.substr(kEnd.size()), result, error)) {
        *error = LineError(lineNo, *error);
        return false;
      }
      closed = true;
      continue;
    }
    platform::TickInput input;
    if (line.size() != 9 || line[4] != ' ' || !ParseHex16(line.substr(0, 4), &input.held) ||
        !ParseHex16(line.substr(5, 4), &input.pressed)) {
      *error = LineError(lineNo, "a tick must be two groups of four hexadecimal digits");
      return false;
    }
    if ((input.held | input.pressed) & ~platform::kAllKeys) {
      *error = LineError(lineNo, "a key bit the game does not have");
      return false;
    }
    result.ticks.push_back(input);
  }
  if (!sawSeed) {
    *error = "the journal's header is incomplete";
    return false;
  }
  result.checked = closed;
  *journal = std::move(result);
  return true;
}

bool ReadJournal(const std::string& path, Journal* journal, std::string* error) {
  std::string text;
  if (!platform::ReadWholeFile(path, kMaxJournalBytes, &text, nullptr, error)) return false;
  std::string parseError;
  if (!ParseJournal(text, journal, &parseError)) {
    *error = path + ": " + parseError;
    return false;
  }
  return true;
}

JournalWriter::~JournalWriter() { Close(); }

bool JournalWriter::Open(const std::string& path, std::uint32_t seed, std::string* error) {
  Close();
  file_ = platform::OpenCFile(path, "wb");
  if (!file_) {
    *error = "cannot write " + path;
    return false;
  }
  path_ = path;
  failed_ = false;
  ticks_ = 0;
  digest_ = JournalDigest(seed);
  if (std::fprintf(file_, "%s\nversion %s\n%s", kJournalMagic, kGameVersion,
                   SeedLine(seed).c_str()) < 0) {
    Failed();
  }
  return true;
}

void JournalWriter::Append(const platform::TickInput& input) {
  if (!file_) return;
  ++ticks_;
  digest_.Add(input);
  if (std::fputs(TickLine(input).c_str(), file_) < 0) Failed();
}

bool JournalWriter::Close() {
  if (!file_) return !failed_;
  if (std::fprintf(file_, "end %zu %016llx\n", ticks_,
                   static_cast<unsigned long long>(digest_.Value())) < 0) {
    Failed();
  }
  if (std::fclose(file_) != 0) Failed();
  file_ = nullptr;
  return !failed_;
}

void JournalWriter::Failed() {
  if (failed_) return;
  failed_ = true;
  std::fprintf(stderr, "poromeko: writing the journal %s failed: %s\n", path_.c_str(),
               std::strerror(errno));
}

}  // namespace app
