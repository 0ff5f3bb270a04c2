#include "platform/file.h"

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace platform {

namespace {

std::string Reason(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string ExecutableDir() {
#if defined(__EMSCRIPTEN__)
  // The page lays the game out as installed: the program in /poromeko/bin,
  // its files in /poromeko/share/poromeko.
  return "/poromeko/bin";
#else
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  return exe.parent_path().string();
#endif
}

long ResidentMemoryKiB() {
  std::string status;
  if (!ReadFileHead("/proc/self/status", 1 << 14, &status, nullptr, nullptr)) return -1;
  const std::size_t at = status.find("\nVmRSS:");
  if (at == std::string::npos) return -1;
  return std::strtol(status.c_str() + at + 7, nullptr, 10);
}

bool FolderIsWritable(const std::string& folder) {
  return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string UserDataDir(const std::string& name) {
#if defined(__EMSCRIPTEN__)
  // The page keeps /persist in the browser's IndexedDB.
  return "/persist/" + name;
#endif
  const char* xdg = std::getenv("XDG_DATA_HOME");
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (xdg && xdg[0] == '/') return (std::filesystem::path(xdg) / name).string();
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') {
    return (std::filesystem::path(home) / ".local" / "share" / name).string();
  }
  return {};
}

bool ReadFileHead(const std::string& path, std::size_t limit, std::string* bytes, FileError* kind,
                  std::string* error) {
  bytes->clear();
  auto fail = [&](FileError k, const std::string& message) {
    if (kind) *kind = k;
    if (error) *error = message;
    return false;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    return fail(errno == ENOENT ? FileError::NotFound : FileError::Unreadable,
                Reason("cannot open", path));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail(FileError::NotAFile, path + " is not a regular file");
  }
  bytes->resize(limit);
  std::size_t got = 0;
  while (got < limit) {
    const ssize_t n = ::read(fd, bytes->data() + got, limit - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      const std::string message = Reason("cannot read", path);
      ::close(fd);
      bytes->clear();
      return fail(FileError::Unreadable, message);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes->resize(got);
  if (kind) *kind = FileError::None;
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const std::function<void(WriteStep)>& afterStep) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    if (error) *error = Reason("cannot create a new file beside", path);
    return false;
  }
  if (afterStep) afterStep(WriteStep::Created);
  auto fail = [&](const std::string& message) {
    ::close(fd);
    ::unlink(temp.c_str());
    if (error) *error = message;
    return false;
  };
  // Readable by the player like any file they would make.
  ::fchmod(fd, 0644);
  if (!WriteAll(fd, bytes)) return fail(Reason("cannot write", temp));
  if (afterStep) afterStep(WriteStep::Written);
  if (::fsync(fd) != 0) return fail(Reason("cannot flush", temp));
  if (::close(fd) != 0) {
    const std::string message = Reason("cannot close", temp);
    ::unlink(temp.c_str());
    if (error) *error = message;
    return false;
  }
  if (afterStep) afterStep(WriteStep::Flushed);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string message = Reason("cannot replace", path);
    ::unlink(temp.c_str());
    if (error) *error = message;
    return false;
  }
  if (afterStep) afterStep(WriteStep::Renamed);
  // The rename itself reaches the disk with the folder.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
#if defined(__EMSCRIPTEN__)
  // The browser's files live in memory; the page copies /persist to
  // IndexedDB (in one transaction: the old file or the new one, whole).
  EM_ASM({
    if (Module.persistFiles) Module.persistFiles();
  });
#endif
  return true;
}

}  // namespace platform
