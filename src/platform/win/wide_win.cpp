#include <windows.h>

#include <climits>

#include "platform/win/wide.h"

namespace platform::win {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::string ErrorText(unsigned long code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result = n > 0 && text ? Narrow(std::wstring_view(text, n)) : std::string();
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.')) {
    result.pop_back();
  }
  if (result.empty()) result = "error " + std::to_string(code);
  return result;
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

}  // namespace platform::win
