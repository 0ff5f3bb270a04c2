#include "media/mesh_manager.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "engine/texture_loader.h"
#include "media/faces_in_view.h"
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

StaticMesh::StaticMesh() = default;

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
  c->closed = media::ClosesUpOutward(*mesh);
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
  entry->closed = ClosesUpOutward(*mesh);
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

// Whether opaque models leave out the faces they turn away from the eye (see
// SetCullTurnedAwayFaces).
bool gCullTurnedAway = true;

// The sign of the determinant of the matrix's upper 3 x 3: negative for a
// world that mirrors what it places.
int Handedness(const engine::Matrix& w) {
  const auto& m = w.m;
  const float det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                    m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                    m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  return det > 0.0f ? 1 : det < 0.0f ? -1 : 0;
}

// The cull mode that leaves out the faces a model turns away from the eye,
// for worlds of the given handedness. The game's faces are wound clockwise
// as the eye sees their front; a mirroring world shows them anticlockwise,
// and a draw whose bones do not agree (or flatten the model) culls nothing.
std::uint32_t CullAway(int handedness) {
  return handedness > 0   ? platform::kCullCCW
         : handedness < 0 ? platform::kCullCW
                          : platform::kCullNone;
}

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
      int handedness = 2;  // none seen yet
      for (std::uint32_t j = 0; j < c->maxFaceInfluences && j < combo.boneId.size() && j < 4; ++j) {
        std::uint32_t b = combo.boneId[j];
        if (b == engine::kUnusedBone || b >= c->boneOffsetMatrices.size()) continue;
        const engine::Matrix* bone =
            c->boneMatrixPointers.size() > b ? c->boneMatrixPointers[b] : nullptr;
        engine::Matrix world = bone ? c->boneOffsetMatrices[b] * *bone : c->boneOffsetMatrices[b];
        device->SetTransform(platform::WorldMatrix(static_cast<int>(j)), world);
        const int h = Handedness(world);
        handedness = handedness == 2 || handedness == h ? h : 0;
      }
      // A see-through draw shows the faces behind; an opaque one hides them.
      if (!withAlpha && gCullTurnedAway) {
        device->SetRenderState(RenderState::CullMode,
                               c->closed ? CullAway(handedness % 2) : platform::kCullNone);
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
    if (!withAlpha && gCullTurnedAway) {
      device->SetRenderState(
          RenderState::CullMode,
          c->closed ? CullAway(Handedness(frame->combinedTransform)) : platform::kCullNone);
    }
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
  if (!device) return;
  const std::uint32_t cull = device->GetRenderState(platform::RenderState::CullMode);
  DrawFramesImpl(device, frame, false, 0.0f);
  device->SetRenderState(platform::RenderState::CullMode, cull);
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

bool ClosesUpOutward(const engine::Mesh& mesh) {
  const std::vector<std::uint32_t>& index = mesh.Indices();
  const std::uint32_t vertices = mesh.GetNumVertices();
  if (index.empty() || vertices == 0) return false;
  // Corners that stand at the same place are one point: vertices sorted by
  // position, each numbered by the first of its place.
  std::vector<std::pair<std::array<float, 3>, std::uint32_t>> places(vertices);
  for (std::uint32_t i = 0; i < vertices; ++i) {
    const engine::Vec3 v = mesh.Position(i);
    places[i] = {{v.x, v.y, v.z}, i};
  }
  std::sort(places.begin(), places.end());
  std::vector<std::uint32_t> point(vertices);
  for (std::uint32_t i = 0, first = 0; i < vertices; ++i) {
    if (i > 0 && places[i].first != places[i - 1].first) first = i;
    point[places[i].second] = first;
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
  edges.reserve(index.size());
  double volume = 0;
  for (std::size_t f = 0; f + 2 < index.size(); f += 3) {
    if (index[f] >= vertices || index[f + 1] >= vertices || index[f + 2] >= vertices) return false;
    const std::uint32_t p[3] = {point[index[f]], point[index[f + 1]], point[index[f + 2]]};
    for (int k = 0; k < 3; ++k) edges.emplace_back(p[k], p[(k + 1) % 3]);
    const engine::Vec3 a = mesh.Position(index[f]), b = mesh.Position(index[f + 1]),
                       c = mesh.Position(index[f + 2]);
    volume += static_cast<double>(engine::Vec3Dot(a, engine::Vec3Cross(b, c)));
  }
  std::sort(edges.begin(), edges.end());
  for (std::size_t e = 0; e < edges.size(); ++e) {
    const auto [u, v] = edges[e];
    if (u == v || (e + 1 < edges.size() && edges[e + 1] == edges[e])) return false;
    if (!std::binary_search(edges.begin(), edges.end(), std::make_pair(v, u))) return false;
  }
  return volume > 0;
}

void SetCullTurnedAwayFaces(bool on) { gCullTurnedAway = on; }

void DrawStaticMeshInView(StaticMesh* mesh, platform::Device* device, float scale,
                          const engine::Vec3& eye, const std::array<engine::Plane, 6>& planes) {
  if (!mesh || !mesh->mesh || !device) return;
  if (!mesh->facesInView) mesh->facesInView = std::make_unique<FacesInView>(*mesh->mesh);
  const std::uint32_t cull = device->GetRenderState(platform::RenderState::CullMode);
  const bool culled = gCullTurnedAway && mesh->closed;
  if (culled) {
    device->SetRenderState(
        platform::RenderState::CullMode,
        CullAway(Handedness(device->GetTransform(platform::TransformState::World))));
  }
  const FacesInView& faces = *mesh->facesInView;
  for (std::uint32_t i = 0; i < mesh->materialCount; ++i) {
    device->SetMaterial(mesh->materials[i]);
    device->SetTexture(0, mesh->textures[i]);
    faces.DrawSubset(*mesh->mesh, device, i, scale, eye, planes, culled);
  }
  device->SetRenderState(platform::RenderState::CullMode, cull);
}

void DrawClosedStaticMesh(StaticMesh* mesh, platform::Device* device) {
  if (!mesh || !mesh->mesh || !device) return;
  if (!gCullTurnedAway || !mesh->closed) {
    DrawStaticMesh(mesh, device);
    return;
  }
  const std::uint32_t cull = device->GetRenderState(platform::RenderState::CullMode);
  device->SetRenderState(
      platform::RenderState::CullMode,
      CullAway(Handedness(device->GetTransform(platform::TransformState::World))));
  DrawStaticMesh(mesh, device);
  device->SetRenderState(platform::RenderState::CullMode, cull);
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
