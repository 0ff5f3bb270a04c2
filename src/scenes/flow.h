// The scene flow: where each scene hands over to, and the one place that
// builds scenes. A scene names what comes next (Next::Title, Next::Game,
// Next::Result) and hands on what BuildScene makes of it, so that no scene
// includes another scene's header: loading makes way for the title, the
// title for a game, play for the result (a phase of the game scene, handed
// over in place of play), and play given up or the result left for the
// title again.
#pragma once

#include "scenes/sequence.h"

namespace scenes {

enum class Next { Title, Game, Result };

// The scene `next` names, for the run the services describe.
SequenceChildBase* BuildScene(Next next, Services& services);

// The first scene of the run: the loading scene, with the game's jobs, then
// the title. The services' caches, device and loader handshake must be set.
SequenceChild* FirstScene(Services& services);

}  // namespace scenes
