// Window, message loop, message boxes and the millisecond clock.
//
// Contract, for every back end:
//  - CreateGameWindow opens the one game window with the caption and client
//    size given (or, full screen, the desktop) and makes it current for the
//    graphics device that CreateDevice returns. Returns false when no window
//    can be had, with `*failure` saying why: NoDisplay (there is no display
//    to show a window on), NoGraphics (no OpenGL 3.3 core) or NoWindow
//    (anything else). It gives its answer at once, never waits for a display.
//  - PumpEvents handles every waiting event: key events feed the keyboard
//    table, focus events set the foreground flag, a close request calls the
//    close handler (the game's window-destroy step). It returns false once
//    PostQuit has been called.
//  - WaitEvents blocks until an event arrives or `timeoutMs` passes.
//  - TimeGetTime is a 32-bit millisecond counter that wraps around; compare
//    readings by unsigned subtraction only.
//  - AskYesNo shows a question with Yes and No (No is the default button)
//    and returns true for Yes; ShowError shows an error box (the caller
//    has already said it on standard error). Both block.
//  - NativeBoxesShowGameText says whether those boxes draw any text the
//    game gives them, Japanese included. Where they do not, the game asks
//    its questions in its own window and gives the boxes English text.
//  - SetFullScreen switches the game window to full screen (the desktop's
//    own mode) or back to a window.
//  - ReadPointer tells where the mouse is over the game's 800 x 600 picture
//    (in its pixels, whatever the window's size and bars) and whether its
//    left button went down over the picture since the last call.
//
// The sdl_gl back end implements them with SDL2:
//  - It opens a window only on a real display: X11 when DISPLAY is set,
//    Wayland when WAYLAND_DISPLAY is. Without either, or when the display
//    cannot be reached, CreateGameWindow fails with NoDisplay. SDL's
//    off-screen drivers are used only when SDL_VIDEODRIVER names them.
//    Every failure is also one line on standard error naming its cause.
//  - Alt+Enter and F11 switch between the window and full screen (the
//    desktop's own mode; the picture stays 4:3, letterboxed). Those keys
//    never reach the keyboard table.
//  - Its message boxes are SDL's: on X11 and Wayland (and in the browser)
//    they cannot draw Japanese, so NativeBoxesShowGameText is false there;
//    on Windows and macOS they are the system's own and it is true.
//  - The mouse is read from SDL's events on the game window.
//  - In the Windows build the window is drawn by Direct3D 9
//    (d3d9/device_d3d9.cpp) unless OpenGL is asked for; when no Direct3D 9
//    device can be made there, one line on standard error says so and the
//    window is made again for OpenGL. Elsewhere a request for Direct3D 9
//    gets the same line and OpenGL.
//  - Game controllers (SDL's game-controller API, plugged in at any time)
//    feed the keyboard table beside the keyboard (KeySource::Gamepad), while
//    the window is in the foreground: the left stick (past a dead zone of a
//    quarter of its travel, the stronger axis only, like one arrow key) and the
//    d-pad are the arrow keys, A is Space and Y (bite, answer Yes), B is N
//    (answer No), Start is Enter, Back is Escape, the left and right
//    shoulder buttons are Z and X (camera). Buttons held when the window
//    comes back to the foreground count once they are pressed again, as keys
//    do. A controller unplugged lets go of everything it held.
// The null back end (CreateHeadlessSystem) has no window: the window counts
// as in the foreground, WaitEvents returns at once, AskYesNo answers No,
// ShowError does nothing, its boxes show no text, SetFullScreen does
// nothing and the pointer is never over the picture.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/graphics.h"

namespace platform {

enum class WindowFailure { None, NoWindow, NoGraphics, NoDisplay };

// The mouse over the game's picture, in the picture's own pixels (0 to 800
// across, 0 to 600 down).
struct Pointer {
  bool over = false;     // over the picture (not a bar, not outside the window)
  float x = 0, y = 0;    // where, when over
  bool clicked = false;  // the left button went down over the picture since the last read
};

// Which graphics device draws into the window. Direct3D 9 is there in the
// Windows build only, and is its default; OpenGL is the default elsewhere
// and the fallback where a Direct3D 9 device cannot be made.
enum class Renderer { Default, Direct3D9, OpenGL };

struct WindowConfig {
  std::string caption;
  int width = 800;
  int height = 600;
  bool fullscreen = false;
  Renderer renderer = Renderer::Default;
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
  // Back ends that cannot show the game's text in their boxes, cannot
  // switch to full screen or have no mouse keep these.
  virtual bool NativeBoxesShowGameText() const { return false; }
  virtual void SetFullScreen(bool /*on*/) {}
  virtual Pointer ReadPointer() { return {}; }
  // The name of what draws the window ("Direct3D 9", "OpenGL"), once it is
  // open; "none" without a window.
  virtual const char* RendererName() const { return "none"; }
};

// The SDL2 + OpenGL system (sdl_gl back end). Null when the program was built
// without it.
std::unique_ptr<System> CreateSdlSystem();
// The windowless system used by tests, benchmarks and --headless.
std::unique_ptr<System> CreateHeadlessSystem();

}  // namespace platform
