// The program entry: reads the options, picks the system (a real window or
// headless) and runs the game.
#include <cstdio>
#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/process.h"
#include "platform/sound.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  platform::ConnectOutput();
  const std::vector<std::string> arguments = platform::Arguments(argc, argv);
  std::vector<const char*> pointers;
  for (const std::string& a : arguments) pointers.push_back(a.c_str());
  app::Options options;
  std::string error;
  if (!app::ParseOptions(static_cast<int>(pointers.size()), pointers.data(), &options, &error)) {
    std::fprintf(stderr, "poromeko: %s\n%s", error.c_str(), app::Usage());
    return 2;
  }
  if (options.help) {
    std::printf("%s", app::Usage());
    return 0;
  }
  if (options.version) {
    std::printf("poromeko %s\n", app::kVersion);
    return 0;
  }
  std::unique_ptr<platform::System> system =
      options.headless ? platform::CreateHeadlessSystem() : platform::CreateSdlSystem();
  if (options.headless) {
    app::SetSoundDeviceFactory(&platform::CreateSilentSoundDevice);
  } else {
    app::SetSoundDeviceFactory(&platform::CreateSdlSoundDevice);
  }
  return app::Run(options, *system);
}
