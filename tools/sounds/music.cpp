#include "music.h"

#include <array>

namespace sounds {
namespace {

void Place(Stereo& bus, Stereo* send, std::size_t at, const Mono& sound, const Placement& place,
           Rng& rng) {
  const double gain = place.gain * (1.0 - place.gain_jitter * rng.Uniform());
  const std::size_t shift = SecondsToSamples(place.time_jitter * rng.Uniform());
  MixPanned(bus, at + shift, sound, gain, place.pan);
  if (send && place.send > 0.0) MixPanned(*send, at + shift, sound, gain * place.send, place.pan);
}

}  // namespace

void PlayEvents(Stereo& bus, Stereo* send, const Grid& grid, std::span<const NoteEvent> events,
                const Voice& voice, const Placement& place, Rng& rng) {
  for (const NoteEvent& e : events) {
    const Mono sound = voice(MidiToHz(e.midi), e.length * grid.SecondsPerStep());
    Place(bus, send, grid.FrameAt(e.step), sound, place, rng);
  }
}

void PlayNotes(Stereo& bus, Stereo* send, const Grid& grid, std::string_view notes,
               double start_step, const Voice& voice, const Placement& place, Rng& rng) {
  const std::vector<NoteEvent> events = ParseNotes(notes, start_step);
  PlayEvents(bus, send, grid, events, voice, place, rng);
}

void PlayHits(Stereo& bus, Stereo* send, const Grid& grid, std::span<const double> steps,
              const std::function<Mono()>& hit, const Placement& place, Rng& rng) {
  for (double step : steps) Place(bus, send, grid.FrameAt(step), hit(), place, rng);
}

Rendered FinishLoop(Stereo& mix, double peak_dbfs) {
  RemoveMean(mix.left);
  RemoveMean(mix.right);
  const std::array<Mono*, 2> channels = {&mix.left, &mix.right};
  NormalisePeak(channels, peak_dbfs);
  const std::array<const Mono*, 2> out = {&mix.left, &mix.right};
  return {2, ToPcm16(out)};
}

Rendered FinishOneShot(Mono& mono, double peak_dbfs) {
  FadeEdges(mono, SecondsToSamples(0.0005), SecondsToSamples(0.004));
  const std::array<Mono*, 1> channels = {&mono};
  NormalisePeak(channels, peak_dbfs);
  const std::array<const Mono*, 1> out = {&mono};
  return {1, ToPcm16(out)};
}

Rendered FinishOneShot(Stereo& stereo, double peak_dbfs) {
  for (Mono* m : {&stereo.left, &stereo.right}) {
    FadeEdges(*m, SecondsToSamples(0.0005), SecondsToSamples(0.004));
  }
  const std::array<Mono*, 2> channels = {&stereo.left, &stereo.right};
  NormalisePeak(channels, peak_dbfs);
  const std::array<const Mono*, 2> out = {&stereo.left, &stereo.right};
  return {2, ToPcm16(out)};
}

}  // namespace sounds
