// The insects of a run: spawned at random and on the placed objects, stepped
// once a frame after the creature, drawn when in view, and removed when
// their step says they are gone. The list outlives a run (the result screen
// still shows them); the next run clears and refills it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "creatures/enemy.h"
#include "engine/random.h"
#include "platform/graphics.h"
#include "world/culling.h"
#include "world/world_objects.h"

namespace creatures {

class EnemyManager {
 public:
  // How many insects a run starts with; they never change.
  const int flyCount = 35;          // scattered at random
  const int beetleCount = 25;       // on randomly chosen trees
  const int butterflyCount = 30;    // on randomly chosen flowers
  const int caterpillarCount = 40;  // scattered at random

  std::vector<std::unique_ptr<Enemy>> enemies;

  void ClearEnemies();
  // Clears the list, then scatters the caterpillars and the flies over the
  // planet at orientations drawn from the generator, standing on the ground.
  void SpawnRandomEnemies(const world::Planet& planet, engine::Random& random);
  // One insect of a kind ("Butterfly", "BeetleBug" or "Fly"; anything else
  // spawns nothing) at its host's height plus its own hover. Butterflies and
  // beetles on a "Tree" sit tilted against it.
  void SpawnEnemy(const std::string& kind, float height, const std::string& host,
                  const engine::Quaternion& rotation);
  // The insects a placed object carries.
  void SpawnRiders(const std::vector<world::Rider>& riders);
  // One step of every insect in list order; those whose step says they are
  // gone are destroyed and leave the list.
  void UpdateEnemies(const EnemyWorld& world);
  // Draws the insects within the drawing angle of the creature whose spheres
  // are not all outside the view.
  void DrawEnemiesCulled(platform::Device& device, media::MeshManager& meshes,
                         const engine::Quaternion& playerRotation,
                         const world::ViewVolume& volume) const;
  // How many insects of a kind are in the list.
  int Count(int kind) const;
};

}  // namespace creatures
