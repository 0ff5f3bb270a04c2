#include "engine/mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/hierarchy.h"
#include "platform/graphics.h"
#include "platform/null/device_null.h"

namespace engine {

using namespace platform;
namespace {

constexpr std::uint32_t kFvfPosNormalTex = kFvfXyz | kFvfNormal | kFvfTex1;  // 32 bytes

// Releases a mesh at the end of a test.
struct MeshRef {
  Mesh* mesh = nullptr;
  explicit MeshRef(Mesh* m) : mesh(m) {}
  ~MeshRef() {
    if (mesh) mesh->Release();
  }
  MeshRef(const MeshRef&) = delete;
  MeshRef& operator=(const MeshRef&) = delete;
  Mesh* operator->() const { return mesh; }
};

// Vertex bytes in the given format with the positions at the start of each
// vertex and the rest filled with a recognisable pattern.
std::vector<unsigned char> VertexBytes(std::uint32_t fvf, const std::vector<Vec3>& positions) {
  std::uint32_t stride = GetFVFVertexSize(fvf);
  std::vector<unsigned char> bytes(positions.size() * stride, 0xAB);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    std::memcpy(bytes.data() + i * stride, &positions[i], sizeof(Vec3));
  }
  return bytes;
}

Mesh* MakeMesh(const std::vector<Vec3>& positions, std::vector<std::uint32_t> indices,
               std::vector<std::uint32_t> attributes = {}, Device* device = nullptr,
               std::uint32_t fvf = kFvfXyz) {
  if (attributes.empty()) attributes.assign(indices.size() / 3, 0);
  return Mesh::Create(device, fvf, VertexBytes(fvf, positions), std::move(indices),
                      std::move(attributes));
}

// A closed sphere of latitude/longitude quads split in two, radius perturbed
// by `bump` (0 for a plain sphere). Faces share edges and vertices.
void SphereMesh(int rings, int segments, float radius, float bump, std::vector<Vec3>* pos,
                std::vector<std::uint32_t>* idx) {
  pos->clear();
  idx->clear();
  for (int r = 0; r <= rings; ++r) {
    float theta = kPi * static_cast<float>(r) / static_cast<float>(rings);
    for (int s = 0; s <= segments; ++s) {
      float phi = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(segments);
      float rad = radius * (1.0f + bump * std::sin(3.0f * theta) * std::cos(5.0f * phi));
      pos->push_back({rad * std::sin(theta) * std::cos(phi), rad * std::cos(theta),
                      rad * std::sin(theta) * std::sin(phi)});
    }
  }
  auto at = [&](int r, int s) { return static_cast<std::uint32_t>(r * (segments + 1) + s); };
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      idx->insert(idx->end(), {at(r, s), at(r + 1, s), at(r + 1, s + 1)});
      idx->insert(idx->end(), {at(r, s), at(r + 1, s + 1), at(r, s + 1)});
    }
  }
}

void ExpectSameHit(const IntersectResult& fast, const IntersectResult& ref, const char* what,
                   int ray) {
  ASSERT_EQ(fast.hit, ref.hit) << what << " ray " << ray;
  if (!ref.hit) return;
  ASSERT_EQ(fast.faceIndex, ref.faceIndex)
      << what << " ray " << ray << " t " << fast.distance << " vs " << ref.distance;
  ASSERT_EQ(fast.distance, ref.distance) << what << " ray " << ray;
  ASSERT_EQ(fast.u, ref.u) << what << " ray " << ray;
  ASSERT_EQ(fast.v, ref.v) << what << " ray " << ray;
}

// --- Ray casts ---------------------------------------------------------------

TEST(MeshIntersectTest, SingleTriangleHandCases) {
  // One triangle in the plane z = 1.
  MeshRef m(MakeMesh({{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {0, 1, 2}));
  ASSERT_NE(m.mesh, nullptr);

  IntersectResult front = m->Intersect({0.25f, 0.5f, 0}, {0, 0, 1});
  ASSERT_TRUE(front.hit);
  EXPECT_EQ(front.faceIndex, 0u);
  EXPECT_FLOAT_EQ(front.distance, 1.0f);
  EXPECT_FLOAT_EQ(front.u, 0.25f);  // weight of the second vertex (1, 0, 1)
  EXPECT_FLOAT_EQ(front.v, 0.5f);   // weight of the third vertex (0, 1, 1)

  // From behind: faces count from both sides.
  IntersectResult back = m->Intersect({0.25f, 0.5f, 3}, {0, 0, -1});
  ASSERT_TRUE(back.hit);
  EXPECT_FLOAT_EQ(back.distance, 2.0f);

  // Distance is measured in lengths of the direction, which is not normalised.
  IntersectResult longer = m->Intersect({0.25f, 0.5f, 0}, {0, 0, 4});
  ASSERT_TRUE(longer.hit);
  EXPECT_FLOAT_EQ(longer.distance, 0.25f);

  // The triangle lies behind the ray: t < 0 is no hit.
  EXPECT_FALSE(m->Intersect({0.25f, 0.5f, 2}, {0, 0, 1}).hit);
  // Beside the triangle, and parallel to its plane.
  EXPECT_FALSE(m->Intersect({0.75f, 0.75f, 0}, {0, 0, 1}).hit);
  EXPECT_FALSE(m->Intersect({-1, 0.2f, 1}, {1, 0, 0}).hit);
  // A zero direction and NaN input hit nothing and do not trap.
  EXPECT_FALSE(m->Intersect({0.25f, 0.5f, 0}, {0, 0, 0}).hit);
  EXPECT_FALSE(m->Intersect({NAN, 0, 0}, {0, 0, 1}).hit);
  EXPECT_FALSE(m->Intersect({0.25f, 0.5f, 0}, {0, NAN, 1}).hit);

  // At a vertex the weights are (1, 0) / (0, 1); the origin on the face is t 0.
  IntersectResult corner = m->Intersect({1, 0, 0}, {0, 0, 1});
  ASSERT_TRUE(corner.hit);
  EXPECT_FLOAT_EQ(corner.u, 1.0f);
  EXPECT_FLOAT_EQ(corner.v, 0.0f);
  IntersectResult onFace = m->Intersect({0.2f, 0.2f, 1}, {0, 0, 1});
  ASSERT_TRUE(onFace.hit);
  EXPECT_EQ(onFace.distance, 0.0f);
}

TEST(MeshIntersectTest, ClosestFaceWinsAndInsideRaysHitTheFarWall) {
  std::vector<Vec3> pos;
  std::vector<std::uint32_t> idx;
  SphereMesh(12, 16, 2.0f, 0.0f, &pos, &idx);
  MeshRef m(MakeMesh(pos, idx));
  ASSERT_NE(m.mesh, nullptr);

  // From outside toward the centre: the near wall at about 3 - 2 = 1.
  IntersectResult out = m->Intersect({0.01f, 0.02f, -3}, {0, 0, 1});
  ASSERT_TRUE(out.hit);
  EXPECT_NEAR(out.distance, 1.0f, 0.05f);
  // From the centre: the wall, radius 2, in every direction.
  IntersectResult in = m->Intersect({0, 0, 0}, {0.3f, 0.4f, 0.5f});
  ASSERT_TRUE(in.hit);
  EXPECT_NEAR(in.distance * std::sqrt(0.5f), 2.0f, 0.1f);
  // The face reported is one whose corners surround the hit point.
  Vec3 hitPoint = Vec3{0.3f, 0.4f, 0.5f} * in.distance;
  Vec3 a = pos[idx[3 * in.faceIndex]], b = pos[idx[3 * in.faceIndex + 1]],
       c = pos[idx[3 * in.faceIndex + 2]];
  Vec3 fromWeights = a * (1 - in.u - in.v) + b * in.u + c * in.v;
  EXPECT_NEAR(fromWeights.x, hitPoint.x, 1e-4f);
  EXPECT_NEAR(fromWeights.y, hitPoint.y, 1e-4f);
  EXPECT_NEAR(fromWeights.z, hitPoint.z, 1e-4f);
  // Pointing away from a sphere it is outside of: a miss.
  EXPECT_FALSE(m->Intersect({0, 0, -3}, {0, 0, -1}).hit);
}

TEST(MeshIntersectTest, TiesGoToTheLowestFaceIndex) {
  // Faces 0 and 2 are the same triangle; face 1 lies farther along the ray.
  std::vector<Vec3> pos = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {0, 0, 2}, {1, 0, 2}, {0, 1, 2}};
  MeshRef m(MakeMesh(pos, {3, 4, 5, 0, 1, 2, 0, 1, 2}));
  IntersectResult r = m->Intersect({0.2f, 0.2f, 0}, {0, 0, 1});
  ASSERT_TRUE(r.hit);
  EXPECT_EQ(r.faceIndex, 1u);
  EXPECT_FLOAT_EQ(r.distance, 1.0f);
  ExpectSameHit(r, m->IntersectBruteForce({0.2f, 0.2f, 0}, {0, 0, 1}), "tie", 0);

  // Two faces sharing an edge, the ray through the edge: both hit at the
  // same t, the first face is reported.
  MeshRef quad(MakeMesh({{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}, {0, 1, 2, 0, 2, 3}));
  IntersectResult e = quad->Intersect({0.5f, 0.5f, 0}, {0, 0, 1});
  ASSERT_TRUE(e.hit);
  EXPECT_EQ(e.faceIndex, 0u);
}

// Random meshes and rays, hierarchy against the plain loop over every face.
TEST(MeshIntersectTest, MatchesBruteForceOnRandomMeshesAndRays) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  auto randVec = [&](float s) { return Vec3{unit(rng) * s, unit(rng) * s, unit(rng) * s}; };

  struct Case {
    const char* name;
    std::vector<Vec3> pos;
    std::vector<std::uint32_t> idx;
  };
  std::vector<Case> cases;
  {
    // Triangle soup: overlapping, some tiny, some huge, some degenerate.
    Case c{"soup", {}, {}};
    for (int f = 0; f < 1500; ++f) {
      Vec3 centre = randVec(10);
      float size = (f % 7 == 0) ? 6.0f : (f % 5 == 0 ? 0.01f : 0.8f);
      auto base = static_cast<std::uint32_t>(c.pos.size());
      c.pos.push_back(centre + randVec(size));
      c.pos.push_back(centre + randVec(size));
      c.pos.push_back(f % 97 == 0 ? c.pos[base] : centre + randVec(size));
      c.idx.insert(c.idx.end(), {base, base + 1, base + 2});
    }
    cases.push_back(std::move(c));
  }
  {
    Case c{"bumpy sphere", {}, {}};
    SphereMesh(24, 40, 1.0f, 0.05f, &c.pos, &c.idx);
    cases.push_back(std::move(c));
  }
  {
    // A flat grid: every ray down through a grid vertex touches six faces.
    Case c{"grid", {}, {}};
    const int n = 30;
    for (int y = 0; y <= n; ++y)
      for (int x = 0; x <= n; ++x)
        c.pos.push_back({static_cast<float>(x), 0.0f, static_cast<float>(y)});
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) {
        auto i = static_cast<std::uint32_t>(y * (n + 1) + x);
        c.idx.insert(c.idx.end(), {i, i + n + 1, i + n + 2, i, i + n + 2, i + 1});
      }
    }
    cases.push_back(std::move(c));
  }

  for (const Case& c : cases) {
    // A wider vertex than bare positions, as the loaders make.
    MeshRef m(MakeMesh(c.pos, c.idx, {}, nullptr, kFvfPosNormalTex));
    ASSERT_NE(m.mesh, nullptr) << c.name;
    int hits = 0;
    for (int ray = 0; ray < 1200; ++ray) {
      Vec3 orig = randVec(15);
      Vec3 dir;
      switch (ray % 4) {
        case 0:  // anywhere
          dir = randVec(1);
          break;
        case 1:  // exactly through a vertex: shared-vertex ties, and the
                 // sliver faces at the sphere's poles
          dir = c.pos[c.idx[rng() % c.idx.size()]] - orig;
          break;
        case 2: {  // through the middle of an edge
          std::size_t f = rng() % (c.idx.size() / 3);
          dir = (c.pos[c.idx[3 * f]] + c.pos[c.idx[3 * f + 1]]) * 0.5f - orig;
          break;
        }
        default:  // axis-aligned, with zero direction components
          dir = Vec3{0, 0, 0};
          (ray % 3 == 0 ? dir.x : (ray % 3 == 1 ? dir.y : dir.z)) = unit(rng) < 0 ? -2.5f : 0.5f;
          break;
      }
      IntersectResult ref = m->IntersectBruteForce(orig, dir);
      ExpectSameHit(m->Intersect(orig, dir), ref, c.name, ray);
      if (!ref.hit) continue;
      ++hits;
      // The reported point is on the reported face (no hits made of
      // rounding noise on sliver faces).
      std::uint32_t f = ref.faceIndex;
      Vec3 onFace = c.pos[c.idx[3 * f]] * (1 - ref.u - ref.v) + c.pos[c.idx[3 * f + 1]] * ref.u +
                    c.pos[c.idx[3 * f + 2]] * ref.v;
      Vec3 onRay = orig + dir * ref.distance;
      ASSERT_LT(Vec3Length(onFace - onRay), 1e-2f) << c.name << " ray " << ray;
    }
    EXPECT_GT(hits, 300) << c.name << ": too few hits to mean anything";
  }
}

TEST(MeshIntersectTest, PlanetRaysMatchBruteForce) {
  // Rays as objects on the planet cast them: from just above the surface
  // toward the centre, leaning by up to about ten degrees.
  std::vector<Vec3> pos;
  std::vector<std::uint32_t> idx;
  SphereMesh(32, 64, 1.0f, 0.03f, &pos, &idx);
  MeshRef m(MakeMesh(pos, idx));
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_real_distribution<float> height(1.02f, 1.2f);
  for (int ray = 0; ray < 1000; ++ray) {
    Vec3 up = Vec3Normalize({unit(rng), unit(rng), unit(rng)});
    Vec3 orig = up * height(rng);
    Vec3 lean{unit(rng) * 0.17f, unit(rng) * 0.17f, unit(rng) * 0.17f};
    Vec3 dir = (-up + lean) * (1.0f / 60.0f);  // scaled as the world-to-mesh transform does
    IntersectResult ref = m->IntersectBruteForce(orig, dir);
    ASSERT_TRUE(ref.hit) << ray;
    ExpectSameHit(m->Intersect(orig, dir), ref, "planet", ray);
  }
}

TEST(MeshIntersectTest, GroundRaysOnThePlanetModel) {
  // The game's own planet: objects hovering h world units above the ground
  // measure h straight down, and the leaning rays agree with the plain loop.
  std::string path = std::string(POROMEKO_SOURCE_DIR) + "/content/XFile/planet.x";
  Mesh* loaded = nullptr;
  std::vector<XMaterial> materials;
  std::string error;
  ASSERT_TRUE(LoadMeshFromX(path, nullptr, &loaded, &materials, &error)) << error;
  MeshRef planet(loaded);
  ASSERT_GT(planet->GetNumFaces(), 1000u);
  Vec3 centre;
  float radius = 0;
  ComputeBoundingSphere(planet->Vertices(), planet->GetNumVertices(),
                        planet->GetNumBytesPerVertex(), &centre, &radius);
  ASSERT_GT(radius, 0.0f);

  std::mt19937 rng(5);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_real_distribution<float> hover(0.1f, 8.0f);
  for (int object = 0; object < 100; ++object) {
    Vec3 up = Vec3Normalize({unit(rng), unit(rng), unit(rng)});
    // Rays are cast in mesh space with world-length directions scaled by
    // 1/60, so distances come out in world units.
    Vec3 down = -up * (1.0f / 60.0f);
    IntersectResult ground = planet->Intersect(up * (radius * 1.5f), down);
    ASSERT_TRUE(ground.hit) << object;
    Vec3 surface = up * (radius * 1.5f) + down * ground.distance;
    float h = hover(rng);
    Vec3 pos = surface + up * (h / 60.0f);
    IntersectResult straight = planet->Intersect(pos, down);
    ASSERT_TRUE(straight.hit) << object;
    EXPECT_NEAR(straight.distance, h, 1e-3f * (1 + h)) << object;

    Vec3 side = Vec3Normalize(Vec3Cross(up, {unit(rng), unit(rng), unit(rng)}));
    Vec3 fwd = Vec3Cross(side, up);
    for (const Vec3& lean : {fwd, -fwd, side, -side}) {
      Vec3 dir = Vec3Normalize(-up + lean * 0.17f) * (1.0f / 60.0f);
      ExpectSameHit(planet->Intersect(pos, dir), planet->IntersectBruteForce(pos, dir), "planet.x",
                    object);
    }
  }
}

// --- Building ------------------------------------------------------------------

class RecordingDevice : public NullDevice {
 public:
  struct Call {
    VertexBuffer* vb;
    IndexBuffer* ib;
    PrimitiveType type;
    std::uint32_t startIndex, count;
  };
  void DrawIndexedPrimitive(VertexBuffer* vb, IndexBuffer* ib, PrimitiveType type,
                            std::uint32_t startIndex, std::uint32_t count) override {
    calls.push_back({vb, ib, type, startIndex, count});
    NullDevice::DrawIndexedPrimitive(vb, ib, type, startIndex, count);
  }
  std::vector<Call> calls;
};

TEST(MeshBuildTest, SortsFacesByAttributeAndDrawsEachSubset) {
  RecordingDevice device;
  device.RecordDraws(true);
  std::vector<Vec3> pos(8);
  for (int i = 0; i < 8; ++i) pos[i] = {static_cast<float>(i), static_cast<float>(i % 2), 0};
  // Faces 0..4 with attributes 2, 0, 2, 0, 5 (unsorted).
  std::vector<std::uint32_t> idx = {5, 6, 7, 0, 1, 2, 4, 5, 6, 1, 2, 3, 2, 3, 4};
  MeshRef m(MakeMesh(pos, idx, {2, 0, 2, 0, 5}, &device, kFvfPosNormalTex));
  ASSERT_NE(m.mesh, nullptr);
  EXPECT_EQ(m->GetNumFaces(), 5u);
  EXPECT_EQ(m->GetNumVertices(), 8u);
  EXPECT_EQ(m->GetNumBytesPerVertex(), 32u);
  EXPECT_EQ(m->GetFVF(), kFvfPosNormalTex);

  // Stable: among equal ids the original order stays.
  EXPECT_EQ(m->Attributes(), (std::vector<std::uint32_t>{0, 0, 2, 2, 5}));
  EXPECT_EQ(m->Indices(),
            (std::vector<std::uint32_t>{0, 1, 2, 1, 2, 3, 5, 6, 7, 4, 5, 6, 2, 3, 4}));
  const auto& table = m->GetAttributeTable();
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].attribId, 0u);
  EXPECT_EQ(table[0].faceStart, 0u);
  EXPECT_EQ(table[0].faceCount, 2u);
  EXPECT_EQ(table[0].vertexStart, 0u);
  EXPECT_EQ(table[0].vertexCount, 4u);
  EXPECT_EQ(table[1].attribId, 2u);
  EXPECT_EQ(table[1].faceStart, 2u);
  EXPECT_EQ(table[1].faceCount, 2u);
  EXPECT_EQ(table[1].vertexStart, 4u);
  EXPECT_EQ(table[1].vertexCount, 4u);
  EXPECT_EQ(table[2].attribId, 5u);
  EXPECT_EQ(table[2].faceStart, 4u);
  EXPECT_EQ(table[2].faceCount, 1u);

  // Ray casts report faces in the sorted order: the ray through the centre
  // of the old face 0 (now face 2) names face 2.
  Vec3 centre = (pos[5] + pos[6] + pos[7]) * (1.0f / 3.0f);
  IntersectResult r = m->Intersect(centre + Vec3{0, 0, -1}, {0, 0, 1});
  ASSERT_TRUE(r.hit);
  EXPECT_EQ(r.faceIndex, 2u);

  m->DrawSubset(2);
  m->DrawSubset(5);
  m->DrawSubset(1);  // no faces with id 1: nothing drawn
  m->DrawSubset(0);
  ASSERT_EQ(device.calls.size(), 3u);
  EXPECT_EQ(device.calls[0].startIndex, 6u);
  EXPECT_EQ(device.calls[0].count, 2u);
  EXPECT_EQ(device.calls[1].startIndex, 12u);
  EXPECT_EQ(device.calls[1].count, 1u);
  EXPECT_EQ(device.calls[2].startIndex, 0u);
  EXPECT_EQ(device.calls[2].count, 2u);
  for (const auto& call : device.calls) EXPECT_EQ(call.type, PrimitiveType::TriangleList);
  ASSERT_EQ(device.Draws().size(), 3u);
  EXPECT_EQ(device.Draws()[0].fvf, kFvfPosNormalTex);

  // The device buffers hold the mesh's data.
  VertexBuffer* vb = device.calls[0].vb;
  IndexBuffer* ib = device.calls[0].ib;
  ASSERT_NE(vb, nullptr);
  ASSERT_NE(ib, nullptr);
  ASSERT_EQ(vb->SizeBytes(), 8u * 32u);
  EXPECT_EQ(std::memcmp(vb->Data(), m->Vertices(), vb->SizeBytes()), 0);
  ASSERT_EQ(ib->Count(), 15u);
  EXPECT_EQ(std::vector<std::uint32_t>(ib->Data(), ib->Data() + 15), m->Indices());
}

TEST(MeshBuildTest, MeshWithoutDeviceDrawsNothing) {
  MeshRef m(MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}));
  ASSERT_NE(m.mesh, nullptr);
  m->DrawSubset(0);  // must simply do nothing
  EXPECT_EQ(m->GetDevice(), nullptr);
}

TEST(MeshBuildTest, RejectsInconsistentData) {
  std::string error;
  auto bytes = VertexBytes(kFvfXyz, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  EXPECT_EQ(Mesh::Create(nullptr, kFvfXyz, bytes, {0, 1, 3}, {0}, &error), nullptr);
  EXPECT_NE(error.find("index"), std::string::npos) << error;
  EXPECT_EQ(Mesh::Create(nullptr, kFvfXyz, bytes, {0, 1, 2, 0}, {0}, &error), nullptr);
  EXPECT_EQ(Mesh::Create(nullptr, kFvfXyz, bytes, {0, 1, 2}, {0, 0}, &error), nullptr);
  auto ragged = bytes;
  ragged.pop_back();
  EXPECT_EQ(Mesh::Create(nullptr, kFvfXyz, ragged, {0, 1, 2}, {0}, &error), nullptr);
  EXPECT_EQ(Mesh::Create(nullptr, kFvfNormal, bytes, {0, 1, 2}, {0}, &error), nullptr);
  auto nan = VertexBytes(kFvfXyz, {{0, 0, 0}, {1, NAN, 0}, {0, 1, 0}});
  EXPECT_EQ(Mesh::Create(nullptr, kFvfXyz, nan, {0, 1, 2}, {0}, &error), nullptr);
  EXPECT_NE(error.find("finite"), std::string::npos) << error;
  // An empty mesh is valid and hits nothing.
  MeshRef empty(Mesh::Create(nullptr, kFvfXyz, {}, {}, {}));
  ASSERT_NE(empty.mesh, nullptr);
  EXPECT_FALSE(empty->Intersect({0, 0, 0}, {0, 0, 1}).hit);
  EXPECT_TRUE(empty->GetAttributeTable().empty());
  // Positions past the end read as zero rather than past the buffer.
  EXPECT_EQ(empty->Position(3), (Vec3{0, 0, 0}));
}

TEST(MeshBuildTest, UnlockUploadsVerticesAndRebuildsRayCasts) {
  RecordingDevice device;
  MeshRef m(MakeMesh({{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {0, 1, 2}, {}, &device));
  ASSERT_TRUE(m->Intersect({0.2f, 0.2f, 0}, {0, 0, 1}).hit);

  // Move the triangle to z = 5.
  auto* data = static_cast<unsigned char*>(m->LockVertexBuffer());
  for (int i = 0; i < 3; ++i) {
    float z = 5;
    std::memcpy(data + i * 12 + 8, &z, 4);
  }
  m->UnlockVertexBuffer();
  IntersectResult r = m->Intersect({0.2f, 0.2f, 0}, {0, 0, 1});
  ASSERT_TRUE(r.hit);
  EXPECT_FLOAT_EQ(r.distance, 5.0f);
  // Moved entirely out of the old box: a ray past the new place misses.
  EXPECT_FALSE(m->Intersect({2, 2, 0}, {0, 0, 1}).hit);

  m->DrawSubset(0);
  ASSERT_EQ(device.calls.size(), 1u);
  EXPECT_EQ(std::memcmp(device.calls[0].vb->Data(), m->Vertices(), 36), 0);

  // Garbage written through the lock (a NaN corner) makes the face
  // unhittable, not the program unsafe.
  data = static_cast<unsigned char*>(m->LockVertexBuffer());
  float nan = NAN;
  std::memcpy(data + 12, &nan, 4);
  m->UnlockVertexBuffer();
  EXPECT_FALSE(m->Intersect({0.2f, 0.2f, 0}, {0, 0, 1}).hit);
  EXPECT_FALSE(m->IntersectBruteForce({0.2f, 0.2f, 0}, {0, 0, 1}).hit);
}

// --- Bounding spheres -------------------------------------------------------------

// A box from -1 to 1 on x, -2 to 2 on y and z, its corners repeated per side
// as a texture mapping would, so only positions tie its sides together.
std::vector<Vec3> BoxCorners(std::vector<std::uint32_t>* indices) {
  std::vector<Vec3> pos;
  const Vec3 half{1, 2, 2};
  for (int axis = 0; axis < 3; ++axis) {
    for (float sign : {-1.0f, 1.0f}) {
      const auto base = static_cast<std::uint32_t>(pos.size());
      for (int corner = 0; corner < 4; ++corner) {
        float c[3];
        c[axis] = sign;
        c[(axis + 1) % 3] = (corner & 1) ? 1.0f : -1.0f;
        c[(axis + 2) % 3] = (corner & 2) ? 1.0f : -1.0f;
        pos.push_back({c[0] * half.x, c[1] * half.y, c[2] * half.z});
      }
      // Corners 0, 1, 3, 2 go round the side counter-clockwise seen from
      // +axis: outward on the + side, the other way round on the - side.
      if (sign > 0)
        indices->insert(indices->end(), {base, base + 1, base + 3, base, base + 3, base + 2});
      else
        indices->insert(indices->end(), {base, base + 3, base + 1, base, base + 2, base + 3});
    }
  }
  return pos;
}

// The ball inside a closed mesh reaches its nearest side; a gap, or a centre
// outside, gives no ball at all.
TEST(MeshEnclosedRadiusTest, ReachesTheNearestSideOfAClosedSurfaceOnly) {
  std::vector<std::uint32_t> idx;
  const std::vector<Vec3> box = BoxCorners(&idx);
  MeshRef closed(MakeMesh(box, idx));
  ASSERT_NE(closed.mesh, nullptr);
  EXPECT_NEAR(closed->EnclosedRadius({0, 0, 0}), 1.0f, 1e-4f);
  // Nearer the +y side than the x sides: 2 - 1.5.
  EXPECT_NEAR(closed->EnclosedRadius({0, 1.5f, 0}), 0.5f, 1e-4f);
  // The inside test holds on a corner's line too, where a ray count could
  // be thrown by the edges it passes through.
  EXPECT_NEAR(closed->EnclosedRadius({0.5f, 1.0f, 1.0f}), 0.5f, 1e-4f);
  EXPECT_EQ(closed->EnclosedRadius({3, 0, 0}), 0.0f);
  EXPECT_EQ(closed->EnclosedRadius({0, 2.5f, 2.5f}), 0.0f);

  // A bumpy sphere, its seam and its poles (where faces fold to slivers)
  // closed by position: the ball stays within the lowest vertex, by no more
  // than the faces sag between vertices.
  std::vector<Vec3> spherePos;
  std::vector<std::uint32_t> sphereIdx;
  SphereMesh(24, 48, 2.0f, 0.05f, &spherePos, &sphereIdx);
  MeshRef sphere(MakeMesh(spherePos, sphereIdx));
  float lowest = 1e9f;
  for (const Vec3& p : spherePos) lowest = std::min(lowest, Vec3Length(p));
  const float inner = sphere->EnclosedRadius({0, 0, 0});
  EXPECT_LE(inner, lowest);
  EXPECT_GE(inner, lowest * std::cos(kPi / 24.0f) * 0.98f);

  // One side's second triangle missing leaves a gap.
  std::vector<std::uint32_t> open(idx.begin(), idx.end() - 3);
  MeshRef gap(MakeMesh(box, open));
  EXPECT_EQ(gap->EnclosedRadius({0, 0, 0}), 0.0f);
  // A side moved off by a hair no longer meets its neighbours.
  std::vector<Vec3> moved = box;
  for (int k = 0; k < 4; ++k) moved[k].x -= 1e-4f;
  MeshRef loose(MakeMesh(moved, idx));
  EXPECT_EQ(loose->EnclosedRadius({0, 0, 0}), 0.0f);
  // A side turned the other way round from the rest.
  std::vector<std::uint32_t> flipped = idx;
  std::swap(flipped[1], flipped[2]);
  std::swap(flipped[4], flipped[5]);
  MeshRef turned(MakeMesh(box, flipped));
  EXPECT_EQ(turned->EnclosedRadius({0, 0, 0}), 0.0f);
  // A side doubled shares its edges among four faces.
  std::vector<std::uint32_t> doubled = idx;
  doubled.insert(doubled.end(), idx.begin(), idx.begin() + 6);
  MeshRef twice(MakeMesh(box, doubled));
  EXPECT_EQ(twice->EnclosedRadius({0, 0, 0}), 0.0f);
}

TEST(BoundingSphereTest, MeanCentreAndLargestDistanceOverAStride) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> unit(-5.0f, 5.0f);
  for (std::size_t count : {1u, 2u, 17u, 1000u}) {
    std::vector<Vec3> pts(count);
    for (auto& p : pts) p = {unit(rng) + 3, unit(rng) * 0.5f, unit(rng) - 7};
    auto bytes = VertexBytes(kFvfPosNormalTex, pts);

    double sx = 0, sy = 0, sz = 0;
    for (const auto& p : pts) {
      sx += p.x;
      sy += p.y;
      sz += p.z;
    }
    double n = static_cast<double>(count);
    Vec3 mean{static_cast<float>(sx / n), static_cast<float>(sy / n), static_cast<float>(sz / n)};
    double far = 0;
    for (const auto& p : pts) {
      double dx = p.x - sx / n, dy = p.y - sy / n, dz = p.z - sz / n;
      far = std::max(far, std::sqrt(dx * dx + dy * dy + dz * dz));
    }

    Vec3 centre;
    float radius = -1;
    ComputeBoundingSphere(bytes.data(), count, 32, &centre, &radius);
    EXPECT_NEAR(centre.x, mean.x, 1e-3f) << count;
    EXPECT_NEAR(centre.y, mean.y, 1e-3f) << count;
    EXPECT_NEAR(centre.z, mean.z, 1e-3f) << count;
    EXPECT_NEAR(radius, far, 1e-3) << count;
    // Every point lies inside (to rounding).
    for (const auto& p : pts) EXPECT_LE(Vec3Length(p - centre), radius * (1 + 1e-5f) + 1e-5f);
  }
}

}  // namespace
}  // namespace engine
