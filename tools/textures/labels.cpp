// Words of the interface: the loading caption, HUD and result labels, the
// Enter prompt and the version plate.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "media/paths.h"
#include "textures/texture_set.h"

namespace textures {

namespace {

using contentgen::Canvas;
using contentgen::TextRun;
using contentgen::TextStyle;
namespace pal = contentgen::palette;

constexpr double kPi = 3.14159265358979323846;

TextStyle Style(contentgen::Color top, contentgen::Color bottom, double fatten, double outline,
                double drop) {
  TextStyle s;
  s.top = top;
  s.bottom = bottom;
  s.fatten = fatten;
  s.outline = outline;
  s.drop = drop;
  return s;
}

// A five-pointed star with rounded look (drawn with the styled painter).
void StarPath(cairo_t* cr, double cx, double cy, double r_out, double r_in, double turn) {
  cairo_new_sub_path(cr);
  for (int i = 0; i < 10; ++i) {
    const double a = -kPi / 2 + turn + i * kPi / 5;
    const double r = (i % 2 == 0) ? r_out : r_in;
    cairo_line_to(cr, cx + r * std::cos(a), cy + r * std::sin(a));
  }
  cairo_close_path(cr);
}

void Star(cairo_t* cr, double cx, double cy, double r, double turn, contentgen::Color c) {
  cairo_new_path(cr);
  StarPath(cr, cx, cy, r, r * 0.48, turn);
  contentgen::PaintStyledPath(cr, Style(contentgen::Mix(c, pal::kWhite, 0.5), c, 1.5, 2.0, 0));
  cairo_new_path(cr);
}

// "よみこみ中..." is put together by the loading screen from five cells:
// よ, み, こ, 中 and a dot; each glyph is centred in its cell.
void MakeLoadingCaption(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kLoadingStr);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  struct Cell {
    int x0, x1;
    const char* glyph;
    contentgen::Color top, bottom;
  };
  const std::array<Cell, 4> cells = {{
      {0, 62, "よ", pal::kPink, pal::kCoral},
      {62, 120, "み", pal::kSun, pal::kOrange},
      {120, 182, "こ", pal::kMint, pal::kGrass},
      {182, 238, "中", pal::kSkyHorizon, pal::kLilac},
  }};
  TextStyle base = Style(pal::kCream, pal::kSun, 4.5, 3.0, 2.0);
  double size = 1000;
  for (const auto& cell : cells) {
    size = std::min(
        size, contentgen::FitTextSize(cr, font, cell.glyph, cell.x1 - cell.x0, 62, base, 1000));
  }
  for (const auto& cell : cells) {
    TextStyle s = base;
    s.top = cell.top;
    s.bottom = cell.bottom;
    cairo_save(cr);
    cairo_rectangle(cr, cell.x0, 0, cell.x1 - cell.x0, 62);
    cairo_clip(cr);
    contentgen::DrawText(cr, font, cell.glyph, size, (cell.x0 + cell.x1) / 2.0, 31, s);
    cairo_restore(cr);
  }
  // The dot sits low, on the line the kana stand on.
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, (238 + 255) / 2.0, 46, 2.2, 2.2);
  contentgen::PaintStyledPath(cr, base);
  cairo_new_path(cr);
  out.Save(c, content::texture::kLoadingStr);
}

void MakeFittedLabel(const TextureOut& out, const char* path, const std::string& text,
                     const TextStyle& style, double margin_x, double margin_y) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const double size = contentgen::FitTextSize(cr, font, text, c.Width() - 2 * margin_x,
                                              c.Height() - 2 * margin_y, style, 1000);
  contentgen::DrawText(cr, font, text, size, c.Width() / 2.0, c.Height() / 2.0, style);
  out.Save(c, path);
}

void MakeResultTitle(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kResult);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const TextStyle style = Style(pal::kSun, pal::kCoral, 6.0, 5.0, 4.0);
  const double size = contentgen::FitTextSize(cr, font, "けっか", 200, 78, style, 1000);
  contentgen::DrawText(cr, font, "けっか", size, c.Width() / 2.0, 40, style);
  Star(cr, 30, 30, 17, 0.15, pal::kPink);
  Star(cr, 52, 62, 9, -0.2, pal::kMint);
  Star(cr, 266, 50, 17, -0.15, pal::kMint);
  Star(cr, 244, 17, 9, 0.25, pal::kLilac);
  out.Save(c, content::texture::kResult);
}

void MakePushEnter(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kPushEnter);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const TextStyle key = Style(pal::kSun, pal::kOrange, 3.0, 3.5, 2.5);
  const TextStyle rest = Style(pal::kWhite, pal::kCream, 3.0, 3.5, 2.5);
  const std::string all = "エンターキーをおしてね";
  const double size =
      contentgen::FitTextSize(cr, font, all, c.Width() - 4, c.Height() - 6, key, 1000);
  contentgen::DrawTextRuns(cr, font, {TextRun{"エンターキー", key}, TextRun{"をおしてね", rest}},
                           size, c.Width() / 2.0, c.Height() / 2.0);
  out.Save(c, content::texture::kPushEnter);
}

}  // namespace

void MakeLabelTextures(const TextureOut& out) {
  MakeLoadingCaption(out);
  MakeFittedLabel(out, content::texture::kCombo, "コンボ",
                  Style(pal::kSun, pal::kCoral, 2.0, 2.5, 1.5), 1, 1);
  MakeFittedLabel(out, content::texture::kScore, "スコア",
                  Style(pal::kWhite, pal::kMint, 5.0, 4.5, 3.5), 6, 3);
  MakeResultTitle(out);
  MakePushEnter(out);
  MakeFittedLabel(out, content::texture::kVer, "ver1.00",
                  Style(pal::kWhite, pal::kCream, 1.0, 1.8, 0.0), 2, 1);
}

}  // namespace textures
