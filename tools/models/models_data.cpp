// The data files: tuning values, the placement of trees, stumps and flowers
// over the planet, and an empty ranking.
#include <cmath>
#include <sstream>

#include "common/model_noise.h"
#include "media/paths.h"
#include "models.h"

namespace models {

using engine::Quaternion;
using engine::Vec3;

namespace {

constexpr float kPlanetRadius = 60.0f;

std::string Fields(const float (&v)[4]) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    std::string f = contentgen::FormatFloat(v[i]);
    while (f.back() == '0') f.pop_back();  // "0.650000" -> "0.65"
    if (f.back() == '.') f.pop_back();
    out += (i ? "," : "") + f;
  }
  return out;
}

std::string GameDataIni() {
  // The bite sphere sits in front of the mouth, in the creature's own frame
  // (+Z forward, +Y up from the origin 1.5 x size above the ground), scaled
  // by its size. The title's demo creature stands on the top of the title
  // planet picture, left of centre, facing right; the caterpillar crawls
  // over the picture's rim from the right into its mouth.
  return std::string(
             "; Tuning values of the game.\n"
             "[Player]\n"
             "radius=1.0\n"
             "mStartGravity=0.05\n"
             "mFrameMinus=0.004\n"
             "mStartJumpV=0.6\n"
             "mMaxGravity=1.2\n"
             "\n"
             "[PlayerEatAtackHitSphere]\n"
             "radius=0.9\n"
             "localPos.x=0.0\n"
             "localPos.y=-0.3\n"
             "localPos.z=1.6\n"
             "\n"
             "[Title]\n") +
         ("Player=" + Fields(kTitlePlayer) + "\n") + ("Enemy=" + Fields(kTitleEnemy) + "\n");
}

struct Placed {
  const char* kind;
  Vec3 dir;
  float spacing;  // keep-out radius on the surface, world units
  Quaternion q;
  float scale;
};

// The rotation that stands an object at direction d, turned by yaw about its
// own up axis first.
Quaternion StandAt(const Vec3& d, float yaw) {
  const Quaternion turn = engine::QuaternionRotationAxis({0, 1, 0}, yaw);
  Vec3 axis = engine::Vec3Cross({0, 1, 0}, d);
  const float len = engine::Vec3Length(axis);
  const float angle = std::acos(std::fmax(-1.0f, std::fmin(1.0f, d.y)));
  axis = len < 1e-6f ? Vec3{1, 0, 0} : axis * (1.0f / len);
  const Quaternion arc = engine::QuaternionRotationAxis(axis, angle);
  return engine::QuaternionNormalize(engine::QuaternionMultiply(turn, arc));
}

std::vector<Placed> PlaceObjects() {
  contentgen::Rng rng(20261207);
  std::vector<Placed> placed;
  const Vec3 start{0, 1, 0};  // the creature starts at the north pole
  const float clearStart = 12.0f;
  const auto tryPlace = [&](const char* kind, int count, float spacing, float lo, float hi) {
    int made = 0;
    for (int attempt = 0; made < count && attempt < 200000; ++attempt) {
      // A uniformly random direction.
      const float z = rng.Range(-1, 1), phi = rng.Range(0, 2 * engine::kPi);
      const float r = std::sqrt(std::fmax(0.0f, 1 - z * z));
      const Vec3 d{r * std::cos(phi), z, r * std::sin(phi)};
      if (engine::Vec3Length(d - start) * kPlanetRadius < clearStart + spacing) continue;
      bool free = true;
      for (const Placed& p : placed)
        if (engine::Vec3Length(d - p.dir) * kPlanetRadius < spacing + p.spacing) {
          free = false;
          break;
        }
      if (!free) continue;
      const float yaw = rng.Range(0, 2 * engine::kPi);
      placed.push_back({kind, d, spacing, StandAt(d, yaw), rng.Range(lo, hi)});
      ++made;
    }
    return made;
  };
  tryPlace("Tree", 40, 3.6f, 0.95f, 1.2f);
  tryPlace("Stump", 12, 2.2f, 0.8f, 1.05f);
  tryPlace("Flower", 45, 1.3f, 1.0f, 2.0f);
  return placed;
}

std::string ObjectPosCsv() {
  const std::vector<Placed> placed = PlaceObjects();
  int trees = 0, stumps = 0, flowers = 0;
  for (const Placed& p : placed) {
    const std::string k = p.kind;
    trees += k == "Tree";
    stumps += k == "Stump";
    flowers += k == "Flower";
  }
  std::ostringstream out;
  out << "Tree," << trees << "\n"
      << "Stump," << stumps << "\n"
      << "Flower," << flowers << "\n"
      << "Total," << trees + stumps + flowers << "\n"
      << "#,w,x,y,z,scale\n"
      << "#,each object stands where the quaternion turns the planet's up axis\n";
  for (const Placed& p : placed) {
    using contentgen::FormatFloat;
    out << p.kind << "," << FormatFloat(p.q.w) << "," << FormatFloat(p.q.x) << ","
        << FormatFloat(p.q.y) << "," << FormatFloat(p.q.z) << "," << FormatFloat(p.scale) << "\n";
  }
  return out.str();
}

}  // namespace

std::vector<Placement> ObjectPlacements() {
  std::vector<Placement> out;
  for (const Placed& p : PlaceObjects()) out.push_back({p.kind, p.q, p.scale});
  return out;
}

std::map<std::string, std::string> MakeDataFiles() {
  return {{content::data::kGameData, GameDataIni()},
          {content::data::kObjectPos, ObjectPosCsv()},
          {content::data::kRanking, "1位,000000\n2位,000000\n3位,000000\n"}};
}

}  // namespace models
