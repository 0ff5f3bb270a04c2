// Reading frames, meshes and animation sets out of a parsed .x document.
#include "engine/xfile/xscene.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace engine::xfile {

void DecomposeMatrix(const Matrix& m, Vec3* scale, Quaternion* rotation, Vec3* translation) {
  *translation = {m.m[3][0], m.m[3][1], m.m[3][2]};
  Vec3 rows[3];
  float s[3];
  for (int i = 0; i < 3; ++i) {
    rows[i] = {m.m[i][0], m.m[i][1], m.m[i][2]};
    s[i] = Vec3Length(rows[i]);
  }
  if (Vec3Dot(Vec3Cross(rows[0], rows[1]), rows[2]) < 0) s[0] = -s[0];
  Matrix r;
  for (int i = 0; i < 3; ++i) {
    if (s[i] != 0) {
      for (int j = 0; j < 3; ++j) r.m[i][j] = m.m[i][j] / s[i];
    }
  }
  *scale = {s[0], s[1], s[2]};
  Quaternion q = QuaternionRotationMatrix(r);
  if (!std::isfinite(q.x) || !std::isfinite(q.y) || !std::isfinite(q.z) || !std::isfinite(q.w))
    q = Quaternion{};
  *rotation = QuaternionNormalize(q);
}

namespace {

// Reads an object's values in order.
class Cursor {
 public:
  Cursor(const Document& doc, const Object& o, std::string* error)
      : doc_(doc), o_(o), error_(error) {}

  std::size_t Remaining() const { return o_.values.size() - i_; }
  std::string Type() const { return std::string(o_.type); }
  // Where the next value sits (the object's start when there is none).
  std::uint32_t Pos() const { return i_ < o_.values.size() ? o_.values[i_].pos() : o_.pos; }

  bool Fail(std::uint32_t pos, const std::string& what) const {
    if (error_) *error_ = doc_.Describe(pos) + ": " + what;
    return false;
  }

  // The common case inline; anything wrong goes through DwordChecked, which
  // says what.
  bool Dword(std::uint32_t* out, const char* what) {
    if (i_ < o_.values.size() && TakeDword(o_.values[i_], out)) {
      ++i_;
      return true;
    }
    return DwordChecked(out, what);
  }
  // `n` whole numbers in a row, as n calls of Dword would read them.
  bool Dwords(std::uint32_t* out, std::size_t n, const char* what) {
    return Run<TakeEach<TakeDword, std::uint32_t>, &Cursor::Dword>(out, n, what);
  }
  // Where the value read `back` values ago sits.
  std::uint32_t PosBefore(std::size_t back) const { return o_.values[i_ - back].pos(); }

  bool DwordChecked(std::uint32_t* out, const char* what) {
    if (i_ >= o_.values.size()) return Fail(o_.pos, "'" + Type() + "' ends before its " + what);
    const Value& v = o_.values[i_];
    // Whole numbers were sorted out as they were read, except for floats
    // kept as they are (those of binary files, and -0).
    const float f = v.AsFloat();
    if (v.kind() != ValueKind::Float || !(f >= 0 && f < 4294967296.0f) || f != std::floor(f))
      return Fail(v.pos(),
                  std::string("expected a whole number for the ") + what + " of '" + Type() + "'");
    *out = static_cast<std::uint32_t>(f);
    ++i_;
    return true;
  }

  bool Float(float* out, const char* what) {
    if (i_ < o_.values.size() && TakeFloat(o_.values[i_], out)) {
      ++i_;
      return true;
    }
    return FloatChecked(out, what);
  }

  bool FloatChecked(float* out, const char* what) {
    if (i_ >= o_.values.size()) return Fail(o_.pos, "'" + Type() + "' ends before its " + what);
    const Value& v = o_.values[i_];
    if (TakeFloat(v, out)) {
      ++i_;
      return true;
    }
    if (v.kind() == ValueKind::String)
      return Fail(v.pos(),
                  std::string("expected a number for the ") + what + " of '" + Type() + "'");
    return Fail(v.pos(), std::string("the ") + what + " of '" + Type() + "' is not finite");
  }

  // `n` floats in a row, as n calls of Float would read them.
  bool Floats(float* out, std::size_t n, const char* what) {
    return Run<TakeFloats, &Cursor::Float>(out, n, what);
  }

  // `count` tuples of N floats, read a few hundred at a time; `take(i, f)`
  // gets tuple i as f[0] .. f[N - 1].
  template <std::size_t N, typename Take>
  bool FloatTuples(std::uint32_t count, const char* what, Take take) {
    constexpr std::uint32_t kBatch = 256;
    float f[N * kBatch];
    for (std::uint32_t i = 0; i < count; i += kBatch) {
      const std::uint32_t m = std::min(kBatch, count - i);
      if (!Floats(f, N * m, what)) return false;
      for (std::uint32_t k = 0; k < m; ++k) take(i + k, f + N * k);
    }
    return true;
  }

  bool String(std::string* out, const char* what) {
    if (i_ >= o_.values.size()) return Fail(o_.pos, "'" + Type() + "' ends before its " + what);
    const Value& v = o_.values[i_];
    if (v.kind() != ValueKind::String)
      return Fail(v.pos(),
                  std::string("expected a string for the ") + what + " of '" + Type() + "'");
    *out = std::string(doc_.strings[v.bits]);
    ++i_;
    return true;
  }

  // A count of items of `perItem` values each: refused when the rest of the
  // object could not hold them.
  bool Count(std::uint32_t* out, std::size_t perItem, const char* what) {
    const std::uint32_t pos = Pos();
    if (!Dword(out, what)) return false;
    // (n * perItem > rest, the same as n > rest / perItem without a
    // division: this runs once per face.)
    if (std::uint64_t{*out} * perItem > Remaining())
      return Fail(pos, "'" + Type() + "' declares " + std::to_string(*out) + " " + what +
                           " but holds data for at most " + std::to_string(Remaining() / perItem));
    return true;
  }

  bool Matrix16(Matrix* m, const char* what) {
    float f[16];
    if (!Floats(f, 16, what)) return false;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) m->m[r][c] = f[r * 4 + c];
    return true;
  }

 private:
  // The value as a whole number, or false (the rare whole floats are left
  // to DwordChecked).
  static bool TakeDword(const Value& v, std::uint32_t* out) {
    if (v.kind() != ValueKind::Integer) return false;
    *out = v.bits;
    return true;
  }
  // The value as a float, or false.
  static bool TakeFloat(const Value& v, float* out) {
    if (v.kind() > ValueKind::Integer) return false;
    *out = v.AsFloat();
    return true;
  }
  // How many of the `n` values at `v` in a row `Take` reads.
  template <auto Take, typename T>
  static std::size_t TakeEach(const Value* v, T* out, std::size_t n) {
    std::size_t k = 0;
    while (k < n && Take(v[k], out + k)) ++k;
    return k;
  }
  // The same for floats, most of a mesh: four at a time where the vector
  // unit allows.
  static std::size_t TakeFloats(const Value* v, float* out, std::size_t n) {
    std::size_t k = 0;
#if defined(__SSE2__)
    // Values are (bits, position << 3 | kind) pairs: two loads hold four.
    // Floats are their bits; whole numbers below 2^31 are converted; a
    // larger one, or anything else, stops the loop for the one-at-a-time
    // reads to take.
    static_assert(sizeof(Value) == 8 && ValueKind::Float < ValueKind::Integer &&
                  ValueKind::Rounded < ValueKind::Integer);
    const __m128i kindMask = _mm_set1_epi32(7);
    const __m128i integer = _mm_set1_epi32(static_cast<int>(ValueKind::Integer));
    for (; k + 4 <= n; k += 4) {
      const __m128 lo = _mm_loadu_ps(reinterpret_cast<const float*>(v + k));
      const __m128 hi = _mm_loadu_ps(reinterpret_cast<const float*>(v + k + 2));
      const __m128i bits = _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
      const __m128i kinds = _mm_and_si128(
          _mm_castps_si128(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))), kindMask);
      const __m128i isInteger = _mm_cmpeq_epi32(kinds, integer);
      const __m128i stop = _mm_or_si128(_mm_cmpgt_epi32(kinds, integer),
                                        _mm_and_si128(isInteger, _mm_srai_epi32(bits, 31)));
      if (_mm_movemask_epi8(stop) != 0) break;
      const __m128i converted = _mm_castps_si128(_mm_cvtepi32_ps(bits));
      _mm_storeu_si128(
          reinterpret_cast<__m128i*>(out + k),
          _mm_or_si128(_mm_and_si128(isInteger, converted), _mm_andnot_si128(isInteger, bits)));
    }
#endif
    return k + TakeEach<TakeFloat>(v + k, out + k, n - k);
  }
  // `n` values read in bulk by `TakeMany` while they are what it wants;
  // from the first that is not, one at a time through `One`, which says
  // what is wrong.
  template <auto TakeMany, auto One, typename T>
  bool Run(T* out, std::size_t n, const char* what) {
    if (n <= Remaining()) {
      const std::size_t k = TakeMany(o_.values.data() + i_, out, n);
      i_ += k;
      out += k;
      n -= k;
    }
    for (std::size_t k = 0; k < n; ++k)
      if (!(this->*One)(out + k, what)) return false;
    return true;
  }

  const Document& doc_;
  const Object& o_;
  std::string* error_;
  std::size_t i_ = 0;
};

std::uint32_t ColorToArgb(float r, float g, float b, float a) {
  auto c = [](float v) {
    if (!(v > 0)) return 0u;
    if (v >= 1) return 255u;
    return static_cast<std::uint32_t>(v * 255.0f + 0.5f);
  };
  return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}

class SceneReader {
 public:
  SceneReader(const Document& doc, Scene* scene, std::string* error)
      : doc_(doc), scene_(scene), error_(error) {}

  bool Run() {
    for (const Object& o : doc_.objects) Index(o);
    for (const Object& o : doc_.objects) {
      if (o.type == "Frame") {
        scene_->roots.emplace_back();
        if (!ReadFrame(o, &scene_->roots.back())) return false;
      } else if (o.type == "Mesh") {
        FrameData holder;
        holder.synthetic = true;
        holder.meshes.emplace_back();
        if (!ReadMesh(o, &holder.meshes.back())) return false;
        scene_->roots.push_back(std::move(holder));
      } else if (o.type == "AnimTicksPerSecond") {
        Cursor c(doc_, o, error_);
        std::uint32_t tps = 0;
        if (!c.Dword(&tps, "ticks per second")) return false;
        if (tps == 0) return c.Fail(o.pos, "ticks per second must not be 0");
        scene_->ticksPerSecond = tps;
        scene_->hasTicksPerSecond = true;
      } else if (o.type == "AnimationSet") {
        scene_->animationSets.emplace_back();
        if (!ReadAnimationSet(o, &scene_->animationSets.back())) return false;
      }
    }
    return true;
  }

 private:
  bool Fail(std::uint32_t pos, const std::string& what) const {
    if (error_) *error_ = doc_.Describe(pos) + ": " + what;
    return false;
  }

  void Index(const Object& o) {
    if (o.isReference) return;
    if (!o.name.empty()) named_.emplace(o.name, &o);
    if (!o.guid.empty()) byGuid_.emplace(o.guid, &o);
    for (const Object& c : o.children) Index(c);
  }

  const Object* Resolve(const Object& ref) const {
    if (!ref.name.empty()) {
      auto it = named_.find(ref.name);
      return it == named_.end() ? nullptr : it->second;
    }
    auto it = byGuid_.find(ref.guid);
    return it == byGuid_.end() ? nullptr : it->second;
  }

  bool ReadFrame(const Object& o, FrameData* f) {
    f->name = o.name;
    f->named = !o.name.empty();
    bool haveMatrix = false;
    for (const Object& c : o.children) {
      if (c.isReference) continue;
      if (c.type == "FrameTransformMatrix") {
        if (haveMatrix) continue;  // the first one counts
        Cursor cur(doc_, c, error_);
        if (!cur.Matrix16(&f->matrix, "matrix")) return false;
        haveMatrix = true;
      } else if (c.type == "Frame") {
        f->children.emplace_back();
        if (!ReadFrame(c, &f->children.back())) return false;
      } else if (c.type == "Mesh") {
        f->meshes.emplace_back();
        if (!ReadMesh(c, &f->meshes.back())) return false;
      }
    }
    return true;
  }

  bool ReadFaces(Cursor& cur, const Object& o, std::uint32_t vertexLimit,
                 std::vector<std::uint32_t>* starts, std::vector<std::uint32_t>* indices,
                 const char* what) {
    std::uint32_t nFaces = 0;
    if (!cur.Count(&nFaces, 1, what)) return false;
    starts->assign(1, 0);
    starts->reserve(std::size_t{nFaces} + 1);
    indices->reserve(std::size_t{nFaces} * 3);
    for (std::uint32_t f = 0; f < nFaces; ++f) {
      std::uint32_t n = 0;
      if (!cur.Count(&n, 1, "face indices")) return false;
      if (n < 3)
        return cur.Fail(o.pos, "'" + std::string(o.type) + "' face " + std::to_string(f) +
                                   " has fewer than 3 corners");
      // Count has checked that the object holds the n indices.
      const std::size_t first = indices->size();
      indices->resize(first + n);
      std::uint32_t* corners = indices->data() + first;
      if (!cur.Dwords(corners, n, "face index")) return false;
      for (std::uint32_t k = 0; k < n; ++k) {
        if (corners[k] >= vertexLimit)
          return cur.Fail(cur.PosBefore(n - k),
                          "face " + std::to_string(f) + " of '" + std::string(o.type) +
                              "' uses index " + std::to_string(corners[k]) + " past the count " +
                              std::to_string(vertexLimit));
      }
      starts->push_back(static_cast<std::uint32_t>(indices->size()));
    }
    return true;
  }

  bool ReadVectors(Cursor& cur, std::vector<Vec3>* out, const char* what) {
    std::uint32_t n = 0;
    if (!cur.Count(&n, 3, what)) return false;
    out->resize(n);
    return cur.FloatTuples<3>(n, what, [out](std::uint32_t i, const float* v) {
      (*out)[i] = {v[0], v[1], v[2]};
    });
  }

  bool ReadMaterial(const Object& o, XMaterial* m) {
    Cursor cur(doc_, o, error_);
    float f[11];
    if (!cur.Floats(f, 4, "face colour") || !cur.Float(&f[4], "power") ||
        !cur.Floats(f + 5, 3, "specular colour") || !cur.Floats(f + 8, 3, "emissive colour"))
      return false;
    m->material.diffuse = {f[0], f[1], f[2], f[3]};
    m->material.ambient = {0, 0, 0, 0};
    m->material.power = f[4];
    m->material.specular = {f[5], f[6], f[7], 1};
    m->material.emissive = {f[8], f[9], f[10], 1};
    for (const Object& c : o.children) {
      if (c.isReference) continue;
      if (c.type == "TextureFilename" || c.type == "TextureFileName") {
        Cursor tc(doc_, c, error_);
        if (!tc.String(&m->textureFilename, "file name")) return false;
      }
    }
    return true;
  }

  bool ReadMaterialList(const Object& o, MeshData* mesh) {
    Cursor cur(doc_, o, error_);
    std::uint32_t nMaterials = 0, nIndices = 0;
    if (!cur.Dword(&nMaterials, "material count")) return false;
    if (!cur.Count(&nIndices, 1, "face indices")) return false;
    std::vector<std::uint32_t> given(nIndices);
    for (std::uint32_t i = 0; i < nIndices; ++i) {
      const std::uint32_t at = cur.Pos();
      if (!cur.Dword(&given[i], "material index")) return false;
      if (given[i] >= nMaterials)
        return cur.Fail(at, "material index " + std::to_string(given[i]) + " of face " +
                                std::to_string(i) + " is past the material count " +
                                std::to_string(nMaterials));
    }
    const std::uint32_t nFaces = mesh->NumFaces();
    if (nIndices == 0 && nFaces > 0 && nMaterials > 0) given.push_back(0);
    // Lists shorter than the face count repeat their last entry (a single
    // index stands for every face).
    mesh->faceMaterials.resize(nFaces);
    for (std::uint32_t f = 0; f < nFaces; ++f)
      mesh->faceMaterials[f] = given.empty() ? 0 : given[f < given.size() ? f : given.size() - 1];
    for (const Object& c : o.children) {
      const Object* m = &c;
      if (c.isReference) {
        m = Resolve(c);
        if (!m)
          return Fail(c.pos, "reference to '" + (c.name.empty() ? c.guid : std::string(c.name)) +
                                 "', which the file does not define");
      }
      if (m->type != "Material") {
        if (c.isReference)
          return Fail(c.pos, "reference to '" + std::string(c.name) +
                                 "' in a material list names a '" + std::string(m->type) +
                                 "', not a material");
        continue;
      }
      if (mesh->materials.size() >= nMaterials) continue;
      mesh->materials.emplace_back();
      if (!ReadMaterial(*m, &mesh->materials.back())) return false;
    }
    if (mesh->materials.size() < nMaterials)
      return Fail(o.pos, "material list declares " + std::to_string(nMaterials) +
                             " materials but holds " + std::to_string(mesh->materials.size()));
    mesh->hasMaterialList = nMaterials > 0;
    if (!mesh->hasMaterialList) mesh->faceMaterials.clear();
    return true;
  }

  bool ReadMesh(const Object& o, MeshData* mesh) {
    mesh->name = o.name;
    mesh->pos = o.pos;
    Cursor cur(doc_, o, error_);
    if (!ReadVectors(cur, &mesh->positions, "vertices")) return false;
    const auto nVertices = static_cast<std::uint32_t>(mesh->positions.size());
    if (!ReadFaces(cur, o, nVertices, &mesh->faceStart, &mesh->faceIndices, "faces")) return false;
    bool seenNormals = false, seenTex = false, seenColors = false, seenList = false;
    for (const Object& c : o.children) {
      if (c.isReference) continue;
      if (c.type == "MeshNormals" && !seenNormals) {
        seenNormals = true;
        Cursor nc(doc_, c, error_);
        if (!ReadVectors(nc, &mesh->normals, "normals")) return false;
        std::vector<std::uint32_t> starts;
        if (!ReadFaces(nc, c, static_cast<std::uint32_t>(mesh->normals.size()), &starts,
                       &mesh->normalIndices, "normal faces"))
          return false;
        if (starts != mesh->faceStart)
          return Fail(c.pos, "the normal faces do not match the mesh's faces");
        mesh->hasNormals = true;
      } else if (c.type == "MeshTextureCoords" && !seenTex) {
        seenTex = true;
        Cursor tc(doc_, c, error_);
        std::uint32_t n = 0;
        if (!tc.Count(&n, 2, "texture coordinates")) return false;
        if (n < nVertices)
          return Fail(c.pos, std::to_string(n) + " texture coordinates for " +
                                 std::to_string(nVertices) + " vertices");
        mesh->texcoords.resize(nVertices);
        const bool ok = tc.FloatTuples<2>(n, "texture coordinates",
                                          [mesh, nVertices](std::uint32_t i, const float* uv) {
                                            if (i < nVertices) mesh->texcoords[i] = {uv[0], uv[1]};
                                          });
        if (!ok) return false;
        mesh->hasTexcoords = true;
      } else if (c.type == "MeshVertexColors" && !seenColors) {
        seenColors = true;
        Cursor cc(doc_, c, error_);
        std::uint32_t n = 0;
        if (!cc.Count(&n, 5, "vertex colours")) return false;
        mesh->colors.assign(nVertices, 0xFFFFFFFFu);
        for (std::uint32_t i = 0; i < n; ++i) {
          std::uint32_t idx = 0;
          float rgba[4];
          const std::uint32_t at = cc.Pos();
          if (!cc.Dword(&idx, "vertex index")) return false;
          if (idx >= nVertices)
            return cc.Fail(at, "vertex colour for vertex " + std::to_string(idx) +
                                   " past the vertex count " + std::to_string(nVertices));
          if (!cc.Floats(rgba, 4, "colour")) return false;
          mesh->colors[idx] = ColorToArgb(rgba[0], rgba[1], rgba[2], rgba[3]);
        }
        mesh->hasColors = true;
      } else if (c.type == "MeshMaterialList" && !seenList) {
        seenList = true;
        if (!ReadMaterialList(c, mesh)) return false;
      } else if (c.type == "SkinWeights") {
        SkinWeightsData sw;
        Cursor sc(doc_, c, error_);
        std::uint32_t n = 0;
        if (!sc.String(&sw.frameName, "frame name")) return false;
        if (!sc.Count(&n, 2, "weights")) return false;
        sw.vertices.resize(n);
        sw.weights.resize(n);
        for (std::uint32_t i = 0; i < n; ++i) {
          const std::uint32_t at = sc.Pos();
          if (!sc.Dword(&sw.vertices[i], "vertex index")) return false;
          if (sw.vertices[i] >= nVertices)
            return sc.Fail(at, "skin weights of '" + sw.frameName + "' name vertex " +
                                   std::to_string(sw.vertices[i]) + " past the vertex count " +
                                   std::to_string(nVertices));
        }
        for (std::uint32_t i = 0; i < n; ++i)
          if (!sc.Float(&sw.weights[i], "weight")) return false;
        if (!sc.Matrix16(&sw.offset, "offset matrix")) return false;
        mesh->skinWeights.push_back(std::move(sw));
      }
    }
    return true;
  }

  bool ReadAnimationKey(const Object& o, AnimationChannel* ch) {
    Cursor cur(doc_, o, error_);
    std::uint32_t type = 0, n = 0;
    if (!cur.Dword(&type, "key type")) return false;
    if (type > 4) return cur.Fail(o.pos, "unknown animation key type " + std::to_string(type));
    const std::uint32_t want = type == 0 ? 4 : (type <= 2 ? 3 : 16);
    if (!cur.Count(&n, 2 + want, "keys")) return false;
    for (std::uint32_t k = 0; k < n; ++k) {
      std::uint32_t time = 0, nValues = 0;
      const std::uint32_t at = cur.Pos();
      if (!cur.Dword(&time, "key time") || !cur.Dword(&nValues, "value count")) return false;
      if (nValues != want)
        return cur.Fail(at, "key " + std::to_string(k) + " of type " + std::to_string(type) +
                                " has " + std::to_string(nValues) + " values, expected " +
                                std::to_string(want));
      float v[16];
      if (!cur.Floats(v, want, "key values")) return false;
      switch (type) {
        case 0:
          // The file stores w, x, y, z with the opposite handedness of
          // rotation; conjugating gives the rotation our matrices use.
          ch->rotationKeys.push_back({time, Quaternion{-v[1], -v[2], -v[3], v[0]}});
          break;
        case 1: ch->scaleKeys.push_back({time, Vec3{v[0], v[1], v[2]}}); break;
        case 2: ch->translationKeys.push_back({time, Vec3{v[0], v[1], v[2]}}); break;
        default: {
          Matrix m;
          for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m.m[r][c] = v[r * 4 + c];
          Vec3 s, t;
          Quaternion q;
          DecomposeMatrix(m, &s, &q, &t);
          ch->scaleKeys.push_back({time, s});
          ch->rotationKeys.push_back({time, q});
          ch->translationKeys.push_back({time, t});
          break;
        }
      }
    }
    return true;
  }

  bool ReadAnimationSet(const Object& o, AnimationSetData* set) {
    set->name = o.name;
    for (const Object& a : o.children) {
      if (a.isReference || a.type != "Animation") continue;
      AnimationChannel ch;
      for (const Object& c : a.children) {
        if (c.isReference) {
          const Object* target = Resolve(c);
          if (!target)
            return Fail(c.pos, "animation refers to '" +
                                   (c.name.empty() ? c.guid : std::string(c.name)) +
                                   "', which the file does not define");
          ch.frameName = target->name;
        } else if (c.type == "AnimationKey") {
          if (!ReadAnimationKey(c, &ch)) return false;
        }
      }
      set->channels.push_back(std::move(ch));
    }
    return true;
  }

  const Document& doc_;
  Scene* scene_;
  std::string* error_;
  std::unordered_map<std::string_view, const Object*> named_;
  std::unordered_map<std::string_view, const Object*> byGuid_;
};

}  // namespace

bool ReadScene(const Document& doc, Scene* scene, std::string* error) {
  *scene = Scene{};
  scene->format = doc.format;
  scene->floatBits = doc.floatBits;
  SceneReader reader(doc, scene, error);
  return reader.Run();
}

namespace {
std::uint32_t CountFrames(const FrameData& f) {
  std::uint32_t n = f.synthetic ? 0 : 1;
  for (const FrameData& c : f.children) n += CountFrames(c);
  return n;
}
}  // namespace

std::uint32_t CountFileFrames(const Scene& scene) {
  std::uint32_t n = 0;
  for (const FrameData& f : scene.roots) n += CountFrames(f);
  return n;
}

bool LoadScene(const unsigned char* data, std::size_t size, const std::string& file, Scene* scene,
               std::string* error) {
  Document doc;
  if (!ParseDocument(data, size, file, &doc, error)) return false;
  return ReadScene(doc, scene, error);
}

}  // namespace engine::xfile
