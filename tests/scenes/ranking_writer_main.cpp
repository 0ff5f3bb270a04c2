// Writes the ranking file over and over until it is killed: the kill test
// stops it at random moments and then looks at the file it left behind.
// Two rankings of different lengths take turns, so a write torn half way
// would leave a mixture of the two.
//
// Usage: ranking_writer PATH
#include <cstdio>
#include <string>

#include "scenes/result/ranking.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ranking_writer PATH\n");
    return 2;
  }
  const std::string path = argv[1];
  // Bounded, so a writer whose killer went away stops by itself.
  for (int i = 0; i < 20000; ++i) {
    scenes::Ranking ranking = scenes::LoadRanking(path);
    const int best = ranking[0];
    // The long ranking after the short one and back again.
    ranking = best >= 1000000 ? scenes::Ranking{0, 0, 0} : scenes::Ranking{999999, 99999, 9999};
    const int next = best >= 1000000 ? 1 + i % 1000 : 1000000 + i;
    if (scenes::EnterScore(ranking, next, path) < 0) return 1;
  }
  return 0;
}
