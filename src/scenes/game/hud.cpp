#include "scenes/game/hud.h"

#include <cstdio>

#include "media/paths.h"
#include "media/texture_manager.h"
#include "scenes/game/game_parent.h"
#include "scenes/stage.h"

namespace scenes {

namespace tex = content::texture;
using creatures::BugIcon;

namespace {

constexpr float kPulseStep = 0.03999999910593033f;
constexpr float kPulsePeak = 1.4f;
constexpr float kShakeStep = 1.5f;
constexpr float kShakeReach = 2.0f;
constexpr int kBrightAlpha = 255;
constexpr int kDimAlpha = 100;
constexpr const char* kIcons[4] = {tex::kS, tex::kM, tex::kL, tex::kW};
constexpr const char* kMissIcons[4] = {tex::kSMiss, tex::kMMiss, tex::kLMiss, tex::kWMiss};

std::uint32_t Width(media::TextureManager& textures, const char* path) {
  const media::TextureRecord* r = textures.FindTexture(path);
  return r ? r->width : 0;
}
std::uint32_t Height(media::TextureManager& textures, const char* path) {
  const media::TextureRecord* r = textures.FindTexture(path);
  return r ? r->height : 0;
}

void DrawIcon(const DrawContext& frame, int kind, const BugIcon& icon, engine::Vec2 at,
              bool bright) {
  engine::Sprite& sprite = frame.sprite;
  const char* path = icon.result == 2 ? kMissIcons[kind] : kIcons[kind];
  const media::TextureRecord* record = frame.textures.FindTexture(path);
  if (!record || !record->texture) return;
  const platform::Rect whole{0, 0, static_cast<std::int32_t>(record->width),
                             static_cast<std::int32_t>(record->height)};
  // Centred on its place, so it scales about its middle.
  const engine::Vec3 centre{static_cast<float>(record->width / 2),
                            static_cast<float>(record->height / 2), 0.0f};
  engine::Matrix m = engine::MatrixTranslation(at.x, at.y, 0.0f);
  platform::Color color = media::AlphaColor(static_cast<float>(bright ? kBrightAlpha : kDimAlpha));
  if (icon.result == 1) {
    m = engine::MatrixScaling(icon.pulse, icon.pulse, icon.pulse) * m;
  } else if (icon.result == 2) {
    m = engine::MatrixScaling(icon.pulse, icon.pulse, icon.pulse) *
        engine::MatrixTranslation(at.x + icon.shake, at.y, 0.0f);
    color = 0xFFFFFFFFu;
  }
  sprite.SetTransform(m);
  sprite.Draw(record->texture, &whole, &centre, nullptr, color);
}

}  // namespace

void AnimateBugIcons(std::array<BugIcon, 4>& icons) {
  for (BugIcon& b : icons) {
    const bool missed = b.result == 2;
    if (b.result == 1 || b.result == 2) {
      b.pulse += static_cast<float>(b.pulseStep) * kPulseStep;
      if (b.pulse > kPulsePeak && b.pulseStep == 1) {
        b.pulseStep = -1;
      } else if (b.pulse <= 1.0f && b.pulseStep == -1) {
        b.result = 0;
      }
    }
    if (missed) {
      b.shake += static_cast<float>(b.shakeStep) * kShakeStep;
      if (b.shake > kShakeReach && b.shakeStep == 1) {
        b.shake = kShakeReach;
        b.shakeStep = -1;
      } else if (b.shake < -kShakeReach && b.shakeStep == -1) {
        b.shake = -kShakeReach;
        b.shakeStep = 1;
      }
    }
  }
}

void DrawHud(const GameParent& game, const DrawContext& frame) {
  engine::Sprite& sprite = frame.sprite;
  media::TextureManager& textures = frame.textures;
  const content::texture::Captions& captions = content::CaptionsIn(game.services.language);
  const creatures::ScoreState& s = game.score;
  const std::vector<platform::Rect>& cells = game.digitCells;
  const platform::Rect cell = cells.empty() ? platform::Rect{0, 0, 40, 57} : cells[0];
  char text[32];
  sprite.Begin(engine::kSpriteAlphaBlend);

  if (s.comboShown) {
    std::snprintf(text, sizeof text, "%d", s.comboCount);
    const float x = DrawDigits(frame, tex::kNumCombo, cells, text, s.comboBannerX, 250.0f);
    textures.DrawTexture(sprite, captions.combo, x, 275.0f, 255.0f);
    const float left =
        static_cast<float>(s.comboTimer) / static_cast<float>(creatures::kComboFrames);
    const int w =
        static_cast<int>(static_cast<float>(Width(textures, tex::kComboTimeGauge)) * left);
    textures.DrawTexturePart(sprite, tex::kComboTimeGauge, s.comboBannerX, 320.0f, 255.0f, 0, 0, w,
                             static_cast<std::int32_t>(Height(textures, tex::kComboTimeGauge)));
  }

  std::snprintf(text, sizeof text, "%06d", s.score);
  DrawDigits(frame, tex::kNum, cells, text, 20.0f,
             static_cast<float>(600 - cell.bottom - cell.top - 20));

  const float cellWidth = static_cast<float>(cell.right - cell.left);
  float x = 800.0f - (3.0f * cellWidth + static_cast<float>(Width(textures, tex::kDot)) +
                      static_cast<float>(Width(textures, tex::kTime)) + 20.0f);
  textures.DrawTexture(sprite, tex::kTime, x, 20.0f, 255.0f);
  x += static_cast<float>(Width(textures, tex::kTime));
  const int seconds = static_cast<int>(game.timeLeft);
  std::snprintf(text, sizeof text, "%d", seconds / 60);
  x = DrawDigits(frame, tex::kNum, cells, text, x, 20.0f);
  const float dotY = static_cast<float>(static_cast<int>(Height(textures, tex::kNum)) -
                                        static_cast<int>(Height(textures, tex::kDot))) *
                         0.5f +
                     20.0f;
  textures.DrawTexture(sprite, tex::kDot, x, dotY, 255.0f);
  x += static_cast<float>(Width(textures, tex::kDot));
  std::snprintf(text, sizeof text, "%02d", seconds % 60);
  DrawDigits(frame, tex::kNum, cells, text, x, 20.0f);

  const float growth = (game.player->mSize - 0.5f) * 2.0f;
  const int filled =
      static_cast<int>(static_cast<float>(Width(textures, tex::kWildGaugeVal)) * growth);
  textures.DrawTexturePart(sprite, tex::kWildGaugeVal, 20.0f, 72.0f, 255.0f, 0, 0, filled,
                           static_cast<std::int32_t>(Height(textures, tex::kWildGaugeVal)));
  textures.DrawTexture(sprite, tex::kWildGauge, 20.0f, 72.0f, 255.0f);

  const int sizeClass = game.player->SizeClass();
  for (int k = 0; k < 4; ++k) {
    DrawIcon(frame, k, s.bugIcons[static_cast<std::size_t>(k)],
             game.bugIconPositions[static_cast<std::size_t>(k)], k == sizeClass);
  }

  if (game.paused) {
    // The dimmer is drawn by the device now; the sprites queued above land
    // over it at End, so it dims only the world.
    DrawFadeQuad(frame.device, 100.0f);
    textures.DrawTexture(sprite, captions.backTitle, 0.0f, 0.0f, 255.0f);
  }
  sprite.End();
}

}  // namespace scenes
