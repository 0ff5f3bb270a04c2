// The display over play, drawn by the GL device from a known state and read
// back: score 1234, a combo of 3 with half its time left, 2:05 on the clock,
// the creature grown to 60 %, the caterpillar icon shaking after a miss.
// Every piece drawn 1:1 is compared pixel for pixel with the pictures it is
// made of, composed by hand at the places the display puts them.
//
// With POROMEKO_SCREENSHOT_DIR set, the whole frame (the world with the
// display over it) is also written there as hud.png.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/shell.h"
#include "creatures/enemy_manager.h"
#include "engine/image.h"
#include "engine/random.h"
#include "gl/gl_game.h"
#include "gl/gl_world.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"
#include "media/texture_manager.h"
#include "media/tuning.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/game_play.h"
#include "scenes/game/hud.h"
#include "scenes/loading/load_parent.h"
#include "scenes/result/game_result.h"
#include "world/world_objects.h"

namespace gltest {
namespace {

namespace fs = std::filesystem;
namespace tex = content::texture;

constexpr std::uint32_t kBackground = 0xFF204060u;

// The picture the display should make: pictures laid over the background
// with the sprite's blending, straight alpha times the draw's alpha.
class Expected {
 public:
  Expected() : px_(800 * 600, kBackground) {}
  // Lays the part (sx, sy, w, h) of a picture at (x, y), 1:1.
  void Lay(const engine::Image& image, int sx, int sy, int w, int h, int x, int y,
           int alpha = 255) {
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < w; ++i) {
        const std::uint32_t s =
            image.At(static_cast<std::uint32_t>(sx + i), static_cast<std::uint32_t>(sy + j));
        std::uint32_t& d = px_[static_cast<std::size_t>((y + j) * 800 + (x + i))];
        const double a = Channel(s, 24) / 255.0 * (alpha / 255.0);
        std::uint32_t out = 0xFF000000u;
        for (int shift : {16, 8, 0}) {
          const double c = Channel(s, shift) * a + Channel(d, shift) * (1.0 - a);
          out |= static_cast<std::uint32_t>(c + 0.5) << shift;
        }
        d = out;
      }
    }
  }
  bool Differs(const std::vector<std::uint32_t>& drawn, int x, int y, int tolerance = 3) const {
    return Mismatches(drawn, x, y, 1, 1, tolerance) != 0;
  }
  // How many pixels of the rectangle differ from the drawn picture by more
  // than `tolerance` in some channel.
  int Mismatches(const std::vector<std::uint32_t>& drawn, int x, int y, int w, int h,
                 int tolerance = 3) const {
    int bad = 0;
    for (int j = y; j < y + h; ++j) {
      for (int i = x; i < x + w; ++i) {
        const std::uint32_t a = drawn[static_cast<std::size_t>(j * 800 + i)];
        const std::uint32_t b = px_[static_cast<std::size_t>(j * 800 + i)];
        for (int shift : {16, 8, 0}) {
          if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance) {
            ++bad;
            break;
          }
        }
      }
    }
    return bad;
  }

 private:
  std::vector<std::uint32_t> px_;
};

engine::Image Picture(const char* path) {
  engine::Image image;
  std::string error;
  EXPECT_TRUE(engine::LoadPng(path, &image, &error)) << path << ": " << error;
  return image;
}

class HudGlTest : public GameGlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (d) SetUpGame("poromeko_hud_gl_ranking.txt");
  }
  void TearDown() override {
    if (d) TearDownGame();
    GlTest::TearDown();
  }
};

TEST_F(HudGlTest, PiecesLandAtTheirPlacesPixelForPixel) {
  scenes::GameParent game(services_);
  creatures::ScoreState& s = game.score;
  s.score = 1234;
  s.comboShown = true;
  s.comboCount = 3;
  s.comboTimer = 175;
  s.comboBannerX = 527.0f;
  s.bugIcons[1].result = 2;  // the caterpillar was too big
  s.bugIcons[1].pulse = 1.2f;
  s.bugIcons[1].shake = 1.5f;
  game.timeLeft = 125.5f;
  game.player->mSize = 0.8f;  // 60 %: butterflies are its size

  app::SetInitialDeviceState(*d);
  d->Clear(kClearTarget | kClearZBuffer, kBackground, 1.0f, 0);
  scenes::DrawHud(game, Scene());
  const std::vector<std::uint32_t> drawn = Frame();
  ASSERT_EQ(drawn.size(), 800u * 600u);

  Expected want;
  const engine::Image num = Picture(tex::kNum), combo = Picture(tex::kNumCombo);
  // The score: six digits from x 20, on y 523.
  const char* digits = "001234";
  for (int i = 0; i < 6; ++i) want.Lay(num, (digits[i] - '0') * 40, 0, 40, 57, 20 + 40 * i, 523);
  // The combo: "3", the label after it, the gauge half full below.
  want.Lay(combo, 3 * 40, 0, 40, 57, 527, 250);
  want.Lay(Picture(tex::kCombo), 0, 0, 90, 32, 567, 275);
  want.Lay(Picture(tex::kComboTimeGauge), 0, 0, 89, 10, 527, 320);
  // The time, right-aligned: the label, "2", the colon centred on the
  // digits, "05".
  want.Lay(Picture(tex::kTime), 0, 0, 57, 57, 584, 20);
  want.Lay(num, 2 * 40, 0, 40, 57, 641, 20);
  want.Lay(Picture(tex::kDot), 0, 0, 19, 41, 681, 28);
  want.Lay(num, 0, 0, 40, 57, 700, 20);
  want.Lay(num, 5 * 40, 0, 40, 57, 740, 20);
  // The wild gauge filled to 180 of its 300 pixels, its frame over it.
  want.Lay(Picture(tex::kWildGaugeVal), 0, 0, 180, 47, 20, 72);
  want.Lay(Picture(tex::kWildGauge), 0, 0, 300, 47, 20, 72);
  // The idle icons centred on their places: the butterfly's bright, the fly's
  // and the beetle's dim.
  want.Lay(Picture(tex::kS), 0, 0, 38, 44, 66 - 19, 69 - 22, 100);
  want.Lay(Picture(tex::kL), 0, 0, 43, 49, 202 - 21, 55 - 24, 255);
  want.Lay(Picture(tex::kW), 0, 0, 45, 52, 278 - 22, 48 - 26, 100);

  EXPECT_EQ(want.Mismatches(drawn, 20, 523, 240, 57), 0) << "score";
  EXPECT_EQ(want.Mismatches(drawn, 260, 523, 80, 57), 0) << "nothing after the sixth digit";
  EXPECT_EQ(want.Mismatches(drawn, 527, 250, 130, 80), 0) << "combo and its gauge";
  EXPECT_EQ(want.Mismatches(drawn, 584, 20, 196, 57), 0) << "time";
  // (the miss icon, drawn last, overlaps the gauge between x 105 and 165)
  EXPECT_EQ(want.Mismatches(drawn, 20, 72, 85, 47), 0) << "wild gauge, filled part";
  EXPECT_EQ(want.Mismatches(drawn, 165, 72, 155, 47), 0) << "wild gauge, the rest";
  EXPECT_EQ(want.Mismatches(drawn, 47, 47, 38, 44), 0) << "fly icon";
  EXPECT_EQ(want.Mismatches(drawn, 181, 31, 43, 49), 0) << "butterfly icon";
  EXPECT_EQ(want.Mismatches(drawn, 256, 22, 45, 52), 0) << "beetle icon";

  // The shaking miss icon is scaled, so it is found rather than compared:
  // the pixels where the picture differs from everything else laid by hand
  // sit centred on (133 + shake, 62), 1.2 times its size.
  int left = 800, right = -1, top = 600, bottom = -1;
  for (int y = 0; y < 120; ++y) {
    for (int x = 100; x < 170; ++x) {
      if (!want.Differs(drawn, x, y)) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  ASSERT_LE(left, right);
  // Where the picture's opaque texels land, scaled by 1.2 about the image's
  // centre cell (20, 23) placed at (133 + 1.5, 62).
  const engine::Image miss = Picture(tex::kMMiss);
  int x0 = 1000, x1 = -1, y0 = 1000, y1 = -1;
  for (int y = 0; y < 47; ++y) {
    for (int x = 0; x < 41; ++x) {
      if (Channel(miss.At(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)), 24) < 128)
        continue;
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
      y0 = std::min(y0, y);
      y1 = std::max(y1, y);
    }
  }
  EXPECT_NEAR(left, 134.5 + (x0 - 20) * 1.2, 2.0);
  EXPECT_NEAR(right + 1, 134.5 + (x1 + 1 - 20) * 1.2, 2.0);
  EXPECT_NEAR(top, 62.0 + (y0 - 23) * 1.2, 2.0);
  EXPECT_NEAR(bottom + 1, 62.0 + (y1 + 1 - 23) * 1.2, 2.0);

  if (const char* dir = std::getenv("POROMEKO_SCREENSHOT_DIR")) {
    // The same moment in a real frame: the world under the display.
    auto* play = dynamic_cast<scenes::GamePlay*>(game.child);
    ASSERT_NE(play, nullptr);
    play->fading = false;
    game.child->Draw(&game, Scene());
    const std::vector<std::uint32_t> frame = d->ReadBackBuffer();
    const std::string path = (fs::path(dir) / "hud.png").string();
    std::string error;
    EXPECT_TRUE(engine::SavePng(path, 800, 600, frame.data(), &error)) << error;
  }
}

// The pause over the result dims the frozen world under its prompt, as it
// does over play (the dimmer must not take the title picture's clear corner
// for its colour).
TEST_F(HudGlTest, ThePausedResultIsDarkerThanTheResult) {
  app::SetInitialDeviceState(*d);
  scenes::GameParent game(services_);
  delete game.child;
  auto* result = new scenes::GameResult(services_);
  game.child = result;
  result->phase = 3;
  const scenes::DrawContext frame = Scene();
  // The band above the prompt's picture, which is clear there.
  auto brightness = [&](bool paused) {
    game.paused = paused;
    result->Draw(&game, frame);
    const std::vector<std::uint32_t> px = d->ReadBackBuffer();
    double sum = 0.0;
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 800; ++x)
        for (int shift : {16, 8, 0}) sum += Channel(At(px, x, y), shift);
    return sum / (150.0 * 800.0 * 3.0);
  };
  const double shown = brightness(false);
  const double paused = brightness(true);
  ASSERT_GT(shown, 20.0) << "the result shows something to dim";
  // Black at alpha 100 keeps 155/255 of every channel.
  EXPECT_NEAR(paused, shown * 155.0 / 255.0, 3.0);
}

}  // namespace
}  // namespace gltest
