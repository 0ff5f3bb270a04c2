// The SDL audio output: the default device at 44100 Hz, 16-bit, stereo,
// filled by the mixer from SDL's audio thread.
#include <SDL.h>

#include <cstdio>

#include "platform/sound.h"

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace platform {

namespace {

#if defined(__linux__)
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif

// ALSA writes lines of its own to standard error whenever a device fails to
// open: a machine without a sound card gets eight of them before SDL gives
// up. SDL loads ALSA by name at run time; the handler set here is on that
// same library, which stays loaded so that it keeps the handler. The reason
// a device failed still reaches the player, in SDL's error.
void QuietAlsa() {
#if defined(__linux__)
  static void* const alsa = [] {
    void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return lib;  // no ALSA: SDL will not use it either
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (void* symbol = dlsym(lib, "snd_lib_error_set_handler")) {
      reinterpret_cast<SetHandler>(symbol)(&IgnoreAlsaError);
    }
    return lib;
  }();
  (void)alsa;
#endif
}

void SaySilent(const char* why) {
  std::fprintf(stderr, "sound: no audio device (%s); the game runs without sound\n", why);
}

class SdlSoundDevice : public SoundDevice {
 public:
  // Opens the device; on failure the object stays silent (IsAudible false).
  SdlSoundDevice() {
    QuietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      SaySilent(SDL_GetError());
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
      SaySilent(SDL_GetError());
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
