// Building blocks for the game's models: a mesh builder of smooth, closed
// parts (ellipsoids, lathes, tubes, parametric grids), a bind-pose skeleton
// whose bones are translation-only frames, keyframe tracks, and the shared
// colour palette texture the creatures are painted with.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/math.h"
#include "xwriter.h"

namespace contentgen {

// ---------------------------------------------------------------------------
// The palette texture: a grid of colour cells, each either flat or a vertical
// gradient. Every creature material points into it.

struct Rgb {
  float r = 0, g = 0, b = 0;
};
Rgb Hex(std::uint32_t rgb);
Rgb Mix(const Rgb& a, const Rgb& b, float t);

inline constexpr char kPaletteTexture[] = "Texture/model_palette.png";
inline constexpr int kPaletteSize = 256;
inline constexpr int kPaletteCell = 32;
inline constexpr int kPaletteCells = kPaletteSize / kPaletteCell;  // per row

enum class Swatch : int {
  kBody,       // warm apricot
  kBodyShade,  // apricot, darker toward the bottom
  kBelly,      // cream-apricot belly
  kMouth,      // deep mouth inside
  kTongue,     // coral tongue
  kTooth,      // cream
  kEyeWhite,
  kPupil,  // ink
  kShine,  // white highlight
  kCheek,  // pink blush
  kFoot,   // darker apricot
  kInk,
  kLeaf,  // leaf green, lighter on top
  kLeafDark,
  kMint,
  kLime,
  kLilac,
  kPink,
  kCoral,
  kOrange,
  kSun,
  kCream,
  kWood,  // bark, lighter on top
  kWoodDark,
  kWoodRings,    // stump top
  kBeetleShell,  // lilac-violet shell, lighter on top
  kBeetleDark,
  kWingClear,  // pale translucent-looking wing blue
  kWingPink,
  kWingSun,
  kFlyBody,  // slate blue-grey
  kFlyEye,   // coral red
  kStem,
  kCount
};

// The texture coordinate of a swatch: at the cell's centre for t < 0, else at
// height t (0 top, 1 bottom) inside the cell's gradient.
engine::Vec2 SwatchUv(Swatch s, float t = -1.0f);

// Paints the palette into a kPaletteSize square RGBA image (row-major,
// 4 bytes per pixel, R G B A).
std::vector<std::uint8_t> PalettePixels();

// ---------------------------------------------------------------------------
// Meshes.

// A vertex's skin: up to four (bone, weight) pairs, weights summing to 1.
struct Skin {
  std::array<int, 4> bone{-1, -1, -1, -1};
  std::array<float, 4> weight{0, 0, 0, 0};
  static Skin Rigid(int b) {
    Skin s;
    s.bone[0] = b;
    s.weight[0] = 1;
    return s;
  }
  // Linear blend of two bones: t = 0 all a, t = 1 all b.
  static Skin Blend(int a, int b, float t);
};

struct ModelVertex {
  engine::Vec3 pos;
  engine::Vec3 normal;
  engine::Vec2 uv;
  Skin skin;
};

// How a part is textured: a flat swatch, or a gradient along the part's own
// height (v of the grid from 0 at the top to 1 at the bottom).
struct Paint {
  Swatch swatch = Swatch::kBody;
  bool gradient = false;
};

class ModelMesh {
 public:
  explicit ModelMesh(std::vector<XMaterialDesc> materials = {});

  int AddMaterial(const XMaterialDesc& material);

  // A closed or open parametric surface over u, v in [0, 1] on a
  // (cols + 1) x (rows + 1) grid. Normals are the area-weighted face normals,
  // averaged over every vertex of the part at the same position (so seams and
  // poles are smooth), and the part's faces are oriented so its normals point
  // away from its centroid, or from `centre` when given (toward it with
  // `inward`). Returns the index of the part's first vertex.
  using SurfaceFn = std::function<engine::Vec3(float u, float v)>;
  std::size_t AddSurface(int cols, int rows, const SurfaceFn& pos, Paint paint, int material,
                         const Skin& skin, bool inward = false,
                         const engine::Vec3* centre = nullptr);
  // Gives every part's face its texture coordinates from a function of the
  // grid (u, v) instead of the palette (call right after AddSurface).
  void SetUvs(std::size_t first, int cols, int rows,
              const std::function<engine::Vec2(float u, float v)>& uv);
  // Recomputes the normals of every vertex from `first` on, shared across
  // parts wherever positions coincide.
  void SmoothNormals(std::size_t first);

  // An ellipsoid with the given radii, transformed by xf.
  std::size_t AddEllipsoid(const engine::Vec3& radii, const engine::Matrix& xf, int cols, int rows,
                           Paint paint, int material, const Skin& skin);
  // A solid of revolution about +Y: profile points (radius, y) from top to
  // bottom; ends with radius 0 close the shape. Transformed by xf.
  std::size_t AddLathe(const std::vector<engine::Vec2>& profile, const engine::Matrix& xf, int cols,
                       Paint paint, int material, const Skin& skin);
  // A tube through points with a radius at each, capped by half spheres.
  std::size_t AddTube(const std::vector<engine::Vec3>& points, const std::vector<float>& radii,
                      int cols, Paint paint, int material, const Skin& skin);

  // Adds every vertex, face and material of another mesh (for previews of
  // models made of several files).
  void Append(const ModelMesh& other);

  // Gives every vertex from `first` on a skin computed from its position.
  void SetSkin(std::size_t first, const std::function<Skin(const engine::Vec3&)>& fn);

  const std::vector<ModelVertex>& Vertices() const { return vertices_; }
  const std::vector<std::array<std::uint32_t, 3>>& Faces() const { return faces_; }
  const std::vector<std::uint32_t>& FaceMaterials() const { return faceMaterials_; }
  const std::vector<XMaterialDesc>& Materials() const { return materials_; }

  // Bounds of every position.
  void Bounds(engine::Vec3* lo, engine::Vec3* hi) const;

  // The mesh for the writer; skinned when boneNames is not empty (every bone
  // that moves a vertex gets SkinWeights with the given offset matrix).
  XMeshDesc ToXMesh(const std::string& name, const std::vector<std::string>& boneNames = {},
                    const std::vector<engine::Matrix>& offsets = {}) const;

 private:
  std::vector<ModelVertex> vertices_;
  std::vector<std::array<std::uint32_t, 3>> faces_;
  std::vector<std::uint32_t> faceMaterials_;
  std::vector<XMaterialDesc> materials_;
};

// A material that shows the palette: white diffuse so the texture's colour
// comes through (the game adds emissive 0.5 to skinned parts, which with a
// texture brightens toward the texture's own colour instead of white).
XMaterialDesc PaletteMaterial(float diffuse = 1.0f);

// ---------------------------------------------------------------------------
// Skeletons and animation.

class Skeleton {
 public:
  // Bind pose: every bone is a pure translation from its parent.
  int Add(const std::string& name, int parent, const engine::Vec3& localPos);
  int Find(const std::string& name) const;
  std::size_t Size() const { return bones_.size(); }
  const std::string& Name(int b) const { return bones_[static_cast<std::size_t>(b)].name; }
  int Parent(int b) const { return bones_[static_cast<std::size_t>(b)].parent; }
  engine::Vec3 Local(int b) const { return bones_[static_cast<std::size_t>(b)].local; }
  engine::Vec3 BindPos(int b) const;
  std::vector<std::string> Names() const;
  // Inverse bind matrices (mesh space to bone space).
  std::vector<engine::Matrix> Offsets() const;
  // The frame tree; the mesh goes into the root bone's frame.
  XFrameDesc Frames(const XMeshDesc& mesh) const;

 private:
  struct Bone {
    std::string name;
    int parent;
    engine::Vec3 local;
  };
  std::vector<Bone> bones_;
};

// One bone's pose at a key: rotation (about the bone's pivot), translation
// added to its bind offset, uniform-or-not scale.
struct BonePose {
  engine::Quaternion rot;
  engine::Vec3 move;
  engine::Vec3 scale{1, 1, 1};
};

// Builds an animation set: poses per bone at key times (ticks). Every bone of
// the skeleton gets keys in every set (the bind pose where not posed), so a
// set always drives the whole body.
class ClipBuilder {
 public:
  ClipBuilder(const Skeleton& skeleton, std::string name);
  // Keys are placed at these times (ticks) for every bone.
  void Key(std::uint32_t time, const std::map<std::string, BonePose>& poses);
  XAnimationSetDesc Build() const;
  std::uint32_t LastTime() const;

 private:
  const Skeleton& skeleton_;
  std::string name_;
  std::vector<std::pair<std::uint32_t, std::map<std::string, BonePose>>> keys_;
};

// Rotation helpers (radians).
engine::Quaternion RotX(float a);
engine::Quaternion RotY(float a);
engine::Quaternion RotZ(float a);
engine::Quaternion RotXYZ(float x, float y, float z);  // X, then Y, then Z

// Evaluates a set the way the game's controller does (lerp / slerp, local =
// S * R * T, combined down the tree) and returns every bone's combined
// matrix at time t (seconds).
std::vector<engine::Matrix> PoseSkeleton(const Skeleton& skeleton, const XAnimationSetDesc& set,
                                         std::uint32_t ticksPerSecond, double seconds);

// Skinned positions and normals of the mesh under bone matrices.
void SkinVertices(const ModelMesh& mesh, const Skeleton& skeleton,
                  const std::vector<engine::Matrix>& combined, std::vector<engine::Vec3>* positions,
                  std::vector<engine::Vec3>* normals);

}  // namespace contentgen
