// The process-wide store of 3D models: static meshes (the planet, the sky,
// trees, stumps, the resting beetle) and animated, skinned hierarchies with
// their animation controllers (the creature's three parts, the insects, the
// flower). Models are loaded once by the loading scene and shared: every
// object that shows a file draws the same cached model, and every user of an
// animated model sets the shared controller's pose right before it draws.
//
// Both tables are keyed by the address of the path constants of
// media/paths.h, like the texture cache.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/hierarchy.h"
#include "engine/mesh.h"
#include "platform/graphics.h"

namespace media {

// The text every failed animated-model load carries.
inline constexpr const char* kXFileLoadFailed = "Xファイルの読み込みに失敗しました";

// Raised when an animated model cannot be loaded: the game cannot run
// without it. what() starts with kXFileLoadFailed and names the file.
class XFileLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FacesInView;  // faces_in_view.h

struct StaticMesh {
  engine::Mesh* mesh = nullptr;  // owned reference
  std::uint32_t materialCount = 0;
  // The file's materials with their ambient colour set to the diffuse one.
  std::vector<platform::Material> materials;
  std::vector<platform::Texture*> textures;  // owned references; null entries draw untextured
  // A sphere holding every vertex, in the model's own space.
  engine::Vec3 boundCentre;
  float boundRadius = 0;
  // Its faces close up into a surface turned outward (see ClosesUpOutward).
  bool closed = false;
  // What DrawStaticMeshInView keeps of the model (made on its first draw).
  std::unique_ptr<FacesInView> facesInView;
  StaticMesh();
  ~StaticMesh();
};

}  // namespace media

namespace AnimeXFile {

struct FrameEx : engine::Frame {
  // This frame's matrix times its ancestors' and the world matrix of the last
  // UpdateFrameMatrices.
  engine::Matrix combinedTransform;
};

struct MeshContainerEx : engine::MeshContainer {
  std::vector<platform::Texture*> textures;  // per material; null when none
  std::uint32_t maxFaceInfluences = 0;
  std::uint32_t boneCombinationCount = 0;
  std::vector<engine::BoneCombination> boneCombinations;
  // For bone b, the combinedTransform of the frame named like the bone (null
  // when no frame has that name: the bone then draws with its offset alone).
  std::vector<engine::Matrix*> boneMatrixPointers;
  std::vector<engine::Matrix> boneOffsetMatrices;
  // The mesh closes up into a surface turned outward (see ClosesUpOutward).
  bool closed = false;
};

// Builds and frees frames and mesh containers for the hierarchy loader.
class MyHierarchy : public engine::AllocateHierarchy {
 public:
  explicit MyHierarchy(platform::Device* device = nullptr) : device_(device) {}
  engine::HResult CreateFrame(const char* name, engine::Frame** newFrame) override;
  engine::HResult CreateMeshContainer(const char* name, engine::Mesh* mesh,
                                      const engine::XMaterial* materials,
                                      std::uint32_t numMaterials, const std::uint32_t* adjacency,
                                      engine::SkinInfo* skinInfo,
                                      engine::MeshContainer** newContainer) override;
  engine::HResult DestroyFrame(engine::Frame* frame) override;
  engine::HResult DestroyMeshContainer(engine::MeshContainer* container) override;
  void SetDevice(platform::Device* device) { device_ = device; }

 private:
  platform::Device* device_;
};

inline constexpr std::size_t kMaxAnimationSets = 100;

struct AnimatedModel {
  platform::Device* device = nullptr;
  MyHierarchy allocator;
  FrameEx* rootFrame = nullptr;
  std::unique_ptr<engine::AnimationController> controller;
  // Entry i is the controller's set with index i (null past the last one).
  std::array<engine::AnimationSet*, kMaxAnimationSets> animationSets{};
  ~AnimatedModel();
};

// Links every skinned container's bones to the combined matrices of the
// frames named like them. Returns false when some bone has no such frame
// (that bone is left unlinked; the others are linked all the same).
bool SetupBoneMatrixPointers(FrameEx* frame, FrameEx* root);

}  // namespace AnimeXFile

namespace media {

using AnimeXFile::AnimatedModel;

// The model cache the shell owns for the whole run and hands to the scenes.
// Destroying it frees every model.
class MeshManager {
 public:
  MeshManager() = default;
  ~MeshManager();
  MeshManager(const MeshManager&) = delete;
  MeshManager& operator=(const MeshManager&) = delete;

  // Loads path unless it is cached. A static mesh that cannot be loaded
  // leaves no entry (and says why on standard error). `rayCast` builds its
  // ray-cast structure now, for the meshes the game casts rays at (the
  // planet, the trees), so the first ray of play does not wait for it.
  void LoadStaticMesh(const char* path, platform::Device* device, bool rayCast = false);
  StaticMesh* FindStaticMesh(const char* path);
  // Loads path unless it is cached; throws XFileLoadError when it cannot.
  void LoadAnimatedModel(const char* path, platform::Device* device);
  AnimatedModel* FindAnimatedModel(const char* path);
  // Frees every model (process exit; tests).
  void Clear();

 private:
  std::mutex mutex_;
  std::map<const char*, std::unique_ptr<StaticMesh>> static_;
  std::map<const char*, std::unique_ptr<AnimatedModel>> animated_;
};

// combinedTransform = transformation * parent (or a copy of the
// transformation without a parent) for the frame, its siblings (same parent)
// and, recursively, its children.
void UpdateFrameMatrices(engine::Frame* frame, const engine::Matrix* parent);
// Draws every mesh of the frame tree, opaque. The faces a mesh that closes
// up turns away from the eye are culled (see DrawClosedStaticMesh).
void DrawFrames(platform::Device* device, engine::Frame* frame);
// As DrawFrames; skinned parts take the diffuse alpha alpha / 255. Alpha is on
// the 0..255 scale of every alpha draw of the game (DrawStaticMeshAlpha,
// DrawTexture).
void DrawFramesAlpha(platform::Device* device, engine::Frame* frame, float alpha);
// Track 0 of the model's controller to `position` seconds.
void SetAnimationPosition(AnimatedModel* model, double position);
void DrawStaticMesh(StaticMesh* mesh, platform::Device* device);
// Whether the mesh's faces close up into a surface with no gap turned
// outward: each edge (its ends compared by position) crossed once each way
// by the faces sharing it, and a positive volume enclosed with the game's
// winding. Only then does every face turned away from an eye outside lie
// behind one turned toward it.
bool ClosesUpOutward(const engine::Mesh& mesh);
// As DrawStaticMesh, drawn opaque: when the model's faces close up into a
// surface turned outward (the planet, the trees, the stumps), every face
// turned away from the eye lies behind one turned toward it, which covers
// it, so the rasteriser is spared the faces turned away (the device culls
// them).
void DrawClosedStaticMesh(StaticMesh* mesh, platform::Device* device);
// As DrawClosedStaticMesh for a model placed by a uniform `scale` about the
// world's origin (the planet), handing the device only the faces that can
// show: those within the view volume `planes` (world space, normals out, as
// world::ViewVolume makes them) and, while faces turned away are culled,
// turned toward `eye`. The faces drawn keep their order, so the picture is
// the one DrawClosedStaticMesh draws.
void DrawStaticMeshInView(StaticMesh* mesh, platform::Device* device, float scale,
                          const engine::Vec3& eye, const std::array<engine::Plane, 6>& planes);
// On by default: DrawClosedStaticMesh and DrawFrames cull the faces turned
// away. The picture then differs from one drawn with every face only where a
// rasteriser rounds a face turned away and the one covering it to the same
// depth: a few pixels on the rims of models, by a level or two of a colour.
// Off draws every face, as the game always did.
void SetCullTurnedAwayFaces(bool on);
// As DrawStaticMesh with every material's diffuse alpha set to alpha / 255
// (alpha 0..255, like DrawFramesAlpha).
void DrawStaticMeshAlpha(StaticMesh* mesh, platform::Device* device, float alpha);

}  // namespace media
