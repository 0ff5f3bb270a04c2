// Game controllers plugged into the SDL system reach the game as the keys of
// a TickInput, beside the keyboard. The pads are SDL's virtual joysticks.
#include "gl/gl_world.h"
#include "platform/input.h"
#include "platform/keyboard.h"

namespace gltest {
namespace {

using sdl_gl::PadAxis;
using sdl_gl::PadButton;

constexpr int kScSpace = 44;

class SdlGamepadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TheWorld().device, nullptr) << "the GL tests need an X display";
    system = TheWorld().system.get();
    sdl_gl::PushFocusEventForTest(*system, true);
    system->PumpEvents();
    ResetKeyboard();
    SetKeyboardFocus(true);
    pad = Plug();
  }
  void TearDown() override {
    for (int p : {pad, other}) {
      if (p >= 0) sdl_gl::DetachVirtualPadForTest(p);
    }
    if (system) system->PumpEvents();
    ResetKeyboard();
  }
  int Plug() {
    const int p = sdl_gl::AttachVirtualPadForTest();
    EXPECT_GE(p, 0) << "SDL made no virtual pad";
    system->PumpEvents();
    return p;
  }
  void Button(int p, PadButton button, bool down) {
    sdl_gl::SetVirtualPadButtonForTest(p, button, down);
  }
  void Stick(int x, int y) {
    sdl_gl::SetVirtualPadAxisForTest(pad, PadAxis::LeftX, x);
    sdl_gl::SetVirtualPadAxisForTest(pad, PadAxis::LeftY, y);
  }
  // One update's keys, as the shell reads them.
  TickInput Next() {
    system->PumpEvents();
    return ReadTickInput();
  }
  static std::uint16_t Bits(std::initializer_list<Key> keys) {
    std::uint16_t bits = 0;
    for (Key k : keys) bits |= TickInput::Bit(k);
    return bits;
  }

  System* system = nullptr;
  int pad = -1;
  int other = -1;
};

TEST_F(SdlGamepadTest, ButtonsAreTheKeysOfBitingAnsweringPausingAndTheCamera) {
  ASSERT_GE(pad, 0);
  // A bites and answers Yes: both keys go down together, pressed once.
  Button(pad, PadButton::A, true);
  TickInput bite = Next();
  EXPECT_EQ(bite.held, Bits({Key::Space, Key::Y}));
  EXPECT_EQ(bite.pressed, Bits({Key::Space, Key::Y}));
  TickInput holding = Next();
  EXPECT_EQ(holding.held, Bits({Key::Space, Key::Y}));
  EXPECT_EQ(holding.pressed, 0);
  Button(pad, PadButton::A, false);
  EXPECT_EQ(Next(), TickInput{});

  // Tapped between two updates: the press is still seen, and counts as held
  // for that one update.
  Button(pad, PadButton::A, true);
  system->PumpEvents();
  Button(pad, PadButton::A, false);
  TickInput tap = Next();
  EXPECT_EQ(tap.held, Bits({Key::Space, Key::Y}));
  EXPECT_EQ(tap.pressed, Bits({Key::Space, Key::Y}));
  EXPECT_EQ(Next(), TickInput{});

  struct Case {
    PadButton button;
    std::uint16_t keys;
  };
  // Start is Enter alone (a run starts on the title without opening the
  // quit question); Back pauses (Escape).
  for (Case c :
       {Case{PadButton::B, Bits({Key::N})}, Case{PadButton::Start, Bits({Key::Return})},
        Case{PadButton::Back, Bits({Key::Escape})}, Case{PadButton::LeftShoulder, Bits({Key::Z})},
        Case{PadButton::RightShoulder, Bits({Key::X})}, Case{PadButton::DpadUp, Bits({Key::Up})},
        Case{PadButton::DpadDown, Bits({Key::Down})}, Case{PadButton::DpadLeft, Bits({Key::Left})},
        Case{PadButton::DpadRight, Bits({Key::Right})}, Case{PadButton::X, 0},
        Case{PadButton::Y, 0}, Case{PadButton::Guide, 0}}) {
    SCOPED_TRACE(static_cast<int>(c.button));
    Button(pad, c.button, true);
    TickInput in = Next();
    EXPECT_EQ(in.held, c.keys);
    EXPECT_EQ(in.pressed, c.keys);
    Button(pad, c.button, false);
    EXPECT_EQ(Next(), TickInput{});
  }
}

TEST_F(SdlGamepadTest, TheLeftStickIsOneArrowKeyPastItsDeadZone) {
  ASSERT_GE(pad, 0);
  const int edge = sdl_gl::kStickDeadZone;
  struct Case {
    int x, y;
    std::uint16_t keys;
  };
  // SDL's y axis grows downwards: pushed away from the player is negative.
  for (Case c : {Case{edge, -edge, 0}, Case{-edge, 0, 0}, Case{edge + 1, 0, Bits({Key::Right})},
                 Case{0, -(edge + 1), Bits({Key::Up})}, Case{-32768, 0, Bits({Key::Left})},
                 Case{0, 32767, Bits({Key::Down})},
                 // Leaning diagonally: the axis leaning further wins alone.
                 Case{-30000, 12000, Bits({Key::Left})}, Case{9000, 20000, Bits({Key::Down})},
                 Case{20000, -19999, Bits({Key::Right})},
                 // Exactly between two arrows: up or down.
                 Case{20000, -20000, Bits({Key::Up})}, Case{0, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
    Stick(c.x, c.y);
    EXPECT_EQ(Next().held, c.keys);
  }

  // Walking with the stick: the arrow goes down once, moving within the same
  // direction is no new press.
  Stick(30000, 0);
  EXPECT_EQ(Next().pressed, Bits({Key::Right}));
  Stick(25000, 3000);
  TickInput still = Next();
  EXPECT_EQ(still.held, Bits({Key::Right}));
  EXPECT_EQ(still.pressed, 0);

  // The d-pad and the stick together hold both arrows (the creature then
  // walks by the game's own order of arrows, as with the keyboard); the
  // same arrow from both is held until both let go.
  Button(pad, PadButton::DpadUp, true);
  EXPECT_EQ(Next().held, Bits({Key::Up, Key::Right}));
  Button(pad, PadButton::DpadRight, true);
  Stick(0, 0);
  EXPECT_EQ(Next().held, Bits({Key::Up, Key::Right}));
  Button(pad, PadButton::DpadUp, false);
  Button(pad, PadButton::DpadRight, false);
  EXPECT_EQ(Next(), TickInput{});
}

TEST_F(SdlGamepadTest, PadAndKeyboardHoldKeysTogether) {
  ASSERT_GE(pad, 0);
  sdl_gl::PushKeyEventForTest(kScSpace, true, false);
  EXPECT_EQ(Next().pressed, Bits({Key::Space}));
  // A while Space is held: Y goes down, Space is no second bite.
  Button(pad, PadButton::A, true);
  TickInput both = Next();
  EXPECT_EQ(both.held, Bits({Key::Space, Key::Y}));
  EXPECT_EQ(both.pressed, Bits({Key::Y}));
  sdl_gl::PushKeyEventForTest(kScSpace, false, false);
  EXPECT_EQ(Next().held, Bits({Key::Space, Key::Y}));
  Button(pad, PadButton::A, false);
  EXPECT_EQ(Next(), TickInput{});

  // A second pad: each holds what it holds.
  other = Plug();
  ASSERT_GE(other, 0);
  Button(pad, PadButton::Back, true);
  Button(other, PadButton::Back, true);
  EXPECT_EQ(Next().pressed, Bits({Key::Escape}));
  Button(pad, PadButton::Back, false);
  EXPECT_EQ(Next().held, Bits({Key::Escape}));
  Button(other, PadButton::Back, false);
  EXPECT_EQ(Next(), TickInput{});
}

TEST_F(SdlGamepadTest, UnpluggingOrLeavingTheForegroundLetsGo) {
  ASSERT_GE(pad, 0);
  // Unplugged while walking and biting: everything it held comes up.
  Button(pad, PadButton::A, true);
  Stick(0, -30000);
  EXPECT_EQ(Next().held, Bits({Key::Space, Key::Y, Key::Up}));
  sdl_gl::DetachVirtualPadForTest(pad);
  pad = -1;
  EXPECT_EQ(Next(), TickInput{});

  // Plugged in again later, it plays at once.
  pad = Plug();
  ASSERT_GE(pad, 0);
  Button(pad, PadButton::Start, true);
  EXPECT_EQ(Next().pressed, Bits({Key::Return}));

  // Away from the foreground the pads reach nothing, and what changed
  // meanwhile is taken as it stands when the window comes back, as keys are:
  // Start held all along is no new Enter, A let go while away and pressed
  // again is a bite, B pressed while away counts only once pressed again.
  Button(pad, PadButton::A, true);
  EXPECT_EQ(Next().pressed, Bits({Key::Space, Key::Y}));
  sdl_gl::PushFocusEventForTest(*system, false);
  system->PumpEvents();
  EXPECT_FALSE(system->IsForeground());
  Button(pad, PadButton::A, false);
  Button(pad, PadButton::B, true);
  system->PumpEvents();
  sdl_gl::PushFocusEventForTest(*system, true);
  EXPECT_EQ(Next(), TickInput{});
  Stick(0, 30000);
  EXPECT_EQ(Next().held, Bits({Key::Down}));
  Button(pad, PadButton::A, true);
  EXPECT_EQ(Next().pressed, Bits({Key::Space, Key::Y}));
  Button(pad, PadButton::B, false);
  Button(pad, PadButton::Start, false);
  Stick(0, 0);
  Button(pad, PadButton::A, false);
  EXPECT_EQ(Next(), TickInput{});
  Button(pad, PadButton::B, true);
  Button(pad, PadButton::Start, true);
  TickInput again = Next();
  EXPECT_EQ(again.pressed, Bits({Key::N, Key::Return}));
  Button(pad, PadButton::B, false);
  Button(pad, PadButton::Start, false);
  EXPECT_EQ(Next(), TickInput{});
}

}  // namespace
}  // namespace gltest
