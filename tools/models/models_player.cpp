// The hungry creature, in three skinned parts that share one skeleton and one
// set of animations: the upper body (head, jaw and mouth, eyes, tail), the
// legs and the hands.
//
// Proportions: the origin is 1.5 above the soles; the head's top is about
// 1.45 above the origin. It faces -Z. Bones are pure translations in the bind
// pose; the jaw hinge sits at the back of the mouth.
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

struct Bones {
  int root, body, head, jaw, eyeL, eyeR, handL, handR, legL, legR;
};

Skeleton MakeSkeleton(Bones* b) {
  Skeleton s;
  b->root = s.Add("Root", -1, {0, 0, 0});
  b->body = s.Add("Body", b->root, {0, -0.6f, 0});
  b->head = s.Add("Head", b->body, {0, 0.55f, 0.5f});  // the mouth's hinge
  b->jaw = s.Add("Jaw", b->body, {0, 0.55f, 0.5f});
  b->eyeL = s.Add("EyeL", b->head, {0.42f, 0.8f, -1.43f});
  b->eyeR = s.Add("EyeR", b->head, {-0.42f, 0.8f, -1.43f});
  b->handL = s.Add("HandL", b->body, {1.02f, 0.4f, -0.05f});
  b->handR = s.Add("HandR", b->body, {-1.02f, 0.4f, -0.05f});
  b->legL = s.Add("LegL", b->root, {0.45f, -0.88f, 0.05f});
  b->legR = s.Add("LegR", b->root, {-0.45f, -0.88f, 0.05f});
  return s;
}

Matrix Place(const Vec3& p, float rx = 0, float ry = 0, float rz = 0) {
  return engine::MatrixRotationX(rx) * engine::MatrixRotationY(ry) * engine::MatrixRotationZ(rz) *
         engine::MatrixTranslation(p.x, p.y, p.z);
}

void BuildUpperBody(ModelMesh& m, const Bones& b, int mat) {
  const Skin head = Skin::Rigid(b.head), jaw = Skin::Rigid(b.jaw), body = Skin::Rigid(b.body);
  // Head dome and the lower jaw bowl, overlapping where the lips meet.
  m.AddEllipsoid({1.2f, 1.08f, 1.12f}, Place({0, 0.37f, 0}), 24, 16,
                 Paint{Swatch::kBodyShade, true}, mat, head);
  m.AddEllipsoid({1.16f, 0.8f, 1.1f}, Place({0, -0.28f, -0.02f}), 24, 14,
                 Paint{Swatch::kBody, false}, mat, jaw);
  // Belly patch on the jaw's front.
  m.AddEllipsoid({0.72f, 0.5f, 0.3f}, Place({0, -0.48f, -0.86f}, 0.35f), 18, 10,
                 Paint{Swatch::kBelly, false}, mat, jaw);
  // Inside of the mouth: dark, with a tongue on the jaw.
  const std::size_t inside = m.AddEllipsoid({1.0f, 0.62f, 0.95f}, Place({0, -0.02f, -0.08f}), 20,
                                            12, Paint{Swatch::kMouth, false}, mat, head);
  m.SetSkin(inside, [&](const Vec3& p) { return Skin::Blend(b.jaw, b.head, (p.y + 0.3f) / 0.4f); });
  m.AddEllipsoid({0.55f, 0.18f, 0.5f}, Place({0, -0.3f, -0.45f}), 14, 8,
                 Paint{Swatch::kTongue, false}, mat, jaw);
  // Two little teeth on the upper lip.
  for (float x : {0.32f, -0.32f})
    m.AddLathe({{0, -0.02f}, {0.1f, 0.1f}, {0.11f, 0.2f}, {0, 0.22f}}, Place({x, -0.1f, -0.98f}), 8,
               Paint{Swatch::kTooth, false}, mat, head);
  // A wide smile along the lips' seam.
  {
    std::vector<Vec3> pts;
    std::vector<float> radii;
    for (int i = -4; i <= 4; ++i) {
      const float x = 0.2f * static_cast<float>(i);
      const float y = -0.02f + 0.14f * (x / 0.8f) * (x / 0.8f);
      const float e = 1 - (x / 1.2f) * (x / 1.2f) - ((y - 0.37f) / 1.08f) * ((y - 0.37f) / 1.08f);
      pts.push_back({x, y, -1.12f * std::sqrt(std::fmax(0.0f, e)) - 0.02f});
      radii.push_back(0.035f);
    }
    m.AddTube(pts, radii, 8, Paint{Swatch::kInk, false}, mat, head);
  }
  // Big eyes: white, pupil, two shines.
  for (int side = 0; side < 2; ++side) {
    const float sx = side == 0 ? 1.0f : -1.0f;
    const Skin eye = Skin::Rigid(side == 0 ? b.eyeL : b.eyeR);
    const float yaw = -0.38f * sx;
    m.AddEllipsoid({0.3f, 0.38f, 0.17f}, Place({0.42f * sx, 0.75f, -0.93f}, -0.12f, yaw), 16, 12,
                   Paint{Swatch::kEyeWhite, false}, mat, eye);
    m.AddEllipsoid({0.19f, 0.25f, 0.1f}, Place({0.4f * sx, 0.72f, -1.04f}, -0.12f, yaw), 14, 10,
                   Paint{Swatch::kPupil, false}, mat, eye);
    m.AddEllipsoid({0.065f, 0.075f, 0.04f}, Place({0.34f * sx + 0.08f, 0.85f, -1.12f}), 8, 6,
                   Paint{Swatch::kShine, false}, mat, eye);
    m.AddEllipsoid({0.035f, 0.035f, 0.03f}, Place({0.46f * sx - 0.02f, 0.64f, -1.12f}), 6, 5,
                   Paint{Swatch::kShine, false}, mat, eye);
    // Blush.
    m.AddEllipsoid({0.22f, 0.13f, 0.07f}, Place({0.82f * sx, 0.3f, -0.78f}, 0, -0.75f * sx), 12, 8,
                   Paint{Swatch::kCheek, false}, mat, head);
    // Round ears.
    m.AddEllipsoid({0.26f, 0.32f, 0.2f}, Place({0.62f * sx, 1.3f, 0.12f}, 0, 0, -0.45f * sx), 12,
                   10, Paint{Swatch::kBodyShade, true}, mat, head);
  }
  // A round tail.
  m.AddEllipsoid({0.24f, 0.24f, 0.24f}, Place({0, -0.55f, 1.08f}), 12, 8,
                 Paint{Swatch::kFoot, false}, mat, body);
}

void BuildLegs(ModelMesh& m, const Bones& b, int mat) {
  for (int side = 0; side < 2; ++side) {
    const float sx = side == 0 ? 1.0f : -1.0f;
    const Skin leg = Skin::Rigid(side == 0 ? b.legL : b.legR);
    m.AddTube({{0.45f * sx, -0.8f, 0.05f}, {0.46f * sx, -1.1f, 0.02f}, {0.46f * sx, -1.3f, 0}},
              {0.26f, 0.25f, 0.24f}, 14, Paint{Swatch::kBody, false}, mat, leg);
    m.AddEllipsoid({0.31f, 0.18f, 0.42f}, Place({0.47f * sx, -1.32f, -0.13f}), 14, 10,
                   Paint{Swatch::kFoot, false}, mat, leg);
    // Three toe bumps.
    for (int t = -1; t <= 1; ++t)
      m.AddEllipsoid({0.09f, 0.08f, 0.09f},
                     Place({0.47f * sx + 0.15f * static_cast<float>(t), -1.37f,
                            -0.52f + 0.04f * std::fabs(static_cast<float>(t))}),
                     8, 6, Paint{Swatch::kFoot, false}, mat, leg);
  }
}

void BuildHands(ModelMesh& m, const Bones& b, int mat) {
  for (int side = 0; side < 2; ++side) {
    const float sx = side == 0 ? 1.0f : -1.0f;
    const Skin hand = Skin::Rigid(side == 0 ? b.handL : b.handR);
    m.AddTube({{1.0f * sx, -0.15f, -0.05f}, {1.22f * sx, -0.32f, -0.12f}}, {0.15f, 0.14f}, 12,
              Paint{Swatch::kBody, false}, mat, hand);
    m.AddEllipsoid({0.2f, 0.23f, 0.2f}, Place({1.3f * sx, -0.42f, -0.16f}, 0, 0, 0.3f * sx), 14, 10,
                   Paint{Swatch::kBodyShade, true}, mat, hand);
    // Thumb.
    m.AddEllipsoid({0.08f, 0.1f, 0.08f}, Place({1.2f * sx, -0.38f, -0.33f}), 8, 6,
                   Paint{Swatch::kBodyShade, false}, mat, hand);
  }
}

using Pose = std::map<std::string, BonePose>;

BonePose R(float x, float y = 0, float z = 0) { return {RotXYZ(x, y, z), {}, {1, 1, 1}}; }
BonePose Move(float x, float y, float z) { return {{}, {x, y, z}, {1, 1, 1}}; }
BonePose Scale(float x, float y, float z) { return {{}, {}, {x, y, z}}; }
BonePose RS(float rx, float sx, float sy, float sz) { return {RotX(rx), {}, {sx, sy, sz}}; }

// Run: one stride each side; the body bobs twice per cycle.
ClipBuilder Run(const Skeleton& s) {
  ClipBuilder c(s, "Run");
  const float leg = 0.75f, arm = 0.7f, lean = -0.14f;
  for (int k = 0; k <= 4; ++k) {
    const float ph = static_cast<float>(k) * engine::kPi / 2;  // 0, 90, 180, 270, 360 degrees
    const float swing = std::cos(ph);
    const float bob = 0.14f * std::fabs(std::sin(ph));
    Pose p;
    p["Root"] = Move(0, bob, 0);
    p["Body"] = R(lean, 0, 0.07f * swing);
    p["Head"] = R(0.04f * std::fabs(std::sin(ph)));
    p["LegL"] = R(leg * swing);
    p["LegR"] = R(-leg * swing);
    p["HandL"] = R(-arm * swing, 0, 0.25f);
    p["HandR"] = R(arm * swing, 0, -0.25f);
    c.Key(F59(static_cast<std::uint32_t>(k) * 6), p);
  }
  return c;
}

// Burp: a deep breath, then a big open-mouthed burp peaking at 20/59 s, back
// at rest by 50/59 s.
ClipBuilder Burp(const Skeleton& s) {
  ClipBuilder c(s, "Burp");
  c.Key(0, {});
  c.Key(F59(10), {{"Body", RS(0.1f, 1.08f, 1.08f, 1.08f)},
                  {"Head", R(0.08f)},
                  {"HandL", R(0, 0, 0.5f)},
                  {"HandR", R(0, 0, -0.5f)}});
  c.Key(F59(20), {{"Body", RS(0.16f, 0.95f, 1.06f, 0.95f)},
                  {"Head", R(0.6f)},
                  {"Jaw", R(-0.2f)},
                  {"EyeL", Scale(1.1f, 0.25f, 1)},
                  {"EyeR", Scale(1.1f, 0.25f, 1)},
                  {"HandL", R(0, 0, 1.0f)},
                  {"HandR", R(0, 0, -1.0f)}});
  c.Key(F59(30), {{"Body", RS(0.12f, 0.97f, 1.03f, 0.97f)},
                  {"Head", R(0.45f)},
                  {"Jaw", R(-0.15f)},
                  {"EyeL", Scale(1.1f, 0.3f, 1)},
                  {"EyeR", Scale(1.1f, 0.3f, 1)},
                  {"HandL", R(0, 0, 0.8f)},
                  {"HandR", R(0, 0, -0.8f)}});
  c.Key(F59(42), {{"Body", RS(-0.04f, 1.02f, 0.98f, 1.02f)}, {"Head", R(-0.03f)}});
  c.Key(F59(50), {});
  c.Key(F59(59), {});
  return c;
}

// Idle: slow breathing and a blink, two seconds.
ClipBuilder Idle(const Skeleton& s) {
  ClipBuilder c(s, "Idle");
  const auto breathe = [](float t, float blink) {
    const float k = std::sin(t * 2 * engine::kPi);
    Pose p;
    p["Body"] = Scale(1 + 0.03f * k, 1 - 0.03f * k, 1 + 0.03f * k);
    p["Head"] = R(0.02f * k);
    p["HandL"] = R(0.1f * k, 0, 0.15f);
    p["HandR"] = R(-0.1f * k, 0, -0.15f);
    p["EyeL"] = Scale(1, blink, 1);
    p["EyeR"] = Scale(1, blink, 1);
    return p;
  };
  const std::uint32_t frames[] = {0, 30, 59, 88, 100, 103, 106, 118};
  for (std::uint32_t f : frames) {
    const float blink = f == 103 ? 0.1f : 1.0f;
    c.Key(F59(f), breathe(static_cast<float>(f) / 118.0f, blink));
  }
  return c;
}

// Bite: the mouth opens wide, snaps shut at 14/59 s with a lunge, bounces and
// is at rest by 40/59 s; the set lasts 48/59 s.
ClipBuilder Bite(const Skeleton& s) {
  ClipBuilder c(s, "Bite");
  c.Key(0, {});
  c.Key(F59(5), {{"Root", Move(0, 0.05f, 0.08f)},
                 {"Body", R(0.1f)},
                 {"Head", R(0.6f)},
                 {"Jaw", R(-0.18f)},
                 {"HandL", R(0, 0, 0.6f)},
                 {"HandR", R(0, 0, -0.6f)}});
  c.Key(F59(10), {{"Root", Move(0, 0.08f, 0.1f)},
                  {"Body", R(0.14f)},
                  {"Head", R(0.72f)},
                  {"Jaw", R(-0.24f)},
                  {"HandL", R(0, 0, 0.8f)},
                  {"HandR", R(0, 0, -0.8f)}});
  c.Key(F59(14), {{"Root", Move(0, -0.04f, -0.3f)},
                  {"Body", RS(-0.2f, 1.06f, 0.94f, 1.06f)},
                  {"Head", R(-0.03f)},
                  {"Jaw", R(0.02f)},
                  {"EyeL", Scale(1.05f, 0.5f, 1)},
                  {"EyeR", Scale(1.05f, 0.5f, 1)},
                  {"HandL", R(-0.6f, 0, -0.1f)},
                  {"HandR", R(-0.6f, 0, 0.1f)}});
  c.Key(F59(20), {{"Root", Move(0, 0.02f, -0.2f)},
                  {"Body", RS(-0.1f, 0.97f, 1.04f, 0.97f)},
                  {"Head", R(0.06f)},
                  {"HandL", R(-0.3f)},
                  {"HandR", R(-0.3f)}});
  c.Key(F59(28), {{"Root", Move(0, 0, -0.06f)}, {"Body", R(-0.03f)}});
  c.Key(F59(40), {});
  c.Key(F59(48), {});
  return c;
}

// Chew: four happy chomps with puffed cheeks, 55/59 s.
ClipBuilder Chew(const Skeleton& s) {
  ClipBuilder c(s, "Chew");
  c.Key(0, {});
  const std::uint32_t open[] = {5, 18, 31, 44};
  for (std::uint32_t o : open) {
    c.Key(F59(o), {{"Body", Scale(0.97f, 1.04f, 0.97f)},
                   {"Head", R(0.2f)},
                   {"Jaw", R(-0.06f)},
                   {"EyeL", Scale(1.05f, 0.35f, 1)},
                   {"EyeR", Scale(1.05f, 0.35f, 1)},
                   {"HandL", R(0, 0, 0.3f)},
                   {"HandR", R(0, 0, -0.3f)}});
    c.Key(F59(o + 6), {{"Body", Scale(1.07f, 0.93f, 1.07f)},
                       {"Head", R(-0.02f)},
                       {"EyeL", Scale(1.05f, 0.3f, 1)},
                       {"EyeR", Scale(1.05f, 0.3f, 1)}});
  }
  c.Key(F59(55), {});
  return c;
}

Model PartModel(const char* path, ModelMesh mesh, const Skeleton& skeleton,
                const std::vector<contentgen::XAnimationSetDesc>& sets) {
  Model m;
  m.path = path;
  m.file.frames.push_back(
      skeleton.Frames(mesh.ToXMesh("Skin", skeleton.Names(), skeleton.Offsets())));
  m.file.ticksPerSecond = kTicksPerSecond;
  m.file.sets = sets;
  m.mesh = std::move(mesh);
  m.skeleton = skeleton;
  m.texture = contentgen::kPaletteTexture;
  return m;
}

}  // namespace

std::vector<Model> MakePlayer() {
  Bones b;
  const Skeleton skeleton = MakeSkeleton(&b);
  // Index order: 0 run, 1 burp, 2 idle, 3 bite, 4 chew.
  const std::vector<contentgen::XAnimationSetDesc> sets = {
      Run(skeleton).Build(), Burp(skeleton).Build(), Idle(skeleton).Build(), Bite(skeleton).Build(),
      Chew(skeleton).Build()};

  ModelMesh up, down, hands;
  BuildUpperBody(up, b, up.AddMaterial(contentgen::PaletteMaterial()));
  BuildLegs(down, b, down.AddMaterial(contentgen::PaletteMaterial()));
  BuildHands(hands, b, hands.AddMaterial(contentgen::PaletteMaterial()));

  std::vector<Model> parts;
  parts.push_back(PartModel(content::model::kPlayerUpBody, std::move(up), skeleton, sets));
  parts.push_back(PartModel(content::model::kPlayerDownBody, std::move(down), skeleton, sets));
  parts.push_back(PartModel(content::model::kPlayerHand, std::move(hands), skeleton, sets));
  return parts;
}

}  // namespace models
