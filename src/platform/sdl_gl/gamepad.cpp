// Game controllers as keys: each pad's buttons and left stick, as its events
// left them, become keys held by KeySource::Gamepad in the keyboard table.
#include "platform/sdl_gl/gamepad.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/keyboard.h"
#include "platform/sdl_gl/backend.h"

namespace platform::sdl_gl {

static_assert(static_cast<int>(PadButton::A) == SDL_CONTROLLER_BUTTON_A);
static_assert(static_cast<int>(PadButton::Back) == SDL_CONTROLLER_BUTTON_BACK);
static_assert(static_cast<int>(PadButton::Start) == SDL_CONTROLLER_BUTTON_START);
static_assert(static_cast<int>(PadButton::LeftShoulder) == SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
static_assert(static_cast<int>(PadButton::DpadRight) == SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
static_assert(static_cast<int>(PadButton::Count) == SDL_CONTROLLER_BUTTON_MAX);
static_assert(static_cast<int>(PadAxis::LeftY) == SDL_CONTROLLER_AXIS_LEFTY);
static_assert(static_cast<int>(PadAxis::Count) == SDL_CONTROLLER_AXIS_MAX);

namespace {

struct ButtonKey {
  SDL_GameControllerButton button;
  int vk;
};

// A answers Yes as well as biting: the pause and quit questions take Y.
// Start is Enter only: on the title Enter starts a run while Escape would
// open the quit question, and during the intro one button feeding both
// would skip the intro and open the question in the same update. Escape
// (pause, quit question) is Back.
constexpr ButtonKey kButtonKeys[] = {
    {SDL_CONTROLLER_BUTTON_A, kVkSpace},
    {SDL_CONTROLLER_BUTTON_A, kVkY},
    {SDL_CONTROLLER_BUTTON_B, kVkN},
    {SDL_CONTROLLER_BUTTON_START, kVkReturn},
    {SDL_CONTROLLER_BUTTON_BACK, kVkEscape},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kVkZ},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kVkX},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, kVkUp},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kVkDown},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kVkLeft},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kVkRight},
};

}  // namespace

bool Gamepads::Start() {
  if (started_) return true;
  // The window's own focus decides when the pads count (SetForeground), as
  // it does for the keyboard; SDL's guess of the focus is not needed.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    std::fprintf(stderr,
                 "gamepad: game controllers cannot be used (%s); the keyboard still plays\n",
                 SDL_GetError());
    return false;
  }
  started_ = true;
  return true;
}

void Gamepads::Stop() {
  if (!started_) return;
  for (auto& entry : pads_) SDL_GameControllerClose(entry.second.controller);
  pads_.clear();
  for (int vk = 0; vk < 256; ++vk) {
    if (fed_[static_cast<std::size_t>(vk)]) OnKeyUp(vk, KeySource::Gamepad);
  }
  fed_.reset();
  SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  started_ = false;
}

void Gamepads::Handle(const SDL_Event& e) {
  if (!started_) return;
  switch (e.type) {
    case SDL_CONTROLLERDEVICEADDED: {
      SDL_GameController* controller = SDL_GameControllerOpen(e.cdevice.which);
      if (!controller) {
        std::fprintf(stderr, "gamepad: cannot open a game controller (%s)\n", SDL_GetError());
        break;
      }
      const SDL_JoystickID id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(controller));
      Pad pad;
      pad.controller = controller;
      // Opened twice (added at start-up and again by an event): one
      // reference is enough.
      if (!pads_.try_emplace(id, pad).second) SDL_GameControllerClose(controller);
      break;
    }
    case SDL_CONTROLLERDEVICEREMOVED: {
      auto it = pads_.find(e.cdevice.which);
      if (it == pads_.end()) break;
      SDL_GameControllerClose(it->second.controller);
      pads_.erase(it);
      Feed();
      break;
    }
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
      auto it = pads_.find(e.cbutton.which);
      if (it == pads_.end() || e.cbutton.button >= 32) break;
      const std::uint32_t bit = 1u << e.cbutton.button;
      if (e.type == SDL_CONTROLLERBUTTONDOWN) {
        it->second.buttons |= bit;
      } else {
        it->second.buttons &= ~bit;
      }
      Feed();
      break;
    }
    case SDL_CONTROLLERAXISMOTION: {
      auto it = pads_.find(e.caxis.which);
      if (it == pads_.end()) break;
      if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) it->second.leftX = e.caxis.value;
      if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) it->second.leftY = e.caxis.value;
      Feed();
      break;
    }
    default: break;
  }
}

void Gamepads::Poll() {
  if (!started_) return;
  // SDL posts no motion for the first reading it has of an axis (it takes it
  // for where the axis rests), and the browser's pads report an axis only
  // when it moves: a stick pushed straight to its end would not walk until
  // it moved again. SDL keeps that reading all the same.
  bool moved = false;
  for (auto& entry : pads_) {
    Pad& pad = entry.second;
    const int x = SDL_GameControllerGetAxis(pad.controller, SDL_CONTROLLER_AXIS_LEFTX);
    const int y = SDL_GameControllerGetAxis(pad.controller, SDL_CONTROLLER_AXIS_LEFTY);
    if (x != pad.leftX || y != pad.leftY) moved = true;
    pad.leftX = x;
    pad.leftY = y;
  }
  if (moved) Feed();
}

void Gamepads::SetForeground(bool on) {
  if (on && !foreground_) {
    // The table was emptied when the window left the foreground: what is
    // still held counts as fed, so it goes down again only with a new press.
    fed_ = Wanted();
  }
  foreground_ = on;
}

Gamepads::KeySet Gamepads::Wanted() const {
  KeySet keys;
  for (const auto& entry : pads_) {
    const Pad& pad = entry.second;
    for (const ButtonKey& b : kButtonKeys) {
      if (pad.buttons & (1u << b.button)) keys.set(static_cast<std::size_t>(b.vk));
    }
    // The stick walks like one arrow key: the axis leaning furthest wins
    // (up and down on a tie), nothing inside the dead zone.
    const int x = std::abs(pad.leftX);
    const int y = std::abs(pad.leftY);
    if (std::max(x, y) > kStickDeadZone) {
      int vk = 0;
      if (x > y) {
        vk = pad.leftX < 0 ? kVkLeft : kVkRight;
      } else {
        vk = pad.leftY < 0 ? kVkUp : kVkDown;
      }
      keys.set(static_cast<std::size_t>(vk));
    }
  }
  return keys;
}

void Gamepads::Feed() {
  if (!foreground_) return;
  const KeySet now = Wanted();
  for (std::size_t vk = 0; vk < now.size(); ++vk) {
    if (now[vk] && !fed_[vk]) OnKeyDown(static_cast<int>(vk), false, KeySource::Gamepad);
    if (!now[vk] && fed_[vk]) OnKeyUp(static_cast<int>(vk), KeySource::Gamepad);
  }
  fed_ = now;
}

// --- Virtual pads for the tests ---------------------------------------------

namespace {

// The test's own handle on each virtual pad (values are set through it).
std::map<int, SDL_Joystick*>& VirtualPads() {
  static std::map<int, SDL_Joystick*> pads;
  return pads;
}

}  // namespace

int AttachVirtualPadForTest() {
  // A virtual joystick of the game-controller type gets SDL's own mapping:
  // button b and axis a are SDL_GameControllerButton b and ...Axis a.
  const int index = SDL_JoystickAttachVirtual(
      SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
  if (index < 0) {
    std::fprintf(stderr, "virtual pad: %s\n", SDL_GetError());
    return -1;
  }
  SDL_Joystick* joystick = SDL_JoystickOpen(index);
  if (!joystick) {
    SDL_JoystickDetachVirtual(index);
    return -1;
  }
  const int id = SDL_JoystickInstanceID(joystick);
  VirtualPads()[id] = joystick;
  return id;
}

void SetVirtualPadButtonForTest(int pad, PadButton button, bool down) {
  auto it = VirtualPads().find(pad);
  if (it == VirtualPads().end()) return;
  SDL_JoystickSetVirtualButton(it->second, static_cast<int>(button), down ? 1 : 0);
}

void SetVirtualPadAxisForTest(int pad, PadAxis axis, int value) {
  auto it = VirtualPads().find(pad);
  if (it == VirtualPads().end()) return;
  SDL_JoystickSetVirtualAxis(it->second, static_cast<int>(axis), static_cast<Sint16>(value));
}

void DetachVirtualPadForTest(int pad) {
  auto it = VirtualPads().find(pad);
  if (it == VirtualPads().end()) return;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == pad) {
      SDL_JoystickDetachVirtual(i);
      break;
    }
  }
  SDL_JoystickClose(it->second);
  VirtualPads().erase(it);
}

}  // namespace platform::sdl_gl
