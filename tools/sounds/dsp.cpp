#include "dsp.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace sounds {

std::size_t SecondsToSamples(double seconds) {
  if (!(seconds > 0.0)) return 0;
  return static_cast<std::size_t>(std::llround(seconds * kSampleRate));
}

std::uint64_t Rng::NextU64() {
  state_ += 0x9E3779B97F4A7C15ull;
  std::uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::Uniform() { return static_cast<double>(NextU64() >> 11) * 0x1.0p-53; }

double Rng::Bipolar() { return Uniform() * 2.0 - 1.0; }

double MidiToHz(double midi) { return 440.0 * std::exp2((midi - 69.0) / 12.0); }

double AdsrLevel(const Adsr& env, double t, double hold) {
  if (t < 0.0) return 0.0;
  auto held_level = [&env](double u) {
    if (u < env.attack) return env.attack > 0.0 ? u / env.attack : 1.0;
    u -= env.attack;
    if (u < env.decay) return 1.0 + (env.sustain - 1.0) * (u / env.decay);
    return env.sustain;
  };
  if (t < hold) return held_level(t);
  const double from = held_level(std::max(hold, 0.0));
  const double r = t - hold;
  if (r >= env.release || env.release <= 0.0) return 0.0;
  return from * (1.0 - r / env.release);
}

double PolyBlep(double phase, double dt) {
  if (dt <= 0.0) return 0.0;
  if (phase < dt) {
    const double x = phase / dt;
    return x + x - x * x - 1.0;
  }
  if (phase > 1.0 - dt) {
    const double x = (phase - 1.0) / dt;
    return x * x + x + x + 1.0;
  }
  return 0.0;
}

double SawWave(double phase, double dt) { return 2.0 * phase - 1.0 - PolyBlep(phase, dt); }

double SquareWave(double phase, double dt, double pulse_width) {
  double shifted = phase + 1.0 - pulse_width;
  shifted -= std::floor(shifted);
  return (phase < pulse_width ? 1.0 : -1.0) + PolyBlep(phase, dt) - PolyBlep(shifted, dt);
}

double TriangleWave(double phase) { return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase; }

// ---- Biquad ---------------------------------------------------------------

namespace {
struct Angles {
  double cos_w, alpha;
};
Angles FilterAngles(double hz, double q) {
  const double f = std::clamp(hz, 10.0, 0.45 * kSampleRate);
  const double w0 = 2.0 * kPi * f / kSampleRate;
  return {std::cos(w0), std::sin(w0) / (2.0 * std::max(q, 0.05))};
}
}  // namespace

Biquad Biquad::LowPass(double hz, double q) {
  Biquad b;
  b.SetLowPass(hz, q);
  return b;
}
Biquad Biquad::HighPass(double hz, double q) {
  Biquad b;
  b.SetHighPass(hz, q);
  return b;
}
Biquad Biquad::BandPass(double hz, double q) {
  Biquad b;
  b.SetBandPass(hz, q);
  return b;
}

void Biquad::SetLowPass(double hz, double q) {
  const Angles a = FilterAngles(hz, q);
  Set((1.0 - a.cos_w) / 2.0, 1.0 - a.cos_w, (1.0 - a.cos_w) / 2.0, 1.0 + a.alpha, -2.0 * a.cos_w,
      1.0 - a.alpha);
}
void Biquad::SetHighPass(double hz, double q) {
  const Angles a = FilterAngles(hz, q);
  Set((1.0 + a.cos_w) / 2.0, -(1.0 + a.cos_w), (1.0 + a.cos_w) / 2.0, 1.0 + a.alpha, -2.0 * a.cos_w,
      1.0 - a.alpha);
}
void Biquad::SetBandPass(double hz, double q) {
  const Angles a = FilterAngles(hz, q);
  Set(a.alpha, 0.0, -a.alpha, 1.0 + a.alpha, -2.0 * a.cos_w, 1.0 - a.alpha);
}

void Biquad::Set(double b0, double b1, double b2, double a0, double a1, double a2) {
  b0_ = b0 / a0;
  b1_ = b1 / a0;
  b2_ = b2 / a0;
  a1_ = a1 / a0;
  a2_ = a2 / a0;
}

double Biquad::Process(double x) {
  const double y = b0_ * x + z1_;
  z1_ = b1_ * x - a1_ * y + z2_;
  z2_ = b2_ * x - a2_ * y;
  return y;
}

// ---- Mixing ---------------------------------------------------------------

void MixInto(Mono& dst, std::size_t at, const Mono& src, double gain) {
  if (at >= dst.size()) return;
  const std::size_t n = std::min(src.size(), dst.size() - at);
  for (std::size_t i = 0; i < n; ++i) dst[at + i] += src[i] * gain;
}

void MixPanned(Stereo& dst, std::size_t at, const Mono& src, double gain, double pan) {
  const double angle = (std::clamp(pan, -1.0, 1.0) + 1.0) * kPi / 4.0;
  MixInto(dst.left, at, src, gain * std::cos(angle));
  MixInto(dst.right, at, src, gain * std::sin(angle));
}

void MixStereo(Stereo& dst, const Stereo& src, double gain) {
  MixInto(dst.left, 0, src.left, gain);
  MixInto(dst.right, 0, src.right, gain);
}

// ---- Reverb and delay -----------------------------------------------------

namespace {

class Comb {
 public:
  Comb(std::size_t length, double feedback, double damp)
      : buffer_(length, 0.0), feedback_(feedback), damp_(damp) {}
  double Process(double in) {
    const double out = buffer_[index_];
    store_ = out * (1.0 - damp_) + store_ * damp_;
    buffer_[index_] = in + store_ * feedback_;
    if (++index_ == buffer_.size()) index_ = 0;
    return out;
  }

 private:
  std::vector<double> buffer_;
  std::size_t index_ = 0;
  double store_ = 0.0;
  double feedback_, damp_;
};

class AllPass {
 public:
  explicit AllPass(std::size_t length) : buffer_(length, 0.0) {}
  double Process(double in) {
    const double delayed = buffer_[index_];
    buffer_[index_] = in + delayed * 0.5;
    if (++index_ == buffer_.size()) index_ = 0;
    return delayed - in;
  }

 private:
  std::vector<double> buffer_;
  std::size_t index_ = 0;
};

constexpr std::size_t kCombLengths[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::size_t kAllPassLengths[] = {556, 441, 341, 225};
constexpr std::size_t kStereoSpread = 23;

Mono ReverbSide(const Mono& in, const ReverbParams& p, std::size_t spread) {
  const double feedback = 0.7 + 0.28 * std::clamp(p.room, 0.0, 1.0);
  const double damp = 0.4 * std::clamp(p.damp, 0.0, 1.0);
  std::vector<Comb> combs;
  for (std::size_t len : kCombLengths) combs.emplace_back(len + spread, feedback, damp);
  std::vector<AllPass> allpasses;
  for (std::size_t len : kAllPassLengths) allpasses.emplace_back(len + spread);
  Mono out(in.size(), 0.0);
  for (std::size_t i = 0; i < in.size(); ++i) {
    double acc = 0.0;
    for (Comb& c : combs) acc += c.Process(in[i]);
    for (AllPass& a : allpasses) acc = a.Process(acc);
    out[i] = acc;
  }
  return out;
}

}  // namespace

Stereo Reverb(const Stereo& send, const ReverbParams& params) {
  constexpr double kInputGain = 0.015;
  Mono in(send.Frames());
  for (std::size_t i = 0; i < in.size(); ++i) {
    in[i] = (send.left[i] + send.right[i]) * kInputGain;
  }
  const Mono l = ReverbSide(in, params, 0);
  const Mono r = ReverbSide(in, params, kStereoSpread);
  const double width = std::clamp(params.width, 0.0, 1.0);
  const double wet1 = width / 2.0 + 0.5;
  const double wet2 = (1.0 - width) / 2.0;
  Stereo out(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    out.left[i] = l[i] * wet1 + r[i] * wet2;
    out.right[i] = r[i] * wet1 + l[i] * wet2;
  }
  return out;
}

Stereo PingPongDelay(const Stereo& send, std::size_t delay, double feedback, double damp_hz) {
  const std::size_t n = send.Frames();
  Stereo out(n);
  if (delay == 0) return out;
  // line_l / line_r hold what enters each side's delay line at frame i; the
  // side plays it back `delay` frames later.
  Mono line_l(n, 0.0), line_r(n, 0.0);
  Biquad damp_l = Biquad::LowPass(damp_hz, 0.707);
  Biquad damp_r = Biquad::LowPass(damp_hz, 0.707);
  for (std::size_t i = 0; i < n; ++i) {
    const double back_l = i >= delay ? line_l[i - delay] : 0.0;
    const double back_r = i >= delay ? line_r[i - delay] : 0.0;
    out.left[i] = back_l;
    out.right[i] = back_r;
    line_l[i] = 0.5 * (send.left[i] + send.right[i]) + feedback * damp_r.Process(back_r);
    line_r[i] = feedback * damp_l.Process(back_l);
  }
  return out;
}

// ---- Finishing ------------------------------------------------------------

void FoldLoop(Mono& buffer, std::size_t loop_frames) {
  if (loop_frames == 0) throw std::invalid_argument("loop length must be positive");
  if (buffer.size() < loop_frames) buffer.resize(loop_frames, 0.0);
  for (std::size_t i = loop_frames; i < buffer.size(); ++i) {
    buffer[i % loop_frames] += buffer[i];
  }
  buffer.resize(loop_frames);
}

void FoldLoop(Stereo& buffer, std::size_t loop_frames) {
  FoldLoop(buffer.left, loop_frames);
  FoldLoop(buffer.right, loop_frames);
}

void RemoveMean(Mono& buffer) {
  if (buffer.empty()) return;
  double sum = 0.0;
  for (double s : buffer) sum += s;
  const double mean = sum / static_cast<double>(buffer.size());
  for (double& s : buffer) s -= mean;
}

double Peak(const Mono& buffer) {
  double peak = 0.0;
  for (double s : buffer) peak = std::max(peak, std::fabs(s));
  return peak;
}

double Peak(const Stereo& buffer) { return std::max(Peak(buffer.left), Peak(buffer.right)); }

double Rms(const Mono& buffer) {
  if (buffer.empty()) return 0.0;
  double sum = 0.0;
  for (double s : buffer) sum += s * s;
  return std::sqrt(sum / static_cast<double>(buffer.size()));
}

void NormalisePeak(std::span<Mono* const> channels, double peak_dbfs) {
  double peak = 0.0;
  for (const Mono* c : channels) peak = std::max(peak, Peak(*c));
  if (peak <= 0.0) return;
  const double gain = std::pow(10.0, peak_dbfs / 20.0) / peak;
  for (Mono* c : channels) {
    for (double& s : *c) s *= gain;
  }
}

void FadeEdges(Mono& buffer, std::size_t fade_in, std::size_t fade_out) {
  const std::size_t n = buffer.size();
  fade_in = std::min(fade_in, n);
  fade_out = std::min(fade_out, n);
  for (std::size_t i = 0; i < fade_in; ++i) {
    buffer[i] *= 0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / static_cast<double>(fade_in));
  }
  for (std::size_t i = 0; i < fade_out; ++i) {
    // i = 0 is the very last sample, which ends at exactly zero.
    buffer[n - 1 - i] *=
        0.5 - 0.5 * std::cos(kPi * static_cast<double>(i) / static_cast<double>(fade_out));
  }
}

std::vector<std::int16_t> ToPcm16(std::span<const Mono* const> channels) {
  if (channels.empty()) return {};
  const std::size_t frames = channels[0]->size();
  for (const Mono* c : channels) {
    if (c->size() != frames) throw std::invalid_argument("channels differ in length");
  }
  std::vector<std::int16_t> out;
  out.reserve(frames * channels.size());
  for (std::size_t i = 0; i < frames; ++i) {
    for (const Mono* c : channels) {
      const double x = (*c)[i];
      if (!std::isfinite(x)) throw std::domain_error("sample is not a finite number");
      const double v = std::clamp(std::round(x * 32767.0), -32768.0, 32767.0);
      out.push_back(static_cast<std::int16_t>(v));
    }
  }
  return out;
}

}  // namespace sounds
