// gen_models CONTENT_DIR [--preview DIR]
//
// Writes every model (XFile/*.x), the textures they name and the data files
// (Data/*) into CONTENT_DIR. With --preview, also pictures of every model
// into DIR (not part of the content).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/paths.h"
#include "models.h"

namespace {

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(text.data(), static_cast<std::streamsize>(text.size()));
  f.close();
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--preview")) {
    std::fprintf(stderr, "usage: gen_models CONTENT_DIR [--preview DIR]\n");
    return 2;
  }
  const std::string root = argv[1];
  std::error_code ec;
  for (const char* sub : {"XFile", "Texture", "Data"}) {
    std::filesystem::create_directories(root + "/" + sub, ec);
    if (ec) {
      std::fprintf(stderr, "gen_models: cannot create %s/%s: %s\n", root.c_str(), sub,
                   ec.message().c_str());
      return 1;
    }
  }

  const auto textures = models::MakeModelTextures();
  for (const auto& [path, image] : textures) {
    std::string error;
    if (!contentgen::SavePng(root + "/" + path, image, &error)) {
      std::fprintf(stderr, "gen_models: %s\n", error.c_str());
      return 1;
    }
  }

  std::vector<models::Model> all;
  all.push_back(models::MakePlanet());
  all.push_back(models::MakeSky());
  all.push_back(models::MakeTree());
  all.push_back(models::MakeStump());
  all.push_back(models::MakeFlower());
  for (models::Model& part : models::MakePlayer()) all.push_back(std::move(part));
  all.push_back(models::MakeCaterpillar());
  all.push_back(models::MakeButterfly());
  all.push_back(models::MakeBeetle(false));
  all.push_back(models::MakeBeetle(true));
  all.push_back(models::MakeFly());

  for (const models::Model& m : all) {
    std::string error;
    if (!contentgen::SaveXFile(root + "/" + m.path, m.file, &error)) {
      std::fprintf(stderr, "gen_models: %s\n", error.c_str());
      return 1;
    }
  }

  for (const auto& [path, text] : models::MakeDataFiles()) {
    if (!WriteText(root + "/" + path, text)) {
      std::fprintf(stderr, "gen_models: cannot write %s/%s\n", root.c_str(), path.c_str());
      return 1;
    }
  }

  if (argc == 4) {
    std::filesystem::create_directories(argv[3], ec);
    std::string error;
    // The three parts of the creature together, as the game draws them.
    std::vector<models::Model> previews = all;
    models::Model whole;
    for (const models::Model& m : all) {
      if (m.path != content::model::kPlayerUpBody && m.path != content::model::kPlayerDownBody &&
          m.path != content::model::kPlayerHand)
        continue;
      if (whole.path.empty()) {
        whole = m;
        whole.path = "XFile/PlayerWhole.x";
      } else {
        whole.mesh.Append(m.mesh);
      }
    }
    previews.push_back(std::move(whole));
    if (!models::WritePreviews(previews, textures, argv[3], &error) ||
        !models::WriteScenePreview(previews, textures, std::string(argv[3]) + "/scene.png",
                                   &error) ||
        !models::WriteTitlePreview(previews, textures, std::string(argv[3]) + "/title.png",
                                   &error)) {
      std::fprintf(stderr, "gen_models: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}
