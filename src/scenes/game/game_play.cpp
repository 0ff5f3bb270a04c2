#include "scenes/game/game_play.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "creatures/enemy_manager.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "scenes/flow.h"
#include "scenes/game/hud.h"
#include "scenes/stage.h"
#include "world/culling.h"
#include "world/world_objects.h"

namespace scenes {

using platform::Key;

namespace {

constexpr float kFadeStep = 3.0f;
constexpr float kCameraTurn = 2.0f;
constexpr float kFrameSeconds = 0.01666666753590107f;
constexpr float kSkyTurn = 0.10000000149011612f;
constexpr float kBannerSlide = 7.0f;
constexpr float kBannerStop = 527.0f;

#ifndef NDEBUG
// Debug builds stop at the first object whose place, height or size is not a
// finite number, naming it, instead of playing on with it.
void CheckFinite(const world::Chara& object, const char* list, std::size_t index) {
  const engine::Vec3 at = object.Position();
  const float values[] = {at.x, at.y, at.z, object.mHeight, object.mSize, object.mScale};
  for (float value : values) {
    if (std::isfinite(value)) continue;
    std::fprintf(stderr,
                 "poromeko: %s %zu (%s) is not at a finite place: position %g %g %g, "
                 "height %g, size %g, scale %g\n",
                 list, index, object.mName.empty() ? "unnamed" : object.mName.c_str(),
                 static_cast<double>(at.x), static_cast<double>(at.y), static_cast<double>(at.z),
                 static_cast<double>(object.mHeight), static_cast<double>(object.mSize),
                 static_cast<double>(object.mScale));
    std::abort();
  }
}

void CheckWorldFinite(const GameParent& game) {
  CheckFinite(*game.player, "the creature", 0);
  const auto& insects = game.services.enemies->enemies;
  for (std::size_t i = 0; i < insects.size(); ++i) CheckFinite(*insects[i], "insect", i);
  const auto& objects = game.services.objects->objects;
  for (std::size_t i = 0; i < objects.size(); ++i) CheckFinite(*objects[i], "placed object", i);
}
#endif

}  // namespace

GamePlay::~GamePlay() { sounds_.StopSound(content::sound::kGameBgm); }

void StepWorld(GameParent& game, const Tick& tick) {
  Services& services = tick.services;
  game.player->Update(creatures::PlayerWorld{
      tick.input, game.cameraYaw, game.planet, *services.enemies, *services.objects, game.score,
      services.soundRequests, services.verbose ? stdout : nullptr});
  services.enemies->UpdateEnemies(game.InsectView());
  services.objects->UpdateObjects(game.R());
  game.UpdateCamera();
}

SequenceChildBase* GamePlay::Update(GameParent* game, const Tick& tick) {
  SequenceChildBase* next = Step(game, tick);
  game->CullWorld();
  return next;
}

SequenceChildBase* GamePlay::Step(GameParent* game, const Tick& tick) {
  creatures::Player& player = *game->player;
  // The creature stands on the ground every frame, also while fading or
  // paused.
  const float d = player.DistanceToGround(game->planet);
  player.groundDistance = d;
  player.onGround = true;
  player.mHeight = player.mHeight + 1.5f * player.mSize - d;

  if (fading) {
    fadeAlpha -= kFadeStep;
    if (fadeAlpha > 0.0f) return this;
    fadeAlpha = 0.0f;
    fading = false;
    tick.services.soundRequests.PlaySoundLooping(content::sound::kGameBgm, true);
    return this;
  }

  if (game->paused) {
    // The prompt answers a fresh press only: a key held when it opened (a
    // gamepad's A bites and answers Yes) does not give the run up.
    if (tick.input.Pressed(Key::Y)) {
      return BuildScene(Next::Title, tick.services);  // the run is given up
    }
    if (tick.input.Pressed(Key::N)) game->paused = false;
    return this;
  }

  if (tick.input.Held(Key::Z)) {
    game->cameraYaw -= kCameraTurn;
    if (game->cameraYaw < 0.0f) game->cameraYaw += 360.0f;
  } else if (tick.input.Held(Key::X)) {
    game->cameraYaw += kCameraTurn;
    if (game->cameraYaw > 360.0f) game->cameraYaw -= 360.0f;
  }

  StepWorld(*game, tick);
#ifndef NDEBUG
  CheckWorldFinite(*game);
#endif

  creatures::ScoreState& score = game->score;
  if (score.comboTimer > 0) {
    --score.comboTimer;
    if (score.comboTimer <= 0) {
      score.comboShown = false;
      score.comboCount = 0;
      score.comboTimer = 0;
    }
  }

  bool timeUp = false;
  game->timeLeft -= kFrameSeconds;
  if (game->timeLeft <= 0.0f) {
    game->timeLeft = 0.0f;
    timeUp = true;
  }

  game->skyAngle += kSkyTurn;
  if (game->skyAngle > 360.0f) game->skyAngle -= 360.0f;

  score.comboBannerX -= kBannerSlide;
  if (score.comboBannerX < kBannerStop) score.comboBannerX = kBannerStop;

  AnimateBugIcons(score.bugIcons);

  // ESC pauses once per press; so does Enter (a gamepad's Start), which has
  // nothing else to do in play. Not in the update the time runs out: the
  // result would open paused, and Y there leaves before the score is ranked.
  const bool escape = EscapeEdge(tick, !game->paused && !timeUp);
  if (!timeUp && (escape || (tick.input.Pressed(Key::Return) && !game->paused))) {
    game->paused = true;
    tick.services.soundRequests.PlaySoundOnce(content::sound::kSelect);
  }

  if (timeUp) return BuildScene(Next::Result, tick.services);
  return this;
}

void GamePlay::Draw(GameParent* game, const DrawContext& frame) {
  platform::Device& device = frame.device;
  device.BeginScene();
  device.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFFFFFFFFu, 1.0f, 0);
  DrawWorld(*game, frame, true);
  DrawHud(*game, frame);
  game->player->DrawGlow(device, frame.meshes);
  if (fading) DrawFadeQuad(device, fadeAlpha);
  device.EndScene();
  device.Present();
}

}  // namespace scenes
