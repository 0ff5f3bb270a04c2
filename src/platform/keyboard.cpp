#include "platform/keyboard.h"

#include <atomic>

namespace platform {

namespace {

struct KeyTable {
  std::atomic<bool> down[256] = {};
  std::atomic<bool> latch[256] = {};
  std::atomic<bool> focused{true};
};

KeyTable& Keys() {
  static KeyTable table;
  return table;
}

bool Valid(int vk) { return vk >= 0 && vk < 256; }

}  // namespace

std::int16_t GetAsyncKeyState(int vk) {
  if (!Valid(vk)) return 0;
  KeyTable& k = Keys();
  bool pressed = k.latch[vk].exchange(false);
  if (!k.focused.load()) return 0;
  std::uint16_t v = 0;
  if (k.down[vk].load()) v |= 0x8000u;
  if (pressed) v |= 0x0001u;
  return static_cast<std::int16_t>(v);
}

void OnKeyDown(int vk, bool repeat) {
  if (!Valid(vk)) return;
  KeyTable& k = Keys();
  k.down[vk] = true;
  if (!repeat || kKeyRepeatSetsLatch) k.latch[vk] = true;
}

void OnKeyUp(int vk) {
  if (!Valid(vk)) return;
  Keys().down[vk] = false;
}

void ResetKeyboard() {
  KeyTable& k = Keys();
  for (int i = 0; i < 256; ++i) {
    k.down[i] = false;
    k.latch[i] = false;
  }
}

void SetKeyboardFocus(bool focused) { Keys().focused = focused; }

}  // namespace platform
