// The insects: what every kind shares. Each kind lives in its own file
// (fly.h, caterpillar.h, butterfly.h, beetle.h); the enemy manager
// (enemy_manager.h) spawns, steps, draws and removes them.
//
// Insects act only while the creature is near. Every kind has a name that
// the eating rules know it by, a hover height it keeps above the ground, one
// hit sphere and its own animation clock, which it poses the shared model
// with right before it draws.
#pragma once

#include <string>
#include <vector>

#include "engine/math.h"
#include "platform/graphics.h"
#include "world/chara.h"

namespace AnimeXFile {
struct AnimatedModel;
}

namespace creatures {

// The insect kinds, numbered as the creature's size classes are.
enum InsectKind : int { kFly = 0, kCaterpillar = 1, kButterfly = 2, kBeetle = 3 };
inline constexpr int kInsectKindCount = 4;
// The names the insects are known by.
inline constexpr const char* kInsectNames[kInsectKindCount] = {"はえ", "あおむし", "ちょうちょ",
                                                               "かぶとむし"};
// The kind an insect's name stands for, or -1 for any other text.
int InsectKindOf(const std::string& name);

// What an insect sees of the world in its step: where the creature is, and
// the planet it walks on.
struct EnemyWorld {
  engine::Quaternion playerRotation;
  float playerHeight = 0;
  const world::Planet* planet = nullptr;
};

class Enemy : public world::Chara {
 public:
  // One step; false when the insect is gone (eaten, escaped, flown off).
  virtual bool EnemyUpdate(const EnemyWorld& world) = 0;
  // Advances the animation clock (each kind says when).
  virtual void Animate(float /*R*/) {}

  // One sphere at the insect's position, its template radius times the
  // kind's factor.
  std::vector<world::HitSphere> GetHitSpheres() const override;

  // The kind by name (-1 for none of the four).
  int Kind() const { return InsectKindOf(mName); }
  // The angle of arc between the creature and this insect, in degrees.
  float NearAngle(const EnemyWorld& world) const;
  // The same as a distance along the planet's surface.
  float ArcDistance(const EnemyWorld& world) const;
  // A step of s forward along the surface.
  void Step(float s, float R);

  bool tilted = false;  // placed against a tree: drawn turned a quarter about X
  bool alive = true;    // false once eaten or gone
  float hoverHeight = 0;
  world::HitSphere hitSphere;  // template: centre 0, the kind's radius
  float animClock = 0;         // seconds into the animation the model is posed at

 protected:
  explicit Enemy(float height);
  // The factor the template radius is scaled by.
  virtual float SphereFactor() const = 0;

  // The matrix the insect is drawn with: its model scaled (1 for none),
  // turned a quarter about X when `tilt` (lying against a tree trunk), and
  // placed where the insect stands.
  engine::Matrix DrawMatrix(float scale, bool tilt) const;
  // Poses the shared model at this insect's own clock, so every insect shows
  // its own moment of the animation whatever the others showed before, and
  // draws it with `world`. A model that is not loaded draws nothing.
  void DrawPosed(platform::Device& device, AnimeXFile::AnimatedModel* model,
                 const engine::Matrix& world) const;
  // A step of s forward along the surface, then back to the insect's hover
  // height above the ground.
  void Walk(float s, const world::Planet& planet);
};

}  // namespace creatures
