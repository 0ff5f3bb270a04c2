// The SDL2 system: the game window with its OpenGL 3.3 core context, the event
// pump feeding the keyboard table (from the keyboard and game controllers),
// the full-screen switch, message boxes and the millisecond clock.
// The program's own main stays main: SDL's start-up code is not used.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#if defined(__linux__)
#include <dlfcn.h>
#include <link.h>
#endif

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/keyboard.h"
#include "platform/sdl_gl/backend.h"
#include "platform/sdl_gl/gamepad.h"
#include "platform/sdl_gl/gl_api.h"
#include "platform/system.h"
#if defined(_WIN32)
#include <SDL_syswm.h>

#include "platform/d3d9/backend_d3d9.h"
#include "platform/win/dialogs.h"
#endif

namespace platform {

namespace sdl_gl {

namespace {

// Keeps the GL driver loaded until the process ends. Closing the context
// unloads it otherwise, before the process has ended, and a leak checker can
// then no longer tell that what the driver keeps for itself is the driver's
// (tests/lsan.supp names the driver's libraries).
void PinGlDriver() {
#if defined(__linux__)
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void*) {
        const char* name = info->dlpi_name;
        if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium"))) {
          dlopen(name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
        }
        return 0;
      },
      nullptr);
#endif
}

// Owns the window and its context (none for a window Direct3D draws). Holds
// one reference on SDL's video subsystem, so the window can be torn down
// after the system is gone.
class SdlGlContext : public GlContext {
 public:
  SdlGlContext(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
  ~SdlGlContext() override {
    if (context_) {
      SDL_GL_MakeCurrent(window_, nullptr);
      SDL_GL_DeleteContext(context_);
    }
    SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  SdlGlContext(const SdlGlContext&) = delete;
  SdlGlContext& operator=(const SdlGlContext&) = delete;

  void DrawableSize(int* width, int* height) const override {
    if (context_) {
      SDL_GL_GetDrawableSize(window_, width, height);
    } else {
      SDL_GetWindowSize(window_, width, height);
    }
  }
  void Swap() override { SDL_GL_SwapWindow(window_); }
  void WakeDrawingThread() override {
    SDL_Event wake{};
    wake.type = SDL_USEREVENT;  // PumpEvents takes it and does nothing with it
    SDL_PushEvent(&wake);
  }
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
    gamepads_.Stop();
    if (eventsUp_) SDL_QuitSubSystem(SDL_INIT_EVENTS);
  }
  SdlSystem(const SdlSystem&) = delete;
  SdlSystem& operator=(const SdlSystem&) = delete;

  bool CreateGameWindow(const WindowConfig& config, WindowFailure* failure) override {
    WindowFailure dummy;
    if (!failure) failure = &dummy;
    *failure = WindowFailure::None;
    if (context_) return true;
    auto fail = [failure](WindowFailure why) {
      *failure = why;
      return false;
    };
    if (!eventsUp_) {
      SDL_SetMainReady();
      if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "window: SDL cannot start (%s)\n", SDL_GetError());
        return fail(WindowFailure::NoWindow);
      }
      eventsUp_ = true;
    }
    // Closing the window arrives as SDL_QUIT (so does Alt+F4).
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "1");
    if (!OpenDisplay()) return fail(WindowFailure::NoDisplay);
    if (config.renderer != Renderer::OpenGL && OpenDirect3DWindow(config)) return true;

    // The GL library is loaded first so that a missing one is told apart
    // from a window the display refuses.
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
      std::fprintf(stderr, "graphics: no OpenGL library (%s)\n", SDL_GetError());
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return fail(WindowFailure::NoGraphics);
    }
    SDL_GL_ResetAttributes();
    // OpenGL 3.3 core, or in the browser GL ES 3.0 (WebGL 2).
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kGles ? 0 : 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK,
                        kGles ? SDL_GL_CONTEXT_PROFILE_ES : SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The device draws into its own framebuffer; the window's needs no depth.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE;
    if (config.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* window =
        SDL_CreateWindow(config.caption.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                         config.width, config.height, flags);
    // The window holds the library now (or nothing does).
    SDL_GL_UnloadLibrary();
    if (!window) {
      std::fprintf(stderr, "window: cannot create the window (%s)\n", SDL_GetError());
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return fail(WindowFailure::NoWindow);
    }
    SDL_GLContext gl = SDL_GL_CreateContext(window);
#if POROMEKO_GLES
    if (!gl) {
      std::fprintf(stderr, "graphics: no WebGL 2 context (%s)\n", SDL_GetError());
    } else if (SDL_GL_MakeCurrent(window, gl) != 0) {
      std::fprintf(stderr, "graphics: the WebGL 2 context cannot be used (%s)\n", SDL_GetError());
      SDL_GL_DeleteContext(gl);
      gl = nullptr;
    }
#else
    if (!gl) {
      std::fprintf(stderr, "graphics: no OpenGL 3.3 core context (%s)\n", SDL_GetError());
    } else if (SDL_GL_MakeCurrent(window, gl) != 0 || !epoxy_is_desktop_gl() ||
               epoxy_gl_version() < 33) {
      const int version = epoxy_gl_version();
      std::fprintf(stderr, "graphics: the game needs OpenGL 3.3 core; the driver gives %d.%d\n",
                   version / 10, version % 10);
      SDL_GL_DeleteContext(gl);
      gl = nullptr;
    }
#endif
    if (!gl) {
      SDL_DestroyWindow(window);
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return fail(WindowFailure::NoGraphics);
    }
    // The frame tick paces the game at 16 ms; waiting for a 60 Hz refresh
    // inside Present would make most drawing ticks overrun (16.7 ms) and skip
    // every other draw. Present returns at once and the tick does the pacing.
    // (In the browser the page's refresh drives the frames: nothing to set.)
    if (!kGles) SDL_GL_SetSwapInterval(0);
    PinGlDriver();
    SDL_StopTextInput();
    context_ = std::make_shared<SdlGlContext>(window, gl);
    renderer_ = "OpenGL";
    WindowOpened(config);
    return true;
  }

  // The window for Direct3D 9, with its device made at once so that a
  // failure falls back to OpenGL. False (with one line on standard error)
  // when Direct3D 9 cannot draw here; SDL's video stays up for OpenGL.
  bool OpenDirect3DWindow(const WindowConfig& config) {
#if defined(_WIN32)
    Uint32 flags = SDL_WINDOW_RESIZABLE;
    if (config.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* window =
        SDL_CreateWindow(config.caption.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                         config.width, config.height, flags);
    std::string error;
    if (window) {
      // The holder gives up a reference on the video subsystem when it goes;
      // this one is what it gives up.
      SDL_InitSubSystem(SDL_INIT_VIDEO);
      auto holder = std::make_shared<SdlGlContext>(window, nullptr);
      SDL_SysWMinfo info;
      SDL_VERSION(&info.version);
      if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_WINDOWS) {
        pendingDevice_ = d3d9::CreateD3d9Device(info.info.win.window, holder, &error);
      } else {
        error = std::string("no window handle (") + SDL_GetError() + ")";
      }
      if (pendingDevice_) {
        context_ = std::move(holder);
        hwnd_ = info.info.win.window;
        renderer_ = "Direct3D 9";
        SDL_QuitSubSystem(
            SDL_INIT_VIDEO);  // the one taken by OpenDisplay: the holder keeps its own
        WindowOpened(config);
        return true;
      }
    } else {
      error = std::string("no window (") + SDL_GetError() + ")";
    }
    std::fprintf(stderr, "graphics: no Direct3D 9 device (%s); drawing with OpenGL\n",
                 error.c_str());
    return false;
#else
    if (config.renderer == Renderer::Direct3D9) {
      std::fprintf(stderr, "graphics: this build has no Direct3D 9; drawing with OpenGL\n");
    }
    return false;
#endif
  }

  void WindowOpened(const WindowConfig& config) {
    windowId_ = SDL_GetWindowID(context_->Window());
    windowedWidth_ = config.width;
    windowedHeight_ = config.height;
    // A freshly opened window is the foreground window.
    SetForeground(true);
    gamepads_.Start();
  }

  // Whether the window is full screen now.
  bool IsFullScreen() const {
    return context_ && (SDL_GetWindowFlags(context_->Window()) & SDL_WINDOW_FULLSCREEN) != 0;
  }

  std::unique_ptr<Device> CreateDevice() override {
    if (!context_) return nullptr;
#if defined(_WIN32)
    if (pendingDevice_) return std::move(pendingDevice_);
    if (hwnd_) return d3d9::CreateD3d9Device(hwnd_, context_, nullptr);
#endif
    return CreateGlDevice(context_);
  }

  void DestroyGameWindow() override {
    pendingDevice_.reset();
    context_.reset();
    hwnd_ = nullptr;
    renderer_ = "none";
    windowId_ = 0;
  }

  const char* RendererName() const override { return renderer_; }

  bool PumpEvents() override {
    if (eventsUp_) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) Handle(e);
      gamepads_.Poll();
    }
    return !quit_;
  }

  void WaitEvents(std::uint32_t timeoutMs) override {
    // In the browser the page calls the next frame; blocking would only
    // hold the page up.
    if (kGles) return;
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
#if defined(_WIN32)
    // The real Windows box (MessageBoxW): it shows Japanese as it is, with
    // the system's own Yes and No.
    return win::AskYesNo(caption, text);
#else
    // Yes first, No second; Enter and Escape both answer No. The buttons
    // speak the question's language: English when it is plain ASCII.
    const bool english =
        std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    const SDL_MessageBoxButtonData buttons[] = {
        {0, 1, english ? "Yes" : "はい"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0,
         english ? "No" : "いいえ"},
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
#endif
  }

  void ShowError(const std::string& caption, const std::string& text) override {
#if defined(_WIN32)
    win::ShowError(caption, text);
#else
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), text.c_str(), nullptr) !=
        0) {
      std::fprintf(stderr, "window: no error box (%s)\n", SDL_GetError());
    }
#endif
  }

  bool NativeBoxesShowGameText() const override {
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    return false;
#endif
  }

  void SetFullScreen(bool on) override {
    if (IsFullScreen() != on) ToggleFullScreen();
  }

  Pointer ReadPointer() override {
    Pointer p = pointer_;
    pointer_.clicked = false;
    return p;
  }

  SdlGlContext* Context() const { return context_.get(); }
  std::uint32_t WindowId() const { return windowId_; }

 private:
  // Starts SDL's video on a display the player can see. False, with a line
  // on standard error naming the cause, when there is none.
  static bool OpenDisplay() {
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const bool named = asked && *asked;
    std::string where = "the display";
#if defined(__unix__) && !defined(__APPLE__) && !defined(__ANDROID__) && !defined(__EMSCRIPTEN__)
    if (!named) {
      // Only the drivers whose display is announced in the environment:
      // without, SDL would go on to its off-screen driver and the game would
      // run where nobody sees it.
      const char* x11 = std::getenv("DISPLAY");
      const char* wayland = std::getenv("WAYLAND_DISPLAY");
      std::string drivers;
      if (x11 && *x11) {
        drivers = "x11";
        where = std::string("the display DISPLAY=") + x11;
      }
      if (wayland && *wayland) {
        where += drivers.empty() ? " WAYLAND_DISPLAY=" : " or WAYLAND_DISPLAY=";
        where += wayland;
        drivers += drivers.empty() ? "wayland" : ",wayland";
      }
      if (drivers.empty()) {
        std::fprintf(stderr,
                     "window: no display to open the window on (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set)\n");
        return false;
      }
      SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    }
#endif
    const int started = SDL_InitSubSystem(SDL_INIT_VIDEO);
    if (!named) SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    if (started != 0) {
      if (named) {
        std::fprintf(stderr, "window: the video driver SDL_VIDEODRIVER=%s cannot start (%s)\n",
                     asked, SDL_GetError());
      } else {
        std::fprintf(stderr, "window: cannot open %s (%s)\n", where.c_str(), SDL_GetError());
      }
      return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!named && driver &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
         std::strcmp(driver, "evdev") == 0)) {
      std::fprintf(stderr,
                   "window: no display to open the window on (SDL found only its %s driver)\n",
                   driver);
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return false;
    }
    return true;
  }

  void SetForeground(bool on) {
    foreground_ = on;
    if (!on) ResetKeyboard();
    SetKeyboardFocus(on);
    gamepads_.SetForeground(on);
  }

  // Between the window and full screen. Back in the window, it gets the size
  // it had: without a window manager nothing else would give it back.
  void ToggleFullScreen() {
    if (!context_) return;
    SDL_Window* window = context_->Window();
    const bool full = IsFullScreen();
    if (!full) SDL_GetWindowSize(window, &windowedWidth_, &windowedHeight_);
    if (SDL_SetWindowFullscreen(window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
      std::fprintf(stderr, "window: cannot switch %s (%s)\n",
                   full ? "back to the window" : "to full screen", SDL_GetError());
      return;
    }
    if (full) SDL_SetWindowSize(window, windowedWidth_, windowedHeight_);
  }

  // Where a point of the window (in SDL's window coordinates) lies on the
  // game's picture, which is drawn letterboxed into the drawable.
  void PointAt(int windowX, int windowY) {
    pointer_.over = false;
    if (!context_) return;
    int w = 0, h = 0, dw = 0, dh = 0;
    SDL_GetWindowSize(context_->Window(), &w, &h);
    context_->DrawableSize(&dw, &dh);
    if (w <= 0 || h <= 0 || dw <= 0 || dh <= 0) return;
    // High-density screens have more drawable pixels than window points.
    const float px = static_cast<float>(windowX) * static_cast<float>(dw) / static_cast<float>(w);
    const float py = static_cast<float>(windowY) * static_cast<float>(dh) / static_cast<float>(h);
    const PresentRect r = FitBackBuffer(dw, dh);
    if (r.width <= 0 || r.height <= 0) return;
    // The rectangle is in GL terms, counted from the bottom.
    const float top = static_cast<float>(dh - r.y - r.height);
    const float x = (px - static_cast<float>(r.x)) * 800.0f / static_cast<float>(r.width);
    const float y = (py - top) * 600.0f / static_cast<float>(r.height);
    if (x < 0.0f || y < 0.0f || x >= 800.0f || y >= 600.0f) return;
    pointer_.over = true;
    pointer_.x = x;
    pointer_.y = y;
  }

  void HandleKey(const SDL_KeyboardEvent& key) {
    const SDL_Scancode code = key.keysym.scancode;
    const int number = static_cast<int>(code);
    if (number < 0 || number >= SDL_NUM_SCANCODES) return;
    const auto slot = static_cast<std::size_t>(number);
    const bool enter = code == SDL_SCANCODE_RETURN || code == SDL_SCANCODE_KP_ENTER;
    if (key.type == SDL_KEYDOWN && !key.repeat &&
        (code == SDL_SCANCODE_F11 || (enter && (key.keysym.mod & KMOD_ALT) != 0))) {
      // The switch is the window's: the game never sees these keys. (Enter
      // held before Alt came is the game's Enter, repeats and all.)
      swallowed_.set(slot);
      ToggleFullScreen();
      return;
    }
    if (swallowed_.test(slot)) {
      // Enter held on after Alt is let go repeats without Alt: still the
      // switch's, until the key comes up or is pressed anew.
      if (key.type == SDL_KEYUP) {
        swallowed_.reset(slot);
        return;
      }
      if (key.repeat) return;
      swallowed_.reset(slot);
    }
    const int vk = VirtualKeyFromScancode(code);
    if (vk == 0) return;
    if (key.type == SDL_KEYDOWN) {
      OnKeyDown(vk, key.repeat != 0);
    } else {
      OnKeyUp(vk);
    }
  }

  void Handle(const SDL_Event& e) {
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: HandleKey(e.key); break;
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED:
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
      case SDL_CONTROLLERAXISMOTION: gamepads_.Handle(e); break;
      case SDL_MOUSEMOTION:
        if (e.motion.windowID == windowId_) PointAt(e.motion.x, e.motion.y);
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.windowID != windowId_) break;
        PointAt(e.button.x, e.button.y);
        if (e.button.button == SDL_BUTTON_LEFT && pointer_.over) pointer_.clicked = true;
        break;
      case SDL_WINDOWEVENT:
        if (e.window.windowID != windowId_) break;
        if (e.window.event == SDL_WINDOWEVENT_LEAVE) pointer_.over = false;
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
  // The Direct3D 9 device made with the window, until CreateDevice hands it
  // out, and the window's handle (null for an OpenGL window).
  std::unique_ptr<Device> pendingDevice_;
  void* hwnd_ = nullptr;
  const char* renderer_ = "none";
  std::uint32_t windowId_ = 0;
  int windowedWidth_ = 800;
  int windowedHeight_ = 600;
  std::bitset<SDL_NUM_SCANCODES> swallowed_;  // keys held down for the full-screen switch
  Pointer pointer_;
  Gamepads gamepads_;
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

void PushKeyEventForTest(int scancode, bool down, bool repeat, bool alt) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.type = e.type;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.repeat = repeat ? 1 : 0;
  e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
  e.key.keysym.mod = alt ? KMOD_LALT : KMOD_NONE;
  SDL_PushEvent(&e);
}

void PushQuitEventForTest() {
  SDL_Event e{};
  e.type = SDL_QUIT;
  SDL_PushEvent(&e);
}

void PushMouseEventForTest(System& system, int x, int y, bool press) {
  auto* sdl = dynamic_cast<SdlSystem*>(&system);
  if (!sdl) return;
  SDL_Event e{};
  if (press) {
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = sdl->WindowId();
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = SDL_PRESSED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = y;
  } else {
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = sdl->WindowId();
    e.motion.x = x;
    e.motion.y = y;
  }
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

bool IsFullScreenForTest(System& system) {
  auto* sdl = dynamic_cast<SdlSystem*>(&system);
  return sdl && sdl->IsFullScreen();
}

void DesktopSizeForTest(System& system, int* width, int* height) {
  *width = *height = 0;
  auto* sdl = dynamic_cast<SdlSystem*>(&system);
  if (!sdl || !sdl->Context()) return;
  SDL_DisplayMode mode{};
  if (SDL_GetDesktopDisplayMode(SDL_GetWindowDisplayIndex(sdl->Context()->Window()), &mode) != 0) {
    return;
  }
  *width = mode.w;
  *height = mode.h;
}

bool WaitForDrawableSizeForTest(System& system, int width, int height) {
  auto* sdl = dynamic_cast<SdlSystem*>(&system);
  if (!sdl || !sdl->Context()) return false;
  for (int i = 0; i < 100; ++i) {
    SDL_PumpEvents();
    int w = 0, h = 0;
    sdl->Context()->DrawableSize(&w, &h);
    if (w == width && h == height) return true;
    SDL_Delay(10);
  }
  return false;
}

}  // namespace sdl_gl

std::unique_ptr<System> CreateSdlSystem() { return std::make_unique<sdl_gl::SdlSystem>(); }

}  // namespace platform
