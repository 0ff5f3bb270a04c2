#include "scenes/result/ranking.h"

#include <climits>
#include <cstdio>

#include "media/ini.h"
#include "platform/file.h"

namespace scenes {

namespace {

// The three lines are short; a longer file is read only this far.
constexpr std::size_t kReadLimit = 4096;

// The score of one line's second field: leading blanks and zeros allowed,
// digits up to the first other character. False for a field that starts
// with no digit, a negative number or one too large for a score.
bool ParseScore(const std::string& field, int* score) {
  std::size_t i = 0;
  while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) ++i;
  if (i < field.size() && field[i] == '+') ++i;
  if (i == field.size() || field[i] < '0' || field[i] > '9') return false;
  long long value = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    value = value * 10 + (field[i] - '0');
    if (value > INT_MAX) return false;
  }
  *score = static_cast<int>(value);
  return true;
}

}  // namespace

Ranking LoadRanking(const std::string& path) {
  Ranking ranking{0, 0, 0};
  std::string bytes, error;
  platform::FileError kind = platform::FileError::None;
  if (!platform::ReadFileHead(path, kReadLimit, &bytes, &kind, &error)) {
    // A ranking that was never written is simply empty.
    if (kind != platform::FileError::NotFound) {
      std::fprintf(stderr, "poromeko: %s; the ranking starts empty\n", error.c_str());
    }
    return ranking;
  }
  std::size_t start = 0;
  for (std::size_t line = 0; line < ranking.size(); ++line) {
    if (start > bytes.size()) break;
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string text = bytes.substr(start, end - start);
    start = end + 1;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::vector<std::string> fields = media::SplitString(text, ",");
    int score = 0;
    if (fields.size() < 2 || !ParseScore(fields[1], &score)) {
      std::fprintf(stderr, "poromeko: %s line %zu holds no score; it counts as 0\n", path.c_str(),
                   line + 1);
      continue;
    }
    ranking[line] = score;
  }
  return ranking;
}

std::string RankingText(const Ranking& ranking) {
  std::string text;
  for (std::size_t j = 0; j < ranking.size(); ++j) {
    char line[64];
    std::snprintf(line, sizeof line, "%zu位,%06d\n", j + 1, ranking[j]);
    text += line;
  }
  return text;
}

int EnterScore(Ranking& ranking, int score, const std::string& path) {
  int place = -1;
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    if (score >= ranking[i]) {
      place = static_cast<int>(i);
      break;
    }
  }
  if (place < 0) return -1;
  for (std::size_t i = ranking.size() - 1; i > static_cast<std::size_t>(place); --i)
    ranking[i] = ranking[i - 1];
  ranking[static_cast<std::size_t>(place)] = score;
  std::string error;
  if (!platform::WriteFileAtomically(path, RankingText(ranking), &error)) {
    std::fprintf(stderr, "poromeko: the new ranking was not saved (%s); the old one stays\n",
                 error.c_str());
  }
  return place;
}

}  // namespace scenes
