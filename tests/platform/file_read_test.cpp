#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <tuple>

#include "platform/file.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class FileReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("poromeko_read_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(FileReadTest, OnlyARegularFileWithinItsLimitIsOpenedAndNothingWaits) {
  // A FIFO with no writer: opening it must not wait for one. Should the open
  // block, a writer comes after five seconds to free it and the test fails.
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto opened = std::async(std::launch::async, [&] {
    std::string bytes, error;
    FileError kind = FileError::None;
    const bool ok = ReadWholeFile(fifo, 1024, &bytes, &kind, &error);
    return std::tuple{ok, kind, error};
  });
  if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    opened.wait();
    if (writer >= 0) ::close(writer);
    FAIL() << "opening a FIFO waited for a writer";
  }
  auto [ok, kind, error] = opened.get();
  EXPECT_FALSE(ok);
  EXPECT_EQ(kind, FileError::NotAFile);
  EXPECT_NE(error.find(fifo + ": a FIFO, not a regular file"), std::string::npos) << error;

  // A device and a folder are refused the same way, by every form of the read.
  for (const std::string& path : {std::string("/dev/zero"), dir_.string()}) {
    SCOPED_TRACE(path);
    std::string bytes = "stale";
    kind = FileError::None;
    EXPECT_FALSE(ReadWholeFile(path, 1024, &bytes, &kind, &error));
    EXPECT_EQ(kind, FileError::NotAFile);
    EXPECT_TRUE(bytes.empty());
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(ReadFileHead(path, 16, &bytes, &kind, &error));
    EXPECT_EQ(kind, FileError::NotAFile);
  }

  // A file over the limit is refused from its size, with the limit named; one
  // exactly at it is read whole. A 2 GiB sparse file costs no disk.
  const std::string big = Path("big");
  { std::ofstream(big, std::ios::binary) << "x"; }
  fs::resize_file(big, std::uint64_t{2} << 30);
  std::string bytes;
  EXPECT_FALSE(ReadWholeFile(big, 256 * 1024, &bytes, &kind, &error));
  EXPECT_EQ(kind, FileError::TooLarge);
  EXPECT_TRUE(bytes.empty());
  EXPECT_NE(error.find("2147483648 bytes, over the limit of 256 KiB"), std::string::npos) << error;
  // Its head alone can still be read.
  ASSERT_TRUE(ReadFileHead(big, 4, &bytes, &kind, &error)) << error;
  EXPECT_EQ(bytes, std::string("x\0\0\0", 4));

  const std::string exact = Path("exact");
  { std::ofstream(exact, std::ios::binary) << "0123456789"; }
  ASSERT_TRUE(ReadWholeFile(exact, 10, &bytes, &kind, &error)) << error;
  EXPECT_EQ(bytes, "0123456789");
  EXPECT_FALSE(ReadWholeFile(exact, 9, &bytes, &kind, &error));
  EXPECT_EQ(kind, FileError::TooLarge);
  EXPECT_FALSE(ReadWholeFile(Path("none"), 9, &bytes, &kind, &error));
  EXPECT_EQ(kind, FileError::NotFound);
}

TEST_F(FileReadTest, TheLimitHoldsForFilesLongerThanTheySay) {
  // A file that grows between the open and the read is refused past its
  // limit, not read on for ever.
  const std::string path = Path("growing");
  { std::ofstream(path, std::ios::binary) << "short"; }
  InputFile file;
  std::string bytes, error;
  FileError kind = FileError::None;
  ASSERT_TRUE(file.Open(path, 64, &kind, &error)) << error;
  { std::ofstream(path, std::ios::binary | std::ios::app) << std::string(100, 'y'); }
  EXPECT_FALSE(file.ReadAll(&bytes, &kind, &error));
  EXPECT_EQ(kind, FileError::TooLarge);
  EXPECT_TRUE(bytes.empty());

  // The files of /proc say they are empty and still read whole.
  ASSERT_TRUE(ReadWholeFile("/proc/self/status", 1 << 16, &bytes, &kind, &error)) << error;
  EXPECT_NE(bytes.find("\nVmRSS:"), std::string::npos);
  EXPECT_GT(ResidentMemoryKiB(), 0);
}

}  // namespace
}  // namespace platform
