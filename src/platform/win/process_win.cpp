#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <initializer_list>

#include "platform/process.h"
#include "platform/win/wide.h"

namespace platform {

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(win::Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

void ConnectOutput() {
  // A GUI program started from a console has no standard handles unless
  // they were redirected.
  const auto missing = [](DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h == nullptr || h == INVALID_HANDLE_VALUE;
  };
  const bool out = missing(STD_OUTPUT_HANDLE);
  const bool err = missing(STD_ERROR_HANDLE);
  if ((out || err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    if (out) (void)std::freopen("CONOUT$", "w", stdout);
    if (err) (void)std::freopen("CONOUT$", "w", stderr);
  }
  for (std::FILE* stream : {stdout, stderr}) {
    const int fd = _fileno(stream);
    if (fd >= 0) _setmode(fd, _O_BINARY);
  }
}

}  // namespace platform
