// The playing phase: an 85-frame fade in, then three minutes of play with
// the music on; ESC pauses (Y gives up the run, N plays on), Z and X swing
// the camera. When the time is up the result phase takes over.
#pragma once

#include "scenes/game/game_parent.h"

namespace scenes {

class GamePlay : public GameChild {
 public:
  explicit GamePlay(Services& services) : sounds_(services.soundRequests) {}
  // Stops the music: the run is over or given up.
  ~GamePlay() override;

  using GameChild::Draw;
  using GameChild::Update;
  // A step of play, then what the next picture shows of the world.
  SequenceChildBase* Update(GameParent* game, const Tick& tick) override;
  void Draw(GameParent* game, const DrawContext& frame) override;

  bool fading = true;
  float fadeAlpha = 255.0f;

 private:
  SequenceChildBase* Step(GameParent* game, const Tick& tick);

  media::SoundRequests& sounds_;
};

// One frame's step of the world (the creature, the insects, the placed
// objects, the camera), as the playing phase runs it after its keys.
void StepWorld(GameParent& game, const Tick& tick);

}  // namespace scenes
