// poromeko-adpcm IN.wav OUT.wav: rewrites a 16-bit PCM WAVE file as IMA
// ADPCM (format 0x0011), a quarter of the size, for the browser build.
// Mono files get blocks of 1024 bytes, stereo ones 2048 (about 46 ms of
// sound at 44.1 kHz either way).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "media/ima_adpcm.h"
#include "media/wave_file.h"

namespace {

void Le16(std::string* out, std::uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Le32(std::string* out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: poromeko-adpcm IN.wav OUT.wav\n");
    return 2;
  }
  media::WaveFile wave;
  if (!wave.Open(argv[1])) {
    std::fprintf(stderr, "poromeko-adpcm: %s: %s\n", argv[1], wave.Error().c_str());
    return 1;
  }
  const media::WaveFormat format = *wave.Format();
  if (!format.IsPcm() || format.bitsPerSample != 16 ||
      (format.channels != 1 && format.channels != 2)) {
    std::fprintf(stderr, "poromeko-adpcm: %s is not 16-bit mono or stereo PCM\n", argv[1]);
    return 1;
  }
  std::vector<std::uint8_t> bytes(wave.DataBytesLeft());
  std::uint32_t got = 0;
  wave.Read(static_cast<std::uint32_t>(bytes.size()), bytes.data(), &got);
  bytes.resize(got);
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }

  const std::uint16_t channels = format.channels;
  const std::uint16_t blockAlign = channels == 1 ? 1024 : 2048;
  const std::uint32_t perBlock = media::ImaSamplesPerBlock(blockAlign, channels);
  const std::vector<std::uint8_t> data = media::EncodeImaAdpcm(samples, channels, blockAlign);
  const std::uint32_t frames = static_cast<std::uint32_t>(samples.size() / channels);

  std::string out = "RIFF";
  Le32(&out, 0);  // filled in below
  out += "WAVEfmt ";
  Le32(&out, 20);
  Le16(&out, media::kWaveFormatImaAdpcm);
  Le16(&out, channels);
  Le32(&out, format.samplesPerSec);
  Le32(&out, static_cast<std::uint32_t>(static_cast<std::uint64_t>(format.samplesPerSec) *
                                        blockAlign / perBlock));
  Le16(&out, blockAlign);
  Le16(&out, 4);
  Le16(&out, 2);
  Le16(&out, perBlock);
  out += "fact";
  Le32(&out, 4);
  Le32(&out, frames);
  out += "data";
  Le32(&out, static_cast<std::uint32_t>(data.size()));
  out.append(data.begin(), data.end());
  if (data.size() & 1u) out.push_back('\0');
  const std::uint32_t riffSize = static_cast<std::uint32_t>(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<char>((riffSize >> (8 * i)) & 0xFF);

  std::ofstream file(argv[2], std::ios::binary);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  if (!file.flush()) {
    std::fprintf(stderr, "poromeko-adpcm: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
