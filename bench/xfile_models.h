// Generated .x models for the reader's benchmarks: a UV sphere with normals
// and texture coordinates, written in text (as "%f" numbers) or in binary.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace benchx {

struct Sphere {
  std::vector<float> positions, normals, uvs;
  std::vector<std::uint32_t> faces;  // triangles
};

inline Sphere MakeSphere(int stacks, int slices) {
  Sphere s;
  for (int i = 0; i <= stacks; ++i) {
    const float phi = 3.14159265f * static_cast<float>(i) / static_cast<float>(stacks);
    for (int j = 0; j <= slices; ++j) {
      const float theta = 6.2831853f * static_cast<float>(j) / static_cast<float>(slices);
      const float x = std::sin(phi) * std::cos(theta), y = std::cos(phi),
                  z = std::sin(phi) * std::sin(theta);
      s.positions.insert(s.positions.end(), {x, y, z});
      s.normals.insert(s.normals.end(), {x, y, z});
      s.uvs.insert(s.uvs.end(), {static_cast<float>(j) / static_cast<float>(slices),
                                 static_cast<float>(i) / static_cast<float>(stacks)});
    }
  }
  for (int i = 0; i < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      const auto a = static_cast<std::uint32_t>(i * (slices + 1) + j);
      const auto b = a + static_cast<std::uint32_t>(slices) + 1;
      s.faces.insert(s.faces.end(), {a, b, a + 1, a + 1, b, b + 1});
    }
  }
  return s;
}

inline std::string TextModel(const Sphere& s) {
  std::string out =
      "xof 0303txt 0032\nFrame Planet {\n FrameTransformMatrix { 1.000000,0,0,0,"
      "0,1.000000,0,0,0,0,1.000000,0,0,0,0,1.000000;; }\n Mesh Sphere {\n";
  char buf[128];
  const std::size_t nv = s.positions.size() / 3, nf = s.faces.size() / 3;
  auto vectors = [&](const std::vector<float>& v, int n, std::size_t count) {
    out += std::to_string(count) + ";\n";
    for (std::size_t i = 0; i < count; ++i) {
      if (n == 3) {
        std::snprintf(buf, sizeof buf, "%f;%f;%f;%s\n", v[3 * i], v[3 * i + 1], v[3 * i + 2],
                      i + 1 < count ? "," : ";");
      } else {
        std::snprintf(buf, sizeof buf, "%f;%f;%s\n", v[2 * i], v[2 * i + 1],
                      i + 1 < count ? "," : ";");
      }
      out += buf;
    }
  };
  auto faces = [&] {
    out += std::to_string(nf) + ";\n";
    for (std::size_t f = 0; f < nf; ++f) {
      std::snprintf(buf, sizeof buf, "3;%u,%u,%u;%s\n", s.faces[3 * f], s.faces[3 * f + 1],
                    s.faces[3 * f + 2], f + 1 < nf ? "," : ";");
      out += buf;
    }
  };
  vectors(s.positions, 3, nv);
  faces();
  out += "MeshNormals {\n";
  vectors(s.normals, 3, nv);
  faces();
  out += "}\nMeshTextureCoords {\n";
  vectors(s.uvs, 2, nv);
  out +=
      "}\nMeshMaterialList { 1; 1; 0;; Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; "
      "0.0;0.0;0.0;; TextureFilename { \"planet.png\"; } } }\n }\n}\n";
  return out;
}

inline void U16(std::string* o, std::uint16_t v) {
  o->append(reinterpret_cast<const char*>(&v), 2);
}
inline void U32(std::string* o, std::uint32_t v) {
  o->append(reinterpret_cast<const char*>(&v), 4);
}
inline void Name(std::string* o, const char* n) {
  U16(o, 1);
  U32(o, static_cast<std::uint32_t>(std::strlen(n)));
  o->append(n);
}
inline void Ints(std::string* o, const std::vector<std::uint32_t>& v) {
  U16(o, 6);
  U32(o, static_cast<std::uint32_t>(v.size()));
  o->append(reinterpret_cast<const char*>(v.data()), v.size() * 4);
}
inline void Floats(std::string* o, const std::vector<float>& v) {
  U16(o, 7);
  U32(o, static_cast<std::uint32_t>(v.size()));
  o->append(reinterpret_cast<const char*>(v.data()), v.size() * 4);
}

inline std::string BinaryModel(const Sphere& s) {
  std::string o = "xof 0303bin 0032";
  const auto nv = static_cast<std::uint32_t>(s.positions.size() / 3);
  const auto nf = static_cast<std::uint32_t>(s.faces.size() / 3);
  std::vector<std::uint32_t> faces;
  faces.push_back(nf);
  for (std::uint32_t f = 0; f < nf; ++f)
    faces.insert(faces.end(), {3u, s.faces[3 * f], s.faces[3 * f + 1], s.faces[3 * f + 2]});
  Name(&o, "Mesh");
  Name(&o, "Sphere");
  U16(&o, 0x0A);
  Ints(&o, {nv});
  Floats(&o, s.positions);
  Ints(&o, faces);
  Name(&o, "MeshNormals");
  U16(&o, 0x0A);
  Ints(&o, {nv});
  Floats(&o, s.normals);
  Ints(&o, faces);
  U16(&o, 0x0B);
  Name(&o, "MeshTextureCoords");
  U16(&o, 0x0A);
  Ints(&o, {nv});
  Floats(&o, s.uvs);
  U16(&o, 0x0B);
  U16(&o, 0x0B);
  return o;
}

}  // namespace benchx
