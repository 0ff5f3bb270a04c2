#include "media/ima_adpcm.h"

#include <algorithm>
#include <array>

namespace media {

namespace {

constexpr std::array<int, 16> kIndexStep = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
constexpr std::array<int, 89> kStepSize = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

struct Channel {
  int predictor = 0;
  int index = 0;

  int Decode(unsigned nibble) {
    const int step = kStepSize[static_cast<std::size_t>(index)];
    int diff = step >> 3;
    if (nibble & 1u) diff += step >> 2;
    if (nibble & 2u) diff += step >> 1;
    if (nibble & 4u) diff += step;
    predictor = std::clamp(nibble & 8u ? predictor - diff : predictor + diff, -32768, 32767);
    index = std::clamp(index + kIndexStep[nibble & 15u], 0, 88);
    return predictor;
  }

  unsigned Encode(int sample) {
    int delta = sample - predictor;
    unsigned nibble = 0;
    if (delta < 0) {
      nibble = 8;
      delta = -delta;
    }
    int step = kStepSize[static_cast<std::size_t>(index)];
    for (unsigned bit = 4; bit != 0; bit >>= 1, step >>= 1) {
      if (delta >= step) {
        nibble |= bit;
        delta -= step;
      }
    }
    Decode(nibble);  // the decoder's state, so both sides stay in step
    return nibble;
  }
};

void PutLe16(std::vector<std::uint8_t>* out, int v) {
  out->push_back(static_cast<std::uint8_t>(v & 0xFF));
  out->push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

}  // namespace

std::uint32_t ImaSamplesPerBlock(std::uint32_t blockAlign, std::uint32_t channels) {
  if (channels == 0 || blockAlign < 4 * channels) return 0;
  return (blockAlign - 4 * channels) * 2 / channels + 1;
}

bool DecodeImaAdpcm(std::uint16_t channels, std::uint16_t blockAlign,
                    std::span<const std::uint8_t> data, std::vector<std::uint8_t>* pcm16,
                    std::string* error) {
  pcm16->clear();
  if (channels != 1 && channels != 2) {
    *error = "IMA ADPCM with " + std::to_string(channels) + " channels";
    return false;
  }
  const std::size_t header = 4u * channels;
  const std::size_t group = 4u * channels;  // eight samples of every channel
  if (blockAlign <= header || (blockAlign - header) % group != 0) {
    *error = "IMA ADPCM blocks of " + std::to_string(blockAlign) + " bytes";
    return false;
  }
  pcm16->reserve(data.size() * 4);
  std::array<std::int16_t, 16> groupSamples{};
  for (std::size_t at = 0; at + header <= data.size(); at += blockAlign) {
    const std::size_t end = std::min<std::size_t>(at + blockAlign, data.size());
    std::array<Channel, 2> state;
    for (std::size_t c = 0; c < channels; ++c) {
      const std::uint8_t* h = data.data() + at + 4 * c;
      state[c].predictor = static_cast<std::int16_t>(h[0] | h[1] << 8);
      state[c].index = std::min<int>(h[2], 88);
      PutLe16(pcm16, state[c].predictor);
    }
    for (std::size_t g = at + header; g + group <= end; g += group) {
      for (std::size_t c = 0; c < channels; ++c) {
        for (std::size_t b = 0; b < 4; ++b) {
          const std::uint8_t byte = data[g + 4 * c + b];
          groupSamples[c * 8 + 2 * b] = static_cast<std::int16_t>(state[c].Decode(byte & 15u));
          groupSamples[c * 8 + 2 * b + 1] = static_cast<std::int16_t>(state[c].Decode(byte >> 4));
        }
      }
      for (std::size_t i = 0; i < 8; ++i) {
        for (std::size_t c = 0; c < channels; ++c) PutLe16(pcm16, groupSamples[c * 8 + i]);
      }
    }
  }
  return true;
}

std::vector<std::uint8_t> EncodeImaAdpcm(std::span<const std::int16_t> samples,
                                         std::uint16_t channels, std::uint16_t blockAlign) {
  std::vector<std::uint8_t> out;
  const std::size_t frames = channels ? samples.size() / channels : 0;
  const std::size_t perBlock = ImaSamplesPerBlock(blockAlign, channels);
  if (perBlock == 0 || (channels != 1 && channels != 2)) return out;
  auto sample = [&](std::size_t frame, std::size_t c) -> int {
    return frame < frames ? samples[frame * channels + c] : 0;
  };
  std::array<Channel, 2> state;
  for (std::size_t first = 0; first < frames; first += perBlock) {
    for (std::size_t c = 0; c < channels; ++c) {
      state[c].predictor = sample(first, c);
      PutLe16(&out, state[c].predictor);
      out.push_back(static_cast<std::uint8_t>(state[c].index));
      out.push_back(0);
    }
    const std::size_t last = std::min(first + perBlock, frames);  // one past
    for (std::size_t g = first + 1; g < last; g += 8) {
      for (std::size_t c = 0; c < channels; ++c) {
        for (std::size_t b = 0; b < 4; ++b) {
          const unsigned lo = state[c].Encode(sample(g + 2 * b, c));
          const unsigned hi = state[c].Encode(sample(g + 2 * b + 1, c));
          out.push_back(static_cast<std::uint8_t>(lo | hi << 4));
        }
      }
    }
  }
  return out;
}

}  // namespace media
