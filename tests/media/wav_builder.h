// Builds WAV files byte by byte for the sound tests, well-formed or not.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace wavtest {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

// A chunk with its real size (and the pad byte of an odd size) unless
// `claimedSize` says otherwise.
inline Bytes Chunk(const char* id, const Bytes& body, std::int64_t claimedSize = -1) {
  Bytes b;
  PutId(b, id);
  Put32(b, claimedSize < 0 ? std::uint32_t(body.size()) : std::uint32_t(claimedSize));
  b.insert(b.end(), body.begin(), body.end());
  if (claimedSize < 0 && body.size() % 2 == 1) b.push_back(0);
  return b;
}

// The 16 PCM format bytes.
inline Bytes FmtFields(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                       std::uint16_t bits) {
  Bytes b;
  const std::uint16_t align = std::uint16_t(channels * bits / 8);
  Put16(b, tag);
  Put16(b, channels);
  Put32(b, rate);
  Put32(b, rate * align);
  Put16(b, align);
  Put16(b, bits);
  return b;
}

inline Bytes PcmFmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  return Chunk("fmt ", FmtFields(1, channels, rate, bits));
}

// WAVE_FORMAT_EXTENSIBLE with the given sub-format tag (1 = PCM, 3 = float).
inline Bytes ExtensibleFmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                           std::uint16_t subFormat) {
  Bytes b = FmtFields(0xFFFE, channels, rate, bits);
  Put16(b, 22);
  Put16(b, bits);                       // valid bits
  Put32(b, channels == 1 ? 0x4 : 0x3);  // channel mask
  Put16(b, subFormat);
  const std::uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  b.insert(b.end(), rest, rest + 14);
  return Chunk("fmt ", b);
}

inline Bytes Riff(const std::vector<Bytes>& chunks, std::int64_t claimedSize = -1) {
  Bytes body;
  PutId(body, "WAVE");
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body, claimedSize);
}

inline Bytes Samples16(const std::vector<std::int16_t>& samples) {
  Bytes b;
  for (std::int16_t s : samples) Put16(b, std::uint16_t(s));
  return b;
}

// A fresh directory for one test program run.
inline std::filesystem::path TempDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() /
             ("poromeko_sound_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

inline std::string WriteFile(const std::string& name, const Bytes& bytes) {
  const auto path = TempDir() / name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path.string();
}

}  // namespace wavtest
