// PCM conversion to the output format, volume curves, the file reader of
// streamed buffers and the silent device.
#include "platform/sound.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

namespace platform {

namespace {

struct Frame {
  std::int32_t left;
  std::int32_t right;
};

std::int32_t DecodeSample(const std::uint8_t* p, std::uint16_t bits) {
  if (bits == 8) return (std::int32_t{p[0]} - 128) * 256;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

Frame DecodeFrame(const PcmFormat& format, const std::uint8_t* p) {
  std::int32_t left = DecodeSample(p, format.bitsPerSample);
  if (format.channels == 1) return {left, left};
  return {left, DecodeSample(p + format.bitsPerSample / 8, format.bitsPerSample)};
}

class FrameFile final : public FrameReader {
 public:
  FrameFile(InputFile file, std::uint64_t offset) : file_(std::move(file)), offset_(offset) {}

  std::size_t Read(std::uint64_t first, std::int16_t* out, std::size_t count) override {
    // The end of the file, or an error: the rest is silence.
    const std::size_t got =
        file_.ReadAt(offset_ + first * kOutputBytesPerFrame, out, count * kOutputBytesPerFrame);
    const std::size_t frames = got / kOutputBytesPerFrame;
    if constexpr (std::endian::native == std::endian::big) {
      for (std::size_t i = 0; i < frames * kOutputChannels; ++i) {
        const auto u = static_cast<std::uint16_t>(out[i]);
        out[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>((u >> 8) | (u << 8)));
      }
    }
    return frames;
  }

 private:
  InputFile file_;
  const std::uint64_t offset_;
};

}  // namespace

std::unique_ptr<FrameReader> OpenFrameFile(InputFile file, std::uint64_t offset) {
  if (!file.IsOpen()) return nullptr;
  // The file into the system's cache now, so that the mixing thread's reads
  // do not wait for the disk.
  file.WillNeed(offset);
  return std::make_unique<FrameFile>(std::move(file), offset);
}

std::uint64_t ConvertedFrames(const PcmFormat& format, std::uint64_t bytes) {
  const std::uint32_t frameBytes = format.channels * format.bitsPerSample / 8u;
  if (frameBytes == 0 || format.sampleRate == 0) return 0;
  const std::uint64_t rate = format.sampleRate;
  // Below 2^64 for any size a file can have: 2^40 frames times 44100.
  const std::uint64_t inFrames =
      std::min<std::uint64_t>(bytes / frameBytes, std::uint64_t{1} << 40);
  return (inFrames * kOutputRate + rate / 2) / rate;
}

bool ConvertPcmToOutput(const PcmFormat& format, std::span<const std::uint8_t> data,
                        std::vector<std::int16_t>* out, std::string* error) {
  auto fail = [error](std::string message) {
    if (error) *error = std::move(message);
    return false;
  };
  if (format.channels != 1 && format.channels != 2)
    return fail("unsupported channel count " + std::to_string(format.channels));
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
    return fail("unsupported sample size of " + std::to_string(format.bitsPerSample) + " bits");
  if (format.sampleRate < kMinSourceRate || format.sampleRate > kMaxSourceRate)
    return fail("unsupported sample rate " + std::to_string(format.sampleRate) + " Hz");
  const std::uint32_t frameBytes = format.channels * format.bitsPerSample / 8u;
  if (format.blockAlign != frameBytes)
    return fail("block alignment " + std::to_string(format.blockAlign) + " does not match " +
                std::to_string(frameBytes) + " bytes a frame");

  const std::uint64_t inFrames = data.size() / frameBytes;
  const std::uint64_t rate = format.sampleRate;
  const std::uint64_t outFrames = ConvertedFrames(format, data.size());
  if (outFrames > kMaxBufferFrames) return fail("sound too long");

  out->assign(outFrames * kOutputChannels, 0);
  std::int16_t* dst = out->data();
  if (rate == kOutputRate) {
    for (std::uint64_t i = 0; i < outFrames; ++i) {
      Frame f = DecodeFrame(format, data.data() + i * frameBytes);
      dst[2 * i] = static_cast<std::int16_t>(f.left);
      dst[2 * i + 1] = static_cast<std::int16_t>(f.right);
    }
    return true;
  }

  // Linear interpolation between neighbouring source frames; the source
  // position is kept in 32.32 fixed point.
  const std::uint64_t step = (rate << 32) / kOutputRate;
  std::uint64_t pos = 0;
  for (std::uint64_t i = 0; i < outFrames; ++i, pos += step) {
    const std::uint64_t index = std::min<std::uint64_t>(pos >> 32, inFrames - 1);
    const std::uint64_t next = std::min<std::uint64_t>(index + 1, inFrames - 1);
    const std::int64_t frac = static_cast<std::int64_t>((pos >> 16) & 0xFFFF);
    Frame a = DecodeFrame(format, data.data() + index * frameBytes);
    Frame b = DecodeFrame(format, data.data() + next * frameBytes);
    dst[2 * i] = static_cast<std::int16_t>(a.left + (((b.left - a.left) * frac) >> 16));
    dst[2 * i + 1] = static_cast<std::int16_t>(a.right + (((b.right - a.right) * frac) >> 16));
  }
  return true;
}

double VolumeToGain(std::int32_t hundredthsOfDb) {
  if (hundredthsOfDb >= 0) return 1.0;
  if (hundredthsOfDb <= kVolumeMin) return 0.0;
  return std::pow(10.0, hundredthsOfDb / 2000.0);
}

std::int32_t VolumeFromPercent(int percent) {
  if (percent <= 0) return kVolumeMin;
  if (percent >= 100) return kVolumeMax;
  const double hundredths = 4000.0 * std::log10(percent / 100.0);
  return std::max(kVolumeMin, static_cast<std::int32_t>(std::lround(hundredths)));
}

std::unique_ptr<SoundDevice> CreateSilentSoundDevice() { return std::make_unique<SoundDevice>(); }

}  // namespace platform
