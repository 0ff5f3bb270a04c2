// The game reaches the operating system only through src/platform/: no file
// elsewhere may include SDL or OpenGL headers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(LayeringTest, OnlyThePlatformLayerIncludesSdlOrGl) {
  const fs::path src = fs::path(POROMEKO_SOURCE_DIR) / "src";
  ASSERT_TRUE(fs::exists(src));
  const std::regex forbidden(R"(^\s*#\s*include\s*[<"](SDL|GL/|GLES|epoxy/|KHR/))");
  int filesChecked = 0;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), src);
    if (*rel.begin() == "platform") continue;
    std::ifstream in(entry.path());
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
      ++lineNo;
      EXPECT_FALSE(std::regex_search(line, forbidden))
          << rel.string() << ":" << lineNo << ": " << line;
    }
    ++filesChecked;
  }
  EXPECT_GT(filesChecked, 5);
}

}  // namespace
