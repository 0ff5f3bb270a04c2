// What tells a newcomer how to play: the start-up question asked in the
// game's window (its panel and its two answers, plain and chosen) and the
// key legend on the title, each in Japanese and in English.
#include <algorithm>
#include <array>
#include <string>

#include "media/paths.h"
#include "textures/texture_set.h"

namespace textures {

namespace {

using contentgen::Canvas;
using contentgen::Color;
using contentgen::TextStyle;
namespace pal = contentgen::palette;

TextStyle Ink(double fatten) {
  TextStyle s;
  s.top = pal::kInk;
  s.bottom = pal::kInk;
  s.fatten = fatten;
  s.outline = 0;
  s.drop = 0;
  s.gloss = false;
  return s;
}

// The panel of the start-up question with the question on its upper half;
// the game draws the two answers over its lower half.
void MakeScreenQuestion(const TextureOut& out, const char* path, const std::string& question) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  QuestionPanel(cr, 10, 6, 540, 230);
  const TextStyle ink = Ink(1.4);
  const double size = contentgen::FitTextSize(cr, font, question, 460, 60, ink, 40);
  contentgen::DrawText(cr, font, question, size, 280, 70, ink);
  out.Save(c, path);
}

// One answer button in a 200 x 80 cell whose top-left is (x, y): a pill with
// the answer's key cap and its word. The chosen one is lit in sun yellow
// with a thicker rim, at the same place and size.
void AnswerButton(cairo_t* cr, double x, double y, const char* key, Color keyFace,
                  const std::string& word, bool chosen) {
  const double bx = x + 8, by = y + 6, bw = 184, bh = 60;
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, bx, by + 5, bw, bh, bh / 2);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kInk, chosen ? 0.9 : 0.45));
  cairo_fill(cr);
  contentgen::RoundedRect(cr, bx, by, bw, bh, bh / 2);
  if (chosen) {
    contentgen::SetVerticalGradient(cr, by, contentgen::Mix(pal::kSun, pal::kWhite, 0.35), by + bh,
                                    pal::kOrange);
  } else {
    contentgen::SetVerticalGradient(cr, by, pal::kCream, by + bh,
                                    contentgen::Mix(pal::kCream, pal::kBelly, 0.7));
  }
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, chosen ? 6 : 3.5);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1);
  KeyCap(cr, bx + 14, by + 9, 38, key, keyFace);
  const auto& font = contentgen::RoundedFont();
  const TextStyle ink = Ink(chosen ? 1.8 : 1.2);
  const double size = contentgen::FitTextSize(cr, font, word, bw - 80, 40, ink, 30);
  contentgen::DrawText(cr, font, word, size, bx + 66 + (bw - 80) / 2.0, by + bh / 2 - 1, ink);
}

void MakeScreenAnswers(const TextureOut& out, const char* path, const std::string& yes,
                       const std::string& no) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  for (int row = 0; row < 2; ++row) {
    const bool chosen = row == 1;
    AnswerButton(cr, 0, row * 80, "Y", pal::kMint, yes, chosen);
    AnswerButton(cr, 200, row * 80, "N", pal::kCoral, no, chosen);
  }
  out.Save(c, path);
}

// A key of the legend: a small rounded key cap, `w` wide, with its name.
void LegendKey(cairo_t* cr, double x, double y, double w, const std::string& name, Color face) {
  const double h = 21;
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, x, y + 2.5, w, h, 5);
  contentgen::SetColor(cr, pal::kInk);
  cairo_fill(cr);
  contentgen::RoundedRect(cr, x, y, w, h, 5);
  contentgen::SetVerticalGradient(cr, y, contentgen::Mix(face, pal::kWhite, 0.5), y + h, face);
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1);
  if (name.empty()) return;
  const auto& font = contentgen::RoundedFont();
  const TextStyle ink = Ink(0.6);
  const double size = contentgen::FitTextSize(cr, font, name, w - 6, h - 6, ink, 13);
  contentgen::DrawText(cr, font, name, size, x + w / 2, y + h / 2, ink);
}

// An arrow key: the key cap with a small triangle pointing `turns` quarter
// turns clockwise from up.
void ArrowKey(cairo_t* cr, double x, double y, int turns, Color face) {
  LegendKey(cr, x, y, 21, "", face);
  const double cx = x + 10.5, cy = y + 10.5;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_rotate(cr, turns * 3.14159265358979323846 / 2);
  cairo_new_path(cr);
  cairo_move_to(cr, 0, -6);
  cairo_line_to(cr, 5.5, 3.5);
  cairo_line_to(cr, -5.5, 3.5);
  cairo_close_path(cr);
  cairo_restore(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, 1.5);
  cairo_fill_preserve(cr);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1);
  cairo_new_path(cr);
}

struct LegendWords {
  std::string walk, bite, camera, pause, start;
};

// The title's key legend: one row for each thing a player does, its keys on
// a key cap each, on a small panel that keeps the words readable over the
// landscape.
void MakeKeyLegend(const TextureOut& out, const char* path, const LegendWords& words) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  const double w = c.Width(), h = c.Height();
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, 3, 5, w - 6, h - 7, 16);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kInk, 0.35));
  cairo_fill(cr);
  contentgen::RoundedRect(cr, 2, 2, w - 6, h - 7, 16);
  contentgen::SetVerticalGradient(
      cr, 2, contentgen::WithAlpha(pal::kCream, 0.92), h - 5,
      contentgen::WithAlpha(contentgen::Mix(pal::kCream, pal::kBelly, 0.7), 0.92));
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 3.5);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1);

  const double keys = 12, text = 114, row0 = 12, pitch = 27;
  const Color arrows = pal::kSkyHorizon;
  ArrowKey(cr, keys, row0, 3, arrows);
  ArrowKey(cr, keys + 24, row0, 0, arrows);
  ArrowKey(cr, keys + 48, row0, 2, arrows);
  ArrowKey(cr, keys + 72, row0, 1, arrows);
  LegendKey(cr, keys, row0 + pitch, 93, "Space", pal::kMint);
  LegendKey(cr, keys, row0 + 2 * pitch, 21, "Z", pal::kLilac);
  LegendKey(cr, keys + 24, row0 + 2 * pitch, 21, "X", pal::kLilac);
  LegendKey(cr, keys, row0 + 3 * pitch, 42, "Esc", pal::kCoral);
  LegendKey(cr, keys, row0 + 4 * pitch, 54, "Enter", pal::kSun);

  // Every word at one size, the largest at which the longest fits.
  const auto& font = contentgen::RoundedFont();
  const TextStyle ink = Ink(0.9);
  const std::array<const std::string*, 5> all = {&words.walk, &words.bite, &words.camera,
                                                 &words.pause, &words.start};
  double size = 17;
  for (const std::string* word : all) {
    size = std::min(size, contentgen::FitTextSize(cr, font, *word, w - text - 8, 24, ink, 17));
  }
  // On the keys' middle line: the baseline a little below it.
  const contentgen::Box box = contentgen::MeasureText(cr, font, "あX", size);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const double middle = row0 + static_cast<double>(i) * pitch + 10.5;
    contentgen::DrawTextAt(cr, font, *all[i], size, text, middle - (box.y0 + box.y1) / 2, ink);
  }
  out.Save(c, path);
}

}  // namespace

void MakeGuideTextures(const TextureOut& out) {
  namespace tex = content::texture;
  MakeScreenQuestion(out, tex::kScreenQuestion, "フルスクリーンにしますか？");
  MakeScreenAnswers(out, tex::kScreenAnswers, "はい", "いいえ");
  MakeKeyLegend(out, tex::kKeyLegend, {"あるく", "たべる", "カメラ", "ポーズ・やめる", "スタート"});

  MakeScreenQuestion(out, tex::kScreenQuestionEn, "Play full screen?");
  MakeScreenAnswers(out, tex::kScreenAnswersEn, "Yes", "No");
  MakeKeyLegend(out, tex::kKeyLegendEn, {"walk", "bite", "camera", "pause / quit", "start"});
}

}  // namespace textures
