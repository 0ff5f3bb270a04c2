// .x reading speed on a large generated model: a UV sphere of 200k triangles
// with normals and texture coordinates, written once in text and in binary.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/hierarchy.h"
#include "platform/xfile/basic_allocator.h"
#include "platform/xfile/xscene.h"

namespace {

constexpr int kStacks = 250;
constexpr int kSlices = 400;  // 2 * 250 * 400 = 200,000 triangles

struct Sphere {
  std::vector<float> positions, normals, uvs;
  std::vector<std::uint32_t> faces;  // triangles
};

Sphere MakeSphere() {
  Sphere s;
  for (int i = 0; i <= kStacks; ++i) {
    const float phi = 3.14159265f * static_cast<float>(i) / kStacks;
    for (int j = 0; j <= kSlices; ++j) {
      const float theta = 6.2831853f * static_cast<float>(j) / kSlices;
      const float x = std::sin(phi) * std::cos(theta), y = std::cos(phi),
                  z = std::sin(phi) * std::sin(theta);
      s.positions.insert(s.positions.end(), {x, y, z});
      s.normals.insert(s.normals.end(), {x, y, z});
      s.uvs.insert(s.uvs.end(), {static_cast<float>(j) / kSlices, static_cast<float>(i) / kStacks});
    }
  }
  for (int i = 0; i < kStacks; ++i) {
    for (int j = 0; j < kSlices; ++j) {
      const auto a = static_cast<std::uint32_t>(i * (kSlices + 1) + j);
      const auto b = a + kSlices + 1;
      s.faces.insert(s.faces.end(), {a, b, a + 1, a + 1, b, b + 1});
    }
  }
  return s;
}

std::string TextModel(const Sphere& s) {
  std::string out =
      "xof 0303txt 0032\nFrame Planet {\n FrameTransformMatrix { 1.000000,0,0,0,"
      "0,1.000000,0,0,0,0,1.000000,0,0,0,0,1.000000;; }\n Mesh Sphere {\n";
  char buf[128];
  const std::size_t nv = s.positions.size() / 3, nf = s.faces.size() / 3;
  auto vectors = [&](const std::vector<float>& v, int n, std::size_t count) {
    out += std::to_string(count) + ";\n";
    for (std::size_t i = 0; i < count; ++i) {
      if (n == 3) {
        std::snprintf(buf, sizeof buf, "%f;%f;%f;%s\n", v[3 * i], v[3 * i + 1], v[3 * i + 2],
                      i + 1 < count ? "," : ";");
      } else {
        std::snprintf(buf, sizeof buf, "%f;%f;%s\n", v[2 * i], v[2 * i + 1],
                      i + 1 < count ? "," : ";");
      }
      out += buf;
    }
  };
  auto faces = [&] {
    out += std::to_string(nf) + ";\n";
    for (std::size_t f = 0; f < nf; ++f) {
      std::snprintf(buf, sizeof buf, "3;%u,%u,%u;%s\n", s.faces[3 * f], s.faces[3 * f + 1],
                    s.faces[3 * f + 2], f + 1 < nf ? "," : ";");
      out += buf;
    }
  };
  vectors(s.positions, 3, nv);
  faces();
  out += "MeshNormals {\n";
  vectors(s.normals, 3, nv);
  faces();
  out += "}\nMeshTextureCoords {\n";
  vectors(s.uvs, 2, nv);
  out +=
      "}\nMeshMaterialList { 1; 1; 0;; Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; "
      "0.0;0.0;0.0;; TextureFilename { \"planet.png\"; } } }\n }\n}\n";
  return out;
}

void U16(std::string* o, std::uint16_t v) { o->append(reinterpret_cast<const char*>(&v), 2); }
void U32(std::string* o, std::uint32_t v) { o->append(reinterpret_cast<const char*>(&v), 4); }
void Name(std::string* o, const char* n) {
  U16(o, 1);
  U32(o, static_cast<std::uint32_t>(std::strlen(n)));
  o->append(n);
}
void Ints(std::string* o, const std::vector<std::uint32_t>& v) {
  U16(o, 6);
  U32(o, static_cast<std::uint32_t>(v.size()));
  o->append(reinterpret_cast<const char*>(v.data()), v.size() * 4);
}
void Floats(std::string* o, const std::vector<float>& v) {
  U16(o, 7);
  U32(o, static_cast<std::uint32_t>(v.size()));
  o->append(reinterpret_cast<const char*>(v.data()), v.size() * 4);
}

std::string BinaryModel(const Sphere& s) {
  std::string o = "xof 0303bin 0032";
  const auto nv = static_cast<std::uint32_t>(s.positions.size() / 3);
  const auto nf = static_cast<std::uint32_t>(s.faces.size() / 3);
  std::vector<std::uint32_t> faces;
  faces.push_back(nf);
  for (std::uint32_t f = 0; f < nf; ++f)
    faces.insert(faces.end(), {3u, s.faces[3 * f], s.faces[3 * f + 1], s.faces[3 * f + 2]});
  Name(&o, "Mesh");
  Name(&o, "Sphere");
  U16(&o, 0x0A);
  Ints(&o, {nv});
  Floats(&o, s.positions);
  Ints(&o, faces);
  Name(&o, "MeshNormals");
  U16(&o, 0x0A);
  Ints(&o, {nv});
  Floats(&o, s.normals);
  Ints(&o, faces);
  U16(&o, 0x0B);
  Name(&o, "MeshTextureCoords");
  U16(&o, 0x0A);
  Ints(&o, {nv});
  Floats(&o, s.uvs);
  U16(&o, 0x0B);
  U16(&o, 0x0B);
  return o;
}

const std::string& Text() {
  static const std::string text = TextModel(MakeSphere());
  return text;
}
const std::string& Binary() {
  static const std::string bin = BinaryModel(MakeSphere());
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
