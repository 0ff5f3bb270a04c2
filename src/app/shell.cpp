#include "app/shell.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "scenes/loading/loader_thread.h"

namespace app {

void OnWindowDestroy(platform::System& system, scenes::LoaderHandshake& handshake) {
  scenes::LoaderThread* loader = handshake.RecordedLoaderThread();
  if (loader && loader->StillActive()) {
    handshake.RequestStop();
    // The loader looks at the flag after its current job.
    loader->Join();
  }
  system.PostQuit(0);
}

FrameTicker::Result FrameTicker::Tick() {
  std::uint32_t now = hooks_.now();
  tickStartTime = now;
  std::uint32_t behind = now - lastTickTime;
  if (behind < kTickMs) return Result::TooEarly;
  if (pacing_ == Pacing::FromNow) {
    lastTickTime = now;
    behind = kTickMs;
  } else if (behind > kMaxCatchUpTicks * kTickMs) {
    lastTickTime = now - kTickMs;
    behind = kTickMs;
  }
  for (; behind >= kTickMs; behind -= kTickMs) {
    if (pacing_ == Pacing::CatchUp) lastTickTime += kTickMs;
    ++ticksRun;
    if (hooks_.foreground()) hooks_.update();
  }
  if (lastFrameDuration > kTickMs) {
    lastFrameDuration = 0;
    return Result::DrawSkipped;
  }
  hooks_.draw();
  lastFrameDuration = static_cast<std::uint32_t>(hooks_.now() - tickStartTime);
  return Result::Drawn;
}

std::uint32_t FrameTicker::MsUntilDue() const {
  std::uint32_t elapsed = static_cast<std::uint32_t>(hooks_.now() - lastTickTime);
  return elapsed >= kTickMs ? 0 : kTickMs - elapsed;
}

void FrameStats::Add(FrameTicker::Result result, std::uint32_t drawMs) {
  if (result == FrameTicker::Result::DrawSkipped) {
    ++skipped_;
  } else if (result == FrameTicker::Result::Drawn) {
    ++drawn_;
    ++counts_[std::min<std::size_t>(drawMs, kBuckets - 1)];
    longest_ = std::max(longest_, drawMs);
  }
}

std::uint32_t FrameStats::Percentile(double fraction) const {
  if (drawn_ == 0) return 0;
  const double wanted = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(drawn_);
  long seen = 0;
  for (std::size_t ms = 0; ms < kBuckets - 1; ++ms) {
    seen += counts_[ms];
    if (seen > 0 && static_cast<double>(seen) >= wanted) return static_cast<std::uint32_t>(ms);
  }
  return longest_;
}

const char* Usage() {
  return "usage: poromeko [--windowed | --fullscreen] [--headless] [--frames N] [--runs N]\n"
         "                [--screenshot FILE] [--shot N:FILE]... [--unpaced]\n"
         "                [--seed N] [--record FILE | --replay FILE]\n"
         "                [--autoplay[=mischief]] [--report] [--rss-every N]\n"
         "                [--verbose] [--volume N | --mute] [--data DIR] [--lang ja|en]\n"
         "                [--renderer d3d9|gl] [--every-face] [--help] [--version]\n"
         "  --windowed      play in a window without asking\n"
         "  --fullscreen    play full screen without asking\n"
         "  --headless      no window, no sound; ticks run back to back\n"
         "  --frames N      quit after N ticks\n"
         "  --runs N        quit once N runs have reached their result\n"
         "  --screenshot F  write the last picture shown to F (PNG) at exit\n"
         "  --shot N:F      write the picture of update N of the run to F (N = loading:\n"
         "                  the loading screen's first picture)\n"
         "  --unpaced       run the updates back to back, drawing only the --shot ones\n"
         "  --seed N        build the world from seed N instead of the clock\n"
         "  --record F      write the run's journal (seed and keys) to F\n"
         "  --replay F      play the journal F instead of the keyboard, then quit\n"
         "  --autoplay      let the game play itself (title, play, result, again)\n"
         "  --autoplay=mischief  the same, pausing, answering, swinging the camera and\n"
         "                  giving runs up now and then, as a restless player would\n"
         "  --report        print one JSON line describing the run at exit\n"
         "  --rss-every N   print the resident memory every N updates of the run\n"
         "  --verbose       print the creature's debug lines while it turns, the load\n"
         "                  time, the first ticks' draw times and at exit how the\n"
         "                  whole run's draws went\n"
         "  --volume N      sound volume from 0 (silent) to 100 (full, the default)\n"
         "  --mute          no sound\n"
         "  --data DIR      the folder holding the game's files (XFile/, Texture/, ...)\n"
         "  --lang ja|en    captions and messages in Japanese or English (by default\n"
         "                  the system's language: Japanese for ja and for none named)\n"
         "  --renderer R    draw with Direct3D 9 (d3d9, the default on Windows, where\n"
         "                  OpenGL takes over when it cannot) or OpenGL (gl)\n"
         "  --every-face    draw the faces models turn away from the eye too, which\n"
         "                  the picture hides (slower; exactly the older pictures)\n"
         "  --help          print this and stop\n"
         "  --version       print the version and stop\n";
}

content::Language LanguageOfLocale(std::string_view locale) {
  // The language is what comes before the territory, the codeset and the
  // modifier: "en_GB.UTF-8@euro" names "en".
  const std::string_view language = locale.substr(0, locale.find_first_of("_.@-"));
  if (language.empty() || language == "C" || language == "POSIX" || language == "ja") {
    return content::Language::Japanese;
  }
  return content::Language::English;
}

namespace {

bool ParseCount(const char* text, long* out) {
  long n = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, n);
  if (ec != std::errc() || ptr != end || n < 0) return false;
  *out = n;
  return true;
}

bool ParseSeed(const char* text, std::uint32_t* out) {
  std::uint32_t n = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, n);
  if (ec != std::errc() || ptr != end || text == end) return false;
  *out = n;
  return true;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto needValue = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "--windowed") {
      options->screen = Options::Screen::Windowed;
    } else if (arg == "--fullscreen") {
      options->screen = Options::Screen::Fullscreen;
    } else if (arg == "--headless") {
      options->headless = true;
    } else if (arg == "--frames") {
      const char* v = needValue("--frames");
      if (!v) return false;
      if (!ParseCount(v, &options->frames)) {
        *error = std::string("--frames needs a count, not '") + v + "'";
        return false;
      }
    } else if (arg == "--runs") {
      const char* v = needValue("--runs");
      if (!v) return false;
      if (!ParseCount(v, &options->runs)) {
        *error = std::string("--runs needs a count, not '") + v + "'";
        return false;
      }
    } else if (arg == "--shot") {
      const char* v = needValue("--shot");
      if (!v) return false;
      const std::string text = v;
      const std::size_t colon = text.find(':');
      long tick = 0;
      const std::string when = colon == std::string::npos ? text : text.substr(0, colon);
      if (when == "loading") {
        tick = Options::kLoadingShot;
      } else if (!ParseCount(when.c_str(), &tick)) {
        tick = Options::kLoadingShot - 1;
      }
      if (colon == std::string::npos || colon + 1 == text.size() || tick < Options::kLoadingShot) {
        *error = "--shot needs UPDATE:FILE, not '" + text + "'";
        return false;
      }
      options->shots.emplace_back(tick, text.substr(colon + 1));
    } else if (arg == "--unpaced") {
      options->unpaced = true;
    } else if (arg == "--screenshot") {
      const char* v = needValue("--screenshot");
      if (!v) return false;
      options->screenshot = v;
    } else if (arg == "--seed") {
      const char* v = needValue("--seed");
      if (!v) return false;
      if (!ParseSeed(v, &options->seed)) {
        *error = std::string("--seed needs a number from 0 to 4294967295, not '") + v + "'";
        return false;
      }
      options->hasSeed = true;
    } else if (arg == "--record") {
      const char* v = needValue("--record");
      if (!v) return false;
      options->record = v;
    } else if (arg == "--replay") {
      const char* v = needValue("--replay");
      if (!v) return false;
      options->replay = v;
    } else if (arg == "--report") {
      options->report = true;
    } else if (arg == "--verbose") {
      options->verbose = true;
    } else if (arg == "--autoplay") {
      options->autoplay = true;
    } else if (arg == "--autoplay=mischief") {
      options->autoplay = true;
      options->mischief = true;
    } else if (arg == "--rss-every") {
      const char* v = needValue("--rss-every");
      if (!v) return false;
      if (!ParseCount(v, &options->rssEvery) || options->rssEvery == 0) {
        *error = std::string("--rss-every needs a count above 0, not '") + v + "'";
        return false;
      }
    } else if (arg == "--volume") {
      const char* v = needValue("--volume");
      if (!v) return false;
      long n = 0;
      if (!ParseCount(v, &n) || n > 100) {
        *error = std::string("--volume needs a number from 0 to 100, not '") + v + "'";
        return false;
      }
      options->volume = static_cast<int>(n);
    } else if (arg == "--mute") {
      options->mute = true;
    } else if (arg == "--every-face") {
      options->everyFace = true;
    } else if (arg == "--data") {
      const char* v = needValue("--data");
      if (!v) return false;
      options->dataDir = v;
    } else if (arg == "--lang") {
      const char* v = needValue("--lang");
      if (!v) return false;
      const std::string lang = v;
      if (lang != "ja" && lang != "en") {
        *error = "--lang needs ja or en, not '" + lang + "'";
        return false;
      }
      options->hasLanguage = true;
      options->language = lang == "en" ? content::Language::English : content::Language::Japanese;
    } else if (arg == "--renderer") {
      const char* v = needValue("--renderer");
      if (!v) return false;
      const std::string renderer = v;
      if (renderer != "d3d9" && renderer != "gl") {
        *error = "--renderer needs d3d9 or gl, not '" + renderer + "'";
        return false;
      }
      options->renderer =
          renderer == "gl" ? platform::Renderer::OpenGL : platform::Renderer::Direct3D9;
    } else if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--version") {
      options->version = true;
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }
  if (!options->record.empty() && !options->replay.empty()) {
    *error = "--record and --replay cannot be used together";
    return false;
  }
  if (!options->replay.empty() && options->autoplay) {
    *error = "--replay plays the journal's keys; leave out --autoplay";
    return false;
  }
  if (!options->replay.empty() && options->hasSeed) {
    *error = "--replay takes its seed from the journal; leave out --seed";
    return false;
  }
  return true;
}

void SetInitialDeviceState(platform::Device& d) {
  using platform::RenderState;
  using platform::SamplerState;
  using platform::TextureStageState;
  d.SetRenderState(RenderState::ZEnable, 1);
  d.SetRenderState(RenderState::ZWriteEnable, 1);
  d.SetRenderState(RenderState::AlphaBlendEnable, 1);
  d.SetRenderState(RenderState::SrcBlend, platform::kBlendSrcAlpha);
  d.SetRenderState(RenderState::DestBlend, platform::kBlendInvSrcAlpha);
  d.SetTextureStageState(0, TextureStageState::AlphaOp, platform::kTopModulate);
  d.SetTextureStageState(0, TextureStageState::AlphaArg1, platform::kTaTexture);
  d.SetTextureStageState(0, TextureStageState::AlphaArg2, platform::kTaDiffuse);
  d.SetTextureStageState(0, TextureStageState::ColorOp, platform::kTopModulate);
  d.SetRenderState(RenderState::CullMode, platform::kCullNone);
  d.SetSamplerState(0, SamplerState::MipFilter, platform::kTexfLinear);
  d.SetSamplerState(0, SamplerState::MinFilter, platform::kTexfLinear);
  d.SetSamplerState(0, SamplerState::MagFilter, platform::kTexfLinear);
  d.SetRenderState(RenderState::Lighting, 1);
  d.SetRenderState(RenderState::DiffuseMaterialSource, platform::kMcsMaterial);
  d.SetFVF(platform::kFvfXyz | platform::kFvfDiffuse | platform::kFvfTex1);
}

}  // namespace app
