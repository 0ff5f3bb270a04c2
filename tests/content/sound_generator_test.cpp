// The sound generator's parts: WAV writing, the note notation and tempo
// grid, the DSP blocks, the instruments and the effects.
//
// The generator is a program of its own (tools/), not a library the tests
// can link, so its sources are compiled into this test directly. The two
// music loops are left out: they take too long to render in a debug build,
// and the committed files are checked in sounds_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../tools/common/wav_writer.cpp"
#include "../../tools/sounds/dsp.cpp"
#include "../../tools/sounds/effects.cpp"
#include "../../tools/sounds/instruments.cpp"
#include "../../tools/sounds/music.cpp"
#include "../../tools/sounds/scores.h"
#include "../../tools/sounds/sequence.cpp"
#include "media/paths.h"

namespace {

using sounds::Mono;
using sounds::Stereo;

// Amplitude of the `hz` component of x (Goertzel), 1.0 for a unit sine.
double ToneLevel(const Mono& x, double hz, std::size_t from = 0, std::size_t count = 0) {
  if (count == 0 || from + count > x.size()) count = x.size() - from;
  const double w = 2.0 * sounds::kPi * hz / sounds::kSampleRate;
  double re = 0.0, im = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    re += x[from + i] * std::cos(w * static_cast<double>(i));
    im += x[from + i] * std::sin(w * static_cast<double>(i));
  }
  return 2.0 * std::hypot(re, im) / static_cast<double>(count);
}

Mono Sine(double hz, double seconds) {
  Mono m(sounds::SecondsToSamples(seconds));
  for (std::size_t i = 0; i < m.size(); ++i) {
    m[i] = std::sin(2.0 * sounds::kPi * hz * static_cast<double>(i) / sounds::kSampleRate);
  }
  return m;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::string Tag(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + 4);
}

// ---- WAV writer -----------------------------------------------------------

TEST(WavWriter, LaysOutHeaderAndSamplesLittleEndian) {
  const std::int16_t samples[] = {0x1234, -2, 32767, -32768, 0, 1};
  const std::vector<std::uint8_t> b = contentgen::EncodeWav16(samples, 2, 44100);
  ASSERT_EQ(b.size(), 44u + 12u);
  EXPECT_EQ(Tag(b, 0), "RIFF");
  EXPECT_EQ(U32(b, 4), b.size() - 8);
  EXPECT_EQ(Tag(b, 8), "WAVE");
  EXPECT_EQ(Tag(b, 12), "fmt ");
  EXPECT_EQ(U32(b, 16), 16u);
  EXPECT_EQ(U16(b, 20), 1);  // PCM
  EXPECT_EQ(U16(b, 22), 2);
  EXPECT_EQ(U32(b, 24), 44100u);
  EXPECT_EQ(U32(b, 28), 176400u);
  EXPECT_EQ(U16(b, 32), 4);
  EXPECT_EQ(U16(b, 34), 16);
  EXPECT_EQ(Tag(b, 36), "data");
  EXPECT_EQ(U32(b, 40), 12u);
  EXPECT_EQ(b[44], 0x34);
  EXPECT_EQ(b[45], 0x12);
  EXPECT_EQ(b[46], 0xFE);
  EXPECT_EQ(b[47], 0xFF);
  EXPECT_EQ(U16(b, 48), 0x7FFF);
  EXPECT_EQ(U16(b, 50), 0x8000);
}

TEST(WavWriter, RefusesShapesAWavCannotHold) {
  const std::int16_t three[] = {1, 2, 3};
  EXPECT_THROW(contentgen::EncodeWav16(three, 2, 44100), std::invalid_argument);
  EXPECT_THROW(contentgen::EncodeWav16(three, 0, 44100), std::invalid_argument);
  EXPECT_THROW(contentgen::EncodeWav16(three, 1, 0), std::invalid_argument);
  // An empty sound is still a valid file.
  EXPECT_EQ(contentgen::EncodeWav16({}, 1, 8000).size(), 44u);

  std::string error;
  EXPECT_FALSE(contentgen::WriteWav16("unused.wav", three, 2, 44100, &error));
  EXPECT_NE(error.find("unused.wav"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("unused.wav"));
}

TEST(WavWriter, WritesTheEncodedBytesAndReportsUnwritablePaths) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("wav_writer_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::int16_t samples[] = {5, -5, 100};
  std::string error;
  ASSERT_TRUE(contentgen::WriteWav16(dir / "a.wav", samples, 1, 22050, &error)) << error;
  EXPECT_EQ(ReadBytes(dir / "a.wav"), contentgen::EncodeWav16(samples, 1, 22050));
  // Writing again replaces the file rather than appending.
  ASSERT_TRUE(contentgen::WriteWav16(dir / "a.wav", std::span(samples, 1), 1, 22050, &error));
  EXPECT_EQ(ReadBytes(dir / "a.wav").size(), 46u);

  EXPECT_FALSE(contentgen::WriteWav16(dir / "no" / "such" / "b.wav", samples, 1, 22050, &error));
  EXPECT_NE(error.find("b.wav"), std::string::npos);
  std::filesystem::remove_all(dir);
}

// ---- Notes and tempo ------------------------------------------------------

TEST(Notation, PitchNamesMapToNoteNumbers) {
  EXPECT_EQ(sounds::ParsePitch("C4"), 60);
  EXPECT_EQ(sounds::ParsePitch("A4"), 69);
  EXPECT_EQ(sounds::ParsePitch("Bb3"), 58);
  EXPECT_EQ(sounds::ParsePitch("C#5"), 73);
  EXPECT_EQ(sounds::ParsePitch("C-1"), 0);
  EXPECT_EQ(sounds::ParsePitch("G9"), 127);
  for (const char* bad : {"", "H4", "C", "c4", "C4x", "C##4", "G#9", "Cb-1", "E 4", "A4.5"}) {
    EXPECT_THROW(sounds::ParsePitch(bad), std::invalid_argument) << bad;
  }
}

TEST(Notation, LinesBecomeTimedNotesChordsAndRests) {
  const auto events = sounds::ParseNotes("C4:2 -:3 | E4+G4:1.5 A4", 16.0);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].midi, 60);
  EXPECT_DOUBLE_EQ(events[0].step, 16.0);
  EXPECT_DOUBLE_EQ(events[0].length, 2.0);
  EXPECT_EQ(events[1].midi, 64);
  EXPECT_EQ(events[2].midi, 67);
  EXPECT_DOUBLE_EQ(events[1].step, 21.0);
  EXPECT_DOUBLE_EQ(events[2].step, 21.0);
  EXPECT_DOUBLE_EQ(events[2].length, 1.5);
  EXPECT_EQ(events[3].midi, 69);
  EXPECT_DOUBLE_EQ(events[3].step, 22.5);
  EXPECT_DOUBLE_EQ(events[3].length, 1.0);
  EXPECT_DOUBLE_EQ(sounds::NotesLength("C4:2 -:3 | E4+G4:1.5 A4"), 7.5);
  EXPECT_TRUE(sounds::ParseNotes("  |  ").empty());

  for (const char* bad : {"C4:", "C4:0", "C4:-1", "C4:x", "C4+", "+C4", ":2", "C4:2:2", "Q"}) {
    EXPECT_THROW(sounds::ParseNotes(bad), std::invalid_argument) << bad;
  }
  EXPECT_THROW(sounds::NotesLength("C4:0"), std::invalid_argument);
}

TEST(Notation, GridPutsStepsOnWholeFrames) {
  const sounds::Grid slow(90.0, 4), fast(140.0, 4);
  EXPECT_DOUBLE_EQ(slow.SamplesPerStep(), 7350.0);
  EXPECT_DOUBLE_EQ(fast.SamplesPerStep(), 4725.0);
  EXPECT_EQ(slow.FrameAt(256), 1881600u);
  EXPECT_EQ(fast.FrameAt(1.5), 7088u);  // 7087.5 rounds up
  EXPECT_EQ(fast.FrameAt(-3), 0u);
  EXPECT_THROW(sounds::Grid(0.0, 4), std::invalid_argument);
  EXPECT_THROW(sounds::Grid(120.0, 0), std::invalid_argument);
}

TEST(Scores, EveryBarIsWholeAndEveryChordParses) {
  namespace sc = sounds::score;
  for (int bar = 0; bar < sc::kTitleBars; ++bar) {
    SCOPED_TRACE(bar);
    EXPECT_DOUBLE_EQ(sounds::NotesLength(sc::kTitleTune[bar]), sc::kStepsPerBar);
    EXPECT_EQ(sounds::ParseNotes(sc::kTitleChords[bar].voicing).size(), 4u);
    EXPECT_NO_THROW(sounds::ParsePitch(sc::kTitleChords[bar].root));
  }
  for (int bar = 0; bar < sc::kGameBars; ++bar) {
    SCOPED_TRACE(bar);
    EXPECT_DOUBLE_EQ(sounds::NotesLength(sc::GameLeadLine(bar)), sc::kStepsPerBar);
  }
  // The chords of the game loop follow one another with no gap or overlap
  // and fill it exactly.
  double next = 0.0;
  for (const sc::GameChord& c : sc::kGameChords) {
    EXPECT_DOUBLE_EQ(c.step, next);
    EXPECT_EQ(sounds::ParseNotes(c.triad.stab).size(), 3u);
    EXPECT_NO_THROW(sounds::ParsePitch(c.triad.root));
    next = c.step + c.length;
  }
  EXPECT_DOUBLE_EQ(next, sc::kGameBars * sc::kStepsPerBar);
}

// ---- DSP blocks -----------------------------------------------------------

TEST(Dsp, RandomNumbersAreSeededAndSpread) {
  sounds::Rng a(42), b(42), c(43);
  double sum = 0.0, lo = 1.0, hi = -1.0;
  bool differs = false;
  for (int i = 0; i < 100000; ++i) {
    const double x = a.Bipolar();
    EXPECT_EQ(x, b.Bipolar());
    differs = differs || x != c.Bipolar();
    sum += x;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  }
  EXPECT_TRUE(differs);
  EXPECT_NEAR(sum / 100000.0, 0.0, 0.01);
  EXPECT_GE(lo, -1.0);
  EXPECT_LT(hi, 1.0);
  EXPECT_LT(lo, -0.99);
  EXPECT_GT(hi, 0.99);
}

TEST(Dsp, NoteNumbersToHertz) {
  EXPECT_DOUBLE_EQ(sounds::MidiToHz(69), 440.0);
  EXPECT_DOUBLE_EQ(sounds::MidiToHz(81), 880.0);
  EXPECT_NEAR(sounds::MidiToHz(60), 261.6256, 1e-4);
}

TEST(Dsp, EnvelopeRisesHoldsAndReleasesWithoutJumps) {
  const sounds::Adsr env{0.1, 0.2, 0.5, 0.4};
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, -0.01, 1.0), 0.0);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 0.0, 1.0), 0.0);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 0.05, 1.0), 0.5);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 0.1, 1.0), 1.0);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 0.2, 1.0), 0.75);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 0.7, 1.0), 0.5);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 1.2, 1.0), 0.25);
  EXPECT_NEAR(sounds::AdsrLevel(env, 1.4, 1.0), 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 9.0, 1.0), 0.0);
  // Let go during the attack: the release starts where the attack had got.
  const double before = sounds::AdsrLevel(env, 0.05 - 1e-9, 0.05);
  const double after = sounds::AdsrLevel(env, 0.05 + 1e-9, 0.05);
  EXPECT_NEAR(before, 0.5, 1e-6);
  EXPECT_NEAR(after, 0.5, 1e-6);
  EXPECT_DOUBLE_EQ(sounds::AdsrLevel(env, 0.45, 0.05), 0.0);
}

TEST(Dsp, OscillatorsHaveTheirShapes) {
  EXPECT_DOUBLE_EQ(sounds::TriangleWave(0.0), -1.0);
  EXPECT_DOUBLE_EQ(sounds::TriangleWave(0.25), 0.0);
  EXPECT_DOUBLE_EQ(sounds::TriangleWave(0.5), 1.0);
  // Away from the wrap, the band-limited saw and square are the naive ones.
  const double dt = 440.0 / sounds::kSampleRate;
  EXPECT_DOUBLE_EQ(sounds::SawWave(0.25, dt), -0.5);
  EXPECT_DOUBLE_EQ(sounds::SquareWave(0.25, dt, 0.5), 1.0);
  EXPECT_DOUBLE_EQ(sounds::SquareWave(0.75, dt, 0.5), -1.0);
  EXPECT_DOUBLE_EQ(sounds::SquareWave(0.5, dt, 0.7), 1.0);
  // Near the jump the correction smooths the step: one period of each stays
  // bounded, averages to about zero, and its fundamental is at full level.
  Mono saw, square;
  const double hz = 441.0;  // exactly 100 frames a period
  double phase = 0.0;
  for (int i = 0; i < 100 * 20; ++i) {
    saw.push_back(sounds::SawWave(phase, hz / sounds::kSampleRate));
    square.push_back(sounds::SquareWave(phase, hz / sounds::kSampleRate, 0.5));
    phase += hz / sounds::kSampleRate;
    phase -= std::floor(phase);
  }
  for (const Mono* m : {&saw, &square}) {
    double sum = 0.0;
    for (double v : *m) {
      EXPECT_LE(std::fabs(v), 1.0 + 1e-9);
      sum += v;
    }
    EXPECT_NEAR(sum / static_cast<double>(m->size()), 0.0, 0.02);
  }
  EXPECT_NEAR(ToneLevel(saw, hz), 2.0 / sounds::kPi, 0.02);
  EXPECT_NEAR(ToneLevel(square, hz), 4.0 / sounds::kPi, 0.03);
  EXPECT_LT(ToneLevel(square, 2.0 * hz), 0.01);  // a square has no even harmonics
}

TEST(Dsp, FiltersPassAndStopWhereTheyShould) {
  auto gain = [](sounds::Biquad f, double hz) {
    Mono in = Sine(hz, 0.5), out;
    for (double x : in) out.push_back(f.Process(x));
    return ToneLevel(out, hz, in.size() / 2);  // after the filter has settled
  };
  EXPECT_NEAR(gain(sounds::Biquad::LowPass(1000.0, 0.707), 100.0), 1.0, 0.02);
  EXPECT_NEAR(gain(sounds::Biquad::LowPass(1000.0, 0.707), 1000.0), 0.707, 0.02);
  EXPECT_LT(gain(sounds::Biquad::LowPass(1000.0, 0.707), 10000.0), 0.02);
  EXPECT_NEAR(gain(sounds::Biquad::HighPass(1000.0, 0.707), 10000.0), 1.0, 0.03);
  EXPECT_LT(gain(sounds::Biquad::HighPass(1000.0, 0.707), 100.0), 0.02);
  EXPECT_NEAR(gain(sounds::Biquad::BandPass(2000.0, 2.0), 2000.0), 1.0, 0.02);
  EXPECT_LT(gain(sounds::Biquad::BandPass(2000.0, 2.0), 200.0), 0.1);
  // Cutoffs outside the audible band are clamped rather than blowing up.
  EXPECT_TRUE(std::isfinite(gain(sounds::Biquad::LowPass(1e9, 0.7), 440.0)));
  EXPECT_TRUE(std::isfinite(gain(sounds::Biquad::HighPass(-5.0, 0.0), 440.0)));
}

TEST(Dsp, PanningKeepsPowerAndMixingStaysInBounds) {
  const Mono one = {1.0};
  for (double pan : {-1.0, -0.5, 0.0, 0.3, 1.0}) {
    Stereo s(1);
    sounds::MixPanned(s, 0, one, 0.8, pan);
    EXPECT_NEAR(s.left[0] * s.left[0] + s.right[0] * s.right[0], 0.64, 1e-12) << pan;
  }
  Stereo hard(1);
  sounds::MixPanned(hard, 0, one, 1.0, -1.0);
  EXPECT_NEAR(hard.right[0], 0.0, 1e-12);
  Stereo centre(1);
  sounds::MixPanned(centre, 0, one, 1.0, 0.0);
  EXPECT_NEAR(centre.left[0], centre.right[0], 1e-12);

  Mono dst(4, 0.0);
  sounds::MixInto(dst, 2, Mono{1.0, 2.0, 3.0}, 2.0);  // the 3.0 falls off the end
  sounds::MixInto(dst, 9, Mono{1.0}, 1.0);
  EXPECT_EQ(dst, (Mono{0.0, 0.0, 2.0, 4.0}));
}

TEST(Dsp, FoldingALoopBringsTheTailRoundToTheStart) {
  Mono m = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  sounds::FoldLoop(m, 4);
  EXPECT_EQ(m, (Mono{1 + 5 + 9, 2 + 6 + 10, 3 + 7, 4 + 8}));
  Mono short_one = {1, 2};
  sounds::FoldLoop(short_one, 3);
  EXPECT_EQ(short_one, (Mono{1, 2, 0}));
  EXPECT_THROW(sounds::FoldLoop(m, 0), std::invalid_argument);

  // A ringing note struck shortly before the loop point: once folded, the
  // loop played twice in a row is the same smooth tone across the seam.
  const std::size_t loop = 2000;
  Mono buffer(loop + 1500, 0.0);
  const std::size_t start = loop - 300;
  for (std::size_t i = start; i < buffer.size(); ++i) {
    const double t = static_cast<double>(i - start);
    buffer[i] = std::sin(0.05 * t) * std::exp(-t / 400.0);
  }
  sounds::FoldLoop(buffer, loop);
  for (std::size_t i = 0; i < 600; ++i) {
    const double t = static_cast<double>(loop + i - start);
    EXPECT_NEAR(buffer[i], std::sin(0.05 * t) * std::exp(-t / 400.0), 1e-12) << i;
  }
}

TEST(Dsp, ReverbRingsInStereoAndDiesAway) {
  Stereo impulse(sounds::SecondsToSamples(6.0));
  impulse.left[0] = impulse.right[0] = 1.0;
  const Stereo wet = sounds::Reverb(impulse, {.room = 0.82, .damp = 0.5, .width = 1.0});
  ASSERT_EQ(wet.Frames(), impulse.Frames());
  auto energy = [&](double from, double to) {
    double e = 0.0;
    for (std::size_t i = sounds::SecondsToSamples(from); i < sounds::SecondsToSamples(to); ++i) {
      e += wet.left[i] * wet.left[i] + wet.right[i] * wet.right[i];
    }
    return e;
  };
  // Nothing comes out before the shortest comb has gone round once.
  for (std::size_t i = 0; i < 1000; ++i) EXPECT_EQ(wet.left[i], 0.0);
  const double early = energy(0.0, 0.5);
  EXPECT_GT(early, 1e-6);
  // The music is rendered with a six-second tail: by then the room is
  // more than 90 dB down, so cutting it there is inaudible.
  EXPECT_LT(energy(5.5, 6.0), early * 1e-9);
  EXPECT_NE(wet.left, wet.right);

  const Stereo mono = sounds::Reverb(impulse, {.room = 0.5, .damp = 0.5, .width = 0.0});
  EXPECT_EQ(mono.left, mono.right);
}

TEST(Dsp, PingPongEchoesLeftThenRight) {
  Stereo in(1000);
  in.left[0] = 1.0;
  in.right[0] = 1.0;
  const Stereo out = sounds::PingPongDelay(in, 100, 0.5, 20000.0);
  for (std::size_t i = 0; i < 100; ++i) {
    EXPECT_EQ(out.left[i], 0.0);
    EXPECT_EQ(out.right[i], 0.0);
  }
  EXPECT_DOUBLE_EQ(out.left[100], 1.0);
  EXPECT_EQ(out.right[100], 0.0);
  // The second repeat comes back on the right a delay later, half as loud
  // (spread a little by the damping filter).
  double right_energy = 0.0, left_between = 0.0;
  for (std::size_t i = 195; i < 300; ++i) right_energy += out.right[i];
  for (std::size_t i = 101; i < 300; ++i) left_between += std::fabs(out.left[i]);
  EXPECT_NEAR(right_energy, 0.5, 0.05);
  EXPECT_LT(left_between, 1e-9);
  EXPECT_EQ(sounds::PingPongDelay(in, 0, 0.5, 1000.0).left, Mono(1000, 0.0));
}

TEST(Dsp, FinishingRemovesDcNormalisesAndConverts) {
  Mono m = {1.0, 3.0, -1.0, 1.0};
  sounds::RemoveMean(m);
  EXPECT_EQ(m, (Mono{0.0, 2.0, -2.0, 0.0}));

  Mono a = {0.1, -0.5}, b = {0.25, 0.0};
  const std::array<Mono*, 2> both = {&a, &b};
  sounds::NormalisePeak(both, -6.0);
  const double target = std::pow(10.0, -6.0 / 20.0);
  EXPECT_NEAR(a[1], -target, 1e-12);
  EXPECT_NEAR(b[0], target / 2.0, 1e-12);  // one gain for every channel
  Mono silent(3, 0.0);
  const std::array<Mono*, 1> quiet = {&silent};
  sounds::NormalisePeak(quiet, -1.0);
  EXPECT_EQ(silent, Mono(3, 0.0));

  Mono f(100, 1.0);
  sounds::FadeEdges(f, 10, 20);
  EXPECT_EQ(f[0], 0.0);
  EXPECT_EQ(f[99], 0.0);
  EXPECT_EQ(f[50], 1.0);
  EXPECT_LT(f[5], 1.0);
  EXPECT_LT(f[85], 1.0);
  EXPECT_TRUE(std::is_sorted(f.begin(), f.begin() + 11));

  const Mono l = {0.5, 2.0, -0.4 / 32767.0}, r = {-0.5, -2.0, 0.6 / 32767.0};
  const std::array<const Mono*, 2> lr = {&l, &r};
  EXPECT_EQ(sounds::ToPcm16(lr), (std::vector<std::int16_t>{16384, -16384, 32767, -32768, 0, 1}));
  const Mono shorter = {0.0};
  const std::array<const Mono*, 2> uneven = {&l, &shorter};
  EXPECT_THROW(sounds::ToPcm16(uneven), std::invalid_argument);
  const Mono broken = {0.0, std::nan("")};
  const std::array<const Mono*, 1> nan = {&broken};
  EXPECT_THROW(sounds::ToPcm16(nan), std::domain_error);
}

// ---- Instruments and placement ------------------------------------------

TEST(Instruments, EveryNoteStartsAndEndsQuietlyAndStaysBounded) {
  sounds::Rng rng(7);
  const double hz = 440.0;
  const struct {
    const char* name;
    Mono sound;
  } notes[] = {
      {"music box", sounds::MusicBox(hz)},
      {"marimba", sounds::Marimba(hz, rng)},
      {"bell", sounds::Bell(hz, 0.8)},
      {"pad", sounds::PadVoice(hz, 0.5, rng)},
      {"soft bass", sounds::SoftBass(110.0, 0.3)},
      {"pluck lead", sounds::PluckLead(hz, 0.2)},
      {"pluck bass", sounds::PluckBass(110.0, 0.2)},
      {"stab", sounds::Stab(hz, 0.1)},
      {"kick", sounds::Kick()},
      {"clap", sounds::Clap(rng)},
      {"hat", sounds::Hat(rng, false)},
      {"open hat", sounds::Hat(rng, true)},
      {"shaker", sounds::Shaker(rng)},
  };
  for (const auto& n : notes) {
    SCOPED_TRACE(n.name);
    ASSERT_GT(n.sound.size(), 100u);
    for (double v : n.sound) ASSERT_TRUE(std::isfinite(v));
    EXPECT_LT(std::fabs(n.sound.front()), 0.05);
    EXPECT_LT(std::fabs(n.sound.back()), 1e-3);
    const double peak = sounds::Peak(n.sound);
    EXPECT_GT(peak, 0.05);
    EXPECT_LT(peak, 2.5);
  }
}

TEST(Instruments, PitchedNotesSoundAtTheirPitchForTheirLength) {
  sounds::Rng rng(3);
  const double a4 = 440.0, bb4 = sounds::MidiToHz(70);
  const std::size_t window = sounds::SecondsToSamples(0.1);
  const struct {
    const char* name;
    Mono sound;
  } notes[] = {
      {"music box", sounds::MusicBox(a4)},      {"marimba", sounds::Marimba(a4, rng)},
      {"soft bass", sounds::SoftBass(a4, 0.3)}, {"pluck lead", sounds::PluckLead(a4, 0.3)},
      {"pad", sounds::PadVoice(a4, 1.5, rng)},
  };
  for (const auto& n : notes) {
    SCOPED_TRACE(n.name);
    const std::size_t from = n.sound.size() > 3 * window ? window : 0;
    EXPECT_GT(ToneLevel(n.sound, a4, from, window), 4.0 * ToneLevel(n.sound, bb4, from, window));
  }
  // Held notes last for their hold plus their release.
  EXPECT_EQ(sounds::SoftBass(a4, 0.3).size(), sounds::SecondsToSamples(0.3 + 0.12));
  EXPECT_EQ(sounds::PluckLead(a4, 0.5).size(), sounds::SecondsToSamples(0.5 + 0.09));
  // The kick's pitch falls: more zero crossings early than late.
  const Mono kick = sounds::Kick();
  auto crossings = [&](std::size_t from, std::size_t count) {
    int c = 0;
    for (std::size_t i = from + 1; i < from + count; ++i) c += (kick[i - 1] < 0) != (kick[i] < 0);
    return c;
  };
  EXPECT_GT(crossings(0, 2000), crossings(8000, 2000));
}

TEST(Placement, NotesLandOnTheirStepsAtTheirLevel) {
  const sounds::Grid grid(140.0, 4);
  Stereo bus(30000), send(30000);
  sounds::Rng rng(1);
  auto click = [](double, double) { return Mono{1.0}; };
  sounds::PlayNotes(bus, &send, grid, "C4:2 -:1 D4", 1.0, click,
                    {.gain = 0.5, .pan = -1.0, .send = 0.5}, rng);
  std::vector<std::size_t> hits;
  for (std::size_t i = 0; i < bus.Frames(); ++i) {
    if (bus.left[i] != 0.0) hits.push_back(i);
    EXPECT_NEAR(bus.right[i], 0.0, 1e-12);
  }
  EXPECT_EQ(hits, (std::vector<std::size_t>{4725, 4725 * 4}));
  EXPECT_NEAR(bus.left[4725], 0.5, 1e-12);
  EXPECT_NEAR(send.left[4725], 0.25, 1e-12);

  // Jitter only ever makes a note a little later and a little softer.
  Stereo loose(30000);
  sounds::PlayNotes(loose, nullptr, grid, "C4", 2.0, click,
                    {.gain = 1.0, .pan = 1.0, .gain_jitter = 0.5, .time_jitter = 0.01}, rng);
  std::size_t at = 0;
  while (at < loose.Frames() && loose.right[at] == 0.0) ++at;
  EXPECT_GE(at, 9450u);
  EXPECT_LE(at, 9450u + 441u);
  EXPECT_GE(loose.right[at], 0.5);
  EXPECT_LE(loose.right[at], 1.0);
}

TEST(Placement, FinishedLoopsAndOneShotsMeetTheirLevels) {
  Stereo loop(1000);
  for (std::size_t i = 0; i < 1000; ++i) {
    loop.left[i] = 0.3 + 0.2 * std::sin(static_cast<double>(i));
    loop.right[i] = -0.1;
  }
  const sounds::Rendered r = sounds::FinishLoop(loop, -1.0);
  ASSERT_EQ(r.channels, 2);
  ASSERT_EQ(r.pcm.size(), 2000u);
  double peak = 0.0, mean_left = 0.0;
  for (std::size_t i = 0; i < 1000; ++i) {
    peak = std::max(peak, std::fabs(static_cast<double>(r.pcm[2 * i])));
    mean_left += r.pcm[2 * i];
    EXPECT_EQ(r.pcm[2 * i + 1], 0);  // a constant right side is all DC
  }
  EXPECT_NEAR(peak, 32767.0 * std::pow(10.0, -1.0 / 20.0), 1.0);
  EXPECT_NEAR(mean_left / 1000.0, 0.0, 1.0);

  Mono shot(500, 0.5);
  const sounds::Rendered s = sounds::FinishOneShot(shot, -3.0);
  ASSERT_EQ(s.channels, 1);
  EXPECT_EQ(s.pcm.front(), 0);
  EXPECT_EQ(s.pcm.back(), 0);
  EXPECT_EQ(s.pcm[250], static_cast<std::int16_t>(std::lround(32767.0 * std::pow(10.0, -0.15))));
}

// ---- Effects ----------------------------------------------------------------

// The committed effect files are what the generator makes today (within one
// step of rounding, should a compiler fold a constant differently).
TEST(Effects, CommittedFilesMatchTheGenerator) {
  const struct {
    const char* path;
    sounds::Rendered (*render)();
    std::uint16_t channels;
  } effects[] = {
      {content::sound::kSelect, sounds::RenderSelect, 1},
      {content::sound::kBon, sounds::RenderBon, 1},
      {content::sound::kEatHyoi, sounds::RenderEatHyoi, 1},
      {content::sound::kEatGoku, sounds::RenderEatGoku, 1},
      {content::sound::kMiss, sounds::RenderMiss, 1},
      {content::sound::kEnd, sounds::RenderEnd, 2},
  };
  for (const auto& e : effects) {
    SCOPED_TRACE(e.path);
    const sounds::Rendered r = e.render();
    EXPECT_EQ(r.channels, e.channels);
    const std::vector<std::uint8_t> file =
        ReadBytes(std::filesystem::path(POROMEKO_SOURCE_DIR) / "content" / e.path);
    const std::vector<std::uint8_t> fresh =
        contentgen::EncodeWav16(r.pcm, r.channels, sounds::kSampleRate);
    ASSERT_EQ(file.size(), fresh.size());
    ASSERT_TRUE(std::equal(file.begin(), file.begin() + 44, fresh.begin()));
    int worst = 0;
    for (std::size_t i = 0; i < r.pcm.size(); ++i) {
      const auto committed = static_cast<std::int16_t>(U16(file, 44 + 2 * i));
      worst = std::max(worst, std::abs(committed - r.pcm[i]));
    }
    EXPECT_LE(worst, 1);
  }
}

TEST(Effects, EachHasItsCharacter) {
  auto mono = [](const sounds::Rendered& r) {
    Mono m;
    for (std::int16_t s : r.pcm) m.push_back(s / 32768.0);
    return m;
  };
  // The swoop of "hyoi" rises: its pitch near the end of the sweep is well
  // above its pitch at the start.
  const Mono hyoi = mono(sounds::RenderEatHyoi());
  const std::size_t w = sounds::SecondsToSamples(0.02);
  EXPECT_GT(ToneLevel(hyoi, 480.0, sounds::SecondsToSamples(0.01), w),
            ToneLevel(hyoi, 1400.0, sounds::SecondsToSamples(0.01), w));
  EXPECT_GT(ToneLevel(hyoi, 1500.0, sounds::SecondsToSamples(0.1), w),
            ToneLevel(hyoi, 480.0, sounds::SecondsToSamples(0.1), w));
  // The menu blip is bright, the gulp and the bonk are low.
  const Mono select = mono(sounds::RenderSelect());
  EXPECT_GT(ToneLevel(select, sounds::MidiToHz(95), sounds::SecondsToSamples(0.06), w), 0.1);
  const Mono miss = mono(sounds::RenderMiss());
  EXPECT_GT(ToneLevel(miss, 190.0, 0, w), 5.0 * ToneLevel(miss, 1000.0, 0, w));
  const Mono goku = mono(sounds::RenderEatGoku());
  EXPECT_GT(ToneLevel(goku, 250.0, sounds::SecondsToSamples(0.11), w),
            5.0 * ToneLevel(goku, 2000.0, sounds::SecondsToSamples(0.11), w));
}

}  // namespace
