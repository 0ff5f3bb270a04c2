// The tuning file reader and the text helpers every data reader shares.
//
// Profile files follow the Windows profile reader's rules: sections in
// brackets, key=value lines; section and key names match without regard to
// ASCII case; blanks around names and values are trimmed; a value wrapped in
// matching quotes loses them; at most 255 bytes of a value are returned; the
// first of duplicate sections and keys wins. Text is UTF-8 and compared as
// bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "media/paths.h"

namespace media {

// What a read returns for a missing file, section or key.
inline constexpr std::string_view kMissingKeyMarker = "キーが見つかりませんでした";
inline constexpr float kMissingKeyValue = -999.0f;

// The value of key in section of a profile file, or `fallback` when the file,
// section or key is missing. Returns at most 255 bytes.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view fallback, const std::string& path);

// The tuning file's readers: the value, or kMissingKeyMarker (ReadIniString)
// and kMissingKeyValue (ReadIniFloat) when the file, section or key is
// missing. Callers read the file once into media::Tuning (media/tuning.h).
std::string ReadIniString(std::string_view section, std::string_view key,
                          const std::string& path = content::data::kGameData);
float ReadIniFloat(std::string_view section, std::string_view key,
                   const std::string& path = content::data::kGameData);

// The non-empty fields of text between occurrences of the whole delimiter.
std::vector<std::string> SplitString(std::string text, std::string delimiter);

// The leading number of text (after blanks), 0.0 when there is none.
float StringToFloat(const std::string& text);

}  // namespace media
