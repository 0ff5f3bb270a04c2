#include "creatures/enemy_manager.h"

#include "creatures/beetle.h"
#include "creatures/butterfly.h"
#include "creatures/caterpillar.h"
#include "creatures/fly.h"

namespace creatures {

using engine::Quaternion;

void EnemyManager::ClearEnemies() { enemies.clear(); }

namespace {

// An orientation drawn from the generator: three angles in whole degrees,
// about X, Y and Z, combined as Z, then X, then Y.
Quaternion RandomOrientation(engine::Random& random) {
  const int a = random.Rand() % 360;
  const int b = random.Rand() % 360;
  const int c = random.Rand() % 360;
  const Quaternion qx =
      engine::QuaternionRotationAxis({1, 0, 0}, static_cast<float>(a) * engine::kDegToRad);
  const Quaternion qy =
      engine::QuaternionRotationAxis({0, 1, 0}, static_cast<float>(b) * engine::kDegToRad);
  const Quaternion qz =
      engine::QuaternionRotationAxis({0, 0, 1}, static_cast<float>(c) * engine::kDegToRad);
  return engine::QuaternionMultiply(engine::QuaternionMultiply(qz, qx), qy);
}

template <class Kind>
void Scatter(std::vector<std::unique_ptr<Enemy>>& enemies, int count, const world::Planet& planet,
             engine::Random& random) {
  const float R = planet.R();
  for (int i = 0; i < count; ++i) {
    const Quaternion q = RandomOrientation(random);
    auto insect = std::make_unique<Kind>(R + 5.0f);
    insect->mRotation = q;
    Enemy* placed = insect.get();
    enemies.push_back(std::move(insect));
    const float d = placed->DistanceToGround(planet);
    placed->mHeight = placed->hoverHeight + (placed->mHeight - d);
  }
}

}  // namespace

void EnemyManager::SpawnRandomEnemies(const world::Planet& planet, engine::Random& random) {
  ClearEnemies();
  Scatter<Enemy01>(enemies, caterpillarCount, planet, random);
  Scatter<Enemy04>(enemies, flyCount, planet, random);
}

void EnemyManager::SpawnEnemy(const std::string& kind, float height, const std::string& host,
                              const Quaternion& rotation) {
  std::unique_ptr<Enemy> insect;
  if (kind == "Butterfly") {
    insect = std::make_unique<Enemy02>(height);
  } else if (kind == "BeetleBug") {
    insect = std::make_unique<Enemy03>(height);
  } else if (kind == "Fly") {
    insect = std::make_unique<Enemy04>(height);
  } else {
    return;
  }
  if (host == "Tree" && (kind == "Butterfly" || kind == "BeetleBug")) insect->tilted = true;
  insect->mHeight += insect->hoverHeight;
  insect->mRotation = rotation;
  enemies.push_back(std::move(insect));
}

void EnemyManager::SpawnRiders(const std::vector<world::Rider>& riders) {
  for (const world::Rider& r : riders) SpawnEnemy(r.kind, r.height, r.host, r.rotation);
}

void EnemyManager::UpdateEnemies(const EnemyWorld& world) {
  for (std::size_t i = 0; i < enemies.size();) {
    if (enemies[i]->EnemyUpdate(world)) {
      ++i;
    } else {
      enemies.erase(enemies.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

void EnemyManager::DrawEnemiesCulled(platform::Device& device, media::MeshManager& meshes,
                                     const Quaternion& playerRotation,
                                     const world::ViewVolume& volume) const {
  for (const auto& insect : enemies) {
    if (world::SurfaceAngle(playerRotation, insect->mRotation) > world::kInsectDrawAngle) continue;
    if (volume.AnyInside(insect->GetHitSpheres())) insect->Draw(device, meshes);
  }
}

int EnemyManager::Count(int kind) const {
  int n = 0;
  for (const auto& insect : enemies)
    if (insect->Kind() == kind) ++n;
  return n;
}

}  // namespace creatures
