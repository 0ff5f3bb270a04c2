#include "common/model_image.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/png_writer.h"

namespace contentgen {

using engine::Vec2;
using engine::Vec3;

RgbaImage::RgbaImage(int w, int h, std::uint32_t fillRgb) : width(w), height(h) {
  pixels.resize(static_cast<std::size_t>(w * h * 4));
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = static_cast<std::uint8_t>(fillRgb >> 16);
    pixels[i + 1] = static_cast<std::uint8_t>(fillRgb >> 8);
    pixels[i + 2] = static_cast<std::uint8_t>(fillRgb);
    pixels[i + 3] = 255;
  }
}

bool SavePng(const std::string& path, const RgbaImage& image, std::string* error) {
  // Opaque: written as RGB.
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(image.width) * image.height * 3);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* p = image.At(x, y);
      std::copy_n(p, 3, &rgb[(static_cast<std::size_t>(y) * image.width + x) * 3]);
    }
  }
  return WritePngFile(path, image.width, image.height, rgb.data(),
                      static_cast<std::size_t>(image.width) * 3, false, error);
}

PreviewCanvas::PreviewCanvas(int width, int height, std::uint32_t backgroundRgb)
    : image_(width, height, backgroundRgb),
      depth_(static_cast<std::size_t>(width * height), 1e30f) {}

void PreviewCanvas::Draw(const std::vector<Vec3>& positions, const std::vector<Vec3>& normals,
                         const std::vector<Vec2>& uvs,
                         const std::vector<std::array<std::uint32_t, 3>>& faces,
                         const RgbaImage* texture, const engine::Matrix& view, float scale,
                         Vec2 offset) {
  const float cx = static_cast<float>(image_.width) / 2 + offset.x;
  const float cy = static_cast<float>(image_.height) / 2 + offset.y;
  std::vector<Vec3> screen(positions.size());
  std::vector<float> shade(positions.size());
  const Vec3 light = engine::Vec3Normalize({-0.4f, 0.6f, -0.7f});
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const Vec3 p = engine::Vec3TransformCoord(positions[i], view);
    screen[i] = {cx + p.x * scale, cy - p.y * scale, p.z};
    const Vec3 n = engine::Vec3Normalize(engine::Vec3TransformNormal(normals[i], view));
    // Facing away from the viewer means the back of a surface: darken.
    const float facing = n.z < 0 ? 1.0f : 0.45f;
    shade[i] = std::min(1.0f, 0.62f + 0.45f * std::max(0.0f, engine::Vec3Dot(n, -light))) * facing;
  }
  Raster(screen, shade, uvs, faces, texture);
}

void PreviewCanvas::DrawLit(const std::vector<Vec3>& positions, const std::vector<Vec3>& normals,
                            const std::vector<Vec2>& uvs,
                            const std::vector<std::array<std::uint32_t, 3>>& faces,
                            const RgbaImage* texture, const engine::Matrix& viewProj,
                            const Vec3& lightDir, bool skinned, float diffuse) {
  const Vec3 toLight = -engine::Vec3Normalize(lightDir);
  std::vector<Vec3> screen(positions.size());
  std::vector<float> shade(positions.size());
  const float w = static_cast<float>(image_.width), h = static_cast<float>(image_.height);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const engine::Vec4 c = engine::Vec3Transform(positions[i], viewProj);
    if (c.w < 0.5f) {
      screen[i] = {0, 0, -1};  // behind the eye: faces using it are skipped
    } else {
      screen[i] = {(c.x / c.w + 1) * 0.5f * w, (1 - c.y / c.w) * 0.5f * h, c.z / c.w};
    }
    const float nl = std::max(0.0f, engine::Vec3Dot(engine::Vec3Normalize(normals[i]), toLight));
    shade[i] = skinned ? std::min(1.0f, 0.5f + 0.5f * diffuse * nl)
                       : std::min(1.0f, diffuse * (0.696f + 0.5f * nl));
  }
  std::vector<std::array<std::uint32_t, 3>> visible;
  for (const auto& f : faces)
    if (screen[f[0]].z >= 0 && screen[f[1]].z >= 0 && screen[f[2]].z >= 0) visible.push_back(f);
  Raster(screen, shade, uvs, visible, texture);
}

void PreviewCanvas::FillCircle(float cx, float cy, float radius, std::uint32_t rgb) {
  for (int y = 0; y < image_.height; ++y)
    for (int x = 0; x < image_.width; ++x) {
      const float dx = static_cast<float>(x) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
      if (dx * dx + dy * dy > radius * radius) continue;
      std::uint8_t* o = image_.At(x, y);
      o[0] = static_cast<std::uint8_t>(rgb >> 16);
      o[1] = static_cast<std::uint8_t>(rgb >> 8);
      o[2] = static_cast<std::uint8_t>(rgb);
    }
}

void PreviewCanvas::Raster(const std::vector<Vec3>& screen, const std::vector<float>& shade,
                           const std::vector<Vec2>& uvs,
                           const std::vector<std::array<std::uint32_t, 3>>& faces,
                           const RgbaImage* texture) {
  for (const auto& f : faces) {
    const Vec3 &a = screen[f[0]], &b = screen[f[1]], &c = screen[f[2]];
    const float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (std::fabs(area) < 1e-9f) continue;
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min({a.x, b.x, c.x}))));
    const int x1 =
        std::min(image_.width - 1, static_cast<int>(std::ceil(std::max({a.x, b.x, c.x}))));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min({a.y, b.y, c.y}))));
    const int y1 =
        std::min(image_.height - 1, static_cast<int>(std::ceil(std::max({a.y, b.y, c.y}))));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
        const float w0 = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) / area;
        const float w1 = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) / area;
        const float w2 = 1 - w0 - w1;
        if (w0 < 0 || w1 < 0 || w2 < 0) continue;
        const float z = a.z * w0 + b.z * w1 + c.z * w2;
        float& d = depth_[static_cast<std::size_t>(y * image_.width + x)];
        if (z >= d) continue;
        d = z;
        const float s = shade[f[0]] * w0 + shade[f[1]] * w1 + shade[f[2]] * w2;
        float r = 200, g = 200, bl = 200;
        if (texture && !uvs.empty()) {
          const Vec2 uv{uvs[f[0]].x * w0 + uvs[f[1]].x * w1 + uvs[f[2]].x * w2,
                        uvs[f[0]].y * w0 + uvs[f[1]].y * w1 + uvs[f[2]].y * w2};
          const int tx = std::clamp(static_cast<int>(uv.x * static_cast<float>(texture->width)), 0,
                                    texture->width - 1);
          const int ty = std::clamp(static_cast<int>(uv.y * static_cast<float>(texture->height)), 0,
                                    texture->height - 1);
          const std::uint8_t* t = texture->At(tx, ty);
          r = t[0];
          g = t[1];
          bl = t[2];
        }
        std::uint8_t* o = image_.At(x, y);
        o[0] = static_cast<std::uint8_t>(std::min(255.0f, r * s));
        o[1] = static_cast<std::uint8_t>(std::min(255.0f, g * s));
        o[2] = static_cast<std::uint8_t>(std::min(255.0f, bl * s));
      }
    }
  }
}

}  // namespace contentgen
