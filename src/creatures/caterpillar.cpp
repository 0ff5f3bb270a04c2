#include "creatures/caterpillar.h"

#include "media/mesh_manager.h"
#include "media/paths.h"

namespace creatures {

namespace {

constexpr float kDrawScale = 1.5f;
constexpr float kAwakeAngle = 45.0f;    // degrees of arc from the creature
constexpr float kFrame = 0.016666668f;  // one update of its clock
constexpr float kCycle = 0.98333335f;   // the crawl starts over from here
constexpr float kPushOff = 0.5f;        // the body stretches forward after this
constexpr float kCrawl = 0.05000000074505806f;

}  // namespace

Enemy01::Enemy01(float height) : Enemy(height) {
  mName = kInsectNames[kCaterpillar];
  hoverHeight = 0.2f;
  hitSphere.radius = 0.8f;
}

bool Enemy01::EnemyUpdate(const EnemyWorld& world) {
  if (NearAngle(world) <= kAwakeAngle) {
    animClock += kFrame;
    if (animClock >= kCycle) animClock = 0.0f;
    if (animClock >= kPushOff) Walk(kCrawl, *world.planet);
  }
  return alive;
}

void Enemy01::Draw(platform::Device& device, media::MeshManager& meshes) {
  DrawPosed(device, meshes.FindAnimatedModel(content::model::kCaterpillar),
            DrawMatrix(kDrawScale, tilted));
}

}  // namespace creatures
