// Small pictures of the HUD and the title: the clock, the growth and combo
// gauges, the four insect icons with their "missed" variants, the
// creature's face and the three ranking crowns.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "media/paths.h"
#include "textures/texture_set.h"

namespace textures {

namespace {

using contentgen::Canvas;
using contentgen::Color;
using contentgen::TextStyle;
namespace pal = contentgen::palette;

constexpr double kPi = 3.14159265358979323846;

// Colours of one picture; the missed variants swap every colour for a grey.
struct Tint {
  bool grey = false;
  Color operator()(Color c) const { return grey ? contentgen::Greyed(c) : c; }
};

void Shape(cairo_t* cr, Color fill_top, Color fill_bottom, double width) {
  double x0, y0, x1, y1;
  cairo_path_extents(cr, &x0, &y0, &x1, &y1);
  contentgen::SetVerticalGradient(cr, y0, fill_top, y1, fill_bottom);
  cairo_fill_preserve(cr);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

void Ellipse(cairo_t* cr, double cx, double cy, double rx, double ry, Color top, Color bottom,
             double width) {
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, cx, cy, rx, ry);
  Shape(cr, top, bottom, width);
}

void Dot(cairo_t* cr, double cx, double cy, double r, Color c) {
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, cx, cy, r, r);
  contentgen::SetColor(cr, c);
  cairo_fill(cr);
}

// A big friendly eye: white with a plum pupil and a sparkle.
void Eye(cairo_t* cr, double cx, double cy, double r, double look_x, double look_y) {
  Ellipse(cr, cx, cy, r, r * 1.12, pal::kWhite, pal::kCream, std::max(1.0, r * 0.28));
  Dot(cr, cx + look_x * r * 0.3, cy + look_y * r * 0.3, r * 0.6, pal::kInk);
  Dot(cr, cx + look_x * r * 0.3 - r * 0.22, cy + look_y * r * 0.3 - r * 0.28, r * 0.22,
      pal::kWhite);
}

void Smile(cairo_t* cr, double cx, double cy, double r, double width) {
  cairo_new_path(cr);
  cairo_arc(cr, cx, cy - r * 0.4, r, kPi * 0.2, kPi * 0.8);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

void Antenna(cairo_t* cr, double x0, double y0, double x1, double y1, double bend, double tip_r,
             Color tip) {
  cairo_new_path(cr);
  cairo_move_to(cr, x0, y0);
  cairo_curve_to(cr, x0 + bend, (y0 + y1) / 2, x1 - bend * 0.3, y1 + 3, x1, y1);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 1.8);
  cairo_stroke(cr);
  Ellipse(cr, x1, y1, tip_r, tip_r, tip, tip, 1.4);
}

// The icons are drawn on a 100 x 100 design grid and scaled into their
// picture, so the four insects share one hand whatever their sizes.
void OnGrid(Canvas& c, const std::function<void(cairo_t*)>& draw) {
  cairo_t* cr = c.Cr();
  const double s = std::min(c.Width(), c.Height()) / 100.0;
  cairo_save(cr);
  cairo_translate(cr, (c.Width() - 100 * s) / 2, (c.Height() - 100 * s) / 2);
  cairo_scale(cr, s, s);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  draw(cr);
  cairo_restore(cr);
}

void DrawFly(cairo_t* cr, Tint t) {
  // Clear wings behind the body.
  for (int side = -1; side <= 1; side += 2) {
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, 50 + side * 22, 30);
    cairo_rotate(cr, side * 0.5);
    contentgen::EllipsePath(cr, 0, 0, 15, 24);
    cairo_restore(cr);
    Shape(cr, contentgen::WithAlpha(pal::kWhite, 0.85),
          contentgen::WithAlpha(t(pal::kSkyHorizon), 0.7), 4.5);
  }
  const Color body = t(contentgen::Hex(0x7E8FB8));
  Ellipse(cr, 50, 66, 26, 27, contentgen::Mix(body, pal::kWhite, 0.35), body, 5.5);
  // Stripes.
  cairo_save(cr);
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, 50, 66, 26, 27);
  cairo_clip(cr);
  for (int i = 0; i < 2; ++i) {
    cairo_new_path(cr);
    cairo_move_to(cr, 20, 78 + i * 11);
    cairo_line_to(cr, 80, 78 + i * 11);
    contentgen::SetColor(cr, contentgen::WithAlpha(pal::kInk, 0.35));
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
  Eye(cr, 38, 55, 13, 0.2, 0.3);
  Eye(cr, 62, 55, 13, -0.2, 0.3);
  Smile(cr, 50, 79, 6, 3.5);
}

void DrawCaterpillar(cairo_t* cr, Tint t) {
  const Color green = t(pal::kGrass), light = t(contentgen::Mix(pal::kGrass, pal::kWhite, 0.45));
  // Segments from the tail (right, low) to the head (left, raised).
  const double seg[][3] = {{82, 80, 11}, {68, 78, 13}, {54, 75, 14}};
  for (const auto& s : seg) Ellipse(cr, s[0], s[1], s[2], s[2], light, green, 5);
  // Little feet.
  for (const auto& s : seg)
    Ellipse(cr, s[0], s[1] + s[2] - 1, 3.5, 3, t(pal::kGrassDark), t(pal::kGrassDark), 2.5);
  Antenna(cr, 28, 36, 20, 14, -4, 4.5, t(pal::kSun));
  Antenna(cr, 42, 36, 48, 13, 5, 4.5, t(pal::kSun));
  Ellipse(cr, 34, 54, 24, 23, t(contentgen::Mix(pal::kMint, pal::kWhite, 0.3)), t(pal::kGrass),
          5.5);
  Eye(cr, 24, 50, 10, 0.1, 0.2);
  Eye(cr, 44, 50, 10, 0.1, 0.2);
  Dot(cr, 20, 63, 3.5, contentgen::WithAlpha(t(pal::kPink), 0.8));
  Dot(cr, 48, 63, 3.5, contentgen::WithAlpha(t(pal::kPink), 0.8));
  Smile(cr, 34, 66, 5, 3);
}

void DrawButterfly(cairo_t* cr, Tint t) {
  for (int side = -1; side <= 1; side += 2) {
    // Upper and lower wing.
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, 50 + side * 25, 40);
    cairo_rotate(cr, side * 0.35);
    contentgen::EllipsePath(cr, 0, 0, 22, 26);
    cairo_restore(cr);
    Shape(cr, t(contentgen::Mix(pal::kPink, pal::kWhite, 0.35)), t(pal::kPink), 5);
    cairo_new_path(cr);
    cairo_save(cr);
    cairo_translate(cr, 50 + side * 20, 72);
    cairo_rotate(cr, -side * 0.4);
    contentgen::EllipsePath(cr, 0, 0, 15, 18);
    cairo_restore(cr);
    Shape(cr, t(contentgen::Mix(pal::kLilac, pal::kWhite, 0.3)), t(pal::kLilac), 5);
    Dot(cr, 50 + side * 28, 36, 6.5, t(pal::kSun));
    Dot(cr, 50 + side * 21, 74, 4.5, t(pal::kCream));
  }
  Antenna(cr, 45, 34, 34, 8, -4, 4, t(pal::kCoral));
  Antenna(cr, 55, 34, 66, 8, 4, 4, t(pal::kCoral));
  Ellipse(cr, 50, 62, 9, 28, t(contentgen::Hex(0x8E6FD8)), t(contentgen::Hex(0x6A4FB0)), 4.5);
  Ellipse(cr, 50, 40, 15, 14, t(contentgen::Mix(pal::kLilac, pal::kWhite, 0.4)), t(pal::kLilac),
          4.5);
  Eye(cr, 43.5, 38, 7.5, 0, 0.2);
  Eye(cr, 56.5, 38, 7.5, 0, 0.2);
  Smile(cr, 50, 49, 3.5, 2.5);
}

void DrawBeetle(cairo_t* cr, Tint t) {
  const Color shell = t(contentgen::Hex(0x4B3C8C)), shell_hi = t(contentgen::Hex(0x7C6CD0));
  // Legs.
  for (int side = -1; side <= 1; side += 2) {
    for (int i = 0; i < 3; ++i) {
      cairo_new_path(cr);
      cairo_move_to(cr, 50 + side * 20, 58 + i * 11);
      cairo_line_to(cr, 50 + side * 37, 54 + i * 15);
      contentgen::SetColor(cr, pal::kInk);
      cairo_set_line_width(cr, 4.5);
      cairo_stroke(cr);
    }
  }
  // Shell with its centre seam and a glossy highlight.
  Ellipse(cr, 50, 66, 32, 30, shell_hi, shell, 5.5);
  cairo_new_path(cr);
  cairo_move_to(cr, 50, 44);
  cairo_line_to(cr, 50, 94);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kInk, 0.7));
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  cairo_new_path(cr);
  cairo_save(cr);
  cairo_translate(cr, 34, 62);
  cairo_rotate(cr, -0.5);
  contentgen::EllipsePath(cr, 0, 0, 5, 11);
  cairo_restore(cr);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kWhite, 0.55));
  cairo_fill(cr);
  // Horn rising from the head.
  cairo_new_path(cr);
  cairo_move_to(cr, 43, 30);
  cairo_curve_to(cr, 42, 18, 46, 8, 56, 4);
  cairo_curve_to(cr, 52, 12, 55, 20, 58, 30);
  cairo_close_path(cr);
  Shape(cr, shell_hi, shell, 4.5);
  Ellipse(cr, 50, 38, 20, 15, shell_hi, shell, 5);
  Eye(cr, 41, 37, 9, 0, 0.2);
  Eye(cr, 59, 37, 9, 0, 0.2);
}

// A coral cross over the greyed insect: that kind got away.
void MissCross(cairo_t* cr) {
  cairo_new_path(cr);
  cairo_move_to(cr, 22, 22);
  cairo_line_to(cr, 78, 78);
  cairo_move_to(cr, 78, 22);
  cairo_line_to(cr, 22, 78);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 17);
  cairo_stroke_preserve(cr);
  contentgen::SetColor(cr, pal::kCoral);
  cairo_set_line_width(cr, 9);
  cairo_stroke(cr);
}

void MakeInsect(const TextureOut& out, const char* path, const char* miss_path,
                void (*draw)(cairo_t*, Tint)) {
  Canvas normal = TextureOut::MakeCanvas(path);
  OnGrid(normal, [&](cairo_t* cr) { draw(cr, Tint{false}); });
  out.Save(normal, path);
  Canvas missed = TextureOut::MakeCanvas(miss_path);
  OnGrid(missed, [&](cairo_t* cr) {
    draw(cr, Tint{true});
    MissCross(cr);
  });
  out.Save(missed, miss_path);
}

// An alarm clock with bells: the time label of the HUD.
void MakeClock(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kTime);
  OnGrid(c, [](cairo_t* cr) {
    for (int side = -1; side <= 1; side += 2) {
      cairo_new_path(cr);
      cairo_arc(cr, 50 + side * 30, 20, 15, kPi, 2 * kPi);
      cairo_close_path(cr);
      cairo_save(cr);
      cairo_translate(cr, 50 + side * 30, 20);
      cairo_rotate(cr, side * 0.6);
      cairo_translate(cr, -(50 + side * 30), -20);
      Shape(cr, pal::kSun, pal::kOrange, 6);
      cairo_restore(cr);
      cairo_new_path(cr);
      cairo_move_to(cr, 50 + side * 22, 86);
      cairo_line_to(cr, 50 + side * 32, 96);
      contentgen::SetColor(cr, pal::kInk);
      cairo_set_line_width(cr, 9);
      cairo_stroke(cr);
    }
    Ellipse(cr, 50, 55, 40, 40, contentgen::Mix(pal::kCoral, pal::kPink, 0.4), pal::kCoral, 7);
    Ellipse(cr, 50, 55, 29, 29, pal::kWhite, pal::kCream, 4);
    for (int i = 0; i < 12; i += 3) {
      const double a = i * kPi / 6;
      Dot(cr, 50 + 22 * std::cos(a), 55 + 22 * std::sin(a), 3, pal::kInk);
    }
    cairo_new_path(cr);
    cairo_move_to(cr, 50, 55);
    cairo_line_to(cr, 50, 37);
    cairo_move_to(cr, 50, 55);
    cairo_line_to(cr, 63, 62);
    contentgen::SetColor(cr, pal::kInk);
    cairo_set_line_width(cr, 6);
    cairo_stroke(cr);
    Dot(cr, 50, 55, 5, pal::kCoral);
    Dot(cr, 38, 40, 5, contentgen::WithAlpha(pal::kWhite, 0.9));
  });
  out.Save(c, content::texture::kTime);
}

// Growth gauge: a capsule frame with an open window and notches at the
// quarters where the creature moves up to the next insect.
constexpr double kGaugeX = 4, kGaugeY = 7, kGaugeW = 292, kGaugeH = 33;

void MakeWildGauge(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kWildGauge);
  cairo_t* cr = c.Cr();
  const double r = kGaugeH / 2;
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, kGaugeX, kGaugeY + 2.5, kGaugeW, kGaugeH, r);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 7);
  cairo_stroke(cr);
  contentgen::RoundedRect(cr, kGaugeX, kGaugeY, kGaugeW, kGaugeH, r);
  cairo_set_line_width(cr, 7);
  cairo_stroke(cr);
  // Cream inner rim.
  contentgen::RoundedRect(cr, kGaugeX + 4, kGaugeY + 4, kGaugeW - 8, kGaugeH - 8, r - 4);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kCream, 0.9));
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  for (int q = 1; q < 4; ++q) {
    const double x = c.Width() * q / 4.0;
    cairo_new_path(cr);
    cairo_move_to(cr, x, kGaugeY + 1);
    cairo_line_to(cr, x, kGaugeY + 9);
    cairo_move_to(cr, x, kGaugeY + kGaugeH - 9);
    cairo_line_to(cr, x, kGaugeY + kGaugeH - 1);
    contentgen::SetColor(cr, pal::kInk);
    cairo_set_line_width(cr, 4);
    cairo_stroke(cr);
  }
  out.Save(c, content::texture::kWildGauge);
}

void MakeWildGaugeFill(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kWildGaugeVal);
  cairo_t* cr = c.Cr();
  const double r = kGaugeH / 2;
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, kGaugeX, kGaugeY, kGaugeW, kGaugeH, r);
  cairo_pattern_t* p = cairo_pattern_create_linear(kGaugeX, 0, kGaugeX + kGaugeW, 0);
  const Color stops[] = {pal::kSun, pal::kOrange, pal::kCoral, contentgen::Hex(0xFF5E7A)};
  for (int i = 0; i < 4; ++i) {
    cairo_pattern_add_color_stop_rgb(p, i / 3.0, stops[i].r, stops[i].g, stops[i].b);
  }
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  // Glossy band along the top and a darker lip along the bottom.
  cairo_save(cr);
  cairo_clip(cr);
  contentgen::SetVerticalGradient(cr, kGaugeY, contentgen::WithAlpha(pal::kWhite, 0.6),
                                  kGaugeY + kGaugeH * 0.5, contentgen::WithAlpha(pal::kWhite, 0));
  cairo_paint(cr);
  contentgen::SetVerticalGradient(cr, kGaugeY + kGaugeH * 0.7, contentgen::WithAlpha(pal::kInk, 0),
                                  kGaugeY + kGaugeH, contentgen::WithAlpha(pal::kInk, 0.25));
  cairo_paint(cr);
  // Little sparkles along the bar.
  for (int i = 0; i < 9; ++i) {
    Dot(cr, 22 + i * 33, kGaugeY + 10 + (i % 2) * 4, 2.5, contentgen::WithAlpha(pal::kWhite, 0.8));
  }
  cairo_restore(cr);
  out.Save(c, content::texture::kWildGaugeVal);
}

void MakeComboGauge(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kComboTimeGauge);
  cairo_t* cr = c.Cr();
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, 1.5, 1.5, c.Width() - 3, c.Height() - 3, 3.5);
  cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, c.Width(), 0);
  cairo_pattern_add_color_stop_rgb(p, 0, pal::kCoral.r, pal::kCoral.g, pal::kCoral.b);
  cairo_pattern_add_color_stop_rgb(p, 0.5, pal::kOrange.r, pal::kOrange.g, pal::kOrange.b);
  cairo_pattern_add_color_stop_rgb(p, 1, pal::kSun.r, pal::kSun.g, pal::kSun.b);
  cairo_set_source(cr, p);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(p);
  contentgen::SetColor(cr, pal::kInk);
  cairo_set_line_width(cr, 2.5);
  cairo_stroke(cr);
  cairo_new_path(cr);
  cairo_move_to(cr, 5, 3.8);
  cairo_line_to(cr, c.Width() - 5, 3.8);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kWhite, 0.6));
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
  out.Save(c, content::texture::kComboTimeGauge);
}

// The hungry creature's face: apricot, big eyes, a wide open mouth, drawn in
// a 51 x 42 box (scaled by the caller).
void DrawFace(cairo_t* cr) {
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  const double cx = 25.5, cy = 21;
  Ellipse(cr, cx, cy, 23.5, 19.5, contentgen::Mix(pal::kBody, pal::kBelly, 0.45), pal::kBody, 3);
  // Mouth: a wide grin, open.
  cairo_new_path(cr);
  cairo_move_to(cr, cx - 12, cy + 3);
  cairo_curve_to(cr, cx - 8, cy + 17, cx + 8, cy + 17, cx + 12, cy + 3);
  cairo_curve_to(cr, cx + 5, cy + 6, cx - 5, cy + 6, cx - 12, cy + 3);
  cairo_close_path(cr);
  Shape(cr, contentgen::Hex(0x8C3A52), contentgen::Hex(0x6B2842), 2);
  cairo_new_path(cr);
  contentgen::EllipsePath(cr, cx, cy + 11.5, 5, 2.6);
  contentgen::SetColor(cr, pal::kCoral);
  cairo_fill(cr);
  Eye(cr, cx - 9, cy - 5, 5.5, 0.3, 0.1);
  Eye(cr, cx + 9, cy - 5, 5.5, -0.3, 0.1);
  Dot(cr, cx - 16, cy + 4, 3, contentgen::WithAlpha(pal::kPink, 0.85));
  Dot(cr, cx + 16, cy + 4, 3, contentgen::WithAlpha(pal::kPink, 0.85));
}

void MakeFace(const TextureOut& out) {
  Canvas c = TextureOut::MakeCanvas(content::texture::kPlayerFace);
  DrawFace(c.Cr());
  out.Save(c, content::texture::kPlayerFace);
}

// A crown with three round-tipped points, a jewelled band and its place.
void MakeCrown(const TextureOut& out, const char* path, Color metal, Color metal_dark, Color jewel,
               const char* place) {
  Canvas c = TextureOut::MakeCanvas(path);
  const double sx = c.Width() / 80.0, sy = c.Height() / 67.0;
  cairo_t* cr = c.Cr();
  cairo_save(cr);
  cairo_scale(cr, sx, sy);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  const double lw = 4.5;
  // Points.
  cairo_new_path(cr);
  cairo_move_to(cr, 9, 52);
  cairo_line_to(cr, 6, 20);
  cairo_line_to(cr, 24, 34);
  cairo_line_to(cr, 40, 12);
  cairo_line_to(cr, 56, 34);
  cairo_line_to(cr, 74, 20);
  cairo_line_to(cr, 71, 52);
  cairo_close_path(cr);
  Shape(cr, contentgen::Mix(metal, pal::kWhite, 0.45), metal, lw);
  Ellipse(cr, 6, 17, 5, 5, contentgen::Mix(metal, pal::kWhite, 0.5), metal, 3.5);
  Ellipse(cr, 40, 9, 6, 6, contentgen::Mix(metal, pal::kWhite, 0.5), metal, 3.5);
  Ellipse(cr, 74, 17, 5, 5, contentgen::Mix(metal, pal::kWhite, 0.5), metal, 3.5);
  // Band.
  cairo_new_path(cr);
  contentgen::RoundedRect(cr, 7, 44, 66, 17, 6);
  Shape(cr, metal, metal_dark, lw);
  Ellipse(cr, 22, 52.5, 4, 4, contentgen::Mix(jewel, pal::kWhite, 0.4), jewel, 2.5);
  Ellipse(cr, 58, 52.5, 4, 4, contentgen::Mix(jewel, pal::kWhite, 0.4), jewel, 2.5);
  TextStyle numeral;
  numeral.top = pal::kWhite;
  numeral.bottom = pal::kCream;
  numeral.fatten = 2;
  numeral.outline = 2.5;
  numeral.drop = 0;
  contentgen::DrawText(cr, contentgen::RoundedFont(), place, 17, 40, 52.5, numeral);
  // Shine on the big point.
  cairo_new_path(cr);
  cairo_move_to(cr, 33, 36);
  cairo_line_to(cr, 39, 25);
  contentgen::SetColor(cr, contentgen::WithAlpha(pal::kWhite, 0.8));
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  cairo_restore(cr);
  out.Save(c, path);
}

}  // namespace

void MakeIconTextures(const TextureOut& out) {
  namespace t = content::texture;
  MakeInsect(out, t::kS, t::kSMiss, DrawFly);
  MakeInsect(out, t::kM, t::kMMiss, DrawCaterpillar);
  MakeInsect(out, t::kL, t::kLMiss, DrawButterfly);
  MakeInsect(out, t::kW, t::kWMiss, DrawBeetle);
  MakeClock(out);
  MakeWildGauge(out);
  MakeWildGaugeFill(out);
  MakeComboGauge(out);
  MakeFace(out);
  MakeCrown(out, t::kCrown1, pal::kSun, contentgen::Hex(0xE8A92E), pal::kCoral, "1");
  MakeCrown(out, t::kCrown2, contentgen::Hex(0xDDE3EE), contentgen::Hex(0xA9B3C6), pal::kSkyTop,
            "2");
  MakeCrown(out, t::kCrown3, contentgen::Hex(0xE0A070), contentgen::Hex(0xB0703E), pal::kMint, "3");
}

namespace {

void PutLe(std::vector<std::uint8_t>* out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One image of a Windows icon as a 32-bit bitmap: its header (twice the
// height, the colour rows and then the mask's), the straight B, G, R, A rows
// from the bottom up, and a mask of nothing (alpha decides).
std::vector<std::uint8_t> IconBitmap(const Canvas& c) {
  const int size = c.Width();
  std::vector<std::uint8_t> out;
  PutLe(&out, 40, 4);
  PutLe(&out, static_cast<std::uint32_t>(size), 4);
  PutLe(&out, static_cast<std::uint32_t>(size * 2), 4);
  PutLe(&out, 1, 2);   // planes
  PutLe(&out, 32, 2);  // bits a pixel
  PutLe(&out, 0, 4);   // uncompressed
  const int maskRow = (size + 31) / 32 * 4;
  PutLe(&out, static_cast<std::uint32_t>(size * size * 4 + maskRow * size), 4);
  for (int i = 0; i < 4; ++i) PutLe(&out, 0, 4);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) PutLe(&out, c.PixelArgb(x, y), 4);
  }
  out.insert(out.end(), static_cast<std::size_t>(maskRow * size), 0);
  return out;
}

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) throw contentgen::DrawError("cannot read " + path.string());
  return bytes;
}

}  // namespace

// The game's icon for desktops: the creature's face centred on a square
// canvas, at the sizes icon themes ask for; and the same faces in one
// Windows icon (poromeko.ico, for the program and its Start-menu entry),
// bitmaps up to 64 pixels and the 256-pixel PNG as Windows takes it.
void MakeAppIcons(const std::filesystem::path& iconRoot) {
  std::vector<std::pair<int, std::vector<std::uint8_t>>> ico;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    Canvas c(size, size);
    cairo_t* cr = c.Cr();
    // The 51 x 42 face with a margin, scaled to fill the width.
    const double scale = size / 55.0;
    cairo_save(cr);
    cairo_translate(cr, (size - 51 * scale) / 2.0, (size - 42 * scale) / 2.0);
    cairo_scale(cr, scale, scale);
    DrawFace(cr);
    cairo_restore(cr);
    const std::string dir = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path png = iconRoot / "hicolor" / dir / "apps" / "poromeko.png";
    c.WritePng(png);
    if (size <= 64) ico.emplace_back(size, IconBitmap(c));
    if (size == 256) ico.emplace_back(size, FileBytes(png));
  }
  std::vector<std::uint8_t> out;
  PutLe(&out, 0, 2);
  PutLe(&out, 1, 2);  // an icon
  PutLe(&out, static_cast<std::uint32_t>(ico.size()), 2);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * ico.size());
  for (const auto& [size, bytes] : ico) {
    out.push_back(static_cast<std::uint8_t>(size & 0xFF));  // 256 is written 0
    out.push_back(static_cast<std::uint8_t>(size & 0xFF));
    PutLe(&out, 0, 2);   // no palette, reserved
    PutLe(&out, 1, 2);   // planes
    PutLe(&out, 32, 2);  // bits a pixel
    PutLe(&out, static_cast<std::uint32_t>(bytes.size()), 4);
    PutLe(&out, offset, 4);
    offset += static_cast<std::uint32_t>(bytes.size());
  }
  for (const auto& entry : ico) out.insert(out.end(), entry.second.begin(), entry.second.end());
  const std::filesystem::path path = iconRoot / "poromeko.ico";
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) throw contentgen::DrawError("cannot write " + path.string());
}

}  // namespace textures
