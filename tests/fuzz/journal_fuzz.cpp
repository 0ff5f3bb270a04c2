// Feeds arbitrary text to the journal reader: it must refuse with a line
// number or read a journal, never crash or leak. A journal it reads is
// written again by the game's own writer and must read back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  app::Journal journal;
  journal.seed = 12345;
  std::string error;
  if (!app::ParseJournal(text, &journal, &error)) {
    if (error.empty() || journal.seed != 12345 || !journal.ticks.empty()) std::abort();
    return 0;
  }
  for (const platform::TickInput& tick : journal.ticks) {
    if ((tick.held | tick.pressed) & ~platform::kAllKeys) std::abort();
  }

  static const std::string path = "/dev/shm/poromeko-journal-fuzz-" + std::to_string(::getpid());
  app::JournalWriter writer;
  if (!writer.Open(path, journal.seed, &error)) std::abort();
  for (const platform::TickInput& tick : journal.ticks) writer.Append(tick);
  writer.Close();
  app::Journal back;
  if (!app::ReadJournal(path, &back, &error)) std::abort();
  ::unlink(path.c_str());
  if (back.seed != journal.seed || back.ticks != journal.ticks) std::abort();
  return 0;
}
