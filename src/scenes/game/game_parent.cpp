#include "scenes/game/game_parent.h"

#include <cstdio>

#include "creatures/enemy_manager.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/texture_manager.h"
#include "scenes/game/game_play.h"
#include "scenes/stage.h"
#include "world/culling.h"
#include "world/world_objects.h"

namespace scenes {

namespace {

// The planet's radius when its model is missing (the loader reports that):
// the world stays well defined, if bare.
constexpr float kFallbackPlanetRadius = 0.8f;
constexpr std::uint32_t kWorldFvf = platform::kFvfXyz | platform::kFvfDiffuse | platform::kFvfTex1;

world::Planet MeasurePlanet(media::MeshManager& meshes) {
  world::Planet planet;
  planet.scale = 60.0f;
  media::StaticMesh* model = meshes.FindStaticMesh(content::model::kPlanet);
  if (!model || !model->mesh || model->mesh->GetNumVertices() == 0) {
    std::fprintf(stderr, "poromeko: no planet model; the creature walks on an empty sphere\n");
    planet.radius = kFallbackPlanetRadius;
    return planet;
  }
  engine::Mesh* mesh = model->mesh;
  engine::Vec3 centre;
  const void* vertices = mesh->LockVertexBuffer();
  engine::ComputeBoundingSphere(vertices, mesh->GetNumVertices(),
                                platform::GetFVFVertexSize(mesh->GetFVF()), &centre,
                                &planet.radius);
  mesh->UnlockVertexBuffer();
  planet.mesh = mesh;
  planet.innerRadius = mesh->EnclosedRadius({0, 0, 0});
  return planet;
}

}  // namespace

GameParent::GameParent(Services& s) : services(s) {
  child = new GamePlay(services);
  planet = MeasurePlanet(*services.meshes);
  const float R = planet.R();

  player = std::make_unique<creatures::Player>(services.tuning.player, *services.meshes);
  player->mHeight = R + 1.5f;
  const float d = player->DistanceToGround(planet);
  player->mHeight = player->mHeight - d + 1.5f;

  timeLeft = kRunSeconds;
  score = creatures::ScoreState{};
  UpdateCamera();

  services.enemies->SpawnRandomEnemies(planet, *services.random);
  const world::RiderCounts counts{services.enemies->beetleCount, services.enemies->butterflyCount};
  services.enemies->SpawnRiders(world::LoadObjectPositions(
      *services.objects, planet, *services.random, counts, services.objectPositionsPath));
  digitCells = media::MakeDigitCells(40, 57);
  skyAngle = 0.0f;
  ranking = LoadRanking(services.rankingPath);
  paused = false;
  bugIconPositions = {{{66, 69}, {133, 62}, {202, 55}, {278, 48}}};
  CullWorld();
}

GameParent::~GameParent() {
  // The phase goes first (the playing phase stops the music), then the rest.
  delete child;
  child = nullptr;
}

void GameParent::UpdateCamera() {
  camera = world::UpdateCamera(player->mRotation, player->mAngle, cameraYaw, cameraDistance, R());
}

void GameParent::CullWorld() {
  const media::StaticMesh* tree = services.meshes->FindStaticMesh(content::model::kTree);
  world::CullObjects(*services.meshes, *services.objects, camera, *player,
                     tree ? tree->mesh : nullptr, world::ViewVolume(camera.view, camera.projection),
                     world::Horizon(camera.eye, planet.InnerR()));
}

creatures::EnemyWorld GameParent::InsectView() const {
  return {player->mRotation, player->mHeight, &planet};
}

SequenceChild* NewGame(Services& services) { return new GameParent(services); }

void DrawWorld(GameParent& game, const DrawContext& frame, bool withPlayer) {
  platform::Device& device = frame.device;
  media::MeshManager& meshes = frame.meshes;
  SetSceneLighting(device);
  world::ApplyCamera(device, game.camera);
  device.LightEnable(0, true);
  device.SetRenderState(platform::RenderState::ZEnable, 1);
  device.SetFVF(kWorldFvf);

  if (withPlayer) game.player->Draw(device, meshes);
  const world::ViewVolume volume(game.camera.view, game.camera.projection);
  game.services.enemies->DrawEnemiesCulled(device, meshes, game.player->mRotation, volume);
  const world::WorldObjects& objects = *game.services.objects;
  world::DrawObjectsCulled(device, meshes, objects);
  world::DrawPlanet(device, meshes, game.planet.scale);
  device.SetRenderState(platform::RenderState::Lighting, 0);
  world::DrawSky(device, meshes, game.skyAngle);
  device.SetRenderState(platform::RenderState::Lighting, 1);
  world::DrawSeeThrough(device, meshes, objects);
}

}  // namespace scenes
