// The model generator's pieces: every model and data file of the game, built
// from code with fixed seeds.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/model_image.h"
#include "common/model_mesh.h"
#include "common/xwriter.h"

namespace models {

// 59 * 80: a sixtieth-ish game frame of 1/59 s is a whole 80 ticks.
inline constexpr std::uint32_t kTicksPerSecond = 4720;
inline constexpr std::uint32_t kTicksPerFrame59 = 80;
// Ticks of n / 59 s.
constexpr std::uint32_t F59(std::uint32_t n) { return n * kTicksPerFrame59; }

// One generated model: the file's description plus what a preview needs.
struct Model {
  std::string path;  // relative to the content folder, e.g. "XFile/Tree.x"
  contentgen::XFileDesc file;
  contentgen::ModelMesh mesh;     // in bind pose (skinned) or as placed (static)
  contentgen::Skeleton skeleton;  // empty for static models
  std::string texture;            // the texture the preview paints with
};

// Every texture the models name, by path.
std::map<std::string, contentgen::RgbaImage> MakeModelTextures();

Model MakePlanet();
Model MakeSky();
Model MakeTree();
Model MakeStump();
Model MakeFlower();
std::vector<Model> MakePlayer();  // upper body, legs, hands
Model MakeCaterpillar();
Model MakeButterfly();
Model MakeBeetle(bool flying);
Model MakeFly();

// The data files, by path relative to the content folder.
std::map<std::string, std::string> MakeDataFiles();

// Shared by the world models and the placement: the tree's trunk radius at
// the height a beetle rests on it, and so on.
inline constexpr float kTreeTrunkRadius = 0.5f;

// The title's demo: the creature's x, y, z and scale, and the caterpillar
// circle's centre x, y, an unused value and its radius (world units of the
// title camera, which looks from (0, 0, -7) at the origin).
inline constexpr float kTitlePlayer[4] = {-1.2f, -1.2f, 0.0f, 0.65f};
inline constexpr float kTitleEnemy[4] = {0.0f, -8.98f, 0.0f, 7.5f};

// Where the placement file puts every tree, stump and flower.
struct Placement {
  std::string kind;
  engine::Quaternion q;
  float scale;
};
std::vector<Placement> ObjectPlacements();

// The planet's ground along a unit direction, as a distance from its centre
// in the planet model's units (1 is the bounding sphere).
float PlanetGround(const engine::Vec3& dir);

// Writes previews of every model into dir (PNG per model).
bool WritePreviews(const std::vector<Model>& models,
                   const std::map<std::string, contentgen::RgbaImage>& textures,
                   const std::string& dir, std::string* error);

// Pictures of the world as the game's camera would see it: the planet with
// its placed objects, the creature and a few insects, lit like the game.
bool WriteScenePreview(const std::vector<Model>& models,
                       const std::map<std::string, contentgen::RgbaImage>& textures,
                       const std::string& path, std::string* error);

// The title's demo at the start of the bite and at the catch, as its camera
// sees it over a stand-in for the title planet picture.
bool WriteTitlePreview(const std::vector<Model>& models,
                       const std::map<std::string, contentgen::RgbaImage>& textures,
                       const std::string& path, std::string* error);

}  // namespace models
