#include "creatures/butterfly.h"

#include <cmath>

#include "media/mesh_manager.h"
#include "media/paths.h"

namespace creatures {

namespace {

constexpr float kAlarmDistance = 8.0f;  // along the surface, from the creature
constexpr int kAlarmEnd = 49;           // the alarm counter passes this, and off it goes
constexpr float kFacingAway = 177.0f;   // degrees: its back is already to the creature
constexpr float kTurn = 3.0f;
constexpr float kFlight = 0.10000000149011612f;
constexpr float kBobStep = 0.05f;
constexpr float kBobLimit = 0.2f;
// The bob turns at the step that lands on the limit. Counting 0.05 down from
// 0.2 in single precision ends a hair above -0.2, so comparing with the limit
// itself would sink one step further on the way down than it rises.
constexpr float kBobTurn = kBobLimit - kBobStep / 2.0f;
constexpr float kEscapeAngle = 50.0f;  // degrees of arc from the creature: gone
constexpr float kFrame = 0.016666668f;

// The animation sets of the butterfly's model.
constexpr int kFlightSet = 0;
constexpr int kRestSet = 1;

}  // namespace

Enemy02::Enemy02(float height) : Enemy(height) {
  mName = kInsectNames[kButterfly];
  hoverHeight = 1.4f;
  hitSphere.radius = 1.0f;
}

void Enemy02::Animate(float /*R*/) { animClock += kFrame; }

void Enemy02::TurnAway(const EnemyWorld& world) {
  const engine::Vec3 player = world::Up(world.playerRotation) * world.playerHeight;
  yawToPlayer = world::YawErrorToward(mAngle, player, mRotation, world.playerRotation);
  if (std::fabs(yawToPlayer) >= kFacingAway) return;
  // A positive error means the creature is to its right: it turns left.
  const engine::Quaternion turn = TurnRight(yawToPlayer > 0.0f ? -kTurn : kTurn);
  mRotation = engine::QuaternionMultiply(mRotation, turn);
}

void Enemy02::Bob() {
  if (bobDirection == 1) {
    bobOffset += kBobStep;
    if (bobOffset >= kBobTurn) bobDirection = -1;
  } else if (bobDirection == -1) {
    bobOffset -= kBobStep;
    if (bobOffset <= -kBobTurn) bobDirection = 1;
  }
}

bool Enemy02::EnemyUpdate(const EnemyWorld& world) {
  if (!fleeing && alarmCounter == 0 && ArcDistance(world) <= kAlarmDistance) alarmCounter = 1;
  // Once raised, the alarm runs on wherever the creature goes.
  if (alarmCounter > 0 && !fleeing) {
    alarmCounter += 1;
    if (alarmCounter > kAlarmEnd) {
      fleeing = true;
      turningAway = true;
    }
  }
  if (turningAway) TurnAway(world);
  if (fleeing) {
    Step(kFlight, world.planet->R());
    Bob();
    mHeight = mHeight - DistanceToGround(*world.planet) + hoverHeight + bobOffset;
    if (NearAngle(world) >= kEscapeAngle) return false;
  }
  Animate(world.planet->R());
  return alive;
}

void Enemy02::Draw(platform::Device& device, media::MeshManager& meshes) {
  media::AnimatedModel* model = meshes.FindAnimatedModel(content::model::kButterfly);
  if (!model) return;
  if (model->controller)
    model->controller->SetTrackAnimationSet(0,
                                            model->animationSets[fleeing ? kFlightSet : kRestSet]);
  DrawPosed(device, model, DrawMatrix(1.0f, tilted));
}

}  // namespace creatures
