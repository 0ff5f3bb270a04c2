// Meshes: CPU data, device buffers and the attribute table (ray casts are in
// ray_cast.cpp).
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
