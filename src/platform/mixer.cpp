// The mixer behind every sound device.
//
// Two locks: `state` guards the play state of every buffer and the list of
// playing voices and is held only for a few field copies; `mix` is held for
// the whole of a Mix call so that a buffer cannot be destroyed while its
// samples are being read (destruction takes both, in the order mix, state).
// A Mix works in chunks: copy the playing voices under `state`, add their
// samples without any lock, then write the new positions back under `state`
// for every voice that nobody stopped, rewound or restarted meanwhile.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>

#include "platform/sound.h"

namespace platform {

namespace {
constexpr std::size_t kChunkFrames = 256;

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  return std::min(std::max(v, lo), hi);
}
}  // namespace

struct MixerCore {
  struct Voice {
    SoundBuffer* buffer;
    const std::int16_t* samples;
    std::uint32_t frames;
    std::uint32_t position;
    std::uint32_t generation;
    bool looping;
    bool ended;
  };

  std::mutex state;
  std::mutex mix;
  std::array<SoundBuffer*, kMaxVoices> playing{};
  std::size_t playingCount = 0;
  std::atomic<std::int32_t> volume{0};
  std::atomic<std::int32_t> pan{0};
  // Used only under `mix`.
  std::array<Voice, kMaxVoices> voices{};
  std::array<std::int32_t, kChunkFrames * kOutputChannels> sum{};

  // Both under `state`.
  bool AddPlaying(SoundBuffer* buffer) {
    if (playingCount == playing.size()) return false;
    buffer->voiceSlot_ = playingCount;
    playing[playingCount++] = buffer;
    return true;
  }
  void RemovePlaying(SoundBuffer* buffer) {
    std::size_t slot = buffer->voiceSlot_;
    if (slot >= playingCount || playing[slot] != buffer) return;
    --playingCount;
    playing[slot] = playing[playingCount];
    playing[slot]->voiceSlot_ = slot;
    playing[playingCount] = nullptr;
  }

  void MixChunk(std::int16_t* out, std::size_t frames);
};

void MixerCore::MixChunk(std::int16_t* out, std::size_t frames) {
  std::size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(state);
    for (std::size_t i = 0; i < playingCount; ++i) {
      SoundBuffer* b = playing[i];
      const std::int16_t* samples = b->stream_ ? nullptr : b->samples_.data();
      voices[count++] =
          Voice{b, samples, b->frames_, b->position_, b->generation_, b->looping_, false};
    }
  }

  std::fill_n(sum.begin(), frames * kOutputChannels, 0);
  for (std::size_t v = 0; v < count; ++v) {
    Voice& voice = voices[v];
    std::uint32_t p = voice.position;
    std::size_t done = 0;
    while (done < frames) {
      if (p >= voice.frames) {
        if (!voice.looping || voice.frames == 0) {
          voice.ended = true;
          break;
        }
        p = 0;
      }
      std::size_t k = std::min<std::size_t>(frames - done, voice.frames - p);
      const std::int16_t* src = voice.samples ? voice.samples + std::size_t{p} * kOutputChannels
                                              : voice.buffer->StreamedFrames(p, &k);
      std::int32_t* dst = sum.data() + done * kOutputChannels;
      for (std::size_t i = 0; i < k * kOutputChannels; ++i) dst[i] += src[i];
      p += static_cast<std::uint32_t>(k);
      done += k;
    }
    if (p >= voice.frames) {
      if (voice.looping)
        p = 0;
      else
        voice.ended = true;
    }
    voice.position = p;
  }

  // Master volume and pan as 16.16 fixed-point gains; full volume at the
  // centre is exactly 1.0, so the mix is then the plain saturated sum.
  const std::int32_t vol = volume.load(std::memory_order_relaxed);
  const std::int32_t pn = pan.load(std::memory_order_relaxed);
  const double master = VolumeToGain(vol);
  const double left = master * (pn > 0 ? VolumeToGain(-pn) : 1.0);
  const double right = master * (pn < 0 ? VolumeToGain(pn) : 1.0);
  const std::int64_t gain[2] = {std::llround(left * 65536.0), std::llround(right * 65536.0)};
  for (std::size_t i = 0; i < frames * kOutputChannels; ++i) {
    std::int64_t s = (std::int64_t{sum[i]} * gain[i & 1]) >> 16;
    s = std::clamp<std::int64_t>(s, std::numeric_limits<std::int16_t>::min(),
                                 std::numeric_limits<std::int16_t>::max());
    out[i] = static_cast<std::int16_t>(s);
  }

  std::lock_guard<std::mutex> lock(state);
  for (std::size_t v = 0; v < count; ++v) {
    const Voice& voice = voices[v];
    SoundBuffer* b = voice.buffer;
    if (b->generation_ != voice.generation || !b->playing_) continue;
    if (!voice.ended) {
      b->position_ = voice.position;
    } else if (b->looping_) {
      // Switched to looping while this chunk was mixed: go round.
      b->position_ = 0;
    } else {
      b->playing_ = false;
      b->position_ = 0;
      RemovePlaying(b);
    }
  }
}

// --- SoundBuffer -------------------------------------------------------------

SoundBuffer::SoundBuffer(std::shared_ptr<MixerCore> core, std::vector<std::int16_t> samples)
    : core_(std::move(core)),
      samples_(std::move(samples)),
      frames_(static_cast<std::uint32_t>(samples_.size() / kOutputChannels)) {}

SoundBuffer::SoundBuffer(std::shared_ptr<MixerCore> core, std::unique_ptr<FrameReader> stream,
                         std::uint32_t frames)
    : core_(std::move(core)),
      frames_(frames),
      stream_(std::move(stream)),
      window_(std::size_t{kStreamWindowFrames} * kOutputChannels) {}

const std::int16_t* SoundBuffer::StreamedFrames(std::uint32_t position, std::size_t* count) {
  if (position < windowFirst_ || position - windowFirst_ >= windowFrames_) {
    const auto want = std::min<std::uint32_t>(kStreamWindowFrames, frames_ - position);
    const std::size_t got =
        std::min<std::size_t>(stream_->Read(position, window_.data(), want), want);
    // What could not be read plays as silence, once per window: a failing
    // source is not asked again for every chunk.
    std::fill(window_.begin() + static_cast<std::ptrdiff_t>(got * kOutputChannels),
              window_.begin() + static_cast<std::ptrdiff_t>(std::size_t{want} * kOutputChannels),
              std::int16_t{0});
    windowFirst_ = position;
    windowFrames_ = want;
  }
  const std::uint32_t offset = position - windowFirst_;
  *count = std::min<std::size_t>(*count, windowFrames_ - offset);
  return window_.data() + std::size_t{offset} * kOutputChannels;
}

SoundBuffer::~SoundBuffer() {
  std::lock_guard<std::mutex> mixLock(core_->mix);
  std::lock_guard<std::mutex> lock(core_->state);
  if (playing_) core_->RemovePlaying(this);
}

bool SoundBuffer::Play(std::uint32_t flags) {
  std::lock_guard<std::mutex> lock(core_->state);
  const bool loop = (flags & kPlayLooping) != 0;
  if (playing_) {
    looping_ = loop;
    return true;
  }
  if (frames_ == 0) {
    // Nothing to play: it is over as soon as it starts.
    position_ = 0;
    return true;
  }
  if (!core_->AddPlaying(this)) return false;
  if (position_ >= frames_) position_ = 0;
  playing_ = true;
  looping_ = loop;
  ++generation_;
  return true;
}

void SoundBuffer::Stop() {
  std::lock_guard<std::mutex> lock(core_->state);
  if (!playing_) return;
  playing_ = false;
  ++generation_;
  core_->RemovePlaying(this);
}

bool SoundBuffer::SetCurrentPosition(std::uint32_t bytes) {
  if (bytes != 0 && bytes >= Size()) return false;
  std::lock_guard<std::mutex> lock(core_->state);
  position_ = bytes / kOutputBytesPerFrame;
  ++generation_;
  return true;
}

std::uint32_t SoundBuffer::GetCurrentPosition() const {
  std::lock_guard<std::mutex> lock(core_->state);
  return position_ * kOutputBytesPerFrame;
}

std::uint32_t SoundBuffer::GetStatus() const {
  std::lock_guard<std::mutex> lock(core_->state);
  if (!playing_) return 0;
  return kStatusPlaying | (looping_ ? kStatusLooping : 0);
}

std::uint32_t SoundBuffer::Size() const { return frames_ * kOutputBytesPerFrame; }

// --- SoundDevice -------------------------------------------------------------

SoundDevice::SoundDevice() : core_(std::make_shared<MixerCore>()) {}
SoundDevice::~SoundDevice() = default;

std::unique_ptr<SoundBuffer> SoundDevice::CreateBuffer(const PcmFormat& format,
                                                       std::span<const std::uint8_t> data,
                                                       std::string* error) {
  std::vector<std::int16_t> samples;
  if (!ConvertPcmToOutput(format, data, &samples, error)) return nullptr;
  return CreateBufferFromOutput(std::move(samples));
}

std::unique_ptr<SoundBuffer> SoundDevice::CreateBufferFromOutput(
    std::vector<std::int16_t> samples) {
  if (samples.size() % kOutputChannels != 0) samples.pop_back();
  if (samples.size() / kOutputChannels > kMaxBufferFrames)
    samples.resize(kMaxBufferFrames * kOutputChannels);
  return std::unique_ptr<SoundBuffer>(new SoundBuffer(core_, std::move(samples)));
}

std::unique_ptr<SoundBuffer> SoundDevice::CreateStreamedBuffer(std::unique_ptr<FrameReader> reader,
                                                               std::uint64_t frames) {
  if (!reader) return CreateBufferFromOutput({});
  const auto kept = static_cast<std::uint32_t>(std::min(frames, kMaxBufferFrames));
  return std::unique_ptr<SoundBuffer>(new SoundBuffer(core_, std::move(reader), kept));
}

std::int32_t SoundDevice::GetVolume() const { return core_->volume.load(); }
void SoundDevice::SetVolume(std::int32_t hundredthsOfDb) {
  core_->volume.store(Clamp(hundredthsOfDb, kVolumeMin, kVolumeMax));
}
std::int32_t SoundDevice::GetPan() const { return core_->pan.load(); }
void SoundDevice::SetPan(std::int32_t pan) { core_->pan.store(Clamp(pan, kPanLeft, kPanRight)); }

void SoundDevice::Mix(std::int16_t* out, std::size_t frames) {
  std::lock_guard<std::mutex> lock(core_->mix);
  while (frames > 0) {
    std::size_t n = std::min(frames, kChunkFrames);
    core_->MixChunk(out, n);
    out += n * kOutputChannels;
    frames -= n;
  }
}

std::size_t SoundDevice::PlayingCount() const {
  std::lock_guard<std::mutex> lock(core_->state);
  return core_->playingCount;
}

}  // namespace platform
