#include "media/mesh_manager.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "engine/texture_loader.h"
#include "media/load_report.h"

namespace media {

namespace {

char* CopyName(const char* name) {
  if (!name) return nullptr;
  std::size_t n = std::strlen(name);
  char* copy = new (std::nothrow) char[n + 1];
  if (copy) std::memcpy(copy, name, n + 1);
  return copy;
}

// Material textures by device and file: the models share one palette, so it
// is decoded and kept once. The table holds a reference of its own until
// the models are cleared.
std::mutex gMaterialMutex;
std::map<std::pair<platform::Device*, std::string>, platform::Texture*> gMaterialTextures;

platform::Texture* LoadMaterialTexture(platform::Device* device, const std::string& file) {
  if (file.empty() || !device) return nullptr;
  const auto key = std::make_pair(device, file);
  {
    std::lock_guard<std::mutex> lock(gMaterialMutex);
    auto it = gMaterialTextures.find(key);
    if (it != gMaterialTextures.end()) {
      it->second->AddRef();
      return it->second;
    }
  }
  platform::Texture* texture = nullptr;
  std::string error;
  if (!engine::CreateTextureFromFile(device, file, &texture, &error)) {
    ReportFailedLoad("texture", file, error);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(gMaterialMutex);
  auto [it, inserted] = gMaterialTextures.emplace(key, texture);
  if (!inserted) {
    // Another thread made the same texture meanwhile: share the first one.
    texture->Release();
    texture = it->second;
  }
  texture->AddRef();
  return texture;
}

void ReleaseMaterialTextures() {
  std::lock_guard<std::mutex> lock(gMaterialMutex);
  for (auto& [key, texture] : gMaterialTextures) texture->Release();
  gMaterialTextures.clear();
}

template <class T>
void ReleaseAll(std::vector<T*>& items) {
  for (T* item : items)
    if (item) item->Release();
  items.clear();
}

}  // namespace

StaticMesh::~StaticMesh() {
  ReleaseAll(textures);
  if (mesh) mesh->Release();
}

}  // namespace media

namespace AnimeXFile {

using engine::HResult;

HResult MyHierarchy::CreateFrame(const char* name, engine::Frame** newFrame) {
  *newFrame = nullptr;
  auto* frame = new (std::nothrow) FrameEx;
  if (!frame) return engine::kOutOfMemory;
  if (name) {
    frame->name = media::CopyName(name);
    if (!frame->name) {
      delete frame;
      return engine::kFail;
    }
  }
  *newFrame = frame;
  return engine::kOk;
}

HResult MyHierarchy::CreateMeshContainer(const char* name, engine::Mesh* mesh,
                                         const engine::XMaterial* materials,
                                         std::uint32_t numMaterials, const std::uint32_t* adjacency,
                                         engine::SkinInfo* skinInfo,
                                         engine::MeshContainer** newContainer) {
  *newContainer = nullptr;
  if (!mesh) return engine::kFail;
  auto* c = new (std::nothrow) MeshContainerEx;
  if (!c) return engine::kOutOfMemory;
  if (name) {
    c->name = media::CopyName(name);
    if (!c->name) {
      delete c;
      return engine::kFail;
    }
  }
  platform::Device* device = mesh->GetDevice() ? mesh->GetDevice() : device_;
  std::uint32_t faces = mesh->GetNumFaces();
  c->numMaterials = numMaterials > 0 ? numMaterials : 1;
  c->materials = new (std::nothrow) engine::XMaterial[c->numMaterials];
  c->adjacency = new (std::nothrow) std::uint32_t[static_cast<std::size_t>(faces) * 3 + 1];
  if (!c->materials || !c->adjacency) {
    DestroyMeshContainer(c);
    return engine::kFail;
  }
  if (adjacency) std::memcpy(c->adjacency, adjacency, sizeof(std::uint32_t) * faces * 3);
  c->textures.assign(c->numMaterials, nullptr);

  if (materials && numMaterials > 0) {
    for (std::uint32_t i = 0; i < numMaterials; ++i) {
      c->materials[i].material = materials[i].material;
      // The texture is made here; the container keeps no file name.
      c->textures[i] = media::LoadMaterialTexture(device, materials[i].textureFilename);
    }
  } else {
    // A mesh without materials draws in a plain grey.
    platform::Material& m = c->materials[0].material;
    m = platform::Material{};
    m.diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
    m.specular = m.diffuse;
  }

  if (skinInfo) {
    skinInfo->AddRef();
    c->skinInfo = skinInfo;
    std::uint32_t bones = skinInfo->GetNumBones();
    c->boneOffsetMatrices.resize(bones);
    for (std::uint32_t b = 0; b < bones; ++b)
      c->boneOffsetMatrices[b] = *skinInfo->GetBoneOffsetMatrix(b);
    std::uint32_t maxInfluences = 0;
    engine::Mesh* blended =
        skinInfo->ConvertToBlendedMesh(*mesh, &maxInfluences, &c->boneCombinations);
    if (!blended) {
      DestroyMeshContainer(c);
      return engine::kFail;
    }
    c->mesh = blended;
    c->maxFaceInfluences = maxInfluences;
    c->boneCombinationCount = static_cast<std::uint32_t>(c->boneCombinations.size());
  } else {
    mesh->AddRef();
    c->mesh = mesh;
  }
  *newContainer = c;
  return engine::kOk;
}

HResult MyHierarchy::DestroyFrame(engine::Frame* frame) {
  auto* f = static_cast<FrameEx*>(frame);
  delete[] f->name;
  delete f;
  return engine::kOk;
}

HResult MyHierarchy::DestroyMeshContainer(engine::MeshContainer* container) {
  auto* c = static_cast<MeshContainerEx*>(container);
  delete[] c->name;
  if (c->skinInfo) c->skinInfo->Release();
  delete[] c->adjacency;
  delete[] c->materials;
  media::ReleaseAll(c->textures);
  if (c->mesh) c->mesh->Release();
  delete c;
  return engine::kOk;
}

AnimatedModel::~AnimatedModel() {
  if (rootFrame) engine::FrameDestroy(rootFrame, &allocator);
  rootFrame = nullptr;
}

namespace {

bool LinkBones(FrameEx* frame, FrameEx* root) {
  bool ok = true;
  for (engine::MeshContainer* mc = frame->meshContainer; mc; mc = mc->nextMeshContainer) {
    auto* c = static_cast<MeshContainerEx*>(mc);
    if (!c->skinInfo) continue;
    std::uint32_t bones = c->skinInfo->GetNumBones();
    c->boneMatrixPointers.assign(bones, nullptr);
    for (std::uint32_t b = 0; b < bones; ++b) {
      auto* target = static_cast<FrameEx*>(engine::FrameFind(root, c->skinInfo->GetBoneName(b)));
      if (target) {
        c->boneMatrixPointers[b] = &target->combinedTransform;
      } else {
        ok = false;
      }
    }
  }
  return ok;
}

}  // namespace

bool SetupBoneMatrixPointers(FrameEx* frame, FrameEx* root) {
  if (!frame) return true;
  bool ok = LinkBones(frame, root);
  ok = SetupBoneMatrixPointers(static_cast<FrameEx*>(frame->sibling), root) && ok;
  ok = SetupBoneMatrixPointers(static_cast<FrameEx*>(frame->firstChild), root) && ok;
  return ok;
}

}  // namespace AnimeXFile

namespace media {

MeshManager::~MeshManager() { Clear(); }

void MeshManager::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  static_.clear();
  animated_.clear();
  ReleaseMaterialTextures();
}

void MeshManager::LoadStaticMesh(const char* path, platform::Device* device, bool rayCast) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (static_.count(path)) return;
  }
  engine::Mesh* mesh = nullptr;
  std::vector<engine::XMaterial> materials;
  std::string error;
  if (!engine::LoadMeshFromX(path, device, &mesh, &materials, &error)) {
    ReportFailedLoad("model", path, error);
    return;
  }
  if (rayCast) mesh->PrepareIntersect();
  auto entry = std::make_unique<StaticMesh>();
  entry->mesh = mesh;
  entry->materialCount = static_cast<std::uint32_t>(materials.size());
  engine::ComputeBoundingSphere(mesh->Vertices(), mesh->GetNumVertices(),
                                mesh->GetNumBytesPerVertex(), &entry->boundCentre,
                                &entry->boundRadius);
  for (const engine::XMaterial& m : materials) {
    platform::Material copy = m.material;
    copy.ambient = copy.diffuse;
    entry->materials.push_back(copy);
    entry->textures.push_back(LoadMaterialTexture(device, m.textureFilename));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  static_.emplace(path, std::move(entry));  // a racing load of the same path keeps the first
}

StaticMesh* MeshManager::FindStaticMesh(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = static_.find(path);
  return it == static_.end() ? nullptr : it->second.get();
}

void MeshManager::LoadAnimatedModel(const char* path, platform::Device* device) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (animated_.count(path)) return;
  }
  auto model = std::make_unique<AnimatedModel>();
  model->device = device;
  model->allocator.SetDevice(device);
  engine::Frame* root = nullptr;
  std::string error;
  if (!engine::LoadMeshHierarchyFromX(path, device, &model->allocator, &root, &model->controller,
                                      &error)) {
    // The reader's message names the file and where it went wrong.
    if (error.find(path) == std::string::npos) error = std::string(path) + ": " + error;
    throw XFileLoadError(std::string(kXFileLoadFailed) + "\n" + error);
  }
  model->rootFrame = static_cast<AnimeXFile::FrameEx*>(root);
  if (model->controller) {
    engine::TrackDesc desc;
    desc.priority = engine::TrackPriority::Low;
    desc.weight = 1.0f;
    desc.speed = 1.0f;
    desc.position = 0.0;
    desc.enable = true;
    // Sets beyond the room for them are not reachable through animationSets.
    for (std::uint32_t i = 0;
         i < model->controller->GetNumAnimationSets() && i < AnimeXFile::kMaxAnimationSets; ++i) {
      model->controller->SetTrackDesc(i, desc);
      model->animationSets[i] = model->controller->GetAnimationSet(i);
    }
  }
  if (!AnimeXFile::SetupBoneMatrixPointers(model->rootFrame, model->rootFrame)) {
    std::fprintf(stderr, "poromeko: %s: some bones name no frame; they stay in the bind pose\n",
                 path);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  animated_.emplace(path, std::move(model));
}

AnimatedModel* MeshManager::FindAnimatedModel(const char* path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = animated_.find(path);
  return it == animated_.end() ? nullptr : it->second.get();
}

void UpdateFrameMatrices(engine::Frame* frame, const engine::Matrix* parent) {
  if (!frame) return;
  auto* f = static_cast<AnimeXFile::FrameEx*>(frame);
  f->combinedTransform = parent ? f->transformationMatrix * *parent : f->transformationMatrix;
  UpdateFrameMatrices(f->sibling, parent);
  UpdateFrameMatrices(f->firstChild, &f->combinedTransform);
}

namespace {

void DrawContainer(platform::Device* device, AnimeXFile::FrameEx* frame,
                   AnimeXFile::MeshContainerEx* c, bool withAlpha, float alpha) {
  using platform::RenderState;
  if (!c->mesh) return;
  if (c->skinInfo) {
    for (std::uint32_t ci = 0; ci < c->boneCombinationCount; ++ci) {
      const engine::BoneCombination& combo = c->boneCombinations[ci];
      std::uint32_t blend = 0;
      for (std::uint32_t j = 0; j < c->maxFaceInfluences && j < combo.boneId.size(); ++j)
        if (combo.boneId[j] != engine::kUnusedBone) blend = j;
      device->SetRenderState(RenderState::VertexBlend, blend);
      for (std::uint32_t j = 0; j < c->maxFaceInfluences && j < combo.boneId.size() && j < 4; ++j) {
        std::uint32_t b = combo.boneId[j];
        if (b == engine::kUnusedBone || b >= c->boneOffsetMatrices.size()) continue;
        const engine::Matrix* bone =
            c->boneMatrixPointers.size() > b ? c->boneMatrixPointers[b] : nullptr;
        engine::Matrix world = bone ? c->boneOffsetMatrices[b] * *bone : c->boneOffsetMatrices[b];
        device->SetTransform(platform::WorldMatrix(static_cast<int>(j)), world);
      }
      std::uint32_t attrib = combo.attribId < c->numMaterials ? combo.attribId : 0;
      platform::Material m = c->materials[attrib].material;
      m.emissive.r = m.emissive.g = m.emissive.b = 0.5f;
      if (withAlpha) m.diffuse.a = alpha / 255.0f;
      device->SetMaterial(m);
      device->SetTexture(0, c->textures[attrib]);
      c->mesh->DrawSubset(ci);
      device->SetRenderState(RenderState::VertexBlend, 0);
    }
  } else {
    device->SetTransform(platform::TransformState::World, frame->combinedTransform);
    for (std::uint32_t i = 0; i < c->numMaterials; ++i) {
      device->SetMaterial(c->materials[i].material);
      device->SetTexture(0, c->textures[i]);
      c->mesh->DrawSubset(i);
    }
  }
}

void DrawFramesImpl(platform::Device* device, engine::Frame* frame, bool withAlpha, float alpha) {
  if (!frame || !device) return;
  auto* f = static_cast<AnimeXFile::FrameEx*>(frame);
  for (engine::MeshContainer* mc = f->meshContainer; mc; mc = mc->nextMeshContainer)
    DrawContainer(device, f, static_cast<AnimeXFile::MeshContainerEx*>(mc), withAlpha, alpha);
  DrawFramesImpl(device, f->sibling, withAlpha, alpha);
  DrawFramesImpl(device, f->firstChild, withAlpha, alpha);
}

}  // namespace

void DrawFrames(platform::Device* device, engine::Frame* frame) {
  DrawFramesImpl(device, frame, false, 0.0f);
}

void DrawFramesAlpha(platform::Device* device, engine::Frame* frame, float alpha) {
  DrawFramesImpl(device, frame, true, alpha);
}

void SetAnimationPosition(AnimatedModel* model, double position) {
  if (model && model->controller) model->controller->SetTrackPosition(0, position);
}

void DrawStaticMesh(StaticMesh* mesh, platform::Device* device) {
  if (!mesh || !mesh->mesh || !device) return;
  for (std::uint32_t i = 0; i < mesh->materialCount; ++i) {
    device->SetMaterial(mesh->materials[i]);
    device->SetTexture(0, mesh->textures[i]);
    mesh->mesh->DrawSubset(i);
  }
}

void DrawStaticMeshAlpha(StaticMesh* mesh, platform::Device* device, float alpha) {
  if (!mesh || !mesh->mesh || !device) return;
  for (std::uint32_t i = 0; i < mesh->materialCount; ++i) {
    platform::Material m = mesh->materials[i];
    m.diffuse.a = alpha / 255.0f;
    device->SetMaterial(m);
    device->SetTexture(0, mesh->textures[i]);
    mesh->mesh->DrawSubset(i);
  }
}

}  // namespace media
