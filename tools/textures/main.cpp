// gen_textures <content folder>: draws every 2D texture of the game.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "textures/texture_set.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <content folder>\n", argv[0]);
    return 2;
  }
  try {
    const textures::TextureOut out(argv[1]);
    textures::MakeDigitTextures(out);
    textures::MakeLabelTextures(out);
    textures::MakePromptTextures(out);
    textures::MakeIconTextures(out);
    textures::MakeTitleTextures(out);
    textures::MakeGuideTextures(out);
    textures::MakeAppIcons(std::filesystem::path(argv[1]) / "Icons");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_textures: %s\n", e.what());
    return 1;
  }
  return 0;
}
