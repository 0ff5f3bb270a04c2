// gen_sounds <content dir> [Sound/name.wav ...]
// Renders every sound of the game (or only the named ones) into the content
// folder and prints each file's length and levels.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "common/wav_writer.h"
#include "tracks.h"

namespace {

double Dbfs(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : -999.0; }

void PrintStats(const char* path, const sounds::Rendered& r) {
  const std::size_t ch = r.channels;
  const std::size_t frames = r.pcm.size() / ch;
  double peak = 0.0, sum = 0.0;
  for (std::int16_t s : r.pcm) {
    const double v = s / 32768.0;
    peak = std::fmax(peak, std::fabs(v));
    sum += v * v;
  }
  const double rms = r.pcm.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(r.pcm.size()));
  // The jump from the last frame back to the first, as heard when looping.
  int seam = 0;
  if (frames > 1) {
    for (std::size_t c = 0; c < ch; ++c) {
      seam = std::max(seam, std::abs(r.pcm[c] - r.pcm[(frames - 1) * ch + c]));
    }
  }
  std::printf("%-22s %u ch %7.3f s  peak %6.2f dBFS  rms %6.2f dBFS  end-to-start %d\n", path,
              static_cast<unsigned>(ch), static_cast<double>(frames) / sounds::kSampleRate,
              Dbfs(peak), Dbfs(rms), seam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gen_sounds <content dir> [Sound/name.wav ...]\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(root / "Sound", ec);
  if (ec) {
    std::fprintf(stderr, "gen_sounds: cannot create %s: %s\n", (root / "Sound").string().c_str(),
                 ec.message().c_str());
    return 1;
  }
  int failures = 0;
  int rendered = 0;
  for (const sounds::SoundJob& job : sounds::AllSounds()) {
    bool wanted = argc == 2;
    for (int i = 2; i < argc; ++i) wanted = wanted || std::string_view(argv[i]) == job.path;
    if (!wanted) continue;
    ++rendered;
    try {
      const sounds::Rendered r = job.render();
      std::string error;
      if (!contentgen::WriteWav16(root / job.path, r.pcm, r.channels, sounds::kSampleRate,
                                  &error)) {
        std::fprintf(stderr, "gen_sounds: %s\n", error.c_str());
        ++failures;
        continue;
      }
      PrintStats(job.path, r);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "gen_sounds: %s: %s\n", job.path, e.what());
      ++failures;
    }
  }
  if (rendered == 0) {
    std::fprintf(stderr, "gen_sounds: no sound by those names\n");
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
