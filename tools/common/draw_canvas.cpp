#include "common/draw_canvas.h"

#include <cairo-ft.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "common/png_writer.h"

namespace contentgen {

Color Mix(Color a, Color b, double t) {
  return Color{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
               a.a + (b.a - a.a) * t};
}

Color WithAlpha(Color c, double alpha) {
  c.a = alpha;
  return c;
}

Color Greyed(Color c) {
  const double l = 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
  // Lift toward a light cool grey so missed pictures read as faded out.
  const double v = 0.45 + 0.45 * l;
  return Color{v * 0.96, v * 0.96, v, c.a};
}

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      cr_(cairo_create(surface_)) {
  if (width <= 0 || height <= 0 || cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
    throw DrawError("cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                    " canvas");
  }
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

namespace {

std::uint32_t Unpremultiplied(const unsigned char* data, int stride, int x, int y) {
  std::uint32_t p;
  std::memcpy(&p, data + y * stride + x * 4, 4);
  const std::uint32_t a = p >> 24;
  if (a == 0) return 0;
  auto un = [a](std::uint32_t v) { return std::min<std::uint32_t>(255, (v * 255 + a / 2) / a); };
  return (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
}

}  // namespace

std::uint32_t Canvas::PixelArgb(int x, int y) const {
  cairo_surface_flush(surface_);
  return Unpremultiplied(cairo_image_surface_get_data(surface_),
                         cairo_image_surface_get_stride(surface_), x, y);
}

void Canvas::CopyRegion(const Canvas& from, int fx, int fy, int x, int y, int w, int h) {
  if (w <= 0 || h <= 0 || fx < 0 || fy < 0 || x < 0 || y < 0 || fx + w > from.width_ ||
      fy + h > from.height_ || x + w > width_ || y + h > height_) {
    throw DrawError("copy outside a canvas");
  }
  cairo_surface_flush(from.surface_);
  cairo_surface_flush(surface_);
  const unsigned char* src = cairo_image_surface_get_data(from.surface_);
  unsigned char* dst = cairo_image_surface_get_data(surface_);
  const int ss = cairo_image_surface_get_stride(from.surface_);
  const int ds = cairo_image_surface_get_stride(surface_);
  for (int row = 0; row < h; ++row) {
    std::memcpy(dst + (y + row) * ds + x * 4, src + (fy + row) * ss + fx * 4,
                static_cast<std::size_t>(w) * 4);
  }
  cairo_surface_mark_dirty(surface_);
}

void Canvas::WritePng(const std::filesystem::path& path) const {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  // Always straight RGBA, whether or not the picture has transparent parts.
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width_) * height_ * 4);
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const std::uint32_t p = Unpremultiplied(data, stride, x, y);
      std::uint8_t* out = &rgba[(static_cast<std::size_t>(y) * width_ + x) * 4];
      out[0] = static_cast<std::uint8_t>(p >> 16);
      out[1] = static_cast<std::uint8_t>(p >> 8);
      out[2] = static_cast<std::uint8_t>(p);
      out[3] = static_cast<std::uint8_t>(p >> 24);
    }
  }
  std::string why;
  if (!WritePngFile(path.string(), width_, height_, rgba.data(),
                    static_cast<std::size_t>(width_) * 4, true, &why)) {
    throw DrawError("cannot write " + path.string() + ": " + why);
  }
}

void SetColor(cairo_t* cr, Color c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  constexpr double kPi = 3.14159265358979323846;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry) {
  constexpr double kPi = 3.14159265358979323846;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_close_path(cr);
  cairo_restore(cr);
}

void SetVerticalGradient(cairo_t* cr, double y0, Color top, double y1, Color bottom) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
  cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

namespace {

std::string FoldName(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c != ' ' && c != '-') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

void SetCrispOptions(cairo_t* cr) {
  // Fixed options so the result does not depend on the desktop's font set-up.
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, o);
  cairo_font_options_destroy(o);
}

}  // namespace

Font::Font(std::string family, const std::string& package) : family_(std::move(family)) {
  Canvas probe(1, 1);
  Select(probe.Cr(), 20);
  cairo_scaled_font_t* scaled = cairo_get_scaled_font(probe.Cr());
  std::string found = "(none)";
  if (cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS &&
      cairo_scaled_font_get_type(scaled) == CAIRO_FONT_TYPE_FT) {
    FT_Face face = cairo_ft_scaled_font_lock_face(scaled);
    if (face != nullptr && face->family_name != nullptr) found = face->family_name;
    cairo_ft_scaled_font_unlock_face(scaled);
  }
  if (FoldName(found) != FoldName(family_)) {
    throw DrawError("font family \"" + family_ + "\" is not installed (fontconfig offers \"" +
                    found + "\" instead); install the Debian package " + package);
  }
}

void Font::Select(cairo_t* cr, double size) const {
  cairo_select_font_face(cr, family_.c_str(), CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  SetCrispOptions(cr);
}

const Font& RoundedFont() {
  static const Font font("MotoyaLMaru", "fonts-motoya-l-maruberi");
  return font;
}

Box MeasureText(cairo_t* cr, const Font& font, const std::string& text, double size) {
  cairo_save(cr);
  cairo_new_path(cr);
  font.Select(cr, size);
  cairo_move_to(cr, 0, 0);
  cairo_text_path(cr, text.c_str());
  Box b;
  cairo_path_extents(cr, &b.x0, &b.y0, &b.x1, &b.y1);
  cairo_new_path(cr);
  cairo_restore(cr);
  return b;
}

double FitTextSize(cairo_t* cr, const Font& font, const std::string& text, double w, double h,
                   const TextStyle& style, double max_size) {
  // The grown outline on both sides, plus a pixel each side for smoothing.
  const double pad = style.fatten + 2 * style.outline + 2;
  const Box b = MeasureText(cr, font, text, 100.0);
  if (b.Width() <= 0 || b.Height() <= 0) return max_size;
  const double sw = (w - pad) / b.Width() * 100.0;
  const double sh = (h - pad - style.drop) / b.Height() * 100.0;
  return std::max(1.0, std::min({sw, sh, max_size}));
}

namespace {

// Runs paint(path) with the current path removed and put back afterwards.
template <typename Paint>
void WithPath(cairo_t* cr, Paint paint) {
  cairo_path_t* path = cairo_copy_path(cr);
  cairo_save(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  paint(path);
  cairo_restore(cr);
  cairo_new_path(cr);
  cairo_append_path(cr, path);
  cairo_path_destroy(path);
}

}  // namespace

void PaintStyledBack(cairo_t* cr, const TextStyle& style) {
  WithPath(cr, [&](cairo_path_t* path) {
    const double ring = style.fatten + 2 * style.outline;
    if (style.drop > 0) {
      cairo_save(cr);
      cairo_translate(cr, 0, style.drop);
      cairo_new_path(cr);
      cairo_append_path(cr, path);
      cairo_restore(cr);
      SetColor(cr, style.ink);
      cairo_set_line_width(cr, ring);
      cairo_stroke_preserve(cr);
      cairo_fill(cr);
      cairo_append_path(cr, path);
    }
    if (ring > 0) {
      SetColor(cr, style.ink);
      cairo_set_line_width(cr, ring);
      cairo_stroke(cr);
    }
  });
}

void PaintStyledFront(cairo_t* cr, const TextStyle& style) {
  WithPath(cr, [&](cairo_path_t*) {
    double x0, y0, x1, y1;
    cairo_path_extents(cr, &x0, &y0, &x1, &y1);
    const double pad = style.fatten / 2;
    SetVerticalGradient(cr, y0 - pad, style.top, y1 + pad, style.bottom);
    if (style.fatten > 0) {
      cairo_set_line_width(cr, style.fatten);
      cairo_stroke_preserve(cr);
    }
    cairo_fill_preserve(cr);
    if (style.gloss) {
      SetVerticalGradient(cr, y0 - pad, WithAlpha(palette::kWhite, 0.55), y0 + (y1 - y0) * 0.5,
                          WithAlpha(palette::kWhite, 0.0));
      cairo_fill_preserve(cr);
    }
  });
}

void PaintStyledPath(cairo_t* cr, const TextStyle& style) {
  PaintStyledBack(cr, style);
  PaintStyledFront(cr, style);
}

void DrawTextRuns(cairo_t* cr, const Font& font, const std::vector<TextRun>& runs, double size,
                  double cx, double cy) {
  std::string all;
  double drop = 0;
  for (const auto& r : runs) {
    all += r.text;
    drop = std::max(drop, r.style.drop);
  }
  const Box b = MeasureText(cr, font, all, size);
  cairo_save(cr);
  font.Select(cr, size);
  // Every run's ink ring first, then every fill, so neighbouring runs join
  // like one word.
  for (int pass = 0; pass < 2; ++pass) {
    cairo_new_path(cr);
    cairo_move_to(cr, cx - (b.x0 + b.x1) / 2, cy - (b.y0 + b.y1) / 2 - drop / 2);
    for (const auto& r : runs) {
      double x, y;
      cairo_get_current_point(cr, &x, &y);
      cairo_new_path(cr);
      cairo_move_to(cr, x, y);
      cairo_text_path(cr, r.text.c_str());
      cairo_get_current_point(cr, &x, &y);
      if (pass == 0) {
        PaintStyledBack(cr, r.style);
      } else {
        PaintStyledFront(cr, r.style);
      }
      cairo_new_path(cr);
      cairo_move_to(cr, x, y);
    }
  }
  cairo_new_path(cr);
  cairo_restore(cr);
}

void DrawText(cairo_t* cr, const Font& font, const std::string& text, double size, double cx,
              double cy, const TextStyle& style) {
  const Box b = MeasureText(cr, font, text, size);
  cairo_save(cr);
  font.Select(cr, size);
  cairo_new_path(cr);
  cairo_move_to(cr, cx - (b.x0 + b.x1) / 2, cy - (b.y0 + b.y1) / 2 - style.drop / 2);
  cairo_text_path(cr, text.c_str());
  PaintStyledPath(cr, style);
  cairo_new_path(cr);
  cairo_restore(cr);
}

void DrawTextAt(cairo_t* cr, const Font& font, const std::string& text, double size, double x,
                double baseline, const TextStyle& style) {
  const Box b = MeasureText(cr, font, text, size);
  cairo_save(cr);
  font.Select(cr, size);
  cairo_new_path(cr);
  cairo_move_to(cr, x - b.x0, baseline);
  cairo_text_path(cr, text.c_str());
  PaintStyledPath(cr, style);
  cairo_new_path(cr);
  cairo_restore(cr);
}

std::uint64_t Rng::Next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return state_ * 0x2545F4914F6CDD1Dull;
}

double Rng::Uniform(double lo, double hi) {
  const double unit = static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
  return lo + (hi - lo) * unit;
}

}  // namespace contentgen
