// Offline pictures of the models: each static model from three sides, each
// animated model in every animation set at several moments, so shapes,
// proportions and poses can be checked without the game.
#include <algorithm>
#include <cmath>

#include "models.h"

namespace models {

using contentgen::PreviewCanvas;
using contentgen::RgbaImage;
using platform::Vec2;
using platform::Vec3;

namespace {

constexpr int kCell = 256;

struct View {
  Vec3 eyeDir;  // from the target toward the eye
};
constexpr View kViews[] = {{{0.0f, 0.15f, -1.0f}}, {{-1.0f, 0.35f, -0.8f}}, {{1.0f, 0.1f, 0.0f}}};

void Blit(RgbaImage& dst, const RgbaImage& src, int ox, int oy) {
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) std::copy_n(src.At(x, y), 4, dst.At(ox + x, oy + y));
}

RgbaImage RenderCell(const Model& m, const std::vector<Vec3>& pos, const std::vector<Vec3>& nrm,
                     const RgbaImage* tex, const View& view, Vec3 centre, float extent) {
  PreviewCanvas canvas(kCell, kCell, 0xD8ECF8);
  std::vector<Vec2> uvs;
  for (const auto& v : m.mesh.Vertices()) uvs.push_back(v.uv);
  const Vec3 eye = centre + platform::Vec3Normalize(view.eyeDir) * (extent * 4);
  const platform::Matrix cam = platform::MatrixLookAtLH(eye, centre, {0, 1, 0});
  canvas.Draw(pos, nrm, uvs, m.mesh.Faces(), tex, cam, kCell * 0.85f / extent, {0, 0});
  // A ground line at y = 0 for scale.
  return canvas.Image();
}

}  // namespace

bool WritePreviews(const std::vector<Model>& models,
                   const std::map<std::string, RgbaImage>& textures, const std::string& dir,
                   std::string* error) {
  for (const Model& m : models) {
    const auto it = textures.find(m.texture);
    const RgbaImage* tex = it == textures.end() ? nullptr : &it->second;
    Vec3 lo, hi;
    m.mesh.Bounds(&lo, &hi);
    const Vec3 centre = (lo + hi) * 0.5f;
    const float extent =
        std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}) * (m.skeleton.Size() ? 1.25f : 1.0f);

    std::vector<Vec3> bindPos, bindNrm;
    for (const auto& v : m.mesh.Vertices()) {
      bindPos.push_back(v.pos);
      bindNrm.push_back(v.normal);
    }
    RgbaImage sheet;
    if (m.file.sets.empty()) {
      sheet = RgbaImage(kCell * 3, kCell, 0xFFFFFF);
      for (int v = 0; v < 3; ++v)
        Blit(sheet, RenderCell(m, bindPos, bindNrm, tex, kViews[v], centre, extent), v * kCell, 0);
    } else {
      constexpr int kSamples = 6;
      const int rows = static_cast<int>(m.file.sets.size());
      sheet = RgbaImage(kCell * kSamples, kCell * rows, 0xFFFFFF);
      for (int s = 0; s < rows; ++s) {
        const auto& set = m.file.sets[static_cast<std::size_t>(s)];
        std::uint32_t last = 0;
        for (const auto& a : set.animations)
          for (const auto& k : a.rotation) last = std::max(last, k.time);
        const double period = static_cast<double>(last) / m.file.ticksPerSecond;
        for (int k = 0; k < kSamples; ++k) {
          const double t = period * k / kSamples;
          const auto pose = contentgen::PoseSkeleton(m.skeleton, set, m.file.ticksPerSecond, t);
          std::vector<Vec3> pos, nrm;
          contentgen::SkinVertices(m.mesh, m.skeleton, pose, &pos, &nrm);
          Blit(sheet, RenderCell(m, pos, nrm, tex, kViews[k % 2 == 0 ? 1 : 0], centre, extent),
               k * kCell, s * kCell);
        }
      }
    }
    std::string name = m.path.substr(m.path.find('/') + 1);
    name = name.substr(0, name.find('.'));
    if (!contentgen::SavePng(dir + "/" + name + ".png", sheet, error)) return false;
  }
  return true;
}

}  // namespace models
