#include "media/wave_file.h"

#include <gtest/gtest.h>

#include "media/wav_builder.h"

namespace media {
namespace {

using namespace wavtest;

Bytes ReadAll(WaveFile& wave) {
  Bytes data(wave.DataBytesLeft() + 16, 0xEE);
  std::uint32_t got = 0;
  EXPECT_TRUE(wave.Read(std::uint32_t(data.size()), data.data(), &got));
  data.resize(got);
  return data;
}

TEST(WaveFileTest, ReadsPcmFormatAndSamples) {
  const Bytes samples = Samples16({100, -100, 2000, -2000, 32767, -32768});
  const std::string path =
      WriteFile("plain.wav", Riff({PcmFmt(2, 44100, 16), Chunk("data", samples)}));
  WaveFile wave;
  ASSERT_TRUE(wave.Open(path)) << wave.Error();
  ASSERT_TRUE(wave.Format().has_value());
  const WaveFormat& f = *wave.Format();
  EXPECT_EQ(f.formatTag, kWaveFormatPcm);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.samplesPerSec, 44100u);
  EXPECT_EQ(f.avgBytesPerSec, 176400u);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.extraSize, 0);
  EXPECT_TRUE(f.IsPcm());
  EXPECT_EQ(wave.DataBytesLeft(), samples.size());
  EXPECT_FALSE(wave.DataTruncated());

  // Reads hand out the data in order and stop at its end.
  Bytes got(5);
  std::uint32_t n = 0;
  ASSERT_TRUE(wave.Read(5, got.data(), &n));
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(got, Bytes(samples.begin(), samples.begin() + 5));
  EXPECT_EQ(ReadAll(wave), Bytes(samples.begin() + 5, samples.end()));
  EXPECT_EQ(wave.DataBytesLeft(), 0u);
  ASSERT_TRUE(wave.Read(10, got.data(), &n));
  EXPECT_EQ(n, 0u);

  // Close frees the format; reading afterwards fails cleanly.
  wave.Close();
  EXPECT_FALSE(wave.Format().has_value());
  EXPECT_FALSE(wave.Read(4, got.data(), &n));
  EXPECT_EQ(n, 0u);
}

TEST(WaveFileTest, FindsChunksWhereverTheyAreAndSkipsTheRest) {
  const Bytes samples = {1, 2, 3, 4, 5, 6};
  const Bytes list = Chunk("LIST", {'I', 'N', 'F', 'O', 'x'});  // odd size: one pad byte
  Bytes longFmtBody = FmtFields(1, 1, 22050, 8);
  longFmtBody.insert(longFmtBody.end(), {0, 0, 0xAB, 0xCD, 0xEF});  // 21 bytes, padded
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"list_before_data.wav", Riff({PcmFmt(1, 22050, 8), list, Chunk("data", samples)})},
      {"list_first.wav", Riff({list, PcmFmt(1, 22050, 8), Chunk("data", samples)})},
      {"data_first.wav", Riff({Chunk("data", samples), list, PcmFmt(1, 22050, 8)})},
      {"long_fmt.wav", Riff({Chunk("fmt ", longFmtBody), list, Chunk("data", samples)})},
      // Writers that stream often leave the RIFF size at its maximum.
      {"riff_size_max.wav", Riff({PcmFmt(1, 22050, 8), Chunk("data", samples)}, 0xFFFFFFFF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WaveFile wave;
    ASSERT_TRUE(wave.Open(WriteFile(c.name, c.file))) << wave.Error();
    EXPECT_EQ(wave.Format()->channels, 1);
    EXPECT_EQ(wave.Format()->samplesPerSec, 22050u);
    EXPECT_EQ(wave.Format()->bitsPerSample, 8);
    EXPECT_EQ(ReadAll(wave), samples);
  }
}

TEST(WaveFileTest, KeepsTheExtraFormatBytesOfOtherFormats) {
  Bytes adpcm = FmtFields(2, 1, 22050, 4);
  Put16(adpcm, 4);
  adpcm.insert(adpcm.end(), {0xF4, 0x01, 0x07, 0x00});
  WaveFile wave;
  ASSERT_TRUE(wave.Open(WriteFile("adpcm.wav", Riff({Chunk("fmt ", adpcm), Chunk("data", {0})}))))
      << wave.Error();
  EXPECT_EQ(wave.Format()->formatTag, 2);
  EXPECT_EQ(wave.Format()->extraSize, 4);
  EXPECT_EQ(wave.Format()->extra, (Bytes{0xF4, 0x01, 0x07, 0x00}));
  EXPECT_FALSE(wave.Format()->IsPcm());

  // Extensible counts as PCM only with the PCM sub-format.
  ASSERT_TRUE(wave.Open(
      WriteFile("ext_pcm.wav", Riff({ExtensibleFmt(2, 48000, 16, 1), Chunk("data", {0, 0})}))));
  EXPECT_EQ(wave.Format()->formatTag, kWaveFormatExtensible);
  EXPECT_EQ(wave.Format()->extraSize, 22);
  EXPECT_TRUE(wave.Format()->IsPcm());
  ASSERT_TRUE(wave.Open(
      WriteFile("ext_float.wav", Riff({ExtensibleFmt(2, 48000, 32, 3), Chunk("data", {0, 0})}))));
  EXPECT_FALSE(wave.Format()->IsPcm());

  // A bare 16-byte chunk of another format has no extra bytes: the next
  // chunk's header is not taken for them.
  ASSERT_TRUE(wave.Open(WriteFile(
      "float16.wav", Riff({Chunk("fmt ", FmtFields(3, 1, 44100, 32)), Chunk("data", {0})}))));
  EXPECT_EQ(wave.Format()->extraSize, 0);
  EXPECT_TRUE(wave.Format()->extra.empty());
}

TEST(WaveFileTest, DataRunningPastTheEndOfTheFileIsCutToWhatIsThere) {
  const Bytes samples = {10, 20, 30, 40, 50, 60};
  Bytes file = Riff({PcmFmt(1, 44100, 16), Chunk("data", samples, 1000000)});
  WaveFile wave;
  ASSERT_TRUE(wave.Open(WriteFile("cut.wav", file))) << wave.Error();
  EXPECT_TRUE(wave.DataTruncated());
  EXPECT_EQ(wave.DataChunkSize(), 1000000u);
  EXPECT_EQ(wave.DataBytesLeft(), samples.size());
  EXPECT_EQ(ReadAll(wave), samples);

  // A data chunk whose header is the last thing in the file holds nothing.
  ASSERT_TRUE(wave.Open(
      WriteFile("header_only.wav", Riff({PcmFmt(1, 44100, 16), Chunk("data", {}, 4000)}))));
  EXPECT_EQ(wave.DataBytesLeft(), 0u);
}

TEST(WaveFileTest, MalformedFilesFailWithAReason) {
  const Bytes fmt = PcmFmt(1, 44100, 16);
  const Bytes data = Chunk("data", {1, 2});
  Bytes truncatedFmt = Riff({fmt, data});
  truncatedFmt.resize(12 + 8 + 10);  // ends inside the format fields
  Bytes extraTooBig = FmtFields(2, 1, 22050, 4);
  Put16(extraTooBig, 200);  // says 200 extra bytes, the chunk has none
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"empty.wav", {}},
      {"short_header.wav", {'R', 'I', 'F', 'F', 4, 0}},
      {"not_riff.wav", Chunk("RIFX", {'W', 'A', 'V', 'E'})},
      {"not_wave.wav", Chunk("RIFF", {'A', 'V', 'I', ' '})},
      {"no_fmt.wav", Riff({data})},
      {"short_fmt.wav", Riff({Chunk("fmt ", Bytes(14, 1)), data})},
      {"cut_in_fmt.wav", truncatedFmt},
      {"extra_past_chunk.wav", Riff({Chunk("fmt ", extraTooBig), data})},
      {"no_data.wav", Riff({fmt, Chunk("LIST", {'I', 'N', 'F', 'O'})})},
      // A chunk size that runs off the end hides everything after it.
      {"huge_chunk.wav", Riff({fmt, Chunk("LIST", {1, 2, 3, 4}, 0xFFFFFFFF), data})},
      {"huge_fmt.wav", Riff({Chunk("fmt ", FmtFields(1, 1, 44100, 16), 0xFFFFFFFE), data})},
      // The RIFF chunk claims less than the file: the data lies outside it.
      {"small_riff.wav", Riff({fmt, data}, 4 + 24)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WaveFile wave;
    EXPECT_FALSE(wave.Open(WriteFile(c.name, c.file)));
    EXPECT_FALSE(wave.Error().empty());
    EXPECT_FALSE(wave.Format().has_value());
    std::uint8_t byte = 0;
    std::uint32_t n = 7;
    EXPECT_FALSE(wave.Read(1, &byte, &n));
    EXPECT_EQ(n, 0u);
  }
  WaveFile wave;
  EXPECT_FALSE(wave.Open((TempDir() / "no_such_file.wav").string()));
  EXPECT_NE(wave.Error().find("no_such_file.wav: No such file"), std::string::npos) << wave.Error();
  EXPECT_FALSE(wave.Open(TempDir().string()));  // a directory
}

TEST(WaveFileTest, GarbageNeverReadsPastTheFile) {
  // Random bytes behind a valid-looking header, in many lengths.
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return std::uint8_t(seed >> 24);
  };
  int opened = 0;
  for (int round = 0; round < 200; ++round) {
    Bytes file;
    if (round % 2 == 0) {
      PutId(file, "RIFF");
      Put32(file, next() | next() << 8);
      PutId(file, "WAVE");
      // Chunk headers with a real id now and then, so the search goes deep.
      for (int k = 0; k < 6; ++k) {
        PutId(file, k % 3 == 0 ? "fmt " : (k % 3 == 1 ? "data" : "junk"));
        // Mostly honest sizes so that the search goes on to the next chunk.
        const int size = next() % 48;
        Put32(file, std::uint32_t(size));
        for (int j = next() % 4 != 0 ? size + size % 2 : next() % 48; j > 0; --j)
          file.push_back(next());
      }
    } else {
      for (int j = next() * 2; j > 0; --j) file.push_back(next());
    }
    file.resize(file.size() - next() % 8 % (file.size() + 1));
    WaveFile wave;
    const std::string path = WriteFile("garbage.wav", file);
    if (!wave.Open(path)) continue;
    ++opened;
    EXPECT_LE(wave.DataBytesLeft(), file.size());
    Bytes data(wave.DataBytesLeft());
    std::uint32_t n = 0;
    EXPECT_TRUE(wave.Read(std::uint32_t(data.size()), data.data(), &n));
    EXPECT_EQ(n, data.size());
  }
  EXPECT_GT(opened, 0);  // the generator does reach the reading code
}

}  // namespace
}  // namespace media
