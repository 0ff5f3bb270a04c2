#include "platform/input.h"

#include <gtest/gtest.h>

#include "platform/keyboard.h"

namespace platform {
namespace {

TEST(TickInputTest, OneReadKeepsBothBitsOfEveryKeyAndClearsTheLatches) {
  ResetKeyboard();
  SetKeyboardFocus(true);
  OnKeyDown(kVkSpace);
  OnKeyDown(kVkE);
  OnKeyUp(kVkE);  // tapped between two updates: it counts as held for one
  TickInput first = ReadTickInput();
  EXPECT_TRUE(first.Held(Key::Space));
  EXPECT_TRUE(first.Touched(Key::Space));
  EXPECT_TRUE(first.Held(Key::E));
  EXPECT_TRUE(first.Pressed(Key::E));
  EXPECT_FALSE(first.Touched(Key::Return));
  // The read cleared the latches: the held key stays held, the tap is gone.
  TickInput second = ReadTickInput();
  EXPECT_TRUE(second.Held(Key::Space));
  EXPECT_EQ(second.pressed, 0);
  EXPECT_FALSE(second.Touched(Key::E));
  // Every key has its own bit and its own virtual key.
  for (int a = 0; a < kKeyCount; ++a) {
    for (int b = a + 1; b < kKeyCount; ++b) {
      EXPECT_NE(TickInput::Bit(Key(a)), TickInput::Bit(Key(b)));
      EXPECT_NE(VirtualKeyOf(Key(a)), VirtualKeyOf(Key(b)));
    }
    EXPECT_NE(TickInput::Bit(Key(a)) & kAllKeys, 0);
  }
  ResetKeyboard();
}

TEST(TickInputTest, AKeyHeldByKeyboardAndPadIsOneKey) {
  ResetKeyboard();
  SetKeyboardFocus(true);
  // The pad's A stands for Space: pressing it while the key is held is no
  // second bite, and letting go of either leaves the other holding it.
  OnKeyDown(kVkSpace);
  EXPECT_EQ(ReadTickInput().pressed, TickInput::Bit(Key::Space));
  OnKeyDown(kVkSpace, false, KeySource::Gamepad);
  TickInput both = ReadTickInput();
  EXPECT_TRUE(both.Held(Key::Space));
  EXPECT_EQ(both.pressed, 0);
  OnKeyUp(kVkSpace);
  EXPECT_TRUE(ReadTickInput().Held(Key::Space));
  OnKeyUp(kVkSpace, KeySource::Gamepad);
  EXPECT_FALSE(ReadTickInput().Touched(Key::Space));

  // Up everywhere, then down from one source: a press again.
  OnKeyDown(kVkLeft, false, KeySource::Gamepad);
  TickInput walk = ReadTickInput();
  EXPECT_TRUE(walk.Held(Key::Left));
  EXPECT_EQ(walk.pressed, TickInput::Bit(Key::Left));
  // A key-repeat of a key the pad already holds is no press either.
  OnKeyDown(kVkLeft, true);
  EXPECT_EQ(ReadTickInput().pressed, 0);

  // A reset lets go for every source.
  ResetKeyboard();
  EXPECT_EQ(ReadTickInput(), TickInput{});
  OnKeyDown(kVkLeft);
  EXPECT_EQ(ReadTickInput().pressed, TickInput::Bit(Key::Left));
  ResetKeyboard();
}

}  // namespace
}  // namespace platform
