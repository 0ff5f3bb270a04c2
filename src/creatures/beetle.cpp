#include "creatures/beetle.h"

#include "media/mesh_manager.h"
#include "media/paths.h"

namespace creatures {

namespace {

constexpr float kDrawScale = 0.2f;
constexpr float kAlarmDistance = 8.0f;  // along the surface, from the creature
constexpr int kAlarmEnd = 49;           // the alarm counter passes this, and off it goes
constexpr float kHalfTurn = 180.0f;
constexpr float kFlight = 0.07999999821186066f;
constexpr float kClimb = 0.03f;
constexpr float kGoneAt = 1.2f;  // times the planet radius: flown off the planet
// The wing beat: five fifty-ninths of a second per update, forty fifty-ninths
// per beat.
constexpr float kWingFrame = 0.084745765f;
constexpr float kWingBeat = 0.6779661f;

}  // namespace

Enemy03::Enemy03(float height) : Enemy(height) {
  mName = kInsectNames[kBeetle];
  hoverHeight = 1.5f;
  hitSphere.radius = 3.2f;
}

void Enemy03::Animate(float /*R*/) {
  if (!flying) return;
  animClock += kWingFrame;
  if (animClock >= kWingBeat) animClock = 0.0f;
}

bool Enemy03::EnemyUpdate(const EnemyWorld& world) {
  const float R = world.planet->R();
  Animate(R);
  if (!flying) {
    if (alarmCounter == 0 && ArcDistance(world) <= kAlarmDistance) alarmCounter = 1;
    if (alarmCounter == 0) return alive;
    // Once raised, the alarm runs on wherever the creature goes.
    alarmCounter += 1;
    if (alarmCounter > kAlarmEnd) {
      flying = true;
      mRotation = engine::QuaternionMultiply(mRotation, TurnRight(kHalfTurn));
    }
    if (!flying) return alive;
  }
  // It keeps its height rather than the ground's: it is leaving.
  Step(kFlight, R);
  mHeight += kClimb;
  if (mHeight >= R * kGoneAt) alive = false;
  return alive;
}

void Enemy03::Draw(platform::Device& device, media::MeshManager& meshes) {
  if (flying) {
    // The wings open along the body's own axes; it has left its trunk.
    DrawPosed(device, meshes.FindAnimatedModel(content::model::kBeetleBugFly),
              DrawMatrix(kDrawScale, false));
    return;
  }
  media::StaticMesh* mesh = meshes.FindStaticMesh(content::model::kBeetleBug);
  if (!mesh) return;
  device.SetTransform(platform::TransformState::World, DrawMatrix(kDrawScale, tilted));
  media::DrawStaticMesh(mesh, &device);
}

}  // namespace creatures
