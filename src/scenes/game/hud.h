// The display over play: the combo counter with its label and time gauge,
// the score, the time left, the wild gauge of the creature's growth, the four
// insect icons (the one matching the creature's size bright, a meal or a
// miss making its icon pulse) and the pause prompt.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "creatures/eating.h"
#include "engine/sprite.h"
#include "platform/graphics.h"
#include "scenes/sequence.h"

namespace scenes {

class GameParent;

// Advances the four icons one step: a pulse grows to about 1.44 in 11 steps
// and shrinks back in 11 more; a miss also shakes the icon sideways.
void AnimateBugIcons(std::array<creatures::BugIcon, 4>& icons);

// Draws the whole display with the sprite (and the pause dimmer with the
// device, below the sprites).
void DrawHud(const GameParent& game, const DrawContext& frame);

}  // namespace scenes
