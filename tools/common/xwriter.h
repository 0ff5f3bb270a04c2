// Writes models as text .x files ("xof 0303txt 0032").
//
// The writer is deterministic: every float goes through FormatFloat, which
// prints a fixed six-decimal form independent of the C locale, so the same
// description always gives the same bytes.
//
// Conventions the writer takes care of:
//  - Rotation keys are given as the pose the frame should take (our own
//    Quaternion, x y z w) and written as the file's w, x, y, z conjugated, so
//    that the loader's MatrixRotationQuaternion reproduces the given pose.
//  - Animation sets are given in index order (index 0 first) and written in
//    reverse, because the loader indexes the last set in the file as 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/math.h"

namespace contentgen {

struct XMaterialDesc {
  float r = 1, g = 1, b = 1, a = 1;
  float power = 0;
  float specR = 0, specG = 0, specB = 0;
  float emR = 0, emG = 0, emB = 0;
  std::string texture;  // written as TextureFilename when not empty
};

struct XSkinWeightsDesc {
  std::string bone;
  std::vector<std::uint32_t> vertices;
  std::vector<float> weights;
  engine::Matrix offset;  // mesh space to bone space
};

struct XMeshDesc {
  std::string name;
  std::vector<engine::Vec3> positions;
  std::vector<engine::Vec3> normals;  // one per position
  std::vector<engine::Vec2> uvs;      // one per position, or empty
  std::vector<std::array<std::uint32_t, 3>> faces;
  std::vector<std::uint32_t> faceMaterials;  // one per face
  std::vector<XMaterialDesc> materials;
  std::vector<XSkinWeightsDesc> skin;  // empty: not skinned
};

struct XFrameDesc {
  std::string name;
  engine::Matrix transform;
  std::vector<XMeshDesc> meshes;
  std::vector<XFrameDesc> children;
};

template <typename T>
struct XKey {
  std::uint32_t time = 0;
  T value;
};

struct XAnimationDesc {
  std::string frame;
  std::vector<XKey<engine::Quaternion>> rotation;  // the pose, see above
  std::vector<XKey<engine::Vec3>> scale;
  std::vector<XKey<engine::Vec3>> translation;
};

struct XAnimationSetDesc {
  std::string name;
  std::vector<XAnimationDesc> animations;
};

struct XFileDesc {
  std::vector<XFrameDesc> frames;
  std::uint32_t ticksPerSecond = 0;     // 0: no AnimTicksPerSecond object
  std::vector<XAnimationSetDesc> sets;  // in index order
};

// "%.6f"-like, with "-0.000000" written as "0.000000", and never affected by
// the locale. Non-finite values are written as 0.
std::string FormatFloat(float value);

// Checks the description for what would make a broken file (index out of
// range, counts that disagree, names a reader cannot take). Returns an empty
// string when it is sound, else a message.
std::string ValidateXFile(const XFileDesc& desc);

// The file's text. The description must be valid (see ValidateXFile).
std::string WriteXText(const XFileDesc& desc);

// Validates, then writes the text to path. Returns false with a message on
// failure.
bool SaveXFile(const std::string& path, const XFileDesc& desc, std::string* error);

}  // namespace contentgen
