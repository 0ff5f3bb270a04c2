// The music while playing: a bouncy loop in C major. A plucky lead with a
// ping-pong echo, an octave-hopping bass, off-beat chord stabs that duck
// under the kick, and a simple kit (kick, clap, hats). Three sections of
// eight bars: the theme, a lighter middle with a pad, the theme again with a
// bell on top whose last bar turns back to the start.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "instruments.h"
#include "scores.h"
#include "tracks.h"

namespace sounds {
namespace {

using score::kStepsPerBar;
constexpr int kBars = score::kGameBars;
constexpr double kTailSeconds = 5.0;

// Sidechain-style dip after each kick, as a gain per frame of the loop.
Mono DuckEnvelope(const Grid& grid, const std::vector<double>& kicks, std::size_t loop,
                  double depth) {
  Mono gain(loop, 1.0);
  const double attack = 0.004, release = 0.09;
  for (double step : kicks) {
    const std::size_t start = grid.FrameAt(step);
    const std::size_t span = SecondsToSamples(attack + 6.0 * release);
    for (std::size_t k = 0; k < span; ++k) {
      const double t = static_cast<double>(k) / kSampleRate;
      const double shape = t < attack ? t / attack : std::exp(-(t - attack) / release);
      double& g = gain[(start + k) % loop];
      g = std::min(g, 1.0 - depth * shape);
    }
  }
  return gain;
}

}  // namespace

Rendered RenderGameBgm() {
  const Grid grid(score::kGameBpm, 4);
  const std::size_t loop = grid.FrameAt(kBars * kStepsPerBar);
  const std::size_t total = loop + SecondsToSamples(kTailSeconds);
  Stereo drums(total), keys(total), lead(total), verb(total), echo_send(total);
  Rng rng(0x6A3EB);

  // ---- Lead -------------------------------------------------------------
  auto pluck = [](double hz, double hold) { return PluckLead(hz, hold); };
  const Placement lead_place{.gain = 1.25, .pan = 0.0, .gain_jitter = 0.12};
  for (int bar = 0; bar < kBars; ++bar) {
    const double at = bar * kStepsPerBar;
    const int section = bar / 8;
    const char* line = score::GameLeadLine(bar);
    if (NotesLength(line) != kStepsPerBar) {
      throw std::logic_error("game lead bar " + std::to_string(bar + 1) + " is not a whole bar");
    }
    PlayNotes(lead, nullptr, grid, line, at, pluck, lead_place, rng);
    if (section == 2) {
      // The bell doubles the theme an octave up the last time round.
      std::vector<NoteEvent> up = ParseNotes(line, at);
      for (NoteEvent& e : up) e.midi += 12;
      PlayEvents(
          lead, nullptr, grid, up,
          [](double hz, double hold) { return Bell(hz, std::max(0.35, hold + 0.25)); },
          {.gain = 0.15, .pan = 0.3, .gain_jitter = 0.2}, rng);
    }
  }
  MixStereo(echo_send, lead, 0.35);
  MixStereo(verb, lead, 0.25);

  // ---- Harmony: bass, stabs, and a pad in the middle section -------------
  for (const score::GameChord& c : score::kGameChords) {
    const int root = ParsePitch(c.triad.root);
    std::vector<NoteEvent> bass;
    for (double s = 0; s < c.length; s += 8.0) {
      const double at = c.step + s;
      bass.push_back({at, 1.5, root});
      bass.push_back({at + 2.0, 1.0, root + 12});
      bass.push_back({at + 4.0, 1.5, root});
      bass.push_back({at + 6.0, 1.0, root + 12});
    }
    PlayEvents(
        keys, nullptr, grid, bass, [](double hz, double hold) { return PluckBass(hz, hold); },
        {.gain = 0.34, .pan = 0.0, .gain_jitter = 0.1}, rng);

    const std::vector<NoteEvent> tones = ParseNotes(c.triad.stab, 0.0);
    for (double s = 2.0; s < c.length; s += 4.0) {
      std::vector<NoteEvent> stab = tones;
      for (NoteEvent& e : stab) e.step = c.step + s;
      PlayEvents(
          keys, &verb, grid, stab, [](double hz, double hold) { return Stab(hz, hold); },
          {.gain = 0.11, .pan = -0.3, .send = 0.5, .gain_jitter = 0.15}, rng);
    }

    const bool middle = c.step >= 8 * kStepsPerBar && c.step < 16 * kStepsPerBar;
    if (middle) {
      const double hold = c.length * grid.SecondsPerStep() - 0.1;
      for (const NoteEvent& e : tones) {
        const double hz = MidiToHz(e.midi - 12);
        const std::size_t frame = grid.FrameAt(c.step);
        const Mono l = PadVoice(hz, hold, rng);
        const Mono r = PadVoice(hz, hold, rng);
        MixInto(keys.left, frame, l, 0.06);
        MixInto(keys.right, frame, r, 0.06);
        MixInto(verb.left, frame, l, 0.08);
        MixInto(verb.right, frame, r, 0.08);
      }
    }
  }

  // ---- Drums -------------------------------------------------------------
  std::vector<double> kicks, claps, closed, open;
  std::vector<double> fill;
  for (int bar = 0; bar < kBars; ++bar) {
    const double at = bar * kStepsPerBar;
    const bool middle = bar / 8 == 1;
    const bool fill_bar = bar % 8 == 7;
    for (double s : {0.0, 4.0, 8.0, 12.0}) kicks.push_back(at + s);
    if (middle && bar % 2 == 1) kicks.push_back(at + 14.0);
    claps.push_back(at + 4.0);
    if (fill_bar) {
      for (double s : {12.0, 13.0, 14.0, 15.0}) fill.push_back(at + s);
    } else {
      claps.push_back(at + 12.0);
    }
    for (int s = 0; s < 16; ++s) {
      if (s % 4 == 2 && middle) {
        open.push_back(at + s);
      } else {
        closed.push_back(at + s);
      }
    }
  }
  PlayHits(
      drums, nullptr, grid, kicks, [] { return Kick(); }, {.gain = 0.75}, rng);
  PlayHits(
      drums, &verb, grid, claps, [&rng] { return Clap(rng); },
      {.gain = 0.36, .pan = 0.05, .send = 0.5, .gain_jitter = 0.1}, rng);
  for (std::size_t i = 0; i < fill.size(); ++i) {
    const double step[] = {fill[i]};
    PlayHits(
        drums, &verb, grid, step, [&rng] { return Clap(rng); },
        {.gain = 0.16 + 0.06 * static_cast<double>(i % 4), .pan = 0.05, .send = 0.5}, rng);
  }
  for (double step : closed) {
    const double one[] = {step};
    const bool offbeat = std::fmod(step, 4.0) == 2.0;
    PlayHits(
        drums, nullptr, grid, one, [&rng] { return Hat(rng, false); },
        {.gain = offbeat ? 0.16 : 0.07, .pan = 0.3, .gain_jitter = 0.25}, rng);
  }
  PlayHits(
      drums, &verb, grid, open, [&rng] { return Hat(rng, true); },
      {.gain = 0.11, .pan = 0.3, .send = 0.2, .gain_jitter = 0.15}, rng);

  // ---- Effects and the loop ---------------------------------------------
  const Stereo echo = PingPongDelay(echo_send, grid.FrameAt(3), 0.32, 3500.0);
  MixStereo(verb, echo, 0.3);
  const Stereo wet = Reverb(verb, {.room = 0.6, .damp = 0.5, .width = 1.0});
  MixStereo(lead, echo, 1.0);

  FoldLoop(drums, loop);
  FoldLoop(keys, loop);
  FoldLoop(lead, loop);
  Stereo room = wet;
  FoldLoop(room, loop);

  // Keys and the room breathe with the kick.
  const Mono duck = DuckEnvelope(grid, kicks, loop, 0.45);
  Stereo mix(loop);
  for (std::size_t i = 0; i < loop; ++i) {
    const double g = duck[i];
    mix.left[i] = drums.left[i] + lead.left[i] + g * (keys.left[i] + room.left[i]);
    mix.right[i] = drums.right[i] + lead.right[i] + g * (keys.right[i] + room.right[i]);
  }
  return FinishLoop(mix, -1.0);
}

}  // namespace sounds
