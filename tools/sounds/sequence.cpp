#include "sequence.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

#include "dsp.h"

namespace sounds {
namespace {

[[noreturn]] void Bad(std::string_view what, std::string_view token) {
  throw std::invalid_argument(std::string(what) + ": \"" + std::string(token) + "\"");
}

double ParseLength(std::string_view text, std::string_view token) {
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !(value > 0.0) ||
      !std::isfinite(value)) {
    Bad("bad note length", token);
  }
  return value;
}

template <typename Fn>
void ForEachToken(std::string_view text, Fn&& fn) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < text.size() && text[j] != ' ' && text[j] != '\n' && text[j] != '\t') ++j;
    if (j > i) fn(text.substr(i, j - i));
    i = j;
  }
}

}  // namespace

int ParsePitch(std::string_view text) {
  static constexpr int kOffsets[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (text.empty() || text[0] < 'A' || text[0] > 'G') Bad("bad pitch", text);
  int semis = kOffsets[text[0] - 'A'];
  std::size_t i = 1;
  if (i < text.size() && (text[i] == '#' || text[i] == 'b')) {
    semis += text[i] == '#' ? 1 : -1;
    ++i;
  }
  int octave = 0;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, octave);
  if (first == last || ec != std::errc() || end != last) Bad("bad pitch", text);
  const long midi = (static_cast<long>(octave) + 1) * 12 + semis;
  if (midi < 0 || midi > 127) Bad("pitch out of range", text);
  return static_cast<int>(midi);
}

std::vector<NoteEvent> ParseNotes(std::string_view text, double start_step) {
  std::vector<NoteEvent> events;
  double step = start_step;
  ForEachToken(text, [&](std::string_view token) {
    if (token == "|") return;
    std::string_view pitches = token;
    double length = 1.0;
    if (const std::size_t colon = token.find(':'); colon != std::string_view::npos) {
      pitches = token.substr(0, colon);
      length = ParseLength(token.substr(colon + 1), token);
    }
    if (pitches.empty()) Bad("missing pitch", token);
    if (pitches != "-") {
      std::size_t from = 0;
      while (true) {
        const std::size_t plus = pitches.find('+', from);
        const std::string_view one = pitches.substr(from, plus - from);
        events.push_back({step, length, ParsePitch(one)});
        if (plus == std::string_view::npos) break;
        from = plus + 1;
      }
    }
    step += length;
  });
  return events;
}

double NotesLength(std::string_view text) {
  double total = 0.0;
  ForEachToken(text, [&](std::string_view token) {
    if (token == "|") return;
    if (const std::size_t colon = token.find(':'); colon != std::string_view::npos) {
      total += ParseLength(token.substr(colon + 1), token);
    } else {
      total += 1.0;
    }
  });
  return total;
}

Grid::Grid(double bpm, int steps_per_beat) {
  if (!(bpm > 0.0) || steps_per_beat <= 0) throw std::invalid_argument("bad tempo");
  samples_per_step_ = kSampleRate * 60.0 / (bpm * steps_per_beat);
}

double Grid::SecondsPerStep() const { return samples_per_step_ / kSampleRate; }

std::size_t Grid::FrameAt(double step) const {
  if (step <= 0.0) return 0;
  return static_cast<std::size_t>(std::llround(step * samples_per_step_));
}

}  // namespace sounds
