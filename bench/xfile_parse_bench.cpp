// .x reading speed on a large generated model: a UV sphere of 200k triangles
// with normals and texture coordinates, written once in text and in binary.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/xfile_models.h"
#include "platform/hierarchy.h"
#include "platform/xfile/basic_allocator.h"
#include "platform/xfile/xscene.h"

namespace {

constexpr int kStacks = 250;
constexpr int kSlices = 400;  // 2 * 250 * 400 = 200,000 triangles

const std::string& Text() {
  static const std::string text = benchx::TextModel(benchx::MakeSphere(kStacks, kSlices));
  return text;
}
const std::string& Binary() {
  static const std::string bin = benchx::BinaryModel(benchx::MakeSphere(kStacks, kSlices));
  return bin;
}

void ParseAndRead(benchmark::State& state, const std::string& file) {
  for (auto _ : state) {
    platform::xfile::Scene scene;
    std::string error;
    const bool ok = platform::xfile::LoadScene(reinterpret_cast<const unsigned char*>(file.data()),
                                               file.size(), "sphere.x", &scene, &error);
    if (!ok) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(scene);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.size()));
  state.counters["fileMB"] = static_cast<double>(file.size()) / 1e6;
}

void BM_XFileParseText(benchmark::State& state) { ParseAndRead(state, Text()); }
void BM_XFileParseBinary(benchmark::State& state) { ParseAndRead(state, Binary()); }

// Parsing plus triangulation, vertex splitting and mesh creation (no device).
void BM_XFileLoadHierarchyText(benchmark::State& state) {
  const std::string& file = Text();
  for (auto _ : state) {
    platform::xfile::BasicAllocator alloc;
    platform::Frame* root = nullptr;
    std::string error;
    if (!platform::LoadMeshHierarchyFromXInMemory(file.data(), file.size(), "sphere.x", nullptr,
                                                  &alloc, &root, nullptr, &error))
      state.SkipWithError(error.c_str());
    platform::FrameDestroy(root, &alloc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.size()));
}

BENCHMARK(BM_XFileParseText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XFileParseBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XFileLoadHierarchyText)->Unit(benchmark::kMillisecond);

}  // namespace
