#include "creatures/eating.h"

#include <algorithm>

#include "creatures/enemy.h"
#include "creatures/player.h"
#include "media/paths.h"
#include "media/sound_manager.h"

namespace creatures {

namespace {

constexpr float kMatchingGrowth = 0.05000000074505806f;
constexpr float kOtherGrowth = 0.02500000037252903f;

}  // namespace

void BugIcon::Restart(int newResult) {
  pulse = 1.0f;
  pulseStep = 1;
  shake = 0.0f;
  shakeStep = 1;
  result = newResult;
}

float SizePercent(float size) {
  const float fraction = (size - 0.5f) * 2.0f;
  return fraction * 100.0f;
}

int SizeClass(float size) {
  const float pct = SizePercent(size);
  if (pct >= 75.0f) return 3;
  if (pct >= 50.0f) return 2;
  if (pct >= 25.0f) return 1;
  return 0;
}

bool IsEdible(int kind, float percent) {
  if (kind < 0 || kind >= kInsectKindCount) return false;
  return percent >= kEdibleFrom[kind];
}

void SettleBite(Player& player, Enemy& insect, ScoreState& s, media::SoundRequests& sounds) {
  const int kind = insect.Kind();
  if (IsEdible(kind, SizePercent(player.mSize))) {
    player.hungerInterval = 50;
    player.hungerCounter = 0;
    s.bugIcons[static_cast<std::size_t>(kind)].Restart(1);
    insect.alive = false;
    player.chewing = true;
    player.lastEaten = insect.mName;
    s.comboCount += 1;
    if (s.comboCount >= 2) {
      s.comboShown = true;
      s.comboBannerX = kComboBannerStart;
    }
    s.comboTimer = kComboFrames;
    s.score += kPoints[kind];
    if (s.comboCount >= 2) s.score += s.comboCount * 100;
    ++s.meals[static_cast<std::size_t>(kind)];
    s.bestCombo = std::max(s.bestCombo, s.comboCount);
    return;
  }
  // Too big: the bite springs back from where it is.
  player.recoiling = true;
  sounds.PlaySoundOnce(content::sound::kMiss);
  if (kind >= 0) s.bugIcons[static_cast<std::size_t>(kind)].Restart(2);
  player.biting = false;
  player.recoilPosition = player.UpperBodyPosition();
}

void Swallow(Player& player, media::SoundRequests& sounds) {
  const int sizeClass = player.SizeClass();
  const int kind = InsectKindOf(player.lastEaten);
  if (kind >= 0) player.mSize += kind == sizeClass ? kMatchingGrowth : kOtherGrowth;
  if (player.mSize > kLargestSize) player.mSize = kLargestSize;
  player.glowScale = 1.0f;
  player.glowing = true;
  sounds.PlaySoundOnce(content::sound::kEatGoku);
}

}  // namespace creatures
