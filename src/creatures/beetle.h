// The beetle: sits still (against its tree trunk, as a rule) until the
// creature comes close; after a moment of alarm it turns about and flies
// off, climbing away from the planet until it is gone.
#pragma once

#include "creatures/enemy.h"

namespace creatures {

class Enemy03 : public Enemy {
 public:
  explicit Enemy03(float height);

  bool EnemyUpdate(const EnemyWorld& world) override;
  // The resting beetle is a still model; in flight it beats its wings.
  void Draw(platform::Device& device, media::MeshManager& meshes) override;
  // Only its wings are animated: the clock runs in flight alone.
  void Animate(float R) override;

  int alarmCounter = 0;  // 0 until alarmed, then counts the updates of the alarm
  bool flying = false;

 protected:
  float SphereFactor() const override { return 0.2f; }
};

}  // namespace creatures
