// Internal to the sdl_gl back end: the game controllers plugged in, turned
// into keys of the keyboard table (the mapping is in platform/system.h).
#pragma once

#include <SDL.h>

#include <bitset>
#include <cstdint>
#include <map>

namespace platform::sdl_gl {

class Gamepads {
 public:
  Gamepads() = default;
  ~Gamepads() { Stop(); }
  Gamepads(const Gamepads&) = delete;
  Gamepads& operator=(const Gamepads&) = delete;

  // Starts SDL's game-controller subsystem; the controllers already plugged
  // in arrive as device-added events like those plugged in later. False
  // (and a line on standard error) when it cannot start: the game then runs
  // on the keyboard alone.
  bool Start();
  // Closes every controller and lets go of every key they held.
  void Stop();
  // Takes a controller event (device added or removed, button, axis).
  void Handle(const SDL_Event& e);
  // Reads each pad's left stick as SDL holds it now; after the events of an
  // update have been handled.
  void Poll();
  // Out of the foreground nothing reaches the keyboard table; coming back,
  // what is held then counts only once it is let go and pressed again.
  void SetForeground(bool on);

 private:
  using KeySet = std::bitset<256>;
  struct Pad {
    SDL_GameController* controller = nullptr;
    std::uint32_t buttons = 0;  // bit b: SDL_GameControllerButton b is down
    int leftX = 0;
    int leftY = 0;
  };

  KeySet Wanted() const;
  // Brings the table's Gamepad holders in line with what the pads hold now.
  void Feed();

  bool started_ = false;
  bool foreground_ = false;
  std::map<SDL_JoystickID, Pad> pads_;
  KeySet fed_;  // keys the table has as held by the pads
};

}  // namespace platform::sdl_gl
