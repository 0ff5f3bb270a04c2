// Skin information: bone lookup, face influences and the conversion to a
// mesh with per-vertex blend weights drawn in bone combinations.
#include <algorithm>
#include <cstring>

#include "engine/hierarchy.h"

namespace engine {

using platform::GetFVFVertexSize;
using platform::kFvfPositionMask;
using platform::kFvfXyz;
using platform::kFvfXyzB1;

namespace {

// The device blends at most this many matrices per draw.
constexpr std::uint32_t kMaxBlendMatrices = 4;
// How many of the latest combinations a face may join.
constexpr std::size_t kSearchWindow = 128;

struct Influence {
  std::uint32_t bone;
  float weight;
};

// Influences per vertex (weights of zero or less do not count), vertices past
// the mesh's count ignored.
std::vector<std::vector<Influence>> VertexInfluences(const std::vector<SkinInfo::Bone>& bones,
                                                     std::uint32_t vertexCount) {
  std::vector<std::vector<Influence>> infl(vertexCount);
  for (std::uint32_t b = 0; b < bones.size(); ++b) {
    const SkinInfo::Bone& bone = bones[b];
    const std::size_t n = std::min(bone.vertices.size(), bone.weights.size());
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t v = bone.vertices[i];
      if (v >= vertexCount || !(bone.weights[i] > 0)) continue;
      // Bones arrive in order, so a repeat of this bone can only be last.
      auto& list = infl[v];
      if (!list.empty() && list.back().bone == b) {
        list.back().weight += bone.weights[i];
      } else {
        list.push_back({b, bone.weights[i]});
      }
    }
  }
  return infl;
}

// The bones acting on one face with their summed weights.
void FaceInfluences(const std::vector<std::vector<Influence>>& infl, const std::uint32_t* tri,
                    std::vector<Influence>* out) {
  out->clear();
  for (int k = 0; k < 3; ++k) out->insert(out->end(), infl[tri[k]].begin(), infl[tri[k]].end());
  if (out->size() < 2) return;
  std::sort(out->begin(), out->end(),
            [](const Influence& a, const Influence& b) { return a.bone < b.bone; });
  std::size_t kept = 0;
  for (std::size_t i = 1; i < out->size(); ++i) {
    if ((*out)[i].bone == (*out)[kept].bone) {
      (*out)[kept].weight += (*out)[i].weight;
    } else {
      (*out)[++kept] = (*out)[i];
    }
  }
  out->resize(kept + 1);
}

}  // namespace

const char* SkinInfo::GetBoneName(std::uint32_t bone) const {
  return bone < bones_.size() ? bones_[bone].name.c_str() : nullptr;
}

const Matrix* SkinInfo::GetBoneOffsetMatrix(std::uint32_t bone) const {
  return bone < bones_.size() ? &bones_[bone].offset : nullptr;
}

std::uint32_t SkinInfo::GetMaxFaceInfluences(const Mesh& mesh) const {
  const auto infl = VertexInfluences(bones_, mesh.GetNumVertices());
  const std::vector<std::uint32_t>& idx = mesh.Indices();
  std::vector<Influence> face;
  std::uint32_t most = 0;
  for (std::size_t f = 0; f + 2 < idx.size(); f += 3) {
    FaceInfluences(infl, &idx[f], &face);
    most = std::max(most, static_cast<std::uint32_t>(face.size()));
  }
  return most;
}

Mesh* SkinInfo::ConvertToBlendedMesh(const Mesh& mesh, std::uint32_t* maxFaceInfluences,
                                     std::vector<BoneCombination>* combinations) const {
  std::vector<BoneCombination> unused;
  if (!combinations) combinations = &unused;
  const std::uint32_t fvf = mesh.GetFVF();
  if ((fvf & kFvfPositionMask) != kFvfXyz || mesh.GetNumFaces() == 0) return nullptr;
  const std::uint32_t nVerts = mesh.GetNumVertices();
  const std::uint32_t nFaces = mesh.GetNumFaces();
  const std::vector<std::uint32_t>& idx = mesh.Indices();
  const std::vector<std::uint32_t>& attrs = mesh.Attributes();
  const auto infl = VertexInfluences(bones_, nVerts);

  // Bone set of every face, sorted by bone index. A face touched by more
  // bones than the device can blend keeps the heaviest ones (summed weight
  // over its corners; ties go to the lower bone index).
  std::vector<std::uint32_t> faceBoneStart(std::size_t{nFaces} + 1, 0);
  std::vector<std::uint32_t> faceBones;
  std::uint32_t maxInfl = 1;
  std::vector<Influence> face;
  for (std::uint32_t f = 0; f < nFaces; ++f) {
    FaceInfluences(infl, &idx[3 * std::size_t{f}], &face);
    if (face.size() > kMaxBlendMatrices) {
      std::sort(face.begin(), face.end(), [](const Influence& a, const Influence& b) {
        return a.weight != b.weight ? a.weight > b.weight : a.bone < b.bone;
      });
      face.resize(kMaxBlendMatrices);
    }
    std::sort(face.begin(), face.end(),
              [](const Influence& a, const Influence& b) { return a.bone < b.bone; });
    for (const Influence& x : face) faceBones.push_back(x.bone);
    faceBoneStart[f + 1] = static_cast<std::uint32_t>(faceBones.size());
    maxInfl = std::max(maxInfl, static_cast<std::uint32_t>(face.size()));
  }

  // Group faces: the first combination of the face's material whose bones,
  // together with the face's, still fit in maxInfl slots.
  struct Combo {
    std::uint32_t attrib;
    std::vector<std::uint32_t> bones;  // sorted
    std::vector<std::uint32_t> faces;
  };
  std::vector<Combo> combos;
  std::size_t firstOfAttrib = 0;
  std::vector<std::uint32_t> merged;
  for (std::uint32_t f = 0; f < nFaces; ++f) {
    const std::uint32_t a = attrs[f];
    if (combos.empty() || combos.back().attrib != a) firstOfAttrib = combos.size();
    const auto fb = faceBones.begin() + faceBoneStart[f];
    const auto fe = faceBones.begin() + faceBoneStart[f + 1];
    // Only the most recent combinations are tried, which keeps crafted
    // meshes with thousands of bone sets linear.
    bool placed = false;
    const std::size_t window = std::min(combos.size(), kSearchWindow);
    const std::size_t from = std::max(firstOfAttrib, combos.size() - window);
    for (std::size_t c = from; c < combos.size() && !placed; ++c) {
      merged.clear();
      std::set_union(combos[c].bones.begin(), combos[c].bones.end(), fb, fe,
                     std::back_inserter(merged));
      if (merged.size() <= maxInfl) {
        combos[c].bones = merged;
        combos[c].faces.push_back(f);
        placed = true;
      }
    }
    if (!placed) combos.push_back({a, std::vector<std::uint32_t>(fb, fe), {f}});
  }

  // Vertices of each combination, duplicated into its own range, with the
  // weights of the combination's bones normalised to sum to 1.
  const std::uint32_t betas = maxInfl - 1;
  const std::uint32_t newFvf =
      (fvf & ~static_cast<std::uint32_t>(kFvfPositionMask)) |
      (betas == 0 ? static_cast<std::uint32_t>(kFvfXyz) : kFvfXyzB1 + 2 * (betas - 1));
  const std::uint32_t oldStride = mesh.GetNumBytesPerVertex();
  const std::uint32_t newStride = GetFVFVertexSize(newFvf);
  const unsigned char* src = mesh.Vertices();
  std::vector<unsigned char> vertices;
  std::vector<std::uint32_t> indices, attributes;
  indices.reserve(idx.size());
  attributes.reserve(nFaces);
  std::vector<std::uint32_t> stamp(nVerts, 0xFFFFFFFFu), remap(nVerts, 0);
  combinations->clear();
  combinations->reserve(combos.size());
  std::uint32_t vertexCount = 0;
  for (std::uint32_t c = 0; c < combos.size(); ++c) {
    const Combo& combo = combos[c];
    BoneCombination out;
    out.attribId = combo.attrib;
    out.faceStart = static_cast<std::uint32_t>(attributes.size());
    out.faceCount = static_cast<std::uint32_t>(combo.faces.size());
    out.vertexStart = vertexCount;
    out.boneId.assign(maxInfl, kUnusedBone);
    std::copy(combo.bones.begin(), combo.bones.end(), out.boneId.begin());
    for (std::uint32_t f : combo.faces) {
      for (int k = 0; k < 3; ++k) {
        const std::uint32_t v = idx[3 * std::size_t{f} + k];
        if (stamp[v] != c) {
          stamp[v] = c;
          remap[v] = vertexCount++;
          float w[kMaxBlendMatrices] = {0, 0, 0, 0};
          float sum = 0;
          for (std::size_t j = 0; j < combo.bones.size(); ++j) {
            for (const Influence& x : infl[v])
              if (x.bone == combo.bones[j]) w[j] += x.weight;
            sum += w[j];
          }
          if (sum > 0) {
            for (float& x : w) x /= sum;
          } else {
            w[0] = 1;  // an unweighted vertex follows the combination's first bone
          }
          const std::size_t at = vertices.size();
          vertices.resize(at + newStride);
          const unsigned char* s = src + std::size_t{v} * oldStride;
          std::memcpy(&vertices[at], s, 12);
          std::memcpy(&vertices[at + 12], w, 4 * std::size_t{betas});
          std::memcpy(&vertices[at + 12 + 4 * std::size_t{betas}], s + 12, oldStride - 12);
        }
        indices.push_back(remap[v]);
      }
      attributes.push_back(c);
    }
    out.vertexCount = vertexCount - out.vertexStart;
    combinations->push_back(std::move(out));
  }
  Mesh* result = Mesh::Create(mesh.GetDevice(), newFvf, std::move(vertices), std::move(indices),
                              std::move(attributes));
  if (!result) {
    combinations->clear();
    return nullptr;
  }
  if (maxFaceInfluences) *maxFaceInfluences = maxInfl;
  return result;
}

}  // namespace engine
