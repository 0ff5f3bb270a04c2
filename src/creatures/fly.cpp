#include "creatures/fly.h"

#include "media/mesh_manager.h"
#include "media/paths.h"

namespace creatures {

namespace {

constexpr float kDrawScale = 0.4f;
constexpr float kAwakeAngle = 45.0f;  // degrees of arc from the creature
constexpr float kFrame = 0.016666668f;
constexpr float kWalk = 0.05000000074505806f;

}  // namespace

Enemy04::Enemy04(float height) : Enemy(height) {
  mName = kInsectNames[kFly];
  hoverHeight = 1.5f;
  hitSphere.radius = 1.6f;
}

void Enemy04::Animate(float /*R*/) { animClock += kFrame; }

bool Enemy04::EnemyUpdate(const EnemyWorld& world) {
  Animate(world.planet->R());
  if (NearAngle(world) <= kAwakeAngle) Walk(kWalk, *world.planet);
  return alive;
}

void Enemy04::Draw(platform::Device& device, media::MeshManager& meshes) {
  DrawPosed(device, meshes.FindAnimatedModel(content::model::kFly), DrawMatrix(kDrawScale, tilted));
}

}  // namespace creatures
