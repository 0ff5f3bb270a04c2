#include "world/placed_objects.h"

#include <cmath>

#include "media/mesh_manager.h"
#include "media/paths.h"

namespace world {

using engine::Quaternion;

Trunk::Trunk(const char* name, const char* model, float radius, float height,
             const Quaternion& rotation)
    : model_(model) {
  mName = name;
  mHeight = height;
  mRotation = rotation;
  hitSphere.radius = radius;
}

void Trunk::Draw(platform::Device& device, media::MeshManager& meshes) {
  device.SetTransform(platform::TransformState::World, mWorld);
  media::DrawClosedStaticMesh(meshes.FindStaticMesh(model_), &device);
}

std::vector<HitSphere> Trunk::GetHitSpheres() const {
  const engine::Matrix place = PlacementMatrix(mRotation);
  const engine::Vec3 foot = place.Translation();
  const engine::Vec3 top = (engine::MatrixTranslation(0.0f, 3.0f, 0.0f) * place).Translation();
  const float r = mScale * hitSphere.radius;
  return {HitSphere{foot.x, foot.y, foot.z, r}, HitSphere{top.x, top.y, top.z, r}};
}

bool Trunk::GetDrawBounds(media::MeshManager& meshes, HitSphere* bounds) const {
  const media::StaticMesh* model = meshes.FindStaticMesh(model_);
  if (!model || !model->mesh) return false;
  const engine::Vec3 c = engine::Vec3TransformCoord(model->boundCentre, mWorld);
  *bounds = HitSphere{c.x, c.y, c.z, model->boundRadius * std::abs(mScale)};
  return true;
}

void Trunk::UpdateWorldMatrix() {
  mWorld = engine::MatrixScaling(mScale, mScale, mScale) * PlacementMatrix(mRotation);
}

Tree::Tree(float height, const Quaternion& rotation)
    : Trunk("Tree", content::model::kTree, 0.8f, height, rotation) {}

void Tree::DrawTranslucent(platform::Device& device, media::MeshManager& meshes, float alpha) {
  device.SetTransform(platform::TransformState::World, mWorld);
  media::DrawStaticMeshAlpha(meshes.FindStaticMesh(model_), &device, alpha * 255.0f);
}

Stump::Stump(float height, const Quaternion& rotation)
    : Trunk("Stump", content::model::kStump, 1.5f, height, rotation) {}

Flower::Flower(const Quaternion& rotation, float height) {
  mName = "Flower";
  mRotation = rotation;
  mHeight = height;
}

void Flower::Draw(platform::Device& device, media::MeshManager& meshes) {
  media::AnimatedModel* model = meshes.FindAnimatedModel(content::model::kFlower);
  if (!model || !model->rootFrame) return;
  if (model->controller) {
    model->controller->SetTrackAnimationSet(0, model->animationSets[0]);
    model->controller->SetTrackPosition(0, animClock);
    model->controller->AdvanceTime(0.0);
  }
  device.SetTransform(platform::TransformState::World, mWorld);
  media::UpdateFrameMatrices(model->rootFrame, &mWorld);
  media::DrawFrames(&device, model->rootFrame);
}

bool Flower::Update(float) {
  animClock += 0.01666666753590107f;
  return true;
}

std::vector<HitSphere> Flower::GetHitSpheres() const {
  const engine::Vec3 at = PlacementMatrix(mRotation).Translation();
  return {HitSphere{at.x, at.y, at.z, mScale}};
}

void Flower::UpdateWorldMatrix() { mWorld = PlacementMatrix(mRotation); }

}  // namespace world
