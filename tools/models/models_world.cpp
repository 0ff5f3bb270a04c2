// The planet, the sky, and the things that grow on the planet: trees, stumps
// and flowers; and the textures they are painted with.
#include <algorithm>
#include <cmath>
#include <functional>

#include "common/model_noise.h"
#include "media/paths.h"
#include "models.h"

namespace models {

using contentgen::Fbm;
using contentgen::Hash01;
using contentgen::Hex;
using contentgen::Mix;
using contentgen::ModelMesh;
using contentgen::Paint;
using contentgen::Rgb;
using contentgen::RgbaImage;
using contentgen::Skin;
using contentgen::SmoothStep;
using contentgen::Swatch;
using engine::Matrix;
using engine::Vec2;
using engine::Vec3;

namespace {

constexpr char kPlanetTexture[] = "Texture/planet_ground.png";
constexpr char kSkyTexture[] = "Texture/sky.png";

// The six faces of a cube sphere: forward, right, up.
struct CubeFace {
  Vec3 fwd, right, up;
};
constexpr CubeFace kFaces[6] = {
    {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},  {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},  {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}},
    {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},
};

// Equal-angle mapping of a face's (s, t) in [0, 1] to a unit direction.
Vec3 CubeDir(int face, float s, float t) {
  const CubeFace& f = kFaces[face];
  const float a = std::tan((2 * s - 1) * engine::kPi / 4);
  const float b = std::tan((2 * t - 1) * engine::kPi / 4);
  return engine::Vec3Normalize(f.fwd + f.right * a + f.up * b);
}

// Faces sit in a 4 x 2 grid of square cells, each with a 2-texel border so
// filtering never reaches the neighbour.
constexpr int kAtlasCols = 4, kAtlasRows = 2, kAtlasBorder = 2;

Vec2 AtlasUv(int face, float s, float t, int cell) {
  const float inner = static_cast<float>(cell - 2 * kAtlasBorder);
  const float w = static_cast<float>(cell * kAtlasCols), h = static_cast<float>(cell * kAtlasRows);
  const float x = static_cast<float>((face % kAtlasCols) * cell + kAtlasBorder) + s * inner;
  const float y = static_cast<float>((face / kAtlasCols) * cell + kAtlasBorder) + t * inner;
  return {x / w, y / h};
}

RgbaImage PaintCubeAtlas(int cell, std::uint32_t fill, Rgb (*colour)(const Vec3&)) {
  RgbaImage img(cell * kAtlasCols, cell * kAtlasRows, fill);
  const float inner = static_cast<float>(cell - 2 * kAtlasBorder);
  for (int face = 0; face < 6; ++face) {
    const int ox = (face % kAtlasCols) * cell, oy = (face / kAtlasCols) * cell;
    for (int y = 0; y < cell; ++y) {
      for (int x = 0; x < cell; ++x) {
        const float s = (static_cast<float>(x - kAtlasBorder) + 0.5f) / inner;
        const float t = (static_cast<float>(y - kAtlasBorder) + 0.5f) / inner;
        const Rgb c = colour(CubeDir(face, s, t));
        std::uint8_t* p = img.At(ox + x, oy + y);
        p[0] = static_cast<std::uint8_t>(std::lround(std::clamp(c.r, 0.0f, 1.0f) * 255));
        p[1] = static_cast<std::uint8_t>(std::lround(std::clamp(c.g, 0.0f, 1.0f) * 255));
        p[2] = static_cast<std::uint8_t>(std::lround(std::clamp(c.b, 0.0f, 1.0f) * 255));
      }
    }
  }
  return img;
}

float PlanetHills(const Vec3& d) { return Fbm(d * 2.3f, 4, 101); }

// One of the planet's sandy paths: the distance of d from a wobbly great
// circle.
float PathDistance(const Vec3& d, const Vec3& normal, std::uint32_t seed) {
  return std::fabs(engine::Vec3Dot(d, engine::Vec3Normalize(normal)) +
                   0.06f * Fbm(d * 3.0f, 3, seed));
}

Rgb PlanetColour(const Vec3& d) {
  const Rgb grass = Hex(0x7CCB5B), grassDark = Hex(0x5DAE4A), grassLight = Hex(0xA4DD74);
  const float broad = Fbm(d * 5.0f, 4, 201);
  const float fine = Fbm(d * 60.0f, 2, 202);
  Rgb c = Mix(grassDark, grass, std::clamp(0.55f + 0.9f * broad, 0.0f, 1.0f));
  c = Mix(c, grassLight, std::clamp(PlanetHills(d) * 1.4f, 0.0f, 0.6f));
  c = Mix(c, fine > 0 ? grassLight : grassDark, std::fabs(fine) * 0.35f);

  // Meadows: patches full of little flower dots.
  const float meadow = SmoothStep(0.12f, 0.3f, Fbm(d * 3.1f, 3, 203));
  if (meadow > 0) {
    c = Mix(c, Hex(0xA8E07A), meadow * 0.35f);
    const Vec3 q = d * 45.0f;
    const auto cx = static_cast<std::int32_t>(std::floor(q.x)),
               cy = static_cast<std::int32_t>(std::floor(q.y)),
               cz = static_cast<std::int32_t>(std::floor(q.z));
    for (int dz = -1; dz <= 1; ++dz)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const std::int32_t x = cx + dx, y = cy + dy, z = cz + dz;
          if (Hash01(x, y, z, 301) > 0.7f * meadow) continue;
          const Vec3 p{static_cast<float>(x) + Hash01(x, y, z, 302),
                       static_cast<float>(y) + Hash01(x, y, z, 303),
                       static_cast<float>(z) + Hash01(x, y, z, 304)};
          const float dist = engine::Vec3Length(q - p);
          const float r = 0.3f;
          if (dist < r) {
            static const std::uint32_t kPetals[] = {0xFF9EC4, 0xB79CFF, 0xFFD84A, 0xFFF6E0,
                                                    0xFF7A6B};
            const auto pick = static_cast<std::size_t>(Hash01(x, y, z, 305) * 5) % 5;
            const Rgb petal = Hex(kPetals[pick]);
            c = dist < 0.1f ? Hex(0xFFD84A) : Mix(petal, c, SmoothStep(r * 0.8f, r, dist));
          }
        }
  }

  // Sandy paths with a soft darker rim.
  const Vec3 pathNormals[3] = {{1, 0, 0.35f}, {0.3f, 0.45f, 1}, {0.2f, 1, -0.55f}};
  for (int k = 0; k < 3; ++k) {
    const float dist = PathDistance(d, pathNormals[k], 401 + static_cast<std::uint32_t>(k));
    const float width = 0.017f;
    const float rim = 1 - SmoothStep(width, width + 0.008f, dist);
    c = Mix(c, Mix(c, grassDark, 0.6f), rim * 0.5f);
    const float sand = 1 - SmoothStep(width - 0.004f, width, dist);
    const float grain = Fbm(d * 120.0f, 2, 410);
    c = Mix(c, Mix(Hex(0xF6E3AE), Hex(0xE8CC8A), 0.5f + 0.5f * grain), sand);
  }
  return c;
}

Rgb SkyColour(const Vec3& d) {
  const Rgb top = Hex(0x6EC6FF), horizon = Hex(0xCFF0FF);
  const float tone = 0.5f + 0.5f * Fbm(d * 1.4f, 3, 501);
  Rgb c = Mix(horizon, top, SmoothStep(0.25f, 0.75f, tone));
  const float cloud = Fbm(d * 3.2f + Vec3{2.1f, 0.4f, 5.3f}, 5, 502);
  const float cover = SmoothStep(0.08f, 0.3f, cloud);
  const float puff = SmoothStep(0.1f, 0.45f, Fbm(d * 7.0f, 3, 503));
  const Rgb cloudColour = Mix(Hex(0xE4F1FF), Hex(0xFFFFFF), 0.4f + 0.6f * puff);
  return Mix(c, cloudColour, cover * 0.92f);
}

// A cube sphere of n x n cells per face, with positions from `radius` (a
// function of the unit direction) and atlas texture coordinates.
void AddCubeSphere(ModelMesh& mesh, int n, int cell,
                   const std::function<float(const Vec3&)>& radius, bool inward, int material) {
  const Vec3 centre{};
  const std::size_t first = mesh.Vertices().size();
  for (int face = 0; face < 6; ++face) {
    const std::size_t start = mesh.AddSurface(
        n, n, [&](float s, float t) { return CubeDir(face, s, t) * radius(CubeDir(face, s, t)); },
        Paint{}, material, Skin{}, inward, &centre);
    mesh.SetUvs(start, n, n, [&](float s, float t) { return AtlasUv(face, s, t, cell); });
  }
  mesh.SmoothNormals(first);
}

float PlanetRadius(const Vec3& d) { return 1.0f + 0.03f * PlanetHills(d); }
float SkyRadius(const Vec3&) { return 15.0f; }

contentgen::XMaterialDesc TexturedMaterial(const char* texture, float diffuse) {
  contentgen::XMaterialDesc m;
  m.r = m.g = m.b = diffuse;
  m.a = 1;
  m.texture = texture;
  return m;
}

Model StaticModel(const char* path, ModelMesh mesh, const std::string& texture) {
  Model m;
  m.path = path;
  contentgen::XFrameDesc frame;
  frame.name = "Scene";
  frame.meshes.push_back(mesh.ToXMesh(""));
  m.file.frames.push_back(std::move(frame));
  m.mesh = std::move(mesh);
  m.texture = texture;
  return m;
}

Matrix At(float x, float y, float z) { return engine::MatrixTranslation(x, y, z); }

}  // namespace

std::map<std::string, RgbaImage> MakeModelTextures() {
  std::map<std::string, RgbaImage> t;
  RgbaImage palette(contentgen::kPaletteSize, contentgen::kPaletteSize, 0xFFF6E0);
  palette.pixels = contentgen::PalettePixels();
  t[contentgen::kPaletteTexture] = std::move(palette);
  t[kPlanetTexture] = PaintCubeAtlas(512, 0x7CCB5B, PlanetColour);
  t[kSkyTexture] = PaintCubeAtlas(256, 0xCFF0FF, SkyColour);
  return t;
}

namespace {

// The game takes the bounding sphere (mean centre, farthest point) as the
// planet: measure the hills once, then scale them so that sphere is 1.
float PlanetScale() {
  ModelMesh probe;
  AddCubeSphere(probe, 32, 512, PlanetRadius, false, probe.AddMaterial({}));
  Vec3 centre;
  for (const auto& v : probe.Vertices()) centre += v.pos;
  centre = centre * (1.0f / static_cast<float>(probe.Vertices().size()));
  float far = 0;
  for (const auto& v : probe.Vertices()) far = std::max(far, engine::Vec3Length(v.pos - centre));
  return 1.0f / far;
}

}  // namespace

float PlanetGround(const Vec3& dir) {
  static const float scale = PlanetScale();
  return PlanetRadius(dir) * scale;
}

Model MakePlanet() {
  const float scale = PlanetScale();

  ModelMesh mesh;
  const int mat = mesh.AddMaterial(TexturedMaterial(kPlanetTexture, 0.85f));
  AddCubeSphere(
      mesh, 32, 512, [scale](const Vec3& d) { return PlanetRadius(d) * scale; }, false, mat);
  return StaticModel(content::model::kPlanet, std::move(mesh), kPlanetTexture);
}

Model MakeSky() {
  ModelMesh mesh;
  const int mat = mesh.AddMaterial(TexturedMaterial(kSkyTexture, 1.0f));
  AddCubeSphere(mesh, 10, 256, SkyRadius, true, mat);
  return StaticModel(content::model::kSkySphere, std::move(mesh), kSkyTexture);
}

Model MakeTree() {
  ModelMesh mesh;
  const int mat = mesh.AddMaterial(contentgen::PaletteMaterial(0.85f));
  const Skin none;
  // Trunk: flared foot, slim where the beetles rest (1.5 up), into the crown.
  const float r = kTreeTrunkRadius;
  mesh.AddLathe({{0, 6.4f},
                 {0.3f, 6.3f},
                 {0.36f, 5.2f},
                 {0.42f, 4.0f},
                 {0.46f, 2.8f},
                 {r, 1.5f},
                 {0.56f, 0.8f},
                 {0.7f, 0.35f},
                 {0.92f, 0.08f},
                 {0.95f, 0.0f},
                 {0.0f, -0.05f}},
                Matrix{}, 16, Paint{Swatch::kWood, true}, mat, none);
  // Two short branches reaching into the crown.
  mesh.AddTube({{0, 4.2f, 0}, {0.9f, 5.0f, 0.2f}, {1.5f, 5.9f, 0.3f}}, {0.22f, 0.17f, 0.12f}, 10,
               Paint{Swatch::kWood, false}, mat, none);
  mesh.AddTube({{0, 4.6f, 0}, {-0.7f, 5.4f, -0.4f}, {-1.2f, 6.2f, -0.6f}}, {0.2f, 0.15f, 0.11f}, 10,
               Paint{Swatch::kWood, false}, mat, none);
  // A knot hole on the front.
  mesh.AddEllipsoid({0.13f, 0.18f, 0.06f}, At(0, 2.6f, -0.45f), 10, 6,
                    Paint{Swatch::kWoodDark, false}, mat, none);
  // Crown: a cluster of round leaf balls.
  struct Blob {
    Vec3 c;
    float r;
  };
  const Blob blobs[] = {{{0, 7.6f, 0}, 2.5f},         {{1.7f, 6.9f, 0.4f}, 1.7f},
                        {{-1.6f, 7.0f, -0.3f}, 1.8f}, {{0.3f, 6.8f, 1.6f}, 1.7f},
                        {{-0.2f, 6.9f, -1.7f}, 1.7f}, {{0.6f, 9.2f, 0.2f}, 1.6f},
                        {{-0.9f, 8.9f, 0.8f}, 1.3f}};
  for (const Blob& b : blobs)
    mesh.AddEllipsoid({b.r, b.r * 0.92f, b.r}, At(b.c.x, b.c.y, b.c.z), 18, 12,
                      Paint{Swatch::kLeaf, true}, mat, none);
  // Round fruit peeking out of the leaves.
  const Vec3 fruit[] = {{1.9f, 6.4f, -1.0f}, {-1.5f, 6.2f, -1.4f}, {0.4f, 7.0f, -2.45f},
                        {2.2f, 7.8f, 0.9f},  {-2.4f, 7.5f, 0.6f},  {-0.6f, 9.6f, -1.2f}};
  for (const Vec3& f : fruit)
    mesh.AddEllipsoid({0.3f, 0.3f, 0.3f}, At(f.x, f.y, f.z), 10, 7, Paint{Swatch::kCoral, false},
                      mat, none);
  return StaticModel(content::model::kTree, std::move(mesh), contentgen::kPaletteTexture);
}

Model MakeStump() {
  ModelMesh mesh;
  const int mat = mesh.AddMaterial(contentgen::PaletteMaterial(0.85f));
  const Skin none;
  // Low enough that a fly hovering 1.5 above the ground clears the top at
  // every placed scale.
  const Matrix squat = engine::MatrixScaling(1, 0.88f, 1);
  mesh.AddLathe({{0, 1.3f},
                 {1.1f, 1.3f},
                 {1.18f, 1.24f},
                 {1.2f, 1.0f},
                 {1.25f, 0.5f},
                 {1.4f, 0.15f},
                 {1.5f, 0.0f},
                 {0, -0.05f}},
                squat, 20, Paint{Swatch::kWood, true}, mat, none);
  // The cut face: rings.
  mesh.AddLathe({{0, 1.34f}, {1.0f, 1.33f}, {1.06f, 1.29f}, {0, 1.28f}}, squat, 20,
                Paint{Swatch::kWoodRings, false}, mat, none);
  mesh.AddLathe({{0, 1.36f}, {0.62f, 1.355f}, {0.66f, 1.33f}, {0, 1.32f}}, squat, 20,
                Paint{Swatch::kWood, false}, mat, none);
  mesh.AddLathe({{0, 1.375f}, {0.26f, 1.37f}, {0.3f, 1.35f}, {0, 1.34f}}, squat, 16,
                Paint{Swatch::kWoodRings, false}, mat, none);
  // Two little mushrooms at the foot.
  const Vec3 shrooms[] = {{1.35f, 0, -0.7f}, {-1.0f, 0, -1.15f}};
  const float sizes[] = {1.0f, 0.75f};
  for (int i = 0; i < 2; ++i) {
    const Vec3 p = shrooms[i];
    const float s = sizes[i];
    mesh.AddLathe({{0, 0.45f * s}, {0.1f * s, 0.44f * s}, {0.1f * s, 0}, {0, -0.02f}},
                  At(p.x, p.y, p.z), 10, Paint{Swatch::kCream, false}, mat, none);
    mesh.AddLathe({{0, 0.72f * s},
                   {0.18f * s, 0.68f * s},
                   {0.3f * s, 0.56f * s},
                   {0.33f * s, 0.44f * s},
                   {0, 0.42f * s}},
                  At(p.x, p.y, p.z), 12, Paint{Swatch::kCoral, false}, mat, none);
  }
  return StaticModel(content::model::kStump, std::move(mesh), contentgen::kPaletteTexture);
}

}  // namespace models
