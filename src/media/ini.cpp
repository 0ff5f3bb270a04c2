#include "media/ini.h"

#include <fstream>
#include <sstream>

namespace media {

namespace {

constexpr std::size_t kValueBufferSize = 256;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Clip(std::string_view value) {
  return std::string(value.substr(0, kValueBufferSize - 1));
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Clip(fallback);
  std::string line;
  bool inSection = false;
  bool sectionSeen = false;
  while (std::getline(in, line)) {
    std::string_view l = Trim(line);
    if (l.empty() || l.front() == ';') continue;
    if (l.front() == '[') {
      // A section header ends at the closing bracket; a header without one
      // names everything after the opening bracket.
      std::size_t close = l.find(']');
      std::string_view name =
          Trim(l.substr(1, close == std::string_view::npos ? l.npos : close - 1));
      if (inSection) break;  // the first section of that name has ended
      inSection = !sectionSeen && EqualsIgnoreCase(name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    std::size_t eq = l.find('=');
    if (eq == std::string_view::npos) continue;
    if (!EqualsIgnoreCase(Trim(l.substr(0, eq)), key)) continue;
    std::string_view value = Trim(l.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return Clip(value);
  }
  return Clip(fallback);
}

std::string ReadIniString(std::string_view section, std::string_view key, const std::string& path) {
  return GetPrivateProfileString(section, key, kMissingKeyMarker, path);
}

float ReadIniFloat(std::string_view section, std::string_view key, const std::string& path) {
  std::string value = ReadIniString(section, key, path);
  if (value == kMissingKeyMarker) return kMissingKeyValue;
  return StringToFloat(value);
}

std::vector<std::string> SplitString(std::string text, std::string delimiter) {
  std::vector<std::string> fields;
  if (delimiter.empty()) {
    // An empty delimiter would never advance; the whole text is one field.
    if (!text.empty()) fields.push_back(std::move(text));
    return fields;
  }
  std::string rest = std::move(text);
  for (;;) {
    std::size_t at = rest.find(delimiter);
    if (at == std::string::npos) break;
    if (at > 0) fields.push_back(rest.substr(0, at));
    rest.erase(0, at + delimiter.size());
  }
  if (!rest.empty()) fields.push_back(std::move(rest));
  return fields;
}

float StringToFloat(const std::string& text) {
  std::istringstream stream(text);
  float value = 0.0f;
  stream >> value;
  if (stream.fail() && !stream.bad()) {
    // No number at all (or out of range, where the stream stores the limit).
    if (value != 0.0f) return value;
    return 0.0f;
  }
  return value;
}

}  // namespace media
