// Feeds arbitrary bytes to the .x hierarchy loader: it must refuse or load,
// never crash, read out of bounds or leak. Skinned meshes are also converted
// to blended meshes, as the game does on load.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/hierarchy.h"
#include "engine/xfile/basic_allocator.h"

namespace {

void Exercise(engine::Frame* f) {
  for (; f; f = f->sibling) {
    for (engine::MeshContainer* mc = f->meshContainer; mc; mc = mc->nextMeshContainer) {
      if (!mc->skinInfo) continue;
      std::uint32_t infl = 0;
      std::vector<engine::BoneCombination> table;
      if (engine::Mesh* m = mc->skinInfo->ConvertToBlendedMesh(*mc->mesh, &infl, &table)) {
        if (infl < 1 || infl > 4) std::abort();
        m->Release();
      }
    }
    Exercise(f->firstChild);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  engine::xfile::BasicAllocator alloc;
  engine::Frame* root = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  std::string error;
  const bool ok = engine::LoadMeshHierarchyFromXInMemory(data, size, "fuzz.x", nullptr, &alloc,
                                                         &root, &controller, &error);
  if (ok) {
    Exercise(root);
    if (controller) controller->AdvanceTime(0.5);
  } else if (root || error.empty()) {
    std::abort();  // a refusal must say why and hand nothing out
  }
  engine::FrameDestroy(root, &alloc);
  if (alloc.LiveFrames() != 0 || alloc.LiveContainers() != 0) std::abort();
  return 0;
}
