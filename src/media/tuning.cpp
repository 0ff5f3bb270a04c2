#include "media/tuning.h"

#include <cstdio>
#include <vector>

#include "media/ini.h"

namespace media {

namespace {

TitleList TitleListOf(const char* key, const Profile& profile) {
  TitleList list;
  const std::string text = ReadIniString("Title", key, profile);
  if (text == kMissingKeyMarker) return list;
  const std::vector<std::string> fields = SplitString(text, ",");
  for (const std::string& field : fields) {
    if (list.count == static_cast<int>(list.values.size())) break;
    list.values[static_cast<std::size_t>(list.count++)] = StringToFloat(field);
  }
  return list;
}

// Reads the values as ReadIniFloat does and notes the keys the file lacks, so
// that a broken file is told on standard error, once, at load.
struct Reader {
  const Profile& profile;
  std::vector<std::string> missing;

  float Float(const char* section, const char* key) {
    const std::string value = ReadIniString(section, key, profile);
    if (value != kMissingKeyMarker) return StringToFloat(value);
    missing.push_back(std::string("[") + section + "] " + key);
    return kMissingKeyValue;
  }
  TitleList List(const char* key) {
    const TitleList list = TitleListOf(key, profile);
    if (list.count == 0) missing.push_back(std::string("[Title] ") + key);
    return list;
  }
};

}  // namespace

TitleList ReadTitleList(const char* key, const std::string& path) {
  Profile profile;
  std::string error;
  ReadProfile(path, &profile, &error);
  return TitleListOf(key, profile);
}

Tuning LoadTuning(const std::string& path) {
  Tuning t;
  Profile profile;
  std::string error;
  const bool read = ReadProfile(path, &profile, &error);
  Reader r{profile, {}};
  PlayerTuning& p = t.player;
  p.radius = r.Float("Player", "radius");
  p.biteRadius = r.Float("PlayerEatAtackHitSphere", "radius");
  p.biteZ = r.Float("PlayerEatAtackHitSphere", "localPos.z");
  p.biteY = r.Float("PlayerEatAtackHitSphere", "localPos.y");
  p.biteX = r.Float("PlayerEatAtackHitSphere", "localPos.x");
  p.mStartGravity = r.Float("Player", "mStartGravity");
  p.mFrameMinus = r.Float("Player", "mFrameMinus");
  p.mStartJumpV = r.Float("Player", "mStartJumpV");
  p.mMaxGravity = r.Float("Player", "mMaxGravity");
  t.title.player = r.List("Player");
  t.title.enemy = r.List("Enemy");

  if (!read) {
    // One line for a file that is not there or cannot be read, not one a key.
    std::fprintf(stderr, "poromeko: %s; the tuning values read as %g\n", error.c_str(),
                 static_cast<double>(kMissingKeyValue));
  } else {
    for (const std::string& key : r.missing) {
      std::fprintf(stderr, "poromeko: %s gives no %s; it reads as %s\n", path.c_str(), key.c_str(),
                   key.rfind("[Title]", 0) == 0 ? "0" : "-999");
    }
  }
  return t;
}

}  // namespace media
