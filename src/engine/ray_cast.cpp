#include "engine/ray_cast.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "engine/mesh.h"

namespace engine {

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

struct MeshBvh::BuildItem {
  Aabb box;
  Vec3 centroid;
  std::uint32_t face;
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
// Ray casts against a mesh

const MeshBvh* Mesh::Bvh() const {
  if (const MeshBvh* ready = bvhReady_.load(std::memory_order_acquire)) return ready;
  std::lock_guard<std::mutex> lock(bvhMutex_);
  if (!bvh_) bvh_ = std::make_unique<MeshBvh>(*this);
  bvhReady_.store(bvh_.get(), std::memory_order_release);
  return bvh_.get();
}

void Mesh::PrepareIntersect() const { Bvh(); }

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

}  // namespace engine
