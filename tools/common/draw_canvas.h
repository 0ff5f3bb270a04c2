// Drawing helpers of the texture generator: an RGBA canvas on cairo, the
// shared palette, simple shapes, outlined text in a font picked by family
// name, and a small seeded random source so every picture is reproducible.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace contentgen {

// Thrown for anything that stops a picture from being made (missing font,
// failed write); the generator reports it and exits with a failure code.
class DrawError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Color {
  double r = 0, g = 0, b = 0, a = 1;
};

constexpr Color Hex(std::uint32_t rgb, double alpha = 1.0) {
  return Color{((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0,
               alpha};
}

// Linear mix, t = 0 gives a, t = 1 gives b (alpha mixed too).
Color Mix(Color a, Color b, double t);
// The same colour with another alpha.
Color WithAlpha(Color c, double alpha);
// Washed-out grey of a colour, for "missed" pictures.
Color Greyed(Color c);

namespace palette {
inline constexpr Color kInk = Hex(0x3B2A4A);
inline constexpr Color kCream = Hex(0xFFF6E0);
inline constexpr Color kWhite = Hex(0xFFFFFF);
inline constexpr Color kGrass = Hex(0x7CCB5B);
inline constexpr Color kGrassDark = Hex(0x5DAE4A);
inline constexpr Color kSkyTop = Hex(0x6EC6FF);
inline constexpr Color kSkyHorizon = Hex(0xCFF0FF);
inline constexpr Color kSun = Hex(0xFFD84A);
inline constexpr Color kCoral = Hex(0xFF7A6B);
inline constexpr Color kPink = Hex(0xFF9EC4);
inline constexpr Color kLilac = Hex(0xB79CFF);
inline constexpr Color kMint = Hex(0x7FE3C4);
inline constexpr Color kOrange = Hex(0xFFA54A);
inline constexpr Color kBody = Hex(0xFF9A5C);
inline constexpr Color kBelly = Hex(0xFFE3B8);
inline constexpr Color kWood = Hex(0xA86E45);
inline constexpr Color kWoodDark = Hex(0x7A4A2C);
inline constexpr Color kLeaf = Hex(0x58B947);
}  // namespace palette

// A transparent ARGB canvas of a fixed size with its cairo context.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  cairo_t* Cr() const { return cr_; }
  cairo_surface_t* Surface() const { return surface_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Straight (not premultiplied) RGBA of one pixel, for checks and copies.
  std::uint32_t PixelArgb(int x, int y) const;
  // Copies a w x h block of another canvas's pixels exactly (no blending).
  // Throws DrawError when the block reaches outside either canvas.
  void CopyRegion(const Canvas& from, int fx, int fy, int x, int y, int w, int h);

  // Writes the canvas as an RGBA PNG; throws DrawError on failure.
  void WritePng(const std::filesystem::path& path) const;

 private:
  int width_, height_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

void SetColor(cairo_t* cr, Color c);
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry);
// A vertical two-colour gradient from y0 to y1 as the source.
void SetVerticalGradient(cairo_t* cr, double y0, Color top, double y1, Color bottom);

// A font chosen by fontconfig family name. Construction fails with a clear
// message naming `package` when fontconfig hands back a different family
// (the font is not installed), so no picture silently falls back to another
// font.
class Font {
 public:
  Font(std::string family, const std::string& package);
  const std::string& Family() const { return family_; }
  void Select(cairo_t* cr, double size) const;

 private:
  std::string family_;
};

// The rounded Japanese font every text of the game is set in.
const Font& RoundedFont();

struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  double Width() const { return x1 - x0; }
  double Height() const { return y1 - y0; }
};

// How a chunky outlined text is painted: the glyph outline is first grown by
// `fatten` (a round stroke in the fill colours), then ringed by `outline` of
// ink, with a darker lip of `drop` pixels below it.
struct TextStyle {
  Color top = palette::kCream;
  Color bottom = palette::kSun;
  Color ink = palette::kInk;
  double fatten = 2.0;
  double outline = 3.0;
  double drop = 0.0;
  bool gloss = true;
};

// Ink extents of text set at `size` (without fattening and outline).
Box MeasureText(cairo_t* cr, const Font& font, const std::string& text, double size);
// The largest size (capped at max_size) at which the styled text fits in w x h.
double FitTextSize(cairo_t* cr, const Font& font, const std::string& text, double w, double h,
                   const TextStyle& style, double max_size);
// Draws text with its ink box centred on (cx, cy).
void DrawText(cairo_t* cr, const Font& font, const std::string& text, double size, double cx,
              double cy, const TextStyle& style);
// Draws text whose ink box left edge is x and whose baseline is at y (for
// lines that must share a baseline).
void DrawTextAt(cairo_t* cr, const Font& font, const std::string& text, double size, double x,
                double baseline, const TextStyle& style);
// Paints the current path (kept) in the chunky outlined style; the path's
// extents give the gradient's span.
void PaintStyledPath(cairo_t* cr, const TextStyle& style);
// The two halves of PaintStyledPath: the ink ring (and lip), then the fill.
void PaintStyledBack(cairo_t* cr, const TextStyle& style);
void PaintStyledFront(cairo_t* cr, const TextStyle& style);

// A piece of a line with its own colours.
struct TextRun {
  std::string text;
  TextStyle style;
};
// Draws runs as one line whose ink box is centred on (cx, cy).
void DrawTextRuns(cairo_t* cr, const Font& font, const std::vector<TextRun>& runs, double size,
                  double cx, double cy);

// Deterministic random numbers (xorshift64*), the same on every machine.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  std::uint64_t Next();
  // Uniform in [lo, hi).
  double Uniform(double lo, double hi);

 private:
  std::uint64_t state_;
};

}  // namespace contentgen
