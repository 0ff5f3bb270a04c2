// A player made of code, for tests, soak runs and balance figures (and a
// pleasant attract mode): it looks at the game as it stands and presses keys,
// exactly as a player's keys would reach the game, through one TickInput an
// update. It changes nothing else, and its only chance is its own generator,
// seeded from the run's seed, so an autoplayed run replays exactly from its
// journal (which records the keys it pressed).
//
// On the title and the result it answers with Enter. In play it walks toward
// the nearest insect it may eat, swinging the camera so that one of the
// arrow keys points that way, steps round trees and stumps it runs into, and
// bites when the insect is in front of its mouth. It never pauses.
#pragma once

#include <cstdint>

#include "platform/input.h"
#include "platform/math.h"
#include "platform/random.h"
#include "scenes/sequence.h"

namespace scenes {

class GameParent;

class Autoplayer {
 public:
  explicit Autoplayer(std::uint32_t seed) : random_(seed ^ 0x5EEDu) {}

  // The keys of the next update for the scene the root holds now.
  platform::TickInput Next(const SequenceParent& root, const Services& services);

 private:
  platform::TickInput Play(const GameParent& game, const Services& services);
  platform::TickInput AnswerWithEnter();

  platform::Random random_;
  long tick_ = 0;
  // Getting unstuck: frames left walking sideways, and which way.
  int detourFrames_ = 0;
  int detourKey_ = 0;
  // Where the creature stood a while ago, to notice it is not getting anywhere.
  platform::Vec3 lastPosition_;
  int stillFrames_ = 0;
};

}  // namespace scenes
