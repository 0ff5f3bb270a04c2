// What a .x file describes, read from its object tree: frames with their
// matrices and meshes, mesh data as written (polygons, per-position texture
// coordinates and colours, normals with their own face indices, materials,
// skin weights), and animation sets. Building device meshes from it is
// xbuild.cpp's job.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/animation.h"
#include "engine/hierarchy.h"
#include "engine/math.h"
#include "engine/xfile/xparse.h"

namespace engine::xfile {

struct SkinWeightsData {
  std::string frameName;
  std::vector<std::uint32_t> vertices;  // original position indices
  std::vector<float> weights;
  Matrix offset;
};

struct MeshData {
  std::string name;
  std::uint32_t pos = 0;
  std::vector<Vec3> positions;
  // Polygon f uses faceIndices[faceStart[f] .. faceStart[f + 1]).
  std::vector<std::uint32_t> faceStart{0};
  std::vector<std::uint32_t> faceIndices;
  bool hasNormals = false;
  std::vector<Vec3> normals;
  std::vector<std::uint32_t> normalIndices;  // laid out like faceIndices
  bool hasTexcoords = false;
  std::vector<Vec2> texcoords;  // per position
  bool hasColors = false;
  std::vector<std::uint32_t> colors;  // per position, ARGB
  bool hasMaterialList = false;
  std::vector<std::uint32_t> faceMaterials;  // per polygon
  std::vector<XMaterial> materials;
  std::vector<SkinWeightsData> skinWeights;

  std::uint32_t NumFaces() const { return static_cast<std::uint32_t>(faceStart.size() - 1); }
};

struct FrameData {
  std::string name;
  bool named = false;
  bool synthetic = false;  // made to hold a top-level mesh, not in the file
  Matrix matrix;
  std::vector<FrameData> children;
  std::vector<MeshData> meshes;
};

struct AnimationSetData {
  std::string name;
  std::vector<AnimationChannel> channels;
};

struct Scene {
  // Top-level frames and meshes in file order; a top-level mesh is held by an
  // unnamed identity frame of its own.
  std::vector<FrameData> roots;
  bool hasTicksPerSecond = false;
  std::uint32_t ticksPerSecond = 4800;
  std::vector<AnimationSetData> animationSets;
  std::string format;
  int floatBits = 32;
};

// Reads the known objects of a parsed document. Unknown object types are
// skipped with their children. Returns false with a message naming the file
// and the place of the first problem.
bool ReadScene(const Document& doc, Scene* scene, std::string* error);

// Frames the file itself defines (holders of top-level meshes not counted).
std::uint32_t CountFileFrames(const Scene& scene);

// Parse + read in one step.
bool LoadScene(const unsigned char* data, std::size_t size, const std::string& file, Scene* scene,
               std::string* error);

// Splits a row-vector matrix into scale, rotation and translation
// (M = S * R * T). A mirrored matrix gets a negative x scale.
void DecomposeMatrix(const Matrix& m, Vec3* scale, Quaternion* rotation, Vec3* translation);

}  // namespace engine::xfile
