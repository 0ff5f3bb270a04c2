#include "wav_writer.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>

namespace contentgen {
namespace {

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
  }
}

void PutTag(std::vector<std::uint8_t>& out, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

std::vector<std::uint8_t> EncodeWav16(std::span<const std::int16_t> interleaved,
                                      std::uint16_t channels, std::uint32_t sample_rate) {
  if (channels == 0) throw std::invalid_argument("WAV needs at least one channel");
  if (sample_rate == 0) throw std::invalid_argument("WAV needs a non-zero sample rate");
  if (interleaved.size() % channels != 0) {
    throw std::invalid_argument("sample count is not a whole number of frames");
  }
  constexpr std::uint64_t kHeaderBytes = 44;
  const std::uint64_t data_bytes = static_cast<std::uint64_t>(interleaved.size()) * 2;
  // The RIFF size field counts everything after itself: 36 header bytes + data.
  if (data_bytes + kHeaderBytes - 8 > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("sound too long for a RIFF file");
  }
  const std::uint32_t block_align = static_cast<std::uint32_t>(channels) * 2;
  const std::uint64_t bytes_per_second = static_cast<std::uint64_t>(sample_rate) * block_align;
  if (bytes_per_second > std::numeric_limits<std::uint32_t>::max()) {
    throw std::invalid_argument("sample rate too high for a WAV header");
  }

  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(kHeaderBytes + data_bytes));
  PutTag(out, "RIFF");
  PutU32(out, static_cast<std::uint32_t>(data_bytes + kHeaderBytes - 8));
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutU32(out, 16);
  PutU16(out, 1);  // PCM
  PutU16(out, channels);
  PutU32(out, sample_rate);
  PutU32(out, static_cast<std::uint32_t>(bytes_per_second));
  PutU16(out, static_cast<std::uint16_t>(block_align));
  PutU16(out, 16);
  PutTag(out, "data");
  PutU32(out, static_cast<std::uint32_t>(data_bytes));
  for (std::int16_t s : interleaved) PutU16(out, static_cast<std::uint16_t>(s));
  return out;
}

bool WriteWav16(const std::filesystem::path& path, std::span<const std::int16_t> interleaved,
                std::uint16_t channels, std::uint32_t sample_rate, std::string* error) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = EncodeWav16(interleaved, channels, sample_rate);
  } catch (const std::invalid_argument& e) {
    if (error) *error = path.string() + ": " + e.what();
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.string().c_str(), "wb"));
  if (!file) {
    if (error) *error = path.string() + ": cannot open for writing";
    return false;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    if (error) *error = path.string() + ": short write";
    return false;
  }
  if (std::fclose(file.release()) != 0) {
    if (error) *error = path.string() + ": error while closing";
    return false;
  }
  return true;
}

}  // namespace contentgen
