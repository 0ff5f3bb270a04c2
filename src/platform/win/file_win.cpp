// Files on Windows, through the wide-character API so that a player's name
// or an install folder with any letters in it works.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <utility>

#include "platform/file.h"
#include "platform/file_common.h"
#include "platform/win/wide.h"

namespace platform {

namespace {

using win::LastErrorText;
using win::Widen;

std::string Reason(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + LastErrorText();
}

// A handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Get() const { return h_; }
  void Reset(HANDLE h) {
    Close();
    h_ = h;
  }
  bool Close() {
    if (!Valid()) return true;
    const bool ok = CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

bool NotFound(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

// Six letters and digits, as the temporary files of an atomic write have
// everywhere (".Ranking.txt.XXXXXX"), from the process, a counter and the
// clock; a name taken already is tried again with the next count.
std::wstring UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  static constexpr wchar_t kDigits[] =
      L"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::uint64_t n = (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
                    (static_cast<std::uint64_t>(counter.fetch_add(1)) << 20) ^ GetTickCount64();
  // Every input bit stirred into the six digits taken below.
  n = (n ^ (n >> 30)) * 0xBF58476D1CE4E5B9ull;
  n = (n ^ (n >> 27)) * 0x94D049BB133111EBull;
  n ^= n >> 31;
  std::wstring suffix;
  for (int i = 0; i < 6; ++i) {
    suffix += kDigits[n % 62];
    n /= 62;
  }
  return suffix;
}

bool IsAlphanumeric(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

// Removes what earlier writes to `target` left behind when they were killed
// between making their temporary file and moving it: files named like ours,
// not written for a minute. A write in progress writes its file within a
// minute, so it is never taken for one.
void RemoveStaleTemporaries(const std::filesystem::path& folder,
                            const std::filesystem::path& target) {
  const std::wstring prefix = L"." + target.filename().wstring() + L".";
  const std::wstring pattern = (folder / (prefix + L"*")).wstring();
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FILETIME nowTime{};
  GetSystemTimeAsFileTime(&nowTime);
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  const std::uint64_t now = ticks(nowTime);
  constexpr std::uint64_t kTicksPerSecond = 10000000;  // FILETIME counts 100 ns
  do {
    const std::wstring name = found.cFileName;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    bool ours = true;
    for (std::size_t i = prefix.size(); i < name.size(); ++i)
      ours = ours && IsAlphanumeric(name[i]);
    if (!ours ||
        (found.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))) {
      continue;
    }
    const std::uint64_t written = ticks(found.ftLastWriteTime);
    if (written > now || now - written < kStaleTemporarySeconds * kTicksPerSecond) continue;
    DeleteFileW((folder / name).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

std::string ExecutableDir() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  return Utf8FromPath(std::filesystem::path(path).parent_path());
}

long ResidentMemoryKiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return static_cast<long>(counters.WorkingSetSize / 1024);
}

bool FolderIsWritable(const std::string& folder) {
  if (folder.empty()) return false;
  const std::wstring probe =
      (PathFromUtf8(folder) / (L".poromeko-probe-" + UniqueSuffix())).wstring();
  Handle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                       nullptr));
  return h.Valid();
}

std::string UserDataDir(const std::string& name) {
  const wchar_t* appData = _wgetenv(L"APPDATA");
  std::filesystem::path base;
  if (appData && appData[0] != L'\0' && std::filesystem::path(appData).is_absolute()) {
    base = appData;
  } else {
    PWSTR known = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &known) == S_OK && known) {
      base = known;
    }
    CoTaskMemFree(known);
  }
  if (base.empty()) return {};
  return Utf8FromPath(base / PathFromUtf8(name));
}

// --- Reading: the one place a file is opened for reading -------------------
// (what every system shares is in file_common.cpp)

bool InputFile::Open(const std::string& path, std::uint64_t limit, FileError* kind,
                     std::string* error) {
  using file_common::Refuse;
  Close();
  const std::string what = "cannot read " + path + ": ";
  const std::wstring wide = Widen(path);
  // A folder opens only with backup semantics, and is refused below by its
  // attributes; without, it would read as "access denied".
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Refuse(kind, error, FileError::NotAFile, what + "a folder, not a regular file");
  }
  // Every sharing mode: the game never stands in the way of another
  // program (or another game) writing or replacing the file.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    return Refuse(kind, error, NotFound(code) ? FileError::NotFound : FileError::Unreadable,
                  what + win::ErrorText(code));
  }
  // A named pipe or a device (\\.\ names, CON) is no file on disk.
  const DWORD type = GetFileType(h);
  BY_HANDLE_FILE_INFORMATION info{};
  if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    const char* what_it_is = type == FILE_TYPE_PIPE   ? "a pipe"
                             : type == FILE_TYPE_CHAR ? "a device"
                                                      : "not a plain file";
    return Refuse(kind, error, FileError::NotAFile, what + what_it_is + ", not a regular file");
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) {
    const std::string why = LastErrorText();
    CloseHandle(h);
    return Refuse(kind, error, FileError::Unreadable, what + why);
  }
  const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
  if (bytes > limit) {
    CloseHandle(h);
    return Refuse(kind, error, FileError::TooLarge,
                  what + std::to_string(bytes) + " bytes, over the limit of " +
                      file_common::SizeText(limit) + " for this file");
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  path_ = path;
  size_ = bytes;
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
    // ReadFile at an offset of its own: the handle's file pointer is not
    // shared state between the threads that read.
    OVERLAPPED at{};
    const std::uint64_t where = offset + got;
    at.Offset = static_cast<DWORD>(where & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    const std::size_t left = n - got;
    const DWORD ask = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD r = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), out + got, ask, &r, &at)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      readError_ = LastErrorText();
      break;
    }
    if (r == 0) break;
    got += r;
  }
  return got;
}

// Windows reads ahead by itself for files read from the start on.
void InputFile::WillNeed(std::uint64_t) {}

void InputFile::Close() {
  if (handle_ != kClosed) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kClosed;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const std::function<void(WriteStep)>& afterStep) {
  namespace fs = std::filesystem;
  const fs::path target = PathFromUtf8(path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  RemoveStaleTemporaries(folder, target);
  // The same name as elsewhere: a dot, the file's name and a unique tail.
  fs::path temp;
  Handle file(INVALID_HANDLE_VALUE);
  for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
    temp = folder / (L"." + target.filename().wstring() + L"." + UniqueSuffix());
    file.Reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file.Valid()) {
    if (error) *error = Reason("cannot create a new file beside", path);
    return false;
  }
  if (afterStep) afterStep(WriteStep::Created);
  const std::string tempName = Utf8FromPath(temp);
  auto fail = [&](const std::string& message) {
    file.Close();
    DeleteFileW(temp.c_str());
    if (error) *error = message;
    return false;
  };
  std::string_view left = bytes;
  while (!left.empty()) {
    const DWORD ask = left.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left.size());
    DWORD n = 0;
    if (!WriteFile(file.Get(), left.data(), ask, &n, nullptr) || n == 0) {
      return fail(Reason("cannot write", tempName));
    }
    left.remove_prefix(n);
  }
  if (afterStep) afterStep(WriteStep::Written);
  if (!FlushFileBuffers(file.Get())) return fail(Reason("cannot flush", tempName));
  if (!file.Close()) return fail(Reason("cannot close", tempName));
  if (afterStep) afterStep(WriteStep::Flushed);
  // The move reaches the disk before it returns.
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail(Reason("cannot replace", path));
  }
  if (afterStep) afterStep(WriteStep::Renamed);
  return true;
}

FileLock FileLock::Acquire(const std::string& path, std::string* error) {
  FileLock lock;
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = Reason("cannot open the lock file", path);
    return lock;
  }
  // The whole file, however long it may ever be; waits for another holder.
  OVERLAPPED whole{};
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    if (error) *error = Reason("cannot lock", path);
    CloseHandle(h);
    return lock;
  }
  lock.handle_ = reinterpret_cast<std::intptr_t>(h);
  return lock;
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  // Closing the handle lets go of the lock.
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool KeepCopyOf(const std::string& path, std::string* copy, std::string* error) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  const std::string base = path + ".bad-" + stamp;
  const std::wstring from = Widen(path);
  for (int n = 1; n < 100; ++n) {
    const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
    const std::wstring to = Widen(name);
    // A second name needs no room on the disk; a copy is the way where the
    // volume has no hard links (FAT).
    if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr) ||
        (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS &&
         CopyFileW(from.c_str(), to.c_str(), TRUE))) {
      if (copy) *copy = name;
      return true;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) continue;
    if (error)
      *error = "cannot keep a copy of " + path + " as " + name + ": " + win::ErrorText(code);
    return false;
  }
  if (error) *error = "cannot keep a copy of " + path + ": too many copies already";
  return false;
}

std::FILE* OpenCFile(const std::string& path, const char* mode) {
  return _wfopen(Widen(path).c_str(), Widen(mode).c_str());
}

}  // namespace platform
