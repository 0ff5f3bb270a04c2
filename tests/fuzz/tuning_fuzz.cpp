// Feeds arbitrary bytes to the tuning file reader as the game reads it: every
// value into media::Tuning, the title's lists, and the profile reader's
// limits. It must never crash, leak, or return more than the reader allows.
// The file read once into a table must answer every key as a scan of the
// file for that one key does (the profile reader's rules, line by line).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_file.h"
#include "media/ini.h"
#include "media/tuning.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view Blankless(std::string_view s) {
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
  };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The value of one key found by walking the lines of the file: the first
// section of the name, the first line of the key in it. Null when missing.
std::optional<std::string> Scan(std::string_view text, std::string_view section,
                                std::string_view key) {
  bool in = false, seen = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view l = Blankless(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (l.empty() || l[0] == ';') continue;
    if (l[0] == '[') {
      if (in) return std::nullopt;
      const std::size_t close = l.find(']');
      in = !seen && SameName(Blankless(l.substr(1, close == l.npos ? l.npos : close - 1)), section);
      seen = seen || in;
      continue;
    }
    const std::size_t eq = l.find('=');
    if (!in || eq == l.npos || !SameName(Blankless(l.substr(0, eq)), key)) continue;
    std::string_view v = Blankless(l.substr(eq + 1));
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
      v = v.substr(1, v.size() - 2);
    return std::string(v.substr(0, 255));
  }
  return std::nullopt;
}

// Every section and key the text names (whatever stands before a "]" or an
// "="), and the game's own.
std::vector<std::pair<std::string, std::string>> Names(std::string_view text) {
  std::vector<std::string> sections = {"Player", "PlayerEatAtackHitSphere", "Title"};
  std::vector<std::string> keys = {"radius", "Player", "Enemy", "localPos.x"};
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view l = Blankless(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!l.empty() && l[0] == '[') {
      const std::size_t close = l.find(']');
      sections.emplace_back(Blankless(l.substr(1, close == l.npos ? l.npos : close - 1)));
    } else if (l.find('=') != l.npos) {
      keys.emplace_back(Blankless(l.substr(0, l.find('='))));
    }
  }
  std::vector<std::pair<std::string, std::string>> names;
  for (std::size_t s = 0; s < sections.size() && s < 16; ++s) {
    for (std::size_t k = 0; k < keys.size() && k < 16; ++k)
      names.emplace_back(sections[s], keys[k]);
  }
  return names;
}

void CheckList(const media::TitleList& list) {
  if (list.count < 0 || list.count > static_cast<int>(list.values.size())) std::abort();
  for (int i = list.count; i < static_cast<int>(list.values.size()); ++i) {
    if (list.values[static_cast<std::size_t>(i)] != 0.0f) std::abort();  // not given: 0
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzfile::MemoryFile file;
  file.Set(data, size);
  const std::string& path = file.Path();

  const media::Tuning tuning = media::LoadTuning(path);
  CheckList(tuning.title.player);
  CheckList(tuning.title.enemy);
  const media::TitleList again = media::ReadTitleList("Enemy", path);
  CheckList(again);
  if (again.count != tuning.title.enemy.count) std::abort();  // the same file reads the same

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const media::Profile profile(text);
  for (const auto& [section, key] : Names(text)) {
    const std::string* value = profile.Find(section, key);
    const std::optional<std::string> scanned = Scan(text, section, key);
    if (value ? !scanned || *value != *scanned : scanned.has_value()) std::abort();
  }

  // A value is at most 255 bytes.
  if (media::GetPrivateProfileString("Player", "radius", "?", path).size() > 255) std::abort();
  (void)media::StringToFloat(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
