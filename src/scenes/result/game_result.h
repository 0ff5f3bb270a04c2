// The result phase: the last picture of the world frozen and darkened behind
// it, the creature walking in, turning to the viewer and burping, the title
// sliding in, the score counting up and entering the ranking, and Enter back
// to the title. ESC opens the pause prompt once the result is complete.
#pragma once

#include <vector>

#include "engine/math.h"
#include "platform/graphics.h"
#include "scenes/game/game_parent.h"

namespace scenes {

class GameResult : public GameChild {
 public:
  explicit GameResult(Services& services);
  ~GameResult() override;

  using GameChild::Draw;
  using GameChild::Update;
  SequenceChildBase* Update(GameParent* game, const Tick& tick) override;
  void Draw(GameParent* game, const DrawContext& frame) override;

  const content::texture::Captions* captions;
  float titleLeft, titleRight, titleTargetLeft, titleTargetRight;
  float shownScore = 0.0f;
  float countStep = 1.0f;
  float countAccel = 10.0f;
  bool snapshotTaken = false;
  platform::Texture* snapshot = nullptr;  // owned reference
  engine::Matrix modelScale, modelRotation, modelPlace;
  float modelTurned = 0.0f;
  float titleRightSpeed = -5.5f;
  std::vector<platform::Rect> scoreCells;
  int phase = 0;       // 0 title slide, 1 count-up, 2 ranking, 3 waiting for Enter
  int modelStage = 0;  // 0 walk-in, 1 turn, 2 burp, 3 idle
  bool burpShowing = false;
  int burpCounter = 0;
  float blink = 0.0f;  // alpha of the Enter prompt, a saw-tooth
  float promptX, promptY;
  bool enterReleased = false;
  int rankedPlace = -1;  // where the score entered the ranking (-1: it did not)

 private:
  void TakeSnapshot(GameParent& game, const DrawContext& frame);
};

}  // namespace scenes
