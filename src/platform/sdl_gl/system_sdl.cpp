// The SDL2 system: the game window with its OpenGL 3.3 core context, the event
// pump feeding the keyboard table, message boxes and the millisecond clock.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cstdio>

#include "platform/keyboard.h"
#include "platform/sdl_gl/backend.h"
#include "platform/system.h"

namespace platform {

namespace sdl_gl {

namespace {

// Owns the window and its context. Holds one reference on SDL's video
// subsystem, so the window can be torn down after the system is gone.
class SdlGlContext : public GlContext {
 public:
  SdlGlContext(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
  ~SdlGlContext() override {
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
    SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  SdlGlContext(const SdlGlContext&) = delete;
  SdlGlContext& operator=(const SdlGlContext&) = delete;

  void DrawableSize(int* width, int* height) const override {
    SDL_GL_GetDrawableSize(window_, width, height);
  }
  void Swap() override { SDL_GL_SwapWindow(window_); }
  SDL_Window* Window() const { return window_; }

 private:
  SDL_Window* window_;
  SDL_GLContext context_;
};

class SdlSystem : public System {
 public:
  SdlSystem() = default;
  ~SdlSystem() override {
    DestroyGameWindow();
    if (eventsUp_) SDL_QuitSubSystem(SDL_INIT_EVENTS);
  }
  SdlSystem(const SdlSystem&) = delete;
  SdlSystem& operator=(const SdlSystem&) = delete;

  bool CreateGameWindow(const WindowConfig& config, WindowFailure* failure) override {
    WindowFailure dummy;
    if (!failure) failure = &dummy;
    *failure = WindowFailure::None;
    if (context_) return true;
    if (!eventsUp_) {
      if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "SDL events: %s\n", SDL_GetError());
        *failure = WindowFailure::NoWindow;
        return false;
      }
      eventsUp_ = true;
    }
    // Closing the window arrives as SDL_QUIT (so does Alt+F4).
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      std::fprintf(stderr, "SDL video: %s\n", SDL_GetError());
      *failure = WindowFailure::NoWindow;
      return false;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The device draws into its own framebuffer; the window's needs no depth.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
    if (config.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* window =
        SDL_CreateWindow(config.caption.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                         config.width, config.height, flags);
    if (!window) {
      std::fprintf(stderr, "SDL window: %s\n", SDL_GetError());
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      *failure = WindowFailure::NoWindow;
      return false;
    }
    SDL_GLContext gl = SDL_GL_CreateContext(window);
    if (gl && (SDL_GL_MakeCurrent(window, gl) != 0 || !epoxy_is_desktop_gl() ||
               epoxy_gl_version() < 33)) {
      std::fprintf(stderr, "OpenGL 3.3 core is not available (got %d)\n", epoxy_gl_version());
      SDL_GL_DeleteContext(gl);
      gl = nullptr;
    } else if (!gl) {
      std::fprintf(stderr, "OpenGL context: %s\n", SDL_GetError());
    }
    if (!gl) {
      SDL_DestroyWindow(window);
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      *failure = WindowFailure::NoGraphics;
      return false;
    }
    // The frame tick paces the game at 16 ms; waiting for a 60 Hz refresh
    // inside Present would make most drawing ticks overrun (16.7 ms) and skip
    // every other draw. Present returns at once and the tick does the pacing.
    SDL_GL_SetSwapInterval(0);
    SDL_StopTextInput();
    context_ = std::make_shared<SdlGlContext>(window, gl);
    windowId_ = SDL_GetWindowID(window);
    // A freshly opened window is the foreground window.
    SetForeground(true);
    return true;
  }

  std::unique_ptr<Device> CreateDevice() override {
    if (!context_) return nullptr;
    return CreateGlDevice(context_);
  }

  void DestroyGameWindow() override {
    context_.reset();
    windowId_ = 0;
  }

  bool PumpEvents() override {
    if (eventsUp_) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) Handle(e);
    }
    return !quit_;
  }

  void WaitEvents(std::uint32_t timeoutMs) override {
    int ms = static_cast<int>(timeoutMs > 0x7fffffffu ? 0x7fffffffu : timeoutMs);
    if (eventsUp_) {
      // With no event argument the waiting event stays queued for PumpEvents.
      SDL_WaitEventTimeout(nullptr, ms);
    } else {
      SDL_Delay(static_cast<Uint32>(ms));
    }
  }

  bool IsForeground() const override { return foreground_; }
  void PostQuit(int exitCode) override {
    quit_ = true;
    code_ = exitCode;
  }
  int QuitCode() const override { return code_; }
  void SetCloseHandler(std::function<void()> handler) override { close_ = std::move(handler); }
  std::uint32_t TimeGetTime() const override { return static_cast<std::uint32_t>(SDL_GetTicks()); }

  bool AskYesNo(const std::string& caption, const std::string& text) override {
    // Yes first, No second; Enter and Escape both answer No.
    const SDL_MessageBoxButtonData buttons[] = {
        {0, 1, "はい"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0,
         "いいえ"},
    };
    SDL_MessageBoxData box{};
    box.flags = SDL_MESSAGEBOX_INFORMATION | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.window = nullptr;
    box.title = caption.c_str();
    box.message = text.c_str();
    box.numbuttons = 2;
    box.buttons = buttons;
    int pressed = 0;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
      std::fprintf(stderr, "%s: %s [no message box: %s; answering No]\n", caption.c_str(),
                   text.c_str(), SDL_GetError());
      return false;
    }
    return pressed == 1;
  }

  void ShowError(const std::string& caption, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), text.c_str(), nullptr);
  }

  SdlGlContext* Context() const { return context_.get(); }
  std::uint32_t WindowId() const { return windowId_; }

 private:
  void SetForeground(bool on) {
    foreground_ = on;
    if (!on) ResetKeyboard();
    SetKeyboardFocus(on);
  }

  void Handle(const SDL_Event& e) {
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        int vk = VirtualKeyFromScancode(e.key.keysym.scancode);
        if (vk == 0) break;
        if (e.type == SDL_KEYDOWN) {
          OnKeyDown(vk, e.key.repeat != 0);
        } else {
          OnKeyUp(vk);
        }
        break;
      }
      case SDL_WINDOWEVENT:
        if (e.window.windowID != windowId_) break;
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) SetForeground(true);
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) SetForeground(false);
        break;
      case SDL_QUIT:
        if (close_) close_();
        break;
      default: break;
    }
  }

  std::shared_ptr<SdlGlContext> context_;
  std::uint32_t windowId_ = 0;
  bool eventsUp_ = false;
  bool foreground_ = false;
  bool quit_ = false;
  int code_ = 0;
  std::function<void()> close_;
};

}  // namespace

int VirtualKeyFromScancode(int scancode) {
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
    return 0x41 + (scancode - SDL_SCANCODE_A);
  }
  // The digit row runs 1..9, 0.
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
    return 0x31 + (scancode - SDL_SCANCODE_1);
  }
  if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
    return 0x70 + (scancode - SDL_SCANCODE_F1);
  }
  switch (scancode) {
    case SDL_SCANCODE_0: return 0x30;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 0x0D;
    case SDL_SCANCODE_ESCAPE: return 0x1B;
    case SDL_SCANCODE_SPACE: return 0x20;
    case SDL_SCANCODE_BACKSPACE: return 0x08;
    case SDL_SCANCODE_TAB: return 0x09;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return 0x10;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return 0x11;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return 0x12;
    case SDL_SCANCODE_LEFT: return 0x25;
    case SDL_SCANCODE_UP: return 0x26;
    case SDL_SCANCODE_RIGHT: return 0x27;
    case SDL_SCANCODE_DOWN: return 0x28;
    default: return 0;
  }
}

void SetWindowSizeForTest(System& system, int width, int height) {
  auto* sdl = dynamic_cast<SdlSystem*>(&system);
  if (!sdl || !sdl->Context()) return;
  SDL_Window* window = sdl->Context()->Window();
  SDL_SetWindowSize(window, width, height);
  // The X server applies the size asynchronously: wait (briefly) for it.
  for (int i = 0; i < 100; ++i) {
    SDL_PumpEvents();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    if (w == width && h == height) break;
    SDL_Delay(10);
  }
}

void PushKeyEventForTest(int scancode, bool down, bool repeat) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat ? 1 : 0;
  e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
  SDL_PushEvent(&e);
}

void PushQuitEventForTest() {
  SDL_Event e{};
  e.type = SDL_QUIT;
  SDL_PushEvent(&e);
}

void PushFocusEventForTest(System& system, bool gained) {
  auto* sdl = dynamic_cast<SdlSystem*>(&system);
  if (!sdl) return;
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = sdl->WindowId();
  e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&e);
}

}  // namespace sdl_gl

std::unique_ptr<System> CreateSdlSystem() { return std::make_unique<sdl_gl::SdlSystem>(); }

}  // namespace platform
