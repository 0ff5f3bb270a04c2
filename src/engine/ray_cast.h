// Ray casts against meshes: the ray / triangle test and the bounding volume
// hierarchy (binned surface area heuristic) that Mesh::Intersect runs
// through. The hierarchy stores each face's first vertex and two edge
// vectors, computed exactly as IntersectTri computes them, so a face tested
// through the hierarchy gives the very same t, u and v as the brute-force
// loop. Node boxes are widened a little and the pruning test is generous, so
// rounding in the box test can never hide the closest face.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/math.h"

namespace engine {

class Mesh;

struct IntersectResult {
  bool hit = false;
  std::uint32_t faceIndex = 0;
  float u = 0, v = 0;  // weights of the face's second and third vertex
  float distance = 0;  // in lengths of the ray direction
};

// Ray / triangle test (Moller-Trumbore): true when the ray hits the triangle
// with t >= 0, u >= 0, v >= 0, u + v <= 1; u weights v1, v weights v2. A ray
// in the triangle's plane (or a degenerate triangle) never hits; NaN input
// never hits.
bool IntersectTri(const Vec3& v0, const Vec3& v1, const Vec3& v2, const Vec3& rayPos,
                  const Vec3& rayDir, float* u, float* v, float* t);

// The acceleration structure of one mesh's faces, as they were when it was
// built (Mesh rebuilds it after the faces move).
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
  struct BuildItem;  // a face while the hierarchy is built (ray_cast.cpp)

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

}  // namespace engine
