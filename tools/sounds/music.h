// Putting notes on buses and finishing a render into 16-bit samples.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "dsp.h"
#include "sequence.h"

namespace sounds {

// A finished sound, ready for the WAV writer.
struct Rendered {
  std::uint16_t channels = 1;
  std::vector<std::int16_t> pcm;  // interleaved
};

// A voice renders one note (frequency in Hz, held for `hold` seconds).
using Voice = std::function<Mono(double hz, double hold)>;

struct Placement {
  double gain = 1.0;
  double pan = 0.0;
  double send = 0.0;         // level into the effect send
  double gain_jitter = 0.0;  // each note's level varies by up to this fraction
  double time_jitter = 0.0;  // and its start by up to this many seconds (later only)
};

// Renders every note of `notes` (parsed from `start_step`) with `voice` and
// mixes it into `bus`, and into `send` when given. Jitter draws from `rng`.
void PlayNotes(Stereo& bus, Stereo* send, const Grid& grid, std::string_view notes,
               double start_step, const Voice& voice, const Placement& place, Rng& rng);

// As PlayNotes, for events built in code.
void PlayEvents(Stereo& bus, Stereo* send, const Grid& grid, std::span<const NoteEvent> events,
                const Voice& voice, const Placement& place, Rng& rng);

// The same short sound (a drum) at each listed step.
void PlayHits(Stereo& bus, Stereo* send, const Grid& grid, std::span<const double> steps,
              const std::function<Mono()>& hit, const Placement& place, Rng& rng);

// Normalises to `peak_dbfs` and converts: a loop keeps its mean removed so
// it has no DC; one-shots are faded over their first and last milliseconds.
Rendered FinishLoop(Stereo& mix, double peak_dbfs);
Rendered FinishOneShot(Mono& mono, double peak_dbfs);
Rendered FinishOneShot(Stereo& stereo, double peak_dbfs);

}  // namespace sounds
