// Digit strips (ten equal cells "0".."9" from x = 0), the percent sign and
// the clock colon, all in the same chunky outlined lettering.
#include <algorithm>
#include <string>

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

StripLayout LayoutStrip(cairo_t* cr, int cell_w, int cell_h, const TextStyle& style) {
  const auto& font = contentgen::RoundedFont();
  StripLayout l;
  l.size = 1000;
  for (int d = 0; d < 10; ++d) {
    const std::string s(1, static_cast<char>('0' + d));
    l.size = std::min(l.size, contentgen::FitTextSize(cr, font, s, cell_w, cell_h, style, 1000));
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
    const double x = d * cell_w + (cell_w - b.Width()) / 2.0;
    contentgen::DrawTextAt(cr, font, s, l.size, x, l.baseline, style);
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

void MakePercent(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kPar);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const TextStyle style = ResultStyle();
  // The result digits' baseline, so "42%" sits on one line.
  Canvas probe(550, 79);
  const StripLayout l = LayoutStrip(probe.Cr(), 55, 79, style);
  // A little larger than a digit so the thin sign holds its own beside them.
  const double fit = contentgen::FitTextSize(cr, font, "%", c.Width(), c.Height(), style, 1000);
  const double size = std::min(l.size * 1.2, fit);
  const Box b = contentgen::MeasureText(cr, font, "%", size);
  contentgen::DrawTextAt(cr, font, "%", size, (c.Width() - b.Width()) / 2.0, l.baseline, style);
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
