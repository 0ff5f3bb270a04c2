#include "platform/keyboard.h"

#include <atomic>

namespace platform {

namespace {

struct KeyTable {
  // Bit s: held by KeySource s.
  std::atomic<std::uint8_t> holders[256] = {};
  std::atomic<bool> latch[256] = {};
  std::atomic<bool> focused{true};
};

KeyTable& Keys() {
  static KeyTable table;
  return table;
}

bool Valid(int vk) { return vk >= 0 && vk < 256; }

std::uint8_t BitOf(KeySource source) {
  return static_cast<std::uint8_t>(1u << static_cast<unsigned>(source));
}

}  // namespace

std::int16_t GetAsyncKeyState(int vk) {
  if (!Valid(vk)) return 0;
  KeyTable& k = Keys();
  bool pressed = k.latch[vk].exchange(false);
  if (!k.focused.load()) return 0;
  std::uint16_t v = 0;
  if (k.holders[vk].load() != 0) v |= 0x8000u;
  if (pressed) v |= 0x0001u;
  return static_cast<std::int16_t>(v);
}

void OnKeyDown(int vk, bool repeat, KeySource source) {
  if (!Valid(vk)) return;
  KeyTable& k = Keys();
  const std::uint8_t before = k.holders[vk].fetch_or(BitOf(source));
  if (repeat ? kKeyRepeatSetsLatch : before == 0) k.latch[vk] = true;
}

void OnKeyUp(int vk, KeySource source) {
  if (!Valid(vk)) return;
  Keys().holders[vk].fetch_and(static_cast<std::uint8_t>(~BitOf(source)));
}

void ResetKeyboard() {
  KeyTable& k = Keys();
  for (int i = 0; i < 256; ++i) {
    k.holders[i] = 0;
    k.latch[i] = false;
  }
}

void SetKeyboardFocus(bool focused) { Keys().focused = focused; }

}  // namespace platform
