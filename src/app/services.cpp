// How the shell opens the sound device: the real one in a window, a silent
// one headless (chosen by the entry point).
#include "app/shell.h"
#include "media/sound_manager.h"

namespace app {

media::SoundDeviceFactory& SoundDeviceFactory() {
  static media::SoundDeviceFactory factory;
  return factory;
}

void SetSoundDeviceFactory(std::function<std::unique_ptr<platform::SoundDevice>()> factory) {
  SoundDeviceFactory() = std::move(factory);
}

}  // namespace app
