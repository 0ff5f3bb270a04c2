// Ray casts against the planet: the ground test every moving object makes
// each frame (up to five rays from its position toward the planet, the
// first straight down, four leaning forward, back and to the sides).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/hierarchy.h"
#include "engine/mesh.h"

namespace {

using engine::IntersectResult;
using engine::Mesh;
using engine::Vec3;

// A latitude/longitude sphere of radius 1 with gentle hills:
// 64 x 128 quads = 16384 triangles, position + normal + texcoord vertices
// as the loader makes them.
Mesh* MakePlanet() {
  const int rings = 64, segments = 128;
  const std::uint32_t fvf = platform::kFvfXyz | platform::kFvfNormal | platform::kFvfTex1;
  const std::uint32_t stride = platform::GetFVFVertexSize(fvf);
  std::vector<unsigned char> bytes;
  std::uint32_t count = 0;
  for (int r = 0; r <= rings; ++r) {
    float theta = engine::kPi * static_cast<float>(r) / rings;
    for (int s = 0; s <= segments; ++s) {
      float phi = 2.0f * engine::kPi * static_cast<float>(s) / segments;
      float rad = 1.0f + 0.02f * std::sin(4.0f * theta) * std::cos(6.0f * phi) +
                  0.01f * std::sin(11.0f * phi + 3.0f * theta);
      Vec3 p{rad * std::sin(theta) * std::cos(phi), rad * std::cos(theta),
             rad * std::sin(theta) * std::sin(phi)};
      bytes.resize(static_cast<std::size_t>(count + 1) * stride, 0);
      std::memcpy(bytes.data() + static_cast<std::size_t>(count) * stride, &p, sizeof p);
      ++count;
    }
  }
  std::vector<std::uint32_t> idx;
  auto at = [&](int r, int s) { return static_cast<std::uint32_t>(r * (segments + 1) + s); };
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      idx.insert(idx.end(), {at(r, s), at(r + 1, s), at(r + 1, s + 1)});
      idx.insert(idx.end(), {at(r, s), at(r + 1, s + 1), at(r, s + 1)});
    }
  }
  std::vector<std::uint32_t> attributes(idx.size() / 3, 0);
  return Mesh::Create(nullptr, fvf, std::move(bytes), std::move(idx), std::move(attributes));
}

struct Ray {
  Vec3 pos, dir;
};

// Five rays per object: origin 1.02 - 1.2 from the centre, directions down
// and leaning by about ten degrees forward, back, left and right, scaled by
// 1/60 as the game's world-to-mesh transform leaves them.
std::vector<Ray> MakeRays(int objects) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_real_distribution<float> height(1.02f, 1.2f);
  const float lean = std::tan(10.0f * engine::kDegToRad);
  std::vector<Ray> rays;
  for (int o = 0; o < objects; ++o) {
    Vec3 up = engine::Vec3Normalize({unit(rng), unit(rng), unit(rng)});
    Vec3 side = engine::Vec3Normalize(engine::Vec3Cross(up, {unit(rng), unit(rng), unit(rng)}));
    Vec3 fwd = engine::Vec3Cross(side, up);
    Vec3 pos = up * height(rng);
    const Vec3 leans[5] = {{0, 0, 0}, fwd * lean, fwd * -lean, side * lean, side * -lean};
    for (const Vec3& l : leans) {
      rays.push_back({pos, engine::Vec3Normalize(-up + l) * (1.0f / 60.0f)});
    }
  }
  return rays;
}

struct Scene {
  Mesh* planet = MakePlanet();
  std::vector<Ray> rays = MakeRays(200);
  ~Scene() { planet->Release(); }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

template <bool kBruteForce>
double CastAll(const Scene& s) {
  double sum = 0;
  for (const Ray& r : s.rays) {
    IntersectResult hit = kBruteForce ? s.planet->IntersectBruteForce(r.pos, r.dir)
                                      : s.planet->Intersect(r.pos, r.dir);
    sum += hit.distance;
  }
  return sum;
}

void BM_GroundRaysBvh(benchmark::State& state) {
  Scene& s = TheScene();
  for (auto _ : state) benchmark::DoNotOptimize(CastAll<false>(s));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.rays.size()));
  state.counters["faces"] = s.planet->GetNumFaces();
}
BENCHMARK(BM_GroundRaysBvh)->Unit(benchmark::kMicrosecond);

void BM_GroundRaysBruteForce(benchmark::State& state) {
  Scene& s = TheScene();
  for (auto _ : state) benchmark::DoNotOptimize(CastAll<true>(s));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(s.rays.size()));
}
BENCHMARK(BM_GroundRaysBruteForce)->Unit(benchmark::kMillisecond);

// Both on the same rays; "speedup" is brute-force time over hierarchy time.
void BM_GroundRaysSpeedup(benchmark::State& state) {
  Scene& s = TheScene();
  using Clock = std::chrono::steady_clock;
  double bvh = 0, brute = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    benchmark::DoNotOptimize(CastAll<false>(s));
    auto t1 = Clock::now();
    benchmark::DoNotOptimize(CastAll<true>(s));
    auto t2 = Clock::now();
    bvh += std::chrono::duration<double>(t1 - t0).count();
    brute += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["speedup"] = bvh > 0 ? brute / bvh : 0;
  double rays = static_cast<double>(state.iterations()) * static_cast<double>(s.rays.size());
  state.counters["bvh_ns_per_ray"] = rays > 0 ? bvh / rays * 1e9 : 0;
  state.counters["brute_ns_per_ray"] = rays > 0 ? brute / rays * 1e9 : 0;
}
BENCHMARK(BM_GroundRaysSpeedup)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same rays against the game's own planet model (skipped when the
// content is missing).
void BM_GroundRaysPlanetModel(benchmark::State& state) {
  static Mesh* model = [] {
    Mesh* m = nullptr;
    std::vector<engine::XMaterial> materials;
    std::string path = std::string(POROMEKO_SOURCE_DIR) + "/content/XFile/planet.x";
    return engine::LoadMeshFromX(path, nullptr, &m, &materials) ? m : nullptr;
  }();
  if (!model) {
    state.SkipWithError("content/XFile/planet.x did not load");
    return;
  }
  Vec3 centre;
  float radius = 1;
  engine::ComputeBoundingSphere(model->Vertices(), model->GetNumVertices(),
                                model->GetNumBytesPerVertex(), &centre, &radius);
  std::vector<Ray> rays = MakeRays(200);
  for (Ray& r : rays) r.pos = r.pos * radius;
  for (auto _ : state) {
    double sum = 0;
    for (const Ray& r : rays) sum += model->Intersect(r.pos, r.dir).distance;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rays.size()));
  state.counters["faces"] = model->GetNumFaces();
}
BENCHMARK(BM_GroundRaysPlanetModel)->Unit(benchmark::kMicrosecond);

// Building the hierarchy is part of loading the planet.
void BM_PlanetCreate(benchmark::State& state) {
  for (auto _ : state) {
    Mesh* m = MakePlanet();
    benchmark::DoNotOptimize(m);
    m->Release();
  }
}
BENCHMARK(BM_PlanetCreate)->Unit(benchmark::kMillisecond);

}  // namespace
