// Feeds arbitrary bytes to the WAVE reader: it must refuse with a reason or
// hand out at most the sample bytes the file really holds, never read past
// the end of the file or of a chunk, never crash or leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_file.h"
#include "media/wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzfile::MemoryFile file;
  file.Set(data, size);

  media::WaveFile wave;
  if (!wave.Open(file.Path())) {
    if (wave.Error().empty() || wave.Format()) std::abort();  // a refusal says why
    return 0;
  }
  if (!wave.Format()) std::abort();
  const media::WaveFormat& format = *wave.Format();
  if (format.extra.size() != format.extraSize) std::abort();
  (void)format.IsPcm();

  // The data chunk is cut to the file, never stretched past it.
  const std::uint32_t left = wave.DataBytesLeft();
  if (left > wave.DataChunkSize() || left > size) std::abort();
  if (wave.DataTruncated() != (left < wave.DataChunkSize())) std::abort();

  // Every byte that was promised arrives, in reads of uneven sizes.
  std::vector<std::uint8_t> buffer(1021);
  std::uint32_t total = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!wave.Read(static_cast<std::uint32_t>(buffer.size()), buffer.data(), &got)) std::abort();
    if (got == 0) break;
    total += got;
  }
  if (total != left || wave.DataBytesLeft() != 0) std::abort();
  wave.Close();
  return 0;
}
