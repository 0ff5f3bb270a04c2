// Reading and writing whole files, the way a player's data must be written.
//
// Contract (POSIX on every back end so far):
//  - ExecutableDir reads /proc/self/exe, ResidentMemoryKiB the VmRSS line of
//    /proc/self/status; FolderIsWritable asks access(2)
//    for write and search permission; UserDataDir follows the XDG base
//    directory rules. None of them creates anything.
//  - ReadFileHead reads at most `limit` bytes from the start of a regular
//    file. A missing file, a directory or another non-regular file, or a
//    read error gives false with the reason in *error (NotFound for a file
//    that does not exist).
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
// In the browser the program is laid out as installed (ExecutableDir is
// /poromeko/bin), UserDataDir is a folder under /persist, which the page
// keeps in the browser's IndexedDB, and a completed WriteFileAtomically asks
// the page to copy /persist there.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

enum class FileError { None, NotFound, NotAFile, Unreadable, Unwritable };

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
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool KeepCopyOf(const std::string& path, std::string* copy, std::string* error);

}  // namespace platform
