// Window, message loop, message boxes and the millisecond clock.
//
// Contract, for every back end:
//  - CreateGameWindow opens the one game window with the caption and client
//    size given (or, full screen, the desktop) and makes it current for the
//    graphics device that CreateDevice returns. Returns false when no window
//    or no OpenGL 3.3 context can be had (`*failure` says which).
//  - PumpEvents handles every waiting event: key events feed the keyboard
//    table, focus events set the foreground flag, a close request calls the
//    close handler (the game's window-destroy step). It returns false once
//    PostQuit has been called.
//  - WaitEvents blocks until an event arrives or `timeoutMs` passes.
//  - TimeGetTime is a 32-bit millisecond counter that wraps around; compare
//    readings by unsigned subtraction only.
//  - AskYesNo shows a question with Yes and No (No is the default button)
//    and returns true for Yes; ShowError shows an error box. Both block.
//
// The sdl_gl back end implements them with SDL2. The null back end
// (CreateHeadlessSystem) has no window: the window counts as in the
// foreground, WaitEvents returns at once, AskYesNo answers No and ShowError
// writes the message to standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/graphics.h"

namespace platform {

enum class WindowFailure { None, NoWindow, NoGraphics };

struct WindowConfig {
  std::string caption;
  int width = 800;
  int height = 600;
  bool fullscreen = false;
};

class System {
 public:
  virtual ~System() = default;
  virtual bool CreateGameWindow(const WindowConfig& config, WindowFailure* failure) = 0;
  // The device drawing into the window (one per window; owned by the caller).
  virtual std::unique_ptr<Device> CreateDevice() = 0;
  virtual void DestroyGameWindow() = 0;
  virtual bool PumpEvents() = 0;
  virtual void WaitEvents(std::uint32_t timeoutMs) = 0;
  virtual bool IsForeground() const = 0;
  virtual void PostQuit(int exitCode) = 0;
  virtual int QuitCode() const = 0;
  virtual void SetCloseHandler(std::function<void()> handler) = 0;
  virtual std::uint32_t TimeGetTime() const = 0;
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;
};

// The SDL2 + OpenGL system (sdl_gl back end). Null when the program was built
// without it.
std::unique_ptr<System> CreateSdlSystem();
// The windowless system used by tests, benchmarks and --headless.
std::unique_ptr<System> CreateHeadlessSystem();

}  // namespace platform
