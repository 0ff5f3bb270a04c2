#include "engine/xfile/basic_allocator.h"

#include <cstring>
#include <new>

namespace engine::xfile {

namespace {

char* CopyName(const char* name) {
  if (!name) return nullptr;
  const std::size_t n = std::strlen(name);
  char* copy = new (std::nothrow) char[n + 1];
  if (copy) std::memcpy(copy, name, n + 1);
  return copy;
}

}  // namespace

HResult BasicAllocator::CreateFrame(const char* name, Frame** newFrame) {
  *newFrame = nullptr;
  auto* f = new (std::nothrow) Frame();
  if (!f) return kOutOfMemory;
  f->name = CopyName(name);
  if (name && !f->name) {
    delete f;
    return kFail;
  }
  *newFrame = f;
  ++frames_;
  return kOk;
}

HResult BasicAllocator::CreateMeshContainer(const char* name, Mesh* mesh,
                                            const XMaterial* materials, std::uint32_t numMaterials,
                                            const std::uint32_t* adjacency, SkinInfo* skinInfo,
                                            MeshContainer** newContainer) {
  *newContainer = nullptr;
  if (!mesh) return kFail;
  auto* mc = new (std::nothrow) MeshContainer();
  if (!mc) return kOutOfMemory;
  mc->name = CopyName(name);
  mc->mesh = mesh;
  mesh->AddRef();
  if (materials && numMaterials > 0) {
    mc->materials = new XMaterial[numMaterials];
    for (std::uint32_t i = 0; i < numMaterials; ++i) mc->materials[i] = materials[i];
    mc->numMaterials = numMaterials;
  }
  if (adjacency) {
    const std::size_t n = std::size_t{mesh->GetNumFaces()} * 3;
    mc->adjacency = new std::uint32_t[n];
    std::memcpy(mc->adjacency, adjacency, n * sizeof(std::uint32_t));
  }
  if (skinInfo) {
    skinInfo->AddRef();
    mc->skinInfo = skinInfo;
  }
  *newContainer = mc;
  ++containers_;
  return kOk;
}

HResult BasicAllocator::DestroyFrame(Frame* frame) {
  if (!frame) return kOk;
  delete[] frame->name;
  delete frame;
  --frames_;
  return kOk;
}

HResult BasicAllocator::DestroyMeshContainer(MeshContainer* container) {
  if (!container) return kOk;
  delete[] container->name;
  if (container->mesh) container->mesh->Release();
  delete[] container->materials;
  delete[] container->adjacency;
  if (container->skinInfo) container->skinInfo->Release();
  delete container;
  --containers_;
  return kOk;
}

}  // namespace engine::xfile
