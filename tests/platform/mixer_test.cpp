#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/sound.h"

namespace platform {
namespace {

// Stereo frames: left = value(i), right = -value(i).
std::vector<std::int16_t> Stereo(std::size_t frames, std::int16_t (*value)(std::size_t)) {
  std::vector<std::int16_t> s;
  for (std::size_t i = 0; i < frames; ++i) {
    s.push_back(value(i));
    s.push_back(static_cast<std::int16_t>(-value(i)));
  }
  return s;
}
std::int16_t Ramp(std::size_t i) { return static_cast<std::int16_t>(i + 1); }
std::int16_t Level1000(std::size_t) { return 1000; }

std::vector<std::int16_t> Pull(SoundDevice& device, std::size_t frames) {
  std::vector<std::int16_t> out(frames * 2, 12345);
  device.Mix(out.data(), frames);
  return out;
}
std::vector<std::int16_t> Lefts(const std::vector<std::int16_t>& out) {
  std::vector<std::int16_t> l;
  for (std::size_t i = 0; i < out.size(); i += 2) l.push_back(out[i]);
  return l;
}
std::vector<std::int16_t> Range(int first, int count) {
  std::vector<std::int16_t> v;
  for (int i = 0; i < count; ++i) v.push_back(static_cast<std::int16_t>(first + i));
  return v;
}
std::vector<std::int16_t> Zeros(int count) { return std::vector<std::int16_t>(count, 0); }
std::vector<std::int16_t> Concat(std::vector<std::int16_t> a, const std::vector<std::int16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(SoundBufferTest, OneShotPlaysOnceThenStopsAtTheStart) {
  auto device = CreateSilentSoundDevice();
  auto buffer = device->CreateBufferFromOutput(Stereo(100, Ramp));
  EXPECT_EQ(buffer->Size(), 400u);
  EXPECT_EQ(buffer->GetStatus(), 0u);
  ASSERT_TRUE(buffer->Play(0));
  EXPECT_EQ(buffer->GetStatus(), kStatusPlaying);

  auto out = Pull(*device, 60);
  EXPECT_EQ(Lefts(out), Range(1, 60));
  EXPECT_EQ(out[1], -1);  // right channel kept apart
  EXPECT_EQ(buffer->GetCurrentPosition(), 240u);
  EXPECT_EQ(buffer->GetStatus(), kStatusPlaying);

  // The rest of the sound, then silence: it played once.
  EXPECT_EQ(Lefts(Pull(*device, 60)), Concat(Range(61, 40), Zeros(20)));
  EXPECT_EQ(buffer->GetStatus(), 0u);
  EXPECT_EQ(buffer->GetCurrentPosition(), 0u);
  EXPECT_EQ(device->PlayingCount(), 0u);
  EXPECT_EQ(Lefts(Pull(*device, 10)), Zeros(10));

  // Played again without rewinding it starts from the beginning.
  ASSERT_TRUE(buffer->Play(0));
  EXPECT_EQ(Lefts(Pull(*device, 5)), Range(1, 5));

  // Ending exactly at the end of a mix also counts as played out.
  buffer->Stop();
  ASSERT_TRUE(buffer->SetCurrentPosition(0));
  ASSERT_TRUE(buffer->Play(0));
  Pull(*device, 100);
  EXPECT_EQ(buffer->GetStatus(), 0u);
  EXPECT_EQ(buffer->GetCurrentPosition(), 0u);
}

TEST(SoundBufferTest, LoopingWrapsUntilStopped) {
  auto device = CreateSilentSoundDevice();
  auto buffer = device->CreateBufferFromOutput(Stereo(100, Ramp));
  ASSERT_TRUE(buffer->Play(kPlayLooping));
  EXPECT_EQ(buffer->GetStatus(), kStatusPlaying | kStatusLooping);
  // Longer than one internal mixing chunk, more than twice round.
  auto out = Lefts(Pull(*device, 1030));
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], static_cast<int>(i % 100 + 1));
  EXPECT_EQ(buffer->GetCurrentPosition(), 30u * 4);
  EXPECT_EQ(buffer->GetStatus(), kStatusPlaying | kStatusLooping);
  buffer->Stop();
  EXPECT_EQ(buffer->GetStatus(), 0u);
  EXPECT_EQ(Lefts(Pull(*device, 4)), Zeros(4));
}

TEST(SoundBufferTest, PlayWhilePlayingGoesOnAndTakesTheNewFlags) {
  auto device = CreateSilentSoundDevice();
  auto buffer = device->CreateBufferFromOutput(Stereo(100, Ramp));
  ASSERT_TRUE(buffer->Play(0));
  Pull(*device, 30);
  // No restart and no second copy: the values go on at single amplitude.
  ASSERT_TRUE(buffer->Play(0));
  EXPECT_EQ(Lefts(Pull(*device, 10)), Range(31, 10));
  EXPECT_EQ(device->PlayingCount(), 1u);

  // A one-shot switched to looping goes round at its end.
  ASSERT_TRUE(buffer->Play(kPlayLooping));
  EXPECT_EQ(buffer->GetStatus(), kStatusPlaying | kStatusLooping);
  EXPECT_EQ(Lefts(Pull(*device, 70)), Concat(Range(41, 60), Range(1, 10)));

  // A loop switched to once plays to its end and stops there.
  ASSERT_TRUE(buffer->Play(0));
  EXPECT_EQ(buffer->GetStatus(), kStatusPlaying);
  EXPECT_EQ(Lefts(Pull(*device, 95)), Concat(Range(11, 90), Zeros(5)));
  EXPECT_EQ(buffer->GetStatus(), 0u);
}

TEST(SoundBufferTest, StopKeepsThePositionAndPlayResumesThere) {
  auto device = CreateSilentSoundDevice();
  auto buffer = device->CreateBufferFromOutput(Stereo(100, Ramp));
  ASSERT_TRUE(buffer->Play(kPlayLooping));
  Pull(*device, 130);
  buffer->Stop();
  EXPECT_EQ(buffer->GetCurrentPosition(), 30u * 4);
  EXPECT_EQ(Lefts(Pull(*device, 10)), Zeros(10));
  EXPECT_EQ(buffer->GetCurrentPosition(), 30u * 4);
  buffer->Stop();  // stopping a stopped buffer changes nothing
  ASSERT_TRUE(buffer->Play(0));
  EXPECT_EQ(Lefts(Pull(*device, 5)), Range(31, 5));
}

TEST(SoundBufferTest, SetCurrentPositionRewindsJumpsAndRejectsBeyondTheEnd) {
  auto device = CreateSilentSoundDevice();
  auto buffer = device->CreateBufferFromOutput(Stereo(100, Ramp));
  // Stopped: where the next Play starts.
  ASSERT_TRUE(buffer->SetCurrentPosition(50 * 4));
  EXPECT_EQ(buffer->GetStatus(), 0u);
  ASSERT_TRUE(buffer->Play(0));
  EXPECT_EQ(Lefts(Pull(*device, 3)), Range(51, 3));
  // Playing: jumps at once and goes on playing.
  ASSERT_TRUE(buffer->SetCurrentPosition(10 * 4 + 3));  // rounded down to frame 10
  EXPECT_EQ(buffer->GetCurrentPosition(), 40u);
  EXPECT_EQ(Lefts(Pull(*device, 3)), Range(11, 3));
  // The restart idiom.
  ASSERT_TRUE(buffer->SetCurrentPosition(0));
  ASSERT_TRUE(buffer->Play(kPlayLooping));
  EXPECT_EQ(Lefts(Pull(*device, 3)), Range(1, 3));
  // Beyond the end: refused, nothing changes.
  EXPECT_FALSE(buffer->SetCurrentPosition(400));
  EXPECT_FALSE(buffer->SetCurrentPosition(0xFFFFFFFFu));
  EXPECT_EQ(buffer->GetCurrentPosition(), 12u);
  EXPECT_TRUE(buffer->SetCurrentPosition(396));
}

TEST(SoundBufferTest, EmptyBufferPlaysNothingAndNeverCountsAsPlaying) {
  auto device = CreateSilentSoundDevice();
  auto buffer = device->CreateBufferFromOutput({});
  EXPECT_EQ(buffer->Size(), 0u);
  EXPECT_TRUE(buffer->Play(kPlayLooping));
  EXPECT_EQ(buffer->GetStatus(), 0u);
  EXPECT_TRUE(buffer->SetCurrentPosition(0));
  EXPECT_FALSE(buffer->SetCurrentPosition(4));
  EXPECT_EQ(Lefts(Pull(*device, 8)), Zeros(8));
  // An odd sample count loses the half frame.
  EXPECT_EQ(device->CreateBufferFromOutput({1, 2, 3})->Size(), 4u);
}

TEST(MixerTest, SumsPlayingBuffersWithSaturation) {
  auto device = CreateSilentSoundDevice();
  auto a = device->CreateBufferFromOutput(Stereo(10, Level1000));
  auto b = device->CreateBufferFromOutput(Stereo(5, Ramp));
  ASSERT_TRUE(a->Play(0));
  ASSERT_TRUE(b->Play(0));
  auto out = Pull(*device, 10);
  EXPECT_EQ(out[0], 1001);
  EXPECT_EQ(out[1], -1001);
  EXPECT_EQ(out[8], 1005);
  EXPECT_EQ(out[10], 1000);  // b has ended
  EXPECT_EQ(out[19], -1000);

  auto loud = device->CreateBufferFromOutput(std::vector<std::int16_t>(8, 30000));
  auto loud2 = device->CreateBufferFromOutput(std::vector<std::int16_t>(8, 30000));
  auto quiet = device->CreateBufferFromOutput(std::vector<std::int16_t>(8, -30000));
  auto quiet2 = device->CreateBufferFromOutput(std::vector<std::int16_t>(8, -30000));
  ASSERT_TRUE(loud->Play(0));
  ASSERT_TRUE(loud2->Play(0));
  EXPECT_EQ(Pull(*device, 1)[0], 32767);
  ASSERT_TRUE(quiet->Play(0));
  ASSERT_TRUE(quiet2->Play(0));
  EXPECT_EQ(Pull(*device, 1)[0], 0);
  loud->Stop();
  loud2->Stop();
  EXPECT_EQ(Pull(*device, 1)[0], -32768);
}

TEST(MixerTest, MasterVolumeAndPanScaleTheMix) {
  auto device = CreateSilentSoundDevice();
  EXPECT_EQ(device->GetVolume(), 0);
  EXPECT_EQ(device->GetPan(), 0);
  auto buffer = device->CreateBufferFromOutput(std::vector<std::int16_t>(2000, 20000));
  ASSERT_TRUE(buffer->Play(kPlayLooping));

  device->SetVolume(-600);  // -6 dB: about half
  auto out = Pull(*device, 1);
  EXPECT_NEAR(out[0], 20000 * std::pow(10.0, -0.3), 2);
  EXPECT_EQ(out[0], out[1]);

  device->SetVolume(0);
  device->SetPan(kPanRight);  // left silent, right full
  out = Pull(*device, 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 20000);
  device->SetPan(-2000);  // right at -20 dB
  out = Pull(*device, 1);
  EXPECT_EQ(out[0], 20000);
  EXPECT_NEAR(out[1], 2000, 1);

  device->SetVolume(-20000);
  device->SetPan(12000);
  EXPECT_EQ(device->GetVolume(), kVolumeMin);
  EXPECT_EQ(device->GetPan(), kPanRight);
  device->SetVolume(500);
  EXPECT_EQ(device->GetVolume(), kVolumeMax);
  device->SetVolume(kVolumeMin);
  out = Pull(*device, 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  // Silent output still moves the sound on.
  EXPECT_EQ(buffer->GetCurrentPosition(), 4u * 4);
}

TEST(MixerTest, VoiceLimitAndBufferLifetime) {
  auto device = CreateSilentSoundDevice();
  std::vector<std::unique_ptr<SoundBuffer>> buffers;
  for (std::size_t i = 0; i <= kMaxVoices; ++i)
    buffers.push_back(device->CreateBufferFromOutput(Stereo(10, Level1000)));
  for (std::size_t i = 0; i < kMaxVoices; ++i) ASSERT_TRUE(buffers[i]->Play(kPlayLooping));
  EXPECT_FALSE(buffers.back()->Play(0));
  EXPECT_EQ(buffers.back()->GetStatus(), 0u);

  // A buffer destroyed while playing leaves the mix.
  buffers.erase(buffers.begin());
  EXPECT_EQ(device->PlayingCount(), kMaxVoices - 1);
  ASSERT_TRUE(buffers.back()->Play(0));
  EXPECT_EQ(device->PlayingCount(), kMaxVoices);
  buffers.clear();
  EXPECT_EQ(device->PlayingCount(), 0u);

  // A buffer may outlive its device; its play state still works.
  auto orphan = device->CreateBufferFromOutput(Stereo(10, Level1000));
  device.reset();
  EXPECT_TRUE(orphan->Play(0));
  EXPECT_EQ(orphan->GetStatus(), kStatusPlaying);
  orphan->Stop();
  EXPECT_EQ(orphan->GetStatus(), 0u);
}

TEST(MixerTest, PlayCallsFromAnotherThreadWhileMixing) {
  auto device = CreateSilentSoundDevice();
  std::atomic<bool> done{false};
  std::thread output([&] {
    std::vector<std::int16_t> out(2 * 300);
    while (!done.load()) device->Mix(out.data(), 300);
  });
  for (int round = 0; round < 200; ++round) {
    auto a = device->CreateBufferFromOutput(Stereo(50 + round, Ramp));
    auto b = device->CreateBufferFromOutput(Stereo(7, Level1000));
    a->Play(kPlayLooping);
    b->Play(0);
    a->SetCurrentPosition(static_cast<std::uint32_t>(round % 50) * 4);
    b->Play(kPlayLooping);
    a->Stop();
    EXPECT_LT(a->GetCurrentPosition(), a->Size());
    a->Play(0);
    // Both are destroyed here, possibly while being mixed.
  }
  done.store(true);
  output.join();
  EXPECT_EQ(device->PlayingCount(), 0u);
}

// --- Streamed buffers --------------------------------------------------------------

// Frames from memory, counting the reads; frames from `readable` on cannot be
// read (a file cut short).
class MemoryFrames final : public FrameReader {
 public:
  MemoryFrames(std::vector<std::int16_t> samples, std::size_t readable, int* reads)
      : samples_(std::move(samples)), readable_(readable), reads_(reads) {}
  std::size_t Read(std::uint64_t first, std::int16_t* out, std::size_t count) override {
    ++*reads_;
    if (first >= readable_) return 0;
    const std::size_t n = std::min<std::size_t>(count, readable_ - first);
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(first * 2), n * 2, out);
    return n;
  }

 private:
  std::vector<std::int16_t> samples_;
  std::size_t readable_;
  int* reads_;
};

std::int16_t Noise(std::size_t i) {
  return static_cast<std::int16_t>((i * 7919u) % 65536u - 32768);
}

TEST(StreamedBufferTest, PlaysExactlyAsTheSameSamplesHeldInMemory) {
  const std::size_t frames = 3 * kStreamWindowFrames + 123;
  const auto samples = Stereo(frames, Noise);
  auto heldDevice = CreateSilentSoundDevice();
  auto streamDevice = CreateSilentSoundDevice();
  auto held = heldDevice->CreateBufferFromOutput(samples);
  int reads = 0;
  auto streamed = streamDevice->CreateStreamedBuffer(
      std::make_unique<MemoryFrames>(samples, frames, &reads), frames);
  ASSERT_TRUE(streamed->Streamed());
  EXPECT_FALSE(held->Streamed());
  EXPECT_EQ(streamed->Size(), held->Size());

  // The same calls on both, pulling uneven amounts across window edges, the
  // loop point, jumps back and forth and a one-shot ending.
  auto both = [&](auto call) {
    call(*held);
    call(*streamed);
  };
  std::size_t pulled = 0;
  auto compare = [&](std::size_t n) {
    SCOPED_TRACE(pulled);
    ASSERT_EQ(Pull(*streamDevice, n), Pull(*heldDevice, n));
    pulled += n;
    EXPECT_EQ(streamed->GetCurrentPosition(), held->GetCurrentPosition());
    EXPECT_EQ(streamed->GetStatus(), held->GetStatus());
  };
  both([](SoundBuffer& b) { b.Play(kPlayLooping); });
  for (std::size_t n : {1000u, 333u, 8192u, 7000u, 9000u, 4096u}) compare(n);
  both([&](SoundBuffer& b) { b.SetCurrentPosition((frames - 50) * 4); });
  compare(200);  // round the loop point
  both([](SoundBuffer& b) { b.SetCurrentPosition(5000 * 4); });
  compare(1);
  both([](SoundBuffer& b) { b.SetCurrentPosition(4999 * 4); });  // one frame back
  compare(700);
  both([](SoundBuffer& b) { b.Stop(); });
  compare(100);
  both([](SoundBuffer& b) { b.Play(0); });
  compare(frames);  // plays out and stops at the start
  EXPECT_EQ(streamed->GetStatus(), 0u);
  EXPECT_EQ(streamed->GetCurrentPosition(), 0u);

  // A window is read when the play leaves it, not for every chunk mixed.
  EXPECT_LE(reads, static_cast<int>(pulled / kStreamWindowFrames) + 8);
}

TEST(StreamedBufferTest, FramesThatCannotBeReadPlayAsSilence) {
  const std::size_t frames = 2 * kStreamWindowFrames;
  const std::size_t readable = 1000;
  auto device = CreateSilentSoundDevice();
  int reads = 0;
  auto buffer = device->CreateStreamedBuffer(
      std::make_unique<MemoryFrames>(Stereo(frames, Level1000), readable, &reads), frames);
  ASSERT_TRUE(buffer->Play(0));
  const auto out = Pull(*device, frames + 10);
  EXPECT_EQ(out[2 * (readable - 1)], 1000);
  for (std::size_t i = 2 * readable; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
  // The one-shot still ends on time and goes back to the start.
  EXPECT_EQ(buffer->GetStatus(), 0u);
  EXPECT_EQ(buffer->GetCurrentPosition(), 0u);
  // The failing source was asked once a window, not once a chunk.
  EXPECT_EQ(reads, 2);

  // No reader: an empty buffer, as for a sound that could not be loaded.
  auto none = device->CreateStreamedBuffer(nullptr, 100);
  EXPECT_EQ(none->Size(), 0u);
  EXPECT_FALSE(none->Streamed());
}

TEST(StreamedBufferTest, FrameFileReadsFromItsOffsetAndShortOnceCut) {
  const auto path = std::filesystem::path(::testing::TempDir()) / "frames.raw";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write("HEADER!", 7);  // the frames start at an odd offset
    for (std::int16_t v = 0; v < 100; ++v) {
      const unsigned char bytes[4] = {static_cast<unsigned char>(v), 0,
                                      static_cast<unsigned char>(-v & 0xFF), 0xFF};
      out.write(reinterpret_cast<const char*>(bytes), 4);
    }
  }
  std::string error;
  InputFile file;
  ASSERT_TRUE(file.Open(path.string(), kAnySize, nullptr, &error)) << error;
  auto reader = OpenFrameFile(std::move(file), 7);
  ASSERT_NE(reader, nullptr);
  std::vector<std::int16_t> out(2 * 10, 99);
  ASSERT_EQ(reader->Read(95, out.data(), 10), 5u);  // only five frames remain
  EXPECT_EQ(out[0], 95);
  EXPECT_EQ(out[1], -95);
  EXPECT_EQ(out[8], 99);
  EXPECT_EQ(out[9], -99);

  // Cut under the open reader, half way into a frame: reads come up short.
  std::filesystem::resize_file(path, 7 + 4 * 50 + 2);
  EXPECT_EQ(reader->Read(40, out.data(), 10), 10u);
  EXPECT_EQ(reader->Read(45, out.data(), 10), 5u);
  EXPECT_EQ(reader->Read(60, out.data(), 10), 0u);

  EXPECT_FALSE(file.Open((path.parent_path() / "no-such.raw").string(), kAnySize, nullptr, &error));
  EXPECT_NE(error.find("no-such.raw"), std::string::npos);
  EXPECT_EQ(OpenFrameFile(std::move(file), 0), nullptr);
  std::filesystem::remove(path);
}

// --- Conversion to the output format ---------------------------------------------

std::vector<std::int16_t> Convert(const PcmFormat& format, const std::vector<std::uint8_t>& data) {
  std::vector<std::int16_t> out;
  std::string error;
  EXPECT_TRUE(ConvertPcmToOutput(format, data, &out, &error)) << error;
  return out;
}

std::vector<std::uint8_t> Le16(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> bytes;
  for (std::int16_t s : samples) {
    bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  return bytes;
}

TEST(ConvertPcmTest, SixteenBitStereoAtTheOutputRateIsCopied) {
  std::vector<std::int16_t> samples = {1, -1, 32767, -32768, 300, 400};
  auto data = Le16(samples);
  data.push_back(0x55);  // half a frame at the end is dropped
  EXPECT_EQ(Convert({2, 44100, 16, 4}, data), samples);
}

TEST(ConvertPcmTest, EightBitMonoIsCentredScaledAndDoubled) {
  auto out = Convert({1, 44100, 8, 1}, {0x80, 0xFF, 0x00, 0xC0});
  EXPECT_EQ(out, (std::vector<std::int16_t>{0, 0, 32512, 32512, -32768, -32768, 16384, 16384}));
  // 8-bit stereo keeps its sides apart.
  EXPECT_EQ(Convert({2, 44100, 8, 2}, {0x90, 0x70}), (std::vector<std::int16_t>{4096, -4096}));
}

TEST(ConvertPcmTest, OtherRatesLandAtTheRightLengthAndLevel) {
  // 22050 Hz: twice as many frames, the level kept, ramps interpolated.
  auto out = Convert({1, 22050, 16, 2}, Le16({1000, 2000, 3000, 4000}));
  ASSERT_EQ(out.size(), 8u * 2);
  EXPECT_EQ(Lefts(out),
            (std::vector<std::int16_t>{1000, 1500, 2000, 2500, 3000, 3500, 4000, 4000}));

  // One second at 48 kHz is one second at 44.1 kHz.
  std::vector<std::int16_t> constant(48000 * 2, -7000);
  out = Convert({2, 48000, 16, 4}, Le16(constant));
  ASSERT_EQ(out.size(), 44100u * 2);
  for (std::int16_t s : out) ASSERT_EQ(s, -7000);

  // 8-bit mono at 22.05 kHz: a tenth of a second stays a tenth of a second.
  out = Convert({1, 22050, 8, 1}, std::vector<std::uint8_t>(2205, 0x40));
  ASSERT_EQ(out.size(), 4410u * 2);
  for (std::int16_t s : out) ASSERT_EQ(s, -16384);

  // Round to the nearest frame: 3 frames at 48 kHz are 2.76 output frames.
  EXPECT_EQ(Convert({1, 48000, 16, 2}, Le16({1, 2, 3})).size(), 3u * 2);
  EXPECT_TRUE(Convert({1, 22050, 16, 2}, {}).empty());
}

TEST(ConvertPcmTest, RefusesWhatItCannotConvert) {
  std::vector<std::int16_t> out;
  std::string error;
  std::vector<std::uint8_t> data(64, 0);
  const PcmFormat bad[] = {
      {3, 44100, 16, 6},   // three channels
      {0, 44100, 16, 0},   // no channels
      {2, 44100, 24, 6},   // 24-bit
      {2, 0, 16, 4},       // no rate
      {1, 999, 8, 1},      // too slow a rate
      {2, 44100, 16, 8},   // block alignment that does not fit the frame
      {1, 384001, 16, 2},  // too fast a rate
  };
  for (const PcmFormat& f : bad) {
    error.clear();
    EXPECT_FALSE(ConvertPcmToOutput(f, data, &out, &error));
    EXPECT_FALSE(error.empty());
  }
  // A converted sound longer than a buffer may hold.
  std::vector<std::uint8_t> hour(std::size_t{1000} * 60 * 31, 0x80);
  EXPECT_FALSE(ConvertPcmToOutput({1, 1000, 8, 1}, hour, &out, &error));
  EXPECT_EQ(error, "sound too long");
}

TEST(ConvertPcmTest, VolumeCurveInHundredthsOfDecibels) {
  EXPECT_DOUBLE_EQ(VolumeToGain(0), 1.0);
  EXPECT_DOUBLE_EQ(VolumeToGain(100), 1.0);
  EXPECT_NEAR(VolumeToGain(-2000), 0.1, 1e-12);
  EXPECT_NEAR(VolumeToGain(-4000), 0.01, 1e-12);
  EXPECT_DOUBLE_EQ(VolumeToGain(kVolumeMin), 0.0);
}

}  // namespace
}  // namespace platform
