#include "world/culling.h"

#include <algorithm>
#include <cmath>

#include "engine/trig.h"

namespace world {

using engine::Matrix;
using engine::Plane;
using engine::Vec3;

namespace {

std::array<Plane, 6> PlanesOf(const Matrix& view, const Matrix& projection) {
  Matrix m;
  if (!engine::MatrixInverse(&m, nullptr, view * projection)) m = Matrix::Identity();
  auto corner = [&](float x, float y, float z) {
    const engine::Vec4 v = engine::Vec3Transform({x, y, z}, m);
    return Vec3{v.x / v.w, v.y / v.w, v.z / v.w};
  };
  const Vec3 ntl = corner(-1, 1, 0), ntr = corner(1, 1, 0), nbl = corner(-1, -1, 0),
             nbr = corner(1, -1, 0);
  const Vec3 ftl = corner(-1, 1, 1), ftr = corner(1, 1, 1), fbl = corner(-1, -1, 1),
             fbr = corner(1, -1, 1);
  auto plane = [](const Vec3& a, const Vec3& b, const Vec3& c) {
    return engine::PlaneNormalize(engine::PlaneFromPoints(a, b, c));
  };
  return {plane(nbl, ntl, ntr), plane(ftr, ftl, fbl), plane(ntr, ftr, fbr),
          plane(fbl, ftl, ntl), plane(ntr, ntl, ftl), plane(fbl, nbl, nbr)};
}

bool Outside(const std::array<Plane, 6>& planes, const Vec3& c, float radius) {
  for (const Plane& p : planes) {
    if (p.a * c.x + p.b * c.y + p.c * c.z + p.d > radius) return true;
  }
  return false;
}

}  // namespace

ViewVolume::ViewVolume(const Matrix& view, const Matrix& projection)
    : planes_(PlanesOf(view, projection)) {}

bool ViewVolume::SphereOutside(const HitSphere& sphere) const {
  return Outside(planes_, sphere.Centre(), sphere.radius);
}

bool ViewVolume::AnyInside(const std::vector<HitSphere>& spheres) const {
  for (const HitSphere& s : spheres)
    if (!SphereOutside(s)) return true;
  return false;
}

Horizon::Horizon(const Vec3& eye, float groundRadius) : eye_(eye) {
  // A hair inside the ground, against rounding in the test below.
  const double ground = groundRadius > 0 ? groundRadius * (1.0 - 1e-4) : 0.0;
  eyeDistance_ = std::sqrt(double{eye.x} * eye.x + double{eye.y} * eye.y + double{eye.z} * eye.z);
  hidesNothing_ = ground <= 0 || eyeDistance_ <= ground;
  if (hidesNothing_) return;
  // Every sight line within the shadow meets the ground at most this far
  // from the eye (the lines grazing the rim, at the rim).
  rim_ = std::sqrt(eyeDistance_ * eyeDistance_ - ground * ground);
  shadowHalfAngle_ = engine::Asin(ground / eyeDistance_);
}

bool Horizon::Hides(const HitSphere& sphere) const {
  if (hidesNothing_ || !(sphere.radius >= 0)) return false;
  const double ex = eye_.x, ey = eye_.y, ez = eye_.z;
  const double vx = sphere.x - ex, vy = sphere.y - ey, vz = sphere.z - ez;
  const double distance = std::sqrt(vx * vx + vy * vy + vz * vz);
  const double r = sphere.radius;
  if (distance <= r || distance - r < rim_) return false;
  // The sphere's cone of sight lines within the shadow's: the angle off the
  // line to the centre plus the sphere's half-angle within the shadow's.
  const double cosOff = -(vx * ex + vy * ey + vz * ez) / (distance * eyeDistance_);
  const double off = engine::Acos(std::clamp(cosOff, -1.0, 1.0));
  return off + engine::Asin(r / distance) <= shadowHalfAngle_;
}

bool SphereOutsideView(const Matrix& P, const Matrix& W, const HitSphere& sphere, const Matrix& V) {
  const engine::Vec4 c = engine::Vec4Transform({0, 0, 0, 1}, W);
  return Outside(PlanesOf(V, P), {c.x / c.w, c.y / c.w, c.z / c.w}, sphere.radius);
}

void CullObjects(media::MeshManager& meshes, WorldObjects& world, const Camera& camera,
                 const Chara& player, const engine::Mesh* treeMesh, const ViewVolume& volume,
                 const Horizon& horizon) {
  const Vec3 p = player.Position();
  const Vec3 toPlayer = engine::Vec3Normalize(p - camera.eye);
  // How far the camera is from a tree standing, unscaled, where the creature
  // stands: trees nearer than that hide it. A ray that misses (no tree model
  // there) measures the straight distance to the creature.
  float s = engine::Vec3Length(p - camera.eye);
  if (treeMesh) {
    Matrix inverse;
    if (engine::MatrixInverse(&inverse, nullptr, player.PlacementMatrix(player.mRotation))) {
      const engine::IntersectResult hit =
          treeMesh->Intersect(engine::Vec3TransformCoord(camera.eye, inverse),
                              engine::Vec3TransformNormal(toPlayer, inverse));
      if (hit.hit) s = hit.distance;
    }
  }
  world.shown.clear();
  world.seeThrough.clear();
  for (const auto& object : world.objects) {
    if (SurfaceAngle(player.mRotation, object->mRotation) > kObjectDrawAngle) continue;
    if (!volume.AnyInside(object->GetHitSpheres())) continue;
    if (HitSphere bounds; object->GetDrawBounds(meshes, &bounds) && horizon.Hides(bounds)) continue;
    if (object->mName == "Tree" && treeMesh) {
      Matrix inverse;
      if (engine::MatrixInverse(&inverse, nullptr, object->mWorld)) {
        const engine::IntersectResult hit =
            treeMesh->Intersect(engine::Vec3TransformCoord(camera.eye, inverse),
                                engine::Vec3TransformNormal(toPlayer, inverse));
        if (hit.hit && hit.distance < s) {
          world.seeThrough.push_back(object.get());
          continue;
        }
      }
    }
    world.shown.push_back(object.get());
  }
}

void DrawObjectsCulled(platform::Device& device, media::MeshManager& meshes,
                       const WorldObjects& world) {
  for (Chara* object : world.shown) object->Draw(device, meshes);
}

void DrawSeeThrough(platform::Device& device, media::MeshManager& meshes,
                    const WorldObjects& world) {
  for (Chara* tree : world.seeThrough) tree->DrawTranslucent(device, meshes, kSeeThroughAlpha);
}

}  // namespace world
