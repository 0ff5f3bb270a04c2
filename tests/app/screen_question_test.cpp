// The start-up question in the game's window, answered by every kind of
// input on the null device; and the language the game speaks, from the
// options or the system's locale.
#include "app/screen_question.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/shell.h"
#include "media/texture_manager.h"
#include "platform/locale.h"
#include "platform/null/device_null.h"

namespace app {
namespace {

namespace fs = std::filesystem;
using platform::Key;
using Answer = ScreenQuestion::Answer;

platform::TickInput Pressed(Key key) {
  platform::TickInput in;
  in.Press(key);
  return in;
}

platform::Pointer At(const platform::Rect& cell, bool clicked) {
  platform::Pointer p;
  p.over = true;
  p.x = static_cast<float>(cell.left + 100);
  p.y = static_cast<float>(cell.top + 40);
  p.clicked = clicked;
  return p;
}

class ScreenQuestionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    fs::current_path(fs::path(POROMEKO_SOURCE_DIR) / "content");
    backBuffer_ = device_.GetBackBuffer();
  }
  void TearDown() override {
    if (backBuffer_) backBuffer_->Release();
    fs::current_path(old_);
  }

  // The answer to one update with these keys and this mouse, from a fresh
  // question (after `before`, when given).
  Answer AnswerTo(const platform::TickInput& input, const platform::Pointer& pointer = {},
                  std::optional<platform::TickInput> before = std::nullopt) {
    ScreenQuestion q(textures_, content::Language::Japanese);
    if (before) {
      EXPECT_EQ(q.Update(*before, {}), Answer::None);
    }
    return q.Update(input, pointer);
  }

  fs::path old_;
  platform::NullDevice device_;
  platform::Surface* backBuffer_ = nullptr;
  media::TextureManager textures_{&device_};
  media::SharedSprite sprite_{&device_};
};

TEST_F(ScreenQuestionTest, EveryKindOfInputAnswersAndAWindowIsChosenToBeginWith) {
  // Keys (and a pad's buttons, which reach the game as these keys).
  EXPECT_EQ(AnswerTo(Pressed(Key::Y)), Answer::FullScreen);
  EXPECT_EQ(AnswerTo(Pressed(Key::N)), Answer::Window);
  EXPECT_EQ(AnswerTo(Pressed(Key::Escape)), Answer::Window);
  EXPECT_EQ(AnswerTo(Pressed(Key::Return)), Answer::Window);  // the choice to begin with
  EXPECT_EQ(AnswerTo(Pressed(Key::Space)), Answer::Window);
  EXPECT_EQ(AnswerTo(Pressed(Key::Return), {}, Pressed(Key::Left)), Answer::FullScreen);
  EXPECT_EQ(AnswerTo(Pressed(Key::Space), {}, Pressed(Key::Up)), Answer::FullScreen);
  {
    ScreenQuestion q(textures_, content::Language::English);
    EXPECT_EQ(q.Update(Pressed(Key::Left), {}), Answer::None);
    EXPECT_EQ(q.Update(Pressed(Key::Right), {}), Answer::None);
    EXPECT_EQ(q.Update(Pressed(Key::Return), {}), Answer::Window);
  }
  // A key held from before the question showed does not answer it.
  platform::TickInput held;
  held.Hold(Key::Y);
  held.Hold(Key::Return);
  EXPECT_EQ(AnswerTo(held), Answer::None);

  // The mouse: pointing chooses, a click answers; a click beside the
  // buttons, or a pointer off the picture, does nothing.
  EXPECT_EQ(AnswerTo({}, At(ScreenQuestion::kYes, true)), Answer::FullScreen);
  EXPECT_EQ(AnswerTo({}, At(ScreenQuestion::kNo, true)), Answer::Window);
  EXPECT_EQ(AnswerTo(Pressed(Key::Return), At(ScreenQuestion::kYes, false)), Answer::FullScreen);
  platform::Pointer beside = At(ScreenQuestion::kYes, true);
  beside.y = static_cast<float>(ScreenQuestion::kYes.top + 2);  // above the button, in its cell
  EXPECT_EQ(AnswerTo({}, beside), Answer::None);
  platform::Pointer off = At(ScreenQuestion::kYes, true);
  off.over = false;
  EXPECT_EQ(AnswerTo({}, off), Answer::None);

  // The picture: the panel, then each answer from the picture's lit row
  // when it is the choice.
  ScreenQuestion q(textures_, content::Language::Japanese);
  q.Draw(device_, *sprite_.Get());
  auto rows = [this] {
    const auto& quads = sprite_.Get()->LastBatch();
    EXPECT_EQ(quads.size(), 3u);
    std::string lit;
    for (std::size_t i = 1; i < quads.size(); ++i) lit += quads[i].uv[0].y > 0.0f ? "L" : "-";
    return lit;
  };
  EXPECT_EQ(rows(), "-L");
  q.Update(Pressed(Key::Left), {});
  q.Draw(device_, *sprite_.Get());
  EXPECT_EQ(rows(), "L-");
  EXPECT_EQ(device_.PresentCount(), 2);
}

// Japanese is the game's own language: it is spoken where the system names
// Japanese or no language at all; any other language named gets English.
// The locale comes from LC_ALL, then LC_MESSAGES, then LANG.
TEST(LanguageTest, FollowsTheSystemsLocaleAndTheOption) {
  using content::Language;
  for (const char* japanese : {"", "C", "POSIX", "C.UTF-8", "ja", "ja_JP", "ja_JP.UTF-8"}) {
    EXPECT_EQ(LanguageOfLocale(japanese), Language::Japanese) << japanese;
  }
  for (const char* english :
       {"en", "en_US.UTF-8", "en-US", "de_DE.UTF-8", "fr", "pt_BR@latin", "jbo", "zh_CN.UTF-8"}) {
    EXPECT_EQ(LanguageOfLocale(english), Language::English) << english;
  }

  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::optional<std::string> saved[3];
  for (int i = 0; i < 3; ++i) {
    if (const char* v = std::getenv(names[i])) saved[i] = v;
  }
  ::setenv("LANG", "de_DE.UTF-8", 1);
  ::setenv("LC_MESSAGES", "ja_JP.UTF-8", 1);
  ::setenv("LC_ALL", "", 1);  // set but empty: it names nothing
  EXPECT_EQ(platform::MessagesLocale(), "ja_JP.UTF-8");
  ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
  EXPECT_EQ(platform::MessagesLocale(), "fr_FR.UTF-8");
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_MESSAGES");
  EXPECT_EQ(platform::MessagesLocale(), "de_DE.UTF-8");
  ::unsetenv("LANG");
  EXPECT_EQ(platform::MessagesLocale(), "");
  for (int i = 0; i < 3; ++i) {
    if (saved[i]) ::setenv(names[i], saved[i]->c_str(), 1);
  }

  Options o;
  std::string error;
  const char* en[] = {"poromeko", "--lang", "en"};
  ASSERT_TRUE(ParseOptions(3, en, &o, &error)) << error;
  EXPECT_TRUE(o.hasLanguage);
  EXPECT_EQ(o.language, Language::English);
  const char* other[] = {"poromeko", "--lang", "de"};
  EXPECT_FALSE(ParseOptions(3, other, &o, &error));
  EXPECT_NE(error.find("--lang"), std::string::npos);
}

}  // namespace
}  // namespace app
