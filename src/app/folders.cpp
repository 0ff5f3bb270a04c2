#include "app/folders.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "media/paths.h"
#include "platform/file.h"
#include "scenes/result/ranking.h"

namespace app {

namespace fs = std::filesystem;

namespace {

// A folder holds the game when its one indispensable file is there. Only
// that it is there: a planet that is not a file the game can read is
// reported by the loading, not taken for a sign to look elsewhere.
bool HoldsTheGame(const fs::path& folder) {
  std::error_code ec;
  return !folder.empty() && fs::exists(folder / content::model::kPlanet, ec);
}

std::string Absolute(const fs::path& p) {
  std::error_code ec;
  const fs::path a = fs::absolute(p, ec);
  return platform::Utf8FromPath((ec ? p : a).lexically_normal());
}

}  // namespace

GameFolders FindGameFolders(const std::string& dataDir, const std::string& exeDir,
                            const std::string& workingDir) {
  GameFolders folders;
  std::vector<fs::path> candidates;
  if (!dataDir.empty()) {
    // An absolute --data stays as it is.
    candidates.push_back(platform::PathFromUtf8(workingDir) / platform::PathFromUtf8(dataDir));
  } else {
    if (!exeDir.empty()) {
      candidates.push_back(platform::PathFromUtf8(exeDir));
      candidates.push_back(platform::PathFromUtf8(exeDir) / ".." / "share" / "poromeko");
    }
    candidates.push_back(platform::PathFromUtf8(workingDir));
  }
  folders.content = Absolute(candidates.back());
  bool installed = false;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (HoldsTheGame(candidates[i])) {
      folders.content = Absolute(candidates[i]);
      folders.found = true;
      installed = dataDir.empty() && !exeDir.empty() &&
                  (i == 1 || (i == 0 && platform::kProgramFolderIsInstalled));
      folders.installed = installed;
      break;
    }
  }
  const fs::path data = platform::PathFromUtf8(folders.content) / "Data";
  const std::string userDir = platform::UserDataDir("poromeko");
  if (userDir.empty() || (!installed && platform::FolderIsWritable(platform::Utf8FromPath(data)))) {
    folders.ranking = platform::Utf8FromPath(data / "Ranking.txt");
  } else {
    folders.ranking = platform::Utf8FromPath(platform::PathFromUtf8(userDir) / "Ranking.txt");
  }
  return folders;
}

void PrepareRanking(const GameFolders& folders) {
  const fs::path ranking = platform::PathFromUtf8(folders.ranking);
  const fs::path shipped = platform::PathFromUtf8(folders.content) / content::data::kRanking;
  std::error_code ec;
  if (ranking != shipped) {
    std::fprintf(
        stderr, "poromeko: the ranking is kept in %s (%s)\n", folders.ranking.c_str(),
        folders.installed ? "the game is installed" : "the game's folder cannot be written");
  }
  if (ranking == shipped || fs::exists(ranking, ec)) {
    const scenes::RankingFile file = scenes::ReadRankingFile(folders.ranking);
    if (file.state == scenes::RankingState::Unreadable) {
      std::fprintf(stderr,
                   "poromeko: %s: the scores show as 0, and the ranking will not be overwritten\n",
                   file.problem.c_str());
    }
    return;
  }
  fs::create_directories(ranking.parent_path(), ec);
  if (ec) {
    std::fprintf(stderr, "poromeko: cannot make %s (%s); scores will not be kept\n",
                 platform::Utf8FromPath(ranking.parent_path()).c_str(), ec.message().c_str());
    return;
  }
  if (!fs::exists(shipped, ec)) return;  // the first score ranked creates it
  fs::copy_file(shipped, ranking, ec);
  if (ec) {
    std::fprintf(stderr, "poromeko: cannot copy the ranking to %s (%s)\n", folders.ranking.c_str(),
                 ec.message().c_str());
  }
}

}  // namespace app
