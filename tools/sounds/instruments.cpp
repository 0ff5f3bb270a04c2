#include "instruments.h"

#include <algorithm>
#include <cmath>

namespace sounds {
namespace {

double TimeOf(std::size_t i) { return static_cast<double>(i) / kSampleRate; }

// A partial that decays exponentially with time constant `tau`.
struct Partial {
  double ratio, amp, tau;
};

Mono Additive(double hz, std::initializer_list<Partial> partials, double seconds, double attack) {
  Mono out(SecondsToSamples(seconds), 0.0);
  for (const Partial& p : partials) {
    const double f = hz * p.ratio;
    if (f >= 0.45 * kSampleRate) continue;
    const double w = 2.0 * kPi * f / kSampleRate;
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] += p.amp * std::exp(-TimeOf(i) / p.tau) * std::sin(w * static_cast<double>(i));
    }
  }
  const std::size_t ramp = SecondsToSamples(attack);
  for (std::size_t i = 0; i < ramp && i < out.size(); ++i) {
    out[i] *= static_cast<double>(i) / static_cast<double>(ramp);
  }
  return out;
}

// Ends a note at exact silence: a short cosine fade over its last frames.
void TaperEnd(Mono& m, double seconds) { FadeEdges(m, 0, SecondsToSamples(seconds)); }

// Oscillator phase that accumulates a changing frequency.
class Phase {
 public:
  double Next(double hz) {
    const double p = phase_;
    phase_ += hz / kSampleRate;
    phase_ -= std::floor(phase_);
    return p;
  }

 private:
  double phase_ = 0.0;
};

}  // namespace

Mono MusicBox(double hz) {
  // Higher notes ring for less time, as short tines do.
  const double s = std::pow(523.25 / hz, 0.35);
  Mono out = Additive(hz,
                      {{1.0, 1.0, 1.3 * s},
                       {2.0, 0.12, 0.45 * s},
                       {5.404, 0.22, 0.11 * s},
                       {8.93, 0.07, 0.045 * s}},
                      3.2 * s + 0.2, 0.0012);
  TaperEnd(out, 0.2);
  return out;
}

Mono Marimba(double hz, Rng& rng) {
  const double s = std::pow(261.63 / hz, 0.5);
  Mono out = Additive(hz, {{1.0, 1.0, 0.42 * s}, {3.99, 0.28, 0.07 * s}, {9.8, 0.06, 0.018 * s}},
                      1.9 * s + 0.15, 0.002);
  // The soft knock of the mallet.
  Biquad knock = Biquad::BandPass(std::min(hz * 2.5, 6000.0), 1.5);
  const std::size_t n = std::min<std::size_t>(out.size(), SecondsToSamples(0.012));
  for (std::size_t i = 0; i < n; ++i) {
    out[i] += 0.25 * knock.Process(rng.Bipolar()) * std::exp(-TimeOf(i) / 0.003);
  }
  TaperEnd(out, 0.1);
  return out;
}

Mono Bell(double hz, double seconds) {
  Mono out(SecondsToSamples(seconds), 0.0);
  const double wc = 2.0 * kPi * hz / kSampleRate;
  const double wm = wc * 3.5;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    const double index = 2.2 * std::exp(-t / 0.25) + 0.3;
    const double x = static_cast<double>(i);
    out[i] = std::exp(-t / (0.3 * seconds)) * std::sin(wc * x + index * std::sin(wm * x));
  }
  FadeEdges(out, SecondsToSamples(0.001), SecondsToSamples(std::min(0.2, seconds / 3.0)));
  return out;
}

Mono PadVoice(double hz, double hold, Rng& rng) {
  const Adsr env{0.9, 0.6, 0.8, 1.4};
  Mono out(SecondsToSamples(hold + env.release), 0.0);
  const double cents[3] = {-8.0 + 3.0 * rng.Bipolar(), 2.0 * rng.Bipolar(),
                           8.0 + 3.0 * rng.Bipolar()};
  double phases[3];
  for (double& p : phases) p = rng.Uniform();
  const double lfo_phase = rng.Uniform();
  Phase sine;
  Biquad lp;
  const double base_cut = std::min(hz * 4.0, 2400.0);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    if (i % 32 == 0) {
      lp.SetLowPass(base_cut * (1.0 + 0.18 * std::sin(2.0 * kPi * (0.21 * t + lfo_phase))), 0.6);
    }
    double acc = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double f = hz * std::exp2(cents[k] / 1200.0);
      const double dt = f / kSampleRate;
      acc += SawWave(phases[k], dt);
      phases[k] += dt;
      phases[k] -= std::floor(phases[k]);
    }
    const double body = std::sin(2.0 * kPi * sine.Next(hz));
    out[i] = (lp.Process(acc / 3.0) + 0.35 * body) * AdsrLevel(env, t, hold);
  }
  return out;
}

Mono SoftBass(double hz, double hold) {
  const Adsr env{0.012, 0.35, 0.6, 0.12};
  Mono out(SecondsToSamples(hold + env.release), 0.0);
  Phase ph;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double p = ph.Next(hz);
    const double x = std::sin(2.0 * kPi * p) + 0.25 * std::sin(4.0 * kPi * p) +
                     0.08 * TriangleWave(std::fmod(p * 3.0, 1.0));
    out[i] = std::tanh(1.3 * x) / std::tanh(1.3) * AdsrLevel(env, TimeOf(i), hold);
  }
  return out;
}

Mono PluckLead(double hz, double hold) {
  const Adsr env{0.002, 0.22, 0.35, 0.09};
  Mono out(SecondsToSamples(hold + env.release), 0.0);
  Phase saw, pulse, vib;
  Biquad lp;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    // A little vibrato creeps in on held notes.
    const double depth = 0.004 * std::clamp((t - 0.18) / 0.2, 0.0, 1.0);
    const double f = hz * (1.0 + depth * std::sin(2.0 * kPi * vib.Next(5.5)));
    if (i % 8 == 0) lp.SetLowPass(hz * (1.6 + 9.0 * std::exp(-t / 0.07)), 1.1);
    const double dt = f / kSampleRate;
    const double x = 0.6 * SawWave(saw.Next(f), dt) + 0.4 * SquareWave(pulse.Next(f), dt, 0.3);
    out[i] = lp.Process(x) * AdsrLevel(env, t, hold);
  }
  return out;
}

Mono PluckBass(double hz, double hold) {
  const Adsr env{0.002, 0.16, 0.55, 0.04};
  Mono out(SecondsToSamples(hold + env.release), 0.0);
  Phase sq, sub;
  Biquad lp;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    if (i % 8 == 0) lp.SetLowPass(180.0 + 2200.0 * std::exp(-t / 0.045), 2.2);
    const double dt = hz / kSampleRate;
    const double x = lp.Process(SquareWave(sq.Next(hz), dt, 0.5));
    out[i] = (0.7 * x + 0.5 * std::sin(2.0 * kPi * sub.Next(hz))) * AdsrLevel(env, t, hold);
  }
  return out;
}

Mono Stab(double hz, double hold) {
  const Adsr env{0.002, 0.12, 0.15, 0.05};
  Mono out(SecondsToSamples(hold + env.release), 0.0);
  Phase a, b;
  Biquad lp;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    if (i % 8 == 0) lp.SetLowPass(700.0 + 3200.0 * std::exp(-t / 0.035), 0.9);
    const double f2 = hz * 1.004;
    const double x = SawWave(a.Next(hz), hz / kSampleRate) + SawWave(b.Next(f2), f2 / kSampleRate);
    out[i] = 0.5 * lp.Process(x) * AdsrLevel(env, t, hold);
  }
  return out;
}

Mono Kick() {
  Mono out(SecondsToSamples(0.42), 0.0);
  Phase ph;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    const double f = 47.0 + 120.0 * std::exp(-t / 0.03);
    const double amp = std::exp(-t / 0.16) * std::min(1.0, t / 0.0015);
    out[i] = std::tanh(1.6 * amp * std::sin(2.0 * kPi * ph.Next(f))) / std::tanh(1.6);
  }
  // A soft beater click on top.
  const double wc = 2.0 * kPi * 3100.0 / kSampleRate;
  for (std::size_t i = 0; i < SecondsToSamples(0.008); ++i) {
    out[i] += 0.22 * std::sin(wc * static_cast<double>(i)) * std::exp(-TimeOf(i) / 0.0015);
  }
  TaperEnd(out, 0.05);
  return out;
}

Mono Clap(Rng& rng) {
  Mono out(SecondsToSamples(0.32), 0.0);
  Biquad bp = Biquad::BandPass(1350.0, 0.9);
  Biquad hp = Biquad::HighPass(600.0, 0.7);
  Phase body;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    // Three quick hand hits, then the room.
    double env = 0.0;
    for (double at : {0.0, 0.009, 0.019}) {
      if (t >= at) env = std::max(env, std::exp(-(t - at) / 0.005));
    }
    if (t >= 0.019) env = std::max(env, 0.55 * std::exp(-(t - 0.019) / 0.075));
    const double noise = hp.Process(bp.Process(rng.Bipolar()));
    const double tone = 0.3 * std::sin(2.0 * kPi * body.Next(190.0)) * std::exp(-t / 0.04);
    out[i] = 2.2 * noise * env * std::min(1.0, t / 0.0008) + tone * std::min(1.0, t / 0.002);
  }
  TaperEnd(out, 0.04);
  return out;
}

Mono Hat(Rng& rng, bool open) {
  const double decay = open ? 0.16 : 0.028;
  Mono out(SecondsToSamples(open ? 0.5 : 0.12), 0.0);
  static constexpr double kMetal[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
  double phases[6];
  for (double& p : phases) p = rng.Uniform();
  Biquad hp = Biquad::HighPass(7000.0, 0.8);
  Biquad bp = Biquad::BandPass(10000.0, 1.2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    double metal = 0.0;
    for (int k = 0; k < 6; ++k) {
      const double f = kMetal[k] * 1.7;
      metal += SquareWave(phases[k], f / kSampleRate, 0.5);
      phases[k] += f / kSampleRate;
      phases[k] -= std::floor(phases[k]);
    }
    const double x = hp.Process(0.6 * rng.Bipolar() + 0.08 * metal);
    out[i] = 1.6 * bp.Process(x) * std::exp(-t / decay) * std::min(1.0, t / 0.0005);
  }
  TaperEnd(out, 0.02);
  return out;
}

Mono Shaker(Rng& rng) {
  Mono out(SecondsToSamples(0.13), 0.0);
  Biquad hp = Biquad::HighPass(5500.0, 0.7);
  Biquad bp = Biquad::BandPass(8500.0, 0.8);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double t = TimeOf(i);
    const double env = std::min(1.0, t / 0.012) * std::exp(-std::max(0.0, t - 0.012) / 0.03);
    out[i] = 1.5 * bp.Process(hp.Process(rng.Bipolar())) * env;
  }
  TaperEnd(out, 0.02);
  return out;
}

}  // namespace sounds
