// The tuning values of "Data/game_data.ini", read once into named fields.
//
// The file is read once (media::ReadProfile). A key that is missing keeps the
// tuning reader's missing-key value (-999), exactly as a direct read would
// give it; the game then plays with that value. The title's two lists take
// their first four fields; fields the file does not give read as 0.
// LoadTuning says on standard error which keys the file lacks, or, in one
// line, that it cannot be read at all and why.
#pragma once

#include <array>
#include <string>

#include "media/paths.h"

namespace media {

struct PlayerTuning {
  float radius = 0;  // [Player] radius: the body's collision sphere
  // [PlayerEatAtackHitSphere]: the mouth's sphere, centre in the body's frame.
  float biteRadius = 0;
  float biteX = 0, biteY = 0, biteZ = 0;
  // [Player] jump values: held, used by no behaviour of this version.
  float mStartGravity = 0, mFrameMinus = 0, mStartJumpV = 0, mMaxGravity = 0;
};

// A comma-separated list of numbers of the [Title] section.
struct TitleList {
  std::array<float, 4> values{};
  int count = 0;  // how many fields the file gave (0 when the key is missing)
};

struct TitleTuning {
  TitleList player;  // x, y, z of the demo creature, then its scale
  TitleList enemy;   // x, y of the caterpillar's circle, an unused value, its radius
};

struct Tuning {
  PlayerTuning player;
  TitleTuning title;
};

// Reads every tuning value the game uses from the file at `path`.
Tuning LoadTuning(const std::string& path = content::data::kGameData);
// One [Title] list (the title re-reads "Enemy" when E is pressed).
TitleList ReadTitleList(const char* key, const std::string& path = content::data::kGameData);

}  // namespace media
