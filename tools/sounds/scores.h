// The written music: tunes and chords of the two loops, in the note
// notation of sequence.h, one sixteenth-note step per unit.
#pragma once

namespace sounds::score {

inline constexpr int kStepsPerBar = 16;

// ---- Title: F major, 90 BPM, 16 bars --------------------------------------

inline constexpr double kTitleBpm = 90.0;  // a sixteenth is exactly 7350 frames
inline constexpr int kTitleBars = 16;

// The music box's tune, one line per bar.
inline constexpr const char* kTitleTune[kTitleBars] = {
    "C6:6 A5:2 F5:4 G5:4",       "A5:6 G5:2 E5:4 C5:4",
    "D5:4 F5:4 A5:4 Bb5:2 A5:2", "G5:12 -:4",
    "C6:6 A5:2 F5:4 A5:4",       "D6:6 C6:2 A5:4 F5:4",
    "Bb5:4 A5:2 G5:2 F5:4 D5:4", "E5:4 G5:4 C6:4 Bb5:4",
    "A5:6 Bb5:2 A5:4 F5:4",      "G5:6 A5:2 G5:4 E5:4",
    "F5:6 G5:2 F5:4 D5:4",       "E5:2 F5:2 A5:4 C6:8",
    "D6:6 C6:2 Bb5:4 A5:4",      "G5:4 E5:2 G5:2 C6:8",
    "Bb5:4 A5:4 G5:4 D5:4",      "E5:4 G5:4 Bb5:2 A5:2 G5:4",
};

struct PadChord {
  const char* voicing;  // four pad notes, low to high
  const char* root;     // bass
};
// One chord per bar: Fmaj7 Am7 Bbmaj7 C7 | Fmaj7 Dm7 Gm7 C7 |
// Bbmaj7 Am7 Gm7 Dm7 | Bbmaj7 C Gm7 C7, which leads back to the top.
inline constexpr PadChord kTitleChords[kTitleBars] = {
    {"F3+A3+C4+E4", "F2"},   {"E3+G3+A3+C4", "A2"}, {"F3+A3+Bb3+D4", "Bb2"}, {"E3+G3+Bb3+C4", "C2"},
    {"F3+A3+C4+E4", "F2"},   {"F3+A3+C4+D4", "D2"}, {"F3+G3+Bb3+D4", "G2"},  {"E3+G3+Bb3+C4", "C2"},
    {"F3+A3+Bb3+D4", "Bb2"}, {"E3+G3+A3+C4", "A2"}, {"F3+G3+Bb3+D4", "G2"},  {"F3+A3+C4+D4", "D2"},
    {"F3+A3+Bb3+D4", "Bb2"}, {"E3+G3+C4+E4", "C2"}, {"F3+G3+Bb3+D4", "G2"},  {"E3+G3+Bb3+C4", "C2"},
};

// ---- Game: C major, 140 BPM, 24 bars --------------------------------------

inline constexpr double kGameBpm = 140.0;  // a sixteenth is exactly 4725 frames
inline constexpr int kGameBars = 24;

inline constexpr const char* kGameTheme[8] = {
    "E5:2 G5:2 C6:2 G5:2 A5:2 G5:2 E5:4",      "C5:2 E5:2 A5:2 E5:2 G5:3 E5:1 D5:2 C5:2",
    "F5:2 A5:2 C6:2 A5:2 D6:3 C6:1 A5:4",      "B5:2 A5:2 G5:2 F5:2 E5:2 D5:2 G5:4",
    "E5:2 G5:2 C6:2 G5:2 A5:2 G5:2 E5:2 G5:2", "A5:3 G5:1 E5:2 C5:2 D5:2 E5:2 C5:4",
    "A5:2 C6:2 A5:2 F5:2 G5:2 B5:2 D6:4",      "C6:6 -:2 G5:1 A5:1 B5:2 C6:4",
};
inline constexpr const char* kGameMiddle[8] = {
    "A5:3 A5:3 G5:2 F5:4 C5:4",           "B5:3 B5:3 A5:2 G5:4 D5:4",
    "G5:3 G5:3 A5:2 B5:4 G5:4",           "C6:3 B5:3 A5:2 E5:8",
    "F5:2 A5:2 C6:2 A5:2 F5:2 A5:2 C6:4", "D6:2 B5:2 G5:2 B5:2 D6:2 B5:2 G5:4",
    "E6:4 D6:2 C6:2 B5:2 A5:2 B5:2 C6:2", "D6:4 B5:2 G5:2 -:4 G5:1 A5:1 B5:2",
};
// The last bar of the loop runs down into the theme's first note.
inline constexpr const char* kGameTurnaround = "D6:2 C6:2 B5:2 A5:2 G5:2 F5:2 E5:2 D5:2";

// Theme, middle, theme; the very last bar is the turnaround.
constexpr const char* GameLeadLine(int bar) {
  if (bar == kGameBars - 1) return kGameTurnaround;
  return bar / 8 == 1 ? kGameMiddle[bar % 8] : kGameTheme[bar % 8];
}

struct Triad {
  const char* stab;  // three notes, low to high
  const char* root;  // bass
};
inline constexpr Triad kC{"E4+G4+C5", "C2"};
inline constexpr Triad kAm{"E4+A4+C5", "A2"};
inline constexpr Triad kF{"F4+A4+C5", "F2"};
inline constexpr Triad kG{"D4+G4+B4", "G2"};
inline constexpr Triad kEm{"E4+G4+B4", "E2"};

struct GameChord {
  double step, length;  // within the loop
  Triad triad;
};
inline constexpr GameChord kGameChords[] = {
    // Theme: C Am F G | C Am F-G C
    {0, 16, kC},
    {16, 16, kAm},
    {32, 16, kF},
    {48, 16, kG},
    {64, 16, kC},
    {80, 16, kAm},
    {96, 8, kF},
    {104, 8, kG},
    {112, 16, kC},
    // Middle: F G Em Am | F G Am G
    {128, 16, kF},
    {144, 16, kG},
    {160, 16, kEm},
    {176, 16, kAm},
    {192, 16, kF},
    {208, 16, kG},
    {224, 16, kAm},
    {240, 16, kG},
    // Theme again, ending on G to turn back to the top.
    {256, 16, kC},
    {272, 16, kAm},
    {288, 16, kF},
    {304, 16, kG},
    {320, 16, kC},
    {336, 16, kAm},
    {352, 8, kF},
    {360, 8, kG},
    {368, 16, kG},
};

}  // namespace sounds::score
