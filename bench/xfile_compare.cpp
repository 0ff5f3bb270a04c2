// The .x reader against Debian's assimp, side by side on the public
// conformance set (../shared/xcorpus/valid) and on generated spheres:
//
//  - parse: our parse and read of the scene (xfile::LoadScene) against
//    assimp's raw import (Importer::ReadFileFromMemory, no post-processing),
//    in MB/s of file;
//  - load: the game's whole hierarchy load (meshes, skin as blended meshes,
//    animation controller, on no device) against assimp's import with its
//    realtime-quality post-processing;
//  - scaling (--sizes): our parse speed on generated text and binary spheres
//    from 0.1 MB to 70 MB, to show the time grows linearly with the size.
//
//   poromeko_xfile_compare [--corpus DIR] [--sizes] [--min-seconds S]
//
// Each figure is the fastest of several timed batches, so a loaded machine
// disturbs it little. assimp is a benchmark-only dependency: the game never
// links it.
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/xfile_models.h"
#include "engine/hierarchy.h"
#include "engine/xfile/xscene.h"
#include "media/mesh_manager.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double gMinSeconds = 0.3;

// Seconds per call of f: the fastest batch of several, each batch long
// enough to time.
template <class F>
double TimeOf(F&& f) {
  f();  // warm the caches and the allocator
  std::size_t perBatch = 1;
  for (;;) {
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < perBatch; ++i) f();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (s > 0.02) break;
    perBatch *= 2;
  }
  double best = 1e30, total = 0;
  int batches = 0;
  while (batches < 5 || total < gMinSeconds) {
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < perBatch; ++i) f();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    best = std::min(best, s / static_cast<double>(perBatch));
    total += s;
    if (++batches >= 50) break;
  }
  return best;
}

std::vector<unsigned char> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool OurParse(const std::vector<unsigned char>& bytes, const std::string& name) {
  engine::xfile::Scene scene;
  std::string error;
  return engine::xfile::LoadScene(bytes.data(), bytes.size(), name, &scene, &error);
}

bool OurLoad(const std::vector<unsigned char>& bytes, const std::string& name) {
  AnimeXFile::MyHierarchy alloc(nullptr);
  engine::Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  std::string error;
  const bool ok = engine::LoadMeshHierarchyFromXInMemory(bytes.data(), bytes.size(), name, nullptr,
                                                         &alloc, &root, &controller, &error);
  engine::FrameDestroy(root, &alloc);
  return ok;
}

bool AssimpRead(Assimp::Importer& importer, const std::vector<unsigned char>& bytes,
                unsigned flags) {
  const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), flags, "x");
  const bool ok = scene != nullptr;
  importer.FreeScene();
  return ok;
}

std::string Format(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < 16) return "?";
  return std::string(reinterpret_cast<const char*>(bytes.data()) + 8, 4);
}

bool IsText(const std::string& format) { return format == "txt " || format == "tzip"; }

void Corpus(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  Assimp::Importer importer;
  std::printf("%-32s %-5s %9s | %10s %10s %6s | %10s %10s %6s\n", "file", "kind", "KB",
              "parse MB/s", "assimp", "ratio", "load ms", "assimp", "ratio");
  double worstText = 1e30, worstBinary = 1e30, worstLoad = 1e30;
  for (const fs::path& path : files) {
    const std::vector<unsigned char> bytes = ReadFile(path);
    const std::string name = path.filename().string();
    const std::string format = Format(bytes);
    const bool text = IsText(format);
    if (!OurParse(bytes, name)) {
      std::printf("%-32s our reader refuses it\n", name.c_str());
      continue;
    }
    const bool assimpOk = AssimpRead(importer, bytes, 0);
    const double mb = static_cast<double>(bytes.size()) / 1e6;
    const double ours = TimeOf([&] { OurParse(bytes, name); });
    const double oursLoad = TimeOf([&] { OurLoad(bytes, name); });
    if (!assimpOk) {
      std::printf("%-32s %-5s %9.1f | %10.1f %10s %6s | %10.3f %10s %6s\n", name.c_str(),
                  text ? "text" : "bin", mb * 1e3, mb / ours, "fails", "-", oursLoad * 1e3, "fails",
                  "-");
      continue;
    }
    const double theirs = TimeOf([&] { AssimpRead(importer, bytes, 0); });
    const double theirsLoad =
        TimeOf([&] { AssimpRead(importer, bytes, aiProcessPreset_TargetRealtime_Quality); });
    const double ratio = theirs / ours, loadRatio = theirsLoad / oursLoad;
    (text ? worstText : worstBinary) = std::min(text ? worstText : worstBinary, ratio);
    worstLoad = std::min(worstLoad, loadRatio);
    std::printf("%-32s %-5s %9.1f | %10.1f %10.1f %5.2fx | %10.3f %10.3f %5.2fx\n", name.c_str(),
                text ? "text" : "bin", mb * 1e3, mb / ours, mb / theirs, ratio, oursLoad * 1e3,
                theirsLoad * 1e3, loadRatio);
    std::fflush(stdout);
  }
  std::printf("slowest against assimp: text parse %.2fx, binary parse %.2fx, whole load %.2fx\n",
              worstText, worstBinary, worstLoad);
}

void Sizes() {
  std::printf("\n%-6s %10s %10s %12s %12s\n", "kind", "MB", "ms", "MB/s", "ns per byte");
  // Spheres whose text form is about 0.1, 1, 4, 16, 35 and 70 MB.
  const int sides[][2] = {{20, 30}, {60, 100}, {120, 200}, {240, 400}, {350, 600}, {500, 840}};
  for (const bool binary : {false, true}) {
    for (const auto& side : sides) {
      const benchx::Sphere sphere = benchx::MakeSphere(side[0], side[1]);
      const std::string file = binary ? benchx::BinaryModel(sphere) : benchx::TextModel(sphere);
      const std::vector<unsigned char> bytes(file.begin(), file.end());
      if (!OurParse(bytes, "sphere.x")) {
        std::printf("generated sphere refused\n");
        return;
      }
      const double s = TimeOf([&] { OurParse(bytes, "sphere.x"); });
      const double mb = static_cast<double>(bytes.size()) / 1e6;
      std::printf("%-6s %10.2f %10.2f %12.1f %12.3f\n", binary ? "bin" : "text", mb, s * 1e3,
                  mb / s, s * 1e9 / static_cast<double>(bytes.size()));
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  fs::path corpus = fs::path(POROMEKO_SOURCE_DIR) / ".." / "shared" / "xcorpus" / "valid";
  bool sizes = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--corpus" && i + 1 < argc) {
      corpus = argv[++i];
    } else if (a == "--sizes") {
      sizes = true;
    } else if (a == "--min-seconds" && i + 1 < argc) {
      gMinSeconds = std::stod(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: poromeko_xfile_compare [--corpus DIR] [--sizes] "
                   "[--min-seconds S]\n");
      return 2;
    }
  }
  Assimp::DefaultLogger::kill();
  if (fs::is_directory(corpus)) {
    Corpus(corpus);
  } else {
    std::printf("no conformance set at %s\n", corpus.string().c_str());
  }
  if (sizes) Sizes();
  return 0;
}
