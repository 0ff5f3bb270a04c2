// The game's sounds: one buffer per WAV file under Sound/, loaded once and
// kept for the whole run.
//
// The shell starts the sound system (InitSound) and owns it; LoadSound fills
// the cache on the loader thread. Update code never plays a sound itself: it
// adds a request to the SoundRequests it is handed, and the scene sequence
// plays the requests in order right after the update (PlayRequests), looking
// each sound up and driving its buffer (Play, SetCurrentPosition, Stop).
// Destroying the manager (ReleaseSound) puts the master volume and pan back
// as they were found and frees everything.
//
// The cache is keyed by the address of the path constant (content::sound::k*
// in media/paths.h), never by the text. The first load of a path fixes its
// entry. A holder always has a buffer: a missing or unplayable file gives an
// empty, silent buffer (and a message on standard error), so callers never
// need to check for a failed load.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sound.h"

namespace media {

// One cached sound.
struct SoundHolder {
  std::unique_ptr<platform::SoundBuffer> buffer;  // never null
  std::string error;  // what went wrong loading it; empty when the file loaded whole
};

// The sounds update code asks for, in the order it asked. Playing a sound
// once from where it stands (a finished one-shot stands at its start again),
// looping (from the start when asked, else from where it stands), or
// stopping it where it is.
class SoundRequests {
 public:
  enum class Kind { Once, Looping, LoopingFromStart, Stop };
  struct Request {
    Kind kind;
    const char* path;
    bool operator==(const Request&) const = default;
  };
  void PlaySoundOnce(const char* path) { list_.push_back({Kind::Once, path}); }
  void PlaySoundLooping(const char* path, bool fromStart) {
    list_.push_back({fromStart ? Kind::LoopingFromStart : Kind::Looping, path});
  }
  void StopSound(const char* path) { list_.push_back({Kind::Stop, path}); }
  const std::vector<Request>& List() const { return list_; }
  void Clear() { list_.clear(); }

 private:
  std::vector<Request> list_;
};

class SoundManager {
 public:
  // Takes the device and notes its master volume and pan.
  explicit SoundManager(std::unique_ptr<platform::SoundDevice> device);
  // Puts the master volume and pan back, then frees the buffers (in key
  // order) and the device. Playing buffers are not stopped first.
  ~SoundManager();
  SoundManager(const SoundManager&) = delete;
  SoundManager& operator=(const SoundManager&) = delete;

  // The cached holder for `path`, or a new one filled from the file. Safe to
  // call from any thread; the file is read outside the cache lock.
  SoundHolder* LoadSound(const char* path);
  SoundHolder* FindSound(const char* path) const;
  // The buffer of a cached sound, or null.
  platform::SoundBuffer* FindSoundBuffer(const char* path) const;
  std::size_t Count() const;

  // Plays the requests in order (a sound not cached is skipped) and empties
  // the list.
  void PlayRequests(SoundRequests& requests);

  platform::SoundDevice& Device() { return *device_; }
  std::int32_t SavedVolume() const { return savedVolume_; }
  std::int32_t SavedPan() const { return savedPan_; }

 private:
  // The device object; its master output stands for the primary buffer.
  std::unique_ptr<platform::SoundDevice> device_;
  std::int32_t savedVolume_ = 0;
  std::int32_t savedPan_ = 0;
  mutable std::mutex mutex_;  // guards sounds_
  std::map<const char*, std::unique_ptr<SoundHolder>, std::less<>> sounds_;
};

using SoundDeviceFactory = std::function<std::unique_ptr<platform::SoundDevice>()>;

// Starts the sound system: opens a device with `openDevice` (a silent device
// when that is empty or returns null).
std::unique_ptr<SoundManager> InitSound(const SoundDeviceFactory& openDevice = {});

// Sounds already in the output format from this size on are played from
// their file (streamed) instead of held in memory: the two pieces of music.
inline constexpr std::uint32_t kStreamSoundsFromBytes = 1u << 20;

// Reads a WAV file into a buffer of `device`; an empty buffer and `*error`
// when the file cannot be played.
std::unique_ptr<platform::SoundBuffer> LoadWaveBuffer(platform::SoundDevice& device,
                                                      const std::string& path, std::string* error);

}  // namespace media
