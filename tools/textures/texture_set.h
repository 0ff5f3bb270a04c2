// The texture generator's parts: each Make* function draws a group of the
// game's textures and writes them under the content folder.
#pragma once

#include <filesystem>

#include "common/draw_canvas.h"

namespace textures {

// Where the pictures go; checks that every picture has the size the game
// loads it with before writing it.
class TextureOut {
 public:
  explicit TextureOut(std::filesystem::path content_root) : root_(std::move(content_root)) {}
  // path must be one of the content::texture constants.
  void Save(const contentgen::Canvas& canvas, const char* path) const;
  // Nominal size of a texture path; throws DrawError for an unknown path.
  static contentgen::Canvas MakeCanvas(const char* path);

 private:
  std::filesystem::path root_;
};

void MakeDigitTextures(const TextureOut& out);
void MakeLabelTextures(const TextureOut& out);
void MakePromptTextures(const TextureOut& out);
void MakeIconTextures(const TextureOut& out);
void MakeTitleTextures(const TextureOut& out);
// The start-up question asked in the game's window and the title's key
// legend, in Japanese and in English.
void MakeGuideTextures(const TextureOut& out);
// Shared by the panels and guides: a key cap with a letter on it, its
// top-left at (x, y) (its lip reaches 4 pixels lower), ...
void KeyCap(cairo_t* cr, double x, double y, double size, const char* letter,
            contentgen::Color face);
// ... and the question panel (a soft shadow reaching 4 pixels right and 10
// lower, the panel with its thick rim and a dotted inner band).
void QuestionPanel(cairo_t* cr, double x, double y, double w, double h);

// The desktop icons, under iconRoot/hicolor/NxN/apps/.
void MakeAppIcons(const std::filesystem::path& iconRoot);

}  // namespace textures
