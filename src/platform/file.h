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
//    not touched.
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

}  // namespace platform
