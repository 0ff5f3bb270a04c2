// The insects (caterpillar, butterfly, beetle at rest and in flight, fly) and
// the swaying flower. Insects face +Z; every animated one is skinned so the
// game lights it like the creature.
#include <cmath>

#include "media/paths.h"
#include "models.h"

namespace models {

using contentgen::BonePose;
using contentgen::ClipBuilder;
using contentgen::ModelMesh;
using contentgen::Paint;
using contentgen::RotX;
using contentgen::RotXYZ;
using contentgen::RotY;
using contentgen::RotZ;
using contentgen::Skeleton;
using contentgen::Skin;
using contentgen::Swatch;
using engine::Matrix;
using engine::Vec3;

namespace {

// Insects that keep their clocks in sixtieths of a second.
constexpr std::uint32_t kTicks60 = 4800;
constexpr std::uint32_t T60(double seconds) {
  return static_cast<std::uint32_t>(seconds * kTicks60 + 0.5);
}

using Pose = std::map<std::string, BonePose>;
BonePose R(float x, float y = 0, float z = 0) { return {RotXYZ(x, y, z), {}, {1, 1, 1}}; }
BonePose Move(float x, float y, float z) { return {{}, {x, y, z}, {1, 1, 1}}; }
BonePose RM(float rx, float ry, float rz, const Vec3& m) {
  return {RotXYZ(rx, ry, rz), m, {1, 1, 1}};
}

Matrix Place(const Vec3& p, float rx = 0, float ry = 0, float rz = 0) {
  return engine::MatrixRotationX(rx) * engine::MatrixRotationY(ry) * engine::MatrixRotationZ(rz) *
         engine::MatrixTranslation(p.x, p.y, p.z);
}

Model Animated(const char* path, ModelMesh mesh, const Skeleton& skeleton, std::uint32_t tps,
               std::vector<contentgen::XAnimationSetDesc> sets) {
  Model m;
  m.path = path;
  m.file.frames.push_back(
      skeleton.Frames(mesh.ToXMesh("Skin", skeleton.Names(), skeleton.Offsets())));
  m.file.ticksPerSecond = tps;
  m.file.sets = std::move(sets);
  m.mesh = std::move(mesh);
  m.skeleton = skeleton;
  m.texture = contentgen::kPaletteTexture;
  return m;
}

// Friendly eyes: white, pupil, shine; facing `dir` (yaw about Y, 0 = +Z).
void AddEye(ModelMesh& m, const Vec3& at, float size, float yaw, int mat, const Skin& skin) {
  const Vec3 fwd{std::sin(yaw), 0, std::cos(yaw)};
  m.AddEllipsoid({size, size * 1.15f, size * 0.7f}, Place(at, 0, yaw), 12, 8,
                 Paint{Swatch::kEyeWhite, false}, mat, skin);
  const Vec3 p = at + fwd * (size * 0.45f);
  m.AddEllipsoid({size * 0.6f, size * 0.75f, size * 0.4f}, Place(p, 0, yaw), 10, 8,
                 Paint{Swatch::kPupil, false}, mat, skin);
  const Vec3 s = p + fwd * (size * 0.3f) + Vec3{0, size * 0.3f, 0};
  m.AddEllipsoid({size * 0.2f, size * 0.2f, size * 0.15f}, Place(s), 6, 5,
                 Paint{Swatch::kShine, false}, mat, skin);
}

}  // namespace

Model MakeCaterpillar() {
  // Five body beads and a head, each a bone under the root. Ground is 0.2
  // below the origin.
  Skeleton s;
  const int root = s.Add("Root", -1, {0, 0, 0});
  constexpr int kSegs = 5;
  const float spacing = 0.32f;
  int seg[kSegs];
  for (int i = 0; i < kSegs; ++i)
    seg[i] = s.Add("Seg" + std::to_string(i), root,
                   {0, 0.04f, -0.82f + spacing * static_cast<float>(i)});
  const int head = s.Add("Head", root, {0, 0.2f, 0.78f});

  ModelMesh m;
  const int mat = m.AddMaterial(contentgen::PaletteMaterial());
  for (int i = 0; i < kSegs; ++i) {
    const Vec3 c = s.BindPos(seg[i]);
    const float r = 0.24f - 0.02f * std::fabs(static_cast<float>(i) - 3.0f) * 0.5f;
    const Skin sk = Skin::Rigid(seg[i]);
    m.AddEllipsoid({r * 1.05f, r, r}, Place(c), 16, 10,
                   Paint{i % 2 == 0 ? Swatch::kLime : Swatch::kMint, true}, mat, sk);
    // A pair of stubby feet and a dot on the back.
    for (float x : {0.13f, -0.13f})
      m.AddEllipsoid({0.06f, 0.06f, 0.07f}, Place({c.x + x, -0.16f, c.z}), 6, 5,
                     Paint{Swatch::kLeafDark, false}, mat, sk);
    m.AddEllipsoid({0.07f, 0.03f, 0.07f}, Place({c.x, c.y + r * 0.97f, c.z}), 8, 5,
                   Paint{Swatch::kSun, false}, mat, sk);
  }
  const Skin hs = Skin::Rigid(head);
  const Vec3 hc = s.BindPos(head);
  m.AddEllipsoid({0.32f, 0.3f, 0.3f}, Place(hc), 18, 12, Paint{Swatch::kLime, true}, mat, hs);
  for (float x : {0.12f, -0.12f}) {
    AddEye(m, hc + Vec3{x, 0.07f, 0.22f}, 0.085f, x > 0 ? 0.3f : -0.3f, mat, hs);
    m.AddEllipsoid({0.07f, 0.04f, 0.03f}, Place(hc + Vec3{x * 1.9f, -0.08f, 0.2f}, 0, x * 4), 8, 5,
                   Paint{Swatch::kCheek, false}, mat, hs);
    // Antennae with round tips.
    m.AddTube({hc + Vec3{x * 0.8f, 0.24f, 0.05f}, hc + Vec3{x * 1.4f, 0.42f, 0.1f},
               hc + Vec3{x * 1.8f, 0.52f, 0.02f}},
              {0.025f, 0.022f, 0.02f}, 6, Paint{Swatch::kLeafDark, false}, mat, hs);
    m.AddEllipsoid({0.06f, 0.06f, 0.06f}, Place(hc + Vec3{x * 1.85f, 0.54f, 0.02f}), 8, 6,
                   Paint{Swatch::kCoral, false}, mat, hs);
  }
  // A little smile.
  m.AddTube({hc + Vec3{0.08f, -0.1f, 0.27f}, hc + Vec3{0, -0.13f, 0.29f},
             hc + Vec3{-0.08f, -0.1f, 0.27f}},
            {0.015f, 0.015f, 0.015f}, 6, Paint{Swatch::kInk, false}, mat, hs);

  // Crawl, 59/60 s: the tail draws up under a hump while the game holds the
  // caterpillar still (first half), then the body stretches out again while
  // the game moves it forward (second half), so the tail stays planted.
  const float reach = 0.95f;  // the game's forward step over the second half
  const auto pose = [&](float c) {
    Pose p;
    for (int i = 0; i < kSegs; ++i) {
      const float f = 1.0f - static_cast<float>(i) / kSegs;  // 1 at the tail
      const float hump = std::sin(engine::kPi * (static_cast<float>(i) + 0.5f) / kSegs);
      p["Seg" + std::to_string(i)] =
          RM(-0.5f * c * std::cos(engine::kPi * static_cast<float>(i) / (kSegs - 1)), 0, 0,
             {0, 0.42f * c * hump, reach * c * f});
    }
    p["Head"] = R(0.12f * c);
    return p;
  };
  ClipBuilder crawl(s, "Crawl");
  crawl.Key(0, pose(0));
  crawl.Key(T60(0.25), pose(0.6f));
  crawl.Key(T60(0.5), pose(1.0f));
  crawl.Key(T60(0.5 + 0.4833333 / 2), pose(0.5f));
  crawl.Key(4720, pose(0));  // 59/60 s
  return Animated(content::model::kCaterpillar, std::move(m), s, kTicks60, {crawl.Build()});
}

Model MakeButterfly() {
  Skeleton s;
  const int root = s.Add("Root", -1, {0, 0, 0});
  const int body = s.Add("Body", root, {0, 0.05f, 0});
  const int wingL = s.Add("WingL", body, {0.08f, 0.03f, 0.05f});
  const int wingR = s.Add("WingR", body, {-0.08f, 0.03f, 0.05f});

  ModelMesh m;
  const int mat = m.AddMaterial(contentgen::PaletteMaterial());
  const Skin bs = Skin::Rigid(body);
  const Vec3 b0 = s.BindPos(body);
  m.AddEllipsoid({0.1f, 0.1f, 0.42f}, Place(b0 + Vec3{0, 0, -0.05f}), 12, 10,
                 Paint{Swatch::kLilac, false}, mat, bs);
  const Vec3 hc = b0 + Vec3{0, 0.04f, 0.42f};
  m.AddEllipsoid({0.15f, 0.14f, 0.14f}, Place(hc), 12, 10, Paint{Swatch::kLilac, false}, mat, bs);
  for (float x : {0.07f, -0.07f}) {
    AddEye(m, hc + Vec3{x, 0.03f, 0.1f}, 0.05f, x > 0 ? 0.4f : -0.4f, mat, bs);
    m.AddTube({hc + Vec3{x * 0.6f, 0.1f, 0.05f}, hc + Vec3{x * 2.0f, 0.32f, 0.22f},
               hc + Vec3{x * 3.2f, 0.4f, 0.32f}},
              {0.015f, 0.013f, 0.012f}, 5, Paint{Swatch::kInk, false}, mat, bs);
    m.AddEllipsoid({0.045f, 0.045f, 0.045f}, Place(hc + Vec3{x * 3.3f, 0.41f, 0.33f}), 6, 5,
                   Paint{Swatch::kInk, false}, mat, bs);
  }
  // Wings: a big forewing and a round hindwing each side, thin and flat,
  // with a yellow spot.
  for (int side = 0; side < 2; ++side) {
    const float sx = side == 0 ? 1.0f : -1.0f;
    const Vec3 pivot = s.BindPos(side == 0 ? wingL : wingR);
    const Skin ws = Skin::Rigid(side == 0 ? wingL : wingR);
    m.AddEllipsoid({0.55f, 0.025f, 0.4f}, Place(pivot + Vec3{0.52f * sx, 0, 0.22f}, 0, 0.5f * sx),
                   16, 6, Paint{Swatch::kWingPink, false}, mat, ws);
    m.AddEllipsoid({0.42f, 0.022f, 0.33f},
                   Place(pivot + Vec3{0.38f * sx, -0.01f, -0.3f}, 0, -0.6f * sx), 16, 6,
                   Paint{Swatch::kPink, false}, mat, ws);
    m.AddEllipsoid({0.16f, 0.03f, 0.13f}, Place(pivot + Vec3{0.66f * sx, 0.005f, 0.3f}), 10, 5,
                   Paint{Swatch::kSun, false}, mat, ws);
    m.AddEllipsoid({0.1f, 0.028f, 0.09f}, Place(pivot + Vec3{0.42f * sx, 0.003f, -0.36f}), 8, 5,
                   Paint{Swatch::kCream, false}, mat, ws);
  }
  // 0: fast flight, 1: resting with slow wing beats.
  ClipBuilder fly(s, "Flight");
  for (int k = 0; k <= 4; ++k) {
    const float a = std::cos(static_cast<float>(k) * engine::kPi / 2);
    const float up = 0.15f + 0.95f * a;
    fly.Key(T60(0.05 * k), {{"Body", RM(-0.15f, 0, 0, {0, 0.06f * -a, 0})},
                            {"WingL", R(0, 0, up)},
                            {"WingR", R(0, 0, -up)}});
  }
  ClipBuilder rest(s, "Rest");
  const double restKeys[] = {0, 0.6, 1.0, 1.6, 2.0};
  const float restUp[] = {0.35f, 1.2f, 1.2f, 0.35f, 0.35f};
  for (int k = 0; k < 5; ++k)
    rest.Key(T60(restKeys[k]), {{"WingL", R(0, 0, restUp[k])}, {"WingR", R(0, 0, -restUp[k])}});
  return Animated(content::model::kButterfly, std::move(m), s, kTicks60,
                  {fly.Build(), rest.Build()});
}

Model MakeBeetle(bool flying) {
  // About 3.2 long; the belly is 0.9 below the origin (it rests against a
  // trunk when the game tilts it).
  Skeleton s;
  const int root = s.Add("Root", -1, {0, 0, 0});
  const int shellL = s.Add("ShellL", root, {0.1f, 0.55f, 0.75f});
  const int shellR = s.Add("ShellR", root, {-0.1f, 0.55f, 0.75f});
  const int wingL = s.Add("WingL", root, {0.2f, 0.5f, 0.6f});
  const int wingR = s.Add("WingR", root, {-0.2f, 0.5f, 0.6f});

  ModelMesh m;
  const int mat = m.AddMaterial(contentgen::PaletteMaterial(flying ? 1.0f : 0.85f));
  const Skin rs = Skin::Rigid(root);
  // Under-body, head with a horn, eyes, legs.
  m.AddEllipsoid({1.0f, 0.5f, 1.25f}, Place({0, -0.3f, -0.1f}), 18, 10,
                 Paint{Swatch::kBeetleDark, false}, mat, rs);
  m.AddEllipsoid({0.62f, 0.5f, 0.55f}, Place({0, -0.1f, 1.25f}), 16, 10,
                 Paint{Swatch::kBeetleDark, false}, mat, rs);
  m.AddTube({{0, 0.1f, 1.55f}, {0, 0.45f, 1.95f}, {0, 0.95f, 2.05f}, {0, 1.2f, 1.9f}},
            {0.2f, 0.16f, 0.12f, 0.08f}, 10, Paint{Swatch::kBeetleShell, false}, mat, rs);
  m.AddEllipsoid({0.14f, 0.12f, 0.14f}, Place({0, 1.27f, 1.86f}), 8, 6,
                 Paint{Swatch::kBeetleShell, false}, mat, rs);
  for (float x : {0.32f, -0.32f}) {
    AddEye(m, {x, 0.12f, 1.68f}, 0.2f, x > 0 ? 0.45f : -0.45f, mat, rs);
    for (int leg = 0; leg < 3; ++leg) {
      const float z = 0.7f - 0.75f * static_cast<float>(leg);
      const float sx = x > 0 ? 1.0f : -1.0f;
      m.AddTube({{0.55f * sx, -0.45f, z},
                 {1.2f * sx, -0.55f, z + 0.1f},
                 {1.45f * sx, -0.88f, z + 0.05f * static_cast<float>(1 - leg)}},
                {0.09f, 0.08f, 0.07f}, 8, Paint{Swatch::kBeetleDark, false}, mat, rs);
    }
  }
  // The shell: two domed halves meeting along a dark seam.
  for (int side = 0; side < 2; ++side) {
    const float sx = side == 0 ? 1.0f : -1.0f;
    const Skin ss = Skin::Rigid(side == 0 ? shellL : shellR);
    m.AddEllipsoid({0.62f, 0.62f, 1.35f}, Place({0.5f * sx, 0.02f, -0.2f}, 0, 0, -0.15f * sx), 16,
                   12, Paint{Swatch::kBeetleShell, true}, mat, ss);
    m.AddEllipsoid({0.12f, 0.06f, 0.25f}, Place({0.6f * sx, 0.63f, 0.3f}, 0, 0, -0.3f * sx), 8, 5,
                   Paint{Swatch::kShine, false}, mat, ss);
  }
  if (flying) {
    for (int side = 0; side < 2; ++side) {
      const float sx = side == 0 ? 1.0f : -1.0f;
      const Skin ws = Skin::Rigid(side == 0 ? wingL : wingR);
      m.AddEllipsoid({1.1f, 0.03f, 0.5f}, Place({1.2f * sx, 0.5f, 0.1f}, 0, 0.5f * sx), 16, 5,
                     Paint{Swatch::kWingClear, true}, mat, ws);
    }
  }
  if (!flying) {
    Model out;
    out.path = content::model::kBeetleBug;
    contentgen::XFrameDesc frame;
    frame.name = "Beetle";
    frame.meshes.push_back(m.ToXMesh(""));
    out.file.frames.push_back(std::move(frame));
    out.mesh = std::move(m);
    out.texture = contentgen::kPaletteTexture;
    return out;
  }
  // Flight, 40/59 s: four wing beats with the shell halves held open.
  ClipBuilder c(s, "Flight");
  for (int k = 0; k <= 8; ++k) {
    const float up = k % 2 == 0 ? 0.8f : -0.5f;
    const float bob = k % 2 == 0 ? 0.0f : 0.08f;
    c.Key(F59(static_cast<std::uint32_t>(k) * 5), {{"Root", RM(-0.25f, 0, 0, {0, bob, 0})},
                                                   {"ShellL", R(0, -0.15f, 0.9f)},
                                                   {"ShellR", R(0, 0.15f, -0.9f)},
                                                   {"WingL", R(0, 0, up)},
                                                   {"WingR", R(0, 0, -up)}});
  }
  return Animated(content::model::kBeetleBugFly, std::move(m), s, kTicksPerSecond, {c.Build()});
}

Model MakeFly() {
  // About 1.6 long, with big coral eyes and two buzzing wings.
  Skeleton s;
  const int root = s.Add("Root", -1, {0, 0, 0});
  const int wingL = s.Add("WingL", root, {0.15f, 0.28f, 0.05f});
  const int wingR = s.Add("WingR", root, {-0.15f, 0.28f, 0.05f});
  ModelMesh m;
  const int mat = m.AddMaterial(contentgen::PaletteMaterial());
  const Skin rs = Skin::Rigid(root);
  m.AddEllipsoid({0.36f, 0.32f, 0.48f}, Place({0, 0, -0.2f}), 16, 10, Paint{Swatch::kFlyBody, true},
                 mat, rs);
  m.AddEllipsoid({0.3f, 0.28f, 0.26f}, Place({0, 0.06f, 0.38f}), 14, 10,
                 Paint{Swatch::kFlyBody, true}, mat, rs);
  // Stripes on the back.
  for (int i = 0; i < 2; ++i)
    m.AddEllipsoid({0.34f, 0.06f, 0.06f},
                   Place({0, 0.22f, -0.3f - 0.2f * static_cast<float>(i)}, 0.5f), 12, 5,
                   Paint{Swatch::kSun, false}, mat, rs);
  for (float x : {0.2f, -0.2f}) {
    const float sx = x > 0 ? 1.0f : -1.0f;
    m.AddEllipsoid({0.2f, 0.24f, 0.2f}, Place({x, 0.12f, 0.5f}), 12, 8,
                   Paint{Swatch::kFlyEye, true}, mat, rs);
    m.AddEllipsoid({0.06f, 0.06f, 0.04f}, Place({x * 1.1f, 0.22f, 0.68f}), 6, 5,
                   Paint{Swatch::kShine, false}, mat, rs);
    for (int leg = 0; leg < 3; ++leg) {
      const float z = 0.25f - 0.3f * static_cast<float>(leg);
      m.AddTube({{0.2f * sx, -0.2f, z}, {0.45f * sx, -0.3f, z}, {0.5f * sx, -0.55f, z - 0.05f}},
                {0.04f, 0.035f, 0.03f}, 6, Paint{Swatch::kInk, false}, mat, rs);
    }
    const Skin ws = Skin::Rigid(x > 0 ? wingL : wingR);
    m.AddEllipsoid({0.45f, 0.02f, 0.22f}, Place({0.55f * sx, 0.3f, -0.3f}, 0, 0.6f * sx), 14, 5,
                   Paint{Swatch::kWingClear, true}, mat, ws);
  }
  // Buzz: six quick beats and a gentle bob over 0.6 s.
  ClipBuilder c(s, "Buzz");
  for (int k = 0; k <= 12; ++k) {
    const float up = k % 2 == 0 ? 0.55f : -0.35f;
    const float bob = 0.08f * std::sin(static_cast<float>(k) * engine::kPi / 6);
    c.Key(T60(0.05 * k),
          {{"Root", Move(0, bob, 0)}, {"WingL", R(0, 0, up)}, {"WingR", R(0, 0, -up)}});
  }
  return Animated(content::model::kFly, std::move(m), s, kTicks60, {c.Build()});
}

Model MakeFlower() {
  // About 1.35 tall from the ground (the origin); the stem bends in two
  // places and the head nods.
  Skeleton s;
  const int root = s.Add("Root", -1, {0, 0, 0});
  const int stem1 = s.Add("Stem1", root, {0, 0.45f, 0});
  const int stem2 = s.Add("Stem2", stem1, {0, 0.45f, 0});
  const int head = s.Add("Head", stem2, {0, 0.35f, 0});
  ModelMesh m;
  const int mat = m.AddMaterial(contentgen::PaletteMaterial());
  const std::size_t stem = m.AddTube(
      {{0, 0.07f, 0}, {0, 0.45f, 0}, {0.02f, 0.9f, 0}, {0, 1.25f, 0}},
      {0.07f, 0.06f, 0.055f, 0.05f}, 8, Paint{Swatch::kStem, true}, mat, Skin::Rigid(root));
  m.SetSkin(stem, [&](const Vec3& p) {
    if (p.y < 0.45f) return Skin::Blend(root, stem1, p.y / 0.45f);
    if (p.y < 0.9f) return Skin::Blend(stem1, stem2, (p.y - 0.45f) / 0.45f);
    return Skin::Blend(stem2, head, (p.y - 0.9f) / 0.35f);
  });
  // Leaves.
  m.AddEllipsoid({0.32f, 0.04f, 0.12f}, Place({0.28f, 0.42f, 0}, 0, 0, 0.45f), 12, 6,
                 Paint{Swatch::kLeaf, false}, mat, Skin::Rigid(stem1));
  m.AddEllipsoid({0.28f, 0.04f, 0.11f}, Place({-0.25f, 0.7f, 0.05f}, 0, 0.2f, -0.5f), 12, 6,
                 Paint{Swatch::kLeaf, false}, mat, Skin::Rigid(stem2));
  // Head: petals round a sunny centre, facing up and a little forward.
  const Skin hs = Skin::Rigid(head);
  const Vec3 hc = s.BindPos(head);
  const float tilt = 0.35f;
  m.AddEllipsoid({0.2f, 0.09f, 0.2f}, Place(hc + Vec3{0, 0.06f, 0}, tilt), 14, 8,
                 Paint{Swatch::kSun, false}, mat, hs);
  for (int k = 0; k < 6; ++k) {
    const float a = static_cast<float>(k) * engine::kPi / 3;
    const Matrix xf = engine::MatrixTranslation(0.3f, 0, 0) * engine::MatrixRotationY(a) *
                      engine::MatrixRotationX(tilt) *
                      engine::MatrixTranslation(hc.x, hc.y + 0.03f, hc.z);
    m.AddEllipsoid({0.22f, 0.05f, 0.14f}, xf, 12, 6, Paint{Swatch::kPink, false}, mat, hs);
  }
  // Sway, 3 s.
  ClipBuilder c(s, "Sway");
  for (int k = 0; k <= 4; ++k) {
    const float ph = static_cast<float>(k) * engine::kPi / 2;
    c.Key(T60(0.75 * k), {{"Stem1", R(0.04f * std::sin(ph), 0, 0.07f * std::cos(ph))},
                          {"Stem2", R(0.05f * std::sin(ph), 0, 0.09f * std::cos(ph))},
                          {"Head", R(0, 0.25f * std::sin(ph), -0.05f * std::cos(ph))}});
  }
  return Animated(content::model::kFlower, std::move(m), s, kTicks60, {c.Build()});
}

}  // namespace models
