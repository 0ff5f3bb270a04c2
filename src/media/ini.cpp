#include "media/ini.h"

#include <sstream>

#include "platform/file.h"

namespace media {

namespace {

constexpr std::size_t kValueBufferSize = 256;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Names match without regard to ASCII case: they are kept in lower case.
std::string Lower(std::string_view s) {
  std::string lower(s);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string Clip(std::string_view value) {
  return std::string(value.substr(0, kValueBufferSize - 1));
}

}  // namespace

Profile::Profile(std::string_view text) {
  // The section the lines below belong to, or none (before the first header,
  // or in a second section of a name already seen).
  std::unordered_map<std::string, std::string>* current = nullptr;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view l = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (l.empty() || l.front() == ';') continue;
    if (l.front() == '[') {
      // A section header ends at the closing bracket; a header without one
      // names everything after the opening bracket.
      std::size_t close = l.find(']');
      std::string_view name =
          Trim(l.substr(1, close == std::string_view::npos ? l.npos : close - 1));
      // Only the first section of a name counts; a later one is passed over.
      auto [it, first] = sections_.try_emplace(Lower(name));
      current = first ? &it->second : nullptr;
      continue;
    }
    if (!current) continue;
    std::size_t eq = l.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view value = Trim(l.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    // The first of duplicate keys wins.
    current->try_emplace(Lower(Trim(l.substr(0, eq))), Clip(value));
  }
}

const std::string* Profile::Find(std::string_view section, std::string_view key) const {
  const auto s = sections_.find(Lower(section));
  if (s == sections_.end()) return nullptr;
  const auto v = s->second.find(Lower(key));
  return v == s->second.end() ? nullptr : &v->second;
}

bool ReadProfile(const std::string& path, Profile* profile, std::string* error) {
  *profile = Profile();
  std::string text;
  if (!platform::ReadWholeFile(path, kMaxProfileFileBytes, &text, nullptr, error)) return false;
  *profile = Profile(text);
  return true;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const Profile& profile) {
  const std::string* value = profile.Find(section, key);
  return value ? *value : Clip(fallback);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path) {
  Profile profile;
  std::string error;
  ReadProfile(path, &profile, &error);
  return GetPrivateProfileString(section, key, fallback, profile);
}

std::string ReadIniString(std::string_view section, std::string_view key, const Profile& profile) {
  return GetPrivateProfileString(section, key, kMissingKeyMarker, profile);
}

float ReadIniFloat(std::string_view section, std::string_view key, const Profile& profile) {
  std::string value = ReadIniString(section, key, profile);
  if (value == kMissingKeyMarker) return kMissingKeyValue;
  return StringToFloat(value);
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
