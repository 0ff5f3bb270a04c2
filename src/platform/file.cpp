#include "platform/file.h"

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

#include "platform/file_common.h"

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

// Removes what earlier writes to `target` left behind when they were killed
// between making their temporary file and renaming it: files named like
// ours, not touched for a minute. A write in progress touches its file
// within a minute, so it is never taken for one.
void RemoveStaleTemporaries(const std::filesystem::path& folder,
                            const std::filesystem::path& target) {
  namespace fs = std::filesystem;
  const std::string prefix = "." + target.filename().string() + ".";
  const auto now = fs::file_time_type::clock::now();
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    bool ours = true;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
      const char c = name[i];
      ours = ours && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
    }
    std::error_code statError;
    if (!ours || !it->is_regular_file(statError) || it->is_symlink(statError)) continue;
    const auto touched = it->last_write_time(statError);
    if (statError || now - touched < std::chrono::seconds(kStaleTemporarySeconds)) continue;
    ::unlink(it->path().c_str());
  }
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

// --- Reading: the one place a file is opened for reading -------------------
// (what every system shares is in file_common.cpp)

namespace {

using file_common::Refuse;
using file_common::SizeText;

const char* KindOfFile(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

}  // namespace

bool InputFile::Open(const std::string& path, std::uint64_t limit, FileError* kind,
                     std::string* error) {
  Close();
  const std::string what = "cannot read " + path + ": ";
  // Without O_NONBLOCK a FIFO with no writer would hold open(2) forever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int err = errno;
    // A socket cannot be opened at all.
    if (err == ENXIO) return Refuse(kind, error, FileError::NotAFile, what + "not a regular file");
    return Refuse(kind, error, err == ENOENT ? FileError::NotFound : FileError::Unreadable,
                  what + std::strerror(err));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return Refuse(kind, error, FileError::Unreadable, what + std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return Refuse(kind, error, FileError::NotAFile,
                  what + KindOfFile(st.st_mode) + ", not a regular file");
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > limit) {
    ::close(fd);
    return Refuse(kind, error, FileError::TooLarge,
                  what + std::to_string(size) + " bytes, over the limit of " + SizeText(limit) +
                      " for this file");
  }
  // A regular file never blocks; reads then wait for the disk as usual.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  path_ = path;
  size_ = size;
  limit_ = limit;
  readError_.clear();
  if (kind) *kind = FileError::None;
  return true;
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* dest, std::size_t n) {
  if (handle_ == kClosed) {
    readError_ = "the file is not open";
    return 0;
  }
  auto* out = static_cast<char*>(dest);
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r =
        ::pread(static_cast<int>(handle_), out + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0) {
      if (errno == EINTR) continue;
      readError_ = std::strerror(errno);
      break;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

void InputFile::WillNeed(std::uint64_t offset) {
#if defined(POSIX_FADV_WILLNEED)
  if (handle_ != kClosed)
    ::posix_fadvise(static_cast<int>(handle_), static_cast<off_t>(offset), 0, POSIX_FADV_WILLNEED);
#else
  (void)offset;
#endif
}

void InputFile::Close() {
  if (handle_ != kClosed) ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const std::function<void(WriteStep)>& afterStep) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  RemoveStaleTemporaries(folder, target);
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

FileLock FileLock::Acquire(const std::string& path, std::string* error) {
  FileLock lock;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    if (error) *error = Reason("cannot open the lock file", path);
    return lock;
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    if (error) *error = Reason("cannot lock", path);
    ::close(fd);
    return lock;
  }
  lock.handle_ = fd;
  return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  // Closing the last descriptor lets go of the lock.
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool KeepCopyOf(const std::string& path, std::string* copy, std::string* error) {
  namespace fs = std::filesystem;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".bad-" + stamp;
  for (int n = 1; n < 100; ++n) {
    const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
    // A second name needs no room on the disk; a copy is the way where
    // the system has no hard links.
    if (::link(path.c_str(), name.c_str()) == 0) {
      if (copy) *copy = name;
      return true;
    }
    if (errno == EEXIST) continue;
    std::error_code ec;
    if (fs::copy_file(path, name, fs::copy_options::none, ec)) {
      if (copy) *copy = name;
      return true;
    }
    if (ec == std::errc::file_exists) continue;
    if (error) *error = "cannot keep a copy of " + path + " as " + name + ": " + ec.message();
    return false;
  }
  if (error) *error = "cannot keep a copy of " + path + ": too many copies already";
  return false;
}

std::FILE* OpenCFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace platform
