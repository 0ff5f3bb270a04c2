// Frame hierarchies, skin information and the .x loaders built on them.
//
// Contract (no back-end specific part; meshes are created on the device
// passed in, which may be a NullDevice):
//  - LoadMeshFromX reads one .x file and merges every mesh in it into one
//    mesh (each transformed by its frame's combined matrix), with one
//    material per material of the file.
//  - LoadMeshHierarchyFromX builds frames and mesh containers through the
//    caller's AllocateHierarchy, in file order (first child, then siblings;
//    several meshes in one frame chain through nextMeshContainer). A top-level
//    mesh gets an unnamed identity frame; several top-level items get an extra
//    unnamed identity root. It returns the root and an animation controller
//    (null when the file has no animation sets) whose outputs are the frames'
//    transformationMatrix.
//  - Meshes are fan-triangulated, split where a position has different
//    normals or texture coordinates, and attribute-sorted (stable).
//  - Every failure (missing file, malformed content, allocator failure)
//    returns false with a message naming the file and where it went wrong;
//    nothing is leaked: frames and containers already created are handed
//    back to the allocator's Destroy operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/math.h"
#include "engine/mesh.h"
#include "platform/graphics.h"

namespace engine {

// What the engine takes from the platform below it.
using platform::Device;
using platform::Material;
using platform::Resource;

// A material as read from a file, with the texture file name it names
// (empty when none).
struct XMaterial {
  Material material;
  std::string textureFilename;
};

struct BoneCombination {
  std::uint32_t attribId = 0;
  std::uint32_t faceStart = 0;
  std::uint32_t faceCount = 0;
  std::uint32_t vertexStart = 0;
  std::uint32_t vertexCount = 0;
  std::vector<std::uint32_t> boneId;  // maxFaceInfluences entries, 0xFFFFFFFF when unused
};

inline constexpr std::uint32_t kUnusedBone = 0xFFFFFFFFu;

// Bones of one skinned mesh: names, offset matrices (mesh space to bone
// space) and per-bone vertex weights.
class SkinInfo : public Resource {
 public:
  struct Bone {
    std::string name;
    Matrix offset;
    std::vector<std::uint32_t> vertices;
    std::vector<float> weights;
  };
  explicit SkinInfo(std::vector<Bone> bones) : bones_(std::move(bones)) {}

  std::uint32_t GetNumBones() const { return static_cast<std::uint32_t>(bones_.size()); }
  const char* GetBoneName(std::uint32_t bone) const;
  const Matrix* GetBoneOffsetMatrix(std::uint32_t bone) const;
  const Bone& GetBone(std::uint32_t bone) const { return bones_[bone]; }
  // The largest number of distinct bones acting on one face of the mesh.
  std::uint32_t GetMaxFaceInfluences(const Mesh& mesh) const;

  // A copy of `mesh` with non-indexed blend weights (XYZBn with
  // n = maxFaceInfluences - 1, the last weight implicit), faces grouped by
  // (material, bone set) into bone combinations, whose index is the new
  // mesh's attribute id. Returns null on failure.
  Mesh* ConvertToBlendedMesh(const Mesh& mesh, std::uint32_t* maxFaceInfluences,
                             std::vector<BoneCombination>* combinations) const;

 private:
  ~SkinInfo() override = default;
  std::vector<Bone> bones_;
};

struct MeshContainer;

struct Frame {
  char* name = nullptr;  // owned by the allocator
  Matrix transformationMatrix;
  MeshContainer* meshContainer = nullptr;
  Frame* sibling = nullptr;
  Frame* firstChild = nullptr;
  virtual ~Frame() = default;
};

struct MeshContainer {
  char* name = nullptr;  // owned by the allocator
  Mesh* mesh = nullptr;  // one reference held by the container
  XMaterial* materials = nullptr;
  std::uint32_t numMaterials = 0;
  std::uint32_t* adjacency = nullptr;
  SkinInfo* skinInfo = nullptr;
  MeshContainer* nextMeshContainer = nullptr;
  virtual ~MeshContainer() = default;
};

// Result codes of the allocator operations.
enum HResult : std::int32_t {
  kOk = 0,
  kFail = static_cast<std::int32_t>(0x80004005u),
  kOutOfMemory = static_cast<std::int32_t>(0x8007000Eu),
};

// Implemented by the caller of LoadMeshHierarchyFromX.
class AllocateHierarchy {
 public:
  virtual ~AllocateHierarchy() = default;
  virtual HResult CreateFrame(const char* name, Frame** newFrame) = 0;
  // `mesh` is lent for the call: a container that keeps it takes its own
  // reference (AddRef). `materials` may be null when the file has none.
  // `skinInfo` is null for unskinned meshes; a container that keeps it adds a
  // reference.
  virtual HResult CreateMeshContainer(const char* name, Mesh* mesh, const XMaterial* materials,
                                      std::uint32_t numMaterials, const std::uint32_t* adjacency,
                                      SkinInfo* skinInfo, MeshContainer** newContainer) = 0;
  virtual HResult DestroyFrame(Frame* frame) = 0;
  virtual HResult DestroyMeshContainer(MeshContainer* container) = 0;
};

bool LoadMeshFromX(const std::string& path, Device* device, Mesh** mesh,
                   std::vector<XMaterial>* materials, std::string* error = nullptr);

bool LoadMeshHierarchyFromX(const std::string& path, Device* device, AllocateHierarchy* alloc,
                            Frame** root, std::unique_ptr<AnimationController>* controller,
                            std::string* error = nullptr);

// The same from memory (tests, fuzzing). `name` is used in messages only.
bool LoadMeshHierarchyFromXInMemory(const void* data, std::size_t size, const std::string& name,
                                    Device* device, AllocateHierarchy* alloc, Frame** root,
                                    std::unique_ptr<AnimationController>* controller,
                                    std::string* error = nullptr);

// Gives every frame and container of the hierarchy back to the allocator.
void FrameDestroy(Frame* root, AllocateHierarchy* alloc);

// The frame with this name in the subtree (depth-first, children before
// siblings), or null.
Frame* FrameFind(Frame* root, const char* name);

}  // namespace engine
