// The SDL system's events, and the CPU helpers of the GL back end.
#include <cstdlib>

#include "gl/gl_world.h"
#include "platform/keyboard.h"

namespace gltest {
namespace {

// SDL scancodes are the USB keyboard usage numbers.
constexpr int kScA = 4, kScZ = 29, kSc1 = 30, kSc9 = 38, kSc0 = 39, kScReturn = 40, kScEscape = 41,
              kScSpace = 44, kScRight = 79, kScLeft = 80, kScDown = 81, kScUp = 82, kScKpEnter = 88,
              kScCapsLock = 57;

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

TEST(SdlWithoutDisplay, FailsCleanlyAndAnswersOnStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run = [] {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    std::unique_ptr<System> system = CreateSdlSystem();
    bool yes = system->AskYesNo("Question", "Full screen?");
    system->ShowError("ERROR", "no device");
    // SDL may still find an off-screen video driver: either way the result
    // is consistent (a window comes with a device, a failure with neither).
    WindowFailure failure = WindowFailure::None;
    WindowConfig config;
    bool created = system->CreateGameWindow(config, &failure);
    std::unique_ptr<Device> device = system->CreateDevice();
    PinGlDriver();
    bool consistent = created ? failure == WindowFailure::None && device != nullptr
                              : failure != WindowFailure::None && device == nullptr;
    device.reset();
    system.reset();
    std::exit(consistent && !yes ? 0 : 1);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0),
              "Question: Full screen.*answering No.\nERROR: no device");
}

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

}  // namespace
}  // namespace gltest
