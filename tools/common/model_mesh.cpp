#include "model_mesh.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace contentgen {

using engine::Matrix;
using engine::Quaternion;
using engine::Vec2;
using engine::Vec3;

namespace {

constexpr float kTau = 6.2831853f;

struct SwatchColours {
  std::uint32_t top, bottom;
};

// Top and bottom colour of every cell (equal for flat cells).
constexpr SwatchColours kSwatches[] = {
    {0xFF9A5C, 0xFF9A5C},  // kBody
    {0xFFB07A, 0xF07E45},  // kBodyShade
    {0xFFE3B8, 0xFFE3B8},  // kBelly
    {0x7A2E4A, 0x5A1E3A},  // kMouth
    {0xFF7A6B, 0xFF7A6B},  // kTongue
    {0xFFF6E0, 0xFFF6E0},  // kTooth
    {0xFFFFFF, 0xFFFFFF},  // kEyeWhite
    {0x3B2A4A, 0x3B2A4A},  // kPupil
    {0xFFFFFF, 0xFFFFFF},  // kShine
    {0xFF9EC4, 0xFF9EC4},  // kCheek
    {0xE0733A, 0xE0733A},  // kFoot
    {0x3B2A4A, 0x3B2A4A},  // kInk
    {0x7ED35E, 0x4FA83E},  // kLeaf
    {0x4C9E3C, 0x3E8A32},  // kLeafDark
    {0x7FE3C4, 0x7FE3C4},  // kMint
    {0xB8E86A, 0x8CCB4E},  // kLime
    {0xB79CFF, 0xB79CFF},  // kLilac
    {0xFF9EC4, 0xFF9EC4},  // kPink
    {0xFF7A6B, 0xFF7A6B},  // kCoral
    {0xFFA54A, 0xFFA54A},  // kOrange
    {0xFFD84A, 0xFFD84A},  // kSun
    {0xFFF6E0, 0xFFF6E0},  // kCream
    {0xB8804F, 0x8A5A36},  // kWood
    {0x7A4A2C, 0x7A4A2C},  // kWoodDark
    {0xE8C08A, 0xD9A86E},  // kWoodRings
    {0xA889FF, 0x6E4FCC},  // kBeetleShell
    {0x4A3570, 0x4A3570},  // kBeetleDark
    {0xDDF4FF, 0xB5E2FF},  // kWingClear
    {0xFFC2DC, 0xFF8FBF},  // kWingPink
    {0xFFE78A, 0xFFB84A},  // kWingSun
    {0x6A7AA8, 0x4A587E},  // kFlyBody
    {0xFF6B5B, 0xD94A3E},  // kFlyEye
    {0x6CC24F, 0x4E9E3A},  // kStem
};
static_assert(sizeof kSwatches / sizeof kSwatches[0] == static_cast<int>(Swatch::kCount));
static_assert(static_cast<int>(Swatch::kCount) <= kPaletteCells * kPaletteCells);

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

std::tuple<long, long, long> PosKey(const Vec3& p) {
  return {std::lround(p.x * 20000.0f), std::lround(p.y * 20000.0f), std::lround(p.z * 20000.0f)};
}

}  // namespace

Rgb Hex(std::uint32_t rgb) {
  return {static_cast<float>((rgb >> 16) & 0xFF) / 255.0f,
          static_cast<float>((rgb >> 8) & 0xFF) / 255.0f, static_cast<float>(rgb & 0xFF) / 255.0f};
}

Rgb Mix(const Rgb& a, const Rgb& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Vec2 SwatchUv(Swatch s, float t) {
  const int i = static_cast<int>(s);
  const float cx = static_cast<float>(i % kPaletteCells),
              cy = static_cast<float>(i / kPaletteCells);
  const float cell = static_cast<float>(kPaletteCell) / static_cast<float>(kPaletteSize);
  const float margin = 4.0f / static_cast<float>(kPaletteSize);
  const float u = (cx + 0.5f) * cell;
  const float v =
      t < 0 ? (cy + 0.5f) * cell : cy * cell + margin + Clamp01(t) * (cell - 2 * margin);
  return {u, v};
}

std::vector<std::uint8_t> PalettePixels() {
  std::vector<std::uint8_t> px(static_cast<std::size_t>(kPaletteSize * kPaletteSize * 4), 255);
  for (int y = 0; y < kPaletteSize; ++y) {
    for (int x = 0; x < kPaletteSize; ++x) {
      const int cell = (y / kPaletteCell) * kPaletteCells + x / kPaletteCell;
      Rgb c = Hex(0xFFF6E0);
      if (cell < static_cast<int>(Swatch::kCount)) {
        const SwatchColours& s = kSwatches[cell];
        const float margin = 4.0f;
        const float t = Clamp01((static_cast<float>(y % kPaletteCell) + 0.5f - margin) /
                                (static_cast<float>(kPaletteCell) - 2 * margin));
        c = Mix(Hex(s.top), Hex(s.bottom), t);
      }
      std::uint8_t* p = &px[static_cast<std::size_t>((y * kPaletteSize + x) * 4)];
      p[0] = static_cast<std::uint8_t>(std::lround(c.r * 255.0f));
      p[1] = static_cast<std::uint8_t>(std::lround(c.g * 255.0f));
      p[2] = static_cast<std::uint8_t>(std::lround(c.b * 255.0f));
      p[3] = 255;
    }
  }
  return px;
}

Skin Skin::Blend(int a, int b, float t) {
  t = Clamp01(t);
  if (t <= 0.0f || a == b) return Rigid(a);
  if (t >= 1.0f) return Rigid(b);
  Skin s;
  s.bone[0] = a;
  s.weight[0] = 1.0f - t;
  s.bone[1] = b;
  s.weight[1] = t;
  return s;
}

ModelMesh::ModelMesh(std::vector<XMaterialDesc> materials) : materials_(std::move(materials)) {}

int ModelMesh::AddMaterial(const XMaterialDesc& material) {
  materials_.push_back(material);
  return static_cast<int>(materials_.size()) - 1;
}

std::size_t ModelMesh::AddSurface(int cols, int rows, const SurfaceFn& pos, Paint paint,
                                  int material, const Skin& skin, bool inward, const Vec3* centre) {
  const std::size_t first = vertices_.size();
  const std::size_t firstFace = faces_.size();
  const auto at = [&](int i, int j) {
    return static_cast<std::uint32_t>(first + static_cast<std::size_t>(j * (cols + 1) + i));
  };
  for (int j = 0; j <= rows; ++j) {
    const float v = static_cast<float>(j) / static_cast<float>(rows);
    for (int i = 0; i <= cols; ++i) {
      const float u = static_cast<float>(i) / static_cast<float>(cols);
      ModelVertex mv;
      mv.pos = pos(u, v);
      mv.uv = SwatchUv(paint.swatch, paint.gradient ? v : -1.0f);
      mv.skin = skin;
      vertices_.push_back(mv);
    }
  }
  Vec3 centroid;
  for (std::size_t k = first; k < vertices_.size(); ++k) centroid += vertices_[k].pos;
  centroid = centroid * (1.0f / static_cast<float>(vertices_.size() - first));
  if (centre) centroid = *centre;

  float flux = 0;
  const auto addFace = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    const Vec3 e1 = vertices_[b].pos - vertices_[a].pos, e2 = vertices_[c].pos - vertices_[a].pos;
    const Vec3 n = engine::Vec3Cross(e1, e2);
    // Collapsed at a pole (rounding leaves slivers rather than exact zeros).
    if (engine::Vec3Length(n) <= 1e-4f * engine::Vec3Length(e1) * engine::Vec3Length(e2)) return;
    const Vec3 mid = (vertices_[a].pos + vertices_[b].pos + vertices_[c].pos) * (1.0f / 3.0f);
    flux += engine::Vec3Dot(n, mid - centroid);
    faces_.push_back({a, b, c});
    faceMaterials_.push_back(static_cast<std::uint32_t>(material));
  };
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < cols; ++i) {
      addFace(at(i, j), at(i + 1, j), at(i + 1, j + 1));
      addFace(at(i, j), at(i + 1, j + 1), at(i, j + 1));
    }
  }
  if ((flux < 0) != inward) {
    for (std::size_t f = firstFace; f < faces_.size(); ++f) std::swap(faces_[f][1], faces_[f][2]);
  }
  SmoothNormals(first);
  return first;
}

void ModelMesh::SetUvs(std::size_t first, int cols, int rows,
                       const std::function<Vec2(float u, float v)>& uv) {
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i <= cols; ++i)
      vertices_[first + static_cast<std::size_t>(j * (cols + 1) + i)].uv =
          uv(static_cast<float>(i) / static_cast<float>(cols),
             static_cast<float>(j) / static_cast<float>(rows));
}

void ModelMesh::SmoothNormals(std::size_t first) {
  // Area-weighted normals, shared by every vertex at one place.
  std::map<std::tuple<long, long, long>, Vec3> sums;
  for (const auto& t : faces_) {
    if (t[0] < first && t[1] < first && t[2] < first) continue;
    const Vec3 n = engine::Vec3Cross(vertices_[t[1]].pos - vertices_[t[0]].pos,
                                     vertices_[t[2]].pos - vertices_[t[0]].pos);
    for (std::uint32_t k : t) sums[PosKey(vertices_[k].pos)] += n;
  }
  for (std::size_t k = first; k < vertices_.size(); ++k)
    vertices_[k].normal = engine::Vec3Normalize(sums[PosKey(vertices_[k].pos)]);
}

std::size_t ModelMesh::AddEllipsoid(const Vec3& radii, const Matrix& xf, int cols, int rows,
                                    Paint paint, int material, const Skin& skin) {
  return AddSurface(
      cols, rows,
      [&](float u, float v) {
        const float th = v * engine::kPi, ph = u * kTau;
        const Vec3 p{radii.x * std::sin(th) * std::cos(ph), radii.y * std::cos(th),
                     radii.z * std::sin(th) * std::sin(ph)};
        return engine::Vec3TransformCoord(p, xf);
      },
      paint, material, skin);
}

std::size_t ModelMesh::AddLathe(const std::vector<Vec2>& profile, const Matrix& xf, int cols,
                                Paint paint, int material, const Skin& skin) {
  const int rows = static_cast<int>(profile.size()) - 1;
  return AddSurface(
      cols, rows,
      [&](float u, float v) {
        const auto j = static_cast<std::size_t>(std::lround(v * static_cast<float>(rows)));
        const Vec2 pr = profile[j];
        const float ph = u * kTau;
        return engine::Vec3TransformCoord({pr.x * std::cos(ph), pr.y, pr.x * std::sin(ph)}, xf);
      },
      paint, material, skin);
}

std::size_t ModelMesh::AddTube(const std::vector<Vec3>& points, const std::vector<float>& radii,
                               int cols, Paint paint, int material, const Skin& skin) {
  struct Ring {
    Vec3 c, n, b;
    float r;
  };
  const std::size_t n = points.size();
  std::vector<Vec3> tangents(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Vec3 a = points[i == 0 ? 0 : i - 1], b = points[i + 1 == n ? n - 1 : i + 1];
    tangents[i] = engine::Vec3Normalize(b - a);
  }
  // Parallel-transported frame.
  Vec3 normal = std::fabs(tangents[0].y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
  std::vector<Ring> body;
  for (std::size_t i = 0; i < n; ++i) {
    const Vec3 t = tangents[i];
    normal = engine::Vec3Normalize(normal - t * engine::Vec3Dot(normal, t));
    const Vec3 bin = engine::Vec3Cross(t, normal);
    body.push_back({points[i], normal, bin, radii[i]});
  }
  const int capRows = 4;
  std::vector<Ring> rings;
  for (int k = 0; k < capRows; ++k) {
    const float a = static_cast<float>(k) / capRows * (engine::kPi / 2);
    const Ring& r0 = body.front();
    rings.push_back(
        {r0.c - tangents.front() * (r0.r * std::cos(a)), r0.n, r0.b, r0.r * std::sin(a)});
  }
  rings.insert(rings.end(), body.begin(), body.end());
  for (int k = capRows - 1; k >= 0; --k) {
    const float a = static_cast<float>(k) / capRows * (engine::kPi / 2);
    const Ring& r1 = body.back();
    rings.push_back(
        {r1.c + tangents.back() * (r1.r * std::cos(a)), r1.n, r1.b, r1.r * std::sin(a)});
  }
  const int rows = static_cast<int>(rings.size()) - 1;
  return AddSurface(
      cols, rows,
      [&](float u, float v) {
        const auto j = static_cast<std::size_t>(std::lround(v * static_cast<float>(rows)));
        const Ring& r = rings[j];
        const float ph = u * kTau;
        return r.c + r.n * (r.r * std::cos(ph)) + r.b * (r.r * std::sin(ph));
      },
      paint, material, skin);
}

void ModelMesh::Append(const ModelMesh& other) {
  const auto base = static_cast<std::uint32_t>(vertices_.size());
  const auto matBase = static_cast<std::uint32_t>(materials_.size());
  vertices_.insert(vertices_.end(), other.vertices_.begin(), other.vertices_.end());
  for (auto f : other.faces_) faces_.push_back({f[0] + base, f[1] + base, f[2] + base});
  for (std::uint32_t m : other.faceMaterials_) faceMaterials_.push_back(m + matBase);
  materials_.insert(materials_.end(), other.materials_.begin(), other.materials_.end());
}

void ModelMesh::SetSkin(std::size_t first, const std::function<Skin(const Vec3&)>& fn) {
  for (std::size_t k = first; k < vertices_.size(); ++k) vertices_[k].skin = fn(vertices_[k].pos);
}

void ModelMesh::Bounds(Vec3* lo, Vec3* hi) const {
  *lo = {1e30f, 1e30f, 1e30f};
  *hi = {-1e30f, -1e30f, -1e30f};
  for (const ModelVertex& v : vertices_) {
    lo->x = std::min(lo->x, v.pos.x);
    lo->y = std::min(lo->y, v.pos.y);
    lo->z = std::min(lo->z, v.pos.z);
    hi->x = std::max(hi->x, v.pos.x);
    hi->y = std::max(hi->y, v.pos.y);
    hi->z = std::max(hi->z, v.pos.z);
  }
}

XMeshDesc ModelMesh::ToXMesh(const std::string& name, const std::vector<std::string>& boneNames,
                             const std::vector<Matrix>& offsets) const {
  XMeshDesc m;
  m.name = name;
  for (const ModelVertex& v : vertices_) {
    m.positions.push_back(v.pos);
    m.normals.push_back(v.normal);
    m.uvs.push_back(v.uv);
  }
  m.faces = faces_;
  m.faceMaterials = faceMaterials_;
  m.materials = materials_;
  if (!boneNames.empty()) {
    std::vector<XSkinWeightsDesc> perBone(boneNames.size());
    for (std::size_t k = 0; k < vertices_.size(); ++k) {
      const Skin& s = vertices_[k].skin;
      float total = 0;
      for (int i = 0; i < 4; ++i)
        if (s.bone[static_cast<std::size_t>(i)] >= 0)
          total += s.weight[static_cast<std::size_t>(i)];
      for (std::size_t i = 0; i < 4; ++i) {
        if (s.bone[i] < 0 || s.weight[i] <= 0) continue;
        XSkinWeightsDesc& sw = perBone[static_cast<std::size_t>(s.bone[i])];
        sw.vertices.push_back(static_cast<std::uint32_t>(k));
        sw.weights.push_back(s.weight[i] / total);
      }
    }
    for (std::size_t b = 0; b < boneNames.size(); ++b) {
      if (perBone[b].vertices.empty()) continue;
      perBone[b].bone = boneNames[b];
      perBone[b].offset = offsets[b];
      m.skin.push_back(std::move(perBone[b]));
    }
  }
  return m;
}

XMaterialDesc PaletteMaterial(float diffuse) {
  XMaterialDesc m;
  m.r = m.g = m.b = diffuse;
  m.a = 1;
  m.power = 8;
  m.texture = kPaletteTexture;
  return m;
}

int Skeleton::Add(const std::string& name, int parent, const Vec3& localPos) {
  bones_.push_back({name, parent, localPos});
  return static_cast<int>(bones_.size()) - 1;
}

int Skeleton::Find(const std::string& name) const {
  for (std::size_t i = 0; i < bones_.size(); ++i)
    if (bones_[i].name == name) return static_cast<int>(i);
  return -1;
}

Vec3 Skeleton::BindPos(int b) const {
  Vec3 p;
  for (int i = b; i >= 0; i = bones_[static_cast<std::size_t>(i)].parent)
    p += bones_[static_cast<std::size_t>(i)].local;
  return p;
}

std::vector<std::string> Skeleton::Names() const {
  std::vector<std::string> n;
  for (const Bone& b : bones_) n.push_back(b.name);
  return n;
}

std::vector<Matrix> Skeleton::Offsets() const {
  std::vector<Matrix> m;
  for (std::size_t b = 0; b < bones_.size(); ++b) {
    const Vec3 p = BindPos(static_cast<int>(b));
    m.push_back(engine::MatrixTranslation(-p.x, -p.y, -p.z));
  }
  return m;
}

XFrameDesc Skeleton::Frames(const XMeshDesc& mesh) const {
  std::function<XFrameDesc(int)> build = [&](int b) {
    XFrameDesc f;
    const Bone& bone = bones_[static_cast<std::size_t>(b)];
    f.name = bone.name;
    f.transform = engine::MatrixTranslation(bone.local.x, bone.local.y, bone.local.z);
    for (std::size_t c = 0; c < bones_.size(); ++c)
      if (bones_[c].parent == b) f.children.push_back(build(static_cast<int>(c)));
    return f;
  };
  XFrameDesc root = build(0);
  root.meshes.push_back(mesh);
  return root;
}

ClipBuilder::ClipBuilder(const Skeleton& skeleton, std::string name)
    : skeleton_(skeleton), name_(std::move(name)) {}

void ClipBuilder::Key(std::uint32_t time, const std::map<std::string, BonePose>& poses) {
  keys_.emplace_back(time, poses);
}

std::uint32_t ClipBuilder::LastTime() const { return keys_.empty() ? 0 : keys_.back().first; }

XAnimationSetDesc ClipBuilder::Build() const {
  XAnimationSetDesc set;
  set.name = name_;
  for (std::size_t b = 0; b < skeleton_.Size(); ++b) {
    XAnimationDesc a;
    a.frame = skeleton_.Name(static_cast<int>(b));
    const Vec3 local = skeleton_.Local(static_cast<int>(b));
    for (const auto& [time, poses] : keys_) {
      BonePose pose;
      if (auto it = poses.find(a.frame); it != poses.end()) pose = it->second;
      a.rotation.push_back({time, engine::QuaternionNormalize(pose.rot)});
      a.scale.push_back({time, pose.scale});
      a.translation.push_back({time, local + pose.move});
    }
    set.animations.push_back(std::move(a));
  }
  return set;
}

Quaternion RotX(float a) { return engine::QuaternionRotationAxis({1, 0, 0}, a); }
Quaternion RotY(float a) { return engine::QuaternionRotationAxis({0, 1, 0}, a); }
Quaternion RotZ(float a) { return engine::QuaternionRotationAxis({0, 0, 1}, a); }
Quaternion RotXYZ(float x, float y, float z) {
  return engine::QuaternionMultiply(engine::QuaternionMultiply(RotX(x), RotY(y)), RotZ(z));
}

std::vector<Matrix> PoseSkeleton(const Skeleton& skeleton, const XAnimationSetDesc& set,
                                 std::uint32_t ticksPerSecond, double seconds) {
  std::uint32_t last = 0;
  for (const XAnimationDesc& a : set.animations) {
    for (const auto& k : a.rotation) last = std::max(last, k.time);
    for (const auto& k : a.scale) last = std::max(last, k.time);
    for (const auto& k : a.translation) last = std::max(last, k.time);
  }
  const double period = static_cast<double>(last) / ticksPerSecond;
  const double t = period > 0 ? std::fmod(seconds, period) * ticksPerSecond : 0.0;

  const auto vec = [&](const std::vector<XKey<Vec3>>& keys, Vec3 none) {
    if (keys.empty()) return none;
    if (t <= keys.front().time) return keys.front().value;
    for (std::size_t i = 1; i < keys.size(); ++i) {
      if (t < keys[i].time) {
        const float f = static_cast<float>((t - keys[i - 1].time) /
                                           static_cast<double>(keys[i].time - keys[i - 1].time));
        return engine::Vec3Lerp(keys[i - 1].value, keys[i].value, f);
      }
    }
    return keys.back().value;
  };
  const auto rot = [&](const std::vector<XKey<Quaternion>>& keys) {
    if (keys.empty()) return Quaternion{};
    if (t <= keys.front().time) return keys.front().value;
    for (std::size_t i = 1; i < keys.size(); ++i) {
      if (t < keys[i].time) {
        const float f = static_cast<float>((t - keys[i - 1].time) /
                                           static_cast<double>(keys[i].time - keys[i - 1].time));
        return engine::QuaternionSlerp(keys[i - 1].value, keys[i].value, f);
      }
    }
    return keys.back().value;
  };

  std::vector<Matrix> combined(skeleton.Size());
  for (std::size_t b = 0; b < skeleton.Size(); ++b) {
    const int bi = static_cast<int>(b);
    const Vec3 l = skeleton.Local(bi);
    Matrix local = engine::MatrixTranslation(l.x, l.y, l.z);
    for (const XAnimationDesc& a : set.animations) {
      if (a.frame != skeleton.Name(bi)) continue;
      local = engine::MatrixTransformation(vec(a.scale, {1, 1, 1}), rot(a.rotation),
                                           vec(a.translation, {}));
    }
    const int parent = skeleton.Parent(bi);
    combined[b] = parent < 0 ? local : local * combined[static_cast<std::size_t>(parent)];
  }
  return combined;
}

void SkinVertices(const ModelMesh& mesh, const Skeleton& skeleton,
                  const std::vector<Matrix>& combined, std::vector<Vec3>* positions,
                  std::vector<Vec3>* normals) {
  const std::vector<Matrix> offsets = skeleton.Offsets();
  positions->clear();
  normals->clear();
  for (const ModelVertex& v : mesh.Vertices()) {
    Vec3 p, n;
    float total = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      if (v.skin.bone[i] < 0) continue;
      const auto b = static_cast<std::size_t>(v.skin.bone[i]);
      const Matrix m = offsets[b] * combined[b];
      p += engine::Vec3TransformCoord(v.pos, m) * v.skin.weight[i];
      n += engine::Vec3TransformNormal(v.normal, m) * v.skin.weight[i];
      total += v.skin.weight[i];
    }
    if (total <= 0) {
      p = v.pos;
      n = v.normal;
    }
    positions->push_back(p);
    normals->push_back(engine::Vec3Normalize(n));
  }
}

}  // namespace contentgen
