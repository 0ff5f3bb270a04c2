// The title screen's art: the logo, the cloud banner behind it, the endlessly
// scrolling landscape and the little planet turning at the bottom.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "media/paths.h"
#include "textures/texture_set.h"

namespace textures {

namespace {

using contentgen::Canvas;
using contentgen::Color;
using contentgen::Rng;
using contentgen::TextStyle;
namespace pal = contentgen::palette;

constexpr double kPi = 3.14159265358979323846;

void Outline(cairo_t* cr, Color top, Color bottom, double width, Color ink = pal::kInk) {
  double x0, y0, x1, y1;
  cairo_path_extents(cr, &x0, &y0, &x1, &y1);
  contentgen::SetVerticalGradient(cr, y0, top, y1, bottom);
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, ink);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

void Circle(cairo_t* cr, double cx, double cy, double r) {
  contentgen::EllipsePath(cr, cx, cy, r, r);
}

void Sparkle(cairo_t* cr, double cx, double cy, double r, Color c) {
  cairo_new_path(cr);
  cairo_move_to(cr, cx, cy - r);
  cairo_curve_to(cr, cx + r * 0.12, cy - r * 0.12, cx + r * 0.12, cy - r * 0.12, cx + r, cy);
  cairo_curve_to(cr, cx + r * 0.12, cy + r * 0.12, cx + r * 0.12, cy + r * 0.12, cx, cy + r);
  cairo_curve_to(cr, cx - r * 0.12, cy + r * 0.12, cx - r * 0.12, cy + r * 0.12, cx - r, cy);
  cairo_curve_to(cr, cx - r * 0.12, cy - r * 0.12, cx - r * 0.12, cy - r * 0.12, cx, cy - r);
  cairo_close_path(cr);
  TextStyle s;
  s.top = pal::kWhite;
  s.bottom = c;
  s.fatten = 1.5;
  s.outline = 3;
  s.drop = 0;
  contentgen::PaintStyledPath(cr, s);
  cairo_new_path(cr);
}

// ---------------------------------------------------------------- logo

void Leaf(cairo_t* cr, double x, double y, double len, double angle) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_rotate(cr, angle);
  cairo_new_path(cr);
  cairo_move_to(cr, 0, 0);
  cairo_curve_to(cr, len * 0.3, -len * 0.45, len * 0.8, -len * 0.4, len, 0);
  cairo_curve_to(cr, len * 0.8, len * 0.4, len * 0.3, len * 0.45, 0, 0);
  cairo_close_path(cr);
  cairo_restore(cr);
  Outline(cr, contentgen::Mix(pal::kLeaf, pal::kWhite, 0.35), pal::kLeaf, 6);
}

void MakeLogo(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kTitle);
  cairo_t* cr = c.Cr();
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  const auto& font = contentgen::RoundedFont();
  struct Glyph {
    const char* text;
    Color top, bottom;
    double turn, lift;
  };
  const std::array<Glyph, 4> glyphs = {{
      {"ポ", pal::kSun, pal::kCoral, -0.10, 4},
      {"ロ", pal::kPink, contentgen::Hex(0xFF6F9E), 0.07, -10},
      {"メ", pal::kMint, contentgen::Hex(0x3FC79A), -0.05, 6},
      {"コ", contentgen::Mix(pal::kLilac, pal::kWhite, 0.35), pal::kLilac, 0.09, -6},
  }};
  TextStyle style;
  style.fatten = 16;
  style.outline = 8;
  style.drop = 9;
  const double slot = 152, left = (c.Width() - 4 * slot) / 2.0;
  // The logo's letters keep to the upper 200 pixels: the title screen shows
  // the ranking just below.
  double size = 1000;
  for (const auto& g : glyphs) {
    size = std::min(size, contentgen::FitTextSize(cr, font, g.text, slot + 6, 168, style, 1000));
  }
  // All ink rings (and lips) first, then all fills, so touching letters read
  // as one chunky word.
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < 4; ++i) {
      const auto& g = glyphs[i];
      style.top = g.top;
      style.bottom = g.bottom;
      const contentgen::Box b = contentgen::MeasureText(cr, font, g.text, size);
      cairo_save(cr);
      cairo_translate(cr, left + (i + 0.5) * slot, 104 + g.lift);
      cairo_rotate(cr, g.turn);
      font.Select(cr, size);
      cairo_new_path(cr);
      cairo_move_to(cr, -(b.x0 + b.x1) / 2, -(b.y0 + b.y1) / 2);
      cairo_text_path(cr, g.text);
      cairo_restore(cr);
      if (pass == 0) {
        contentgen::PaintStyledBack(cr, style);
      } else {
        contentgen::PaintStyledFront(cr, style);
      }
      cairo_new_path(cr);
    }
  }
  // A sprout on the first letter and sparkles around the word.
  Leaf(cr, left + 0.5 * slot + 30, 26, 40, -0.9);
  Leaf(cr, left + 0.5 * slot + 30, 26, 34, -2.4);
  Sparkle(cr, left - 4, 46, 16, pal::kSun);
  Sparkle(cr, left + 4 * slot + 6, 40, 20, pal::kPink);
  Sparkle(cr, left + 4 * slot - 8, 176, 12, pal::kMint);
  Sparkle(cr, left + 10, 182, 10, pal::kLilac);
  out.Save(c, content::texture::kTitle);
}

// -------------------------------------------------------------- banner

void MakeBanner(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kTitleW);
  cairo_t* cr = c.Cr();
  const double top = 44, bottom = 186;
  cairo_new_path(cr);
  cairo_rectangle(cr, -40, top, c.Width() + 80, bottom - top);
  // Puffs along both edges; alternating sizes so it reads as a cloud band.
  for (int i = 0; i <= 13; ++i) {
    const double x = -20 + i * 65.0;
    const double r = (i % 2 == 0) ? 36 : 27;
    Circle(cr, x, top + 6 + (i % 2) * 4, r);
    Circle(cr, x + 32, bottom - 6 - (i % 2) * 3, (i % 2 == 0) ? 25 : 33);
  }
  cairo_path_t* band = cairo_copy_path(cr);
  // Soft lilac shadow below, an ink rim, then the body.
  cairo_save(cr);
  cairo_translate(cr, 0, 8);
  cairo_new_path(cr);
  cairo_append_path(cr, band);
  cairo_restore(cr);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kLilac, 0.45));
  cairo_set_line_width(cr, 6);
  cairo_stroke_preserve(cr);
  cairo_fill(cr);
  cairo_append_path(cr, band);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kInk, 0.8));
  cairo_set_line_width(cr, 7);
  cairo_stroke_preserve(cr);
  contentgen::SetVerticalGradient(cr, top - 30, pal::kWhite, bottom + 30,
                                  contentgen::Mix(pal::kSkyHorizon, pal::kLilac, 0.25));
  cairo_fill(cr);
  // A faint highlight line through the upper puffs.
  cairo_new_path(cr);
  cairo_move_to(cr, 0, top + 12);
  cairo_line_to(cr, c.Width(), top + 12);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kWhite, 0.7));
  cairo_set_line_width(cr, 4);
  cairo_stroke(cr);
  cairo_path_destroy(band);
  out.Save(c, content::texture::kTitleW);
}

// ----------------------------------------------------------- landscape

// The landscape repeats every kPeriod columns: the title draws a second
// copy kPeriod pixels to the right of the first (the picture is 5 columns
// wider than that), so the last 5 columns repeat the first 5.
constexpr int kPeriod = 2402;

double Hill(double x, const std::array<std::array<double, 3>, 4>& waves) {
  // waves: {cycles per period, amplitude, phase}; whole cycles keep it periodic.
  double y = 0;
  for (const auto& w : waves) y += w[1] * std::sin(2 * kPi * w[0] * x / kPeriod + w[2]);
  return y;
}

void HillLayer(cairo_t* cr, double base, const std::array<std::array<double, 3>, 4>& waves,
               Color top, Color bottom, Color rim, double rim_width, int height) {
  cairo_new_path(cr);
  cairo_move_to(cr, -8, height + 10);
  for (int x = -8; x <= kPeriod + 8; x += 4) cairo_line_to(cr, x, base + Hill(x, waves));
  cairo_line_to(cr, kPeriod + 8, height + 10);
  cairo_close_path(cr);
  Outline(cr, top, bottom, rim_width, rim);
}

// Draws fn at x and at its copies one period left and right, so shapes that
// cross an end of the picture continue on the other side.
template <typename Fn>
void Wrapped(double x, Fn fn) {
  for (int k = -1; k <= 1; ++k) fn(x + k * kPeriod);
}

void Cloud(cairo_t* cr, double x, double y, double s) {
  cairo_new_path(cr);
  Circle(cr, x, y, 30 * s);
  Circle(cr, x + 34 * s, y - 16 * s, 38 * s);
  Circle(cr, x + 74 * s, y - 4 * s, 32 * s);
  Circle(cr, x + 104 * s, y + 8 * s, 22 * s);
  contentgen::RoundedRect(cr, x - 10 * s, y, 122 * s, 30 * s, 15 * s);
  cairo_path_t* p = cairo_copy_path(cr);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kSkyTop, 0.5));
  cairo_set_line_width(cr, 5);
  cairo_stroke_preserve(cr);
  contentgen::SetVerticalGradient(cr, y - 54 * s, pal::kWhite, y + 30 * s,
                                  contentgen::Mix(pal::kWhite, pal::kLilac, 0.22));
  cairo_fill(cr);
  cairo_path_destroy(p);
}

void DistantTree(cairo_t* cr, double x, double ground, double s) {
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, x - 3 * s, ground - 16 * s, 6 * s, 20 * s, 2 * s);
  Outline(cr, pal::kWood, pal::kWoodDark, 2.5, contentgen::WithAlpha(pal::kInk, 0.7));
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, x, ground - 28 * s, 14 * s, 17 * s);
  Outline(cr, contentgen::Mix(pal::kLeaf, pal::kWhite, 0.3), pal::kLeaf, 2.5,
          contentgen::WithAlpha(pal::kInk, 0.7));
}

void MakeLandscape(const TextureOut& out) {
  Canvas base(kPeriod, 600);
  cairo_t* cr = base.Cr();
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  contentgen::SetVerticalGradient(cr, 0, pal::kSkyTop, 430, pal::kSkyHorizon);
  cairo_paint(cr);

  Rng rng(0x5EED71C1);
  // High clouds, spread over the period.
  for (int i = 0; i < 11; ++i) {
    const double x = i * kPeriod / 11.0 + rng.Uniform(-60, 60);
    const double y = rng.Uniform(70, 330);
    const double s = rng.Uniform(0.7, 1.35);
    Wrapped(x, [&](double wx) { Cloud(cr, wx, y, s); });
  }

  const std::array<std::array<double, 3>, 4> far_waves = {
      {{3, 28, 0.4}, {7, 14, 1.9}, {11, 7, 0.3}, {2, 18, 2.6}}};
  const std::array<std::array<double, 3>, 4> near_waves = {
      {{4, 26, 1.1}, {9, 12, 0.2}, {5, 16, 2.2}, {13, 5, 1.4}}};
  HillLayer(cr, 420, far_waves, contentgen::Mix(pal::kMint, pal::kSkyHorizon, 0.35),
            contentgen::Mix(pal::kMint, pal::kGrass, 0.3), contentgen::WithAlpha(pal::kInk, 0.35),
            4, 600);
  // Trees on the near hills, planted on the hill line.
  for (int i = 0; i < 26; ++i) {
    const double x = i * kPeriod / 26.0 + rng.Uniform(-30, 30);
    const double s = rng.Uniform(0.8, 1.3);
    Wrapped(x, [&](double wx) {
      const double xx = std::fmod(wx + kPeriod, static_cast<double>(kPeriod));
      DistantTree(cr, wx, 500 + Hill(xx, near_waves) + 6, s);
    });
  }
  HillLayer(cr, 500, near_waves, contentgen::Mix(pal::kGrass, pal::kSkyHorizon, 0.35),
            contentgen::Mix(pal::kGrassDark, pal::kSkyHorizon, 0.3),
            contentgen::WithAlpha(pal::kInk, 0.6), 5, 600);
  // Flowers dotted over the near hills.
  for (int i = 0; i < 90; ++i) {
    const double x = rng.Uniform(0, kPeriod);
    const double depth = rng.Uniform(14, 90);
    const Color colours[] = {pal::kPink, pal::kSun, pal::kCream, pal::kCoral, pal::kLilac};
    const Color col = colours[rng.Next() % 5];
    Wrapped(x, [&](double wx) {
      const double y = 500 + Hill(x, near_waves) + depth;
      cairo_new_path(cr);
      Circle(cr, wx, y, 2.5 + depth * 0.02);
      contentgen::SetColor(cr, col);
      cairo_fill(cr);
    });
  }

  // The picture: one period plus the 5 repeated columns.
  Canvas c = TextureOut::MakeCanvas(content::texture::kTitleBack);
  c.CopyRegion(base, 0, 0, 0, 0, kPeriod, c.Height());
  c.CopyRegion(base, 0, 0, kPeriod, 0, c.Width() - kPeriod, c.Height());
  out.Save(c, content::texture::kTitleBack);
}

// -------------------------------------------------------------- planet

// Things on the planet are drawn upright in a local frame whose origin is
// on the ground and whose -y points away from the planet.
void Tree(cairo_t* cr, double s, Color canopy, bool fruit) {
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, -6 * s, -30 * s, 12 * s, 36 * s, 4 * s);
  Outline(cr, pal::kWood, pal::kWoodDark, 4);
  cairo_new_path(cr);
  Circle(cr, -13 * s, -40 * s, 15 * s);
  Circle(cr, 13 * s, -40 * s, 15 * s);
  Circle(cr, 0, -55 * s, 19 * s);
  Outline(cr, contentgen::Mix(canopy, pal::kWhite, 0.3), canopy, 4.5);
  // Redraw the canopy body without inner rims.
  cairo_new_path(cr);
  Circle(cr, -13 * s, -40 * s, 13 * s);
  Circle(cr, 13 * s, -40 * s, 13 * s);
  Circle(cr, 0, -55 * s, 17 * s);
  contentgen::SetVerticalGradient(cr, -74 * s, contentgen::Mix(canopy, pal::kWhite, 0.3), -25 * s,
                                  canopy);
  cairo_fill(cr);
  cairo_new_path(cr);
  Circle(cr, -7 * s, -62 * s, 5 * s);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kWhite, 0.6));
  cairo_fill(cr);
  if (fruit) {
    const double fx[] = {-14, 10, 2};
    const double fy[] = {-42, -38, -52};
    for (int i = 0; i < 3; ++i) {
      cairo_new_path(cr);
      Circle(cr, fx[i] * s, fy[i] * s, 3.5 * s);
      Outline(cr, pal::kCoral, pal::kCoral, 2);
    }
  }
}

void Flower(cairo_t* cr, double s, Color petal) {
  cairo_new_path(cr);
  cairo_move_to(cr, 0, 2);
  cairo_curve_to(cr, 2 * s, -8 * s, -2 * s, -16 * s, 0, -22 * s);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 5);
  cairo_stroke_preserve(cr);
  contentgen::SetColor(cr, pal::kLeaf);
  cairo_set_line_width(cr, 2.5);
  cairo_stroke(cr);
  cairo_new_path(cr);
  for (int i = 0; i < 5; ++i) {
    const double a = -kPi / 2 + i * 2 * kPi / 5;
    Circle(cr, 7 * s * std::cos(a), -24 * s + 7 * s * std::sin(a), 5.5 * s);
  }
  Outline(cr, contentgen::Mix(petal, pal::kWhite, 0.4), petal, 3);
  cairo_new_path(cr);
  for (int i = 0; i < 5; ++i) {
    const double a = -kPi / 2 + i * 2 * kPi / 5;
    Circle(cr, 7 * s * std::cos(a), -24 * s + 7 * s * std::sin(a), 4.2 * s);
  }
  contentgen::SetColor(cr, contentgen::Mix(petal, pal::kWhite, 0.2));
  cairo_fill(cr);
  cairo_new_path(cr);
  Circle(cr, 0, -24 * s, 4 * s);
  Outline(cr, pal::kSun, pal::kOrange, 2.5);
}

void Mushroom(cairo_t* cr, double s) {
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, -5 * s, -14 * s, 10 * s, 16 * s, 4 * s);
  Outline(cr, pal::kCream, pal::kBelly, 3.5);
  cairo_new_path(cr);
  cairo_arc(cr, 0, -12 * s, 14 * s, kPi, 2 * kPi);
  cairo_close_path(cr);
  Outline(cr, contentgen::Mix(pal::kCoral, pal::kPink, 0.4), pal::kCoral, 3.5);
  cairo_new_path(cr);
  Circle(cr, -6 * s, -19 * s, 2.5 * s);
  Circle(cr, 5 * s, -21 * s, 3 * s);
  contentgen::SetColor(cr, pal::kCream);
  cairo_fill(cr);
}

void Bush(cairo_t* cr, double s) {
  cairo_new_path(cr);
  Circle(cr, -12 * s, -8 * s, 11 * s);
  Circle(cr, 12 * s, -8 * s, 11 * s);
  Circle(cr, 0, -15 * s, 14 * s);
  Outline(cr, contentgen::Mix(pal::kGrass, pal::kWhite, 0.25), pal::kGrassDark, 4);
  cairo_new_path(cr);
  Circle(cr, -12 * s, -8 * s, 9 * s);
  Circle(cr, 12 * s, -8 * s, 9 * s);
  Circle(cr, 0, -15 * s, 12 * s);
  contentgen::SetVerticalGradient(cr, -29 * s, contentgen::Mix(pal::kGrass, pal::kWhite, 0.25), 2,
                                  pal::kGrassDark);
  cairo_fill(cr);
}

void Rock(cairo_t* cr, double s) {
  cairo_new_path(cr);
  cairo_move_to(cr, -14 * s, 2);
  cairo_curve_to(cr, -16 * s, -10 * s, -6 * s, -17 * s, 2 * s, -15 * s);
  cairo_curve_to(cr, 12 * s, -14 * s, 16 * s, -6 * s, 14 * s, 2);
  cairo_close_path(cr);
  Outline(cr, contentgen::Hex(0xE4DDF0), contentgen::Hex(0xB9AFCB), 3.5);
}

void MakePlanet(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kTitlePlanet);
  cairo_t* cr = c.Cr();
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  const double cx = c.Width() / 2.0, cy = c.Height() / 2.0;
  const double radius = 470;

  // The ground: lighter in the middle, a darker band toward the rim (the
  // shading turns with the picture, so it is the same all around).
  cairo_new_path(cr);
  Circle(cr, cx, cy, radius);
  cairo_pattern_t* g = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
  const Color light = contentgen::Mix(pal::kGrass, pal::kWhite, 0.18);
  cairo_pattern_add_color_stop_rgb(g, 0, light.r, light.g, light.b);
  cairo_pattern_add_color_stop_rgb(g, 0.86, pal::kGrass.r, pal::kGrass.g, pal::kGrass.b);
  cairo_pattern_add_color_stop_rgb(g, 1, pal::kGrassDark.r, pal::kGrassDark.g, pal::kGrassDark.b);
  cairo_set_source(cr, g);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(g);
  cairo_save(cr);
  cairo_clip_preserve(cr);
  Rng rng(0x91A4E7);
  // Soft patches of lighter and darker grass all over the disc.
  for (int i = 0; i < 70; ++i) {
    const double a = rng.Uniform(0, 2 * kPi), d = std::sqrt(rng.Uniform(0, 1)) * radius;
    const double r = rng.Uniform(25, 70);
    cairo_new_path(cr);
    contentgen::EllipsePath(cr, cx + d * std::cos(a), cy + d * std::sin(a), r, r * 0.7);
    contentgen::SetColor(cr, (i % 2) ? contentgen::WithAlpha(pal::kWhite, 0.10)
                                     : contentgen::WithAlpha(pal::kGrassDark, 0.18));
    cairo_fill(cr);
  }
  // Grass tufts and tiny blossoms in the band just inside the rim.
  for (int i = 0; i < 220; ++i) {
    const double a = rng.Uniform(0, 2 * kPi), d = radius - rng.Uniform(14, 120);
    const double x = cx + d * std::cos(a), y = cy + d * std::sin(a);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, a + kPi / 2);
    if (i % 3 == 0) {
      const Color colours[] = {pal::kPink, pal::kSun, pal::kCream, pal::kLilac};
      cairo_new_path(cr);
      Circle(cr, 0, 0, 3.2);
      contentgen::SetColor(cr, colours[rng.Next() % 4]);
      cairo_fill(cr);
    } else {
      cairo_new_path(cr);
      cairo_move_to(cr, -5, 0);
      cairo_line_to(cr, -2, -7);
      cairo_line_to(cr, 0, -1);
      cairo_line_to(cr, 3, -8);
      cairo_line_to(cr, 5, 0);
      contentgen::SetColor(cr, contentgen::WithAlpha(pal::kGrassDark, 0.8));
      cairo_set_line_width(cr, 2);
      cairo_stroke(cr);
    }
    cairo_restore(cr);
  }
  cairo_restore(cr);
  cairo_new_path(cr);
  Circle(cr, cx, cy, radius);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 7);
  cairo_stroke(cr);

  // Things along the rim, evenly spread with a little jitter so the turning
  // planet always shows some at the top.
  const int count = 58;
  for (int i = 0; i < count; ++i) {
    const double a = i * 2 * kPi / count + rng.Uniform(-0.03, 0.03);
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, a);
    cairo_translate(cr, 0, -(radius - 5));
    const int kind = static_cast<int>(rng.Next() % 10);
    const double s = rng.Uniform(0.85, 1.05);
    if (kind < 3) {
      const Color canopies[] = {pal::kLeaf, contentgen::Mix(pal::kLeaf, pal::kMint, 0.4),
                                contentgen::Mix(pal::kLeaf, pal::kSun, 0.25)};
      Tree(cr, s * 0.82, canopies[rng.Next() % 3], kind == 0);
    } else if (kind < 6) {
      const Color petals[] = {pal::kPink, pal::kCoral, pal::kLilac, pal::kSun, pal::kCream};
      Flower(cr, s, petals[rng.Next() % 5]);
      cairo_translate(cr, 16, 0);
      Flower(cr, s * 0.75, petals[rng.Next() % 5]);
    } else if (kind < 8) {
      Bush(cr, s);
    } else if (kind == 8) {
      Mushroom(cr, s);
    } else {
      Rock(cr, s);
    }
    cairo_restore(cr);
  }
  out.Save(c, content::texture::kTitlePlanet);
}

}  // namespace

void MakeTitleTextures(const TextureOut& out) {
  MakeLogo(out);
  MakeBanner(out);
  MakeLandscape(out);
  MakePlanet(out);
}

}  // namespace textures
