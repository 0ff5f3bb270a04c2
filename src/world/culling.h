// What is drawn: a cheap cut by the angle of arc from the creature, then a
// test of the hit spheres against the six planes of the view volume. Trees
// standing between the camera and the creature are collected to be drawn
// see-through later.
#pragma once

#include <array>

#include "engine/math.h"
#include "platform/graphics.h"
#include "world/camera.h"
#include "world/chara.h"
#include "world/world_objects.h"

namespace world {

// Insects are drawn up to this angle of arc from the creature, placed
// objects up to this one.
inline constexpr float kInsectDrawAngle = 45.0f;
inline constexpr float kObjectDrawAngle = 80.0f;
inline constexpr float kSeeThroughAlpha = 0.5f;

// The six planes of the view volume of a view and a projection, normals
// pointing out: near, far, right, left, top, bottom. Built once a frame.
class ViewVolume {
 public:
  ViewVolume(const engine::Matrix& view, const engine::Matrix& projection);
  // True when the sphere lies wholly outside (beyond some plane by more than
  // its radius); a sphere touching a plane from outside counts as inside.
  bool SphereOutside(const HitSphere& sphere) const;
  // True when some sphere is not outside (none: never drawn).
  bool AnyInside(const std::vector<HitSphere>& spheres) const;
  const std::array<engine::Plane, 6>& Planes() const { return planes_; }

 private:
  std::array<engine::Plane, 6> planes_;
};

// What the planet hides from an eye: a sphere lying wholly in the planet's
// shadow, the cone of sight lines the ground stops, and beyond the ground's
// rim. The ball that stands for the planet is the one its ground encloses
// (Planet::InnerR), about the world's origin, so anything hidden from it
// would fail the depth test against the ground anyway: leaving it out only
// spares the rasteriser.
class Horizon {
 public:
  // A ground radius of 0 (or an eye inside the ball) hides nothing.
  Horizon(const engine::Vec3& eye, float groundRadius);
  bool Hides(const HitSphere& sphere) const;

 private:
  engine::Vec3 eye_;
  bool hidesNothing_ = true;
  double eyeDistance_ = 0;      // from the planet's centre
  double rim_ = 0;              // from the eye to the ground's rim
  double shadowHalfAngle_ = 0;  // of the cone of sight lines the ground stops
};

// The same test for one sphere, building the volume from scratch: projection
// P, the sphere's translation W, its radius, view V.
bool SphereOutsideView(const engine::Matrix& P, const engine::Matrix& W, const HitSphere& sphere,
                       const engine::Matrix& V);

// Which placed objects the next picture shows, for the camera and the
// creature as the update left them (the game scene runs it at the end of
// every update, so drawing only reads it): world.shown gets the objects in
// view, in list order, and world.seeThrough the trees that stand between the
// camera and the creature instead. `treeMesh` is the tree model's mesh (may
// be null: no tree is see-through). Objects the horizon hides are in
// neither list.
void CullObjects(media::MeshManager& meshes, WorldObjects& world, const Camera& camera,
                 const Chara& player, const engine::Mesh* treeMesh, const ViewVolume& volume,
                 const Horizon& horizon);
// Draws world.shown.
void DrawObjectsCulled(platform::Device& device, media::MeshManager& meshes,
                       const WorldObjects& world);
// Draws world.seeThrough, half see-through.
void DrawSeeThrough(platform::Device& device, media::MeshManager& meshes,
                    const WorldObjects& world);

}  // namespace world
