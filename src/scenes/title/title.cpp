#include "scenes/title/title.h"

#include <cmath>
#include <cstdio>

#include "creatures/body.h"
#include "engine/trig.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "scenes/flow.h"
#include "scenes/result/ranking.h"
#include "scenes/stage.h"

namespace scenes {

namespace tex = content::texture;
using engine::Matrix;
using platform::Key;

namespace {

constexpr float kSlideSpeed = 25.0f;
constexpr float kSqueezeEdge = 600.0f;
constexpr float kPlanetTurn = 0.2f;
constexpr float kBlinkStep = 5.0f;
constexpr float kCaterpillarStep = 0.1f;
constexpr float kCaterpillarStart = 300.0f;
constexpr float kCaterpillarReach = 30.0f;  // the creature bites when it is this near the top
constexpr float kScrollStep = 0.3f;
constexpr float kFadeStep = 3.0f;
constexpr double kBiteEnd = 0.7796609997749329;     // 46/59
constexpr double kChewEnd = 0.9152542352676392;     // 54/59
constexpr double kBiteCatch = 0.22033898532390594;  // 13/59
constexpr float kScoreDigitWidth = 21.0f;

using creatures::BodyTrack;
using creatures::kPlayerFrameStep;

// The demo caterpillar's controller (its model is the insects' too).
engine::AnimationController* CaterpillarController(media::MeshManager& meshes) {
  media::AnimatedModel* m = meshes.FindAnimatedModel(content::model::kCaterpillar);
  return m ? m->controller.get() : nullptr;
}

float Width(media::TextureManager& textures, const char* path) {
  const media::TextureRecord* r = textures.FindTexture(path);
  return r ? static_cast<float>(r->width) : 0.0f;
}

float Height(media::TextureManager& textures, const char* path) {
  const media::TextureRecord* r = textures.FindTexture(path);
  return r ? static_cast<float>(r->height) : 0.0f;
}

void DrawCaterpillar(platform::Device& device, media::MeshManager& meshes, const Matrix& world) {
  media::AnimatedModel* m = meshes.FindAnimatedModel(content::model::kCaterpillar);
  if (!m || !m->rootFrame) return;
  device.SetTransform(platform::TransformState::World, world);
  media::UpdateFrameMatrices(m->rootFrame, &world);
  media::DrawFrames(&device, m->rootFrame);
}

}  // namespace

Title::Title(Services& services) : captions(&content::CaptionsIn(services.language)) {
  media::MeshManager& meshes = *services.meshes;
  media::TextureManager& textures = *services.textures;
  // The music goes on from where the title left it before the last run.
  services.soundRequests.PlaySoundLooping(content::sound::kTitleBgm, false);
  titleState = kBannerIntro;
  logoTargetLeft = (800.0f - Width(textures, tex::kTitle)) / 2.0f;
  logoTargetRight = logoTargetLeft + Width(textures, tex::kTitle);
  pushEnterX = (800.0f - Width(textures, captions->pushEnter)) / 2.0f;
  pushEnterY = 500.0f;
  planetX = 400.0f;
  planetY = Height(textures, tex::kTitlePlanet) / 2.0f + 433.0f;

  const media::TitleList& player = services.tuning.title.player;
  playerTranslation =
      engine::MatrixTranslation(player.values[0], player.values[1], player.values[2]);
  playerRotation = engine::MatrixRotationY(-1.5707964f);
  playerScaling = engine::MatrixScaling(player.values[3], player.values[3], player.values[3]);
  for (creatures::BodyPart part :
       {creatures::kUpperBody, creatures::kLowerBody, creatures::kHands}) {
    BodyTrack track(meshes, part);
    track.Set(0);
    track.Speed(1.0f);
  }
  ReadCaterpillarCircle(services);
  // The caterpillar's model is the insects' too, and drawing play leaves
  // its walk wherever the last caterpillar drawn was: the title's walk
  // starts from the beginning, so that what it shows depends on its own
  // updates only.
  if (engine::AnimationController* c = CaterpillarController(meshes)) c->SetTrackPosition(0, 0.0);

  // The scores as the ranking reader reads them, written as the file writes
  // them.
  const Ranking ranking = LoadRanking(services.rankingPath);
  for (std::size_t i = 0; i < ranking.size(); ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "%06d", ranking[i]);
    rankingText[i] = text;
  }
}

void Title::ReadCaterpillarCircle(const Services& services) {
  const media::TitleList& enemy = services.tuning.title.enemy;
  caterpillarCentreX = enemy.values[0];
  caterpillarCentreY = enemy.values[1];
  caterpillarDepth = enemy.values[2];
  caterpillarRadius = enemy.values[3];
  caterpillarAngle = kCaterpillarStart;
}

SequenceChildBase* Title::Update(TitleParent*, const Tick& tick) {
  media::MeshManager& meshes = *tick.services.meshes;
  media::TextureManager& textures = *tick.services.textures;
  media::SoundRequests& sounds = tick.services.soundRequests;
  if (tick.input.Touched(Key::E)) {
    // Tuning the demo by hand: the circle is read from the file again.
    tick.services.tuning.title.enemy = media::ReadTitleList("Enemy", tick.services.tuningPath);
    ReadCaterpillarCircle(tick.services);
  }
  if (quitPrompt) {
    if (tick.input.Pressed(Key::Y)) {
      tick.services.quitRequested = true;
    } else if (tick.input.Pressed(Key::N)) {
      quitPrompt = false;
    }
    return this;
  }
  if (titleState != kLeaving) {
    if (engine::AnimationController* c = CaterpillarController(meshes)) {
      c->AdvanceTime(kPlayerFrameStep);
    }
    IntroStep();
    planetAngle -= kPlanetTurn;
  }
  if (planetAngle < 0.0f) planetAngle += 359.0f;

  pushEnterAlpha += kBlinkStep;
  if (pushEnterAlpha > 255.0f) pushEnterAlpha -= 255.0f;
  if (titleState == kLeaving) pushEnterAlpha = 255.0f;

  if (!tick.input.Held(Key::Return)) {
    enterArmed = true;
  } else if (enterArmed) {
    enterArmed = false;
    if (titleState == kWaiting) {
      sounds.PlaySoundOnce(content::sound::kSelect);
      titleState = kLeaving;
      sounds.StopSound(content::sound::kTitleBgm);
    } else if (titleState == kBannerIntro || titleState == kLogoIntro) {
      // Skips the intro.
      titleState = kWaiting;
      logoLeft = logoTargetLeft;
      logoRight = logoTargetRight;
      bannerLeft = 0.0f;
      bannerRight = 800.0f;
    }
  }

  if (titleState != kLeaving) {
    caterpillarAngle += kCaterpillarStep;
    if (caterpillarAngle >= 359.0f) caterpillarAngle = 0.0f;
    backgroundX -= kScrollStep;
    if (backgroundX < -Width(textures, tex::kTitleBack)) backgroundX = 0.0f;
    DemoPlayerStep(meshes);
  }

  if (titleState == kLeaving) {
    leaveFade += kFadeStep;
    if (leaveFade >= 255.0f) {
      leaveFade = 255.0f;
      return BuildScene(Next::Game, tick.services);
    }
  }

  if (EscapeEdge(tick, titleState == kWaiting)) {
    quitPrompt = true;
    sounds.PlaySoundOnce(content::sound::kSelect);
  }
  return this;
}

void Title::IntroStep() {
  if (titleState != kBannerIntro && titleState != kLogoIntro) return;
  const float v = slideSpeed;
  float edge = 0.0f;
  if (titleState == kBannerIntro) {
    bannerLeft += v;
    if (bannerLeft < 0.0f || v > 0.0f) bannerLeft = 0.0f;
    bannerRight += v;
    if (bannerRight >= 800.0f && v > 0.0f) {
      titleState = kLogoIntro;
      bannerRight = 800.0f;
      slideSpeed = -kSlideSpeed;
    }
    edge = bannerRight;
  } else {
    logoLeft += v;
    if (logoLeft < logoTargetLeft || v > 0.0f) logoLeft = logoTargetLeft;
    logoRight += v;
    if (logoRight >= logoTargetRight && v > 0.0f) {
      titleState = kWaiting;
      logoRight = logoTargetRight;
    }
    edge = logoRight;
  }
  // The piece runs on, squeezed, until its right edge reaches 600, then
  // springs back faster and faster.
  if (edge <= kSqueezeEdge && slideSpeed < 0.0f) slideSpeed = kSlideSpeed;
  if (slideSpeed > 0.0f) slideSpeed += 1.0f;
}

void Title::DemoPlayerStep(media::MeshManager& meshes) {
  BodyTrack upper(meshes, creatures::kUpperBody), lower(meshes, creatures::kLowerBody),
      hands(meshes, creatures::kHands);
  for (BodyTrack* part : {&upper, &lower, &hands}) part->Advance(kPlayerFrameStep);
  if (playerBiting) {
    upper.Speed(1.0f);
    if (upper.Position() >= kBiteEnd) {
      playerBiting = false;
      upper.SetPosition(0.0);
      upper.Set(creatures::kRun);
    }
  } else if (playerChewing) {
    upper.Speed(2.0f);
    upper.Set(creatures::kChew);
    if (upper.Position() >= kChewEnd) {
      playerChewing = false;
      upper.SetPosition(0.0);
      upper.Set(creatures::kRun);
    }
  } else {
    upper.Set(creatures::kRun);
  }

  if (!playerBiting && !playerChewing && caterpillarAngle <= kCaterpillarReach) {
    playerBiting = true;
    upper.Set(creatures::kBite);
    upper.SetPosition(0.0);
    return;
  }
  if (playerBiting && upper.Position() >= kBiteCatch && caterpillarAngle <= kCaterpillarReach) {
    // Caught: the caterpillar starts again on the right of its circle.
    playerChewing = true;
    caterpillarAngle = kCaterpillarStart;
  }
}

void DrawScoreText(const std::string& text, const DrawContext& frame, float x, float y) {
  engine::Sprite& sprite = frame.sprite;
  const media::TextureRecord* strip = frame.textures.FindTexture(tex::kTitleScoreNum);
  if (!strip || !strip->texture) return;
  const engine::Vec3 centre{0, 0, 0};
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') continue;
    const int left = (c - '0') * static_cast<int>(kScoreDigitWidth);
    const platform::Rect cell{left, 0, left + static_cast<int>(kScoreDigitWidth),
                              static_cast<std::int32_t>(strip->height)};
    sprite.SetTransform(
        engine::MatrixTranslation(x + kScoreDigitWidth * static_cast<float>(i), y, 0.0f));
    sprite.Draw(strip->texture, &cell, &centre, nullptr, 0xFFFFFFFFu);
  }
}

void Title::Draw(TitleParent*, const DrawContext& frame) {
  platform::Device& device = frame.device;
  engine::Sprite& sprite = frame.sprite;
  media::TextureManager& textures = frame.textures;
  media::MeshManager& meshes = frame.meshes;
  SetSceneLighting(device);
  device.SetTransform(platform::TransformState::View,
                      engine::MatrixLookAtLH({0, 0, -7}, {0, 0, 0}, {0, 1, 0}));
  device.SetTransform(platform::TransformState::Projection,
                      engine::MatrixPerspectiveFovLH(1.0471976f, 1.3333334f, 1.0f, 1000.0f));
  device.BeginScene();
  device.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFF000000u, 1.0f, 0);

  device.SetRenderState(platform::RenderState::ZEnable, 0);
  sprite.Begin(engine::kSpriteAlphaBlend);
  textures.DrawTexture(sprite, tex::kTitleBack, backgroundX, 0.0f, 255.0f);
  textures.DrawTexture(sprite, tex::kTitleBack,
                       backgroundX + Width(textures, tex::kTitleBack) - 5.0f, 0.0f, 255.0f);
  if (const media::TextureRecord* planet = textures.FindTexture(tex::kTitlePlanet)) {
    if (planet->texture) {
      sprite.SetTransform(engine::MatrixRotationZ(planetAngle * engine::kDegToRad) *
                          engine::MatrixTranslation(planetX, planetY, 0.0f));
      const platform::Rect whole{0, 0, static_cast<std::int32_t>(planet->width),
                                 static_cast<std::int32_t>(planet->height)};
      const engine::Vec3 centre{static_cast<float>(planet->width / 2),
                                static_cast<float>(planet->height / 2), 0.0f};
      sprite.Draw(planet->texture, &whole, &centre, nullptr, 0xFFFFFFFFu);
    }
  }
  if (titleState == kWaiting || titleState == kLeaving) {
    textures.DrawTexture(sprite, tex::kVer, 700.0f, 15.0f, 255.0f);
    textures.DrawTexture(sprite, captions->pushEnter, pushEnterX, pushEnterY, pushEnterAlpha);
    textures.DrawTexture(sprite, captions->keyLegend, kLegendX, kLegendY, 255.0f);
    DrawScoreText(rankingText[0], frame, 110.0f, 279.0f);
    DrawScoreText(rankingText[1], frame, 365.0f, 279.0f);
    DrawScoreText(rankingText[2], frame, 620.0f, 279.0f);
    textures.DrawTexture(sprite, tex::kCrown1, 25.0f, 250.0f, 255.0f);
    textures.DrawTexture(sprite, tex::kCrown2, 301.0f, 263.0f, 255.0f);
    textures.DrawTexture(sprite, tex::kCrown3, 567.0f, 277.0f, 255.0f);
  }
  sprite.End();

  device.SetRenderState(platform::RenderState::ZEnable, 1);
  const Matrix playerWorld = playerScaling * playerRotation * playerTranslation;
  // Posed where the demo's clocks stand, then drawn.
  for (creatures::BodyPart part : {creatures::kUpperBody, creatures::kLowerBody, creatures::kHands})
    BodyTrack(meshes, part).Advance(0.0);
  creatures::DrawBody(device, meshes, playerWorld);
  const float a = caterpillarAngle * engine::kDegToRad;
  Matrix caterpillar =
      engine::MatrixScaling(0.6f, 0.6f, 0.6f) * engine::MatrixRotationY(1.5707964f);
  caterpillar.m[3][0] = caterpillarCentreX - caterpillarRadius * engine::Sin(a);
  caterpillar.m[3][1] = caterpillarCentreY + caterpillarRadius * engine::Cos(a);
  caterpillar.m[3][2] = 0.0f;
  DrawCaterpillar(device, meshes, caterpillar);

  device.SetRenderState(platform::RenderState::ZEnable, 0);
  DrawPictureQuad(device, textures, tex::kTitleW, bannerLeft, 20.0f, bannerRight,
                  20.0f + Height(textures, tex::kTitleW));
  device.SetTransform(platform::TransformState::World, Matrix::Identity());
  DrawPictureQuad(device, textures, tex::kTitle, logoLeft, 60.0f, logoRight,
                  60.0f + Height(textures, tex::kTitle));

  if (quitPrompt) {
    DrawFadeQuad(device, 100.0f);
    sprite.Begin(engine::kSpriteAlphaBlend);
    textures.DrawTexture(sprite, captions->endGame, 0.0f, 0.0f, 255.0f);
    sprite.End();
  }
  if (titleState == kLeaving) DrawFadeQuad(device, leaveFade);
  device.EndScene();
  device.Present();
}

}  // namespace scenes
