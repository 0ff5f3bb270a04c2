#include "creatures/eating.h"

#include <algorithm>

#include "creatures/enemy.h"
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

Bite JudgeBite(float size, Enemy& insect, ScoreState& s, media::SoundRequests& sounds) {
  const int kind = insect.Kind();
  if (IsEdible(kind, SizePercent(size))) {
    s.bugIcons[static_cast<std::size_t>(kind)].Restart(1);
    insect.alive = false;
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
    return Bite::Eaten;
  }
  sounds.PlaySoundOnce(content::sound::kMiss);
  if (kind >= 0) s.bugIcons[static_cast<std::size_t>(kind)].Restart(2);
  return Bite::TooBig;
}

float SizeAfterMeal(float size, const std::string& lastEaten) {
  const int kind = InsectKindOf(lastEaten);
  if (kind >= 0) size += kind == SizeClass(size) ? kMatchingGrowth : kOtherGrowth;
  return size > kLargestSize ? kLargestSize : size;
}

}  // namespace creatures
