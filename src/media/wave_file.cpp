#include "media/wave_file.h"

#include <algorithm>
#include <array>
#include <utility>

namespace media {

namespace {

constexpr std::uint32_t FourCc(const char (&s)[5]) {
  return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
         std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}
constexpr std::uint32_t kRiff = FourCc("RIFF");
constexpr std::uint32_t kWave = FourCc("WAVE");
constexpr std::uint32_t kFmt = FourCc("fmt ");
constexpr std::uint32_t kData = FourCc("data");

std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

// KSDATAFORMAT_SUBTYPE_PCM as it lies in a file.
constexpr std::array<std::uint8_t, 16> kPcmSubFormat = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::size_t kSubFormatOffset = 6;  // after valid bits (2) and channel mask (4)

}  // namespace

bool WaveFormat::IsPcm() const {
  if (formatTag == kWaveFormatPcm) return true;
  if (formatTag != kWaveFormatExtensible || extra.size() < kSubFormatOffset + 16) return false;
  return std::equal(kPcmSubFormat.begin(), kPcmSubFormat.end(), extra.begin() + kSubFormatOffset);
}

bool WaveFile::Fail(std::string message) {
  error_ = std::move(message);
  Close();
  return false;
}

bool WaveFile::ReadAt(std::uint64_t offset, void* dest, std::size_t n) {
  if (offset > fileSize_ || n > fileSize_ - offset) return false;
  return file_.ReadAt(offset, dest, n) == n;
}

bool WaveFile::FindChunk(std::uint32_t id, std::uint64_t from, std::uint64_t end, Chunk* chunk) {
  std::uint64_t offset = from;
  while (offset + 8 <= end) {
    std::uint8_t header[8];
    if (!ReadAt(offset, header, sizeof header)) return false;
    Chunk c{Le32(header), Le32(header + 4), offset + 8};
    if (c.id == id) {
      *chunk = c;
      return true;
    }
    // Chunks are padded to an even size. 64-bit sums cannot overflow here.
    offset = c.dataOffset + c.size + (c.size & 1u);
  }
  return false;
}

bool WaveFile::Open(const std::string& path) {
  Close();
  error_.clear();
  std::string error;
  if (!file_.Open(path, kMaxSoundFileBytes, nullptr, &error)) return Fail(error);
  fileSize_ = file_.Size();

  // RIFF header with form type WAVE.
  std::uint8_t header[12];
  if (!ReadAt(0, header, sizeof header)) return Fail("too short for a RIFF header");
  riffChunk_ = Chunk{Le32(header), Le32(header + 4), 8};
  if (riffChunk_.id != kRiff || Le32(header + 8) != kWave) return Fail("not a RIFF WAVE file");
  // Sub-chunks lie inside the RIFF chunk and, whatever it claims, the file.
  const std::uint64_t end = std::min(riffChunk_.dataOffset + riffChunk_.size, fileSize_);
  const std::uint64_t firstSubChunk = riffChunk_.dataOffset + 4;

  Chunk fmt;
  if (!FindChunk(kFmt, firstSubChunk, end, &fmt)) return Fail("no \"fmt \" chunk");
  if (fmt.size < 16) return Fail("\"fmt \" chunk shorter than 16 bytes");
  std::uint8_t f[16];
  if (!ReadAt(fmt.dataOffset, f, sizeof f)) return Fail("\"fmt \" chunk cut short");
  WaveFormat format;
  format.formatTag = Le16(f);
  format.channels = Le16(f + 2);
  format.samplesPerSec = Le32(f + 4);
  format.avgBytesPerSec = Le32(f + 8);
  format.blockAlign = Le16(f + 12);
  format.bitsPerSample = Le16(f + 14);
  // Formats other than PCM carry a 2-byte extra size and that many bytes,
  // all inside the chunk. A bare 16-byte chunk has no extra bytes.
  if (format.formatTag != kWaveFormatPcm && fmt.size >= 18) {
    std::uint8_t n[2];
    if (!ReadAt(fmt.dataOffset + 16, n, sizeof n)) return Fail("\"fmt \" chunk cut short");
    format.extraSize = Le16(n);
    if (18u + format.extraSize > fmt.size) return Fail("\"fmt \" extra bytes run past the chunk");
    format.extra.resize(format.extraSize);
    if (format.extraSize != 0 &&
        !ReadAt(fmt.dataOffset + 18, format.extra.data(), format.extraSize))
      return Fail("\"fmt \" chunk cut short");
  }
  format_ = std::move(format);

  // The data chunk is searched again from the first sub-chunk, so it may
  // come before or after the format and any other chunks.
  if (!FindChunk(kData, firstSubChunk, end, &dataChunk_)) return Fail("no \"data\" chunk");
  dataChunkSize_ = dataChunk_.size;
  const std::uint64_t available = fileSize_ - std::min(fileSize_, dataChunk_.dataOffset);
  dataLeft_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(dataChunk_.size, available));
  dataTruncated_ = dataLeft_ < dataChunk_.size;
  readOffset_ = dataChunk_.dataOffset;
  return true;
}

bool WaveFile::Read(std::uint32_t n, std::uint8_t* dest, std::uint32_t* bytesRead) {
  *bytesRead = 0;
  if (!file_.IsOpen()) return false;
  n = std::min(n, dataLeft_);
  dataLeft_ -= n;
  if (n == 0) return true;
  const auto got = static_cast<std::uint32_t>(file_.ReadAt(readOffset_, dest, n));
  *bytesRead = got;
  readOffset_ += got;
  return got == n;
}

platform::InputFile WaveFile::TakeFile() {
  platform::InputFile file = std::move(file_);
  Close();
  return file;
}

void WaveFile::Close() {
  file_.Close();
  format_.reset();
}

}  // namespace media
