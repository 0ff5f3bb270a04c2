#include "creatures/enemy.h"

#include "media/mesh_manager.h"

namespace creatures {

int InsectKindOf(const std::string& name) {
  for (int k = 0; k < kInsectKindCount; ++k)
    if (name == kInsectNames[k]) return k;
  return -1;
}

Enemy::Enemy(float height) {
  mHeight = height;
  mRotation = engine::Quaternion{};
  mAngle = 0.0f;
}

std::vector<world::HitSphere> Enemy::GetHitSpheres() const {
  const engine::Vec3 at = PlacementMatrix(mRotation).Translation();
  return {world::HitSphere{at.x, at.y, at.z, hitSphere.radius * SphereFactor()}};
}

float Enemy::NearAngle(const EnemyWorld& w) const {
  return world::SurfaceAngle(w.playerRotation, mRotation);
}

float Enemy::ArcDistance(const EnemyWorld& w) const {
  const float R = w.planet->R();
  return NearAngle(w) / 360.0f * (R * 2.0f * engine::kPi);
}

void Enemy::Step(float s, float R) {
  mRotation = engine::QuaternionMultiply(mRotation, world::ForwardArcRotation(mRotation, s, R));
}

void Enemy::Walk(float s, const world::Planet& planet) {
  Step(s, planet.R());
  StandOnGround(planet, hoverHeight);
}

engine::Matrix Enemy::DrawMatrix(float scale, bool tilt) const {
  // A quarter turn, as the game writes it in single precision.
  constexpr float kTilt = -1.5707963705062866f;
  engine::Matrix w = engine::MatrixScaling(scale, scale, scale);
  if (tilt) w = w * engine::MatrixRotationX(kTilt);
  return w * PlacementMatrix(mRotation);
}

void Enemy::DrawPosed(platform::Device& device, AnimeXFile::AnimatedModel* model,
                      const engine::Matrix& world) const {
  if (!model || !model->rootFrame) return;
  media::SetAnimationPosition(model, animClock);
  if (model->controller) model->controller->AdvanceTime(0.0);
  device.SetTransform(platform::TransformState::World, world);
  media::UpdateFrameMatrices(model->rootFrame, &world);
  media::DrawFrames(&device, model->rootFrame);
}

}  // namespace creatures
