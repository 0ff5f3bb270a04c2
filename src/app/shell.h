// The application shell: the command line, start-up, the frame loop and
// tear-down. The shell reads the keys once per update and hands them, with
// the services it made, to the scene sequence.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "media/paths.h"
#include "platform/graphics.h"
#include "platform/sound.h"
#include "platform/system.h"

namespace scenes {
class LoaderHandshake;
}

namespace app {

inline constexpr const char* kWindowCaption = "ポロメコ ver1.00";
inline constexpr const char* kErrorCaption = "ERROR";
inline constexpr std::uint32_t kTickMs = 16;

// What the shell itself says, in one language: the start-up question where
// the system's own box asks it, and why the game could not start.
struct Messages {
  const char* question;         // full screen or a window?
  const char* questionCaption;  // the box's caption
  const char* noDisplay;        // no display to open a window on
  const char* noGraphics;       // no OpenGL 3.3 (nor a device on it)
  const char* noWindow;         // the window could not be made for another reason
  const char* modelFailed;      // an animated model the game cannot run without
};
inline constexpr Messages kJapaneseMessages{
    "フルスクリーンにしますか",
    "確認",
    "ウィンドウを開くディスプレイがありません。",
    "OpenGL 3.3 が使えません。\n未対応のパソコンと思われます。",
    "ウィンドウを作成できませんでした。",
    "Xファイルの読み込みに失敗しました",
};
inline constexpr Messages kEnglishMessages{
    "Play full screen?",
    "Question",
    "There is no display to open a window on.",
    "OpenGL 3.3 is not available.\nThis computer does not seem to support the game.",
    "The game window could not be created.",
    "An X file (model) could not be read",
};
constexpr const Messages& MessagesIn(content::Language language) {
  return language == content::Language::English ? kEnglishMessages : kJapaneseMessages;
}

// The language the game speaks, from the system's locale (the first of
// LC_ALL, LC_MESSAGES and LANG that is set): Japanese for "ja..." and where
// the locale names no language ("", "C", "POSIX", "C.UTF-8"), since
// Japanese is the game's own; English for any other language named.
content::Language LanguageOfLocale(std::string_view locale);

struct Options {
  enum class Screen { Ask, Windowed, Fullscreen };
  Screen screen = Screen::Ask;
  bool headless = false;
  long frames = -1;  // quit after this many ticks; -1 runs until closed
  long runs = -1;    // quit when this many runs have reached their result
  std::string screenshot;
  // --shot N:FILE: the picture of the Nth update of the run, drawn after it
  // (updates counted from the end of loading, as journals count them);
  // --shot loading:FILE (kLoadingShot) the loading screen's first picture.
  std::vector<std::pair<long, std::string>> shots;
  static constexpr long kLoadingShot = -1;
  // --unpaced: in the window, updates run back to back (as headless) and
  // only the pictures of --shot are drawn once loading is over, so the
  // pictures of a whole replayed run take seconds instead of its length.
  bool unpaced = false;
  bool hasSeed = false;  // --seed N; otherwise the clock's seconds
  std::uint32_t seed = 0;
  std::string record;        // --record FILE: write the run's journal
  std::string replay;        // --replay FILE: play a journal instead of the keyboard
  bool report = false;       // --report: one JSON line on standard output at exit
  bool verbose = false;      // --verbose: the creature's debug lines on standard output
  bool autoplay = false;     // --autoplay: the keys come from the autoplayer
  bool mischief = false;     // --autoplay=mischief: the autoplayer also pauses, swings, gives up
  long rssEvery = 0;         // --rss-every N: print the resident memory every N updates (0: never)
  std::string dataDir;       // --data DIR: the folder holding the game's files
  bool hasLanguage = false;  // --lang ja|en; otherwise the system's
  content::Language language = content::Language::Japanese;
  // --renderer d3d9|gl: what draws the window (by default Direct3D 9 on
  // Windows, OpenGL elsewhere).
  platform::Renderer renderer = platform::Renderer::Default;
  int volume = 100;        // --volume N: 0 (silent) to 100 (full)
  bool mute = false;       // --mute
  bool everyFace = false;  // --every-face: models also draw the faces turned away
  bool help = false;       // --help: print the usage and stop
  bool version = false;    // --version: print the version and stop
};

inline constexpr const char* kVersion = "1.00";

// Parses the command line. Returns false (with a message for standard error
// in *error) for an unknown option or a missing or bad value.
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error);
const char* Usage();

// Paces the game at one tick per 16 ms of the clock. A tick updates only
// while the window is in the foreground, then draws unless the previous
// drawing tick took longer than 16 ms; after such an overrun exactly one
// draw is skipped. All arithmetic on clock readings is unsigned 32-bit, so
// the counter's wrap-around is harmless.
//
// FromNow is the game's own pacing: the loop asks as often as it likes, and
// a tick counts its 16 ms from the moment it ran. CatchUp is for a loop the
// display drives (the browser's, called once per refresh, every 16.7 ms at
// 60 Hz): a call runs every update that is due on a fixed 16 ms timeline,
// then draws once, so the game still updates 62.5 times a second, however
// few pictures a slow machine manages (down to about four a second). After
// a stall of more than kMaxCatchUpTicks (the page hidden, say) the timeline
// starts again from now instead of racing to catch up.
class FrameTicker {
 public:
  struct Hooks {
    std::function<std::uint32_t()> now;
    std::function<bool()> foreground;
    std::function<void()> update;
    std::function<void()> draw;
  };
  enum class Result { TooEarly, Drawn, DrawSkipped };
  enum class Pacing { FromNow, CatchUp };
  static constexpr std::uint32_t kMaxCatchUpTicks = 15;

  explicit FrameTicker(Hooks hooks, Pacing pacing = Pacing::FromNow)
      : hooks_(std::move(hooks)), pacing_(pacing) {}
  Result Tick();
  // Milliseconds until the next tick may run (0 when it is due now).
  std::uint32_t MsUntilDue() const;

  std::uint32_t lastTickTime = 0;
  std::uint32_t tickStartTime = 0;
  std::uint32_t lastFrameDuration = 0;
  long ticksRun = 0;  // ticks run so far (updated or not, drawn or not)

 private:
  Hooks hooks_;
  Pacing pacing_;
};

// How the ticks of a whole run went, for --verbose: how many drew and how
// many skipped their draw, and the drawing ticks' durations (median, 95th
// percentile, longest), to the millisecond.
class FrameStats {
 public:
  void Add(FrameTicker::Result result, std::uint32_t drawMs);
  long Drawn() const { return drawn_; }
  long Skipped() const { return skipped_; }
  // The smallest duration at least `fraction` of the drawing ticks took no
  // longer than (0 with none drawn). Durations past the last bucket count
  // as the longest one seen.
  std::uint32_t Percentile(double fraction) const;
  std::uint32_t Longest() const { return longest_; }

 private:
  static constexpr std::size_t kBuckets = 1000;
  std::array<long, kBuckets> counts_{};
  long drawn_ = 0;
  long skipped_ = 0;
  std::uint32_t longest_ = 0;
};

// The window-close step: stops a loader that is still working, waits for it
// and posts the quit message.
void OnWindowDestroy(platform::System& system, scenes::LoaderHandshake& handshake);

// How the shell opens the sound device (a silent one when never set).
void SetSoundDeviceFactory(std::function<std::unique_ptr<platform::SoundDevice>()> factory);

// Sets the fixed device state every drawing scene starts from.
void SetInitialDeviceState(platform::Device& device);

// The whole program on the given system (SDL or headless): start-up, loop,
// tear-down. Returns the process exit code: 0 on the normal paths, 1 when
// start-up fails or a fatal error ended the run.
int Run(const Options& options, platform::System& system);

}  // namespace app
