// Start-up, the frame loop and tear-down.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/folders.h"
#include "app/journal.h"
#include "app/screen_question.h"
#include "app/shell.h"
#include "creatures/enemy_manager.h"
#include "engine/image.h"
#include "engine/random.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/frame_loop.h"
#include "platform/input.h"
#include "platform/keyboard.h"
#include "platform/locale.h"
#include "scenes/autoplay.h"
#include "scenes/flow.h"
#include "scenes/loading/load_parent.h"
#include "scenes/loading/loader_thread.h"
#include "scenes/report.h"
#include "scenes/sequence.h"
#include "world/world_objects.h"

namespace app {

media::SoundDeviceFactory& SoundDeviceFactory();

namespace {

// An error that ends the start-up or the run: one line on standard error in
// the player's language, and a box, in English where the system's boxes
// cannot draw Japanese (the line has said it all there already).
void ReportFatal(platform::System& system, const std::string& text, const std::string& english) {
  std::string line = text;
  for (std::size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, ": ");
  std::fprintf(stderr, "poromeko: %s\n", line.c_str());
  system.ShowError(kErrorCaption, system.NativeBoxesShowGameText() ? text : english);
}

// A fatal error the loader raised, in a language: its first line is the
// game's own words (a model that could not be read), the rest names the
// file and the cause.
static_assert(std::string_view(kJapaneseMessages.modelFailed) == media::kXFileLoadFailed);

std::string FatalInLanguage(const std::string& message, content::Language language) {
  const std::string japanese = media::kXFileLoadFailed;
  if (message.compare(0, japanese.size(), japanese) != 0) return message;
  return MessagesIn(language).modelFailed + message.substr(japanese.size());
}

bool WriteScreenshot(platform::Device& device, const std::string& path) {
  std::vector<std::uint32_t> pixels = device.ReadBackBuffer();
  if (pixels.size() != 800u * 600u) {
    std::fprintf(stderr, "poromeko: no picture to write to %s (nothing was presented)\n",
                 path.c_str());
    return false;
  }
  std::string error;
  if (!engine::SavePng(path, 800, 600, pixels.data(), &error)) {
    std::fprintf(stderr, "poromeko: could not write %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

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
  // False when the journal asked for could not be written whole.
  bool Close() { return writer_.Close(); }

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
    if (!path.empty()) {
      path = platform::Utf8FromPath(fs::absolute(platform::PathFromUtf8(path), ec));
    }
  };
  absolute(options.screenshot);
  absolute(options.record);
  absolute(options.replay);
  for (auto& shot : options.shots) absolute(shot.second);
  return options;
}

// The language of the run: --lang, or else the system's.
content::Language ChooseLanguage(const Options& options) {
  return options.hasLanguage ? options.language : LanguageOfLocale(platform::MessagesLocale());
}

// One game from start-up to tear-down, in three steps so that the frame
// loop may be a plain loop or the browser's: Start, then Frame until it
// returns false, then Finish.
class Game {
 public:
  Game(const Options& options, platform::System& system)
      : options_(WithAbsolutePaths(options)), system_(system), language_(ChooseLanguage(options)) {}
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  // Everything up to the first frame. Returns the exit code when the game
  // cannot start, -1 when it can.
  int Start();
  // One pass of the loop: the waiting events, a tick when one is due, then
  // a wait for the next. False once the game is over.
  bool Frame();
  // Tear-down; returns the exit code.
  int Finish();

 private:
  void Draw();
  // The start-up question's update, while it is asked; when it has been
  // answered, the window switches as answered and loading starts.
  void AskScreen();
  // The first scene's first picture, drawn before its first tick: what it
  // needs built and uploaded (shader variants, its textures) is then ready,
  // so the first ticks draw on time.
  void DrawFirstScene();
  // In the time left before the next tick: see SequenceChildBase::Rehearse.
  void Rehearse();
  // Whenever the loop has time to spare: pictures the loader made go to
  // the graphics memory.
  void SendUploadsWhileIdle();
  // --shot pictures asked for at the update just run: drawn and written at
  // once, whatever the pacing does next (it may skip a draw, or run more
  // updates before it draws), so a shot always shows its own update.
  void TakeShotsOfThisUpdate();
  // The scene root, made with the first scene when it is first needed (the
  // first picture or the first update): the loading scene starts loading as
  // it is made.
  scenes::SequenceParent& Root();
  // What a scene draws with; null before the sprite is there.
  std::optional<scenes::DrawContext> Drawing();

  const Options options_;
  platform::System& system_;
  const content::Language language_;
  // The start-up question, while it is asked in the game's window. The
  // scenes start once it has been answered.
  std::unique_ptr<ScreenQuestion> question_;
  Journal replay_;
  std::uint32_t seed_ = 0;
  std::unique_ptr<scenes::Autoplayer> autoplayer_;
  std::unique_ptr<InputSource> inputs_;
  std::unique_ptr<platform::Device> device_;
  platform::Device* devicePtr_ = nullptr;
  platform::Surface* backBuffer_ = nullptr;
  // The services the shell makes for the whole run and hands to the scenes.
  std::unique_ptr<media::SoundManager> sounds_;
  std::unique_ptr<engine::Random> random_;
  std::unique_ptr<creatures::EnemyManager> enemies_;
  std::unique_ptr<world::WorldObjects> objects_;
  std::unique_ptr<media::TextureManager> textures_;
  std::unique_ptr<media::MeshManager> meshes_;
  std::unique_ptr<media::SharedSprite> sprite_;
  scenes::LoaderHandshake loader_;
  scenes::Services services_;
  std::unique_ptr<scenes::SequenceParent> root_;
  std::unique_ptr<FrameTicker> ticker_;
  std::uint32_t unpacedNow_ = 0;  // the clock of --unpaced
  long passes_ = 0;               // of the loop, while unpaced
  long ticks_ = 0;
  long runTicks_ = 0;
  FrameStats frameStats_;
  std::vector<bool> shotTaken_;
  bool fatal_ = false;
  bool journalEnded_ = false;
  bool outputLost_ = false;  // a file or stream asked for could not be written
};

int Game::Start() {
  const Options& options = options_;
  platform::System& system = system_;

  if (!options.replay.empty()) {
    std::string error;
    if (!ReadJournal(options.replay, &replay_, &error)) {
      std::fprintf(stderr, "poromeko: %s\n", error.c_str());
      return 2;
    }
    if (!replay_.checked) {
      std::fprintf(stderr,
                   "poromeko: %s has no closing line (it was cut short, or written by an older "
                   "game): replaying it unchecked\n",
                   options.replay.c_str());
    }
  }
  seed_ = !options.replay.empty() ? replay_.seed
          : options.hasSeed       ? options.seed
                                  : platform::SecondsSinceEpoch();
  autoplayer_ = std::make_unique<scenes::Autoplayer>(seed_, options.mischief);
  inputs_ = std::make_unique<InputSource>(options, options.replay.empty() ? nullptr : &replay_,
                                          options.autoplay ? autoplayer_.get() : nullptr);
  if (!inputs_->OpenRecord(seed_)) return 2;

  // The game works inside its content folder, wherever it was started.
  std::error_code cwdError;
  const GameFolders folders =
      FindGameFolders(options.dataDir, platform::ExecutableDir(),
                      platform::Utf8FromPath(std::filesystem::current_path(cwdError)));
  if (!folders.found) {
    // A folder named outright is used or refused, never swapped for another.
    if (!options.dataDir.empty()) {
      std::fprintf(stderr, "poromeko: --data %s: the game's files are not there (no %s)\n",
                   options.dataDir.c_str(), content::model::kPlanet);
      return 2;
    }
    std::fprintf(stderr, "poromeko: the game's files are not in %s (no %s there)\n",
                 folders.content.c_str(), content::model::kPlanet);
  }
  std::filesystem::current_path(platform::PathFromUtf8(folders.content), cwdError);
  if (cwdError) {
    std::fprintf(stderr, "poromeko: cannot work in %s: %s\n", folders.content.c_str(),
                 cwdError.message().c_str());
  }
  PrepareRanking(folders);

  // Full screen or a window: the options may say; otherwise the player is
  // asked, in the system's box where it can show the game's text, else in
  // the game's window, which opens as a window until then.
  const Messages& messages = MessagesIn(language_);
  const bool ask = options.screen == Options::Screen::Ask && !options.headless;
  bool fullscreen = options.screen == Options::Screen::Fullscreen;
  if (ask && system.NativeBoxesShowGameText()) {
    fullscreen = system.AskYesNo(messages.questionCaption, messages.question);
  }
  platform::WindowFailure failure = platform::WindowFailure::None;
  platform::WindowConfig config;
  config.caption = kWindowCaption;
  config.fullscreen = fullscreen;
  config.renderer = options.renderer;
  if (!system.CreateGameWindow(config, &failure)) {
    if (failure == platform::WindowFailure::NoDisplay) {
      // No box either: there is nowhere to show one.
      std::fprintf(stderr, "poromeko: %s\n", messages.noDisplay);
    } else {
      const bool graphics = failure == platform::WindowFailure::NoGraphics;
      ReportFatal(system, graphics ? messages.noGraphics : messages.noWindow,
                  graphics ? kEnglishMessages.noGraphics : kEnglishMessages.noWindow);
    }
    return 1;
  }
  device_ = system.CreateDevice();
  if (!device_) {
    ReportFatal(system, messages.noGraphics, kEnglishMessages.noGraphics);
    system.DestroyGameWindow();
    return 1;
  }
  if (options.verbose && !options.headless) {
    std::fprintf(stderr, "poromeko: drawing with %s\n", system.RendererName());
  }
  SetInitialDeviceState(*device_);
  devicePtr_ = device_.get();
  backBuffer_ = device_->GetBackBuffer();

  // The services, in the order the game has always made them: the sound
  // system, the insect manager with the generator it spawns from, then the
  // caches and the shared sprite. The placed objects' list goes with them.
  sounds_ = media::InitSound(SoundDeviceFactory());
  sounds_->Device().SetVolume(options.mute ? platform::kVolumeMin
                                           : platform::VolumeFromPercent(options.volume));
  random_ = std::make_unique<engine::Random>(seed_);
  enemies_ = std::make_unique<creatures::EnemyManager>();
  objects_ = std::make_unique<world::WorldObjects>();
  textures_ = std::make_unique<media::TextureManager>(devicePtr_);
  meshes_ = std::make_unique<media::MeshManager>();
  sprite_ = std::make_unique<media::SharedSprite>(devicePtr_);
  media::SetCullTurnedAwayFaces(!options.everyFace);

  services_.textures = textures_.get();
  services_.meshes = meshes_.get();
  services_.sounds = sounds_.get();
  services_.device = devicePtr_;
  services_.loader = &loader_;
  services_.random = random_.get();
  services_.enemies = enemies_.get();
  services_.objects = objects_.get();
  services_.tuning = media::LoadTuning(services_.tuningPath);
  services_.rankingPath = folders.ranking;
  services_.verbose = options.verbose;
  services_.language = language_;
  services_.waitForLoader = options.headless;

  system.SetCloseHandler([this] { OnWindowDestroy(system_, loader_); });
  shotTaken_.assign(options.shots.size(), false);

  const FrameTicker::Pacing pacing = platform::FrameLoopFollowsDisplay()
                                         ? FrameTicker::Pacing::CatchUp
                                         : FrameTicker::Pacing::FromNow;
  ticker_ = std::make_unique<FrameTicker>(
      FrameTicker::Hooks{
          [this, &system] { return options_.unpaced ? unpacedNow_ : system.TimeGetTime(); },
          [&system] { return system.IsForeground(); },
          [this] {
            if (question_) {
              AskScreen();
              return;
            }
            scenes::SequenceParent& root = Root();
            platform::TickInput input;
            if (!services_.loaded) {
              input = platform::ReadTickInput();
            } else if (!inputs_->Next(root, services_, &input)) {
              journalEnded_ = true;
              return;
            } else {
              ++runTicks_;
            }
            root.Update(input, services_);
            TakeShotsOfThisUpdate();
            if (options_.rssEvery > 0 && services_.loaded && runTicks_ > 0 &&
                runTicks_ % options_.rssEvery == 0) {
              std::fprintf(stderr, "poromeko: rss after update %ld: %ld kB\n", runTicks_,
                           platform::ResidentMemoryKiB());
            }
          },
          [this] {
            // Unpaced, the run's pictures are drawn for its shots only.
            if (!options_.unpaced || !services_.loaded) Draw();
          },
      },
      pacing);

  platform::PublishStatus(
      [this] { return scenes::DescribeRun(Root(), services_, seed_, runTicks_); });

  if (ask && !system.NativeBoxesShowGameText()) {
    question_ = std::make_unique<ScreenQuestion>(*textures_, language_);
    Draw();
  } else {
    DrawFirstScene();
    for (std::size_t i = 0; i < options.shots.size(); ++i) {
      if (options.shots[i].first != Options::kLoadingShot || options.headless) continue;
      if (!WriteScreenshot(*device_, options.shots[i].second)) outputLost_ = true;
      shotTaken_[i] = true;
    }
  }
  return -1;
}

scenes::SequenceParent& Game::Root() {
  if (!root_) root_ = std::make_unique<scenes::SequenceParent>(scenes::FirstScene(services_));
  return *root_;
}

std::optional<scenes::DrawContext> Game::Drawing() {
  engine::Sprite* sprite = sprite_ ? sprite_->Get() : nullptr;
  if (!sprite) return std::nullopt;
  return scenes::DrawContext{*devicePtr_, *sprite, *textures_, *meshes_, backBuffer_};
}

void Game::DrawFirstScene() {
  if (options_.headless) return;
  if (const auto frame = Drawing()) Root().Draw(*frame);
}

void Game::AskScreen() {
  const platform::TickInput input = platform::ReadTickInput();
  const ScreenQuestion::Answer answer = question_->Update(input, system_.ReadPointer());
  if (answer == ScreenQuestion::Answer::None) return;
  const bool fullScreen = answer == ScreenQuestion::Answer::FullScreen;
  if (options_.verbose) {
    std::fprintf(stderr, "poromeko: answered in the window: %s\n",
                 fullScreen ? "full screen" : "a window");
  }
  if (fullScreen) system_.SetFullScreen(true);
  question_.reset();
  DrawFirstScene();
}

void Game::Draw() {
  const auto frame = Drawing();
  if (!frame) return;
  if (question_) {
    question_->Draw(*devicePtr_, frame->sprite);
    return;
  }
  Root().Draw(*frame);
}

void Game::Rehearse() {
  const auto frame = Drawing();
  if (!frame || question_) return;
  Root().Rehearse(*frame);
}

void Game::SendUploadsWhileIdle() {
  // Present sends a few megabytes of them a frame. The loader makes them
  // faster; when too many are queued it waits, and wakes this thread to
  // send more in the time left before the next tick. A loop the display
  // drives (the browser's) has no loader thread, and its time between
  // frames is the page's.
  if (platform::FrameLoopFollowsDisplay()) return;
  constexpr std::uint32_t kSendMs = 4;  // what sending that much may take here
  while (device_ && device_->UploadsPending() && ticker_->MsUntilDue() > kSendMs)
    device_->SendUploads();
}

void Game::TakeShotsOfThisUpdate() {
  if (!services_.loaded || options_.headless) return;
  bool drawn = false;
  for (std::size_t i = 0; i < options_.shots.size(); ++i) {
    if (shotTaken_[i] || runTicks_ != options_.shots[i].first) continue;
    if (!drawn) Draw();
    drawn = true;
    if (!WriteScreenshot(*device_, options_.shots[i].second)) outputLost_ = true;
    shotTaken_[i] = true;
  }
}

bool Game::Frame() {
  constexpr long kLoggedFrames = 30;
  // Unpaced, nobody plays along: the window's events are taken now and
  // then. (Under Wine, looking for events yields the processor, which costs
  // a whole time slice on a busy machine, every update.)
  constexpr long kUnpacedPumpEvery = 64;
  if ((!options_.unpaced || passes_++ % kUnpacedPumpEvery == 0) && !system_.PumpEvents()) {
    return false;
  }
  if (loader_.FatalErrorPending() && !fatal_) {
    fatal_ = true;
    const std::string message = loader_.TakeFatalErrorMessage();
    ReportFatal(system_, FatalInLanguage(message, language_),
                FatalInLanguage(message, content::Language::English));
    OnWindowDestroy(system_, loader_);
    return true;
  }
  // Unpaced, every pass runs the next tick at once.
  if (options_.unpaced) unpacedNow_ += kTickMs;
  const long ticksBefore = ticker_->ticksRun;
  const FrameTicker::Result result = ticker_->Tick();
  frameStats_.Add(result, ticker_->lastFrameDuration);
  if (options_.verbose && result != FrameTicker::Result::TooEarly) {
    // How the first frames went (a slow one makes the next tick skip its
    // draw), and every skip after them.
    if (result == FrameTicker::Result::Drawn) {
      if (ticks_ < kLoggedFrames)
        std::fprintf(stderr, "poromeko: tick %ld drawn in %u ms\n", ticks_ + 1,
                     ticker_->lastFrameDuration);
    } else {
      std::fprintf(stderr, "poromeko: tick %ld skipped its draw\n", ticks_ + 1);
    }
  }
  if (result == FrameTicker::Result::Drawn && services_.loaded) {
    // A shot of an update before the run's first (0) is the first picture
    // drawn after loading.
    bool drawn = !options_.unpaced;
    for (std::size_t i = 0; i < options_.shots.size(); ++i) {
      if (shotTaken_[i] || runTicks_ < options_.shots[i].first) continue;
      if (!drawn) Draw();
      drawn = true;
      if (!WriteScreenshot(*device_, options_.shots[i].second)) outputLost_ = true;
      shotTaken_[i] = true;
    }
  }
  if (result != FrameTicker::Result::TooEarly) {
    Rehearse();
    ticks_ += ticker_->ticksRun - ticksBefore;
    if ((options_.frames >= 0 && ticks_ >= options_.frames) ||
        (options_.runs >= 0 && services_.runsFinished >= options_.runs) || journalEnded_ ||
        services_.quitRequested) {
      OnWindowDestroy(system_, loader_);
      return true;
    }
  }
  SendUploadsWhileIdle();
  // Sleep until the next tick is due or an event arrives, instead of
  // spinning: tick times stay the same, an idle game leaves the CPU alone.
  std::uint32_t wait = ticker_->MsUntilDue();
  if (wait > 0 && !options_.unpaced) system_.WaitEvents(wait);
  return true;
}

int Game::Finish() {
  if (!inputs_->Close()) outputLost_ = true;
  if (options_.verbose) {
    std::fprintf(stderr,
                 "poromeko: %ld ticks drew, %ld skipped their draw; drawing took %u ms "
                 "(median), %u ms (95th percentile), %u ms (longest)\n",
                 frameStats_.Drawn(), frameStats_.Skipped(), frameStats_.Percentile(0.5),
                 frameStats_.Percentile(0.95), frameStats_.Longest());
  }

  // Closed while the question was asked: no scene is ever made.
  const bool noScenes = question_ != nullptr;
  question_.reset();
  if (options_.report) {
    const scenes::SequenceParent none;
    const std::string line =
        scenes::DescribeRun(noScenes ? none : Root(), services_, seed_, runTicks_);
    if (std::printf("%s\n", line.c_str()) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout)) {
      std::fprintf(stderr, "poromeko: could not write the report to standard output: %s\n",
                   std::strerror(errno));
      outputLost_ = true;
    }
  }
  if (!options_.screenshot.empty() && !WriteScreenshot(*device_, options_.screenshot)) {
    outputLost_ = true;
  }
  // Shots of updates the run never reached are not there either.
  for (std::size_t i = 0; i < options_.shots.size(); ++i) {
    if (shotTaken_[i]) continue;
    std::fprintf(stderr, "poromeko: no picture of update %ld for %s: the run ended before it\n",
                 options_.shots[i].first, options_.shots[i].second.c_str());
    outputLost_ = true;
  }
  platform::PublishStatus(nullptr);

  // The scenes go before the services they use, the caches and the sprite
  // before the device they are on.
  root_.reset();
  sounds_.reset();
  enemies_.reset();
  objects_.reset();
  sprite_.reset();
  meshes_.reset();
  textures_.reset();
  if (backBuffer_) backBuffer_->Release();
  backBuffer_ = nullptr;
  device_.reset();
  system_.DestroyGameWindow();
  platform::ResetKeyboard();
  if (fatal_ || outputLost_) return 1;
  return system_.QuitCode();
}

int Run(const Options& options, platform::System& system) {
  // In the browser the frame loop outlives this call, and the game with it.
  auto game = std::make_shared<Game>(options, system);
  const int early = game->Start();
  if (early >= 0) return early;
  return platform::RunFrameLoop([game] { return game->Frame(); },
                                [game] { return game->Finish(); });
}

}  // namespace app
