#include "media/sound_manager.h"

#include <bit>
#include <cstdio>
#include <vector>

#include "media/ima_adpcm.h"
#include "media/load_report.h"
#include "media/wave_file.h"

namespace media {

namespace {

constexpr char kTruncatedData[] = "data chunk runs past the end of the file; loaded what is there";

// The output frames `bytes` bytes of samples of this format convert to, at
// most (IMA ADPCM counted as if its last block were whole).
std::uint64_t HeldFrames(const WaveFormat& format, std::uint64_t bytes) {
  platform::PcmFormat pcm{format.channels, format.samplesPerSec, format.bitsPerSample,
                          format.blockAlign};
  if (format.formatTag == kWaveFormatImaAdpcm) {
    if (format.blockAlign == 0 || format.channels == 0) return 0;
    const std::uint64_t blocks = bytes / format.blockAlign + 1;
    const std::uint64_t frames = blocks * ImaSamplesPerBlock(format.blockAlign, format.channels);
    pcm.bitsPerSample = 16;
    pcm.blockAlign = static_cast<std::uint16_t>(format.channels * 2u);
    bytes = frames * pcm.blockAlign;
  }
  return platform::ConvertedFrames(pcm, bytes);
}

}  // namespace

std::unique_ptr<platform::SoundBuffer> LoadWaveBuffer(platform::SoundDevice& device,
                                                      const std::string& path, std::string* error) {
  auto silent = [&](std::string message) {
    *error = std::move(message);
    return device.CreateBufferFromOutput({});
  };
  WaveFile wave;
  if (!wave.Open(path)) return silent(wave.Error());
  const WaveFormat& format = *wave.Format();
  const bool adpcm = format.formatTag == kWaveFormatImaAdpcm;
  if (!format.IsPcm() && !adpcm) {
    char message[64];
    std::snprintf(message, sizeof message, "format 0x%04X is not PCM and cannot be played",
                  unsigned{format.formatTag});
    return silent(message);
  }

  platform::PcmFormat pcm{format.channels, format.samplesPerSec, format.bitsPerSample,
                          format.blockAlign};
  // Samples already in the output format are read straight into the
  // buffer's own memory (no second copy), or, when long, played from the file.
  const bool outputFormat =
      !adpcm && std::endian::native == std::endian::little &&
      pcm.channels == platform::kOutputChannels && pcm.bitsPerSample == 16 &&
      pcm.sampleRate == platform::kOutputRate && pcm.blockAlign == platform::kOutputBytesPerFrame &&
      wave.DataBytesLeft() / platform::kOutputBytesPerFrame <= platform::kMaxBufferFrames;
  if (outputFormat && wave.DataBytesLeft() >= kStreamSoundsFromBytes) {
    // Long music is played from its file rather than held.
    if (wave.DataTruncated()) *error = kTruncatedData;
    const std::uint64_t offset = wave.DataOffset();
    const std::uint32_t frames = wave.DataBytesLeft() / platform::kOutputBytesPerFrame;
    return device.CreateStreamedBuffer(platform::OpenFrameFile(wave.TakeFile(), offset), frames);
  }
  // What is held is refused before it is read when it would play longer
  // than a buffer may: a damaged header cannot make the game read a
  // file of hundreds of megabytes only to refuse it.
  if (!outputFormat && HeldFrames(format, wave.DataBytesLeft()) > platform::kMaxBufferFrames) {
    return silent("sound too long");
  }
  if (outputFormat) {
    std::vector<std::int16_t> samples(wave.DataBytesLeft() / 2);
    std::uint32_t got = 0;
    wave.Read(static_cast<std::uint32_t>(samples.size() * 2),
              reinterpret_cast<std::uint8_t*>(samples.data()), &got);
    samples.resize(got / 2);  // what came, if the file shrank under us
    if (wave.DataTruncated()) *error = kTruncatedData;
    return device.CreateBufferFromOutput(std::move(samples));  // drops a partial last frame
  }
  // The size is bounded by the file's real size (Open cuts it to that).
  std::vector<std::uint8_t> data(wave.DataBytesLeft());
  std::uint32_t got = 0;
  if (!wave.Read(static_cast<std::uint32_t>(data.size()), data.data(), &got)) {
    // The file shrank under us: play what came.
    data.resize(got);
  }
  const bool truncated = wave.DataTruncated();
  wave.Close();
  if (adpcm) {
    std::vector<std::uint8_t> decoded;
    std::string decodeError;
    if (!DecodeImaAdpcm(format.channels, format.blockAlign, data, &decoded, &decodeError)) {
      return silent(decodeError);
    }
    data.swap(decoded);
    pcm.bitsPerSample = 16;
    pcm.blockAlign = static_cast<std::uint16_t>(format.channels * 2u);
  }

  std::string convertError;
  auto buffer = device.CreateBuffer(pcm, data, &convertError);
  if (!buffer) return silent(convertError);
  if (truncated) *error = kTruncatedData;
  return buffer;
}

SoundManager::SoundManager(std::unique_ptr<platform::SoundDevice> device)
    : device_(device ? std::move(device) : platform::CreateSilentSoundDevice()),
      savedVolume_(device_->GetVolume()),
      savedPan_(device_->GetPan()) {}

SoundManager::~SoundManager() {
  device_->SetVolume(savedVolume_);
  device_->SetPan(savedPan_);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& entry : sounds_) entry.second.reset();
  sounds_.clear();
}

SoundHolder* SoundManager::LoadSound(const char* path) {
  if (SoundHolder* cached = FindSound(path)) return cached;

  auto holder = std::make_unique<SoundHolder>();
  holder->buffer = LoadWaveBuffer(*device_, path, &holder->error);
  if (!holder->error.empty()) ReportFailedLoad("sound", path, holder->error);

  std::lock_guard<std::mutex> lock(mutex_);
  // Another thread may have loaded the same path meanwhile; the first entry stays.
  auto [it, inserted] = sounds_.try_emplace(path, std::move(holder));
  return it->second.get();
}

SoundHolder* SoundManager::FindSound(const char* path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sounds_.find(path);
  return it == sounds_.end() ? nullptr : it->second.get();
}

std::size_t SoundManager::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sounds_.size();
}

platform::SoundBuffer* SoundManager::FindSoundBuffer(const char* path) const {
  SoundHolder* holder = FindSound(path);
  return holder ? holder->buffer.get() : nullptr;
}

void SoundManager::PlayRequests(SoundRequests& requests) {
  using Kind = SoundRequests::Kind;
  for (const SoundRequests::Request& request : requests.List()) {
    platform::SoundBuffer* buffer = FindSoundBuffer(request.path);
    if (!buffer) continue;
    switch (request.kind) {
      case Kind::Once: buffer->Play(0); break;
      case Kind::LoopingFromStart:
        buffer->SetCurrentPosition(0);
        buffer->Play(platform::kPlayLooping);
        break;
      case Kind::Looping: buffer->Play(platform::kPlayLooping); break;
      case Kind::Stop: buffer->Stop(); break;
    }
  }
  requests.Clear();
}

std::unique_ptr<SoundManager> InitSound(const SoundDeviceFactory& openDevice) {
  std::unique_ptr<platform::SoundDevice> device;
  if (openDevice) device = openDevice();
  return std::make_unique<SoundManager>(std::move(device));
}

}  // namespace media
