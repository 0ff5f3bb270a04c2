// The start-up question, full screen or a window, asked in the game's own
// window with the game's own pictures where the system's boxes cannot show
// the game's text. It is asked before loading starts, so it changes
// nothing a journal counts.
//
// Answers: Y (a pad's A) for full screen and N (a pad's B) or Esc for a
// window, at once; the arrow keys (a pad's d-pad) move the choice and
// Enter (a pad's Start) or Space takes it; the mouse chooses by pointing
// and answers by clicking. A window is chosen to begin with, as the
// system's box has No as its default button. Only a key pressed while the
// question shows answers it.
#pragma once

#include "engine/sprite.h"
#include "media/paths.h"
#include "media/texture_manager.h"
#include "platform/graphics.h"
#include "platform/input.h"
#include "platform/system.h"

namespace app {

class ScreenQuestion {
 public:
  enum class Answer { None, FullScreen, Window };

  // Loads the question's two pictures into `textures`, in the language given.
  ScreenQuestion(media::TextureManager& textures, content::Language language);
  ~ScreenQuestion();
  ScreenQuestion(const ScreenQuestion&) = delete;
  ScreenQuestion& operator=(const ScreenQuestion&) = delete;

  // One update: the keys read for it and the mouse.
  Answer Update(const platform::TickInput& input, const platform::Pointer& pointer);
  // The whole picture: the panel in the middle of a black screen, the
  // chosen answer lit.
  void Draw(platform::Device& device, engine::Sprite& sprite) const;
  bool FullScreenChosen() const { return fullScreenChosen_; }

  // Where the panel and the two answer buttons lie on the screen.
  static constexpr float kPanelX = 120.0f, kPanelY = 175.0f;
  static constexpr platform::Rect kYes{180, 300, 380, 380};
  static constexpr platform::Rect kNo{420, 300, 620, 380};
  // Of an answer's 200 x 80 cell, the button a click must land on.
  static constexpr platform::Rect kButton{8, 6, 192, 71};

 private:
  media::TextureManager& textures_;
  const content::texture::Captions& captions_;
  bool fullScreenChosen_ = false;
};

}  // namespace app
