#include "platform/input.h"

#include "platform/keyboard.h"

namespace platform {

int VirtualKeyOf(Key key) {
  switch (key) {
    case Key::Return: return kVkReturn;
    case Key::Escape: return kVkEscape;
    case Key::Space: return kVkSpace;
    case Key::Left: return kVkLeft;
    case Key::Up: return kVkUp;
    case Key::Right: return kVkRight;
    case Key::Down: return kVkDown;
    case Key::E: return kVkE;
    case Key::N: return kVkN;
    case Key::X: return kVkX;
    case Key::Y: return kVkY;
    case Key::Z: return kVkZ;
  }
  return 0;
}

TickInput ReadTickInput() {
  TickInput input;
  for (int k = 0; k < kKeyCount; ++k) {
    const Key key = static_cast<Key>(k);
    const std::uint16_t state = static_cast<std::uint16_t>(GetAsyncKeyState(VirtualKeyOf(key)));
    // A key pressed and let go again since the last update (a tap shorter
    // than an update) counts as held for this one update, or no scene
    // would ever see it.
    if (state & 0x8001u) input.held |= TickInput::Bit(key);
    if (state & 0x0001u) input.pressed |= TickInput::Bit(key);
  }
  return input;
}

}  // namespace platform
