// The SDL system's events, and the CPU helpers of the GL back end. The
// Windows build runs them too, under Wine, but for the display tests, which
// are about X11 and Wayland.
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <chrono>
#include <cstdlib>
#include <thread>

#include "gl/gl_world.h"
#include "platform/input.h"
#include "platform/keyboard.h"

namespace gltest {
namespace {

// SDL scancodes are the USB keyboard usage numbers.
constexpr int kScA = 4, kScZ = 29, kSc1 = 30, kSc9 = 38, kSc0 = 39, kScReturn = 40, kScEscape = 41,
              kScSpace = 44, kScRight = 79, kScLeft = 80, kScDown = 81, kScUp = 82, kScKpEnter = 88,
              kScCapsLock = 57, kScF11 = 68;

TEST(SdlKeys, ScancodesMapToVirtualKeys) {
  using sdl_gl::VirtualKeyFromScancode;
  EXPECT_EQ(VirtualKeyFromScancode(kScA), 0x41);
  EXPECT_EQ(VirtualKeyFromScancode(kScZ), 0x5A);
  EXPECT_EQ(VirtualKeyFromScancode(kSc1), 0x31);
  EXPECT_EQ(VirtualKeyFromScancode(kSc9), 0x39);
  EXPECT_EQ(VirtualKeyFromScancode(kSc0), 0x30);
  EXPECT_EQ(VirtualKeyFromScancode(kScReturn), 0x0D);
  EXPECT_EQ(VirtualKeyFromScancode(kScKpEnter), 0x0D);
  EXPECT_EQ(VirtualKeyFromScancode(kScEscape), 0x1B);
  EXPECT_EQ(VirtualKeyFromScancode(kScSpace), 0x20);
  EXPECT_EQ(VirtualKeyFromScancode(kScLeft), 0x25);
  EXPECT_EQ(VirtualKeyFromScancode(kScUp), 0x26);
  EXPECT_EQ(VirtualKeyFromScancode(kScRight), 0x27);
  EXPECT_EQ(VirtualKeyFromScancode(kScDown), 0x28);
  EXPECT_EQ(VirtualKeyFromScancode(kScCapsLock), 0);
}

class SdlSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TheWorld().device, nullptr) << "the GL tests need an X display";
    system = TheWorld().system.get();
    system->PumpEvents();
    ResetKeyboard();
    SetKeyboardFocus(true);
  }
  System* system = nullptr;
};

TEST_F(SdlSystemTest, KeyEventsFeedTheKeyboardTable) {
  sdl_gl::PushKeyEventForTest(kScLeft, true, false);
  system->PumpEvents();
  EXPECT_EQ(GetAsyncKeyState(kVkLeft) & 0x8001, 0x8001);
  // Held with auto-repeat: down, but no new press.
  sdl_gl::PushKeyEventForTest(kScLeft, true, true);
  system->PumpEvents();
  EXPECT_EQ(GetAsyncKeyState(kVkLeft) & 0x8001, 0x8000);
  sdl_gl::PushKeyEventForTest(kScLeft, false, false);
  sdl_gl::PushKeyEventForTest(kScKpEnter, true, false);
  system->PumpEvents();
  EXPECT_EQ(GetAsyncKeyState(kVkLeft), 0);
  EXPECT_NE(GetAsyncKeyState(kVkReturn) & 0x8000, 0);
  sdl_gl::PushKeyEventForTest(kScKpEnter, false, false);
  system->PumpEvents();
}

TEST_F(SdlSystemTest, WaitingLeavesTheEventForThePump) {
  sdl_gl::PushKeyEventForTest(kScZ, true, false);
  system->WaitEvents(1000);
  EXPECT_EQ(GetAsyncKeyState(kVkZ), 0);
  system->PumpEvents();
  EXPECT_NE(GetAsyncKeyState(kVkZ) & 0x8000, 0);
  sdl_gl::PushKeyEventForTest(kScZ, false, false);
  system->PumpEvents();
}

TEST_F(SdlSystemTest, FocusLossReleasesKeysAndLeavesTheForeground) {
  // Start from a known focus: another window on the same X server may have
  // taken it since this one was created.
  sdl_gl::PushFocusEventForTest(*system, true);
  system->PumpEvents();
  EXPECT_TRUE(system->IsForeground());
  sdl_gl::PushKeyEventForTest(kScSpace, true, false);
  system->PumpEvents();
  sdl_gl::PushFocusEventForTest(*system, false);
  system->PumpEvents();
  EXPECT_FALSE(system->IsForeground());
  EXPECT_EQ(GetAsyncKeyState(kVkSpace), 0);
  sdl_gl::PushFocusEventForTest(*system, true);
  system->PumpEvents();
  EXPECT_TRUE(system->IsForeground());
  // The key went up while the window was away: it is not still held.
  EXPECT_EQ(GetAsyncKeyState(kVkSpace), 0);
}

class SdlFullScreenTest : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    system = TheWorld().system.get();
    system->PumpEvents();
    ResetKeyboard();
    SetKeyboardFocus(true);
  }
  void TearDown() override {
    // The window goes back as the other tests expect it, whatever happened.
    if (system && sdl_gl::IsFullScreenForTest(*system)) {
      sdl_gl::PushKeyEventForTest(kScF11, true, false);
      sdl_gl::PushKeyEventForTest(kScF11, false, false);
      system->PumpEvents();
    }
    if (system) sdl_gl::SetWindowSizeForTest(*system, 800, 600);
    GlTest::TearDown();
  }
  void Press(int scancode, bool alt) {
    sdl_gl::PushKeyEventForTest(scancode, true, false, alt);
    sdl_gl::PushKeyEventForTest(scancode, false, false, alt);
    system->PumpEvents();
  }
  // The window's picture after presenting a back buffer cleared red, once
  // the window is width x height. The X server resizes the window a little
  // after SDL says it has: until then frames still go to the old size, so
  // this presents again (for up to a second) until the picture's top left
  // corner is where a window of that size has it.
  std::vector<std::uint32_t> Shown(int width, int height) {
    std::vector<std::uint32_t> px;
    d->Clear(kClearTarget, 0xFFFF0000u, 1.0f, 0);
    const sdl_gl::PresentRect r = sdl_gl::FitBackBuffer(width, height);
    for (int i = 0; i < 100; ++i) {
      sdl_gl::CaptureWindowOnPresent(*d, true);
      d->Present();
      sdl_gl::CaptureWindowOnPresent(*d, false);
      int w = 0, h = 0;
      px = sdl_gl::CapturedWindow(*d, &w, &h);
      if (w == width && h == height &&
          RgbNear(At(px, r.x, height - r.y - r.height, width), 255, 0, 0)) {
        break;
      }
      system->PumpEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return px;
  }
  System* system = nullptr;
};

TEST_F(SdlFullScreenTest, AltEnterAndF11SwitchBothWaysAndNeverReachTheGame) {
  ASSERT_FALSE(sdl_gl::IsFullScreenForTest(*system));
  int desktopW = 0, desktopH = 0;
  sdl_gl::DesktopSizeForTest(*system, &desktopW, &desktopH);
  ASSERT_GT(desktopW * desktopH, 800 * 600) << "the X screen must be larger than the window";

  // Alt+Enter, and Alt let go before Enter: the repeats that follow are no
  // Enter either.
  sdl_gl::PushKeyEventForTest(kScReturn, true, false, true);
  system->PumpEvents();
  EXPECT_TRUE(sdl_gl::IsFullScreenForTest(*system));
  sdl_gl::PushKeyEventForTest(kScReturn, true, true, false);
  system->PumpEvents();
  EXPECT_EQ(GetAsyncKeyState(kVkReturn), 0);
  sdl_gl::PushKeyEventForTest(kScReturn, false, false, false);
  system->PumpEvents();
  EXPECT_EQ(GetAsyncKeyState(kVkReturn), 0);

  // The device letterboxes into the size SDL gives: the desktop's. (Xvfb
  // has no window manager to resize the X window itself, so the picture
  // cannot be looked at here; TargetTest.PresentLetterboxesIntoAnyWindow
  // covers drawing into other sizes.)
  EXPECT_TRUE(sdl_gl::WaitForDrawableSizeForTest(*system, desktopW, desktopH));

  // F11 goes back to the window, at the size it had, and the picture fills
  // it again.
  Press(kScF11, false);
  EXPECT_FALSE(sdl_gl::IsFullScreenForTest(*system));
  ASSERT_TRUE(sdl_gl::WaitForDrawableSizeForTest(*system, 800, 600));
  std::vector<std::uint32_t> windowed = Shown(800, 600);
  ASSERT_EQ(windowed.size(), 800u * 600u);
  EXPECT_TRUE(RgbNear(At(windowed, 0, 0), 255, 0, 0));
  EXPECT_TRUE(RgbNear(At(windowed, 799, 599), 255, 0, 0));

  // F11 and Alt with the keypad's Enter do the same; none of them is a key
  // of the game.
  Press(kScF11, false);
  EXPECT_TRUE(sdl_gl::IsFullScreenForTest(*system));
  Press(kScKpEnter, true);
  EXPECT_FALSE(sdl_gl::IsFullScreenForTest(*system));
  EXPECT_EQ(ReadTickInput(), TickInput{});

  // Enter without Alt is Enter again; held on while Alt goes down it stays
  // the game's Enter, and comes up with the key.
  sdl_gl::PushKeyEventForTest(kScReturn, true, false);
  system->PumpEvents();
  EXPECT_EQ(GetAsyncKeyState(kVkReturn) & 0x8001, 0x8001);
  sdl_gl::PushKeyEventForTest(kScReturn, true, true, true);
  system->PumpEvents();
  EXPECT_FALSE(sdl_gl::IsFullScreenForTest(*system));
  EXPECT_EQ(GetAsyncKeyState(kVkReturn), static_cast<std::int16_t>(0x8000));
  sdl_gl::PushKeyEventForTest(kScReturn, false, false, true);
  system->PumpEvents();
  EXPECT_EQ(GetAsyncKeyState(kVkReturn), 0);
}

// The start-up question reads the mouse in the picture's own pixels: the
// picture is letterboxed into whatever size the window has. It switches the
// window it was asked in to full screen and back.
TEST_F(SdlFullScreenTest, TheMouseIsReadInThePicturesPixelsAndTheWindowSwitchesWhenAsked) {
  sdl_gl::SetWindowSizeForTest(*system, 1000, 600);  // bars of 100 on either side
  system->ReadPointer();
  sdl_gl::PushMouseEventForTest(*system, 500, 300, false);
  system->PumpEvents();
  Pointer p = system->ReadPointer();
  EXPECT_TRUE(p.over);
  EXPECT_NEAR(p.x, 400.0f, 1.0f);
  EXPECT_NEAR(p.y, 300.0f, 1.0f);
  EXPECT_FALSE(p.clicked);
  sdl_gl::PushMouseEventForTest(*system, 50, 300, true);  // on a bar
  system->PumpEvents();
  p = system->ReadPointer();
  EXPECT_FALSE(p.over);
  EXPECT_FALSE(p.clicked);
  sdl_gl::PushMouseEventForTest(*system, 300, 150, true);
  system->PumpEvents();
  p = system->ReadPointer();
  EXPECT_TRUE(p.over && p.clicked);
  EXPECT_NEAR(p.x, 200.0f, 1.0f);
  EXPECT_NEAR(p.y, 150.0f, 1.0f);
  EXPECT_FALSE(system->ReadPointer().clicked);  // one press, read once

  sdl_gl::SetWindowSizeForTest(*system, 400, 600);  // bars of 150 above and below
  sdl_gl::PushMouseEventForTest(*system, 200, 155, true);
  system->PumpEvents();
  p = system->ReadPointer();
  EXPECT_TRUE(p.over && p.clicked);
  EXPECT_NEAR(p.x, 400.0f, 2.0f);
  EXPECT_NEAR(p.y, 10.0f, 2.0f);

  sdl_gl::SetWindowSizeForTest(*system, 800, 600);
  system->SetFullScreen(true);
  EXPECT_TRUE(sdl_gl::IsFullScreenForTest(*system));
  system->SetFullScreen(true);
  EXPECT_TRUE(sdl_gl::IsFullScreenForTest(*system));
  system->SetFullScreen(false);
  EXPECT_FALSE(sdl_gl::IsFullScreenForTest(*system));
  EXPECT_TRUE(sdl_gl::WaitForDrawableSizeForTest(*system, 800, 600));
#if defined(_WIN32)
  EXPECT_TRUE(system->NativeBoxesShowGameText());  // MessageBoxW draws Japanese
#else
  EXPECT_FALSE(system->NativeBoxesShowGameText());  // X11's boxes cannot draw Japanese
#endif
}

TEST_F(SdlSystemTest, CloseRequestsGoToTheHandler) {
  int closes = 0;
  system->SetCloseHandler([&] { ++closes; });
  sdl_gl::PushQuitEventForTest();
  // The game decides: without PostQuit the loop goes on.
  EXPECT_TRUE(system->PumpEvents());
  EXPECT_EQ(closes, 1);
  system->SetCloseHandler(nullptr);

  // PostQuit ends the loop with its code (on a system of its own).
  std::unique_ptr<System> other = CreateSdlSystem();
  EXPECT_TRUE(other->PumpEvents());
  other->PostQuit(3);
  EXPECT_FALSE(other->PumpEvents());
  EXPECT_EQ(other->QuitCode(), 3);
}

#if !defined(_WIN32)
// Each death test below runs in a fresh copy of the program, so the
// environment it sets up is what SDL sees when its video starts.
TEST(SdlWithoutDisplay, FailsAtOnceAndAnswersOnStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run = [] {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    std::unique_ptr<System> system = CreateSdlSystem();
    bool yes = system->AskYesNo("Question", "Full screen?");
    // The caller has said what went wrong; a box that cannot show says so.
    system->ShowError("ERROR", "no device");
    // SDL would find its off-screen driver here and run the game where
    // nobody sees it: no display is a failure of its own.
    WindowFailure failure = WindowFailure::None;
    bool created = system->CreateGameWindow(WindowConfig{}, &failure);
    bool device = system->CreateDevice() != nullptr;
    system.reset();
    std::exit(!created && failure == WindowFailure::NoDisplay && !device && !yes ? 0 : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0),
              "Question: Full screen.*answering No.\nwindow: no error box [^\n]*\n"
              "window: no display to open the window on \\(neither DISPLAY nor WAYLAND_DISPLAY "
              "is set\\)\n");
}

// Runs CreateGameWindow in a child with `setup` applied first and ends the
// child with the failure it got as exit code (0 for a window with a device,
// 100 when the answer does not hang together). The child skips the leak
// check at exit: a context that failed half way has had its GL driver
// unloaded again, and what the driver leaves can no longer be told from ours.
[[noreturn]] void ExitWithFailure(void (*setup)()) {
  setup();
  std::unique_ptr<System> system = CreateSdlSystem();
  WindowFailure failure = WindowFailure::None;
  bool created = system->CreateGameWindow(WindowConfig{}, &failure);
  bool device = system->CreateDevice() != nullptr;
  system.reset();
  if (created != device || created != (failure == WindowFailure::None)) std::_Exit(100);
  std::_Exit(static_cast<int>(failure));
}

TEST(SdlWithoutDisplay, EachCauseHasItsFailureAndItsLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const int noDisplay = static_cast<int>(WindowFailure::NoDisplay);
  const int noGraphics = static_cast<int>(WindowFailure::NoGraphics);
  // A display that is not there.
  EXPECT_EXIT(ExitWithFailure([] { setenv("DISPLAY", ":4242", 1); }),
              ::testing::ExitedWithCode(noDisplay),
              "^window: cannot open the display DISPLAY=:4242 \\([^\n]*\\)\n$");
  // A video driver SDL does not have.
  EXPECT_EXIT(ExitWithFailure([] { setenv("SDL_VIDEODRIVER", "bogus", 1); }),
              ::testing::ExitedWithCode(noDisplay),
              "^window: the video driver SDL_VIDEODRIVER=bogus cannot start");
  // No OpenGL at all, and an OpenGL older than 3.3 (Xvfb's GL is Mesa's,
  // which can be told to claim an older version).
  EXPECT_EXIT(ExitWithFailure([] { setenv("SDL_OPENGL_LIBRARY", "/nonexistent/libGL.so.1", 1); }),
              ::testing::ExitedWithCode(noGraphics),
              "^graphics: no OpenGL library \\([^\n]*\\)\n$");
  EXPECT_EXIT(ExitWithFailure([] { setenv("MESA_GL_VERSION_OVERRIDE", "3.0", 1); }),
              ::testing::ExitedWithCode(noGraphics), "^graphics: no OpenGL 3.3 core context");
  // The off-screen driver named on purpose is the player's choice: it is not
  // refused as "no display" (whether it has OpenGL 3.3 depends on EGL).
  auto notRefused = [](int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) != static_cast<int>(WindowFailure::NoDisplay) &&
           WEXITSTATUS(status) != 100;
  };
  EXPECT_EXIT(ExitWithFailure([] {
                unsetenv("DISPLAY");
                unsetenv("WAYLAND_DISPLAY");
                setenv("SDL_VIDEODRIVER", "offscreen", 1);
              }),
              notRefused, "");
}
#endif

TEST(GlLayout, VertexFormatsMatchTheirSizes) {
  struct Case {
    std::uint32_t fvf;
    int betas;
    std::int64_t normal, diffuse, tex;  // offsets, -1 = absent
    int texFloats;
  };
  const Case cases[] = {
      {kFvfXyz | kFvfDiffuse | kFvfTex1, 0, -1, 12, 16, 2},
      {kFvfXyzRhw | kFvfDiffuse | kFvfTex1, 0, -1, 16, 20, 2},
      {kFvfXyz | kFvfNormal | kFvfTex1, 0, 12, -1, 24, 2},
      {kFvfXyzB2 | kFvfNormal | kFvfTex1, 2, 20, -1, 32, 2},
      {kFvfXyzB3 | kFvfLastBetaUByte4 | kFvfNormal, 2, 24, -1, -1, 0},
      {kFvfXyzB1 | kFvfPSize | kFvfDiffuse | kFvfSpecular | kFvfTex2, 1, -1, 20, 28, 2},
      // Set 0 with three floats (code 1 at bits 16-17).
      {kFvfXyz | kFvfNormal | kFvfTex1 | 0x10000u, 0, 12, -1, 24, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fvf);
    sdl_gl::VertexLayout l = sdl_gl::LayoutOfFvf(c.fvf);
    ASSERT_TRUE(l.valid);
    EXPECT_EQ(l.stride, GetFVFVertexSize(c.fvf));
    EXPECT_EQ(l.betas, c.betas);
    EXPECT_EQ(l.normal ? std::int64_t{l.normalOffset} : -1, c.normal);
    EXPECT_EQ(l.diffuse ? std::int64_t{l.diffuseOffset} : -1, c.diffuse);
    EXPECT_EQ(l.texFloats > 0 ? std::int64_t{l.texOffset} : -1, c.tex);
    EXPECT_EQ(l.texFloats, c.texFloats);
  }
  EXPECT_TRUE(sdl_gl::LayoutOfFvf(kFvfXyzRhw).rhw);
  EXPECT_FALSE(sdl_gl::LayoutOfFvf(kFvfDiffuse | kFvfTex1).valid);
}

TEST(GlLayout, PrimitiveVertexCounts) {
  EXPECT_EQ(VerticesForPrimitives(PrimitiveType::TriangleFan, 2), 4u);
  EXPECT_EQ(VerticesForPrimitives(PrimitiveType::TriangleStrip, 3), 5u);
  EXPECT_EQ(VerticesForPrimitives(PrimitiveType::TriangleList, 2), 6u);
  EXPECT_EQ(VerticesForPrimitives(PrimitiveType::LineStrip, 1), 2u);
  EXPECT_EQ(VerticesForPrimitives(PrimitiveType::LineList, 2), 4u);
  EXPECT_EQ(VerticesForPrimitives(PrimitiveType::PointList, 7), 7u);
  EXPECT_EQ(VerticesForPrimitives(PrimitiveType::TriangleFan, 0), 0u);
}

TEST(GlLayout, BackBufferFitsTheWindowAtFourToThree) {
  struct Case {
    int w, h, x, y, pw, ph;
  };
  for (Case c : {Case{800, 600, 0, 0, 800, 600}, Case{1000, 600, 100, 0, 800, 600},
                 Case{800, 800, 0, 100, 800, 600}, Case{1920, 1080, 240, 0, 1440, 1080},
                 Case{401, 300, 0, 0, 400, 300}, Case{1, 1, 0, 0, 1, 1}}) {
    SCOPED_TRACE(c.w * 10000 + c.h);
    sdl_gl::PresentRect r = sdl_gl::FitBackBuffer(c.w, c.h);
    EXPECT_EQ(r.x, c.x);
    EXPECT_EQ(r.y, c.y);
    EXPECT_EQ(r.width, c.pw);
    EXPECT_EQ(r.height, c.ph);
  }
  sdl_gl::PresentRect none = sdl_gl::FitBackBuffer(0, 600);
  EXPECT_EQ(none.width, 0);
}

TEST(RendererTest, CpuRasterisersAreKnownByName) {
  EXPECT_TRUE(sdl_gl::IsCpuRasteriser("llvmpipe (LLVM 15.0.6, 256 bits)"));
  EXPECT_TRUE(sdl_gl::IsCpuRasteriser("softpipe"));
  EXPECT_TRUE(sdl_gl::IsCpuRasteriser("Google SwiftShader"));
  EXPECT_FALSE(sdl_gl::IsCpuRasteriser("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
  EXPECT_FALSE(sdl_gl::IsCpuRasteriser("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)"));
  EXPECT_FALSE(sdl_gl::IsCpuRasteriser(nullptr));
}

}  // namespace
}  // namespace gltest
