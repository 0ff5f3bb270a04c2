// What reading a file is on every system, over the systems' own
// InputFile::Open, ReadAt and Close (file.cpp for POSIX, win/file_win.cpp).
#include "platform/file_common.h"

#include <algorithm>
#include <utility>

#include "platform/file.h"

namespace platform {

namespace file_common {

// "256 KiB", "512 MiB", "536870911 bytes (about 512 MiB)" or "100 bytes".
std::string SizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kKiB = 1024, kMiB = kKiB * kKiB;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  if (bytes >= kKiB && bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  std::string text = std::to_string(bytes) + " bytes";
  if (bytes >= kMiB) text += " (about " + std::to_string((bytes + kMiB / 2) / kMiB) + " MiB)";
  return text;
}

bool Refuse(FileError* kind, std::string* error, FileError k, const std::string& message) {
  if (kind) *kind = k;
  if (error) *error = message;
  return false;
}

}  // namespace file_common

using file_common::Refuse;
using file_common::SizeText;

InputFile::InputFile(InputFile&& other) noexcept { *this = std::move(other); }

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    size_ = other.size_;
    limit_ = other.limit_;
    readError_ = std::move(other.readError_);
    other.handle_ = kClosed;
  }
  return *this;
}

bool InputFile::ReadAll(std::string* bytes, FileError* kind, std::string* error) {
  bytes->clear();
  const std::string what = "cannot read " + path_ + ": ";
  if (handle_ == kClosed) return Refuse(kind, error, FileError::Unreadable, what + "not open");
  // One byte more than allowed tells a file that grew past its limit; the
  // files of /proc say they are empty and are read in growing steps.
  const std::uint64_t most = limit_ == kAnySize ? kAnySize : limit_ + 1;
  std::uint64_t room = std::min<std::uint64_t>(std::max<std::uint64_t>(size_ + 1, 4096), most);
  std::size_t got = 0;
  for (;;) {
    bytes->resize(static_cast<std::size_t>(room));
    got += ReadAt(got, bytes->data() + got, bytes->size() - got);
    if (ReadFailed()) {
      bytes->clear();
      return Refuse(kind, error, FileError::Unreadable, what + readError_);
    }
    if (got < bytes->size() || room == most) break;
    room = std::min<std::uint64_t>(room * 2, most);
  }
  if (got > limit_) {
    bytes->clear();
    return Refuse(kind, error, FileError::TooLarge,
                  what + "it grew past the limit of " + SizeText(limit_) + " for this file");
  }
  bytes->resize(got);
  if (kind) *kind = FileError::None;
  return true;
}

bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::string* bytes,
                   FileError* kind, std::string* error) {
  bytes->clear();
  InputFile file;
  return file.Open(path, limit, kind, error) && file.ReadAll(bytes, kind, error);
}

bool ReadFileHead(const std::string& path, std::size_t limit, std::string* bytes, FileError* kind,
                  std::string* error) {
  bytes->clear();
  InputFile file;
  if (!file.Open(path, kAnySize, kind, error)) return false;
  bytes->resize(limit);
  bytes->resize(file.ReadAt(0, bytes->data(), limit));
  if (file.ReadFailed()) {
    bytes->clear();
    return Refuse(kind, error, FileError::Unreadable,
                  "cannot read " + path + ": " + file.ReadError());
  }
  if (kind) *kind = FileError::None;
  return true;
}

}  // namespace platform
