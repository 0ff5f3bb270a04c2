// The game's folders are floors: the entry point, then the scenes, the
// creatures, the world, the media caches, the engine and the platform. Code
// calls down, never up, and only the platform reaches the operating system.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kSrc = fs::path(POROMEKO_SOURCE_DIR) / "src";

// Calls the given function with each line of each file under src/.
template <class F>
int ForEachLine(F&& f) {
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kSrc)) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), kSrc);
    std::ifstream in(entry.path());
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) f(rel, ++lineNo, line);
    ++files;
  }
  return files;
}

TEST(LayeringTest, OnlyThePlatformLayerIncludesSdlGlOrWindows) {
  ASSERT_TRUE(fs::exists(kSrc));
  const std::regex forbidden(
      R"(^\s*#\s*include\s*[<"](SDL|GL/|GLES|epoxy/|KHR/|windows\.h|shlobj|shellapi|psapi))",
      std::regex::icase);
  int files = ForEachLine([&](const fs::path& rel, int lineNo, const std::string& line) {
    if (*rel.begin() == "platform") return;
    EXPECT_FALSE(std::regex_search(line, forbidden))
        << rel.string() << ":" << lineNo << ": " << line;
  });
  EXPECT_GT(files, 5);
}

TEST(LayeringTest, FoldersIncludeOnlyTheirOwnFloorAndThoseBelow) {
  const std::map<std::string, int> floor = {{"app", 6},     {"scenes", 5}, {"creatures", 4},
                                            {"world", 3},   {"media", 2},  {"engine", 1},
                                            {"platform", 0}};
  const std::regex include(R"re(^\s*#\s*include\s*"([a-z_]+)/)re");
  int checked = 0;
  ForEachLine([&](const fs::path& rel, int lineNo, const std::string& line) {
    if (rel.extension() != ".h" && rel.extension() != ".cpp") return;
    auto own = floor.find(rel.begin()->string());
    ASSERT_NE(own, floor.end()) << rel.string() << " is in a folder that is no floor";
    std::smatch m;
    if (!std::regex_search(line, m, include)) return;
    auto target = floor.find(m[1].str());
    ASSERT_NE(target, floor.end()) << rel.string() << ":" << lineNo << ": " << line;
    // The one way up: the device contract takes the engine's vectors and
    // matrices, from a header that includes nothing of ours.
    if (line.find("\"engine/math.h\"") != std::string::npos) return;
    EXPECT_LE(target->second, own->second)
        << rel.string() << ":" << lineNo << " reaches up into " << m[1].str() << "/";
    ++checked;
  });
  EXPECT_GT(checked, 50);
}

// The C libraries' sines and cosines round differently from system to
// system (glibc against mingw's), and a journal replayed on the other one
// would drift: the game computes them with its own (engine/trig.h).
TEST(LayeringTest, TrigonometryIsOursEverywhere) {
  const std::regex libm(R"((std::|\b)(sin|cos|tan|asin|acos|atan|atan2)f?\s*\()");
  ForEachLine([&](const fs::path& rel, int lineNo, const std::string& line) {
    if (rel == fs::path("engine") / "trig.cpp") return;
    const std::string code = line.substr(0, line.find("//"));
    EXPECT_FALSE(std::regex_search(code, libm)) << rel.string() << ":" << lineNo << ": " << line;
  });
}

}  // namespace
