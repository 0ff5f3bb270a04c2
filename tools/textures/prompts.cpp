// Questions and speech balloons: the two yes/no panels, the burp balloon and
// the four little emotion balloons; the panels and the burp in English too.
#include <cmath>
#include <string>

#include "media/paths.h"
#include "textures/texture_set.h"

namespace textures {

namespace {

using contentgen::Canvas;
using contentgen::Color;
using contentgen::TextRun;
using contentgen::TextStyle;
namespace pal = contentgen::palette;

constexpr double kPi = 3.14159265358979323846;

TextStyle Plain(Color c, double fatten) {
  TextStyle s;
  s.top = c;
  s.bottom = c;
  s.fatten = fatten;
  s.outline = 0;
  s.drop = 0;
  s.gloss = false;
  return s;
}

TextStyle Outlined(Color top, Color bottom, double fatten, double outline, double drop) {
  TextStyle s;
  s.top = top;
  s.bottom = bottom;
  s.fatten = fatten;
  s.outline = outline;
  s.drop = drop;
  return s;
}

}  // namespace

void KeyCap(cairo_t* cr, double x, double y, double size, const char* letter, Color face) {
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, x, y + 4, size, size, size * 0.25);
  contentgen::SetColor(cr, pal::kInk);
  cairo_fill(cr);
  contentgen::RoundedRect(cr, x, y, size, size, size * 0.25);
  contentgen::SetVerticalGradient(cr, y, contentgen::Mix(face, pal::kWhite, 0.45), y + size, face);
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 3.5);
  cairo_stroke(cr);
  const auto& font = contentgen::RoundedFont();
  contentgen::DrawText(cr, font, letter, size * 0.62, x + size / 2, y + size / 2,
                       Outlined(pal::kWhite, pal::kCream, 2.0, 2.5, 0));
}

void QuestionPanel(cairo_t* cr, double x, double y, double w, double h) {
  // Soft shadow, then the panel with its thick rim and a lighter inner band.
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, x + 4, y + 10, w, h, 40);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kInk, 0.45));
  cairo_fill(cr);
  contentgen::RoundedRect(cr, x, y, w, h, 40);
  contentgen::SetVerticalGradient(cr, y, pal::kCream, y + h,
                                  contentgen::Mix(pal::kCream, pal::kBelly, 0.7));
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 7);
  cairo_stroke(cr);
  contentgen::RoundedRect(cr, x + 12, y + 12, w - 24, h - 24, 30);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kOrange, 0.55));
  cairo_set_line_width(cr, 3);
  cairo_set_dash(cr, nullptr, 0, 0);
  const double dash[] = {0.1, 11};
  cairo_set_dash(cr, dash, 2, 0);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  cairo_set_line_width(cr, 1);
}

namespace {

// The centred question panel over an otherwise transparent screen.
void DrawQuestion(Canvas& c, const std::string& question, const std::string& yes,
                  const std::string& no) {
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const double w = 540, h = 230;
  const double x = (c.Width() - w) / 2, y = (c.Height() - h) / 2;
  QuestionPanel(cr, x, y, w, h);

  // The question in plum, a touch bolder than the font.
  const TextStyle ink = Plain(pal::kInk, 1.4);
  const double size = contentgen::FitTextSize(cr, font, question, w - 80, 60, ink, 40);
  contentgen::DrawText(cr, font, question, size, c.Width() / 2.0, y + 78, ink);

  // The answers: [Y] はい    [N] いいえ
  const double key = 46;
  const double row = y + 140;
  const TextStyle answer = Plain(pal::kInk, 1.2);
  const double ans_size = 30;
  const double yes_w = contentgen::MeasureText(cr, font, yes, ans_size).Width();
  const double no_w = contentgen::MeasureText(cr, font, no, ans_size).Width();
  const double gap = 12, between = 60;
  const double total = key + gap + yes_w + between + key + gap + no_w;
  double ax = (c.Width() - total) / 2;
  KeyCap(cr, ax, row, key, "Y", pal::kMint);
  contentgen::DrawTextAt(cr, font, yes, ans_size, ax + key + gap, row + key / 2 + 11, answer);
  ax += key + gap + yes_w + between;
  KeyCap(cr, ax, row, key, "N", pal::kCoral);
  contentgen::DrawTextAt(cr, font, no, ans_size, ax + key + gap, row + key / 2 + 11, answer);
}

void MakeQuestion(const TextureOut& out, const char* path, const std::string& question,
                  const std::string& yes, const std::string& no) {
  Canvas c = TextureOut::MakeCanvas(path);
  DrawQuestion(c, question, yes, no);
  out.Save(c, path);
}

// A rounded speech bubble body (ellipse) with a tail whose tip is (tx, ty).
void BubblePath(cairo_t* cr, double cx, double cy, double rx, double ry, double tail_angle,
                double tail_half, double tx, double ty) {
  cairo_new_path(cr);
  const double a0 = tail_angle + tail_half, a1 = tail_angle - tail_half + 2 * kPi;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, a0, a1);
  cairo_restore(cr);
  cairo_line_to(cr, tx, ty);
  cairo_close_path(cr);
}

void PaintBubble(cairo_t* cr, double width) {
  cairo_path_t* p = cairo_copy_path(cr);
  cairo_save(cr);
  cairo_translate(cr, 0, 2);
  cairo_new_path(cr);
  cairo_append_path(cr, p);
  cairo_restore(cr);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kInk, 0.5));
  cairo_fill(cr);
  cairo_append_path(cr, p);
  double x0, y0, x1, y1;
  cairo_path_extents(cr, &x0, &y0, &x1, &y1);
  contentgen::SetVerticalGradient(cr, y0, pal::kWhite, y1, pal::kCream);
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
  cairo_path_destroy(p);
}

// The burp: a puffy cloud balloon whose tail points down to the right, where
// the creature stands on the result screen.
void MakeBurp(const TextureOut& out, const char* path, const std::string& sound) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  cairo_new_path(cr);
  // Body: a ring of puffs around an ellipse, merged into one outline by
  // filling the union first.
  const double cx = 54, cy = 42, rx = 42, ry = 28;
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, cx, cy, rx, ry);
  for (int i = 0; i < 9; ++i) {
    const double a = i * 2 * kPi / 9 + 0.2;
    contentgen::EllipsePath(cr, cx + rx * 0.9 * std::cos(a), cy + ry * 0.88 * std::sin(a), 15, 13);
  }
  // Tail puffs toward the lower right.
  contentgen::EllipsePath(cr, 92, 79, 7, 6);
  contentgen::EllipsePath(cr, 104, 89, 4.5, 4);
  cairo_path_t* body = cairo_copy_path(cr);
  // Ink rim: stroke every piece wide, then fill all pieces on top.
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 6);
  cairo_stroke_preserve(cr);
  contentgen::SetVerticalGradient(cr, 5, pal::kWhite, 85, pal::kCream);
  cairo_fill(cr);
  cairo_path_destroy(body);
  const auto& font = contentgen::RoundedFont();
  const TextStyle word = Outlined(pal::kSun, pal::kOrange, 3.0, 3.0, 2.0);
  const double size = contentgen::FitTextSize(cr, font, sound, 94, 52, word, 1000);
  contentgen::DrawText(cr, font, sound, size, cx, cy, word);
  out.Save(c, path);
}

void HeartPath(cairo_t* cr, double cx, double cy, double s) {
  cairo_new_path(cr);
  cairo_move_to(cr, cx, cy + s * 0.9);
  cairo_curve_to(cr, cx - s * 1.3, cy + s * 0.1, cx - s * 1.0, cy - s * 1.05, cx, cy - s * 0.45);
  cairo_curve_to(cr, cx + s * 1.0, cy - s * 1.05, cx + s * 1.3, cy + s * 0.1, cx, cy + s * 0.9);
  cairo_close_path(cr);
}

void NotePath(cairo_t* cr, double cx, double cy, double s) {
  // A quaver: an oval head, a stem and a flag.
  cairo_new_path(cr);
  cairo_save(cr);
  cairo_translate(cr, cx - s * 0.35, cy + s * 0.55);
  cairo_rotate(cr, -0.4);
  contentgen::EllipsePath(cr, 0, 0, s * 0.42, s * 0.32);
  cairo_restore(cr);
  const double sx = cx - s * 0.35 + s * 0.34;
  contentgen::RoundedRect(cr, sx - s * 0.09, cy - s * 0.95, s * 0.18, s * 1.5, s * 0.08);
  cairo_move_to(cr, sx, cy - s * 0.95);
  cairo_curve_to(cr, sx + s * 0.3, cy - s * 0.75, sx + s * 0.75, cy - s * 0.55, sx + s * 0.5,
                 cy - s * 0.05);
  cairo_curve_to(cr, sx + s * 0.55, cy - s * 0.45, sx + s * 0.2, cy - s * 0.55, sx, cy - s * 0.6);
  cairo_close_path(cr);
}

void DropPath(cairo_t* cr, double cx, double cy, double s) {
  cairo_new_path(cr);
  cairo_move_to(cr, cx, cy - s);
  cairo_curve_to(cr, cx + s * 0.25, cy - s * 0.5, cx + s * 0.72, cy - s * 0.05, cx + s * 0.72,
                 cy + s * 0.32);
  cairo_arc(cr, cx, cy + s * 0.32, s * 0.72, 0, kPi);
  cairo_curve_to(cr, cx - s * 0.72, cy - s * 0.05, cx - s * 0.25, cy - s * 0.5, cx, cy - s);
  cairo_close_path(cr);
}

enum class Emotion { kNone, kHeart, kNote, kSweat };

void MakeEmotion(const TextureOut& out, const char* path, Emotion e) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  // Bubble with its tail pointing down-left, toward the creature's head.
  BubblePath(cr, 37, 22, 30, 18.5, 2.05, 0.22, 14, 50);
  PaintBubble(cr, 3.5);
  const double cx = 37, cy = 22;
  switch (e) {
    case Emotion::kNone: {
      // Three little dots: "...".
      cairo_new_path(cr);
      for (int i = -1; i <= 1; ++i) contentgen::EllipsePath(cr, cx + i * 11, cy + 1, 3, 3);
      contentgen::SetColor(cr, pal::kInk);
      cairo_fill(cr);
      break;
    }
    case Emotion::kHeart:
      HeartPath(cr, cx, cy + 1, 13);
      contentgen::PaintStyledPath(cr, Outlined(pal::kPink, pal::kCoral, 0.5, 2.2, 0));
      break;
    case Emotion::kNote:
      NotePath(cr, cx + 1, cy + 1, 15);
      contentgen::PaintStyledPath(cr,
                                  Outlined(pal::kLilac, contentgen::Hex(0x8F73E6), 0.5, 2.2, 0));
      break;
    case Emotion::kSweat:
      DropPath(cr, cx, cy, 14);
      contentgen::PaintStyledPath(cr, Outlined(pal::kSkyHorizon, pal::kSkyTop, 0.5, 2.2, 0));
      break;
  }
  cairo_new_path(cr);
  out.Save(c, path);
}

}  // namespace

void MakePromptTextures(const TextureOut& out) {
  namespace tex = content::texture;
  MakeQuestion(out, tex::kBackTitle, "タイトルにもどりますか？", "はい", "いいえ");
  MakeQuestion(out, tex::kEndGame, "ゲームをおわりますか？", "はい", "いいえ");
  MakeBurp(out, tex::kGeppu, "げっぷ");
  MakeEmotion(out, content::texture::kBalloon, Emotion::kNone);
  MakeEmotion(out, content::texture::kHeart, Emotion::kHeart);
  MakeEmotion(out, content::texture::kNote, Emotion::kNote);
  MakeEmotion(out, content::texture::kSweat, Emotion::kSweat);

  MakeQuestion(out, tex::kBackTitleEn, "Back to the title?", "Yes", "No");
  MakeQuestion(out, tex::kEndGameEn, "Quit the game?", "Yes", "No");
  MakeBurp(out, tex::kGeppuEn, "Burp!");
}

}  // namespace textures
