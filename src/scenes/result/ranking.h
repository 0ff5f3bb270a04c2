// The three best scores, kept between runs in "Data/Ranking.txt": three
// lines, best first, each the rank, "位,", and the score written with "%06d"
// ("1位,001234"). Readers take the second field of each line. The file is
// UTF-8 text with "\n" line ends; a file written with the old Shift-JIS rank
// character and CRLF line ends reads the same, since only the score field is
// read.
//
// The player's scores are never lost: a missing file or line, a line without
// "," or with garbage reads as 0 (anything but a missing file is reported on
// standard error), and a new ranking replaces the file atomically (a crash at
// any moment leaves the old file or the new one, whole). A file that cannot
// be written is reported and left as it was; the run goes on.
#pragma once

#include <array>
#include <string>

namespace scenes {

using Ranking = std::array<int, 3>;

// The three scores of the file, best first.
Ranking LoadRanking(const std::string& path);
// The three lines of the file as written: "1位,001234\n" and so on.
std::string RankingText(const Ranking& ranking);
// Puts `score` into the ranking (a score equal to a stored one ranks above
// it) and, when it ranks, writes the file. Returns the place it took (0 to
// 2), or -1 when it did not rank (the file is not touched).
int EnterScore(Ranking& ranking, int score, const std::string& path);

}  // namespace scenes
