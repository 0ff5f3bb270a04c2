// Sound output: a small software mixer with buffers that behave like the
// game's sound buffers always have.
//
// Contract, for every back end:
//  - The output format is 44100 Hz, 16-bit signed, stereo (4 bytes a frame).
//  - SoundDevice::CreateBuffer converts PCM (8-bit unsigned or 16-bit signed,
//    mono or stereo, any rate from 1000 to 384000 Hz) to the output format
//    once, at load time; the samples of a buffer never change afterwards.
//    Rates other than 44100 Hz are resampled linearly (ConvertPcmToOutput);
//    that one conversion is used on every back end.
//  - Buffers are owned by whoever created them (std::unique_ptr). A buffer
//    may outlive its device: it keeps the mixer alive, nothing is heard any
//    more, and its play state still works.
//  - Play(flags) plays from the present position: once (flags 0) or looping
//    (kPlayLooping). A one-shot that plays to its end stops and its position
//    goes back to 0, so the next Play starts from the beginning. Play on a
//    playing buffer goes on from where it is (no second copy) and its flags
//    replace the old ones. Stop keeps the position. SetCurrentPosition jumps
//    at once when playing and otherwise sets where the next Play starts.
//    Positions are byte offsets in the output format (4 bytes a frame).
//  - The master volume and pan act on the mix, in hundredths of a decibel:
//    volume 0 is full, -10000 silent; pan -10000 (left only) .. 10000 (right
//    only), 0 centre. A fresh device is at volume 0, pan 0.
//  - Mix(out, frames) sums the playing buffers (with the master volume and
//    pan), saturates to int16 and advances their positions. Positions and
//    statuses change only through Mix: they say what has been handed to the
//    output.
//  - Every call is thread-safe. Mix never allocates; it holds the play-state
//    lock only to copy and write back the positions of the playing buffers.
//    At most kMaxVoices buffers play at once; Play beyond that returns false.
//  - A streamed buffer (CreateStreamedBuffer) behaves as one held in memory,
//    but its frames are read as they are played, a window of
//    kStreamWindowFrames at a time, from the mixing thread. Frames that
//    cannot be read then (a file cut short since it was opened, a read
//    error) play as silence; the position and status go on as usual.
//
// The sdl_gl back end (sdl_gl/audio_sdl.cpp, CreateSdlSoundDevice) opens the
// default SDL audio device and calls Mix from SDL's audio callback. When no
// device can be opened it says so in one line on standard error and hands
// back a silent device instead; the sound library's own complaints (ALSA's,
// on a machine without a sound card) are kept off standard error.
//
// The silent device (CreateSilentSoundDevice; tests, --headless) has no
// output: nothing calls Mix but the tests, which pull samples from it
// directly. Every buffer call works as above; a buffer that is played stays
// playing until Mix or Stop says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"

namespace platform {

inline constexpr std::uint32_t kOutputRate = 44100;
inline constexpr std::uint32_t kOutputChannels = 2;
inline constexpr std::uint32_t kOutputBytesPerFrame = 4;

inline constexpr std::uint32_t kPlayLooping = 0x1;    // Play flag
inline constexpr std::uint32_t kStatusPlaying = 0x1;  // GetStatus bits
inline constexpr std::uint32_t kStatusLooping = 0x4;

inline constexpr std::int32_t kVolumeMax = 0;
inline constexpr std::int32_t kVolumeMin = -10000;
inline constexpr std::int32_t kPanLeft = -10000;
inline constexpr std::int32_t kPanCenter = 0;
inline constexpr std::int32_t kPanRight = 10000;

inline constexpr std::size_t kMaxVoices = 32;

inline constexpr std::uint32_t kMinSourceRate = 1000;
inline constexpr std::uint32_t kMaxSourceRate = 384000;
// Longest sound a buffer holds after conversion: half an hour.
inline constexpr std::uint64_t kMaxBufferFrames = std::uint64_t{kOutputRate} * 60 * 30;
// Frames a streamed buffer reads at once (about 0.19 s, 32 KiB).
inline constexpr std::uint32_t kStreamWindowFrames = 8192;

// Uncompressed PCM as it comes from a file.
struct PcmFormat {
  std::uint16_t channels = 0;       // 1 or 2
  std::uint32_t sampleRate = 0;     // frames a second
  std::uint16_t bitsPerSample = 0;  // 8 (unsigned) or 16 (signed, little-endian)
  std::uint16_t blockAlign = 0;     // bytes a frame: channels * bits / 8
};

// Converts interleaved PCM to the output format (interleaved stereo int16 at
// 44100 Hz). 8-bit samples are centred on 128 and scaled by 256, mono is
// copied to both sides, other rates are resampled linearly; n source frames
// become round(n * 44100 / rate) output frames. A trailing partial frame is
// dropped. Returns false with `*error` set for formats it cannot convert or a
// result longer than kMaxBufferFrames.
bool ConvertPcmToOutput(const PcmFormat& format, std::span<const std::uint8_t> data,
                        std::vector<std::int16_t>* out, std::string* error);

// The output frames ConvertPcmToOutput makes of `bytes` bytes of this format
// (0 for a format it cannot convert), so that a sound too long to hold can be
// refused before it is read.
std::uint64_t ConvertedFrames(const PcmFormat& format, std::uint64_t bytes);

// Gain of a volume in hundredths of a decibel, as a factor (1.0 at 0, 0.0 at
// kVolumeMin and below).
double VolumeToGain(std::int32_t hundredthsOfDb);

// The master volume for a player's setting of 0..100 (values outside are
// clamped): 0 is silent (kVolumeMin), 100 full (0 dB). In between the gain is
// the square of the setting, so every step is heard and 50 is about half as
// loud as 100 (-12 dB): 4000 * log10(percent / 100), rounded.
std::int32_t VolumeFromPercent(int percent);

// Where a streamed buffer's frames come from. Read is called from the mixing
// thread only, one call at a time.
class FrameReader {
 public:
  virtual ~FrameReader() = default;
  // Reads up to `count` frames in the output format, from frame `first` on,
  // into `out` (2 * count samples). Returns the number of whole frames read;
  // fewer than asked when the source ends early or cannot be read.
  virtual std::size_t Read(std::uint64_t first, std::int16_t* out, std::size_t count) = 0;
};

// Reads output-format frames (interleaved little-endian int16 stereo) stored
// in `file` from byte `offset` on; null when the file is not open. The file
// stays open while the reader lives, so a file replaced under a running game
// is still read as it was; one cut short reads short.
std::unique_ptr<FrameReader> OpenFrameFile(InputFile file, std::uint64_t offset);

struct MixerCore;

class SoundBuffer {
 public:
  SoundBuffer(const SoundBuffer&) = delete;
  SoundBuffer& operator=(const SoundBuffer&) = delete;
  ~SoundBuffer();

  // False only when kMaxVoices buffers are playing already.
  bool Play(std::uint32_t flags);
  void Stop();
  // False (and nothing changes) for a position beyond the end. Rounded down
  // to a whole frame.
  bool SetCurrentPosition(std::uint32_t bytes);
  std::uint32_t GetCurrentPosition() const;
  std::uint32_t GetStatus() const;
  // Size of the converted sound in bytes (output format).
  std::uint32_t Size() const;
  // The samples of a buffer held in memory; empty for a streamed one.
  const std::vector<std::int16_t>& Samples() const { return samples_; }
  bool Streamed() const { return stream_ != nullptr; }

 private:
  friend class SoundDevice;
  friend struct MixerCore;
  SoundBuffer(std::shared_ptr<MixerCore> core, std::vector<std::int16_t> samples);
  SoundBuffer(std::shared_ptr<MixerCore> core, std::unique_ptr<FrameReader> stream,
              std::uint32_t frames);
  // Mixing thread: the frames from `position` on that the window holds,
  // reading the window there first when it does not hold `position`. At
  // most `*count` frames; `*count` is cut to what the window holds.
  const std::int16_t* StreamedFrames(std::uint32_t position, std::size_t* count);

  std::shared_ptr<MixerCore> core_;
  const std::vector<std::int16_t> samples_;
  const std::uint32_t frames_;
  // A streamed buffer's source and window; used only under the core's mix lock.
  const std::unique_ptr<FrameReader> stream_;
  std::vector<std::int16_t> window_;
  std::uint32_t windowFirst_ = 0;
  std::uint32_t windowFrames_ = 0;
  // Play state, guarded by the core's state lock.
  bool playing_ = false;
  bool looping_ = false;
  std::uint32_t position_ = 0;    // frames
  std::uint32_t generation_ = 0;  // bumped by Stop, SetCurrentPosition, a fresh Play
  std::size_t voiceSlot_ = 0;     // index in the core's voice list while playing
};

class SoundDevice {
 public:
  SoundDevice();
  virtual ~SoundDevice();
  SoundDevice(const SoundDevice&) = delete;
  SoundDevice& operator=(const SoundDevice&) = delete;

  // A buffer holding `data` converted to the output format. On a format it
  // cannot convert it returns null with `*error` set.
  std::unique_ptr<SoundBuffer> CreateBuffer(const PcmFormat& format,
                                            std::span<const std::uint8_t> data, std::string* error);
  // A buffer of samples already in the output format (interleaved stereo).
  std::unique_ptr<SoundBuffer> CreateBufferFromOutput(std::vector<std::int16_t> samples);
  // A buffer of `frames` frames read from `reader` as they are played (a
  // long piece of music that need not sit in memory). At most
  // kMaxBufferFrames; a null reader gives an empty buffer.
  std::unique_ptr<SoundBuffer> CreateStreamedBuffer(std::unique_ptr<FrameReader> reader,
                                                    std::uint64_t frames);

  // The master output. Values are clamped to their ranges.
  std::int32_t GetVolume() const;
  void SetVolume(std::int32_t hundredthsOfDb);
  std::int32_t GetPan() const;
  void SetPan(std::int32_t pan);

  // Writes `frames` frames of the mix into `out` (2 * frames samples).
  void Mix(std::int16_t* out, std::size_t frames);
  // Number of buffers playing now.
  std::size_t PlayingCount() const;

  // True when the mix reaches a real output (sound can be heard).
  virtual bool IsAudible() const { return false; }

 private:
  std::shared_ptr<MixerCore> core_;
};

// The device without output (see the contract above).
std::unique_ptr<SoundDevice> CreateSilentSoundDevice();
// The SDL audio device (sdl_gl back end only); a silent device when no audio
// device can be opened.
std::unique_ptr<SoundDevice> CreateSdlSoundDevice();

}  // namespace platform
