// .x reading speed on a large generated model: a UV sphere of 200k triangles
// with normals and texture coordinates, written once in text and in binary;
// and the decompression of the compressed models of the conformance set
// (../shared/xcorpus/valid), ours beside zlib's, in bytes of output a second.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/xfile_models.h"
#include "engine/hierarchy.h"
#include "engine/xfile/basic_allocator.h"
#include "engine/xfile/xparse.h"
#include "engine/xfile/xscene.h"

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
    engine::xfile::Scene scene;
    std::string error;
    const bool ok = engine::xfile::LoadScene(reinterpret_cast<const unsigned char*>(file.data()),
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
    engine::xfile::BasicAllocator alloc;
    engine::Frame* root = nullptr;
    std::string error;
    if (!engine::LoadMeshHierarchyFromXInMemory(file.data(), file.size(), "sphere.x", nullptr,
                                                &alloc, &root, nullptr, &error))
      state.SkipWithError(error.c_str());
    engine::FrameDestroy(root, &alloc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.size()));
}

// The MSZIP body (after the 16-byte header) of a compressed conformance
// file; empty when the set is absent.
std::vector<unsigned char> CompressedBody(const char* name) {
  const std::filesystem::path path =
      std::filesystem::path(POROMEKO_SOURCE_DIR) / ".." / "shared" / "xcorpus" / "valid" / name;
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> file{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  if (file.size() < 16) return {};
  return std::vector<unsigned char>(file.begin() + 16, file.end());
}

// What the reader did before it had its own decoder: zlib, with each
// block's dictionary handed over from the output before it.
bool ZlibMsZip(const std::vector<unsigned char>& body, engine::xfile::ByteBuffer* out) {
  out->clear();
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return false;
  bool ok = true;
  for (std::size_t off = 4; ok && off + 6 <= body.size();) {
    const std::size_t raw = body[off] | (body[off + 1] << 8);
    const std::size_t packed = body[off + 2] | (body[off + 3] << 8);
    inflateReset(&zs);
    if (!out->empty()) {
      const std::size_t dict = std::min<std::size_t>(out->size(), 32768);
      inflateSetDictionary(&zs, out->data() + out->size() - dict, static_cast<uInt>(dict));
    }
    const std::size_t start = out->size();
    out->resize(start + raw);
    zs.next_in = const_cast<Bytef*>(body.data() + off + 6);
    zs.avail_in = static_cast<uInt>(packed - 2);
    zs.next_out = out->data() + start;
    zs.avail_out = static_cast<uInt>(raw);
    const int r = inflate(&zs, Z_SYNC_FLUSH);
    ok = (r == Z_OK || r == Z_STREAM_END || r == Z_BUF_ERROR) && zs.avail_out == 0;
    off += 4 + packed;
  }
  inflateEnd(&zs);
  return ok;
}

void Inflate(benchmark::State& state, const char* name, bool zlib) {
  const std::vector<unsigned char> body = CompressedBody(name);
  if (body.empty()) {
    state.SkipWithError("the conformance set is not at ../shared/xcorpus");
    return;
  }
  engine::xfile::ByteBuffer out;
  std::string error;
  for (auto _ : state) {
    const bool ok = zlib ? ZlibMsZip(body, &out)
                         : engine::xfile::InflateMsZip(body.data(), body.size(), &out, &error);
    if (!ok) state.SkipWithError("inflate failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(out.size()));
}

void BM_XFileInflateDwarf(benchmark::State& state) { Inflate(state, "Dwarf.x", false); }
void BM_XFileInflateDwarfZlib(benchmark::State& state) { Inflate(state, "Dwarf.x", true); }
void BM_XFileInflateBat(benchmark::State& state) { Inflate(state, "bat.x", false); }
void BM_XFileInflateBatZlib(benchmark::State& state) { Inflate(state, "bat.x", true); }

BENCHMARK(BM_XFileParseText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XFileParseBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XFileLoadHierarchyText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XFileInflateDwarf)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_XFileInflateDwarfZlib)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_XFileInflateBat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_XFileInflateBatZlib)->Unit(benchmark::kMicrosecond);

}  // namespace
