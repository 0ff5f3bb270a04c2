#include "creatures/body.h"

namespace creatures {

namespace {

template <class DrawPart>
void ForEachPart(platform::Device& device, media::MeshManager& meshes, const engine::Matrix& world,
                 DrawPart draw) {
  for (const char* path : kBodyParts) {
    media::AnimatedModel* model = meshes.FindAnimatedModel(path);
    if (!model || !model->rootFrame) continue;
    device.SetTransform(platform::TransformState::World, world);
    media::UpdateFrameMatrices(model->rootFrame, &world);
    draw(model->rootFrame);
  }
}

}  // namespace

void DrawBody(platform::Device& device, media::MeshManager& meshes, const engine::Matrix& world) {
  ForEachPart(device, meshes, world,
              [&device](engine::Frame* root) { media::DrawFrames(&device, root); });
}

void DrawBodyAlpha(platform::Device& device, media::MeshManager& meshes,
                   const engine::Matrix& world, float alpha) {
  ForEachPart(device, meshes, world, [&device, alpha](engine::Frame* root) {
    media::DrawFramesAlpha(&device, root, alpha);
  });
}

}  // namespace creatures
