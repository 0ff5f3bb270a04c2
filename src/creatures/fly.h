// The fly: walks straight on, without pauses, while the creature is near.
#pragma once

#include "creatures/enemy.h"

namespace creatures {

class Enemy04 : public Enemy {
 public:
  explicit Enemy04(float height);

  bool EnemyUpdate(const EnemyWorld& world) override;
  void Draw(platform::Device& device, media::MeshManager& meshes) override;
  // Its wings keep beating even when it stands still far from the creature.
  void Animate(float R) override;

 protected:
  float SphereFactor() const override { return 0.4f; }
};

}  // namespace creatures
