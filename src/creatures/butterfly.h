// The butterfly: rests until the creature comes close, then, after a moment
// of alarm, turns its back on the creature and flutters off, bobbing up and
// down, until it is far enough away to leave the planet.
#pragma once

#include "creatures/enemy.h"

namespace creatures {

class Enemy02 : public Enemy {
 public:
  explicit Enemy02(float height);

  bool EnemyUpdate(const EnemyWorld& world) override;
  // Resting wings while it sits, the flight while it flees.
  void Draw(platform::Device& device, media::MeshManager& meshes) override;
  void Animate(float R) override;

  int alarmCounter = 0;      // 0 until alarmed, then counts the updates of the alarm
  float yawToPlayer = 0;     // degrees it would have to turn to face the creature
  bool turningAway = false;  // turns its back on the creature while it flees
  int bobDirection = 1;      // 1 rising, -1 sinking
  float bobOffset = 0;       // height above its hover height, -0.2 to 0.2
  bool fleeing = false;

 protected:
  float SphereFactor() const override { return 2.0f; }

 private:
  void TurnAway(const EnemyWorld& world);
  void Bob();
};

}  // namespace creatures
