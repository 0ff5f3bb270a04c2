// Feeds arbitrary bytes to the tuning file reader as the game reads it: every
// value into media::Tuning, the title's lists, and the profile reader's
// limits. It must never crash, leak, or return more than the reader allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_file.h"
#include "media/ini.h"
#include "media/tuning.h"

namespace {

void CheckList(const media::TitleList& list) {
  if (list.count < 0 || list.count > static_cast<int>(list.values.size())) std::abort();
  for (int i = list.count; i < static_cast<int>(list.values.size()); ++i) {
    if (list.values[static_cast<std::size_t>(i)] != 0.0f) std::abort();  // not given: 0
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzfile::MemoryFile file;
  file.Set(data, size);
  const std::string& path = file.Path();

  const media::Tuning tuning = media::LoadTuning(path);
  CheckList(tuning.title.player);
  CheckList(tuning.title.enemy);
  const media::TitleList again = media::ReadTitleList("Enemy", path);
  CheckList(again);
  if (again.count != tuning.title.enemy.count) std::abort();  // the same file reads the same

  // A value is at most 255 bytes.
  if (media::GetPrivateProfileString("Player", "radius", "?", path).size() > 255) std::abort();
  (void)media::StringToFloat(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
