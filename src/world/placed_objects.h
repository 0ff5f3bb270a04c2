// The objects that stand where the placement file puts them: trees and stumps
// the creature bumps into, and flowers it walks through. They never move:
// each builds its world matrix once, when it is placed.
#pragma once

#include "platform/graphics.h"
#include "world/chara.h"

namespace world {

// A tree or a stump: a static model, and two spheres that block the way, one
// at the foot and one 3 units further up, both of the template radius times
// the object's scale.
class Trunk : public Chara {
 public:
  void Draw(platform::Device& device, media::MeshManager& meshes) override;
  std::vector<HitSphere> GetHitSpheres() const override;
  bool GetDrawBounds(media::MeshManager& meshes, HitSphere* bounds) const override;
  // mWorld = uniform scaling by mScale, then the placement.
  void UpdateWorldMatrix() override;

  HitSphere hitSphere;  // template: centre 0, the kind's radius

 protected:
  Trunk(const char* name, const char* model, float radius, float height,
        const engine::Quaternion& rotation);
  const char* model_;
};

class Tree : public Trunk {
 public:
  Tree(float height, const engine::Quaternion& rotation);
  // Every material with its diffuse alpha replaced by alpha (0 to 1): drawn
  // see-through when the tree stands between the camera and the creature.
  void DrawTranslucent(platform::Device& device, media::MeshManager& meshes, float alpha) override;
};

class Stump : public Trunk {
 public:
  Stump(float height, const engine::Quaternion& rotation);
};

// A swaying flower. Its scale does not scale the model, only its sphere,
// which nothing is pushed by: the creature walks through flowers.
class Flower : public Chara {
 public:
  Flower(const engine::Quaternion& rotation, float height);
  void Draw(platform::Device& device, media::MeshManager& meshes) override;
  // Advances the sway one sixtieth of a second.
  bool Update(float R) override;
  std::vector<HitSphere> GetHitSpheres() const override;
  void UpdateWorldMatrix() override;

  float animClock = 0;  // seconds into the sway the model is posed at
};

}  // namespace world
