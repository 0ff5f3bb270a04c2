// Feeds arbitrary bytes to the placement reader on a small planet: it must
// place what it can, skip the rest with a message, and leave every object
// and every rider it hands out at a finite place, height and size; never a
// crash, a read past the input or a leak.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/random.h"
#include "fuzz_file.h"
#include "world/test_planet.h"
#include "world/world_objects.h"

namespace {

bool Finite(const engine::Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzfile::MemoryFile file;
  // Coarse, so a file of many rows stays quick; the rays still hit faces.
  static const std::unique_ptr<testplanet::TestPlanet> planet = testplanet::MakeSphere(0.8f, 4, 8);
  file.Set(data, size);

  world::WorldObjects objects;
  engine::Random random(static_cast<std::uint32_t>(size));
  const world::RiderCounts counts{4, 5};
  const std::vector<world::Rider> riders =
      world::LoadObjectPositions(objects, planet->planet, random, counts, file.Path());

  int beetles = 0, butterflies = 0, flies = 0, stumps = 0;
  for (const auto& object : objects.objects) {
    if (object->mName == "Stump") ++stumps;
    if (!std::isfinite(object->mHeight) || !std::isfinite(object->mScale) ||
        !Finite(object->Position()))
      std::abort();
    for (const world::HitSphere& sphere : object->GetHitSpheres()) {
      if (!Finite(sphere.Centre()) || !std::isfinite(sphere.radius)) std::abort();
    }
  }
  for (const world::Rider& rider : riders) {
    if (rider.kind == "BeetleBug") ++beetles;
    if (rider.kind == "Butterfly") ++butterflies;
    if (rider.kind == "Fly") ++flies;
    if (!std::isfinite(rider.height)) std::abort();
  }
  if (beetles > counts.beetles || butterflies > counts.butterflies || flies != stumps) std::abort();
  objects.ClearObjects();
  return 0;
}
