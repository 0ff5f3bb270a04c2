#include "media/ima_adpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "media/sound_manager.h"

namespace media {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::int16_t> Tone(std::size_t frames, int channels) {
  // A chord that sweeps and a second voice an octave up on the right: music
  // with some movement, as the game's pieces have.
  std::vector<std::int16_t> s;
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / 44100.0;
    const double f = 220.0 + 200.0 * t;
    const double left = 9000.0 * std::sin(2 * std::numbers::pi * f * t) +
                        4000.0 * std::sin(2 * std::numbers::pi * 1.5 * f * t);
    s.push_back(static_cast<std::int16_t>(left));
    if (channels == 2) {
      s.push_back(static_cast<std::int16_t>(7000.0 * std::sin(2 * std::numbers::pi * 2 * f * t)));
    }
  }
  return s;
}

std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& pcm) {
  std::vector<std::int16_t> s(pcm.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i) {
    s[i] = static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
  }
  return s;
}

double SignalToNoiseDb(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
  double signal = 0, noise = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    signal += double(a[i]) * a[i];
    noise += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  }
  return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

TEST(ImaAdpcmTest, RoundTripKeepsEveryFrameInPlaceAndTheSoundClose) {
  for (int channels : {1, 2}) {
    SCOPED_TRACE(channels);
    const std::uint16_t align = channels == 1 ? 1024 : 2048;
    const std::uint32_t perBlock = ImaSamplesPerBlock(align, static_cast<std::uint32_t>(channels));
    EXPECT_EQ(perBlock, 2041u);
    // Three whole blocks and a short one that ends inside a group of eight.
    const std::size_t frames = 3 * perBlock + 100;
    const std::vector<std::int16_t> in = Tone(frames, channels);
    const std::vector<std::uint8_t> packed =
        EncodeImaAdpcm(in, static_cast<std::uint16_t>(channels), align);
    // A quarter of the bytes, plus the headers.
    EXPECT_EQ(packed.size(), 3u * align + 4u * channels + 13u * 4u * channels);
    std::vector<std::uint8_t> pcm;
    std::string error;
    ASSERT_TRUE(DecodeImaAdpcm(static_cast<std::uint16_t>(channels), align, packed, &pcm, &error))
        << error;
    std::vector<std::int16_t> out = Samples(pcm);
    // The short block decodes to whole groups: the last frames padded to 8.
    ASSERT_EQ(out.size(), (3 * perBlock + 1 + 13 * 8) * channels);
    out.resize(in.size());
    // Every block starts on its exact sample.
    for (std::size_t b = 0; b < 4; ++b) {
      EXPECT_EQ(out[b * perBlock * channels], in[b * perBlock * channels]);
    }
    EXPECT_GT(SignalToNoiseDb(in, out), 25.0);
  }
}

TEST(ImaAdpcmTest, KnownNibblesDecodeAsTheStandardSays) {
  // One mono block: first sample 1000 at step index 0, then nibbles 7 and
  // 15 and six zeros. Step 7: 7 adds 7/8+7/4+7/2+7 = 0+1+3+7 = 11, index
  // +8; step 16: 15 takes 2+4+8+16 = 30 away.
  Bytes block = {0xE8, 0x03, 0x00, 0x00, 0xF7, 0x00, 0x00, 0x00};
  std::vector<std::uint8_t> pcm;
  std::string error;
  ASSERT_TRUE(DecodeImaAdpcm(1, 8, block, &pcm, &error));
  const std::vector<std::int16_t> s = Samples(pcm);
  ASSERT_EQ(s.size(), 9u);
  EXPECT_EQ(s[0], 1000);
  EXPECT_EQ(s[1], 1011);
  EXPECT_EQ(s[2], 981);
  // The index is 16 by then (step 34): a zero nibble adds 34/8 = 4 and
  // walks the index back down.
  EXPECT_EQ(s[3], 985);

  // Formats it cannot decode say so; data shorter than one header is empty.
  EXPECT_FALSE(DecodeImaAdpcm(3, 1024, block, &pcm, &error));
  EXPECT_FALSE(DecodeImaAdpcm(2, 6, block, &pcm, &error));
  const std::uint8_t twoBytes[2] = {1, 2};
  EXPECT_TRUE(DecodeImaAdpcm(1, 1024, twoBytes, &pcm, &error));
  EXPECT_TRUE(pcm.empty());
  // A step index past the table is held at its end, not read beyond it.
  Bytes wild = {0x00, 0x00, 0xFF, 0x00, 0x77, 0x77, 0x77, 0x77};
  EXPECT_TRUE(DecodeImaAdpcm(1, 8, wild, &pcm, &error));
  EXPECT_EQ(Samples(pcm).back(), 32767);
}

TEST(ImaAdpcmTest, TheGameLoadsAnAdpcmFileAsLongAsItsPcmOriginal) {
  const std::vector<std::int16_t> in = Tone(44100, 2);
  const std::vector<std::uint8_t> packed = EncodeImaAdpcm(in, 2, 2048);
  // RIFF, WAVE, the 20-byte IMA format, the data.
  std::string file = "RIFF";
  auto le = [&file](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  le(static_cast<std::uint32_t>(4 + 28 + 8 + packed.size()), 4);
  file += "WAVEfmt ";
  le(20, 4);
  le(kWaveFormatImaAdpcm, 2);
  le(2, 2);
  le(44100, 4);
  le(44100 * 2048 / 2041, 4);
  le(2048, 2);
  le(4, 2);
  le(2, 2);
  le(2041, 2);
  file += "data";
  le(static_cast<std::uint32_t>(packed.size()), 4);
  file.append(packed.begin(), packed.end());
  const auto path = std::filesystem::path(::testing::TempDir()) / "adpcm_test.wav";
  std::ofstream(path, std::ios::binary)
      .write(file.data(), static_cast<std::streamsize>(file.size()));

  auto device = platform::CreateSilentSoundDevice();
  std::string error;
  auto buffer = LoadWaveBuffer(*device, path.string(), &error);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(error, "");
  // A second of stereo at 44.1 kHz, four bytes a frame, to within the last
  // group of eight.
  EXPECT_GE(buffer->Size(), 44100u * 4);
  EXPECT_LT(buffer->Size(), 44100u * 4 + 8 * 4);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace media
