// Reader for RIFF WAVE files, chunk by chunk.
//
// Open finds the "RIFF"/"WAVE" header, reads the "fmt " chunk and positions
// the reader at the start of the samples of the "data" chunk, which may come
// after any other chunks. Read then hands out sample bytes. Every offset is
// checked against both the RIFF chunk and the real file size, so a damaged
// file fails with a message or yields fewer bytes; nothing is ever read past
// the end of the file or of a chunk.
//
// A data chunk that claims more bytes than the file holds is cut to what the
// file holds (DataTruncated() tells), so a truncated file still plays the
// part that is there.
//
// The file is opened through the platform's one read (platform::InputFile):
// a FIFO, a device or a file over kMaxSoundFileBytes is refused before a
// byte of it is read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/sound.h"

namespace media {

// The largest sound file read: half an hour of sound in the output format
// (the longest a buffer holds: 303 MiB), with room for other chunks.
inline constexpr std::uint64_t kMaxSoundFileBytes = std::uint64_t{320} << 20;
static_assert(kMaxSoundFileBytes > platform::kMaxBufferFrames * platform::kOutputBytesPerFrame);

inline constexpr std::uint16_t kWaveFormatPcm = 0x0001;
inline constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

// The format header of a WAVE file (the WAVEFORMATEX fields).
struct WaveFormat {
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSec = 0;
  std::uint32_t avgBytesPerSec = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  std::uint16_t extraSize = 0;  // 0 for PCM; else the size of `extra` below
  std::vector<std::uint8_t> extra;

  // PCM, or WAVE_FORMAT_EXTENSIBLE whose sub-format is PCM.
  bool IsPcm() const;
};

class WaveFile {
 public:
  WaveFile() = default;
  ~WaveFile() { Close(); }
  WaveFile(const WaveFile&) = delete;
  WaveFile& operator=(const WaveFile&) = delete;

  // False with Error() set when the file cannot be opened or is no WAVE file
  // with a readable "fmt " and a "data" chunk; the file is then closed.
  bool Open(const std::string& path);
  // Hands the open file over (to play its samples from it); the reader is
  // closed afterwards.
  platform::InputFile TakeFile();
  // Reads min(n, DataBytesLeft()) sample bytes into `dest` and reports the
  // count in `*bytesRead`. False when the file ends early (the bytes that
  // came are counted).
  bool Read(std::uint32_t n, std::uint8_t* dest, std::uint32_t* bytesRead);
  void Close();

  const std::optional<WaveFormat>& Format() const { return format_; }
  std::uint32_t DataBytesLeft() const { return dataLeft_; }
  // Where in the file the next sample byte Read would give lies.
  std::uint64_t DataOffset() const { return readOffset_; }
  // The data chunk's size as written in the file.
  std::uint32_t DataChunkSize() const { return dataChunkSize_; }
  bool DataTruncated() const { return dataTruncated_; }
  const std::string& Error() const { return error_; }

 private:
  struct Chunk {
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::uint64_t dataOffset = 0;  // first byte after the 8-byte header
  };
  bool Fail(std::string message);
  bool ReadAt(std::uint64_t offset, void* dest, std::size_t n);
  // Finds the sub-chunk `id` among the chunks from `from` up to `end`.
  bool FindChunk(std::uint32_t id, std::uint64_t from, std::uint64_t end, Chunk* chunk);

  platform::InputFile file_;
  std::uint64_t fileSize_ = 0;
  std::optional<WaveFormat> format_;
  Chunk riffChunk_;
  Chunk dataChunk_;
  std::uint32_t dataChunkSize_ = 0;
  std::uint32_t dataLeft_ = 0;
  std::uint64_t readOffset_ = 0;
  bool dataTruncated_ = false;
  std::string error_;
};

}  // namespace media
