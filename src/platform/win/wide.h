// Windows speaks UTF-16 in its wide-character API; the game keeps every
// text and path in UTF-8. These cross between the two, and name a failed
// call's reason in words.
#pragma once

#include <string>
#include <string_view>

namespace platform::win {

// Empty for empty input. Malformed UTF-8 becomes U+FFFD, which names no file
// that exists, so a bad path fails to open instead of opening another file.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
// The system's words for GetLastError() (or `code`), without the line break.
std::string LastErrorText();
std::string ErrorText(unsigned long code);

}  // namespace platform::win
