// Feeds arbitrary bytes to the ranking reader, then enters a score into what
// it read, in a folder of its own, and reads the file again. Whatever the
// file held, the reader gives three scores from 0 up, the scores that stay in
// the ranking are never lost or changed, the file then reads back exactly as
// the game holds it, and no temporary file is left beside it.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_file.h"
#include "scenes/result/ranking.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
  fs::path path;
  Folder() {
    std::string name = "/dev/shm/poromeko-ranking-fuzz-XXXXXX";
    if (!::mkdtemp(name.data())) std::abort();
    path = name;
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzfile::MemoryFile file;
  static Folder folder;
  file.Set(data, size);

  const scenes::Ranking read = scenes::LoadRanking(file.Path());
  for (int score : read) {
    if (score < 0) std::abort();
  }

  // The same bytes as the player's file in a game folder.
  const fs::path path = folder.path / "Ranking.txt";
  WriteAll(path, data, size);
  scenes::Ranking ranking = scenes::LoadRanking(path.string());
  if (ranking != read) std::abort();

  // A score near the stored ones, chosen by the input's last byte.
  const int pick = size ? data[size - 1] % 8 : 0;
  const long long choices[8] = {
      0, 1, ranking[0], ranking[1], ranking[2], ranking[2] - 1LL, ranking[0] + 1LL, INT_MAX};
  const int score = static_cast<int>(std::clamp<long long>(choices[pick], 0, INT_MAX));

  const scenes::Ranking before = ranking;
  const int place = scenes::EnterScore(ranking, score, path.string());
  if (place < -1 || place > 2) std::abort();
  if (place < 0) {
    // Not ranked: nothing changes, the file is not touched.
    if (ranking != before ||
        ReadAll(path) != std::string(reinterpret_cast<const char*>(data), size))
      std::abort();
  } else {
    const auto p = static_cast<std::size_t>(place);
    if (ranking[p] != score) std::abort();
    for (std::size_t i = 0; i < p; ++i) {
      if (ranking[i] != before[i] || before[i] <= score) std::abort();
    }
    for (std::size_t i = p + 1; i < ranking.size(); ++i) {
      if (ranking[i] != before[i - 1]) std::abort();
    }
    if (ReadAll(path) != scenes::RankingText(ranking)) std::abort();
    if (scenes::LoadRanking(path.string()) != ranking) std::abort();
  }

  // Besides the ranking: its lock, and a copy of a damaged file the score
  // replaced, holding the input as it was. No temporary file stays behind.
  const bool damaged = scenes::ReadRankingFile(file.Path()).state == scenes::RankingState::Damaged;
  std::vector<fs::path> copies;
  for (const auto& entry : fs::directory_iterator(folder.path)) {
    const std::string name = entry.path().filename().string();
    if (name == "Ranking.txt" || name == ".Ranking.txt.lock") continue;
    if (name.rfind("Ranking.txt.bad-", 0) != 0) std::abort();
    copies.push_back(entry.path());
  }
  if (copies.size() != (damaged && place >= 0 ? 1u : 0u)) std::abort();
  for (const fs::path& copy : copies) {
    if (ReadAll(copy) != std::string(reinterpret_cast<const char*>(data), size)) std::abort();
    fs::remove(copy);
  }
  return 0;
}
