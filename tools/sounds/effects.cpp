// The short sound effects.
#include <algorithm>
#include <cmath>

#include "instruments.h"
#include "tracks.h"

namespace sounds {
namespace {

double SecondsAt(std::size_t i) { return static_cast<double>(i) / kSampleRate; }

double SmoothStep(double x) {
  x = std::clamp(x, 0.0, 1.0);
  return x * x * (3.0 - 2.0 * x);
}

// Exponential rise to 1 over `attack`, then exponential fall with `tau`.
double Strike(double t, double attack, double tau) {
  if (t < 0.0) return 0.0;
  if (t < attack) return t / attack;
  return std::exp(-(t - attack) / tau);
}

// One blip of the menu sound: a sine with a faint square edge.
void Blip(Mono& out, double start, double hz, double length, double gain) {
  double phase = 0.0;
  Biquad soften = Biquad::LowPass(7000.0, 0.7);
  const std::size_t from = SecondsToSamples(start);
  for (std::size_t i = from; i < out.size(); ++i) {
    const double t = SecondsAt(i) - start;
    if (t > length + 0.1) break;
    const double env =
        Strike(t, 0.0015, 0.035) * (t < length ? 1.0 : std::exp(-(t - length) / 0.01));
    const double edge = SquareWave(phase, hz / kSampleRate, 0.5);
    const double x = std::sin(2.0 * kPi * phase) + 0.18 * soften.Process(edge);
    out[i] += gain * env * x;
    phase += hz / kSampleRate;
    phase -= std::floor(phase);
  }
}

}  // namespace

Rendered RenderSelect() {
  // Two quick rising blips, a fifth apart, with a little sparkle on top.
  Mono out(SecondsToSamples(0.24), 0.0);
  Blip(out, 0.0, MidiToHz(88), 0.045, 0.7);    // E6
  Blip(out, 0.05, MidiToHz(95), 0.09, 0.8);    // B6
  Blip(out, 0.05, MidiToHz(107), 0.05, 0.12);  // B7, a glint
  return FinishOneShot(out, -1.0);
}

Rendered RenderBon() {
  // A round pop: a sine whose pitch drops fast, with a tiny soft puff.
  Mono out(SecondsToSamples(0.26), 0.0);
  Rng rng(0xB0B);
  Biquad puff = Biquad::LowPass(2500.0, 0.7);
  double phase = 0.0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = SecondsAt(i);
    const double hz = 170.0 + 380.0 * std::exp(-t / 0.022);
    const double tone = std::sin(2.0 * kPi * phase) * Strike(t, 0.002, 0.05);
    const double air = puff.Process(rng.Bipolar()) * Strike(t, 0.001, 0.006);
    out[i] = tone + 0.25 * air;
    phase += hz / kSampleRate;
    phase -= std::floor(phase);
  }
  return FinishOneShot(out, -1.0);
}

Rendered RenderEatHyoi() {
  // "Hyoi": a breathy whistle sweeping up, then the snap of the jaws.
  Mono out(SecondsToSamples(0.3), 0.0);
  Rng rng(0x4701);
  Biquad breath = Biquad::BandPass(1500.0, 2.0);
  double phase = 0.0;
  constexpr double kSweep = 0.12;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = SecondsAt(i);
    const double rise = SmoothStep(t / kSweep);
    const double hz = 480.0 * std::pow(3.2, rise) * (1.0 + 0.015 * std::sin(2.0 * kPi * 28.0 * t));
    // Bell-shaped loudness over the sweep.
    const double env = t < kSweep + 0.03 ? std::sin(kPi * std::min(1.0, t / (kSweep + 0.03))) : 0.0;
    if (i % 16 == 0) breath.SetBandPass(hz * 1.5, 2.0);
    const double voice = std::sin(2.0 * kPi * phase) + 0.2 * TriangleWave(phase);
    out[i] = env * (0.55 * voice + 0.35 * breath.Process(rng.Bipolar()));
    phase += hz / kSampleRate;
    phase -= std::floor(phase);
  }
  // The snap: a bright click and a short woody tock under it.
  constexpr double kSnap = 0.135;
  Biquad click = Biquad::BandPass(3300.0, 1.2);
  for (std::size_t i = SecondsToSamples(kSnap); i < out.size(); ++i) {
    const double t = SecondsAt(i) - kSnap;
    const double tick = click.Process(rng.Bipolar()) * Strike(t, 0.0004, 0.004);
    const double ping = std::sin(2.0 * kPi * 2100.0 * t) * Strike(t, 0.0004, 0.009);
    const double tock =
        std::sin(2.0 * kPi * 520.0 * 0.04 * (1.0 - std::exp(-t / 0.04))) * Strike(t, 0.001, 0.022);
    out[i] += 1.4 * tick + 0.35 * ping + 0.6 * tock;
  }
  return FinishOneShot(out, -1.0);
}

Rendered RenderEatGoku() {
  // "Goku": a low swallow that slides down, with bubbles rising through it.
  Mono out(SecondsToSamples(0.5), 0.0);
  Rng rng(0x60C0);
  double throat_phase = 0.0;
  Biquad formant = Biquad::BandPass(380.0, 3.0);
  Biquad low = Biquad::LowPass(900.0, 0.7);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = SecondsAt(i);
    const double hz = 80.0 + 140.0 * std::exp(-t / 0.09);
    if (i % 16 == 0) formant.SetBandPass(250.0 + 300.0 * std::exp(-t / 0.12), 3.0);
    const double pulse = SquareWave(throat_phase, hz / kSampleRate, 0.35);
    const double env = Strike(t, 0.012, 0.11);
    out[i] = 0.9 * env * formant.Process(pulse) + 0.25 * env * std::sin(2.0 * kPi * throat_phase);
    throat_phase += hz / kSampleRate;
    throat_phase -= std::floor(throat_phase);
  }
  // Bubbles: each a sine that chirps upward as it decays.
  struct Bubble {
    double at, hz, tau, gain;
  };
  static constexpr Bubble kBubbles[] = {{0.02, 320.0, 0.035, 0.8},
                                        {0.11, 250.0, 0.04, 0.9},
                                        {0.2, 200.0, 0.05, 0.7},
                                        {0.27, 290.0, 0.03, 0.35}};
  for (const Bubble& b : kBubbles) {
    double phase = 0.0;
    for (std::size_t i = SecondsToSamples(b.at); i < out.size(); ++i) {
      const double t = SecondsAt(i) - b.at;
      const double hz = b.hz * (1.0 + 0.45 * (1.0 - std::exp(-t / b.tau)));
      out[i] += b.gain * std::sin(2.0 * kPi * phase) * Strike(t, 0.002, b.tau);
      phase += hz / kSampleRate;
      phase -= std::floor(phase);
    }
  }
  for (double& s : out) s = low.Process(s);
  return FinishOneShot(out, -1.0);
}

Rendered RenderMiss() {
  // A dull bonk: a hollow low knock whose pitch sags, a felt thud under it.
  Mono out(SecondsToSamples(0.42), 0.0);
  Rng rng(0xB0C);
  Biquad thud = Biquad::LowPass(350.0, 0.8);
  double p1 = 0.0, p2 = 0.0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = SecondsAt(i);
    const double sag = 1.0 - 0.3 * SmoothStep(t / 0.25);
    const double f1 = 190.0 * sag, f2 = 190.0 * 2.41 * sag;
    const double body = std::sin(2.0 * kPi * p1) * Strike(t, 0.002, 0.11) +
                        0.3 * std::sin(2.0 * kPi * p2) * Strike(t, 0.001, 0.03);
    const double felt = thud.Process(rng.Bipolar()) * Strike(t, 0.001, 0.015);
    out[i] = std::tanh(1.5 * body) + 0.6 * felt;
    p1 += f1 / kSampleRate;
    p1 -= std::floor(p1);
    p2 += f2 / kSampleRate;
    p2 -= std::floor(p2);
  }
  return FinishOneShot(out, -1.0);
}

Rendered RenderEnd() {
  // Time up: a quick rising run on marimba and music box, a bright chord
  // with a bell sparkle, a low root under it, all in a small room.
  const double step = 0.09;
  Stereo dry(SecondsToSamples(2.6)), send(dry.Frames());
  Rng rng(0xE4D);
  auto at = [](double seconds) { return SecondsToSamples(seconds); };
  const int run[] = {72, 76, 79, 84};  // C5 E5 G5 C6
  for (int k = 0; k < 4; ++k) {
    const double hz = MidiToHz(run[k]);
    const double pan = -0.4 + 0.25 * k;
    const Mono m = Marimba(hz, rng);
    const Mono b = MusicBox(hz);
    MixPanned(dry, at(k * step), m, 0.45, pan);
    MixPanned(dry, at(k * step), b, 0.3, pan);
    MixPanned(send, at(k * step), b, 0.3, pan);
  }
  const double hit = 4 * step + 0.04;
  const int chord[] = {76, 79, 84, 88};  // E5 G5 C6 E6
  for (int k = 0; k < 4; ++k) {
    const double pan = -0.3 + 0.2 * k;
    const Mono b = MusicBox(MidiToHz(chord[k]));
    const Mono m = Marimba(MidiToHz(chord[k]), rng);
    MixPanned(dry, at(hit), b, 0.4, pan);
    MixPanned(dry, at(hit), m, 0.3, pan);
    MixPanned(send, at(hit), b, 0.5, pan);
  }
  const int sparkle[] = {96, 100, 103, 108};  // C7 E7 G7 C8
  for (int k = 0; k < 4; ++k) {
    const Mono b = Bell(MidiToHz(sparkle[k]), 0.7);
    MixPanned(dry, at(hit + 0.05 * (k + 1)), b, 0.08, 0.6 - 0.35 * k);
    MixPanned(send, at(hit + 0.05 * (k + 1)), b, 0.1, 0.6 - 0.35 * k);
  }
  const Mono bass = SoftBass(MidiToHz(48), 0.9);  // C3
  MixPanned(dry, at(hit), bass, 0.5, 0.0);
  const Stereo wet = Reverb(send, {.room = 0.7, .damp = 0.5, .width = 0.9});
  MixStereo(dry, wet, 2.0);
  // Let the room ring out to silence before the end of the file.
  const std::size_t fade = at(0.5);
  FadeEdges(dry.left, 0, fade);
  FadeEdges(dry.right, 0, fade);
  return FinishOneShot(dry, -1.0);
}

}  // namespace sounds
