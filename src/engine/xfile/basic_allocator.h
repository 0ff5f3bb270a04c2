// A plain hierarchy allocator: frames and containers hold copies of what the
// loader hands over (names, materials, adjacency) and a reference to the mesh
// and the skin information. Tools, tests and the fuzzer use it; the game has
// its own.
#pragma once

#include "engine/hierarchy.h"

namespace engine::xfile {

class BasicAllocator : public AllocateHierarchy {
 public:
  HResult CreateFrame(const char* name, Frame** newFrame) override;
  HResult CreateMeshContainer(const char* name, Mesh* mesh, const XMaterial* materials,
                              std::uint32_t numMaterials, const std::uint32_t* adjacency,
                              SkinInfo* skinInfo, MeshContainer** newContainer) override;
  HResult DestroyFrame(Frame* frame) override;
  HResult DestroyMeshContainer(MeshContainer* container) override;

  // Live objects, so callers can check that nothing leaked.
  int LiveFrames() const { return frames_; }
  int LiveContainers() const { return containers_; }

 private:
  int frames_ = 0;
  int containers_ = 0;
};

}  // namespace engine::xfile
