// The SDL audio output: the default device at 44100 Hz, 16-bit, stereo,
// filled by the mixer from SDL's audio thread.
#include <SDL.h>

#include <cstdio>

#include "platform/sound.h"

namespace platform {

namespace {

class SdlSoundDevice : public SoundDevice {
 public:
  // Opens the device; on failure the object stays silent (IsAudible false).
  SdlSoundDevice() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      std::fprintf(stderr, "sound: no audio (%s); the game runs silent\n", SDL_GetError());
      return;
    }
    subsystem_ = true;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(kOutputRate);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(kOutputChannels);
    want.samples = 1024;
    want.callback = &SdlSoundDevice::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts if the hardware wants something else.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      std::fprintf(stderr, "sound: cannot open the audio device (%s); the game runs silent\n",
                   SDL_GetError());
      return;
    }
    SDL_PauseAudioDevice(device_, 0);
  }

  ~SdlSoundDevice() override {
    // Closing waits for a running callback, so the mixer is idle afterwards.
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool IsAudible() const override { return device_ != 0; }

 private:
  static void Callback(void* userdata, Uint8* stream, int len) {
    auto* self = static_cast<SdlSoundDevice*>(userdata);
    const auto frames = static_cast<std::size_t>(len) / kOutputBytesPerFrame;
    // The stream is aligned for its sample format (S16).
    self->Mix(reinterpret_cast<std::int16_t*>(static_cast<void*>(stream)), frames);
  }

  bool subsystem_ = false;
  SDL_AudioDeviceID device_ = 0;
};

}  // namespace

std::unique_ptr<SoundDevice> CreateSdlSoundDevice() {
  auto device = std::make_unique<SdlSoundDevice>();
  if (!device->IsAudible()) {
    device.reset();
    return CreateSilentSoundDevice();
  }
  return device;
}

}  // namespace platform
