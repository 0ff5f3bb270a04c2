// Triangle meshes as the .x loaders produce them, and ray casts against them.
//
// Contract (shared by every back end):
//  - A Mesh keeps its vertices (in the layout of its FVF) and its 32-bit
//    triangle-list indices on the CPU for its whole life: Intersect, bounding
//    spheres and callers that lock the vertex data read them. The device
//    buffers are created from them (VertexBuffer / IndexBuffer of the device
//    the mesh was made for) and refreshed after UnlockVertexBuffer.
//  - Faces are sorted by attribute id; the attribute table lists, per id, the
//    contiguous run of faces and the range of vertices they use. DrawSubset(i)
//    draws the faces whose attribute id is i (nothing when there are none).
//  - On the null device DrawSubset records a draw like any other call.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/math.h"
#include "platform/graphics.h"

namespace engine {

// What the engine takes from the platform below it.
using platform::Device;
using platform::IndexBuffer;
using platform::Resource;
using platform::VertexBuffer;

struct AttributeRange {
  std::uint32_t attribId = 0;
  std::uint32_t faceStart = 0;
  std::uint32_t faceCount = 0;
  std::uint32_t vertexStart = 0;
  std::uint32_t vertexCount = 0;
};

struct IntersectResult {
  bool hit = false;
  std::uint32_t faceIndex = 0;
  float u = 0, v = 0;  // weights of the face's second and third vertex
  float distance = 0;  // in lengths of the ray direction
};

class MeshBvh;  // acceleration structure for Intersect (mesh.cpp)

class Mesh : public Resource {
 public:
  // Builds a mesh on the device from CPU data. `vertices` holds
  // vertexCount * GetFVFVertexSize(fvf) bytes; `indices` three per face;
  // `attributes` one id per face. Faces are expected sorted by attribute id
  // (Create sorts them stably if they are not, remembering nothing of the
  // old order). The device is only used to create buffers; it may be null
  // for CPU-only meshes (tests, tools): DrawSubset then does nothing.
  // The ray-cast acceleration structure is built by PrepareIntersect, or by
  // the first Intersect (under a lock, so any thread may cast the first
  // ray); most meshes are only drawn and never pay for it.
  // Returns null (and creates nothing) when the data is inconsistent: an FVF
  // without a position, vertex bytes that are not a whole number of vertices,
  // an index count other than three per attribute, an index past the last
  // vertex, or a position that is infinite or NaN. `error`, when given, then
  // receives the reason.
  static Mesh* Create(Device* device, std::uint32_t fvf, std::vector<unsigned char> vertices,
                      std::vector<std::uint32_t> indices, std::vector<std::uint32_t> attributes,
                      std::string* error = nullptr);

  std::uint32_t GetFVF() const { return fvf_; }
  std::uint32_t GetNumVertices() const { return vertexCount_; }
  std::uint32_t GetNumFaces() const { return static_cast<std::uint32_t>(attributes_.size()); }
  std::uint32_t GetNumBytesPerVertex() const { return stride_; }
  const std::vector<AttributeRange>& GetAttributeTable() const { return table_; }
  const std::vector<std::uint32_t>& Indices() const { return indices_; }
  const std::vector<std::uint32_t>& Attributes() const { return attributes_; }
  const unsigned char* Vertices() const { return vertices_.data(); }
  // The position of a vertex ((0, 0, 0) past the last vertex).
  Vec3 Position(std::uint32_t vertex) const;
  Device* GetDevice() const { return device_; }

  // The vertex data, writable until UnlockVertexBuffer, which uploads it to
  // the device buffer and rebuilds the ray-cast structure (when the bytes
  // changed: a lock that only read them costs nothing more).
  void* LockVertexBuffer();
  void UnlockVertexBuffer();

  void DrawSubset(std::uint32_t attribId);

  // Closest hit of the ray rayPos + t * rayDir (t >= 0) with any face, both
  // sides counted; distance is t, in lengths of rayDir. Among faces hit at
  // exactly the same t (a shared edge or vertex, overlapping faces) the
  // lowest face index wins. A face seen edge-on (|det| below 1e-5 of
  // |dir| |e1| |e2|) or a sliver whose corners are all but in line counts as
  // missed: the solve there is rounding noise and could report a point far
  // from the face. Uses a bounding volume hierarchy and gives exactly the
  // answer of IntersectBruteForce.
  IntersectResult Intersect(const Vec3& rayPos, const Vec3& rayDir) const;
  // Builds the ray-cast structure now (the loader does it for the meshes the
  // game casts rays at, so play never waits for it).
  void PrepareIntersect() const;
  // The same over every face without acceleration (reference for tests and
  // benchmarks).
  IntersectResult IntersectBruteForce(const Vec3& rayPos, const Vec3& rayDir) const;

  // The radius of the largest ball about `centre` that lies wholly inside the
  // mesh: the distance from `centre` to the nearest face (less a hair of
  // 1e-5 of the mesh's size). 0 unless the faces close up into a surface
  // with no gap, turned one way (every edge, its ends compared by position
  // to within that hair, crossed once each way by the two faces sharing it),
  // with `centre` inside it. Whatever the ball hides from an eye outside the
  // mesh, the drawn mesh hides too.
  float EnclosedRadius(const Vec3& centre) const;

 private:
  Mesh() = default;
  ~Mesh() override;
  void RebuildTable();
  void UploadVertices();

  Device* device_ = nullptr;
  std::uint32_t fvf_ = 0;
  std::uint32_t stride_ = 0;
  std::uint32_t vertexCount_ = 0;
  std::vector<unsigned char> vertices_;
  std::vector<std::uint32_t> indices_;
  std::vector<std::uint32_t> attributes_;
  std::vector<AttributeRange> table_;
  VertexBuffer* vb_ = nullptr;
  IndexBuffer* ib_ = nullptr;
  const MeshBvh* Bvh() const;
  // Built on demand; bvhReady_ publishes it to threads that skip the lock.
  mutable std::mutex bvhMutex_;
  mutable std::unique_ptr<MeshBvh> bvh_;
  mutable std::atomic<const MeshBvh*> bvhReady_{nullptr};
  bool locked_ = false;
  std::uint64_t lockedFingerprint_ = 0;
};

// Ray / triangle test (Moller-Trumbore): true when the ray hits the triangle
// with t >= 0, u >= 0, v >= 0, u + v <= 1; u weights v1, v weights v2. A ray
// in the triangle's plane (or a degenerate triangle) never hits; NaN input
// never hits.
bool IntersectTri(const Vec3& v0, const Vec3& v1, const Vec3& v2, const Vec3& rayPos,
                  const Vec3& rayDir, float* u, float* v, float* t);

}  // namespace engine
