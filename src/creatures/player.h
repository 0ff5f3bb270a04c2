// The creature the player steers: its keys, turning and walking over the
// sphere, the pushes that keep it out of insects and obstacles, its bite,
// hunger and glow, its body animations and its drawing. What a bite does to
// the insect it meets is in eating.h.
#pragma once

#include <cstdio>
#include <string>

#include "creatures/body.h"
#include "creatures/eating.h"
#include "media/sound_manager.h"
#include "media/tuning.h"
#include "platform/graphics.h"
#include "platform/input.h"
#include "world/chara.h"
#include "world/world_objects.h"

namespace creatures {

class EnemyManager;

// What the creature's step reads and writes besides itself.
struct PlayerWorld {
  const platform::TickInput& input;
  float cameraYaw = 0;  // degrees
  const world::Planet& planet;
  EnemyManager& enemies;
  world::WorldObjects& objects;
  ScoreState& score;
  media::SoundRequests& sounds;   // the sounds the step asks for
  std::FILE* debugOut = nullptr;  // where the turning lines go; none when null
};

class Player : public world::Chara {
 public:
  // The body's models come from `meshes`, which must outlive the creature.
  Player(const media::PlayerTuning& tuning, media::MeshManager& meshes);

  // One update: keys, turning and walking, the bite, pushes, the bite's hit,
  // hunger, glow and the animation step. (The placed-object step keeps the
  // base behaviour: nothing calls it for the creature.)
  using world::Chara::Update;
  void Update(const PlayerWorld& world);
  // The three parts of the body, posed as the last update left them.
  void Draw(platform::Device& device, media::MeshManager& meshes) override;
  // The swelling, fading, additive copy of the body after a meal.
  void DrawGlow(platform::Device& device, media::MeshManager& meshes);

  // The world matrix of the body at a scale.
  engine::Matrix BodyMatrix(float scale) const;
  // Where the mouth is: the bite sphere's centre, scaled by the size and
  // carried to the creature's place.
  engine::Vec3 MouthCentre() const;
  int SizeClass() const { return creatures::SizeClass(mSize); }
  // Where the upper body's animation stands, in seconds.
  double UpperBodyPosition() const;

  float groundDistance = 0;
  world::HitSphere bodySphere;
  bool onGround = false;
  bool moving = false;
  bool biting = false;
  bool chewing = false;
  bool recoiling = false;
  double recoilPosition = 0;
  world::HitSphere biteSphere;
  float mStartJumpV = 0, mStartGravity = 0, mFrameMinus = 0, mMaxGravity = 0;
  std::string lastEaten;
  bool glowing = false;
  float glowScale = 1.0f;
  int hungerInterval = 50;
  int hungerCounter = 0;
  int moveDirection = 0;  // degrees relative to the camera: 0, 90, 180 or 270

 private:
  void ReadKeys(const platform::TickInput& input);
  void TurnAndWalk(const PlayerWorld& world);
  void StartBite(const platform::TickInput& input, media::SoundRequests& sounds);
  void PushOutOfInsects(const PlayerWorld& world);
  void PushOutOfObjects(const PlayerWorld& world);
  void TestBite(const PlayerWorld& world);
  void Hunger();
  void Glow();
  void Animate(media::SoundRequests& sounds);

  media::MeshManager& meshes_;
};

// The bite window: the mouth is tested in the update in which the bite
// animation stands at 14/59 of a second, whatever the rounding of the
// animation clock (a clock summing 1/59 in single precision stands at
// 0.2372881 there, in double precision at 0.2372881360; both are frame 14),
// and at 13.5/59 for a bite whose clock runs on half frames.
bool InBiteWindow(double bitePosition);

// Settles the bite whose mouth touched `insect` (the eating rules judge it):
// eaten (the creature starts chewing, its hunger starts again) or too big
// (the bite springs back from where it is).
void SettleBite(Player& player, Enemy& insect, ScoreState& score, media::SoundRequests& sounds);
// The end of the chew: the creature grows by what it ate, glows, gulps.
void Swallow(Player& player, media::SoundRequests& sounds);

}  // namespace creatures
