// Start-up, the frame loop and tear-down.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "app/folders.h"
#include "app/journal.h"
#include "app/shell.h"
#include "creatures/enemy_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "platform/file.h"
#include "platform/image.h"
#include "platform/input.h"
#include "platform/keyboard.h"
#include "platform/random.h"
#include "scenes/autoplay.h"
#include "scenes/loading/load_parent.h"
#include "scenes/loading/loader_thread.h"
#include "scenes/report.h"
#include "scenes/sequence.h"
#include "world/world_objects.h"

namespace app {

media::SoundDeviceFactory& SoundDeviceFactory();

namespace {

bool ChooseFullScreen(const Options& options, platform::System& system) {
  switch (options.screen) {
    case Options::Screen::Windowed: return false;
    case Options::Screen::Fullscreen: return true;
    case Options::Screen::Ask: break;
  }
  if (options.headless) return false;
  return system.AskYesNo(kQuestionCaption, kFullScreenQuestion);
}

void WriteScreenshot(platform::Device& device, const std::string& path) {
  std::vector<std::uint32_t> pixels = device.ReadBackBuffer();
  if (pixels.size() != 800u * 600u) {
    std::fprintf(stderr, "poromeko: no picture to write to %s (nothing was presented)\n",
                 path.c_str());
    return;
  }
  std::string error;
  if (!platform::SavePng(path, 800, 600, pixels.data(), &error)) {
    std::fprintf(stderr, "poromeko: could not write %s: %s\n", path.c_str(), error.c_str());
  }
}

scenes::SequenceChild* FirstScene() { return new scenes::LoadParent; }

// Where each update's keys come from: the keyboard, the autoplayer, or a
// journal being replayed. Keys read during loading are not part of the run.
class InputSource {
 public:
  InputSource(const Options& options, Journal* replay, scenes::Autoplayer* autoplayer)
      : replay_(replay), autoplayer_(autoplayer) {
    if (!options.record.empty()) record_ = &options.record;
  }
  bool OpenRecord(std::uint32_t seed) {
    if (!record_) return true;
    std::string error;
    if (!writer_.Open(*record_, seed, &error)) {
      std::fprintf(stderr, "poromeko: %s\n", error.c_str());
      return false;
    }
    return true;
  }
  // The keys of the next update of the run. False once a replayed journal has
  // run out.
  bool Next(const scenes::SequenceParent& root, const scenes::Services& services,
            platform::TickInput* input) {
    if (replay_) {
      platform::ReadTickInput();  // the player's own keys do not count
      if (next_ >= replay_->ticks.size()) return false;
      *input = replay_->ticks[next_++];
    } else if (autoplayer_) {
      platform::ReadTickInput();
      *input = autoplayer_->Next(root, services);
    } else {
      *input = platform::ReadTickInput();
    }
    writer_.Append(*input);
    return true;
  }
  void Close() { writer_.Close(); }

 private:
  Journal* replay_;
  scenes::Autoplayer* autoplayer_;
  const std::string* record_ = nullptr;
  JournalWriter writer_;
  std::size_t next_ = 0;
};

}  // namespace

// The options with every file named relative to the folder the game was
// started in made absolute, since the game then works in its content folder.
Options WithAbsolutePaths(Options options) {
  namespace fs = std::filesystem;
  auto absolute = [](std::string& path) {
    std::error_code ec;
    if (!path.empty()) path = fs::absolute(path, ec).string();
  };
  absolute(options.screenshot);
  absolute(options.record);
  absolute(options.replay);
  for (auto& shot : options.shots) absolute(shot.second);
  return options;
}

int Run(const Options& givenOptions, platform::System& system) {
  scenes::ResetStopFlag();
  const Options options = WithAbsolutePaths(givenOptions);

  Journal replay;
  if (!options.replay.empty()) {
    std::string error;
    if (!ReadJournal(options.replay, &replay, &error)) {
      std::fprintf(stderr, "poromeko: %s\n", error.c_str());
      return 2;
    }
  }
  const std::uint32_t seed = !options.replay.empty() ? replay.seed
                             : options.hasSeed       ? options.seed
                                               : static_cast<std::uint32_t>(std::time(nullptr));
  scenes::Autoplayer autoplayer(seed, options.mischief);
  InputSource inputs(options, options.replay.empty() ? nullptr : &replay,
                     options.autoplay ? &autoplayer : nullptr);
  if (!inputs.OpenRecord(seed)) return 2;

  // The game works inside its content folder, wherever it was started.
  std::error_code cwdError;
  const GameFolders folders = FindGameFolders(options.dataDir, platform::ExecutableDir(),
                                              std::filesystem::current_path(cwdError).string());
  if (!folders.found) {
    std::fprintf(stderr, "poromeko: the game's files are not in %s (no %s there)\n",
                 folders.content.c_str(), content::model::kPlanet);
  }
  std::filesystem::current_path(folders.content, cwdError);
  if (cwdError) {
    std::fprintf(stderr, "poromeko: cannot work in %s: %s\n", folders.content.c_str(),
                 cwdError.message().c_str());
  }
  PrepareRanking(folders);

  bool fullscreen = ChooseFullScreen(options, system);
  platform::WindowFailure failure = platform::WindowFailure::None;
  platform::WindowConfig config;
  config.caption = kWindowCaption;
  config.fullscreen = fullscreen;
  if (!system.CreateGameWindow(config, &failure)) {
    system.ShowError(kErrorCaption, failure == platform::WindowFailure::NoGraphics
                                        ? kNoDeviceMessage
                                        : kNoWindowMessage);
    return 1;
  }
  std::unique_ptr<platform::Device> device = system.CreateDevice();
  if (!device) {
    system.ShowError(kErrorCaption, kNoDeviceMessage);
    system.DestroyGameWindow();
    return 1;
  }
  SetInitialDeviceState(*device);
  platform::Device* devicePtr = device.get();
  platform::Surface* backBuffer = device->GetBackBuffer();

  // The process-wide services, in the order the game has always made them:
  // the sound system, the insect manager with the generator it spawns from,
  // then the shared sprite. The placed objects' list goes with them.
  media::InitSound(SoundDeviceFactory());
  if (media::gSoundManager) {
    media::gSoundManager->Device().SetVolume(
        options.mute ? platform::kVolumeMin : platform::VolumeFromPercent(options.volume));
  }
  platform::Random random(seed);
  auto enemies = std::make_unique<creatures::EnemyManager>();
  auto objects = std::make_unique<world::WorldObjects>();
  media::InitSprite(&devicePtr, &backBuffer);

  scenes::Services services;
  services.random = &random;
  services.enemies = enemies.get();
  services.objects = objects.get();
  services.tuning = media::LoadTuning(services.tuningPath);
  services.rankingPath = folders.ranking;
  services.verbose = options.verbose;
  services.waitForLoader = options.headless;

  scenes::SetFirstSceneFactory(&FirstScene);
  system.SetCloseHandler([&system] { OnWindowDestroy(system); });

  long ticks = 0;
  long runTicks = 0;
  constexpr long kLoggedFrames = 30;
  std::vector<bool> shotTaken(options.shots.size(), false);
  bool fatal = false;
  bool journalEnded = false;
  FrameTicker ticker({
      [&system] { return system.TimeGetTime(); },
      [&system] { return system.IsForeground(); },
      [&] {
        scenes::SequenceParent& root = scenes::SequenceParent::GetInstance();
        platform::TickInput input;
        if (!services.loaded) {
          input = platform::ReadTickInput();
        } else if (!inputs.Next(root, services, &input)) {
          journalEnded = true;
          return;
        } else {
          ++runTicks;
        }
        root.Update(input, services);
        if (options.rssEvery > 0 && services.loaded && runTicks > 0 &&
            runTicks % options.rssEvery == 0) {
          std::fprintf(stderr, "poromeko: rss after update %ld: %ld kB\n", runTicks,
                       platform::ResidentMemoryKiB());
        }
      },
      [&] {
        platform::Sprite* sprite = media::gSprite ? *media::gSprite : nullptr;
        if (!sprite) return;
        scenes::SequenceParent::GetInstance().Draw({*devicePtr, *sprite, backBuffer});
      },
  });

  // The loading screen is drawn once before the first tick: what its first
  // picture needs built and uploaded (shader variants, its textures) is
  // ready, so the first ticks draw on time.
  if (!options.headless && media::gSprite && *media::gSprite) {
    scenes::SequenceParent::GetInstance().Draw({*devicePtr, **media::gSprite, backBuffer});
  }

  while (system.PumpEvents()) {
    if (scenes::FatalErrorPending() && !fatal) {
      fatal = true;
      std::string message = scenes::TakeFatalErrorMessage();
      std::string line = message;
      for (std::size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, ": ");
      std::fprintf(stderr, "poromeko: %s\n", line.c_str());
      system.ShowError(kErrorCaption, message);
      OnWindowDestroy(system);
      continue;
    }
    const FrameTicker::Result result = ticker.Tick();
    if (options.verbose && result != FrameTicker::Result::TooEarly && ticks < kLoggedFrames) {
      // How the first frames went: a slow one makes the next tick skip its draw.
      if (result == FrameTicker::Result::Drawn) {
        std::fprintf(stderr, "poromeko: tick %ld drawn in %u ms\n", ticks + 1,
                     ticker.lastFrameDuration);
      } else {
        std::fprintf(stderr, "poromeko: tick %ld skipped its draw\n", ticks + 1);
      }
    }
    if (result == FrameTicker::Result::Drawn && services.loaded) {
      // The first picture drawn at or after the update asked for (a slow
      // machine skips some draws).
      for (std::size_t i = 0; i < options.shots.size(); ++i) {
        if (shotTaken[i] || runTicks < options.shots[i].first) continue;
        WriteScreenshot(*device, options.shots[i].second);
        shotTaken[i] = true;
      }
    }
    if (result != FrameTicker::Result::TooEarly) {
      ++ticks;
      if ((options.frames >= 0 && ticks >= options.frames) ||
          (options.runs >= 0 && services.runsFinished >= options.runs) || journalEnded ||
          services.quitRequested) {
        OnWindowDestroy(system);
        continue;
      }
    }
    // Sleep until the next tick is due or an event arrives, instead of
    // spinning: tick times stay the same, an idle game leaves the CPU alone.
    std::uint32_t wait = ticker.MsUntilDue();
    if (wait > 0) system.WaitEvents(wait);
  }
  inputs.Close();

  if (options.report) {
    std::printf("%s\n",
                scenes::DescribeRun(scenes::SequenceParent::GetInstance(), services, seed, runTicks)
                    .c_str());
    std::fflush(stdout);
  }
  if (!options.screenshot.empty()) WriteScreenshot(*device, options.screenshot);

  // The scenes go before the services they use.
  scenes::SequenceParent::GetInstance().ClearScenes();
  media::ReleaseSound();
  enemies.reset();
  objects.reset();
  if (backBuffer) backBuffer->Release();
  device.reset();
  system.DestroyGameWindow();
  platform::ResetKeyboard();
  return fatal ? 1 : system.QuitCode();
}

}  // namespace app
