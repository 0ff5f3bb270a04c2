// The application shell: start-up, the frame loop and tear-down, and what
// it shares with the background loader.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/graphics.h"
#include "platform/sound.h"
#include "platform/system.h"

namespace app {

inline constexpr const char* kWindowCaption = "ポロメコ ver1.00";
inline constexpr const char* kFullScreenQuestion = "フルスクリーンにしますか";
inline constexpr const char* kQuestionCaption = "確認";
inline constexpr const char* kErrorCaption = "ERROR";
inline constexpr const char* kNoWindowMessage = "Direct3D の作成に失敗しました。";
inline constexpr const char* kNoDeviceMessage =
    "DirectX9が初期化できません。\n未対応のパソコンと思われます。";
inline constexpr std::uint32_t kTickMs = 16;

struct Options {
  enum class Screen { Ask, Windowed, Fullscreen };
  Screen screen = Screen::Ask;
  bool headless = false;
  long frames = -1;  // quit after this many ticks; -1 runs until closed
  std::string screenshot;
};

// Parses the command line. Returns false (with a message for standard error
// in *error) for an unknown option or a missing or bad value.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);
const char* Usage();

// Paces the game at one tick per 16 ms of the clock. A tick updates only
// while the window is in the foreground, then draws unless the previous
// drawing tick took longer than 16 ms; after such an overrun exactly one
// draw is skipped. All arithmetic on clock readings is unsigned 32-bit, so
// the counter's wrap-around is harmless.
class FrameTicker {
 public:
  struct Hooks {
    std::function<std::uint32_t()> now;
    std::function<bool()> foreground;
    std::function<void()> update;
    std::function<void()> draw;
  };
  enum class Result { TooEarly, Drawn, DrawSkipped };

  explicit FrameTicker(Hooks hooks) : hooks_(std::move(hooks)) {}
  Result Tick();
  // Milliseconds until the next tick may run (0 when it is due now).
  std::uint32_t MsUntilDue() const;

  std::uint32_t lastTickTime = 0;
  std::uint32_t tickStartTime = 0;
  std::uint32_t lastFrameDuration = 0;

 private:
  Hooks hooks_;
};

// The background loader thread as the shell sees it. The loading scene
// starts it and records it here; the window-close step stops and waits for
// it; the loading scene's hand-over clears the record.
class LoaderThread {
 public:
  template <class F>
  explicit LoaderThread(F&& body) {
    running_ = true;
    thread_ = std::thread([this, body = std::forward<F>(body)]() mutable {
      body();
      running_ = false;
    });
  }
  ~LoaderThread() { Join(); }
  LoaderThread(const LoaderThread&) = delete;
  LoaderThread& operator=(const LoaderThread&) = delete;

  bool StillActive() const { return running_.load(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> running_{false};
  std::thread thread_;
};

// Shared with the loader: the stop flag under its mutex, and the record of
// the loader thread (main thread only).
bool StopRequested();
void RequestStop();
void ResetStopFlag();
void RecordLoaderThread(LoaderThread* thread);
LoaderThread* RecordedLoaderThread();

// The window-close step: stops a loader that is still working, waits for it
// and posts the quit message.
void OnWindowDestroy(platform::System& system);

// A fatal error raised off the main thread (a model that cannot be loaded):
// the message reaches the player in an error box and the run ends with a
// failure exit code once the loader has stopped.
void RaiseFatalError(const std::string& message);
bool FatalErrorPending();
std::string TakeFatalErrorMessage();
// Forgets a raised error (a new run in the same process: tests).
void ClearFatalError();

// The process-wide services, created after the device in this order: the
// sound manager, then the shared sprite. Released in reverse before the
// device goes.
void InitServices(platform::Device** device, platform::Surface** backBuffer,
                  const Options& options);
void ReleaseServices();
// How InitServices opens the sound device (a silent one when never set).
void SetSoundDeviceFactory(std::function<std::unique_ptr<platform::SoundDevice>()> factory);

// Sets the fixed device state every drawing scene starts from.
void SetInitialDeviceState(platform::Device& device);

// The whole program on the given system (SDL or headless): start-up, loop,
// tear-down. Returns the process exit code: 0 on the normal paths, 1 when
// start-up fails or a fatal error ended the run.
int Run(const Options& options, platform::System& system);

}  // namespace app
