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

// The lock file beside the ranking: ".Ranking.txt.lock".
std::string LockPath(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, name) + "." + path.substr(name) + ".lock";
}

// Puts the score in its place; the place, or -1 when it does not rank.
int Insert(Ranking& ranking, int score) {
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    if (score < ranking[i]) continue;
    for (std::size_t j = ranking.size() - 1; j > i; --j) ranking[j] = ranking[j - 1];
    ranking[i] = score;
    return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

RankingFile ReadRankingFile(const std::string& path) {
  RankingFile file;
  std::string bytes, error;
  platform::FileError kind = platform::FileError::None;
  if (!platform::ReadFileHead(path, kReadLimit, &bytes, &kind, &error)) {
    file.state =
        kind == platform::FileError::NotFound ? RankingState::Missing : RankingState::Unreadable;
    if (file.state == RankingState::Unreadable) file.problem = error;
    return file;
  }
  file.state = RankingState::Read;
  if (bytes.empty()) return file;  // a file not yet written to
  std::size_t start = 0;
  std::string bad;  // " line 1, line 3": the lines without a score
  for (std::size_t line = 0; line < file.scores.size(); ++line) {
    std::string text;
    if (start <= bytes.size()) {
      std::size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      text = bytes.substr(start, end - start);
      start = end + 1;
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::vector<std::string> fields = media::SplitString(text, ",");
    int score = 0;
    if (fields.size() < 2 || !ParseScore(fields[1], &score)) {
      bad += (bad.empty() ? " line " : ", line ") + std::to_string(line + 1);
      continue;
    }
    file.scores[line] = score;
  }
  if (!bad.empty()) {
    file.state = RankingState::Damaged;
    file.problem =
        path + bad + (bad.find(',') == std::string::npos ? " holds" : " hold") + " no score";
  }
  // UTF-16, or any other binary, has NUL bytes where a score's text has none.
  if (file.state == RankingState::Read && bytes.find('\0') != std::string::npos) {
    file.state = RankingState::Damaged;
    file.problem = path + " is not text";
  }
  return file;
}

Ranking LoadRanking(const std::string& path) {
  const RankingFile file = ReadRankingFile(path);
  switch (file.state) {
    case RankingState::Read:
    case RankingState::Missing:     // a ranking never written is simply empty
    case RankingState::Unreadable:  // said once as the game starts
      break;
    case RankingState::Damaged:
      std::fprintf(stderr, "poromeko: %s; it counts as 0\n", file.problem.c_str());
      break;
  }
  return file.scores;
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
  // Another game may have entered a score since this one read the file: the
  // lock makes the read, the insert and the write one step. Without a lock
  // (a folder that cannot be written) the write below fails and says so.
  std::string lockError;
  const platform::FileLock lock = platform::FileLock::Acquire(LockPath(path), &lockError);
  auto notSaved = [&](const std::string& why) {
    std::fprintf(stderr, "poromeko: the score %d was not saved (%s)\n", score, why.c_str());
    return -1;
  };
  const RankingFile file = ReadRankingFile(path);
  if (file.state == RankingState::Unreadable) {
    return notSaved(file.problem + "; it is not overwritten");
  }
  Ranking next = file.scores;
  const int place = Insert(next, score);
  if (place < 0) {
    ranking = file.scores;
    return -1;
  }
  std::string error;
  if (file.state == RankingState::Damaged) {
    std::string copy;
    if (!platform::KeepCopyOf(path, &copy, &error)) return notSaved(error);
    std::fprintf(stderr, "poromeko: %s; it is kept as %s\n", file.problem.c_str(), copy.c_str());
  }
  if (!platform::WriteFileAtomically(path, RankingText(next), &error)) {
    return notSaved(error + (lock.Held() ? "" : "; " + lockError) + "; the old ranking stays");
  }
  ranking = next;
  return place;
}

}  // namespace scenes
