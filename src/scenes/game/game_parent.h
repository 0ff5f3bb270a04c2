// One run of the game: the game scene owns the creature, the planet, the
// camera, the score, the time limit and the ranking shown at the end, and
// holds its phase: the playing phase, then the result.
//
// The insects and the placed objects are not the game scene's: they live in
// the lists the shell made (Services: its enemies, objects and random must be
// set), which every new run refills.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "creatures/eating.h"
#include "creatures/enemy.h"
#include "creatures/player.h"
#include "engine/math.h"
#include "scenes/result/ranking.h"
#include "scenes/sequence.h"
#include "world/camera.h"
#include "world/chara.h"

namespace scenes {

class GameParent;
using GameChild = ChildScene<GameParent>;

inline constexpr float kRunSeconds = 180.0f;
inline constexpr float kCameraDistance = 600.0f;

class GameParent : public ParentScene<GameParent, GameChild> {
 public:
  explicit GameParent(Services& services);
  ~GameParent() override;

  // The camera's place for the creature as it stands now.
  void UpdateCamera();
  // Which placed objects the next picture shows, and which it shows
  // see-through, for the camera and the creature as they stand now (the end
  // of every update of play, so that drawing only reads it).
  void CullWorld();
  float R() const { return planet.R(); }
  // What an insect sees of the world this frame.
  creatures::EnemyWorld InsectView() const;

  Services& services;
  world::Camera camera;
  float cameraYaw = 0.0f;  // degrees, turned by Z and X
  float cameraDistance = kCameraDistance;
  world::Planet planet;
  std::unique_ptr<creatures::Player> player;
  creatures::ScoreState score;
  float timeLeft = kRunSeconds;  // seconds
  float skyAngle = 0.0f;         // degrees about the world's Y axis
  Ranking ranking{};
  bool paused = false;
  std::vector<platform::Rect> digitCells;  // the ten 40 x 57 cells of the HUD's digits
  std::array<engine::Vec2, 4> bugIconPositions;
};

// A new run, starting in the playing phase.
SequenceChild* NewGame(Services& services);

// The world as the playing phase draws it, from the lighting to the sky and
// the see-through trees (without the display and the fade); the result
// draws it once more, without the creature, for its picture.
void DrawWorld(GameParent& game, const DrawContext& frame, bool withPlayer);

}  // namespace scenes
