#include "world/chara.h"

#include <algorithm>
#include <cmath>

#include "engine/trig.h"

namespace world {

using engine::Matrix;
using engine::Quaternion;
using engine::Vec3;

namespace {

// How far the leaning ground rays reach along the surface.
constexpr float kLeanArc = 10.0f;
// A quarter turn, as the game writes it.
constexpr float kQuarterTurn = 1.5707964f;

// Degrees of arc an arc length s covers on the sphere of radius R; every
// product is rounded to float as it is formed.
float ArcRadians(float s, float R) {
  const float circumference = 2.0f * R * engine::kPi;
  const float degrees = s / circumference * 360.0f;
  return degrees * engine::kDegToRad;
}

float YawError(float angle, const Vec3& reference, const Quaternion& qa, const Quaternion& qb,
               bool away) {
  const Vec3 pa = Up(qa) * 100.0f;
  const Vec3 pb = Up(qb) * 100.0f;
  Matrix toA;
  engine::MatrixInverse(&toA, nullptr, engine::MatrixTranslation(pa.x, pa.y, pa.z));
  const Vec3 l = engine::Vec3TransformCoord(pb, toA);
  Vec3 v = away ? Vec3{-l.x, 0.0f, -l.z} : Vec3{l.x, 0.0f, l.z};
  if (reference.y < 0.0f) v.z = -v.z;
  v = engine::Vec3Normalize(v);
  const Vec3 f = engine::Vec3TransformNormal({0.0f, 0.0f, 1.0f},
                                             engine::MatrixRotationY(angle * engine::kDegToRad));
  const float c = std::clamp(f.y * v.y + f.x * v.x + f.z * v.z, -1.0f, 1.0f);
  float a = engine::Acos(c) * engine::kRadToDeg;
  if (l.x < 0.0f) a = -a;
  // Headings turned by negative amounts are never wrapped (a fleeing
  // butterfly's keeps falling), so the error is brought into range by as many
  // turns as it takes; for a heading within 0 to 360 that is at most one.
  float e = a - angle;
  while (e < -180.0f) e += 360.0f;
  while (e > 180.0f) e -= 360.0f;
  return e;
}

}  // namespace

Vec3 Up(const Quaternion& q) {
  return engine::Vec3TransformCoord({0.0f, 1.0f, 0.0f}, engine::MatrixRotationQuaternion(q));
}

Vec3 Forward(const Quaternion& q) {
  return engine::Vec3TransformCoord({0.0f, 0.0f, 1.0f}, engine::MatrixRotationQuaternion(q));
}

Quaternion ForwardArcRotation(const Quaternion& q, float s, float R) {
  const Vec3 axis = engine::Vec3Cross(Up(q), Forward(q));
  return engine::QuaternionRotationAxis(axis, ArcRadians(s, R));
}

Quaternion BackwardArcRotation(const Quaternion& q, float s, float R) {
  const Vec3 axis = engine::Vec3Cross(Up(q), Forward(q));
  return engine::QuaternionRotationAxis(axis, -ArcRadians(s, R));
}

Quaternion YawRotation(const Quaternion& q, float degrees) {
  return engine::QuaternionRotationAxis(Up(q), degrees * engine::kDegToRad);
}

Quaternion ReverseYawRotation(const Quaternion& q, float degrees) {
  return engine::QuaternionRotationAxis(Up(q), -(degrees * engine::kDegToRad));
}

float SurfaceAngle(const Quaternion& qa, const Quaternion& qb) {
  const Vec3 a = Up(qa), b = Up(qb);
  const float dot = std::clamp(a.y * b.y + a.x * b.x + a.z * b.z, -1.0f, 1.0f);
  return engine::Acos(dot) * engine::kRadToDeg;
}

float YawErrorToward(float angle, const Vec3& reference, const Quaternion& qa,
                     const Quaternion& qb) {
  return YawError(angle, reference, qa, qb, false);
}

float YawErrorAway(float angle, const Vec3& reference, const Quaternion& qa, const Quaternion& qb) {
  return YawError(angle, reference, qa, qb, true);
}

Matrix Chara::PlacementMatrix(const Quaternion& q) const {
  const Vec3 at = Up(q) * mHeight;
  return engine::MatrixRotationQuaternion(q) * engine::MatrixTranslation(at.x, at.y, at.z);
}

Quaternion Chara::TurnRight(float degrees) {
  mAngle += degrees;
  if (mAngle > 360.0f) mAngle -= 360.0f;
  return YawRotation(mRotation, degrees);
}

Quaternion Chara::TurnLeft(float degrees) {
  mAngle -= degrees;
  if (mAngle < 0.0f) mAngle += 360.0f;
  return ReverseYawRotation(mRotation, degrees);
}

Quaternion Chara::PushAwayRotation(float s, float R, const Vec3& point) const {
  const Vec3 up = Up(mRotation);
  const Vec3 position = up * mHeight;
  const Vec3 d = engine::Vec3Normalize(point - position);
  const Vec3 axis = engine::Vec3Cross(up, d);
  // A point on the object's own up line (or on the object itself) gives no
  // direction to be pushed in; a rotation about a zero axis would not be a
  // rotation at all, and would shrink the orientation. Off the poles the
  // rounding of up and d leaves such an axis a few millionths long and
  // pointing anywhere (partly along up: a push that also turns), so an axis
  // that short counts as none.
  constexpr float kNoDirection = 1e-10f;  // squared length, about 1e-5 radians
  if (engine::Vec3Dot(axis, axis) < kNoDirection) return Quaternion{};
  return engine::QuaternionRotationAxis(axis, -ArcRadians(s, R));
}

GroundHit CastGroundRay(const Planet& planet, const Vec3& origin, const Vec3& direction) {
  GroundHit result;
  if (!planet.mesh) return result;
  // Into the mesh's own space; the direction keeps its world length, so the
  // distance comes out in world units.
  Matrix toMesh;
  if (!engine::MatrixInverse(&toMesh, nullptr,
                             engine::MatrixScaling(planet.scale, planet.scale, planet.scale))) {
    return result;
  }
  // An object standing exactly on the ground starts its ray on the surface,
  // where rounding can put the hit a hair behind the start: the ray would
  // miss the ground under it and measure the far side of the planet. So the
  // ray starts a little behind the object and the distance is measured from
  // the object again (a hair below the ground measures a little below 0).
  constexpr float kStartBehind = 0.01f;  // in lengths of the direction
  const engine::IntersectResult hit =
      planet.mesh->Intersect(engine::Vec3TransformCoord(origin - direction * kStartBehind, toMesh),
                             engine::Vec3TransformNormal(direction, toMesh));
  result.hit = hit.hit;
  result.distance = hit.distance - kStartBehind;
  return result;
}

float Chara::DistanceToGround(const Planet& planet) const {
  const float R = planet.R();
  const Quaternion& q = mRotation;
  const Vec3 up = Up(q);
  const Quaternion forward = ForwardArcRotation(q, kLeanArc, R);
  // The last two samples turn a quarter either way and then take their arc
  // about q's own right axis, so they lean the way the first leaning sample
  // does; they answer only when every ray before them missed or hit too far.
  const Quaternion samples[5] = {
      q,
      engine::QuaternionMultiply(q, forward),
      engine::QuaternionMultiply(q, BackwardArcRotation(q, kLeanArc, R)),
      engine::QuaternionMultiply(
          engine::QuaternionMultiply(q, engine::QuaternionRotationAxis(up, kQuarterTurn)), forward),
      engine::QuaternionMultiply(
          engine::QuaternionMultiply(q, engine::QuaternionRotationAxis(up, -kQuarterTurn)),
          forward),
  };
  const Vec3 origin = up * mHeight;
  bool anyHit = false;
  float firstHit = 0.0f;
  GroundHit last;
  for (const Quaternion& sample : samples) {
    const Vec3 down =
        engine::Vec3TransformNormal({0.0f, -1.0f, 0.0f}, engine::MatrixRotationQuaternion(sample));
    last = CastGroundRay(planet, origin, down);
    if (!last.hit) continue;
    if (last.distance < R) return last.distance;
    if (!anyHit) firstHit = last.distance;
    anyHit = true;
  }
  if (last.hit) return last.distance;
  // Every ray missed (no planet, or a place no ray can reach the surface
  // from): the first distance any ray found, else no correction at all.
  return anyHit ? firstHit : 0.0f;
}

float Chara::StandOnGround(const Planet& planet, float hover) {
  const float d = DistanceToGround(planet);
  mHeight = mHeight - d + hover;
  return d;
}

}  // namespace world
