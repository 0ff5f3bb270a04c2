// The title screen: a slowly scrolling landscape with a turning planet, the
// banner and the logo sliding in with a squash and a spring, a demo of the
// creature eating a caterpillar that crawls up to it, the blinking prompt,
// the version plate, the three best scores under their crowns and a legend
// of the keys. Enter
// starts a run after a fade to black; ESC asks whether to quit; E reads the
// demo caterpillar's circle from the tuning file again.
#pragma once

#include <array>
#include <string>

#include "engine/math.h"
#include "engine/sprite.h"
#include "scenes/title/title_parent.h"

namespace scenes {

class Title : public TitleChild {
 public:
  explicit Title(Services& services);

  using TitleChild::Draw;
  using TitleChild::Update;
  SequenceChildBase* Update(TitleParent* parent, const Tick& tick) override;
  void Draw(TitleParent* parent, const DrawContext& frame) override;

  enum State : int { kBannerIntro = 0, kLogoIntro = 1, kWaiting = 2, kLeaving = 3 };
  // Where the key legend stands: left of the creature, under the first
  // crown, clear of everything else the title draws.
  static constexpr float kLegendX = 14.0f, kLegendY = 330.0f;

  const content::texture::Captions* captions;
  float logoTargetLeft, logoTargetRight;
  float pushEnterX, pushEnterY;
  float planetX, planetY;
  float planetAngle = 0.0f;
  float pushEnterAlpha = 0.0f;
  float logoLeft = 800.0f, logoRight = 1600.0f;
  float bannerRight = 1600.0f, bannerLeft = 800.0f;
  float slideSpeed = -25.0f;
  engine::Matrix playerTranslation, playerRotation, playerScaling;
  bool enterArmed = false;
  float caterpillarCentreX = 0, caterpillarCentreY = 0, caterpillarDepth = 0, caterpillarRadius = 0;
  float caterpillarAngle = 300.0f;
  bool playerBiting = false, playerChewing = false;
  float backgroundX = -1500.0f;
  std::array<std::string, 3> rankingText;
  int titleState = kBannerIntro;
  float leaveFade = 0.0f;
  bool quitPrompt = false;

 private:
  void ReadCaterpillarCircle(const Services& services);
  void IntroStep();
  void DemoPlayerStep(media::MeshManager& meshes);
};

// A digit text from the title's small digit strip, 21 pixels a digit.
void DrawScoreText(const std::string& text, const DrawContext& frame, float x, float y);

}  // namespace scenes
