// Standing on the planet: the base of every object in the world and the
// motion functions they share.
//
// The planet's centre is the world origin. An object has no free position:
// it stands at up(mRotation) * mHeight, where up(q) is the local +Y axis
// turned by its orientation; its local +Z turned by q is its forward
// direction, +X its right. Walking is a rotation of the orientation about an
// axis through the centre, turning is a rotation about the object's own up
// axis, and standing on the ground is a height corrected by a ray cast
// against the planet mesh.
//
// Rotations returned by the motion functions are applied as
// mRotation = QuaternionMultiply(mRotation, r). Angles the game keeps are
// degrees in float; everything is single precision, with the game's own
// constants.
#pragma once

#include <string>
#include <vector>

#include "engine/math.h"
#include "engine/mesh.h"
#include "platform/graphics.h"

namespace media {
class MeshManager;
}

namespace world {

// A sphere for collisions and the view test: its centre (in the world, or in
// the object's own frame for a template) and radius.
struct HitSphere {
  float x = 0, y = 0, z = 0;
  float radius = 0;
  engine::Vec3 Centre() const { return {x, y, z}; }
};

// The planet as the world sees it: the mesh the ground rays hit (in its own,
// unscaled space), its bounding radius and the scale it is drawn at. R, the
// radius every motion function works with, is radius * scale.
struct Planet {
  float radius = 0;
  float scale = 60.0f;
  const engine::Mesh* mesh = nullptr;
  // The radius of a ball about the centre that the ground wholly encloses
  // (unscaled; 0 when the mesh is missing or not a closed surface).
  float innerRadius = 0;
  float R() const { return radius * scale; }
  float InnerR() const { return innerRadius * scale; }
};

// up(q), fwd(q) and right(q): +Y, +Z and +X turned by the orientation q.
engine::Vec3 Up(const engine::Quaternion& q);
engine::Vec3 Forward(const engine::Quaternion& q);

// The rotation that walks forward by an arc of length s on the sphere of
// radius R: about up(q) x fwd(q), by (s / (2 R pi) * 360) degrees. An arc of
// 0 is the identity.
engine::Quaternion ForwardArcRotation(const engine::Quaternion& q, float s, float R);
engine::Quaternion BackwardArcRotation(const engine::Quaternion& q, float s, float R);
// A turn about the object's own up axis; a positive angle turns to the right.
engine::Quaternion YawRotation(const engine::Quaternion& q, float degrees);
engine::Quaternion ReverseYawRotation(const engine::Quaternion& q, float degrees);

// The angle in degrees (0 to 180) between the up axes of two orientations:
// how far apart two objects stand on the sphere. Never NaN: rounding past +-1
// is clamped.
float SurfaceAngle(const engine::Quaternion& qa, const engine::Quaternion& qb);

// How far (degrees, -180 to 180) an object heading `angle` degrees and
// standing at qa must turn to face toward (or away from) the object at qb.
// `reference` is a world position whose y sign picks the hemisphere.
float YawErrorToward(float angle, const engine::Vec3& reference, const engine::Quaternion& qa,
                     const engine::Quaternion& qb);
float YawErrorAway(float angle, const engine::Vec3& reference, const engine::Quaternion& qa,
                   const engine::Quaternion& qb);

class Chara {
 public:
  Chara() = default;
  virtual ~Chara() = default;
  Chara(const Chara&) = delete;
  Chara& operator=(const Chara&) = delete;

  // Draws the object half see-through (trees only).
  virtual void DrawTranslucent(platform::Device&, media::MeshManager&, float /*alpha*/) {}
  virtual void Draw(platform::Device& device, media::MeshManager& meshes) = 0;
  // One step of a placed object; false takes it out of the world.
  virtual bool Update(float /*R*/) { return true; }
  // The object's spheres in the world.
  virtual std::vector<HitSphere> GetHitSpheres() const { return {}; }
  // A sphere in the world holding all that Draw draws; false when the object
  // cannot tell (its model moves, or is missing).
  virtual bool GetDrawBounds(media::MeshManager&, HitSphere* /*bounds*/) const { return false; }
  // Placed objects build mWorld once, when they are placed.
  virtual void UpdateWorldMatrix() {}

  // Rotation of q, then a translation to up(q) * mHeight: the matrix that
  // places the object (its translation row is the object's position).
  engine::Matrix PlacementMatrix(const engine::Quaternion& q) const;
  engine::Vec3 Position() const { return Up(mRotation) * mHeight; }
  // mAngle += degrees (one subtraction of 360 above 360: exactly 360 stays);
  // returns YawRotation(mRotation, degrees) without applying it.
  engine::Quaternion TurnRight(float degrees);
  // mAngle -= degrees (one addition of 360 below 0); returns the reverse yaw.
  engine::Quaternion TurnLeft(float degrees);
  // The rotation that moves the object by an arc s directly away from a world
  // point (toward it for a negative s). Identity when the point gives no
  // direction along the ground (it lies on the object's own up line).
  engine::Quaternion PushAwayRotation(float s, float R, const engine::Vec3& point) const;
  // The distance from the object's origin to the planet's surface, measured
  // along up to five rays (straight down first, then leaning ones).
  float DistanceToGround(const Planet& planet) const;
  // mHeight += hover - DistanceToGround: stands the object `hover` above the
  // ground. Returns the distance that was measured.
  float StandOnGround(const Planet& planet, float hover);

  float mScale = 1.0f;           // placed objects: uniform scale of model and spheres
  float mSize = 0.0f;            // the creature's body size (0.5 to 1.0)
  std::string mName;             // kind: "Tree", "Stump", "Flower" or an insect's name
  engine::Quaternion mRotation;  // orientation on the sphere
  float mHeight = 0.0f;          // distance of the origin from the planet's centre
  float mAngle = 0.0f;           // heading in degrees, a record of the turns made
  engine::Matrix mWorld;         // placed objects: the world matrix they draw with
};

// The ground rays' answer when a ray is cast from `origin` straight along
// `direction` (world units), or a miss.
struct GroundHit {
  bool hit = false;
  float distance = 0;
};
GroundHit CastGroundRay(const Planet& planet, const engine::Vec3& origin,
                        const engine::Vec3& direction);

}  // namespace world
