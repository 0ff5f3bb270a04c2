// The title music: a slow, warm loop in F major. A music box sings the tune
// over a marimba's broken chords, a soft pad, a round bass and a brushed
// shaker, all in a gentle room with a faint echo on the tune.
#include <stdexcept>
#include <string>

#include "instruments.h"
#include "scores.h"
#include "tracks.h"

namespace sounds {
namespace {

using score::kStepsPerBar;
constexpr int kBars = score::kTitleBars;
constexpr double kTailSeconds = 6.0;  // the room has died away by then

}  // namespace

Rendered RenderTitleBgm() {
  const Grid grid(score::kTitleBpm, 4);
  const std::size_t loop = grid.FrameAt(kBars * kStepsPerBar);
  const std::size_t total = loop + SecondsToSamples(kTailSeconds);
  Stereo dry(total), verb(total), echo_send(total);
  Rng rng(0x7171E);

  // The tune, with a little life in its timing and touch; it also feeds the
  // room and a soft echo.
  Stereo tune(total);
  for (int bar = 0; bar < kBars; ++bar) {
    if (NotesLength(score::kTitleTune[bar]) != kStepsPerBar) {
      throw std::logic_error("title tune bar " + std::to_string(bar + 1) + " is not a whole bar");
    }
    PlayNotes(
        tune, nullptr, grid, score::kTitleTune[bar], bar * kStepsPerBar,
        [](double hz, double) { return MusicBox(hz); },
        {.gain = 0.55, .pan = 0.1, .gain_jitter = 0.15, .time_jitter = 0.006}, rng);
  }
  MixStereo(dry, tune, 1.0);
  MixStereo(verb, tune, 0.55);
  MixStereo(echo_send, tune, 0.3);

  for (int bar = 0; bar < kBars; ++bar) {
    const double at = bar * kStepsPerBar;
    const score::PadChord& chord = score::kTitleChords[bar];
    const std::vector<NoteEvent> tones = ParseNotes(chord.voicing, at);

    // Pad: the whole bar, a separate voice on each side for width.
    for (const NoteEvent& tone : tones) {
      const double hz = MidiToHz(tone.midi);
      const double hold = kStepsPerBar * grid.SecondsPerStep() - 0.15;
      const std::size_t frame = grid.FrameAt(at);
      const Mono l = PadVoice(hz, hold, rng);
      const Mono r = PadVoice(hz, hold, rng);
      MixInto(dry.left, frame, l, 0.055);
      MixInto(dry.right, frame, r, 0.055);
      MixInto(verb.left, frame, l, 0.05);
      MixInto(verb.right, frame, r, 0.05);
    }

    // Marimba: broken chord an octave up, quarters in the first half of the
    // loop and eighths in the second, so the tune's answer feels fuller.
    std::vector<NoteEvent> arp;
    const bool eighths = bar >= kBars / 2;
    static constexpr int kOrder[8] = {0, 2, 1, 3, 2, 1, 3, 2};
    const int count = eighths ? 8 : 4;
    for (int k = 0; k < count; ++k) {
      const int index = kOrder[eighths ? k : k * 2];
      arp.push_back({at + k * (eighths ? 2.0 : 4.0), 2.0, tones[index].midi + 12});
    }
    PlayEvents(
        dry, &verb, grid, arp, [&rng](double hz, double) { return Marimba(hz, rng); },
        {.gain = 0.2, .pan = -0.35, .send = 0.4, .gain_jitter = 0.25, .time_jitter = 0.004}, rng);

    // Bass: root, a soft push on the fifth, root again.
    const int root = ParsePitch(chord.root);
    const NoteEvent bass[] = {{at, 7.0, root}, {at + 8.0, 3.0, root + 7}, {at + 12.0, 3.0, root}};
    PlayEvents(
        dry, &verb, grid, bass, [](double hz, double hold) { return SoftBass(hz, hold); },
        {.gain = 0.42, .pan = 0.0, .send = 0.1, .gain_jitter = 0.1}, rng);

    // Shaker on every eighth, leaning on the off-beats.
    for (int k = 0; k < 8; ++k) {
      const double step[] = {at + 2.0 * k};
      PlayHits(
          dry, &verb, grid, step, [&rng] { return Shaker(rng); },
          {.gain = k % 2 ? 0.06 : 0.03,
           .pan = 0.4,
           .send = 0.3,
           .gain_jitter = 0.3,
           .time_jitter = 0.003},
          rng);
    }
  }

  const Stereo echo = PingPongDelay(echo_send, grid.FrameAt(3), 0.38, 2800.0);
  MixStereo(verb, echo, 0.5);
  const Stereo wet = Reverb(verb, {.room = 0.82, .damp = 0.5, .width = 1.0});
  MixStereo(dry, echo, 1.0);
  MixStereo(dry, wet, 0.9);
  FoldLoop(dry, loop);
  return FinishLoop(dry, -1.0);
}

}  // namespace sounds
