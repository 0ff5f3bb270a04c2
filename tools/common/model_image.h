// RGBA images for the model generator: PNG output through cairo and a small
// z-buffered software rasteriser used to look at the models offline.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/math.h"

namespace contentgen {

struct RgbaImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // R G B A, row-major
  RgbaImage() = default;
  RgbaImage(int w, int h, std::uint32_t fillRgb);
  std::uint8_t* At(int x, int y) { return &pixels[static_cast<std::size_t>((y * width + x) * 4)]; }
  const std::uint8_t* At(int x, int y) const {
    return &pixels[static_cast<std::size_t>((y * width + x) * 4)];
  }
};

// Writes an opaque PNG. Returns false with a message on failure.
bool SavePng(const std::string& path, const RgbaImage& image, std::string* error);

// A z-buffered view for previews. Positions are projected orthographically
// through `view` (camera space: x right, y up, z away from the viewer),
// `scale` pixels per unit around the image centre plus `offset` pixels.
class PreviewCanvas {
 public:
  PreviewCanvas(int width, int height, std::uint32_t backgroundRgb);
  void Draw(const std::vector<engine::Vec3>& positions, const std::vector<engine::Vec3>& normals,
            const std::vector<engine::Vec2>& uvs,
            const std::vector<std::array<std::uint32_t, 3>>& faces, const RgbaImage* texture,
            const engine::Matrix& view, float scale, engine::Vec2 offset);
  // Perspective view with the game's lighting (one directional light of
  // diffuse 0.5 travelling along lightDir): `skinned` parts show
  // texture x (0.5 + 0.5 N.L) as the game's emissive skinned drawing does,
  // others texture x diffuse x (0.7 + 0.5 N.L) like its static meshes.
  void DrawLit(const std::vector<engine::Vec3>& positions, const std::vector<engine::Vec3>& normals,
               const std::vector<engine::Vec2>& uvs,
               const std::vector<std::array<std::uint32_t, 3>>& faces, const RgbaImage* texture,
               const engine::Matrix& viewProj, const engine::Vec3& lightDir, bool skinned,
               float diffuse);
  // A flat circle behind everything drawn later (a stand-in for 2D art).
  void FillCircle(float cx, float cy, float radius, std::uint32_t rgb);
  const RgbaImage& Image() const { return image_; }

 private:
  // Screen positions (x, y in pixels, z depth), a brightness per vertex.
  void Raster(const std::vector<engine::Vec3>& screen, const std::vector<float>& shade,
              const std::vector<engine::Vec2>& uvs,
              const std::vector<std::array<std::uint32_t, 3>>& faces, const RgbaImage* texture);
  RgbaImage image_;
  std::vector<float> depth_;
};

}  // namespace contentgen
