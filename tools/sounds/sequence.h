// Note tables for the music: a tiny text notation and the tempo grid.
//
// A line of notes is a list of tokens separated by spaces:
//   "E5:2"       E in octave 5 (C4 is middle C, note 60) lasting 2 steps
//   "C#4" "Bb3"  sharps and flats; the length defaults to 1 step
//   "C4+E4+G4:8" a chord: all three start together and last 8 steps
//   "-:4"        a rest of 4 steps
//   "|"          a bar line, ignored (it only helps the reader)
// Lengths may be fractional ("1.5"). Anything else is an error.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace sounds {

struct NoteEvent {
  double step;    // start, in steps from the start of the table
  double length;  // in steps
  int midi;       // note number
};

// "C4" -> 60, "A4" -> 69, "Bb3" -> 58, "C#-1" -> 1. Throws
// std::invalid_argument on anything that is not a pitch from 0 to 127.
int ParsePitch(std::string_view text);

// Parses a line of notes starting at `start_step`; throws
// std::invalid_argument naming the bad token.
std::vector<NoteEvent> ParseNotes(std::string_view text, double start_step = 0.0);

// The total length in steps of a line of notes (rests included).
double NotesLength(std::string_view text);

// A tempo grid of equal steps (usually sixteenth notes). Steps land on whole
// sample frames when the tempo allows it, so a loop of whole bars is an exact
// number of frames.
class Grid {
 public:
  Grid(double bpm, int steps_per_beat);
  double SamplesPerStep() const { return samples_per_step_; }
  double SecondsPerStep() const;
  std::size_t FrameAt(double step) const;  // rounded to the nearest frame

 private:
  double samples_per_step_;
};

}  // namespace sounds
