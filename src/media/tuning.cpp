#include "media/tuning.h"

#include "media/ini.h"

namespace media {

TitleList ReadTitleList(const char* key, const std::string& path) {
  TitleList list;
  const std::string text = ReadIniString("Title", key, path);
  if (text == kMissingKeyMarker) return list;
  const std::vector<std::string> fields = SplitString(text, ",");
  for (const std::string& field : fields) {
    if (list.count == static_cast<int>(list.values.size())) break;
    list.values[static_cast<std::size_t>(list.count++)] = StringToFloat(field);
  }
  return list;
}

Tuning LoadTuning(const std::string& path) {
  Tuning t;
  PlayerTuning& p = t.player;
  p.radius = ReadIniFloat("Player", "radius", path);
  p.biteRadius = ReadIniFloat("PlayerEatAtackHitSphere", "radius", path);
  p.biteZ = ReadIniFloat("PlayerEatAtackHitSphere", "localPos.z", path);
  p.biteY = ReadIniFloat("PlayerEatAtackHitSphere", "localPos.y", path);
  p.biteX = ReadIniFloat("PlayerEatAtackHitSphere", "localPos.x", path);
  p.mStartGravity = ReadIniFloat("Player", "mStartGravity", path);
  p.mFrameMinus = ReadIniFloat("Player", "mFrameMinus", path);
  p.mStartJumpV = ReadIniFloat("Player", "mStartJumpV", path);
  p.mMaxGravity = ReadIniFloat("Player", "mMaxGravity", path);
  t.title.player = ReadTitleList("Player", path);
  t.title.enemy = ReadTitleList("Enemy", path);
  return t;
}

}  // namespace media
