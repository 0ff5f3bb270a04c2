#include "scenes/result/game_result.h"

#include <cstdio>

#include "creatures/body.h"
#include "creatures/enemy_manager.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "scenes/flow.h"
#include "scenes/stage.h"

namespace scenes {

namespace tex = content::texture;
using engine::Matrix;
using platform::Key;

namespace {

constexpr double kBurpShows = 0.33898305892944336;  // 20/59
constexpr double kBurpEnds = 0.9830508232116699;    // 58/59
constexpr float kWalkStep = 0.05f;
constexpr float kWalkStop = 3.5f;
constexpr float kTurnStep = -0.008726646192371845f;  // half a degree
constexpr int kBurpFrames = 100;

using creatures::BodyTrack;
using creatures::kPlayerFrameStep;

BodyTrack Part(media::MeshManager& meshes, int i) {
  return BodyTrack(meshes, static_cast<creatures::BodyPart>(i));
}

float TextureWidth(media::TextureManager& textures, const char* path) {
  const media::TextureRecord* r = textures.FindTexture(path);
  return r ? static_cast<float>(r->width) : 0.0f;
}

}  // namespace

GameResult::GameResult(Services& services) : captions(&content::CaptionsIn(services.language)) {
  media::MeshManager& meshes = *services.meshes;
  modelScale = engine::MatrixScaling(0.3499999940395355f, 0.3499999940395355f, 0.3499999940395355f);
  modelRotation = engine::MatrixRotationY(1.5707963705062866f);
  modelPlace = engine::MatrixTranslation(7.0f, -3.25f, 0.0f);
  for (int i = 0; i < 3; ++i) {
    BodyTrack part = Part(meshes, i);
    part.SetPosition(0.0);
    part.Set(creatures::kRun);
  }
  const float w = TextureWidth(*services.textures, captions->result);
  titleLeft = 800.0f;
  titleRight = 800.0f + w;
  titleTargetLeft = (800.0f - w) * 0.5f;
  titleTargetRight = titleTargetLeft + w;
  scoreCells = media::MakeDigitCells(55, 79);
  promptX = (800.0f - TextureWidth(*services.textures, captions->pushEnter)) * 0.5f;
  promptY = 500.0f;
  services.soundRequests.StopSound(content::sound::kGameBgm);
  services.soundRequests.PlaySoundOnce(content::sound::kEnd);
}

GameResult::~GameResult() {
  if (snapshot) snapshot->Release();
}

SequenceChildBase* GameResult::Update(GameParent* game, const Tick& tick) {
  media::MeshManager& meshes = *tick.services.meshes;
  if (game->paused) {
    if (tick.input.Pressed(Key::Y)) return BuildScene(Next::Title, tick.services);
    if (tick.input.Pressed(Key::N)) game->paused = false;
    return this;
  }
  blink += 5.0f;
  if (blink > 255.0f) blink -= 255.0f;

  bool leave = false;
  switch (phase) {
    case 0:
      titleLeft -= 5.5f;
      if (titleLeft < titleTargetLeft) titleLeft = titleTargetLeft;
      titleRight += titleRightSpeed;
      if (titleRightSpeed < 0.0f && titleRight < 400.0f) titleRightSpeed = 7.5f;
      if (titleRightSpeed > 0.0f && titleRight >= titleTargetRight) {
        titleRight = titleTargetRight;
        phase = 1;
      }
      break;
    case 1:
      shownScore += countStep;
      countStep += countAccel;
      countAccel += 10.0f;
      if (static_cast<float>(game->score.score) < shownScore) {
        shownScore = static_cast<float>(game->score.score);
        countStep = 0.0f;
        phase = 2;
      }
      break;
    case 2:
      rankedPlace = EnterScore(game->ranking, game->score.score, tick.services.rankingPath);
      ++tick.services.runsFinished;
      tick.services.lastRun = {game->score.score, game->score.bestCombo, game->score.meals,
                               game->player->mSize, rankedPlace};
      phase = 3;
      break;
    default:
      if (tick.input.Held(Key::Return) && enterReleased) {
        enterReleased = false;
        tick.services.soundRequests.PlaySoundOnce(content::sound::kSelect);
        leave = true;
      }
      if (!tick.input.Held(Key::Return)) enterReleased = true;
      break;
  }

  switch (modelStage) {
    case 0:
      modelPlace = engine::MatrixTranslation(-kWalkStep, 0.0f, 0.0f) * modelPlace;
      if (modelPlace.m[3][0] <= kWalkStop) {
        modelPlace.m[3][0] = kWalkStop;
        modelStage = 1;
      }
      break;
    case 1:
      modelPlace = engine::MatrixRotationY(kTurnStep) * modelPlace;
      modelTurned += 0.5f;
      if (modelTurned > 45.0f) {
        for (int i = 0; i < 3; ++i) Part(meshes, i).Set(creatures::kIdle);
        Part(meshes, 0).Set(creatures::kBurp);
        Part(meshes, 0).SetPosition(0.0);
        modelStage = 2;
      }
      break;
    case 2: {
      for (int i = 0; i < 3; ++i) Part(meshes, i).Advance(kPlayerFrameStep);
      const double at = Part(meshes, 0).Position();
      if (at >= kBurpShows && burpCounter == 0) burpShowing = true;
      if (at >= kBurpEnds) {
        modelStage = 3;
        for (int i = 0; i < 3; ++i) Part(meshes, i).Set(creatures::kIdle);
      }
      break;
    }
    default: break;
  }
  if (modelStage != 2) {
    for (int i = 0; i < 3; ++i) Part(meshes, i).Advance(kPlayerFrameStep);
  }

  if (burpShowing) {
    ++burpCounter;
    if (burpCounter > kBurpFrames - 1) burpShowing = false;
  }

  if (tick.input.Held(Key::Escape) && !game->paused && phase == 3) {
    game->paused = true;
    tick.services.soundRequests.PlaySoundOnce(content::sound::kSelect);
  }
  if (leave) return BuildScene(Next::Title, tick.services);
  return this;
}

void GameResult::TakeSnapshot(GameParent& game, const DrawContext& frame) {
  platform::Device& device = frame.device;
  platform::Surface* savedDepth = device.GetDepthStencilSurface();
  snapshot = device.CreateTexture(800, 600, platform::Usage::RenderTarget);
  platform::Surface* target = snapshot ? snapshot->GetSurfaceLevel(0) : nullptr;
  platform::Surface* depth = device.CreateDepthStencilSurface(800, 600, platform::DepthFormat::D16);
  if (target && depth) {
    device.SetRenderTarget(0, target);
    device.SetDepthStencilSurface(depth);
    device.SetViewport(platform::Viewport{0, 0, 800, 600, 0.0f, 1.0f});
    device.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFF0000FFu, 1.0f, 0);
    device.BeginScene();
    device.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFFFFFFFFu, 1.0f, 0);
    // The world as play left it, without the creature (it walks in again)
    // and without the display.
    DrawWorld(game, frame, false);
    // Darkened, with stage 0 as the world left it.
    DrawScreenQuad(device, 0.0f, 0.0f, 800.0f, 600.0f, 150u << 24);
    device.EndScene();
    device.SetRenderTarget(0, frame.backBuffer);
    device.SetDepthStencilSurface(savedDepth);
  } else {
    std::fprintf(stderr, "poromeko: no picture of the world for the result screen\n");
  }
  if (savedDepth) savedDepth->Release();
  if (target) target->Release();
  if (depth) depth->Release();
}

void GameResult::Draw(GameParent* game, const DrawContext& frame) {
  platform::Device& device = frame.device;
  if (!snapshotTaken) {
    // The one capture a draw makes: the world as play left it is drawn once
    // into a picture of the result's own, with the device only a draw has
    // (an update never draws). It changes nothing of the run.
    TakeSnapshot(*game, frame);
    snapshotTaken = true;
  }
  SetSceneLighting(device);
  device.SetTransform(platform::TransformState::View,
                      engine::MatrixLookAtLH({0, 0, -7}, {0, 0, 0}, {0, 1, 0}));
  device.SetTransform(
      platform::TransformState::Projection,
      engine::MatrixPerspectiveFovLH(1.0471975803375244f, 1.3333333730697632f, 1.0f, 1000.0f));
  device.BeginScene();
  device.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFFFFFFFFu, 1.0f, 0);

  device.LightEnable(0, true);
  device.SetRenderState(platform::RenderState::ZEnable, 0);
  device.SetTexture(0, snapshot);
  device.SetTransform(platform::TransformState::World, Matrix::Identity());
  DrawScreenQuad(device, 0.0f, 0.0f, 800.0f, 600.0f, 0xFFFFFFFFu, 1.0f, 1.0f);
  device.SetRenderState(platform::RenderState::ZEnable, 1);

  const Matrix figure = modelScale * modelRotation * modelPlace;
  creatures::DrawBody(device, frame.meshes, figure);

  if (const media::TextureRecord* title = frame.textures.FindTexture(captions->result)) {
    DrawPictureQuad(device, frame.textures, captions->result, titleLeft, 50.0f, titleRight,
                    50.0f + static_cast<float>(title->height));
  }

  engine::Sprite& sprite = frame.sprite;
  sprite.Begin(engine::kSpriteAlphaBlend);
  frame.textures.DrawTexture(sprite, captions->score, 130.0f, 260.0f, 255.0f);
  char text[32];
  std::snprintf(text, sizeof text, "%06d", static_cast<int>(shownScore));
  DrawDigits(frame, tex::kResultScoreNum, scoreCells, text,
             TextureWidth(frame.textures, captions->score) + 20.0f + 130.0f, 260.0f);
  if (burpShowing) {
    // Fades out over the hundred updates it shows.
    const float fade = static_cast<float>(burpCounter) / static_cast<float>(kBurpFrames);
    frame.textures.DrawTexture(sprite, captions->burp, 500.0f, 420.0f, 255.0f - fade * 255.0f);
  }
  if (phase == 3) frame.textures.DrawTexture(sprite, captions->pushEnter, promptX, promptY, blink);
  sprite.End();

  if (game->paused) {
    DrawFadeQuad(device, 100.0f);  // untextured: the title picture's corner texel is clear
    sprite.Begin(engine::kSpriteAlphaBlend);
    frame.textures.DrawTexture(sprite, captions->backTitle, 0.0f, 0.0f, 255.0f);
    sprite.End();
  }
  device.EndScene();
  device.Present();
}

}  // namespace scenes
