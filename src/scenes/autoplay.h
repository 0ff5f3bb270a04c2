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
//
// With mischief on (soak runs) it also does what a restless player does,
// every choice drawn from the same generator: it swings the camera for a
// while, pauses the play and answers the question after a moment, with N
// (plays on) or Y (gives the run up and goes back to the title), asks to
// quit on the title and answers N, reads the tuning again with E, and pauses
// on the result before going back to the title.
#pragma once

#include <cstdint>

#include "engine/math.h"
#include "engine/random.h"
#include "platform/input.h"
#include "scenes/sequence.h"

namespace scenes {

class GameParent;

class Autoplayer {
 public:
  explicit Autoplayer(std::uint32_t seed, bool mischief = false)
      : random_(seed ^ 0x5EEDu), mischief_(mischief) {}

  // The keys of the next update for the scene the root holds now.
  platform::TickInput Next(const SequenceParent& root, const Services& services);

 private:
  platform::TickInput Play(const GameParent& game, const Services& services);
  platform::TickInput AnswerWithEnter();
  platform::TickInput Planned(const SequenceParent& root, const Services& services);
  // The restless player's changes to the keys it planned.
  platform::TickInput Mischief(const SequenceParent& root, platform::TickInput planned);
  // True with a chance of one in n.
  bool OneIn(int n) { return random_.Rand() % n == 0; }

  engine::Random random_;
  long tick_ = 0;
  // Getting unstuck: frames left walking sideways, and which way.
  int detourFrames_ = 0;
  int detourKey_ = 0;
  // Where the creature stood a while ago, to notice it is not getting anywhere.
  engine::Vec3 lastPosition_;
  int stillFrames_ = 0;
  // Mischief: frames left before answering a question, and a camera swing.
  bool mischief_ = false;
  int answerWait_ = 0;
  int swingFrames_ = 0;
  platform::Key swingKey_ = platform::Key::Z;
};

}  // namespace scenes
