// The tuning file reader and the text helpers every data reader shares.
//
// Profile files follow the Windows profile reader's rules: sections in
// brackets, key=value lines; section and key names match without regard to
// ASCII case; blanks around names and values are trimmed; a value wrapped in
// matching quotes loses them; at most 255 bytes of a value are returned; the
// first of duplicate sections and keys wins. Text is UTF-8 and compared as
// bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "media/paths.h"

namespace media {

// What a read returns for a missing file, section or key.
inline constexpr std::string_view kMissingKeyMarker = "キーが見つかりませんでした";
inline constexpr float kMissingKeyValue = -999.0f;

// The largest tuning file read: its eleven values take a few hundred bytes.
inline constexpr std::uint64_t kMaxProfileFileBytes = 256 * 1024;

// A profile file read once: the first section of each name with the first
// value of each of its keys (at most 255 bytes), looked up by the rules
// above. An empty profile has no keys.
class Profile {
 public:
  Profile() = default;
  // Parses the text of a profile file.
  explicit Profile(std::string_view text);
  // The value of key in section, or null when the section or key is missing.
  const std::string* Find(std::string_view section, std::string_view key) const;

 private:
  // Section name -> key -> value; names in ASCII lower case.
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> sections_;
};

// Reads the profile file at `path` through the platform's one read, at most
// kMaxProfileFileBytes. False with the reason (naming the file) when it is
// missing, not a regular file, too large or unreadable; *profile is then
// empty.
bool ReadProfile(const std::string& path, Profile* profile, std::string* error);

// The value of key in section of a profile, or `fallback` when the section
// or key is missing. Returns at most 255 bytes.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const Profile& profile);
// The same from the file at `path`, read for this one value (a file that
// cannot be read gives the fallback).
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path);

// The tuning file's readers: the value, or kMissingKeyMarker (ReadIniString)
// and kMissingKeyValue (ReadIniFloat) when the file, section or key is
// missing. The game reads the file once into a Profile and every value from
// it (media::Tuning, media/tuning.h); the forms taking a path read the file
// for the one value.
std::string ReadIniString(std::string_view section, std::string_view key, const Profile& profile);
float ReadIniFloat(std::string_view section, std::string_view key, const Profile& profile);
std::string ReadIniString(std::string_view section, std::string_view key,
                          const std::string& path = content::data::kGameData);
float ReadIniFloat(std::string_view section, std::string_view key,
                   const std::string& path = content::data::kGameData);

// The non-empty fields of text between occurrences of the whole delimiter.
std::vector<std::string> SplitString(std::string text, std::string delimiter);

// The leading number of text (after blanks), 0.0 when there is none.
float StringToFloat(const std::string& text);

}  // namespace media
