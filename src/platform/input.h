// The keys of one update, read once at its start and passed down.
//
// Contract (no back-end specific part): ReadTickInput polls GetAsyncKeyState
// once for every key the game uses and keeps both bits of each answer: held
// (the key is down now, or went down and up again since the previous read:
// a tap shorter than an update counts as held for that one update) and
// pressed (it went down since the previous read).
// Game controllers feed the same keyboard table, so a pad's button reaches
// the game as the key it stands for, and journals and the autoplayer never
// tell the two apart.
// Nothing below the shell reads the keyboard itself, so a run is replayed by
// feeding the same TickInput values again.
#pragma once

#include <cstdint>

namespace platform {

// Every key the game reads, in the order of their bits.
enum class Key : std::uint8_t { Return, Escape, Space, Left, Up, Right, Down, E, N, X, Y, Z };
inline constexpr int kKeyCount = 12;

// The virtual-key code a key is polled with.
int VirtualKeyOf(Key key);

struct TickInput {
  std::uint16_t held = 0;     // bit k: key k is down (or was tapped since the last read)
  std::uint16_t pressed = 0;  // bit k: key k went down since the previous read

  static constexpr std::uint16_t Bit(Key key) {
    return static_cast<std::uint16_t>(1u << static_cast<unsigned>(key));
  }
  // Down now: the high bit of the key's state.
  bool Held(Key key) const { return (held & Bit(key)) != 0; }
  // Went down since the previous read (a fresh press, however short).
  bool Pressed(Key key) const { return (pressed & Bit(key)) != 0; }
  // Down now or pressed since the last read: the key's state is non-zero.
  bool Touched(Key key) const { return ((held | pressed) & Bit(key)) != 0; }
  // For tests and the autoplayer: a key held (and, when it was up, pressed).
  void Press(Key key) {
    held |= Bit(key);
    pressed |= Bit(key);
  }
  void Hold(Key key) { held |= Bit(key); }
  void Release(Key key) { held &= static_cast<std::uint16_t>(~Bit(key)); }
  bool operator==(const TickInput&) const = default;
};

// All keys up, nothing pressed.
inline constexpr std::uint16_t kAllKeys = (1u << kKeyCount) - 1;

// Polls the keyboard (platform/keyboard.h) once per key.
TickInput ReadTickInput();

}  // namespace platform
