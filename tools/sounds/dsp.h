// Building blocks of the sound generator: oscillators, envelopes, filters,
// mixing, reverb and delay, loop folding and the final 16-bit conversion.
// Everything works on double-precision sample buffers at 44.1 kHz and is
// deterministic: noise comes from a seeded generator, nothing reads the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sounds {

inline constexpr int kSampleRate = 44100;
inline constexpr double kPi = 3.14159265358979323846;

using Mono = std::vector<double>;

struct Stereo {
  Mono left, right;

  Stereo() = default;
  explicit Stereo(std::size_t frames) : left(frames, 0.0), right(frames, 0.0) {}
  std::size_t Frames() const { return left.size(); }
};

std::size_t SecondsToSamples(double seconds);

// SplitMix64: small, fast and the same everywhere.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t NextU64();
  double Uniform();  // [0, 1)
  double Bipolar();  // [-1, 1)

 private:
  std::uint64_t state_;
};

// Equal temperament, A4 (note 69) = 440 Hz.
double MidiToHz(double midi);

// Attack / decay / sustain / release. Times in seconds, sustain a level.
struct Adsr {
  double attack = 0.005;
  double decay = 0.1;
  double sustain = 0.7;
  double release = 0.1;
};

// Level of the envelope `t` seconds after note-on for a note held for `hold`
// seconds. The release starts from whatever level the note had reached when
// it was let go, so short notes never jump; after hold + release it is 0.
double AdsrLevel(const Adsr& env, double t, double hold);

// Phase in [0, 1) -> band-limited waveforms (PolyBLEP); dt = hz / rate.
double PolyBlep(double phase, double dt);
double SawWave(double phase, double dt);
double SquareWave(double phase, double dt, double pulse_width);
double TriangleWave(double phase);

// RBJ cookbook biquad, transposed direct form II. The Set* calls keep the
// filter's state so the cutoff can sweep while a sound plays.
class Biquad {
 public:
  static Biquad LowPass(double hz, double q);
  static Biquad HighPass(double hz, double q);
  static Biquad BandPass(double hz, double q);  // 0 dB at the centre

  void SetLowPass(double hz, double q);
  void SetHighPass(double hz, double q);
  void SetBandPass(double hz, double q);
  double Process(double x);
  void Reset() { z1_ = z2_ = 0.0; }

 private:
  void Set(double b0, double b1, double b2, double a0, double a1, double a2);

  double b0_ = 1.0, b1_ = 0.0, b2_ = 0.0, a1_ = 0.0, a2_ = 0.0;
  double z1_ = 0.0, z2_ = 0.0;
};

// Adds src * gain into dst starting at frame `at`; whatever would fall past
// the end of dst is dropped.
void MixInto(Mono& dst, std::size_t at, const Mono& src, double gain);
// Constant-power pan: -1 is hard left, 0 centre (both sides -3 dB), 1 right.
void MixPanned(Stereo& dst, std::size_t at, const Mono& src, double gain, double pan);
void MixStereo(Stereo& dst, const Stereo& src, double gain);

// A stereo plate-like reverb made of parallel damped combs followed by
// all-pass diffusers (eight combs and four all-passes per side, the right
// side's delays slightly longer). Returns the wet signal only, as long as
// the input.
struct ReverbParams {
  double room = 0.8;   // 0..1, longer tail as it grows
  double damp = 0.4;   // 0..1, darker tail as it grows
  double width = 1.0;  // 0 mono, 1 full stereo
};
Stereo Reverb(const Stereo& send, const ReverbParams& params);

// Echo bouncing between the sides: the input (summed to mono) first comes
// back on the left after `delay` frames, then on the right, each repeat
// scaled by `feedback` and darkened by a low-pass at `damp_hz`. Wet only.
Stereo PingPongDelay(const Stereo& send, std::size_t delay, double feedback, double damp_hz);

// Turns a render of one pass through a loop plus its ringing tail into a
// seamless loop: everything at or past `loop_frames` is added back in at
// (i mod loop_frames), which is exactly what a listener hears on the second
// and later passes, and the buffer is cut to loop_frames.
void FoldLoop(Mono& buffer, std::size_t loop_frames);
void FoldLoop(Stereo& buffer, std::size_t loop_frames);

// Subtracts the mean; on a loop that removes the DC without touching the seam.
void RemoveMean(Mono& buffer);

double Peak(const Mono& buffer);
double Peak(const Stereo& buffer);
double Rms(const Mono& buffer);

// Scales every channel by one factor so the loudest sample sits at
// `peak_dbfs` (for example -1.0). A silent input is left alone.
void NormalisePeak(std::span<Mono* const> channels, double peak_dbfs);

// Raised-cosine fades over the first and last frames (for one-shot effects).
void FadeEdges(Mono& buffer, std::size_t fade_in, std::size_t fade_out);

// Full scale is 1.0 -> 32767. Rounds to nearest and clamps; channels are
// interleaved frame by frame. All channels must be equally long
// (std::invalid_argument otherwise); a NaN or infinity throws
// std::domain_error rather than turning into noise.
std::vector<std::int16_t> ToPcm16(std::span<const Mono* const> channels);

}  // namespace sounds
