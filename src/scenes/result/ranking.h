// The three best scores, kept between runs in "Data/Ranking.txt": three
// lines, best first, each the rank, "位,", and the score written with "%06d"
// ("1位,001234"). Readers take the second field of each line. The file is
// UTF-8 text with "\n" line ends; a file written with the old Shift-JIS rank
// character and CRLF line ends reads the same, since only the score field is
// read.
//
// The player's scores are never lost:
//  - a missing file or line, a line without "," or with garbage reads as 0
//    (anything but a missing file is reported on standard error);
//  - a score is entered under a lock on ".Ranking.txt.lock" beside the
//    file: the file is read again, the score put in, the file replaced, so
//    two games finishing at once both keep their scores;
//  - a new ranking replaces the file atomically (a crash at any moment
//    leaves the old file or the new one, whole);
//  - a file that exists but cannot be read (no permission, not a regular
//    file, a read error) is never replaced: the game shows zeros and saves
//    nothing;
//  - a file that reads but holds garbage (a line without a score, NUL bytes
//    of UTF-16) is kept as "Ranking.txt.bad-DATE" before the first new
//    ranking replaces it.
// A score that could not be saved does not count as ranked.
#pragma once

#include <array>
#include <string>

namespace scenes {

using Ranking = std::array<int, 3>;

// What reading the file found.
enum class RankingState {
  Read,        // three good lines (or an empty file)
  Missing,     // no file: every score is 0
  Unreadable,  // there is something, but it cannot be read: never overwrite it
  Damaged,     // it reads, but some line holds no score
};

struct RankingFile {
  Ranking scores{0, 0, 0};
  RankingState state = RankingState::Missing;
  std::string problem;  // what is wrong, naming the file (empty when Read or Missing)
};

// Reads the file and says nothing.
RankingFile ReadRankingFile(const std::string& path);
// The three scores of the file, best first; a damaged line is reported on
// standard error (a file that cannot be read is not: the game says that once
// as it starts).
Ranking LoadRanking(const std::string& path);
// The three lines of the file as written: "1位,001234\n" and so on.
std::string RankingText(const Ranking& ranking);
// Puts `score` into the ranking as the file holds it now (a score equal to
// a stored one ranks above it) and, when it ranks, writes the file.
// `ranking` becomes what the file then holds. Returns the place the score
// took (0 to 2), or -1 when it did not rank or could not be saved (said on
// standard error; the file is not touched).
int EnterScore(Ranking& ranking, int score, const std::string& path);

}  // namespace scenes
