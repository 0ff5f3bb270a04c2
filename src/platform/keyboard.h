// Keyboard polling by virtual-key code.
//
// Contract: GetAsyncKeyState(vk) returns a 16-bit value whose bit 15 (0x8000,
// so the value is negative) is set while the key is held, and whose bit 0 is
// set when the key went down since the previous GetAsyncKeyState of that key
// (the latch is cleared by the query). Auto-repeat does not set the latch
// again (kKeyRepeatSetsLatch).
//
// A key can be held by more than one source at once (the keyboard, a game
// controller standing in for it): it counts as held while any source holds
// it, and the latch is set only when it goes down from being up everywhere,
// so a pad button and a key that mean the same thing never make two presses.
//
// Every back end feeds the table through OnKeyDown / OnKeyUp; the sdl_gl back
// end does so from SDL key events and from game controllers (system.h says
// which button stands for which key), the null back end never does (every key
// stays up unless a test presses it). While the window is not in the
// foreground every query returns 0.
#pragma once

#include <cstdint>

namespace platform {

enum VirtualKey : int {
  kVkReturn = 0x0D,
  kVkEscape = 0x1B,
  kVkSpace = 0x20,
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
  kVkE = 0x45,
  kVkN = 0x4E,
  kVkX = 0x58,
  kVkY = 0x59,
  kVkZ = 0x5A,
};

// Whether a key-repeat event sets the pressed-since-last-query bit again.
inline constexpr bool kKeyRepeatSetsLatch = false;

// Who holds a key down.
enum class KeySource : std::uint8_t { Keyboard, Gamepad };

std::int16_t GetAsyncKeyState(int vk);

// Fed by the window back end (and by tests).
void OnKeyDown(int vk, bool repeat = false, KeySource source = KeySource::Keyboard);
void OnKeyUp(int vk, KeySource source = KeySource::Keyboard);
// Releases every key from every source and clears every latch (focus lost,
// tests).
void ResetKeyboard();
// While false every query answers 0.
void SetKeyboardFocus(bool focused);

}  // namespace platform
