// Mesh building and the .x loaders of hierarchy.h.
#include "engine/xfile/xbuild.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

#include "engine/hierarchy.h"
#include "platform/file.h"

namespace engine {

using platform::GetFVFVertexSize;
using platform::kFvfDiffuse;
using platform::kFvfNormal;
using platform::kFvfTex1;
using platform::kFvfXyz;
using platform::ReadWholeFile;

}  // namespace engine

namespace engine::xfile {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

struct SplitKey {
  std::uint32_t position;
  float nx, ny, nz;  // -0 folded into 0, so equal normals compare equal
  bool operator==(const SplitKey& o) const {
    return position == o.position && nx == o.nx && ny == o.ny && nz == o.nz;
  }
};
struct SplitKeyHash {
  std::size_t operator()(const SplitKey& k) const {
    std::uint32_t b[3];
    std::memcpy(b, &k.nx, 4);
    std::memcpy(b + 1, &k.ny, 4);
    std::memcpy(b + 2, &k.nz, 4);
    std::uint64_t h = k.position * 0x9E3779B97F4A7C15ull;
    for (std::uint32_t x : b) h = (h ^ x) * 0x100000001B3ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

void Put(std::vector<unsigned char>* out, std::size_t at, const void* src, std::size_t n) {
  std::memcpy(out->data() + at, src, n);
}

}  // namespace

void BuildMesh(const MeshData& mesh, BuiltMesh* out) {
  const auto nPositions = static_cast<std::uint32_t>(mesh.positions.size());
  const std::uint32_t nFaces = mesh.NumFaces();
  // Output vertices: the first copy of a position keeps its index; copies
  // for other normals follow the file's positions.
  std::vector<std::uint32_t>& toPos = out->vertexToPosition;
  toPos.resize(nPositions);
  for (std::uint32_t i = 0; i < nPositions; ++i) toPos[i] = i;
  std::vector<std::uint32_t> normalOf(nPositions, kNone);
  std::unordered_map<SplitKey, std::uint32_t, SplitKeyHash> splits;

  // Output vertex of each polygon corner.
  std::vector<std::uint32_t> corner(mesh.faceIndices.size());
  for (std::size_t c = 0; c < mesh.faceIndices.size(); ++c) {
    const std::uint32_t p = mesh.faceIndices[c];
    if (!mesh.hasNormals) {
      corner[c] = p;
      continue;
    }
    const std::uint32_t n = mesh.normalIndices[c];
    const Vec3& nv = mesh.normals[n];
    if (normalOf[p] == kNone) normalOf[p] = n;
    if (normalOf[p] == n || mesh.normals[normalOf[p]] == nv) {
      corner[c] = p;
      continue;
    }
    // A copy of p for this normal (by value), made on first need.
    const SplitKey key{p, nv.x + 0.0f, nv.y + 0.0f, nv.z + 0.0f};
    auto [it, inserted] = splits.emplace(key, static_cast<std::uint32_t>(toPos.size()));
    if (inserted) {
      toPos.push_back(p);
      normalOf.push_back(n);
    }
    corner[c] = it->second;
  }

  // Triangles, then a stable counting sort by material.
  std::size_t nTris = 0;
  for (std::uint32_t f = 0; f < nFaces; ++f) nTris += mesh.faceStart[f + 1] - mesh.faceStart[f] - 2;
  std::vector<std::uint32_t> tris;
  std::vector<std::uint32_t> attrs;
  tris.reserve(nTris * 3);
  attrs.reserve(nTris);
  std::uint32_t maxAttr = 0;
  for (std::uint32_t f = 0; f < nFaces; ++f) {
    const std::uint32_t s = mesh.faceStart[f], e = mesh.faceStart[f + 1];
    const std::uint32_t a = mesh.faceMaterials.empty() ? 0 : mesh.faceMaterials[f];
    if (a > maxAttr) maxAttr = a;
    for (std::uint32_t k = s + 1; k + 1 < e; ++k) {
      tris.push_back(corner[s]);
      tris.push_back(corner[k]);
      tris.push_back(corner[k + 1]);
      attrs.push_back(a);
    }
  }
  std::vector<std::size_t> firstOf(std::size_t{maxAttr} + 2, 0);
  for (std::uint32_t a : attrs) ++firstOf[a + 1];
  for (std::size_t a = 1; a < firstOf.size(); ++a) firstOf[a] += firstOf[a - 1];
  out->indices.assign(tris.size(), 0);
  out->attributes.assign(attrs.size(), 0);
  for (std::size_t t = 0; t < attrs.size(); ++t) {
    const std::size_t to = firstOf[attrs[t]]++;
    out->attributes[to] = attrs[t];
    for (int k = 0; k < 3; ++k) out->indices[3 * to + k] = tris[3 * t + k];
  }

  // Vertex data.
  out->fvf = kFvfXyz | (mesh.hasNormals ? kFvfNormal : 0u) | (mesh.hasColors ? kFvfDiffuse : 0u) |
             (mesh.hasTexcoords ? kFvfTex1 : 0u);
  const std::uint32_t stride = GetFVFVertexSize(out->fvf);
  const std::size_t nVerts = toPos.size();
  out->vertices.assign(nVerts * stride, 0);
  for (std::size_t v = 0; v < nVerts; ++v) {
    const std::uint32_t p = toPos[v];
    std::size_t at = v * stride;
    Put(&out->vertices, at, &mesh.positions[p], 12);
    at += 12;
    if (mesh.hasNormals) {
      const Vec3 n = normalOf[v] == kNone ? Vec3{} : mesh.normals[normalOf[v]];
      Put(&out->vertices, at, &n, 12);
      at += 12;
    }
    if (mesh.hasColors) {
      Put(&out->vertices, at, &mesh.colors[p], 4);
      at += 4;
    }
    if (mesh.hasTexcoords) Put(&out->vertices, at, &mesh.texcoords[p], 8);
  }
}

std::vector<std::uint32_t> ComputeAdjacency(const BuiltMesh& mesh) {
  const std::size_t nTris = mesh.attributes.size();
  std::vector<std::uint32_t> adj(nTris * 3, kNone);
  std::unordered_map<std::uint64_t, std::uint32_t> open;  // edge -> face * 3 + edge slot
  open.reserve(nTris * 2);
  for (std::size_t t = 0; t < nTris; ++t) {
    for (int e = 0; e < 3; ++e) {
      std::uint32_t a = mesh.vertexToPosition[mesh.indices[3 * t + e]];
      std::uint32_t b = mesh.vertexToPosition[mesh.indices[3 * t + (e + 1) % 3]];
      if (a == b) continue;
      if (a > b) std::swap(a, b);
      const std::uint64_t key = (static_cast<std::uint64_t>(a) << 32) | b;
      const auto slot = static_cast<std::uint32_t>(t * 3 + static_cast<std::size_t>(e));
      auto [it, inserted] = open.emplace(key, slot);
      if (!inserted) {
        const std::uint32_t other = it->second;
        if (adj[other] == kNone && other / 3 != t) {
          adj[other] = static_cast<std::uint32_t>(t);
          adj[slot] = other / 3;
          open.erase(it);
        }
      }
    }
  }
  return adj;
}

bool BuildBones(const MeshData& mesh, const BuiltMesh& built, std::vector<SkinInfo::Bone>* out) {
  // Output vertices of every position.
  const std::size_t nPositions = mesh.positions.size();
  std::vector<std::uint32_t> first(nPositions + 1, 0);
  for (std::uint32_t p : built.vertexToPosition) ++first[p + 1];
  for (std::size_t i = 1; i <= nPositions; ++i) first[i] += first[i - 1];
  std::vector<std::uint32_t> list(built.vertexToPosition.size());
  {
    std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
    for (std::uint32_t v = 0; v < built.vertexToPosition.size(); ++v)
      list[fill[built.vertexToPosition[v]]++] = v;
  }
  std::size_t total = 0;
  for (const SkinWeightsData& sw : mesh.skinWeights) {
    for (std::uint32_t p : sw.vertices) total += first[p + 1] - first[p];
    if (total > kMaxBoneEntries) return false;
  }
  std::vector<SkinInfo::Bone>& bones = *out;
  bones.clear();
  bones.reserve(mesh.skinWeights.size());
  for (const SkinWeightsData& sw : mesh.skinWeights) {
    SkinInfo::Bone b;
    b.name = sw.frameName;
    b.offset = sw.offset;
    for (std::size_t i = 0; i < sw.vertices.size(); ++i) {
      const std::uint32_t p = sw.vertices[i];
      for (std::uint32_t k = first[p]; k < first[p + 1]; ++k) {
        b.vertices.push_back(list[k]);
        b.weights.push_back(sw.weights[i]);
      }
    }
    bones.push_back(std::move(b));
  }
  return true;
}

}  // namespace engine::xfile

namespace engine {

namespace {

using xfile::BuiltMesh;
using xfile::FrameData;
using xfile::MeshData;

// A model file, read whole through the one read; files of kMaxFileBytes or
// more are refused before a byte is read.
bool ReadModelFile(const std::string& path, std::string* out, std::string* error) {
  return ReadWholeFile(path, xfile::kMaxFileBytes - 1, out, nullptr, error);
}

class HierarchyBuilder {
 public:
  HierarchyBuilder(const xfile::Document& doc, Device* device, AllocateHierarchy* alloc,
                   std::string* error)
      : doc_(doc), device_(device), alloc_(alloc), error_(error) {}

  bool Build(const FrameData& fd, Frame** out) {
    *out = nullptr;
    Frame* frame = nullptr;
    const HResult hr = alloc_->CreateFrame(fd.named ? fd.name.c_str() : nullptr, &frame);
    if (hr != kOk || !frame) {
      return Fail(doc_.file + ": the allocator refused frame '" + fd.name + "'");
    }
    frame->transformationMatrix = fd.matrix;
    frame->meshContainer = nullptr;
    frame->firstChild = nullptr;
    frame->sibling = nullptr;
    MeshContainer** tailContainer = &frame->meshContainer;
    for (const MeshData& md : fd.meshes) {
      MeshContainer* mc = nullptr;
      if (!BuildContainer(md, &mc)) {
        FrameDestroy(frame, alloc_);
        return false;
      }
      if (!mc) continue;
      mc->nextMeshContainer = nullptr;
      *tailContainer = mc;
      tailContainer = &mc->nextMeshContainer;
    }
    Frame** tailChild = &frame->firstChild;
    for (const FrameData& child : fd.children) {
      Frame* c = nullptr;
      if (!Build(child, &c)) {
        FrameDestroy(frame, alloc_);
        return false;
      }
      *tailChild = c;
      tailChild = &c->sibling;
    }
    *out = frame;
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    if (error_) *error_ = what;
    return false;
  }

  bool BuildContainer(const MeshData& md, MeshContainer** out) {
    *out = nullptr;
    BuiltMesh built;
    xfile::BuildMesh(md, &built);
    if (built.attributes.empty()) return true;  // nothing to draw
    std::string why;
    Mesh* mesh =
        Mesh::Create(device_, built.fvf, built.vertices, built.indices, built.attributes, &why);
    if (!mesh)
      return Fail(doc_.Describe(md.pos) + ": cannot create mesh '" + md.name + "': " + why);
    SkinInfo* skin = nullptr;
    if (!md.skinWeights.empty()) {
      std::vector<SkinInfo::Bone> bones;
      if (!xfile::BuildBones(md, built, &bones)) {
        mesh->Release();
        return Fail(doc_.Describe(md.pos) + ": the skin weights of mesh '" + md.name +
                    "' reach too many vertices");
      }
      skin = new SkinInfo(std::move(bones));
    }
    const std::vector<std::uint32_t> adjacency = xfile::ComputeAdjacency(built);
    const HResult hr = alloc_->CreateMeshContainer(
        md.name.empty() ? nullptr : md.name.c_str(), mesh,
        md.materials.empty() ? nullptr : md.materials.data(),
        static_cast<std::uint32_t>(md.materials.size()), adjacency.data(), skin, out);
    mesh->Release();
    if (skin) skin->Release();
    if (hr != kOk || !*out) {
      if (*out) alloc_->DestroyMeshContainer(*out);
      *out = nullptr;
      return Fail(doc_.Describe(md.pos) + ": the allocator refused mesh container '" + md.name +
                  "'");
    }
    return true;
  }

  const xfile::Document& doc_;
  Device* device_;
  AllocateHierarchy* alloc_;
  std::string* error_;
};

void RegisterOutputs(Frame* frame, AnimationController* controller) {
  for (; frame; frame = frame->sibling) {
    if (frame->name && frame->name[0])
      controller->RegisterAnimationOutput(frame->name, &frame->transformationMatrix);
    RegisterOutputs(frame->firstChild, controller);
  }
}

}  // namespace

bool LoadMeshHierarchyFromXInMemory(const void* data, std::size_t size, const std::string& name,
                                    Device* device, AllocateHierarchy* alloc, Frame** root,
                                    std::unique_ptr<AnimationController>* controller,
                                    std::string* error) {
  return xfile::LoadMeshHierarchyWithInfo(data, size, name, device, alloc, root, controller,
                                          nullptr, error);
}

}  // namespace engine

namespace engine::xfile {

bool LoadMeshHierarchyWithInfo(const void* data, std::size_t size, const std::string& name,
                               Device* device, AllocateHierarchy* alloc, Frame** root,
                               std::unique_ptr<AnimationController>* controller, FileInfo* info,
                               std::string* error) {
  if (root) *root = nullptr;
  if (controller) controller->reset();
  if (!alloc || !root) {
    if (error) *error = name + ": no allocator or root output given";
    return false;
  }
  xfile::Document doc;
  xfile::Scene scene;
  if (!xfile::ParseDocument(static_cast<const unsigned char*>(data), size, name, &doc, error) ||
      !xfile::ReadScene(doc, &scene, error))
    return false;
  if (scene.roots.empty()) {
    if (error) *error = name + ": the file has no frames or meshes";
    return false;
  }
  if (info) {
    info->format = scene.format;
    info->floatBits = scene.floatBits;
    info->ticksPerSecond = scene.ticksPerSecond;
    info->frames = xfile::CountFileFrames(scene);
  }
  FrameData extraRoot;
  const FrameData* top = &scene.roots.front();
  if (scene.roots.size() > 1) {
    extraRoot.children = std::move(scene.roots);
    top = &extraRoot;
  }
  HierarchyBuilder builder(doc, device, alloc, error);
  Frame* made = nullptr;
  if (!builder.Build(*top, &made)) return false;
  if (controller && !scene.animationSets.empty()) {
    std::vector<std::shared_ptr<AnimationSet>> sets;
    sets.reserve(scene.animationSets.size());
    for (xfile::AnimationSetData& s : scene.animationSets)
      sets.push_back(std::make_shared<AnimationSet>(std::move(s.name), scene.ticksPerSecond,
                                                    std::move(s.channels)));
    *controller = std::make_unique<AnimationController>(std::move(sets));
    RegisterOutputs(made, controller->get());
  }
  *root = made;
  return true;
}

}  // namespace engine::xfile

namespace engine {

bool LoadMeshHierarchyFromX(const std::string& path, Device* device, AllocateHierarchy* alloc,
                            Frame** root, std::unique_ptr<AnimationController>* controller,
                            std::string* error) {
  if (root) *root = nullptr;
  if (controller) controller->reset();
  std::string bytes;
  if (!ReadModelFile(path, &bytes, error)) return false;
  return LoadMeshHierarchyFromXInMemory(bytes.data(), bytes.size(), path, device, alloc, root,
                                        controller, error);
}

void FrameDestroy(Frame* root, AllocateHierarchy* alloc) {
  if (!alloc) return;
  while (root) {
    Frame* sibling = root->sibling;
    MeshContainer* mc = root->meshContainer;
    while (mc) {
      MeshContainer* nextMc = mc->nextMeshContainer;
      alloc->DestroyMeshContainer(mc);
      mc = nextMc;
    }
    FrameDestroy(root->firstChild, alloc);
    alloc->DestroyFrame(root);
    root = sibling;
  }
}

Frame* FrameFind(Frame* root, const char* name) {
  for (Frame* f = root; f; f = f->sibling) {
    if (name ? (f->name && std::strcmp(f->name, name) == 0) : f->name == nullptr) return f;
    if (Frame* found = FrameFind(f->firstChild, name)) return found;
  }
  return nullptr;
}

namespace {

struct MergeItem {
  const MeshData* mesh;
  Matrix world;
};

void CollectMeshes(const FrameData& f, const Matrix& parent, std::vector<MergeItem>* out) {
  const Matrix world = f.matrix * parent;
  for (const MeshData& m : f.meshes) out->push_back({&m, world});
  for (const FrameData& c : f.children) CollectMeshes(c, world, out);
}

XMaterial DefaultMaterial() {
  XMaterial m;
  m.material.diffuse = {0.5f, 0.5f, 0.5f, 0.0f};
  m.material.specular = m.material.diffuse;
  return m;
}

}  // namespace

bool LoadMeshFromX(const std::string& path, Device* device, Mesh** mesh,
                   std::vector<XMaterial>* materials, std::string* error) {
  if (mesh) *mesh = nullptr;
  if (materials) materials->clear();
  if (!mesh) {
    if (error) *error = path + ": no mesh output given";
    return false;
  }
  std::string bytes;
  if (!ReadModelFile(path, &bytes, error)) return false;
  xfile::Scene scene;
  if (!xfile::LoadScene(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), path,
                        &scene, error))
    return false;

  std::vector<MergeItem> items;
  for (const FrameData& f : scene.roots) CollectMeshes(f, Matrix::Identity(), &items);
  std::vector<BuiltMesh> built(items.size());
  std::uint32_t fvf = kFvfXyz;
  std::size_t totalTris = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    xfile::BuildMesh(*items[i].mesh, &built[i]);
    fvf |= built[i].fvf;
    totalTris += built[i].attributes.size();
  }
  if (totalTris == 0) {
    if (error) *error = path + ": the file has no triangles";
    return false;
  }
  const std::uint32_t stride = GetFVFVertexSize(fvf);
  std::vector<unsigned char> vertices;
  std::vector<std::uint32_t> indices, attributes;
  std::vector<XMaterial> mats;
  std::uint32_t base = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const BuiltMesh& b = built[i];
    if (b.attributes.empty()) continue;
    const MeshData& md = *items[i].mesh;
    const Matrix& world = items[i].world;
    const std::uint32_t srcStride = GetFVFVertexSize(b.fvf);
    const std::size_t at0 = vertices.size();
    vertices.resize(at0 + std::size_t{b.NumVertices()} * stride, 0);
    for (std::uint32_t v = 0; v < b.NumVertices(); ++v) {
      const unsigned char* src = b.vertices.data() + std::size_t{v} * srcStride;
      unsigned char* dst = vertices.data() + at0 + std::size_t{v} * stride;
      Vec3 p;
      std::memcpy(&p, src, 12);
      p = Vec3TransformCoord(p, world);
      std::memcpy(dst, &p, 12);
      src += 12;
      dst += 12;
      if (fvf & kFvfNormal) {
        Vec3 n;
        if (b.fvf & kFvfNormal) {
          std::memcpy(&n, src, 12);
          src += 12;
          n = Vec3Normalize(Vec3TransformNormal(n, world));
        }
        std::memcpy(dst, &n, 12);
        dst += 12;
      }
      if (fvf & kFvfDiffuse) {
        std::uint32_t c = 0xFFFFFFFFu;
        if (b.fvf & kFvfDiffuse) {
          std::memcpy(&c, src, 4);
          src += 4;
        }
        std::memcpy(dst, &c, 4);
        dst += 4;
      }
      if ((fvf & kFvfTex1) && (b.fvf & kFvfTex1)) std::memcpy(dst, src, 8);
    }
    const auto attrBase = static_cast<std::uint32_t>(mats.size());
    if (md.materials.empty()) {
      mats.push_back(DefaultMaterial());
    } else {
      mats.insert(mats.end(), md.materials.begin(), md.materials.end());
    }
    for (std::uint32_t idx : b.indices) indices.push_back(idx + base);
    for (std::uint32_t a : b.attributes) attributes.push_back(a + attrBase);
    base += b.NumVertices();
  }
  std::string why;
  Mesh* made = Mesh::Create(device, fvf, std::move(vertices), std::move(indices),
                            std::move(attributes), &why);
  if (!made) {
    if (error) *error = path + ": cannot create the mesh: " + why;
    return false;
  }
  *mesh = made;
  if (materials) *materials = std::move(mats);
  return true;
}

}  // namespace engine
