// The rules that make the game: the creature may eat only what its size
// allows; a bite on an insect too big recoils. Each meal scores by kind and
// chains into a combo while meals follow within 350 frames; swallowing makes
// the creature grow, more when the meal matches its size. Hunger (the
// creature's own step) shrinks it again.
#pragma once

#include <array>
#include <string>

namespace media {
class SoundRequests;
}

namespace creatures {

class Enemy;

inline constexpr float kSmallestSize = 0.5f;
inline constexpr float kLargestSize = 1.0f;

// The frames within which the next meal continues a chain.
inline constexpr int kComboFrames = 350;
// Where the combo banner starts sliding in from.
inline constexpr float kComboBannerStart = 800.0f;
// Points by insect kind: fly, caterpillar, butterfly, beetle.
inline constexpr int kPoints[4] = {50, 200, 500, 1000};
// The size percentage from which each kind may be eaten.
inline constexpr float kEdibleFrom[4] = {0.0f, 25.0f, 50.0f, 75.0f};

// The state of one insect icon of the display: its pulse (scale), the shake
// of a miss, and what it shows (0 idle, 1 eaten, 2 missed).
struct BugIcon {
  float pulse = 1.0f;
  int pulseStep = 1;
  float shake = 0.0f;
  int shakeStep = 1;
  int result = 0;
  // A meal (1) or a miss (2) starts the icon's pulse again.
  void Restart(int newResult);
};

// What a run scores, kept by the game scene and written by the eating rules.
struct ScoreState {
  int score = 0;
  int comboCount = 0;  // meals in the present chain
  bool comboShown = false;
  int comboTimer = 0;  // frames left for the next meal to continue the chain
  float comboBannerX = kComboBannerStart;
  std::array<BugIcon, 4> bugIcons;  // by insect kind
  // Run statistics for reports (not shown in the game).
  std::array<int, 4> meals{};
  int bestCombo = 0;
};

// The size percentage: 0 at the smallest size 0.5, 100 at the largest 1.0.
float SizePercent(float size);
// The size class 0 to 3 (the insect kind that matches the size).
int SizeClass(float size);
bool IsEdible(int kind, float percent);

// What a bite on an insect comes to.
enum class Bite { Eaten, TooBig };
// Judges the bite of a creature of `size` whose mouth touched `insect`:
// eaten (score, combo, icon, the insect gone) or too big (the miss sound,
// the miss icon). What the creature does then is its own (player.h).
Bite JudgeBite(float size, Enemy& insect, ScoreState& score, media::SoundRequests& sounds);
// The size after swallowing `lastEaten` (an insect's name) at `size`: it
// grows by what it ate, twice as much when the meal matches its size class,
// up to the largest size.
float SizeAfterMeal(float size, const std::string& lastEaten);

}  // namespace creatures
