// Meshes: CPU data, device buffers, the attribute table and ray casts.
//
// Ray casts run through a bounding volume hierarchy (binned surface area
// heuristic) over the faces. The hierarchy stores each face's first vertex
// and two edge vectors, computed exactly as IntersectTri computes them, so a
// face tested through the hierarchy gives the very same t, u and v as the
// brute-force loop. Node boxes are widened a little and the pruning test is
// generous, so rounding in the box test can never hide the closest face.
#include "engine/mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/trig.h"

namespace engine {

using platform::GetFVFVertexSize;
using platform::kFvfPositionMask;
using platform::PrimitiveType;

namespace {

// Relative tolerance with which a hit point must lie in its face's box.
constexpr float kHitTolerance = 1e-4f;
// Smallest |det| / (|dir| |e1| |e2|) that counts as a hit: a face seen
// edge-on within about 1e-5 radians, or a sliver whose corners are all but
// in line, is not hit.
constexpr float kMinRelDet = 1e-5f;

inline float MaxAbs(const Vec3& p) {
  return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
}

// The core of the ray / triangle test, shared by IntersectTri, the
// brute-force loop and the hierarchy so all three round identically.
// `origScale` is MaxAbs(orig), computed once per ray.
//
// Besides the Moller-Trumbore conditions, the determinant must not be
// rounding noise (kMinRelDet), and the hit point orig + t * dir must lie in
// the face's bounding box, widened by kHitTolerance times the size of the
// coordinates involved. For sound faces seen from a sound angle this changes
// nothing; for a sliver whose corners nearly coincide (the poles of a
// latitude/longitude sphere) the solve would otherwise return noise, even a
// t far from the face. The box test also guarantees that every hit lies
// inside the hierarchy's (wider) node boxes, which keeps the hierarchy exact.
inline bool HitTriangle(const Vec3& v0, const Vec3& e1, const Vec3& e2, const Vec3& orig,
                        float origScale, const Vec3& dir, float* u, float* v, float* t) {
  Vec3 p = Vec3Cross(dir, e2);
  float det = Vec3Dot(e1, p);
  if (det == 0.0f) return false;
  float invDet = 1.0f / det;
  Vec3 s = orig - v0;
  float uu = Vec3Dot(s, p) * invDet;
  // Written so that NaN fails every test.
  if (!(uu >= 0.0f && uu <= 1.0f)) return false;
  Vec3 q = Vec3Cross(s, e1);
  float vv = Vec3Dot(dir, q) * invDet;
  if (!(vv >= 0.0f && uu + vv <= 1.0f)) return false;
  float tt = Vec3Dot(e2, q) * invDet;
  if (!(tt >= 0.0f)) return false;

  // The determinant must stand clear of its own rounding noise (about
  // 1e-7 * |dir| |e1| |e2|); otherwise u, v and t are noise.
  // (In double: the product of six lengths under- or overflows a float.)
  double scale2 = static_cast<double>(Vec3Dot(dir, dir)) * Vec3Dot(e1, e1) * Vec3Dot(e2, e2);
  double det2 = static_cast<double>(det) * det;
  if (!(det2 > static_cast<double>(kMinRelDet) * kMinRelDet * scale2)) return false;

  Vec3 v1 = v0 + e1, v2 = v0 + e2;
  Vec3 lo{std::min({v0.x, v1.x, v2.x}), std::min({v0.y, v1.y, v2.y}), std::min({v0.z, v1.z, v2.z})};
  Vec3 hi{std::max({v0.x, v1.x, v2.x}), std::max({v0.y, v1.y, v2.y}), std::max({v0.z, v1.z, v2.z})};
  float tol = kHitTolerance * (std::max(MaxAbs(lo), MaxAbs(hi)) + origScale);
  Vec3 hit = orig + dir * tt;
  if (!(hit.x >= lo.x - tol && hit.x <= hi.x + tol && hit.y >= lo.y - tol && hit.y <= hi.y + tol &&
        hit.z >= lo.z - tol && hit.z <= hi.z + tol)) {
    return false;
  }
  *u = uu;
  *v = vv;
  *t = tt;
  return true;
}

// Whether a hit at t on `face` beats the best so far: smaller t, or the
// same t on a lower face index.
inline bool Better(float t, std::uint32_t face, const IntersectResult& best) {
  return !best.hit || t < best.distance || (t == best.distance && face < best.faceIndex);
}

struct Aabb {
  Vec3 lo{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
          std::numeric_limits<float>::max()};
  Vec3 hi{-std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
          -std::numeric_limits<float>::max()};

  void Grow(const Vec3& p) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  void Grow(const Aabb& b) {
    Grow(b.lo);
    Grow(b.hi);
  }
  bool Empty() const { return lo.x > hi.x; }
  float HalfArea() const {
    if (Empty()) return 0.0f;
    Vec3 d = hi - lo;
    return d.x * d.y + d.y * d.z + d.z * d.x;
  }
};

// Margin for comparing slab distances with face distances: the hit t of a
// face is computed another way and may differ in the last bits.
inline float Slack(float t) { return 1e-4f * std::fabs(t); }

float Axis(const Vec3& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

}  // namespace

bool IntersectTri(const Vec3& v0, const Vec3& v1, const Vec3& v2, const Vec3& rayPos,
                  const Vec3& rayDir, float* u, float* v, float* t) {
  return HitTriangle(v0, v1 - v0, v2 - v0, rayPos, MaxAbs(rayPos), rayDir, u, v, t);
}

// ---------------------------------------------------------------------------
// Bounding volume hierarchy

class MeshBvh {
 public:
  explicit MeshBvh(const Mesh& mesh);
  void Intersect(const Vec3& orig, const Vec3& dir, IntersectResult* best) const;

 private:
  // 32 bytes. Inner nodes: count == 0 and the children are first, first + 1.
  // Leaves: faces tris_[first .. first + count).
  struct Node {
    float lo[3];
    std::uint32_t first;
    float hi[3];
    std::uint32_t count;
  };
  struct Tri {
    Vec3 v0, e1, e2;
    std::uint32_t face;
  };
  struct BuildItem {
    Aabb box;
    Vec3 centroid;
    std::uint32_t face;
  };

  static constexpr int kMaxDepth = 60;  // the traversal stack holds one more
  static constexpr int kBins = 12;
  static constexpr std::uint32_t kLeafSize = 4;

  // The bin of a centroid offset scaled to [0, kBins]; NaN (a vertex made
  // non-finite through LockVertexBuffer) goes to bin 0.
  static int Bin(float scaled) {
    if (!(scaled >= 0.0f)) return 0;
    return scaled < static_cast<float>(kBins) ? static_cast<int>(scaled) : kBins - 1;
  }

  void Build(std::vector<BuildItem>& items, std::uint32_t node, std::uint32_t begin,
             std::uint32_t end, int depth);
  void MakeLeaf(std::uint32_t node, std::uint32_t begin, std::uint32_t end);
  // Entry distance of the ray into node n's box, or +inf when it misses or
  // enters beyond `limit`.
  // `lo` and `hi` are the ray origin moved by the ray's share of the box
  // padding (lo = orig + pad, hi = orig - pad: the box seen from them is
  // wider on both sides).
  float Enter(const Node& n, const Vec3& lo, const Vec3& hi, const Vec3& inv, float limit) const;

  std::vector<Node> nodes_;
  std::vector<Tri> tris_;
};

MeshBvh::MeshBvh(const Mesh& mesh) {
  std::uint32_t faces = mesh.GetNumFaces();
  if (faces == 0) return;
  const auto& idx = mesh.Indices();
  std::vector<BuildItem> items(faces);
  for (std::uint32_t f = 0; f < faces; ++f) {
    BuildItem& it = items[f];
    for (int k = 0; k < 3; ++k) it.box.Grow(mesh.Position(idx[3 * f + k]));
    it.centroid = (it.box.lo + it.box.hi) * 0.5f;
    it.face = f;
  }
  nodes_.reserve(2 * static_cast<std::size_t>(faces));
  nodes_.push_back({});
  Build(items, 0, 0, faces, 0);
  tris_.resize(faces);
  for (std::uint32_t i = 0; i < faces; ++i) {
    std::uint32_t f = items[i].face;
    Vec3 a = mesh.Position(idx[3 * f]);
    Vec3 b = mesh.Position(idx[3 * f + 1]);
    Vec3 c = mesh.Position(idx[3 * f + 2]);
    tris_[i] = {a, b - a, c - a, f};
  }
}

void MeshBvh::MakeLeaf(std::uint32_t node, std::uint32_t begin, std::uint32_t end) {
  nodes_[node].first = begin;
  nodes_[node].count = end - begin;
}

void MeshBvh::Build(std::vector<BuildItem>& items, std::uint32_t node, std::uint32_t begin,
                    std::uint32_t end, int depth) {
  Aabb box, cbox;
  for (std::uint32_t i = begin; i < end; ++i) {
    box.Grow(items[i].box);
    cbox.Grow(items[i].centroid);
  }
  // Widen the box by twice the hit tolerance of its faces (the ray's own
  // share is added per ray in Enter), so any point a face test accepts lies
  // well inside it.
  float pad = 2.0f * kHitTolerance * std::max(MaxAbs(box.lo), MaxAbs(box.hi)) + 1e-30f;
  Node& n = nodes_[node];
  n.lo[0] = box.lo.x - pad;
  n.lo[1] = box.lo.y - pad;
  n.lo[2] = box.lo.z - pad;
  n.hi[0] = box.hi.x + pad;
  n.hi[1] = box.hi.y + pad;
  n.hi[2] = box.hi.z + pad;
  n.count = 0;

  std::uint32_t count = end - begin;
  if (count <= kLeafSize || depth >= kMaxDepth) {
    MakeLeaf(node, begin, end);
    return;
  }

  // Binned SAH over the centroids along each axis.
  float bestCost = std::numeric_limits<float>::max();
  int bestAxis = -1, bestSplit = 0;
  for (int axis = 0; axis < 3; ++axis) {
    float cmin = Axis(cbox.lo, axis), cmax = Axis(cbox.hi, axis);
    float scale = kBins / (cmax - cmin);
    if (!(cmax > cmin) || !std::isfinite(scale)) continue;
    std::array<Aabb, kBins> bins;
    std::array<std::uint32_t, kBins> counts{};
    for (std::uint32_t i = begin; i < end; ++i) {
      int b = Bin((Axis(items[i].centroid, axis) - cmin) * scale);
      ++counts[b];
      bins[b].Grow(items[i].box);
    }
    std::array<float, kBins - 1> leftArea, rightArea;
    std::array<std::uint32_t, kBins - 1> leftCount, rightCount;
    Aabb acc;
    std::uint32_t c = 0;
    for (int i = 0; i < kBins - 1; ++i) {
      acc.Grow(bins[i]);
      c += counts[i];
      leftArea[i] = acc.HalfArea();
      leftCount[i] = c;
    }
    acc = Aabb{};
    c = 0;
    for (int i = kBins - 1; i > 0; --i) {
      acc.Grow(bins[i]);
      c += counts[i];
      rightArea[i - 1] = acc.HalfArea();
      rightCount[i - 1] = c;
    }
    for (int i = 0; i < kBins - 1; ++i) {
      if (leftCount[i] == 0 || rightCount[i] == 0) continue;
      float cost = leftArea[i] * static_cast<float>(leftCount[i]) +
                   rightArea[i] * static_cast<float>(rightCount[i]);
      if (cost < bestCost) {
        bestCost = cost;
        bestAxis = axis;
        bestSplit = i;
      }
    }
  }

  std::uint32_t mid;
  if (bestAxis < 0) {
    // Every centroid in one point: split the run in half.
    mid = begin + count / 2;
  } else {
    float leafCost = box.HalfArea() * static_cast<float>(count);
    if (count <= 2 * kLeafSize && bestCost >= leafCost) {
      MakeLeaf(node, begin, end);
      return;
    }
    float cmin = Axis(cbox.lo, bestAxis), cmax = Axis(cbox.hi, bestAxis);
    float scale = kBins / (cmax - cmin);
    auto it =
        std::partition(items.begin() + begin, items.begin() + end, [&](const BuildItem& item) {
          return Bin((Axis(item.centroid, bestAxis) - cmin) * scale) <= bestSplit;
        });
    mid = static_cast<std::uint32_t>(it - items.begin());
    if (mid == begin || mid == end) mid = begin + count / 2;
  }

  std::uint32_t left = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back({});
  nodes_.push_back({});
  nodes_[node].first = left;
  nodes_[node].count = 0;
  Build(items, left, begin, mid, depth + 1);
  Build(items, left + 1, mid, end, depth + 1);
}

float MeshBvh::Enter(const Node& n, const Vec3& lo, const Vec3& hi, const Vec3& inv,
                     float limit) const {
  float tx0 = (n.lo[0] - lo.x) * inv.x, tx1 = (n.hi[0] - hi.x) * inv.x;
  float ty0 = (n.lo[1] - lo.y) * inv.y, ty1 = (n.hi[1] - hi.y) * inv.y;
  float tz0 = (n.lo[2] - lo.z) * inv.z, tz1 = (n.hi[2] - hi.z) * inv.z;
  float tmin = std::max({std::min(tx0, tx1), std::min(ty0, ty1), std::min(tz0, tz1)});
  float tmax = std::min({std::max(tx0, tx1), std::max(ty0, ty1), std::max(tz0, tz1)});
  float slack = Slack(std::max(std::fabs(tmin), std::fabs(tmax)));
  if (tmax + slack < 0.0f || tmin - slack > tmax + slack || tmin - slack > limit) {
    return std::numeric_limits<float>::infinity();
  }
  return tmin;
}

void MeshBvh::Intersect(const Vec3& orig, const Vec3& dir, IntersectResult* best) const {
  if (nodes_.empty()) return;
  // A zero direction component becomes a huge finite reciprocal: 0 * it is 0
  // (never NaN) and any other product overflows to the right infinity.
  auto recip = [](float d) { return std::fabs(d) > 1e-30f ? 1.0f / d : std::copysign(1e30f, d); };
  Vec3 inv{recip(dir.x), recip(dir.y), recip(dir.z)};
  constexpr float kInf = std::numeric_limits<float>::infinity();
  float origScale = MaxAbs(orig);
  float rayPad = 2.0f * kHitTolerance * origScale;
  Vec3 lo{orig.x + rayPad, orig.y + rayPad, orig.z + rayPad};
  Vec3 hi{orig.x - rayPad, orig.y - rayPad, orig.z - rayPad};

  struct Entry {
    std::uint32_t node;
    float enter;
  };
  std::array<Entry, kMaxDepth + 2> stack;
  int top = 0;
  float rootEnter = Enter(nodes_[0], lo, hi, inv, kInf);
  if (rootEnter == kInf) return;
  stack[top++] = {0, rootEnter};
  while (top > 0) {
    Entry e = stack[--top];
    float limit = best->hit ? best->distance : kInf;
    // The best hit may have come closer since this node was pushed.
    if (e.enter - Slack(e.enter) > limit) continue;
    const Node& n = nodes_[e.node];
    if (n.count > 0) {
      for (std::uint32_t i = n.first; i < n.first + n.count; ++i) {
        const Tri& tri = tris_[i];
        float u, v, t;
        if (HitTriangle(tri.v0, tri.e1, tri.e2, orig, origScale, dir, &u, &v, &t) &&
            Better(t, tri.face, *best)) {
          best->hit = true;
          best->faceIndex = tri.face;
          best->u = u;
          best->v = v;
          best->distance = t;
        }
      }
      continue;
    }
    float dl = Enter(nodes_[n.first], lo, hi, inv, limit);
    float dr = Enter(nodes_[n.first + 1], lo, hi, inv, limit);
    // Push the farther child first so the nearer is visited next.
    if (dl <= dr) {
      if (dr != kInf) stack[top++] = {n.first + 1, dr};
      if (dl != kInf) stack[top++] = {n.first, dl};
    } else {
      if (dl != kInf) stack[top++] = {n.first, dl};
      if (dr != kInf) stack[top++] = {n.first + 1, dr};
    }
  }
}

// ---------------------------------------------------------------------------
// Mesh

Mesh* Mesh::Create(Device* device, std::uint32_t fvf, std::vector<unsigned char> vertices,
                   std::vector<std::uint32_t> indices, std::vector<std::uint32_t> attributes,
                   std::string* error) {
  auto fail = [&](const std::string& why) -> Mesh* {
    if (error) *error = why;
    return nullptr;
  };
  std::uint32_t stride = GetFVFVertexSize(fvf);
  if ((fvf & kFvfPositionMask) == 0 || stride < 12) return fail("vertex format has no position");
  if (vertices.size() % stride != 0) return fail("vertex data is not a whole number of vertices");
  if (vertices.size() / stride > std::numeric_limits<std::uint32_t>::max())
    return fail("too many vertices");
  if (indices.size() != attributes.size() * 3) return fail("index count is not three per face");
  auto vertexCount = static_cast<std::uint32_t>(vertices.size() / stride);
  for (std::uint32_t i : indices) {
    if (i >= vertexCount) return fail("index past the last vertex");
  }
  for (std::size_t v = 0; v < vertexCount; ++v) {
    float p[3];
    std::memcpy(p, vertices.data() + v * stride, sizeof p);
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
      return fail("vertex position is not a finite number");
  }

  // Stable sort of the faces by attribute id when they are not sorted yet.
  if (!std::is_sorted(attributes.begin(), attributes.end())) {
    std::vector<std::uint32_t> perm(attributes.size());
    std::iota(perm.begin(), perm.end(), 0u);
    std::stable_sort(perm.begin(), perm.end(), [&](std::uint32_t a, std::uint32_t b) {
      return attributes[a] < attributes[b];
    });
    std::vector<std::uint32_t> sortedIdx(indices.size()), sortedAttr(attributes.size());
    for (std::size_t f = 0; f < perm.size(); ++f) {
      sortedAttr[f] = attributes[perm[f]];
      for (int k = 0; k < 3; ++k) sortedIdx[3 * f + k] = indices[3 * perm[f] + k];
    }
    indices = std::move(sortedIdx);
    attributes = std::move(sortedAttr);
  }

  auto* mesh = new Mesh();
  mesh->device_ = device;
  mesh->fvf_ = fvf;
  mesh->stride_ = stride;
  mesh->vertexCount_ = vertexCount;
  mesh->vertices_ = std::move(vertices);
  mesh->indices_ = std::move(indices);
  mesh->attributes_ = std::move(attributes);
  mesh->RebuildTable();
  if (device) {
    if (!mesh->vertices_.empty()) {
      mesh->vb_ =
          device->CreateVertexBuffer(static_cast<std::uint32_t>(mesh->vertices_.size()), fvf);
    }
    if (!mesh->indices_.empty()) {
      mesh->ib_ = device->CreateIndexBuffer(static_cast<std::uint32_t>(mesh->indices_.size()));
      if (mesh->ib_) {
        std::uint32_t* dst = mesh->ib_->Lock();
        if (dst) std::memcpy(dst, mesh->indices_.data(), mesh->indices_.size() * 4);
        mesh->ib_->Unlock();
      }
    }
    mesh->UploadVertices();
  }
  return mesh;
}

Mesh::~Mesh() {
  if (vb_) vb_->Release();
  if (ib_) ib_->Release();
}

void Mesh::RebuildTable() {
  table_.clear();
  std::uint32_t faces = GetNumFaces();
  for (std::uint32_t f = 0; f < faces;) {
    AttributeRange r;
    r.attribId = attributes_[f];
    r.faceStart = f;
    std::uint32_t lo = std::numeric_limits<std::uint32_t>::max(), hi = 0;
    while (f < faces && attributes_[f] == r.attribId) {
      for (int k = 0; k < 3; ++k) {
        lo = std::min(lo, indices_[3 * f + k]);
        hi = std::max(hi, indices_[3 * f + k]);
      }
      ++f;
    }
    r.faceCount = f - r.faceStart;
    r.vertexStart = lo;
    r.vertexCount = hi - lo + 1;
    table_.push_back(r);
  }
}

void Mesh::UploadVertices() {
  if (!vb_) return;
  void* dst = vb_->Lock();
  if (dst && !vertices_.empty()) {
    std::memcpy(dst, vertices_.data(), std::min<std::size_t>(vertices_.size(), vb_->SizeBytes()));
  }
  vb_->Unlock();
}

Vec3 Mesh::Position(std::uint32_t vertex) const {
  Vec3 p;
  if (vertex >= vertexCount_) return p;
  std::memcpy(&p, vertices_.data() + static_cast<std::size_t>(vertex) * stride_, sizeof p);
  return p;
}

namespace {

// A fingerprint of the vertex bytes, so a lock that only read them (the
// planet's size is measured that way) costs no upload and no rebuild.
std::uint64_t Fingerprint(const std::vector<unsigned char>& bytes) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ bytes.size();
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + i, 8);
    h = (h ^ w) * 0x100000001B3ull;
    h ^= h >> 29;
  }
  for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
  return h;
}

}  // namespace

void* Mesh::LockVertexBuffer() {
  if (!locked_) lockedFingerprint_ = Fingerprint(vertices_);
  locked_ = true;
  return vertices_.data();
}

void Mesh::UnlockVertexBuffer() {
  if (!locked_) return;
  locked_ = false;
  if (Fingerprint(vertices_) == lockedFingerprint_) return;
  UploadVertices();
  // The faces moved: the next ray cast builds the structure afresh.
  std::lock_guard<std::mutex> lock(bvhMutex_);
  bvhReady_.store(nullptr, std::memory_order_release);
  bvh_.reset();
}

const MeshBvh* Mesh::Bvh() const {
  if (const MeshBvh* ready = bvhReady_.load(std::memory_order_acquire)) return ready;
  std::lock_guard<std::mutex> lock(bvhMutex_);
  if (!bvh_) bvh_ = std::make_unique<MeshBvh>(*this);
  bvhReady_.store(bvh_.get(), std::memory_order_release);
  return bvh_.get();
}

void Mesh::PrepareIntersect() const { Bvh(); }

void Mesh::DrawSubset(std::uint32_t attribId) {
  if (!device_ || !vb_ || !ib_) return;
  for (const AttributeRange& r : table_) {
    if (r.attribId != attribId) continue;
    if (r.faceCount > 0) {
      device_->DrawIndexedPrimitive(vb_, ib_, PrimitiveType::TriangleList, r.faceStart * 3,
                                    r.faceCount);
    }
    return;
  }
}

IntersectResult Mesh::Intersect(const Vec3& rayPos, const Vec3& rayDir) const {
  IntersectResult best;
  Bvh()->Intersect(rayPos, rayDir, &best);
  return best;
}

IntersectResult Mesh::IntersectBruteForce(const Vec3& rayPos, const Vec3& rayDir) const {
  IntersectResult best;
  std::uint32_t faces = GetNumFaces();
  for (std::uint32_t f = 0; f < faces; ++f) {
    Vec3 a = Position(indices_[3 * f]);
    Vec3 b = Position(indices_[3 * f + 1]);
    Vec3 c = Position(indices_[3 * f + 2]);
    float u, v, t;
    if (IntersectTri(a, b, c, rayPos, rayDir, &u, &v, &t) && Better(t, f, best)) {
      best.hit = true;
      best.faceIndex = f;
      best.u = u;
      best.v = v;
      best.distance = t;
    }
  }
  return best;
}

namespace {

// The point of triangle abc nearest to p (by its regions: corners, edges,
// inside).
Vec3 ClosestPointOnTriangle(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 ab = b - a, ac = c - a, ap = p - a;
  const float d1 = Vec3Dot(ab, ap), d2 = Vec3Dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Vec3 bp = p - b;
  const float d3 = Vec3Dot(ab, bp), d4 = Vec3Dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
  const Vec3 cp = p - c;
  const float d5 = Vec3Dot(ab, cp), d6 = Vec3Dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
    return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  const float denom = 1.0f / (va + vb + vc);
  return a + ab * (vb * denom) + ac * (vc * denom);
}

}  // namespace

float Mesh::EnclosedRadius(const Vec3& centre) const {
  const std::uint32_t faces = GetNumFaces();
  if (faces < 4) return 0;
  // Corners within a hair of each other are one corner: a seam of the
  // texture mapping repeats positions under new vertex numbers, rounded
  // apart by the sums that placed them.
  float extent = 0;
  for (std::uint32_t v = 0; v < vertexCount_; ++v)
    extent = std::max(extent, Vec3Length(Position(v) - centre));
  const float hair = extent * 1e-5f;
  std::vector<std::uint32_t> byX(vertexCount_);
  std::iota(byX.begin(), byX.end(), 0u);
  std::sort(byX.begin(), byX.end(),
            [&](std::uint32_t a, std::uint32_t b) { return Position(a).x < Position(b).x; });
  std::vector<std::uint32_t> welded(vertexCount_);
  for (std::size_t i = 0; i < byX.size(); ++i) {
    const Vec3 p = Position(byX[i]);
    welded[byX[i]] = byX[i];
    for (std::size_t j = i; j-- > 0 && p.x - Position(byX[j]).x <= hair;) {
      if (Vec3Length(Position(byX[j]) - p) <= hair) {
        welded[byX[i]] = welded[byX[j]];
        break;
      }
    }
  }
  // Closed and turned one way: each edge is crossed once in each direction
  // by the two faces that share it.
  std::unordered_map<std::uint64_t, std::array<int, 2>> edges;
  edges.reserve(std::size_t{faces} * 3 / 2);
  for (std::uint32_t f = 0; f < faces; ++f) {
    const std::uint32_t c[3] = {welded[indices_[3 * f]], welded[indices_[3 * f + 1]],
                                welded[indices_[3 * f + 2]]};
    // A face with two corners in one place (at a pole, say) is no surface.
    if (c[0] == c[1] || c[1] == c[2] || c[2] == c[0]) continue;
    for (int k = 0; k < 3; ++k) {
      const std::uint32_t a = c[k], b = c[(k + 1) % 3];
      ++edges[(std::uint64_t{std::min(a, b)} << 32) | std::max(a, b)][a < b ? 0 : 1];
    }
  }
  for (const auto& [edge, count] : edges)
    if (count[0] != 1 || count[1] != 1) return 0;
  // The centre is inside when the faces wind about it once: their solid
  // angles seen from it add up to a whole sphere (to nothing outside).
  // Unlike counting a ray's crossings, an edge or a corner on the way cannot
  // upset this.
  double winding = 0;
  float nearest = std::numeric_limits<float>::max();
  for (std::uint32_t f = 0; f < faces; ++f) {
    const Vec3 a = Position(indices_[3 * f]), b = Position(indices_[3 * f + 1]),
               c = Position(indices_[3 * f + 2]);
    nearest = std::min(nearest, Vec3Length(ClosestPointOnTriangle(centre, a, b, c) - centre));
    const Vec3 ra = a - centre, rb = b - centre, rc = c - centre;
    const double la = Vec3Length(ra), lb = Vec3Length(rb), lc = Vec3Length(rc);
    const double triple = Vec3Dot(ra, Vec3Cross(rb, rc));
    const double denom =
        la * lb * lc + Vec3Dot(ra, rb) * lc + Vec3Dot(ra, rc) * lb + Vec3Dot(rb, rc) * la;
    winding += 2.0 * Atan2(triple, denom);
  }
  winding /= 4.0 * 3.14159265358979323846;
  // The ball stops a hair short of the nearest face, the gaps the weld
  // closed included.
  return std::abs(winding) > 0.5 ? std::max(0.0f, nearest - hair) : 0.0f;
}

}  // namespace engine
