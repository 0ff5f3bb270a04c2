#include "media/paths.h"
#include "tracks.h"

namespace sounds {

std::span<const SoundJob> AllSounds() {
  namespace s = content::sound;
  static const SoundJob kJobs[] = {
      {s::kTitleBgm, RenderTitleBgm}, {s::kSelect, RenderSelect},   {s::kGameBgm, RenderGameBgm},
      {s::kBon, RenderBon},           {s::kEatGoku, RenderEatGoku}, {s::kEatHyoi, RenderEatHyoi},
      {s::kEnd, RenderEnd},           {s::kMiss, RenderMiss},
  };
  return kJobs;
}

}  // namespace sounds
