// Words of the interface: the loading caption, HUD and result labels, the
// Enter prompt and the version plate, in Japanese and in English.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

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

// The English caption, "Loading...": a letter in each of seven cells and
// the three dots in the last, each letter centred in its cell on one
// baseline. The cells are those the loading screen cuts the picture into.
void MakeLoadingCaptionEn(const TextureOut& out) {
  const content::texture::CaptionCells& cells = content::texture::kLoadingCellsEn;
  Canvas c = TextureOut::MakeCanvas(content::texture::kLoadingStrEn);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const TextStyle base = Style(pal::kCream, pal::kSun, 4.5, 3.0, 2.0);
  struct Letter {
    const char* glyph;
    contentgen::Color top, bottom;
  };
  const std::array<Letter, 7> letters = {{
      {"L", pal::kPink, pal::kCoral},
      {"o", pal::kSun, pal::kOrange},
      {"a", pal::kMint, pal::kGrass},
      {"d", pal::kSkyHorizon, pal::kLilac},
      {"i", pal::kPink, pal::kCoral},
      {"n", pal::kSun, pal::kOrange},
      {"g", pal::kMint, pal::kGrass},
  }};
  // One size for every letter: the largest at which each fits its cell and
  // the word, from the tops of L and d to the tail of g, fits the height.
  double size = contentgen::FitTextSize(cr, font, "Ldg", 1000, c.Height(), base, 1000);
  for (std::size_t i = 0; i < letters.size(); ++i) {
    // A clear column on either side: the cells are put together anew.
    size = std::min(size, contentgen::FitTextSize(cr, font, letters[i].glyph,
                                                  cells.edges[i + 1] - cells.edges[i] - 2,
                                                  c.Height(), base, 1000));
  }
  const contentgen::Box word = contentgen::MeasureText(cr, font, "Ldg", size);
  const double baseline = (c.Height() - base.drop) / 2.0 - (word.y0 + word.y1) / 2.0;
  for (std::size_t i = 0; i < letters.size(); ++i) {
    const double x0 = cells.edges[i], x1 = cells.edges[i + 1];
    const contentgen::Box ink = contentgen::MeasureText(cr, font, letters[i].glyph, size);
    TextStyle s = base;
    s.top = letters[i].top;
    s.bottom = letters[i].bottom;
    cairo_save(cr);
    cairo_rectangle(cr, x0, 0, x1 - x0, c.Height());
    cairo_clip(cr);
    contentgen::DrawTextAt(cr, font, letters[i].glyph, size, (x0 + x1 - ink.Width()) / 2, baseline,
                           s);
    cairo_restore(cr);
  }
  // The three dots stand on the baseline, clear of their cell's edges.
  const double rim = base.fatten / 2 + base.outline + 2.6 + 1.5;
  const double dots0 = cells.edges[7] + rim, dots1 = cells.edges[8] - rim;
  cairo_new_path(cr);
  for (int i = 0; i < 3; ++i) {
    contentgen::EllipsePath(cr, dots0 + (dots1 - dots0) * i / 2, baseline - 2.6, 2.6, 2.6);
  }
  contentgen::PaintStyledPath(cr, base);
  cairo_new_path(cr);
  out.Save(c, content::texture::kLoadingStrEn);
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

void MakeResultTitle(const TextureOut& out, const char* path, const std::string& word) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const TextStyle style = Style(pal::kSun, pal::kCoral, 6.0, 5.0, 4.0);
  const double size = contentgen::FitTextSize(cr, font, word, 200, 78, style, 1000);
  contentgen::DrawText(cr, font, word, size, c.Width() / 2.0, 40, style);
  Star(cr, 30, 30, 17, 0.15, pal::kPink);
  Star(cr, 52, 62, 9, -0.2, pal::kMint);
  Star(cr, 266, 50, 17, -0.15, pal::kMint);
  Star(cr, 244, 17, 9, 0.25, pal::kLilac);
  out.Save(c, path);
}

// The prompt with the key's name in sun yellow and the rest in white.
void MakePushEnter(const TextureOut& out, const char* path, const std::string& before,
                   const std::string& key_name, const std::string& after) {
  Canvas c = TextureOut::MakeCanvas(path);
  cairo_t* cr = c.Cr();
  const auto& font = contentgen::RoundedFont();
  const TextStyle key = Style(pal::kSun, pal::kOrange, 3.0, 3.5, 2.5);
  const TextStyle rest = Style(pal::kWhite, pal::kCream, 3.0, 3.5, 2.5);
  const std::string all = before + key_name + after;
  const double size =
      contentgen::FitTextSize(cr, font, all, c.Width() - 4, c.Height() - 6, key, 1000);
  std::vector<TextRun> runs;
  if (!before.empty()) runs.push_back(TextRun{before, rest});
  runs.push_back(TextRun{key_name, key});
  if (!after.empty()) runs.push_back(TextRun{after, rest});
  contentgen::DrawTextRuns(cr, font, runs, size, c.Width() / 2.0, c.Height() / 2.0);
  out.Save(c, path);
}

}  // namespace

void MakeLabelTextures(const TextureOut& out) {
  namespace tex = content::texture;
  const TextStyle combo = Style(pal::kSun, pal::kCoral, 2.0, 2.5, 1.5);
  const TextStyle score = Style(pal::kWhite, pal::kMint, 5.0, 4.5, 3.5);
  MakeLoadingCaption(out);
  MakeFittedLabel(out, tex::kCombo, "コンボ", combo, 1, 1);
  MakeFittedLabel(out, tex::kScore, "スコア", score, 6, 3);
  MakeResultTitle(out, tex::kResult, "けっか");
  MakePushEnter(out, tex::kPushEnter, "", "エンターキー", "をおしてね");
  MakeFittedLabel(out, tex::kVer, "ver1.00", Style(pal::kWhite, pal::kCream, 1.0, 1.8, 0.0), 2, 1);

  MakeLoadingCaptionEn(out);
  MakeFittedLabel(out, tex::kComboEn, "COMBO", combo, 1, 1);
  MakeFittedLabel(out, tex::kScoreEn, "SCORE", score, 6, 3);
  MakeResultTitle(out, tex::kResultEn, "Result");
  MakePushEnter(out, tex::kPushEnterEn, "Press ", "Enter", "");
}

}  // namespace textures
