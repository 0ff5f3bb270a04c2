// The process-wide services the shell starts after the device and stops
// before it.
#include "app/shell.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"

namespace app {

namespace {
media::SoundDeviceFactory gOpenSound;
}  // namespace

void SetSoundDeviceFactory(std::function<std::unique_ptr<platform::SoundDevice>()> factory) {
  gOpenSound = std::move(factory);
}

void InitServices(platform::Device** device, platform::Surface** backBuffer, const Options&) {
  media::InitSound(gOpenSound);
  media::InitSprite(device, backBuffer);
}

void ReleaseServices() { media::ReleaseSound(); }

}  // namespace app
