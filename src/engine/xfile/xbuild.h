// Turning the polygons of a .x mesh into a triangle list the device draws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/xfile/xscene.h"

namespace engine::xfile {

// What the engine takes from the platform below it.
using platform::Device;

struct BuiltMesh {
  std::uint32_t fvf = 0;
  std::vector<unsigned char> vertices;
  std::vector<std::uint32_t> indices;     // three per triangle
  std::vector<std::uint32_t> attributes;  // per triangle, sorted (stable)
  // For every output vertex, the position index of the file it came from.
  std::vector<std::uint32_t> vertexToPosition;
  std::uint32_t NumVertices() const { return static_cast<std::uint32_t>(vertexToPosition.size()); }
};

// Fan-triangulates every polygon ((v0, v1, v2), (v0, v2, v3), ...), splits a
// position into several vertices where its corners carry different normals,
// gives every triangle its polygon's material and sorts the triangles by it,
// keeping their order within a material. The first positions.size() output
// vertices are the file's positions in order; split copies follow.
// Layout: XYZ, then NORMAL, DIFFUSE, TEX1 when the mesh has them.
void BuildMesh(const MeshData& mesh, BuiltMesh* out);

// Three neighbours per triangle (0xFFFFFFFF where an edge is open), edges
// matched by file position so split vertices still join.
std::vector<std::uint32_t> ComputeAdjacency(const BuiltMesh& mesh);

// Most (vertex, weight) pairs the bones of one mesh may hold once their
// vertices are moved onto split copies.
inline constexpr std::size_t kMaxBoneEntries = std::size_t{1} << 25;

// The bones of a mesh with vertex indices moved onto the output vertices.
// False when they would exceed kMaxBoneEntries.
bool BuildBones(const MeshData& mesh, const BuiltMesh& built, std::vector<SkinInfo::Bone>* bones);

// What a file says of itself beside its hierarchy, for tools.
struct FileInfo {
  std::string format;  // "txt ", "bin ", "tzip" or "bzip"
  int floatBits = 32;
  std::uint32_t ticksPerSecond = 4800;
  std::uint32_t frames = 0;  // frames the file defines (CountFileFrames)
};

// LoadMeshHierarchyFromXInMemory (hierarchy.h) that also fills *info (when
// given) from the same single parse.
bool LoadMeshHierarchyWithInfo(const void* data, std::size_t size, const std::string& name,
                               Device* device, AllocateHierarchy* alloc, Frame** root,
                               std::unique_ptr<AnimationController>* controller, FileInfo* info,
                               std::string* error);

}  // namespace engine::xfile
