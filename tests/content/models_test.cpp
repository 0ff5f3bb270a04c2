// The generated models load through the game's .x loaders and have the
// sizes, animation sets and timings the game relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/hierarchy.h"
#include "engine/image.h"
#include "engine/math.h"
#include "engine/mesh.h"
#include "media/paths.h"
#include "platform/graphics.h"
#include "platform/null/device_null.h"

namespace {

using engine::Frame;
using engine::HResult;
using engine::MeshContainer;
using engine::Vec3;

std::string ContentPath(const char* relative) {
  return std::string(POROMEKO_SOURCE_DIR) + "/content/" + relative;
}

// Keeps what the loader hands over, and counts what is alive.
class TestAllocator : public engine::AllocateHierarchy {
 public:
  HResult CreateFrame(const char* name, Frame** out) override {
    auto* f = new Frame;
    f->name = name ? strdup(name) : nullptr;
    ++frames;
    *out = f;
    return engine::kOk;
  }
  HResult CreateMeshContainer(const char* name, engine::Mesh* mesh,
                              const engine::XMaterial* materials, std::uint32_t numMaterials,
                              const std::uint32_t*, engine::SkinInfo* skin,
                              MeshContainer** out) override {
    auto* c = new MeshContainer;
    c->name = name ? strdup(name) : nullptr;
    mesh->AddRef();
    c->mesh = mesh;
    c->numMaterials = numMaterials;
    if (numMaterials) {
      c->materials = new engine::XMaterial[numMaterials];
      for (std::uint32_t i = 0; i < numMaterials; ++i) c->materials[i] = materials[i];
    }
    if (skin) {
      skin->AddRef();
      c->skinInfo = skin;
    }
    ++containers;
    *out = c;
    return engine::kOk;
  }
  HResult DestroyFrame(Frame* f) override {
    free(f->name);
    delete f;
    --frames;
    return engine::kOk;
  }
  HResult DestroyMeshContainer(MeshContainer* c) override {
    free(c->name);
    if (c->mesh) c->mesh->Release();
    if (c->skinInfo) c->skinInfo->Release();
    delete[] c->materials;
    delete c;
    --containers;
    return engine::kOk;
  }
  int frames = 0, containers = 0;
};

// One loaded animated model, torn down on scope exit.
struct Loaded {
  platform::NullDevice device;
  TestAllocator alloc;
  Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  std::string error;
  bool ok = false;
  explicit Loaded(const char* path) {
    ok = engine::LoadMeshHierarchyFromX(ContentPath(path), &device, &alloc, &root, &controller,
                                        &error);
  }
  ~Loaded() {
    if (root) engine::FrameDestroy(root, &alloc);
  }
  std::vector<MeshContainer*> Containers() const {
    std::vector<MeshContainer*> out;
    Walk(root, &out);
    return out;
  }
  double Period(std::uint32_t set) const { return controller->GetAnimationSet(set)->GetPeriod(); }

 private:
  static void Walk(Frame* f, std::vector<MeshContainer*>* out) {
    if (!f) return;
    for (MeshContainer* c = f->meshContainer; c; c = c->nextMeshContainer) out->push_back(c);
    Walk(f->firstChild, out);
    Walk(f->sibling, out);
  }
};

constexpr double kFrame59 = 1.0 / 59.0;

// The rotation angle (radians) of a channel's pose at time t of a set.
float RotationAngle(const engine::AnimationSet& set, const char* frame, double t) {
  for (std::uint32_t i = 0; i < set.GetNumAnimations(); ++i) {
    if (set.GetChannel(i).frameName != frame) continue;
    Vec3 s, tr;
    engine::Quaternion q;
    set.GetSRT(t, i, &s, &q, &tr);
    return 2.0f * std::acos(std::fmin(1.0f, std::fabs(q.w)));
  }
  ADD_FAILURE() << "no channel for " << frame;
  return 0;
}

// Every channel's first and last keys pose alike: the set loops without a jump.
void ExpectSeamless(const engine::AnimationSet& set) {
  for (std::uint32_t i = 0; i < set.GetNumAnimations(); ++i) {
    Vec3 s0, t0, s1, t1;
    engine::Quaternion q0, q1;
    set.GetSRT(0.0, i, &s0, &q0, &t0);
    set.GetSRT(set.GetPeriod(), i, &s1, &q1, &t1);
    const std::string& name = set.GetChannel(i).frameName;
    EXPECT_NEAR(std::fabs(engine::QuaternionDot(q0, q1)), 1.0f, 1e-4f) << set.GetName() << name;
    EXPECT_NEAR(engine::Vec3Length(t0 - t1), 0.0f, 1e-4f) << set.GetName() << name;
    EXPECT_NEAR(engine::Vec3Length(s0 - s1), 0.0f, 1e-4f) << set.GetName() << name;
  }
}

// Bounds of all mesh positions (bind pose) of a loaded model.
void Bounds(const Loaded& m, Vec3* lo, Vec3* hi) {
  *lo = {1e9f, 1e9f, 1e9f};
  *hi = {-1e9f, -1e9f, -1e9f};
  for (MeshContainer* c : m.Containers()) {
    for (std::uint32_t v = 0; v < c->mesh->GetNumVertices(); ++v) {
      const Vec3 p = c->mesh->Position(v);
      lo->x = std::fmin(lo->x, p.x), lo->y = std::fmin(lo->y, p.y), lo->z = std::fmin(lo->z, p.z);
      hi->x = std::fmax(hi->x, p.x), hi->y = std::fmax(hi->y, p.y), hi->z = std::fmax(hi->z, p.z);
    }
  }
}

bool IsHudTexture(const std::string& path) {
  for (const auto& t : content::texture::kAll)
    if (path == t.path) return true;
  return false;
}

struct StaticMesh {
  platform::NullDevice device;
  engine::Mesh* mesh = nullptr;
  std::vector<engine::XMaterial> materials;
  std::string error;
  bool ok;
  explicit StaticMesh(const char* path) {
    ok = engine::LoadMeshFromX(ContentPath(path), &device, &mesh, &materials, &error);
  }
  ~StaticMesh() {
    if (mesh) mesh->Release();
  }
  Vec3 Normal(std::uint32_t v) const {
    Vec3 n;
    std::memcpy(&n, mesh->Vertices() + v * mesh->GetNumBytesPerVertex() + 12, sizeof n);
    return n;
  }
};

TEST(Models, StaticModelsLoadWithTheirOwnExistingTextures) {
  for (const char* path : content::model::kStatic) {
    StaticMesh m(path);
    ASSERT_TRUE(m.ok) << path << ": " << m.error;
    EXPECT_GT(m.mesh->GetNumFaces(), 100u) << path;
    ASSERT_FALSE(m.materials.empty()) << path;
    EXPECT_TRUE(m.mesh->GetFVF() & platform::kFvfNormal) << path;
    for (const auto& mat : m.materials) {
      ASSERT_FALSE(mat.textureFilename.empty()) << path;
      EXPECT_FALSE(IsHudTexture(mat.textureFilename)) << path;
      EXPECT_TRUE(std::filesystem::exists(ContentPath(mat.textureFilename.c_str())))
          << path << " names " << mat.textureFilename;
    }
  }
}

TEST(Models, AnimatedModelsLoadSkinnedWithBonesOnExistingFrames) {
  for (const char* path : content::model::kAnimated) {
    Loaded m(path);
    ASSERT_TRUE(m.ok) << path << ": " << m.error;
    ASSERT_NE(m.controller, nullptr) << path;
    const auto containers = m.Containers();
    ASSERT_FALSE(containers.empty()) << path;
    for (MeshContainer* c : containers) {
      // Skinned, so the game lights it like every other creature.
      ASSERT_NE(c->skinInfo, nullptr) << path;
      ASSERT_GT(c->skinInfo->GetNumBones(), 0u) << path;
      std::vector<float> total(c->mesh->GetNumVertices(), 0.0f);
      for (std::uint32_t b = 0; b < c->skinInfo->GetNumBones(); ++b) {
        EXPECT_NE(engine::FrameFind(m.root, c->skinInfo->GetBoneName(b)), nullptr)
            << path << " bone " << c->skinInfo->GetBoneName(b);
        const auto& bone = c->skinInfo->GetBone(b);
        for (std::size_t k = 0; k < bone.vertices.size(); ++k)
          total[bone.vertices[k]] += bone.weights[k];
      }
      for (std::size_t v = 0; v < total.size(); ++v)
        ASSERT_NEAR(total[v], 1.0f, 1e-3f) << path << " vertex " << v;
      for (std::uint32_t i = 0; i < c->numMaterials; ++i) {
        EXPECT_FALSE(IsHudTexture(c->materials[i].textureFilename));
        EXPECT_TRUE(std::filesystem::exists(ContentPath(c->materials[i].textureFilename.c_str())));
      }
    }
    // Every set drives every frame it names, and the frames exist.
    for (std::uint32_t s = 0; s < m.controller->GetNumAnimationSets(); ++s) {
      const auto* set = m.controller->GetAnimationSet(s);
      for (std::uint32_t i = 0; i < set->GetNumAnimations(); ++i)
        EXPECT_NE(engine::FrameFind(m.root, set->GetChannel(i).frameName.c_str()), nullptr);
    }
  }
}

TEST(Models, PlayerPartsShareFiveSetsWithTheGamesTimings) {
  for (const char* path : {content::model::kPlayerUpBody, content::model::kPlayerDownBody,
                           content::model::kPlayerHand}) {
    Loaded m(path);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_EQ(m.controller->GetNumAnimationSets(), 5u) << path;
    // Sets by index: 0 run, 1 burp, 2 idle, 3 bite, 4 chew.
    const char* names[] = {"Run", "Burp", "Idle", "Bite", "Chew"};
    for (std::uint32_t i = 0; i < 5; ++i)
      EXPECT_EQ(m.controller->GetAnimationSet(i)->GetName(), names[i]) << path;
    EXPECT_GE(m.Period(1), 58 * kFrame59 - 1e-6) << "burp ends by 58/59 within its set";
    EXPECT_GE(m.Period(3), 46 * kFrame59 - 1e-6) << "bite lasts at least 46/59";
    EXPECT_NEAR(m.Period(4), 55 * kFrame59, 1e-6) << "chew";
    EXPECT_GT(m.Period(0), 0.2);
    ExpectSeamless(*m.controller->GetAnimationSet(0));
    ExpectSeamless(*m.controller->GetAnimationSet(2));
  }
}

TEST(Models, BiteSnapsShutAt14And59thsAndBurpPeaksAt20) {
  Loaded m(content::model::kPlayerUpBody);
  ASSERT_TRUE(m.ok) << m.error;
  const auto& bite = *m.controller->GetAnimationSet(3);
  EXPECT_GT(RotationAngle(bite, "Head", 8 * kFrame59), 0.4f) << "wide open before the snap";
  // Opening lifts the front of the head (the creature faces -Z).
  for (std::uint32_t i = 0; i < bite.GetNumAnimations(); ++i) {
    if (bite.GetChannel(i).frameName != "Head") continue;
    Vec3 s, t;
    engine::Quaternion q;
    bite.GetSRT(8 * kFrame59, i, &s, &q, &t);
    const Vec3 front = engine::Vec3TransformNormal({0, 0, -1}, engine::MatrixRotationQuaternion(q));
    EXPECT_GT(front.y, 0.3f);
  }
  EXPECT_LT(RotationAngle(bite, "Head", 14 * kFrame59), 0.06f) << "shut at 14/59";
  for (const char* bone : {"Head", "Jaw", "Body", "Root"})
    EXPECT_LT(RotationAngle(bite, bone, 40 * kFrame59), 1e-3f) << bone << " at rest by 40/59";

  const auto& burp = *m.controller->GetAnimationSet(1);
  const float peak = RotationAngle(burp, "Head", 20 * kFrame59);
  for (int f = 0; f <= 59; ++f) EXPECT_LE(RotationAngle(burp, "Head", f * kFrame59), peak + 1e-4f);
  EXPECT_GT(peak, 0.3f);
  EXPECT_LT(RotationAngle(burp, "Head", 58 * kFrame59), 1e-3f) << "over by 58/59";

  // The chew opens and shuts the mouth several times.
  const auto& chew = *m.controller->GetAnimationSet(4);
  int opens = 0;
  bool open = false;
  for (int f = 0; f <= 55; ++f) {
    const bool now = RotationAngle(chew, "Head", f * kFrame59) > 0.1f;
    opens += now && !open;
    open = now;
  }
  EXPECT_GE(opens, 3);
}

TEST(Models, PlayerIsAboutThreeTallWithItsOriginAboveTheFeet) {
  Vec3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
  for (const char* path : {content::model::kPlayerUpBody, content::model::kPlayerDownBody,
                           content::model::kPlayerHand}) {
    Loaded m(path);
    ASSERT_TRUE(m.ok) << m.error;
    Vec3 l, h;
    Bounds(m, &l, &h);
    lo = {std::fmin(lo.x, l.x), std::fmin(lo.y, l.y), std::fmin(lo.z, l.z)};
    hi = {std::fmax(hi.x, h.x), std::fmax(hi.y, h.y), std::fmax(hi.z, h.z)};
  }
  EXPECT_NEAR(lo.y, -1.5f, 0.06f) << "soles 1.5 below the origin";
  EXPECT_NEAR(hi.y - lo.y, 3.0f, 0.3f);
  EXPECT_LT(hi.x - lo.x, 3.2f);
}

TEST(Models, InsectSetsAndPeriods) {
  {
    Loaded m(content::model::kCaterpillar);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_EQ(m.controller->GetNumAnimationSets(), 1u);
    EXPECT_NEAR(m.Period(0), 59.0 / 60.0, 1e-6);
    ExpectSeamless(*m.controller->GetAnimationSet(0));
  }
  {
    Loaded m(content::model::kButterfly);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_EQ(m.controller->GetNumAnimationSets(), 2u);
    EXPECT_EQ(m.controller->GetAnimationSet(0)->GetName(), "Flight");
    EXPECT_EQ(m.controller->GetAnimationSet(1)->GetName(), "Rest");
    EXPECT_LT(m.Period(0), m.Period(1)) << "flight flaps faster than rest";
    ExpectSeamless(*m.controller->GetAnimationSet(0));
    ExpectSeamless(*m.controller->GetAnimationSet(1));
  }
  {
    Loaded m(content::model::kBeetleBugFly);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_EQ(m.controller->GetNumAnimationSets(), 1u);
    EXPECT_NEAR(m.Period(0), 40 * kFrame59, 1e-6);
    ExpectSeamless(*m.controller->GetAnimationSet(0));
  }
  for (const char* path : {content::model::kFly, content::model::kFlower}) {
    Loaded m(path);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_EQ(m.controller->GetNumAnimationSets(), 1u) << path;
    ExpectSeamless(*m.controller->GetAnimationSet(0));
  }
}

TEST(Models, SizesMatchDrawScalesAndHitRadii) {
  const auto extent = [](const Vec3& lo, const Vec3& hi) {
    return std::fmax(hi.x - lo.x, std::fmax(hi.y - lo.y, hi.z - lo.z));
  };
  Vec3 lo, hi;
  {
    StaticMesh beetle(content::model::kBeetleBug);
    ASSERT_TRUE(beetle.ok) << beetle.error;
    lo = {1e9f, 1e9f, 1e9f};
    hi = {-1e9f, -1e9f, -1e9f};
    for (std::uint32_t v = 0; v < beetle.mesh->GetNumVertices(); ++v) {
      const Vec3 p = beetle.mesh->Position(v);
      lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
      hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
    }
    EXPECT_NEAR(extent(lo, hi), 3.2f, 0.6f) << "beetle length";
    EXPECT_NEAR(lo.y, -0.9f, 0.1f) << "belly rests against the trunk when tilted";
  }
  {
    Loaded fly(content::model::kFly);
    ASSERT_TRUE(fly.ok);
    Bounds(fly, &lo, &hi);
    EXPECT_NEAR(extent(lo, hi), 1.6f, 0.4f);
  }
  {
    Loaded flower(content::model::kFlower);
    ASSERT_TRUE(flower.ok);
    Bounds(flower, &lo, &hi);
    EXPECT_NEAR(lo.y, 0.0f, 0.06f) << "origin at the ground";
    EXPECT_GE(hi.y, 1.0f);
    EXPECT_LE(hi.y, 2.0f);
  }
  {
    StaticMesh tree(content::model::kTree);
    ASSERT_TRUE(tree.ok);
    float top = 0, bottom = 1e9f, trunk = 0;
    for (std::uint32_t v = 0; v < tree.mesh->GetNumVertices(); ++v) {
      const Vec3 p = tree.mesh->Position(v);
      top = std::fmax(top, p.y);
      bottom = std::fmin(bottom, p.y);
      if (std::fabs(p.y - 1.5f) < 0.2f) trunk = std::fmax(trunk, std::hypot(p.x, p.z));
    }
    EXPECT_NEAR(bottom, 0.0f, 0.1f);
    EXPECT_GE(top, 8.0f);
    EXPECT_LE(top, 12.0f);
    EXPECT_NEAR(trunk, 0.5f, 0.12f) << "where the beetle rests, 0.8 from the centre";
  }
  {
    StaticMesh stump(content::model::kStump);
    ASSERT_TRUE(stump.ok);
    float top = 0, radius = 0;
    for (std::uint32_t v = 0; v < stump.mesh->GetNumVertices(); ++v) {
      const Vec3 p = stump.mesh->Position(v);
      top = std::fmax(top, p.y);
      if (p.y > 0.8f && p.y < 1.1f) radius = std::fmax(radius, std::hypot(p.x, p.z));
    }
    EXPECT_NEAR(top, 1.3f, 0.2f);
    // A fly hovers 1.5 above the ground; its legs reach 0.22 below that.
    EXPECT_LT(top * 1.05f, 1.5f - 0.22f) << "at the largest placed stump scale";
    EXPECT_NEAR(radius, 1.25f, 0.15f) << "a fly sits on its top, the foot flares to 1.5";
  }
}

TEST(Models, PlanetIsAUnitBoundingSphereFacingOutAndSkyFacesIn) {
  StaticMesh planet(content::model::kPlanet);
  ASSERT_TRUE(planet.ok) << planet.error;
  Vec3 centre;
  float radius = 0;
  engine::ComputeBoundingSphere(planet.mesh->Vertices(), planet.mesh->GetNumVertices(),
                                planet.mesh->GetNumBytesPerVertex(), &centre, &radius);
  EXPECT_NEAR(radius, 1.0f, 0.01f);
  EXPECT_LT(engine::Vec3Length(centre), 0.01f);
  EXPECT_GE(planet.mesh->GetNumFaces(), 8000u);
  EXPECT_LE(planet.mesh->GetNumFaces(), 20000u);
  float lowest = 1;
  for (std::uint32_t v = 0; v < planet.mesh->GetNumVertices(); ++v) {
    const Vec3 p = planet.mesh->Position(v);
    lowest = std::fmin(lowest, engine::Vec3Length(p));
    ASSERT_GT(engine::Vec3Dot(planet.Normal(v), engine::Vec3Normalize(p)), 0.8f) << v;
  }
  EXPECT_GT(lowest, 0.9f) << "hills are gentle";
  // A ray straight down from above the north pole meets the ground near 1.
  const auto hit = planet.mesh->Intersect({0, 2, 0}, {0, -1, 0});
  ASSERT_TRUE(hit.hit);
  EXPECT_NEAR(2.0f - hit.distance, 1.0f, 0.06f);

  StaticMesh sky(content::model::kSkySphere);
  ASSERT_TRUE(sky.ok) << sky.error;
  for (std::uint32_t v = 0; v < sky.mesh->GetNumVertices(); ++v) {
    const Vec3 p = sky.mesh->Position(v);
    ASSERT_NEAR(engine::Vec3Length(p), 15.0f, 0.05f);
    ASSERT_LT(engine::Vec3Dot(sky.Normal(v), engine::Vec3Normalize(p)), -0.9f) << v;
  }
}

// Texture coordinates of every vertex of a mesh, wherever its FVF puts them.
std::vector<engine::Vec2> TexCoords(const engine::Mesh& mesh) {
  const std::uint32_t fvf = mesh.GetFVF();
  std::uint32_t offset = 12;
  switch (fvf & platform::kFvfPositionMask) {
    case platform::kFvfXyzB1: offset = 16; break;
    case platform::kFvfXyzB2: offset = 20; break;
    case platform::kFvfXyzB3: offset = 24; break;
    case platform::kFvfXyzB4: offset = 28; break;
    case platform::kFvfXyzB5: offset = 32; break;
    default: break;
  }
  if (fvf & platform::kFvfNormal) offset += 12;
  if (fvf & platform::kFvfDiffuse) offset += 4;
  if (fvf & platform::kFvfSpecular) offset += 4;
  std::vector<engine::Vec2> uvs;
  if ((fvf & platform::kFvfTexCountMask) == 0) return uvs;
  for (std::uint32_t v = 0; v < mesh.GetNumVertices(); ++v) {
    engine::Vec2 uv;
    std::memcpy(&uv, mesh.Vertices() + v * mesh.GetNumBytesPerVertex() + offset, sizeof uv);
    uvs.push_back(uv);
  }
  return uvs;
}

// How far (in texels) a coordinate is from the nearest border of its cell.
float FromCellBorder(float coord, float texels, float cell) {
  const float t = coord * texels;
  const float in = t - cell * std::floor(t / cell);
  return std::fmin(in, cell - in);
}

TEST(ModelTextures, PowerOfTwoAndEveryTexcoordStaysInsideItsCell) {
  std::map<std::string, engine::Image> images;
  const auto check = [&](const char* model, const engine::Mesh& mesh, const std::string& tex) {
    if (!images.count(tex)) {
      engine::Image img;
      std::string error;
      ASSERT_TRUE(engine::LoadPng(ContentPath(tex.c_str()), &img, &error)) << error;
      EXPECT_EQ(img.width & (img.width - 1), 0u) << tex;
      EXPECT_EQ(img.height & (img.height - 1), 0u) << tex;
      images[tex] = std::move(img);
    }
    const engine::Image& img = images[tex];
    const auto uvs = TexCoords(mesh);
    ASSERT_EQ(uvs.size(), mesh.GetNumVertices()) << model;
    const bool atlas = tex != "Texture/model_palette.png";
    // The palette has 32-texel colour cells; the planet and sky put the six
    // faces of a cube in a 4 x 2 grid of square cells, the last two unused.
    const float cellW = atlas ? static_cast<float>(img.width) / 4 : 32;
    const float cellH = atlas ? static_cast<float>(img.height) / 2 : 32;
    const float margin = atlas ? 1.5f : 3.0f;
    for (std::size_t v = 0; v < uvs.size(); ++v) {
      const engine::Vec2 uv = uvs[v];
      ASSERT_TRUE(uv.x >= 0 && uv.x <= 1 && uv.y >= 0 && uv.y <= 1) << model << " vertex " << v;
      ASSERT_GE(FromCellBorder(uv.x, static_cast<float>(img.width), cellW), margin)
          << model << " vertex " << v << " u " << uv.x;
      ASSERT_GE(FromCellBorder(uv.y, static_cast<float>(img.height), cellH), margin)
          << model << " vertex " << v << " v " << uv.y;
      if (atlas) {
        const int cell = static_cast<int>(uv.x * 4) + 4 * static_cast<int>(uv.y * 2);
        ASSERT_LT(cell, 6) << model << " vertex " << v;
      }
    }
  };
  for (const char* path : content::model::kStatic) {
    StaticMesh m(path);
    ASSERT_TRUE(m.ok) << m.error;
    check(path, *m.mesh, m.materials.front().textureFilename);
  }
  for (const char* path : content::model::kAnimated) {
    Loaded m(path);
    ASSERT_TRUE(m.ok) << m.error;
    for (MeshContainer* c : m.Containers()) check(path, *c->mesh, c->materials[0].textureFilename);
  }
}

TEST(Models, CaterpillarTailStaysPlantedWhileTheGameMovesItForward) {
  Loaded m(content::model::kCaterpillar);
  ASSERT_TRUE(m.ok) << m.error;
  const auto& crawl = *m.controller->GetAnimationSet(0);
  // The game steps the caterpillar 0.05 a frame while its clock is in
  // [0.5, 59/60), 29 frames, drawn at scale 1.5.
  const float travel = 0.05f * 29 / 1.5f;
  const auto z = [&](const char* frame, double t) {
    for (std::uint32_t i = 0; i < crawl.GetNumAnimations(); ++i) {
      if (crawl.GetChannel(i).frameName != frame) continue;
      Vec3 s, tr;
      engine::Quaternion q;
      crawl.GetSRT(t, i, &s, &q, &tr);
      return tr.z;
    }
    ADD_FAILURE() << frame;
    return 0.0f;
  };
  EXPECT_NEAR(z("Seg0", 0.5) - z("Seg0", 59.0 / 60.0), travel, 0.05f) << "tail";
  EXPECT_NEAR(z("Head", 0.5), z("Head", 59.0 / 60.0), 1e-4f) << "head rides along";
  EXPECT_NEAR(z("Head", 0.0), z("Head", 0.5), 1e-4f) << "head holds while the tail draws up";
}

}  // namespace
