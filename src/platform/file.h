// Reading and writing whole files, the way a player's data must be written.
//
// Every path is UTF-8, on every system; PathFromUtf8 and Utf8FromPath cross
// over to std::filesystem (which on Windows would otherwise read a narrow
// string in the system's ANSI code page).
//
// Contract (POSIX in file.cpp, Windows in win/file_win.cpp, what both share
// in file_common.cpp; the headless game and the tests read and write files
// through these same functions):
//  - ExecutableDir reads /proc/self/exe, ResidentMemoryKiB the VmRSS line of
//    /proc/self/status; FolderIsWritable asks access(2)
//    for write and search permission; UserDataDir follows the XDG base
//    directory rules. None of them creates anything.
//  - InputFile::Open is the one way the game opens a file for reading;
//    every reader goes through it (or through ReadWholeFile and ReadFileHead,
//    built on it), and no library is handed a path. It opens without
//    waiting, so a FIFO or a device in place of a file cannot block it; it
//    then looks at what it opened and refuses anything but a regular file (a
//    folder, a FIFO, a socket, a device), and refuses a file larger than the
//    caller's limit for its kind, before a byte is read. A refusal gives
//    false, a FileError and a message naming the file and the reason ("not a
//    regular file", the size and the limit, or the system's words). A file
//    that grows past the limit while it is read is refused as well.
//    POSIX back ends: open(2) with O_NONBLOCK (cleared once the file is known
//    to be regular), fstat(2), pread(2); the browser's in-memory files go
//    through the same calls. Windows: CreateFileW with the wide path and
//    every sharing mode (a FIFO is no file there; a named pipe or a device
//    path is refused by GetFileType, a folder by its attributes),
//    GetFileSizeEx, and ReadFile at an offset.
//  - ReadFileHead reads at most `limit` bytes from the start of a regular
//    file of any size (the rest is left unread); ReadWholeFile reads a whole
//    file that is at most `limit` bytes long. Both refuse as Open does.
//  - WriteFileAtomically replaces the file at `path` by `bytes` so that a
//    crash or a power loss at any moment leaves either the old file or the
//    new one, whole: the bytes go to a new temporary file in the same
//    folder, are flushed to the disk, the temporary file is renamed over the
//    old one and the folder is flushed. A failure at any step leaves the old
//    file as it was, removes the temporary file and gives false with the
//    reason. A symbolic link at `path` is replaced by the file; its target is
//    not touched. Temporary files of earlier writes to `path` that a crash
//    or a kill left behind (".NAME.XXXXXX" beside it, over a minute old)
//    are removed first.
//  - FileLock holds an exclusive advisory lock (flock) on a lock file, so
//    that two games entering a score at once take turns; the lock goes with
//    the object, or with the process.
//  - KeepCopyOf keeps the file at `path` as "PATH.bad-YYYYMMDD-HHMMSS" (the
//    local time; "-2", "-3" and so on when that name is taken), as a second
//    name of the same file where the system allows, else as a copy.
//  - OpenCFile is fopen with a UTF-8 path (_wfopen on Windows), for what
//    the game writes through C streams (a journal, a PNG).
// On Windows the rest goes through the wide-character API as well:
// ExecutableDir from GetModuleFileNameW, ResidentMemoryKiB the working set,
// FolderIsWritable by making a file there that is gone when closed (a
// folder's permissions are not in its attributes), UserDataDir is
// %APPDATA%\name (the roaming application data folder when APPDATA is not
// set); WriteFileAtomically flushes the temporary file with
// FlushFileBuffers and moves it over the old one with MoveFileExW
// (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), after removing the
// leftovers found with FindFirstFileW; FileLock locks the whole lock file
// with LockFileEx; KeepCopyOf makes a hard link (CreateHardLinkW), else a
// copy (CopyFileW).
// In the browser the program is laid out as installed (ExecutableDir is
// /poromeko/bin), UserDataDir is a folder under /persist, which the page
// keeps in the browser's IndexedDB, and a completed WriteFileAtomically asks
// the page to copy /persist there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

enum class FileError { None, NotFound, NotAFile, TooLarge, Unreadable, Unwritable };

// No limit on a file's size (ReadFileHead bounds what it reads instead).
inline constexpr std::uint64_t kAnySize = ~std::uint64_t{0};

// Whether a game found beside its executable counts as installed, its
// player's ranking kept in UserDataDir: on Windows, where a game unpacked
// from its zip or put in place by its installer runs from its own folder.
#if defined(_WIN32)
inline constexpr bool kProgramFolderIsInstalled = true;
#else
inline constexpr bool kProgramFolderIsInstalled = false;
#endif

// The folder the running program's executable is in (symbolic links
// resolved), or empty when the system cannot say.
std::string ExecutableDir();
// The program's resident memory in KiB, or -1 when the system cannot say.
long ResidentMemoryKiB();
// Whether the program may create and replace files in the folder.
bool FolderIsWritable(const std::string& folder);
// The user's data folder for a program: $XDG_DATA_HOME/name, or
// $HOME/.local/share/name; empty when neither variable is set.
std::string UserDataDir(const std::string& name);

// A regular file open for reading, closed when the object goes.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { Close(); }
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` if it is a regular file of at most `limit` bytes (see the
  // contract above). An open file is closed first.
  bool Open(const std::string& path, std::uint64_t limit, FileError* kind = nullptr,
            std::string* error = nullptr);
  bool IsOpen() const { return handle_ != kClosed; }
  const std::string& Path() const { return path_; }
  // The size the system gave when the file was opened (0 for the files of
  // /proc, which read longer than they say).
  std::uint64_t Size() const { return size_; }
  // Up to `n` bytes from `offset` on; fewer only at the end of the file or on
  // a read error, which ReadFailed() then tells (and ReadError() in words).
  std::size_t ReadAt(std::uint64_t offset, void* dest, std::size_t n);
  bool ReadFailed() const { return !readError_.empty(); }
  const std::string& ReadError() const { return readError_; }
  // The whole file from its start: false (TooLarge) when more than the limit
  // given to Open arrives, or (Unreadable) on a read error.
  bool ReadAll(std::string* bytes, FileError* kind = nullptr, std::string* error = nullptr);
  // Asks the system to bring the file from `offset` on into its cache now,
  // so that later reads do not wait for the disk. Only a hint.
  void WillNeed(std::uint64_t offset);
  void Close();

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor (POSIX) or a HANDLE (Windows)
  std::string path_;
  std::uint64_t size_ = 0;
  std::uint64_t limit_ = 0;
  std::string readError_;
};

bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::string* bytes,
                   FileError* kind = nullptr, std::string* error = nullptr);
bool ReadFileHead(const std::string& path, std::size_t limit, std::string* bytes, FileError* kind,
                  std::string* error);

// The steps of an atomic write, for tests that stop a write half way.
enum class WriteStep { Created, Written, Flushed, Renamed };

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error,
                         const std::function<void(WriteStep)>& afterStep = {});

// How old a temporary file of an atomic write must be before a later write
// takes it for a leftover: no write takes this long.
inline constexpr int kStaleTemporarySeconds = 60;

class FileLock {
 public:
  FileLock() = default;
  // Waits until the lock on the file at `path` is this process's, creating
  // the file when it is missing. When no lock can be had (the folder cannot
  // be written, say) the result holds none and *error says why.
  static FileLock Acquire(const std::string& path, std::string* error);
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();
  bool Held() const { return handle_ != -1; }

 private:
  // A file descriptor, or on Windows a HANDLE; -1 for none.
  std::intptr_t handle_ = -1;
};

bool KeepCopyOf(const std::string& path, std::string* copy, std::string* error);

std::FILE* OpenCFile(const std::string& path, const char* mode);

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

}  // namespace platform
