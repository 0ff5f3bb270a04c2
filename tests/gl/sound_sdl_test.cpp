// The SDL audio device on a machine that may have no sound card.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "platform/sound.h"

namespace platform {
namespace {

// Sets an environment variable (or removes it, for nullopt) for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Everything written on standard error (by us or by any library) while
// `body` runs.
std::string StandardErrorOf(const std::function<void()>& body) {
  char path[] = "/tmp/poromeko-stderr-XXXXXX";
  const int file = mkstemp(path);
  if (file < 0) return "(no temporary file)";
  std::fflush(stderr);
  const int saved = dup(2);
  dup2(file, 2);
  body();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  close(file);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  unlink(path);
  return text.str();
}

// Opens and closes the SDL device; whether it could be heard.
bool OpenAndClose(std::string* said) {
  bool audible = false;
  *said = StandardErrorOf([&] { audible = CreateSdlSoundDevice()->IsAudible(); });
  return audible;
}

bool IsTheOneLine(const std::string& said) {
  const std::string start = "sound: no audio device (";
  const std::string end = "); the game runs without sound\n";
  return said.size() > start.size() + end.size() && said.starts_with(start) &&
         said.ends_with(end) && said.find('\n') == said.size() - 1;
}

TEST(SdlSound, NoAudioDeviceIsOnePlainLine) {
  {
    // A device ALSA does not know (ALSA complains about it in lines of its
    // own, sound card or not): the game runs silent and says so once.
    ScopedEnv driver("SDL_AUDIODRIVER", "alsa");
    ScopedEnv device("AUDIODEV", "poromeko_no_such_device");
    std::string said;
    EXPECT_FALSE(OpenAndClose(&said));
    EXPECT_TRUE(IsTheOneLine(said)) << said;
  }
  {
    // SDL's own choice of driver and device: the one line when this
    // machine has no sound, nothing when it has.
    ScopedEnv driver("SDL_AUDIODRIVER", std::nullopt);
    ScopedEnv device("AUDIODEV", std::nullopt);
    std::string said;
    if (OpenAndClose(&said)) {
      EXPECT_EQ(said, "");
    } else {
      EXPECT_TRUE(IsTheOneLine(said)) << said;
    }
  }
}

}  // namespace
}  // namespace platform
