// The readers under test take a path, as the game gives them one: each input
// is written to a file that lives in memory (a memfd, named through
// /proc/self/fd), so a run touches no disk and needs no clean-up.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzzfile {

class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Makes the file hold exactly these bytes.
  void Set(const std::uint8_t* data, std::size_t size) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
  }
  const std::string& Path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

}  // namespace fuzzfile
