#include <cstring>
#include <string>

#include "media/paths.h"
#include "textures/texture_set.h"

namespace textures {

namespace {

const content::texture::Nominal& Find(const char* path) {
  for (const auto& n : content::texture::kAll) {
    if (n.path == path || std::strcmp(n.path, path) == 0) return n;
  }
  throw contentgen::DrawError(std::string("no nominal size for ") + path);
}

}  // namespace

contentgen::Canvas TextureOut::MakeCanvas(const char* path) {
  const auto& n = Find(path);
  return contentgen::Canvas(static_cast<int>(n.width), static_cast<int>(n.height));
}

void TextureOut::Save(const contentgen::Canvas& canvas, const char* path) const {
  const auto& n = Find(path);
  if (canvas.Width() != static_cast<int>(n.width) ||
      canvas.Height() != static_cast<int>(n.height)) {
    throw contentgen::DrawError(std::string(path) + " drawn at " + std::to_string(canvas.Width()) +
                                "x" + std::to_string(canvas.Height()) + ", the game loads it at " +
                                std::to_string(n.width) + "x" + std::to_string(n.height));
  }
  canvas.WritePng(root_ / path);
}

}  // namespace textures
