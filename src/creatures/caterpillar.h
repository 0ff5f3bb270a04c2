// The caterpillar: crawls straight on while the creature is near, inching
// forward only in the second half of each cycle of its crawl.
#pragma once

#include "creatures/enemy.h"

namespace creatures {

class Enemy01 : public Enemy {
 public:
  explicit Enemy01(float height);

  bool EnemyUpdate(const EnemyWorld& world) override;
  void Draw(platform::Device& device, media::MeshManager& meshes) override;
  // Its clock runs inside EnemyUpdate, where it also decides when to crawl.
  void Animate(float /*R*/) override {}

 protected:
  float SphereFactor() const override { return 1.5f; }
};

}  // namespace creatures
