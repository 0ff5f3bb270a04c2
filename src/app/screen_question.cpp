#include "app/screen_question.h"

#include "media/texture_manager.h"

namespace app {

using platform::Key;

namespace {

bool OnButton(const platform::Rect& cell, const platform::Pointer& pointer) {
  const platform::Rect& b = ScreenQuestion::kButton;
  return pointer.over && pointer.x >= static_cast<float>(cell.left + b.left) &&
         pointer.x < static_cast<float>(cell.left + b.right) &&
         pointer.y >= static_cast<float>(cell.top + b.top) &&
         pointer.y < static_cast<float>(cell.top + b.bottom);
}

}  // namespace

ScreenQuestion::ScreenQuestion(media::TextureManager& textures, content::Language language)
    : textures_(textures), captions_(content::CaptionsIn(language)) {
  textures_.LoadTexture(captions_.screenQuestion, 560, 250);
  textures_.LoadTexture(captions_.screenAnswers, 400, 160);
}

ScreenQuestion::~ScreenQuestion() {
  // Asked once: its pictures are not needed again.
  textures_.UnloadTexture(captions_.screenQuestion);
  textures_.UnloadTexture(captions_.screenAnswers);
}

ScreenQuestion::Answer ScreenQuestion::Update(const platform::TickInput& input,
                                              const platform::Pointer& pointer) {
  if (input.Pressed(Key::Y)) return Answer::FullScreen;
  if (input.Pressed(Key::N) || input.Pressed(Key::Escape)) return Answer::Window;
  if (input.Pressed(Key::Left) || input.Pressed(Key::Up)) fullScreenChosen_ = true;
  if (input.Pressed(Key::Right) || input.Pressed(Key::Down)) fullScreenChosen_ = false;
  if (OnButton(kYes, pointer)) {
    fullScreenChosen_ = true;
    if (pointer.clicked) return Answer::FullScreen;
  } else if (OnButton(kNo, pointer)) {
    fullScreenChosen_ = false;
    if (pointer.clicked) return Answer::Window;
  }
  if (input.Pressed(Key::Return) || input.Pressed(Key::Space)) {
    return fullScreenChosen_ ? Answer::FullScreen : Answer::Window;
  }
  return Answer::None;
}

void ScreenQuestion::Draw(platform::Device& device, engine::Sprite& sprite) const {
  device.BeginScene();
  device.Clear(platform::kClearTarget | platform::kClearZBuffer, 0xFF000000u, 1.0f, 0);
  sprite.Begin(engine::kSpriteAlphaBlend);
  textures_.DrawTexture(sprite, captions_.screenQuestion, kPanelX, kPanelY, 255.0f);
  // The answers' picture: Yes and No side by side, plain above, lit below.
  const int yesRow = fullScreenChosen_ ? 80 : 0;
  const int noRow = fullScreenChosen_ ? 0 : 80;
  textures_.DrawTexturePart(sprite, captions_.screenAnswers, static_cast<float>(kYes.left),
                            static_cast<float>(kYes.top), 255.0f, 0, yesRow, 200, yesRow + 80);
  textures_.DrawTexturePart(sprite, captions_.screenAnswers, static_cast<float>(kNo.left),
                            static_cast<float>(kNo.top), 255.0f, 200, noRow, 400, noRow + 80);
  sprite.End();
  device.EndScene();
  device.Present();
}

}  // namespace app
