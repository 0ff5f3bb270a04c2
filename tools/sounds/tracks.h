// Every sound file the generator writes, with the function that renders it.
#pragma once

#include <span>

#include "music.h"

namespace sounds {

// Music: seamless stereo loops.
Rendered RenderTitleBgm();  // relaxed music box and marimba, 90 BPM
Rendered RenderGameBgm();   // bouncy plucks and drums, 140 BPM

// Effects.
Rendered RenderSelect();   // bright menu blip
Rendered RenderBon();      // soft pop
Rendered RenderEatHyoi();  // quick swoop and snap of a bite
Rendered RenderEatGoku();  // bubbly gulp
Rendered RenderMiss();     // dull bonk
Rendered RenderEnd();      // time-up jingle (stereo)

struct SoundJob {
  const char* path;  // relative to the content folder, e.g. "Sound/select.wav"
  Rendered (*render)();
};
// One entry per file of the game's sound list, in that list's order.
std::span<const SoundJob> AllSounds();

}  // namespace sounds
