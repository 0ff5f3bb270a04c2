// The committed sounds: every file the game loads is there, is 16-bit PCM at
// 44.1 kHz that the game's own WAV reader accepts, has a length that suits
// its use, sane levels (headroom, no DC), one-shots that start and end
// silently, and music that loops without a click.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/paths.h"
#include "media/wave_file.h"

namespace {

namespace snd = content::sound;

std::filesystem::path ContentPath(const char* path) {
  return std::filesystem::path(POROMEKO_SOURCE_DIR) / "content" / path;
}

bool IsMusic(const char* path) { return path == snd::kTitleBgm || path == snd::kGameBgm; }

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

struct Sound {
  std::string error;  // empty when loaded
  media::WaveFormat format;
  std::vector<std::int16_t> samples;  // interleaved

  std::size_t Frames() const { return samples.size() / format.channels; }
  std::int16_t At(std::size_t frame, std::size_t channel) const {
    return samples[frame * format.channels + channel];
  }
};

// Loads through the game's reader, then checks the file's own header fields
// against what was read, so a header that lies about sizes is caught too.
Sound Load(const char* path) {
  Sound s;
  const std::filesystem::path full = ContentPath(path);
  media::WaveFile wave;
  if (!wave.Open(full.string())) {
    s.error = "WaveFile: " + wave.Error();
    return s;
  }
  s.format = *wave.Format();
  if (wave.DataTruncated()) {
    s.error = "data chunk runs past the end of the file";
    return s;
  }
  if (s.format.formatTag != media::kWaveFormatPcm || s.format.bitsPerSample != 16 ||
      s.format.channels == 0) {
    s.error = "not 16-bit PCM";
    return s;
  }
  const std::uint32_t bytes = wave.DataBytesLeft();
  if (bytes % (2u * s.format.channels) != 0) {
    s.error = "data is not a whole number of frames";
    return s;
  }
  s.samples.resize(bytes / 2);
  std::uint32_t got = 0;
  if (!wave.Read(bytes, reinterpret_cast<std::uint8_t*>(s.samples.data()), &got) || got != bytes) {
    s.error = "short read";
    return s;
  }
  std::ifstream in(full, std::ios::binary);
  const std::vector<std::uint8_t> raw{std::istreambuf_iterator<char>(in), {}};
  if (raw.size() < 12 || U32(raw, 4) != raw.size() - 8) {
    s.error = "RIFF size field does not match the file size";
  }
  return s;
}

TEST(SoundFiles, EveryFileIsPcm16At44100ThatTheGameReads) {
  for (const char* path : snd::kAll) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(std::filesystem::exists(ContentPath(path)));
    const Sound s = Load(path);
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(s.format.samplesPerSec, 44100u);
    EXPECT_TRUE(s.format.channels == 1 || s.format.channels == 2);
    EXPECT_EQ(s.format.blockAlign, s.format.channels * 2);
    EXPECT_EQ(s.format.avgBytesPerSec, 44100u * s.format.blockAlign);
    EXPECT_EQ(s.format.extraSize, 0);
  }
}

TEST(SoundFiles, LengthsSuitTheirUse) {
  for (const char* path : snd::kAll) {
    SCOPED_TRACE(path);
    const Sound s = Load(path);
    ASSERT_EQ(s.error, "");
    const double seconds = static_cast<double>(s.Frames()) / 44100.0;
    if (IsMusic(path)) {
      EXPECT_EQ(s.format.channels, 2);
      EXPECT_GE(seconds, 30.0);
      EXPECT_LE(seconds, 60.0);
    } else if (path == snd::kEnd) {
      EXPECT_GE(seconds, 1.0);
      EXPECT_LE(seconds, 3.0);
    } else {
      EXPECT_GE(seconds, 0.05);
      EXPECT_LE(seconds, 1.0);
    }
  }
}

TEST(SoundFiles, LevelsHaveHeadroomAndNoDcOffset) {
  const double ceiling = 32768.0 * std::pow(10.0, -0.95 / 20.0);  // -1 dBFS and rounding
  for (const char* path : snd::kAll) {
    SCOPED_TRACE(path);
    const Sound s = Load(path);
    ASSERT_EQ(s.error, "");
    ASSERT_GT(s.Frames(), 0u);
    for (std::size_t c = 0; c < s.format.channels; ++c) {
      SCOPED_TRACE(c);
      double peak = 0.0, sum = 0.0, squares = 0.0;
      for (std::size_t i = 0; i < s.Frames(); ++i) {
        const double v = s.At(i, c);
        peak = std::max(peak, std::fabs(v));
        sum += v;
        squares += v * v;
      }
      const double frames = static_cast<double>(s.Frames());
      const double rms_db = 20.0 * std::log10(std::sqrt(squares / frames) / 32768.0);
      EXPECT_LE(peak, ceiling);
      EXPECT_GE(peak, 32768.0 * std::pow(10.0, -12.0 / 20.0)) << "far too quiet";
      EXPECT_GT(rms_db, -35.0);
      EXPECT_LT(rms_db, -6.0) << "squashed";
      // A one-shot is mostly decay, so its mean can sit a little off zero;
      // a loop has no excuse.
      const double dc_limit = IsMusic(path) ? 2.0 : 0.01 * 32768.0;
      EXPECT_LE(std::fabs(sum / frames), dc_limit);
    }
  }
}

TEST(SoundFiles, OneShotsStartAndEndInSilence) {
  for (const char* path : snd::kAll) {
    if (IsMusic(path)) continue;
    SCOPED_TRACE(path);
    const Sound s = Load(path);
    ASSERT_EQ(s.error, "");
    for (std::size_t c = 0; c < s.format.channels; ++c) {
      EXPECT_LE(std::abs(s.At(0, c)), 16);
      EXPECT_LE(std::abs(s.At(s.Frames() - 1, c)), 16);
      // The sound starts right away: something audible within 20 ms.
      int loudest = 0;
      for (std::size_t i = 0; i < 882 && i < s.Frames(); ++i) {
        loudest = std::max(loudest, std::abs(static_cast<int>(s.At(i, c))));
      }
      EXPECT_GT(loudest, 1000);
    }
  }
}

// When the buffer wraps from its last frame to its first, the step taken must
// look like any other step of the music around it. A cut mid-waveform shows
// up as a jump in the second difference (curvature), which in smooth audio is
// small next to the first difference.
TEST(SoundFiles, MusicLoopsWithoutAClick) {
  for (const char* path : {snd::kTitleBgm, snd::kGameBgm}) {
    SCOPED_TRACE(path);
    const Sound s = Load(path);
    ASSERT_EQ(s.error, "");
    const std::size_t n = s.Frames();
    ASSERT_GT(n, 1000u);
    for (std::size_t c = 0; c < s.format.channels; ++c) {
      SCOPED_TRACE(c);
      auto x = [&](long i) {
        const long m = static_cast<long>(n);
        return static_cast<long>(s.At(static_cast<std::size_t>(((i % m) + m) % m), c));
      };
      auto curvature = [&](long i) { return std::labs(x(i + 1) - 2 * x(i) + x(i - 1)); };
      auto step = [&](long i) { return std::labs(x(i + 1) - x(i)); };
      // The music just before the seam: the first frame after it has only
      // just begun whatever starts there, so the wrap must continue this.
      long local_curve = 0, local_step = 0;
      for (long i = 2; i < 256; ++i) {
        local_curve = std::max(local_curve, curvature(-i));
        local_step = std::max(local_step, step(-i));
      }
      const long seam_step = step(-1);
      const long seam_curve = curvature(-1);
      EXPECT_LE(seam_step, local_step + local_step / 4 + 8);
      EXPECT_LE(seam_curve, local_curve + local_curve / 4 + 8);
    }
  }
}

}  // namespace
