// Offline pictures of the models: each static model from three sides, each
// animated model in every animation set at several moments, so shapes,
// proportions and poses can be checked without the game.
#include <algorithm>
#include <cmath>

#include "media/paths.h"
#include "models.h"

namespace models {

using contentgen::PreviewCanvas;
using contentgen::RgbaImage;
using engine::Vec2;
using engine::Vec3;

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
  const Vec3 eye = centre + engine::Vec3Normalize(view.eyeDir) * (extent * 4);
  const engine::Matrix cam = engine::MatrixLookAtLH(eye, centre, {0, 1, 0});
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

namespace {

// A model's triangles placed in the world for the scene preview.
struct Placed {
  const Model* model;
  engine::Matrix world;
  int set = -1;  // animated: the set and time to pose it at
  double time = 0;
};

const Model* Find(const std::vector<Model>& models, const std::string& path) {
  for (const Model& m : models)
    if (m.path == path) return &m;
  return nullptr;
}

// The frame of an object standing at unit direction up with the given
// forward, its origin `lift` above the ground.
engine::Matrix StandingFrame(const Vec3& upDir, const Vec3& forward, float lift) {
  const Vec3 up = engine::Vec3Normalize(upDir);
  const Vec3 fwd = engine::Vec3Normalize(forward - up * engine::Vec3Dot(forward, up));
  const Vec3 right = engine::Vec3Cross(up, fwd);
  const Vec3 at = up * (PlanetGround(up) * 60.0f + lift);
  engine::Matrix m;
  m.m[0][0] = right.x, m.m[0][1] = right.y, m.m[0][2] = right.z;
  m.m[1][0] = up.x, m.m[1][1] = up.y, m.m[1][2] = up.z;
  m.m[2][0] = fwd.x, m.m[2][1] = fwd.y, m.m[2][2] = fwd.z;
  m.m[3][0] = at.x, m.m[3][1] = at.y, m.m[3][2] = at.z;
  return m;
}

RgbaImage Shot(const std::vector<Placed>& scene, const std::map<std::string, RgbaImage>& textures,
               const Vec3& playerUp, const Vec3& playerFwd) {
  PreviewCanvas canvas(800, 600, 0xA9DEFF);
  // The game's camera: 8 above the ground radius, 600 / R degrees of arc
  // behind the player, looking at the ground under it.
  const float r = 60.0f;
  const Vec3 up = engine::Vec3Normalize(playerUp);
  const Vec3 fwd = engine::Vec3Normalize(playerFwd - up * engine::Vec3Dot(playerFwd, up));
  const float back = (600.0f / r) * engine::kDegToRad;
  const Vec3 eyeDir = engine::Vec3Normalize(up * std::cos(back) - fwd * std::sin(back));
  const engine::Matrix view = engine::MatrixLookAtLH(eyeDir * (r + 8), up * r, eyeDir);
  const engine::Matrix proj = engine::MatrixPerspectiveFovLH(1.0471976f, 4.0f / 3, 1, 1000);
  const engine::Matrix viewProj = view * proj;
  const Vec3 light{0.2f, -0.5f, -0.5f};
  for (const Placed& p : scene) {
    const Model& m = *p.model;
    std::vector<Vec3> pos, nrm;
    if (p.set >= 0) {
      const auto pose = contentgen::PoseSkeleton(
          m.skeleton, m.file.sets[static_cast<std::size_t>(p.set)], m.file.ticksPerSecond, p.time);
      contentgen::SkinVertices(m.mesh, m.skeleton, pose, &pos, &nrm);
    } else {
      for (const auto& v : m.mesh.Vertices()) {
        pos.push_back(v.pos);
        nrm.push_back(v.normal);
      }
    }
    for (std::size_t i = 0; i < pos.size(); ++i) {
      pos[i] = engine::Vec3TransformCoord(pos[i], p.world);
      nrm[i] = engine::Vec3Normalize(engine::Vec3TransformNormal(nrm[i], p.world));
    }
    std::vector<Vec2> uvs;
    for (const auto& v : m.mesh.Vertices()) uvs.push_back(v.uv);
    const auto it = textures.find(m.texture);
    const float diffuse = m.file.frames.front().meshes.front().materials.front().r;
    canvas.DrawLit(pos, nrm, uvs, m.mesh.Faces(), it == textures.end() ? nullptr : &it->second,
                   viewProj, light, p.set >= 0, diffuse);
  }
  return canvas.Image();
}

}  // namespace

bool WriteScenePreview(const std::vector<Model>& models,
                       const std::map<std::string, RgbaImage>& textures, const std::string& path,
                       std::string* error) {
  const Model* planet = Find(models, content::model::kPlanet);
  const Model* tree = Find(models, content::model::kTree);
  const Model* stump = Find(models, content::model::kStump);
  const Model* flower = Find(models, content::model::kFlower);
  const Model* player = Find(models, "XFile/PlayerWhole.x");
  const Model* caterpillar = Find(models, content::model::kCaterpillar);
  const Model* fly = Find(models, content::model::kFly);
  const Model* butterfly = Find(models, content::model::kButterfly);
  const Model* beetle = Find(models, content::model::kBeetleBug);
  if (!planet || !tree || !stump || !flower || !player || !caterpillar || !fly || !butterfly ||
      !beetle) {
    if (error) *error = "scene preview: a model is missing";
    return false;
  }
  const auto placements = ObjectPlacements();
  struct Where {
    Vec3 up, fwd;
  };
  std::vector<Where> shots = {{{0, 1, 0}, {0, 0, 1}}};
  // A second shot a few steps in front of the first tree, looking at it.
  for (const Placement& p : placements) {
    if (p.kind != "Tree") continue;
    const engine::Matrix r = engine::MatrixRotationQuaternion(p.q);
    const Vec3 up = engine::Vec3TransformNormal({0, 1, 0}, r);
    const Vec3 fwd = engine::Vec3TransformNormal({0, 0, 1}, r);
    shots.push_back({engine::Vec3Normalize(up - fwd * (9.0f / 60)), fwd});
    break;
  }
  RgbaImage sheet(800 * static_cast<int>(shots.size()), 600, 0xFFFFFF);
  for (std::size_t s = 0; s < shots.size(); ++s) {
    const Where& w = shots[s];
    std::vector<Placed> scene;
    scene.push_back({planet, engine::MatrixScaling(60, 60, 60)});
    for (const Placement& p : placements) {
      const engine::Matrix r = engine::MatrixRotationQuaternion(p.q);
      const Vec3 up = engine::Vec3TransformNormal({0, 1, 0}, r);
      if (engine::Vec3Dot(up, w.up) < std::cos(80.0f * engine::kDegToRad)) continue;
      const Vec3 fwd = engine::Vec3TransformNormal({0, 0, 1}, r);
      const engine::Matrix frame = StandingFrame(up, fwd, 0);
      if (p.kind == "Tree") {
        scene.push_back({tree, engine::MatrixScaling(p.scale, p.scale, p.scale) * frame});
        // Its beetle: 0.8 behind, 1.5 up, tilted against the trunk.
        const engine::Matrix b = StandingFrame(up - fwd * (0.8f / 60), fwd, 1.5f);
        scene.push_back({beetle, engine::MatrixScaling(0.2f, 0.2f, 0.2f) *
                                     engine::MatrixRotationX(-1.5707964f) * b});
      } else if (p.kind == "Stump") {
        scene.push_back({stump, engine::MatrixScaling(p.scale, p.scale, p.scale) * frame});
        scene.push_back(
            {fly, engine::MatrixScaling(0.4f, 0.4f, 0.4f) * StandingFrame(up, fwd, 1.5f), 0, 0.1});
      } else {
        scene.push_back({flower, frame, 0, 0.4});
        scene.push_back({butterfly, StandingFrame(up, fwd, 1.4f), 1, 0.3});
      }
    }
    const float size = 0.5f;
    const engine::Matrix body = engine::MatrixScaling(size, size, size) *
                                engine::MatrixRotationY(engine::kPi) *
                                StandingFrame(w.up, w.fwd, 1.5f * size);
    scene.push_back({player, body, 0, 0.1});
    // A caterpillar ahead and to the right, a fly hovering to the left.
    const Vec3 right = engine::Vec3Cross(w.up, w.fwd);
    const Vec3 catUp = engine::Vec3Normalize(w.up + (w.fwd * 4.0f + right * 2.0f) * (1.0f / 60));
    scene.push_back({caterpillar,
                     engine::MatrixScaling(1.5f, 1.5f, 1.5f) * engine::MatrixRotationY(-2.0f) *
                         StandingFrame(catUp, w.fwd, 0.2f),
                     0, 0.6});
    const Vec3 flyUp = engine::Vec3Normalize(w.up + (w.fwd * 3.0f - right * 3.0f) * (1.0f / 60));
    scene.push_back({fly,
                     engine::MatrixScaling(0.4f, 0.4f, 0.4f) * engine::MatrixRotationY(2.2f) *
                         StandingFrame(flyUp, w.fwd, 1.5f),
                     0, 0.05});
    Blit(sheet, Shot(scene, textures, w.up, w.fwd), static_cast<int>(s) * 800, 0);
  }
  return contentgen::SavePng(path, sheet, error);
}

bool WriteTitlePreview(const std::vector<Model>& models,
                       const std::map<std::string, RgbaImage>& textures, const std::string& path,
                       std::string* error) {
  const Model* player = Find(models, "XFile/PlayerWhole.x");
  const Model* caterpillar = Find(models, content::model::kCaterpillar);
  if (!player || !caterpillar) {
    if (error) *error = "title preview: a model is missing";
    return false;
  }
  const engine::Matrix view = engine::MatrixLookAtLH({0, 0, -7}, {0, 0, 0}, {0, 1, 0});
  const engine::Matrix proj = engine::MatrixPerspectiveFovLH(1.0471976f, 4.0f / 3, 1, 1000);
  // Moments: the bite starts with the caterpillar at the top of its circle,
  // and catches it 13/59 s later (0.1 degree per update).
  const double biteTimes[] = {0.0, 8.0 / 59, 13.0 / 59};
  const float angles[] = {0.0f, 0.8f, 1.3f};
  RgbaImage sheet(800 * 3, 600, 0xFFFFFF);
  for (int k = 0; k < 3; ++k) {
    PreviewCanvas canvas(800, 600, 0xFFE3B8);
    canvas.FillCircle(400, 967, 534, 0x7CCB5B);
    const float s = kTitlePlayer[3];
    const engine::Matrix pw =
        engine::MatrixScaling(s, s, s) * engine::MatrixRotationY(-1.5707964f) *
        engine::MatrixTranslation(kTitlePlayer[0], kTitlePlayer[1], kTitlePlayer[2]);
    const float a = angles[k] * engine::kDegToRad;
    const engine::Matrix cw =
        engine::MatrixScaling(0.6f, 0.6f, 0.6f) * engine::MatrixRotationY(1.5707964f) *
        engine::MatrixTranslation(kTitleEnemy[0] - kTitleEnemy[3] * std::sin(a),
                                  kTitleEnemy[1] + kTitleEnemy[3] * std::cos(a), 0);
    const struct {
      const Model* m;
      engine::Matrix world;
      int set;
      double t;
    } items[] = {{player, pw, 3, biteTimes[k]}, {caterpillar, cw, 0, 0.3}};
    for (const auto& it : items) {
      const auto pose = contentgen::PoseSkeleton(it.m->skeleton,
                                                 it.m->file.sets[static_cast<std::size_t>(it.set)],
                                                 it.m->file.ticksPerSecond, it.t);
      std::vector<Vec3> pos, nrm;
      contentgen::SkinVertices(it.m->mesh, it.m->skeleton, pose, &pos, &nrm);
      for (std::size_t i = 0; i < pos.size(); ++i) {
        pos[i] = engine::Vec3TransformCoord(pos[i], it.world);
        nrm[i] = engine::Vec3Normalize(engine::Vec3TransformNormal(nrm[i], it.world));
      }
      std::vector<Vec2> uvs;
      for (const auto& v : it.m->mesh.Vertices()) uvs.push_back(v.uv);
      canvas.DrawLit(pos, nrm, uvs, it.m->mesh.Faces(), &textures.at(it.m->texture), view * proj,
                     {0.2f, -0.5f, -0.5f}, true, 1.0f);
    }
    Blit(sheet, canvas.Image(), k * 800, 0);
  }
  return contentgen::SavePng(path, sheet, error);
}

}  // namespace models
