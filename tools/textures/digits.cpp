// Digit strips (ten equal cells "0".."9" from x = 0), the percent sign and
// the clock colon, all in the same chunky outlined lettering.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "media/paths.h"
#include "textures/texture_set.h"

namespace textures {

namespace {

using contentgen::Box;
using contentgen::Canvas;
using contentgen::TextStyle;
namespace pal = contentgen::palette;

// One size for every digit of a strip, the largest at which each digit fits
// its cell, and the shared baseline that centres the tallest digit.
struct StripLayout {
  double size = 0;
  double baseline = 0;
};

// The font's digits are narrow; they are widened by this much for a
// chunkier look.
constexpr double kStretch = 1.16;

StripLayout LayoutStrip(cairo_t* cr, int cell_w, int cell_h, const TextStyle& style) {
  const auto& font = contentgen::RoundedFont();
  StripLayout l;
  l.size = 1000;
  const double pad = style.fatten + 2 * style.outline + 2;
  const double fit_w = (cell_w - pad) / kStretch + pad;
  for (int d = 0; d < 10; ++d) {
    const std::string s(1, static_cast<char>('0' + d));
    l.size = std::min(l.size, contentgen::FitTextSize(cr, font, s, fit_w, cell_h, style, 1000));
  }
  double top = 0, bottom = 0;
  for (int d = 0; d < 10; ++d) {
    const Box b =
        contentgen::MeasureText(cr, font, std::string(1, static_cast<char>('0' + d)), l.size);
    top = std::min(top, b.y0);
    bottom = std::max(bottom, b.y1);
  }
  // Centre the ink (with the lip below) vertically in the cell.
  l.baseline = (cell_h - style.drop) / 2.0 - (top + bottom) / 2.0;
  return l;
}

void DrawDigitStrip(Canvas& c, int cell_w, const TextStyle& style) {
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const StripLayout l = LayoutStrip(cr, cell_w, c.Height(), style);
  for (int d = 0; d < 10; ++d) {
    const std::string s(1, static_cast<char>('0' + d));
    const Box b = contentgen::MeasureText(cr, font, s, l.size);
    cairo_save(cr);
    // Keep every digit inside its own cell so neighbours never bleed in.
    cairo_rectangle(cr, d * cell_w, 0, cell_w, c.Height());
    cairo_clip(cr);
    cairo_save(cr);
    cairo_translate(cr, d * cell_w + cell_w / 2.0, 0);
    cairo_scale(cr, kStretch, 1);
    font.Select(cr, l.size);
    cairo_new_path(cr);
    cairo_move_to(cr, -(b.x0 + b.x1) / 2, l.baseline);
    cairo_text_path(cr, s.c_str());
    cairo_restore(cr);
    contentgen::PaintStyledPath(cr, style);
    cairo_new_path(cr);
    cairo_restore(cr);
  }
}

// The HUD digits: cream to sun yellow.
TextStyle HudStyle() {
  TextStyle s;
  s.top = pal::kCream;
  s.bottom = pal::kSun;
  s.fatten = 4.0;
  s.outline = 3.5;
  s.drop = 2.5;
  return s;
}

// Combo digits: hotter, orange to coral.
TextStyle ComboStyle() {
  TextStyle s = HudStyle();
  s.top = contentgen::Mix(pal::kSun, pal::kOrange, 0.4);
  s.bottom = pal::kCoral;
  return s;
}

// The big result digits (also the loading percentage).
TextStyle ResultStyle() {
  TextStyle s;
  s.top = pal::kSun;
  s.bottom = pal::kOrange;
  s.fatten = 5.0;
  s.outline = 4.5;
  s.drop = 3.5;
  return s;
}

TextStyle TitleScoreStyle() {
  TextStyle s;
  s.top = pal::kCream;
  s.bottom = contentgen::Mix(pal::kSun, pal::kCream, 0.3);
  s.fatten = 2.0;
  s.outline = 2.0;
  s.drop = 1.5;
  return s;
}

void MakeStrip(const TextureOut& out, const char* path, int cell_w, const TextStyle& style) {
  Canvas c = TextureOut::MakeCanvas(path);
  DrawDigitStrip(c, cell_w, style);
  out.Save(c, path);
}

// The percent sign is built from shapes (two rings and a bar) rather than
// taken from the font, whose sign is thin and slanted next to the digits.
void MakePercent(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kPar);
  cairo_t* cr = c.Cr();
  const TextStyle style = ResultStyle();
  // Stand on the result digits' line and reach their height.
  Canvas probe(550, 79);
  const StripLayout l = LayoutStrip(probe.Cr(), 55, 79, style);
  const Box zero = contentgen::MeasureText(probe.Cr(), contentgen::RoundedFont(), "0", l.size);
  const double top = l.baseline + zero.y0, bottom = l.baseline + zero.y1;
  const double h = bottom - top, cx = c.Width() / 2.0;
  const double r_out = h * 0.2, r_in = h * 0.085;
  const double w = std::min(c.Width() - 22.0, h * 0.78);
  const double ax = cx - w / 2 + r_out, ay = top + r_out;
  const double bx = cx + w / 2 - r_out, by = bottom - r_out;
  constexpr double kTurn = 2 * 3.14159265358979323846;
  cairo_new_path(cr);
  for (const auto& [x, y] : {std::pair{ax, ay}, std::pair{bx, by}}) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r_out, 0, kTurn);
    cairo_close_path(cr);
    cairo_new_sub_path(cr);
    cairo_arc_negative(cr, x, y, r_in, kTurn, 0);
    cairo_close_path(cr);
  }
  // The bar, from the lower left to the upper right, as a rounded slab.
  const double x0 = cx - w / 2 + 2, y0 = bottom - 1, x1 = cx + w / 2 - 2, y1 = top + 1;
  const double len = std::hypot(x1 - x0, y1 - y0), thick = h * 0.13;
  cairo_save(cr);
  cairo_translate(cr, (x0 + x1) / 2, (y0 + y1) / 2);
  cairo_rotate(cr, std::atan2(y1 - y0, x1 - x0));
  contentgen::RoundedRect(cr, -len / 2, -thick / 2, len, thick, thick / 2);
  cairo_restore(cr);
  contentgen::PaintStyledPath(cr, style);
  cairo_new_path(cr);
  out.Save(c, content::texture::kPar);
}

void MakeColon(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kDot);
  cairo_t* cr = c.Cr();
  const TextStyle style = HudStyle();
  const double cx = c.Width() / 2.0;
  const double r = 3.2;
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, cx, 13.0, r, r);
  contentgen::EllipsePath(cr, cx, 27.5, r, r);
  contentgen::PaintStyledPath(cr, style);
  cairo_new_path(cr);
  out.Save(c, content::texture::kDot);
}

}  // namespace

void MakeDigitTextures(const TextureOut& out) {
  MakeStrip(out, content::texture::kNum, 40, HudStyle());
  MakeStrip(out, content::texture::kNumCombo, 40, ComboStyle());
  MakeStrip(out, content::texture::kResultScoreNum, 55, ResultStyle());
  MakeStrip(out, content::texture::kTitleScoreNum, 21, TitleScoreStyle());
  MakePercent(out);
  MakeColon(out);
}

}  // namespace textures
