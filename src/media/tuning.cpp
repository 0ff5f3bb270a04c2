#include "media/tuning.h"

#include <cstdio>
#include <filesystem>
#include <vector>

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

namespace {

// Reads the values as ReadIniFloat does and notes the keys the file lacks, so
// that a broken or missing file is told on standard error, once, at load.
struct Reader {
  const std::string& path;
  std::vector<std::string> missing;

  float Float(const char* section, const char* key) {
    const std::string value = ReadIniString(section, key, path);
    if (value != kMissingKeyMarker) return StringToFloat(value);
    missing.push_back(std::string("[") + section + "] " + key);
    return kMissingKeyValue;
  }
  TitleList List(const char* key) {
    const TitleList list = ReadTitleList(key, path);
    if (list.count == 0) missing.push_back(std::string("[Title] ") + key);
    return list;
  }
};

}  // namespace

Tuning LoadTuning(const std::string& path) {
  Tuning t;
  Reader r{path, {}};
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

  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    std::fprintf(stderr, "poromeko: cannot read the tuning file %s; its values read as %g\n",
                 path.c_str(), static_cast<double>(kMissingKeyValue));
  } else {
    for (const std::string& key : r.missing) {
      std::fprintf(stderr, "poromeko: %s gives no %s; it reads as %s\n", path.c_str(), key.c_str(),
                   key.rfind("[Title]", 0) == 0 ? "0" : "-999");
    }
  }
  return t;
}

}  // namespace media
