// The placed objects of a run and where they come from: the placement file
// "Data/ObjectPos.csv".
//
// The file: lines end with a line feed (a carriage return before it is
// dropped); fields are separated by ","; empty fields are dropped, so every
// field must be there. Line 1 holds a label and the number of "Tree" rows,
// line 3 a label and the number of "Flower" rows; lines 2, 4, 5 and 6 are not
// used. From line 7 on every line is one object: its kind ("Tree", "Stump" or
// "Flower", exactly; any other text places nothing), the quaternion w, x, y,
// z it stands at (not normalised) and its scale. A last line without a line
// feed is not read.
//
// Each placed object stands with its origin on the surface. Chosen trees
// carry a beetle, chosen flowers a butterfly, every stump a fly: the loader
// says which, and where, as riders that the enemy manager then spawns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/random.h"
#include "world/chara.h"

namespace world {

// Every placed object of the run, in file order. The list outlives a run:
// the next run clears and refills it.
struct WorldObjects {
  std::vector<std::unique_ptr<Chara>> objects;
  // What the next picture shows (not owned; see CullObjects): the objects in
  // view, and the trees between the camera and the creature, drawn
  // see-through after the sky. Emptied whenever an object leaves the list.
  std::vector<Chara*> shown;
  std::vector<Chara*> seeThrough;

  // Appends and builds the object's world matrix (its only time: objects
  // never move).
  void AddObject(std::unique_ptr<Chara> object);
  void ClearObjects();
  // One step of every object; one whose step says it is gone leaves the list.
  void UpdateObjects(float R);
};

// An insect a placed object carries: its kind ("BeetleBug", "Butterfly",
// "Fly"), the height of its host's foot, the host's kind and where it sits.
struct Rider {
  std::string kind;
  float height = 0;
  std::string host;
  engine::Quaternion rotation;
};

// How many trees get a beetle and how many flowers a butterfly.
struct RiderCounts {
  int beetles = 0;
  int butterflies = 0;
};

// The largest placement file read: the game's own is a few kilobytes.
inline constexpr std::uint64_t kMaxPlacementFileBytes = 256 * 1024;

// Clears the list and places every object of the placement file on the
// planet. Which trees and flowers carry insects is shuffled with the
// generator. Problems (no file, one that cannot be read or is over
// kMaxPlacementFileBytes, a short or non-numeric line) are reported on
// standard error with the file and line; the rest of the file is placed.
std::vector<Rider> LoadObjectPositions(WorldObjects& world, const Planet& planet,
                                       engine::Random& random, RiderCounts counts,
                                       const std::string& path);

}  // namespace world
