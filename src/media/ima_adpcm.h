// IMA ADPCM in WAVE files (format 0x0011): four bits a sample, a quarter of
// 16-bit PCM. The browser build ships its two long pieces of music this way
// to keep the download small; the game decodes them to 16-bit PCM when it
// loads them, so what plays is the same sound at a slight loss.
//
// A block holds, per channel, a 4-byte header (the first sample as int16
// and the step index) and then the rest of the block's samples, two to a
// byte, low nibble first; with two channels the channels take turns every
// four bytes (eight samples). The last block of a file may be shorter: it
// decodes to its header sample and every whole group of eight samples.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace media {

inline constexpr std::uint16_t kWaveFormatImaAdpcm = 0x0011;

// Samples in a block of `blockAlign` bytes with `channels` channels.
std::uint32_t ImaSamplesPerBlock(std::uint32_t blockAlign, std::uint32_t channels);

// Decodes whole IMA ADPCM data (1 or 2 channels) to interleaved 16-bit PCM,
// little-endian. False with `*error` for a format it cannot decode; a short
// last block decodes as far as it goes.
bool DecodeImaAdpcm(std::uint16_t channels, std::uint16_t blockAlign,
                    std::span<const std::uint8_t> data, std::vector<std::uint8_t>* pcm16,
                    std::string* error);

// Encodes interleaved int16 samples (`frames` frames of 1 or 2 channels)
// into blocks of `blockAlign` bytes; the last block stops after the group of
// eight samples holding the last frame.
std::vector<std::uint8_t> EncodeImaAdpcm(std::span<const std::int16_t> samples,
                                         std::uint16_t channels, std::uint16_t blockAlign);

}  // namespace media
