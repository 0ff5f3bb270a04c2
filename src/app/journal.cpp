#include "app/journal.h"

#include <charconv>
#include <fstream>
#include <sstream>

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

}  // namespace

bool ParseJournal(std::string_view text, Journal* journal, std::string* error) {
  Journal result;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  bool sawMagic = false, sawVersion = false, sawSeed = false;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!sawMagic) {
      if (line != kJournalMagic) {
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
  *journal = std::move(result);
  return true;
}

bool ReadJournal(const std::string& path, Journal* journal, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string parseError;
  if (!ParseJournal(text.str(), journal, &parseError)) {
    *error = path + ": " + parseError;
    return false;
  }
  return true;
}

JournalWriter::~JournalWriter() { Close(); }

bool JournalWriter::Open(const std::string& path, std::uint32_t seed, std::string* error) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    *error = "cannot write " + path;
    return false;
  }
  path_ = path;
  failed_ = false;
  std::fprintf(file_, "%s\nversion %s\nseed %u\n", kJournalMagic, kGameVersion,
               static_cast<unsigned>(seed));
  return true;
}

void JournalWriter::Append(const platform::TickInput& input) {
  if (!file_) return;
  if (std::fprintf(file_, "%04x %04x\n", static_cast<unsigned>(input.held),
                   static_cast<unsigned>(input.pressed)) < 0 &&
      !failed_) {
    failed_ = true;
    std::fprintf(stderr, "poromeko: writing the journal %s failed\n", path_.c_str());
  }
}

void JournalWriter::Close() {
  if (!file_) return;
  if (std::fclose(file_) != 0 && !failed_) {
    std::fprintf(stderr, "poromeko: writing the journal %s failed\n", path_.c_str());
  }
  file_ = nullptr;
}

}  // namespace app
