// Two helpers of the ranking's process tests.
//
//   ranking_writer PATH
// Writes the ranking file over and over until it is killed: the kill test
// stops it at random moments and then looks at the file it left behind.
// Two rankings of different lengths take turns, so a write torn half way
// would leave a mixture of the two.
//
//   ranking_writer enter PATH SCORE GO
// Plays one game's part: reads the ranking as a run starts, waits until the
// file GO exists (so that two of these finish their runs at the same
// moment), then enters SCORE. Exits 0 when the score ranked.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file.h"
#include "scenes/result/ranking.h"

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "enter") {
    const std::string path = argv[2];
    scenes::Ranking ranking = scenes::LoadRanking(path);
    for (int i = 0; i < 20000 && ::access(argv[4], F_OK) != 0; ++i) ::usleep(100);
    return scenes::EnterScore(ranking, std::atoi(argv[3]), path) >= 0 ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: ranking_writer PATH | ranking_writer enter PATH SCORE GO\n");
    return 2;
  }
  const std::string path = argv[1];
  // Bounded, so a writer whose killer went away stops by itself.
  for (int i = 0; i < 20000; ++i) {
    const int best = scenes::LoadRanking(path)[0];
    // The long ranking after the short one and back again.
    const scenes::Ranking next = best >= 1000000 ? scenes::Ranking{1 + i % 1000, 0, 0}
                                                 : scenes::Ranking{1000000 + i, 99999, 9999};
    std::string error;
    if (!platform::WriteFileAtomically(path, scenes::RankingText(next), &error)) return 1;
  }
  return 0;
}
