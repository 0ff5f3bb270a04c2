// A small RIFF/WAVE writer for the content generator: 16-bit PCM only,
// the only kind of sound the game ships.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace contentgen {

// Builds the whole file image: a "RIFF" header of form "WAVE", a 16-byte
// "fmt " chunk (PCM tag 1) and a "data" chunk with the interleaved samples in
// little-endian order. Throws std::invalid_argument when channels or the
// sample rate are zero, when the sample count is not a whole number of
// frames, or when the data would not fit a RIFF size field.
std::vector<std::uint8_t> EncodeWav16(std::span<const std::int16_t> interleaved,
                                      std::uint16_t channels, std::uint32_t sample_rate);

// Encodes and writes the file, replacing any file already there. Returns
// false with a message in *error when the arguments are bad or the file
// cannot be written completely.
bool WriteWav16(const std::filesystem::path& path, std::span<const std::int16_t> interleaved,
                std::uint16_t channels, std::uint32_t sample_rate, std::string* error);

}  // namespace contentgen
