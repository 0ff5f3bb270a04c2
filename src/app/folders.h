// Where the game's files are, whatever folder it was started from, and where
// the player's ranking is kept.
//
// The content (XFile/, Texture/, Sound/, Data/) is looked for, in order: in
// the folder given with --data; beside the executable (a build tree); in the
// installed data folder ../share/poromeko next to the executable's folder;
// in the working directory. The game then works inside that folder, so every
// content path stays as the game names it ("XFile/planet.x").
//
// The ranking stays at Data/Ranking.txt where the game may write there (a
// build tree, a folder given with --data). An installed game (its content
// found in the installed data folder) never writes beside its content: its
// ranking lives in $XDG_DATA_HOME/poromeko/Ranking.txt (by default
// ~/.local/share/poromeko/Ranking.txt), started as a copy of the shipped file.
#pragma once

#include <string>

namespace app {

struct GameFolders {
  std::string content;     // the folder holding XFile/, Texture/, Sound/, Data/
  bool found = false;      // false: no candidate held the game's files (content is the last tried)
  bool installed = false;  // found in the installed data folder
  std::string ranking;     // the ranking file, absolute
};

// The folders for an executable in `exeDir` started in `workingDir`.
// `dataDir` is --data (empty when not given).
GameFolders FindGameFolders(const std::string& dataDir, const std::string& exeDir,
                            const std::string& workingDir);

// Makes sure the ranking file outside the content folder exists: the user's
// data folder is created and the shipped ranking copied there when missing.
// Says on standard error where the ranking is kept when that is not beside
// the game, and once that a ranking which cannot be read shows as zeros and
// will not be overwritten. Problems are reported on standard error; the
// game goes on.
void PrepareRanking(const GameFolders& folders);

}  // namespace app
