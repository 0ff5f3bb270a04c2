#include "xwriter.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <set>

namespace contentgen {
namespace {

using engine::Matrix;
using engine::Quaternion;
using engine::Vec2;
using engine::Vec3;

bool IsIdentifier(const std::string& name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!(alpha || (digit && i > 0))) return false;
  }
  return true;
}

class Out {
 public:
  void Line(int depth, const std::string& text) {
    text_.append(static_cast<std::size_t>(depth), ' ');
    text_ += text;
    text_ += '\n';
  }
  std::string& Text() { return text_; }

 private:
  std::string text_;
};

std::string F(float v) { return FormatFloat(v); }

std::string Vec3Text(const Vec3& v) { return F(v.x) + ";" + F(v.y) + ";" + F(v.z) + ";"; }

// An array of n items each closed by ';', separated by ',' and the whole
// array closed by ';'.
template <typename Fn>
void WriteArray(Out& out, int depth, std::size_t n, Fn&& item) {
  for (std::size_t i = 0; i < n; ++i) out.Line(depth, item(i) + (i + 1 == n ? ";" : ","));
}

void WriteMatrix(Out& out, int depth, const Matrix& m) {
  for (int r = 0; r < 4; ++r) {
    std::string line;
    for (int c = 0; c < 4; ++c) {
      line += F(m.m[r][c]);
      line += (r == 3 && c == 3) ? ";;" : ",";
    }
    out.Line(depth, line);
  }
}

void WriteMaterial(Out& out, int depth, const XMaterialDesc& mat) {
  out.Line(depth, "Material {");
  out.Line(depth + 1, F(mat.r) + ";" + F(mat.g) + ";" + F(mat.b) + ";" + F(mat.a) + ";;");
  out.Line(depth + 1, F(mat.power) + ";");
  out.Line(depth + 1, F(mat.specR) + ";" + F(mat.specG) + ";" + F(mat.specB) + ";;");
  out.Line(depth + 1, F(mat.emR) + ";" + F(mat.emG) + ";" + F(mat.emB) + ";;");
  if (!mat.texture.empty()) {
    out.Line(depth + 1, "TextureFilename {");
    out.Line(depth + 2, "\"" + mat.texture + "\";");
    out.Line(depth + 1, "}");
  }
  out.Line(depth, "}");
}

void WriteFaces(Out& out, int depth, const std::vector<std::array<std::uint32_t, 3>>& faces) {
  out.Line(depth, std::to_string(faces.size()) + ";");
  WriteArray(out, depth, faces.size(), [&](std::size_t i) {
    return "3;" + std::to_string(faces[i][0]) + "," + std::to_string(faces[i][1]) + "," +
           std::to_string(faces[i][2]) + ";";
  });
}

void WriteMesh(Out& out, int depth, const XMeshDesc& mesh) {
  out.Line(depth, mesh.name.empty() ? "Mesh {" : "Mesh " + mesh.name + " {");
  const int d = depth + 1;
  out.Line(d, std::to_string(mesh.positions.size()) + ";");
  WriteArray(out, d, mesh.positions.size(),
             [&](std::size_t i) { return Vec3Text(mesh.positions[i]); });
  WriteFaces(out, d, mesh.faces);

  out.Line(d, "MeshNormals {");
  out.Line(d + 1, std::to_string(mesh.normals.size()) + ";");
  WriteArray(out, d + 1, mesh.normals.size(),
             [&](std::size_t i) { return Vec3Text(mesh.normals[i]); });
  WriteFaces(out, d + 1, mesh.faces);
  out.Line(d, "}");

  if (!mesh.uvs.empty()) {
    out.Line(d, "MeshTextureCoords {");
    out.Line(d + 1, std::to_string(mesh.uvs.size()) + ";");
    WriteArray(out, d + 1, mesh.uvs.size(),
               [&](std::size_t i) { return F(mesh.uvs[i].x) + ";" + F(mesh.uvs[i].y) + ";"; });
    out.Line(d, "}");
  }

  out.Line(d, "MeshMaterialList {");
  out.Line(d + 1, std::to_string(mesh.materials.size()) + ";");
  out.Line(d + 1, std::to_string(mesh.faceMaterials.size()) + ";");
  WriteArray(out, d + 1, mesh.faceMaterials.size(),
             [&](std::size_t i) { return std::to_string(mesh.faceMaterials[i]); });
  for (const XMaterialDesc& mat : mesh.materials) WriteMaterial(out, d + 1, mat);
  out.Line(d, "}");

  if (!mesh.skin.empty()) {
    // The largest number of bones on one vertex and on one face.
    std::vector<std::set<std::size_t>> perVertex(mesh.positions.size());
    for (std::size_t b = 0; b < mesh.skin.size(); ++b)
      for (std::uint32_t v : mesh.skin[b].vertices) perVertex[v].insert(b);
    std::size_t maxVertex = 0, maxFace = 0;
    for (const auto& s : perVertex) maxVertex = std::max(maxVertex, s.size());
    for (const auto& f : mesh.faces) {
      std::set<std::size_t> bones;
      for (std::uint32_t v : f) bones.insert(perVertex[v].begin(), perVertex[v].end());
      maxFace = std::max(maxFace, bones.size());
    }
    out.Line(d, "XSkinMeshHeader {");
    out.Line(d + 1, std::to_string(maxVertex) + ";");
    out.Line(d + 1, std::to_string(maxFace) + ";");
    out.Line(d + 1, std::to_string(mesh.skin.size()) + ";");
    out.Line(d, "}");
    for (const XSkinWeightsDesc& sw : mesh.skin) {
      out.Line(d, "SkinWeights {");
      out.Line(d + 1, "\"" + sw.bone + "\";");
      out.Line(d + 1, std::to_string(sw.vertices.size()) + ";");
      WriteArray(out, d + 1, sw.vertices.size(),
                 [&](std::size_t i) { return std::to_string(sw.vertices[i]); });
      WriteArray(out, d + 1, sw.weights.size(), [&](std::size_t i) { return F(sw.weights[i]); });
      WriteMatrix(out, d + 1, sw.offset);
      out.Line(d, "}");
    }
  }
  out.Line(depth, "}");
}

void WriteFrame(Out& out, int depth, const XFrameDesc& frame) {
  out.Line(depth, frame.name.empty() ? "Frame {" : "Frame " + frame.name + " {");
  out.Line(depth + 1, "FrameTransformMatrix {");
  WriteMatrix(out, depth + 2, frame.transform);
  out.Line(depth + 1, "}");
  for (const XMeshDesc& mesh : frame.meshes) WriteMesh(out, depth + 1, mesh);
  for (const XFrameDesc& child : frame.children) WriteFrame(out, depth + 1, child);
  out.Line(depth, "}");
}

template <typename T, typename Fn>
void WriteKeys(Out& out, int depth, int type, const std::vector<XKey<T>>& keys, int n,
               Fn&& values) {
  if (keys.empty()) return;
  out.Line(depth, "AnimationKey {");
  out.Line(depth + 1, std::to_string(type) + ";");
  out.Line(depth + 1, std::to_string(keys.size()) + ";");
  WriteArray(out, depth + 1, keys.size(), [&](std::size_t i) {
    return std::to_string(keys[i].time) + ";" + std::to_string(n) + ";" + values(keys[i].value) +
           ";";
  });
  out.Line(depth, "}");
}

void CollectNames(const XFrameDesc& frame, std::set<std::string>* names) {
  if (!frame.name.empty()) names->insert(frame.name);
  for (const XFrameDesc& c : frame.children) CollectNames(c, names);
}

std::string ValidateMesh(const XMeshDesc& mesh, const std::set<std::string>& frames) {
  const std::string where = "mesh '" + mesh.name + "': ";
  if (!mesh.name.empty() && !IsIdentifier(mesh.name)) return where + "bad name";
  const std::size_t n = mesh.positions.size();
  if (n == 0 || mesh.faces.empty()) return where + "empty";
  if (mesh.normals.size() != n) return where + "normal count differs from position count";
  if (!mesh.uvs.empty() && mesh.uvs.size() != n) return where + "uv count differs";
  if (mesh.faceMaterials.size() != mesh.faces.size()) return where + "face material count differs";
  if (mesh.materials.empty()) return where + "no material";
  for (const auto& f : mesh.faces)
    for (std::uint32_t v : f)
      if (v >= n) return where + "face index out of range";
  for (std::uint32_t m : mesh.faceMaterials)
    if (m >= mesh.materials.size()) return where + "material index out of range";
  for (const XMaterialDesc& mat : mesh.materials)
    if (mat.texture.find('"') != std::string::npos) return where + "quote in texture name";
  std::set<std::string> bones;
  for (const XSkinWeightsDesc& sw : mesh.skin) {
    if (sw.vertices.size() != sw.weights.size()) return where + "weight count differs";
    if (sw.vertices.empty()) return where + "bone '" + sw.bone + "' moves no vertex";
    if (!frames.count(sw.bone)) return where + "bone '" + sw.bone + "' names no frame";
    if (!bones.insert(sw.bone).second) return where + "bone '" + sw.bone + "' twice";
    for (std::uint32_t v : sw.vertices)
      if (v >= n) return where + "skinned vertex out of range";
  }
  return {};
}

std::string ValidateFrame(const XFrameDesc& frame, const std::set<std::string>& frames) {
  if (!frame.name.empty() && !IsIdentifier(frame.name))
    return "frame '" + frame.name + "': bad name";
  for (const XMeshDesc& m : frame.meshes)
    if (std::string e = ValidateMesh(m, frames); !e.empty()) return e;
  for (const XFrameDesc& c : frame.children)
    if (std::string e = ValidateFrame(c, frames); !e.empty()) return e;
  return {};
}

std::size_t CountFrames(const XFrameDesc& frame) {
  std::size_t n = frame.name.empty() ? 0 : 1;
  for (const XFrameDesc& c : frame.children) n += CountFrames(c);
  return n;
}

}  // namespace

std::string FormatFloat(float value) {
  if (!std::isfinite(value)) value = 0.0f;
  char buf[64];
  auto res =
      std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::fixed, 6);
  std::string s(buf, res.ptr);
  if (s == "-0.000000") s = "0.000000";
  return s;
}

std::string ValidateXFile(const XFileDesc& desc) {
  if (desc.frames.empty()) return "no frame";
  std::set<std::string> names;
  std::size_t named = 0;
  for (const XFrameDesc& f : desc.frames) {
    CollectNames(f, &names);
    named += CountFrames(f);
  }
  if (names.size() != named) return "two frames share a name";
  for (const XFrameDesc& f : desc.frames)
    if (std::string e = ValidateFrame(f, names); !e.empty()) return e;
  if (!desc.sets.empty() && desc.ticksPerSecond == 0) return "animation without a tick rate";
  std::set<std::string> setNames;
  for (const XAnimationSetDesc& set : desc.sets) {
    if (!IsIdentifier(set.name)) return "animation set '" + set.name + "': bad name";
    if (!setNames.insert(set.name).second) return "animation set '" + set.name + "' twice";
    for (const XAnimationDesc& a : set.animations) {
      if (!names.count(a.frame))
        return "animation set '" + set.name + "': frame '" + a.frame + "' does not exist";
      auto sorted = [](const auto& keys) {
        for (std::size_t i = 1; i < keys.size(); ++i)
          if (keys[i].time <= keys[i - 1].time) return false;
        return true;
      };
      if (!sorted(a.rotation) || !sorted(a.scale) || !sorted(a.translation))
        return "animation set '" + set.name + "': key times of '" + a.frame + "' not increasing";
    }
  }
  return {};
}

std::string WriteXText(const XFileDesc& desc) {
  Out out;
  out.Line(0, "xof 0303txt 0032");
  out.Line(0, "");
  for (const XFrameDesc& frame : desc.frames) WriteFrame(out, 0, frame);
  if (desc.ticksPerSecond != 0) {
    out.Line(0, "AnimTicksPerSecond {");
    out.Line(1, std::to_string(desc.ticksPerSecond) + ";");
    out.Line(0, "}");
  }
  for (auto it = desc.sets.rbegin(); it != desc.sets.rend(); ++it) {
    out.Line(0, "AnimationSet " + it->name + " {");
    for (const XAnimationDesc& anim : it->animations) {
      out.Line(1, "Animation {");
      out.Line(2, "{ " + anim.frame + " }");
      WriteKeys(out, 2, 0, anim.rotation, 4, [](const Quaternion& q) {
        // The loader conjugates what it reads.
        return F(q.w) + "," + F(-q.x) + "," + F(-q.y) + "," + F(-q.z) + ";";
      });
      WriteKeys(out, 2, 1, anim.scale, 3,
                [](const Vec3& v) { return F(v.x) + "," + F(v.y) + "," + F(v.z) + ";"; });
      WriteKeys(out, 2, 2, anim.translation, 3,
                [](const Vec3& v) { return F(v.x) + "," + F(v.y) + "," + F(v.z) + ";"; });
      out.Line(1, "}");
    }
    out.Line(0, "}");
  }
  return std::move(out.Text());
}

bool SaveXFile(const std::string& path, const XFileDesc& desc, std::string* error) {
  if (std::string e = ValidateXFile(desc); !e.empty()) {
    if (error) *error = path + ": " + e;
    return false;
  }
  const std::string text = WriteXText(desc);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    if (error) *error = path + ": cannot open for writing";
    return false;
  }
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  if (!file) {
    if (error) *error = path + ": write failed";
    return false;
  }
  return true;
}

}  // namespace contentgen
