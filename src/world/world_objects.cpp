#include "world/world_objects.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "media/ini.h"
#include "platform/file.h"
#include "world/placed_objects.h"

namespace world {

void WorldObjects::AddObject(std::unique_ptr<Chara> object) {
  Chara* placed = object.get();
  objects.push_back(std::move(object));
  placed->UpdateWorldMatrix();
}

void WorldObjects::ClearObjects() {
  shown.clear();
  seeThrough.clear();
  objects.clear();
}

void WorldObjects::UpdateObjects(float R) {
  for (std::size_t i = 0; i < objects.size();) {
    if (objects[i]->Update(R)) {
      ++i;
    } else {
      shown.clear();
      seeThrough.clear();
      objects.erase(objects.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

namespace {

constexpr int kFirstDataLine = 7;
// Beetles sit this far behind the foot of their tree.
constexpr float kBeetleBehindTree = 0.8f;

// The lines a reader that stops at the end of the stream sees: every line
// that ends with a line feed, without it (and without a carriage return
// before it).
std::vector<std::string> CompleteLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// The whole field is a finite number (blanks around it allowed).
bool ReadNumber(const std::string& field, float* out) {
  const char* begin = field.c_str();
  char* end = nullptr;
  const float value = std::strtof(begin, &end);
  if (end == begin) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

// A placement turns the planet's up axis to where the object stands, so its
// quaternion must be a rotation, give or take the file's rounding (the
// shipped ones are of unit length to six places). One far from unit length
// would stretch the object's place, past any finite number for large
// components.
bool IsRotation(float w, float x, float y, float z) {
  const double n = double(w) * w + double(x) * x + double(y) * y + double(z) * z;
  return n >= 0.25 && n <= 4.0;
}

// A header count far beyond any planet (the game's file places about a
// hundred objects) counts as this many: each slot costs a draw of the
// generator when the slots are shuffled.
constexpr long kMaxHeaderCount = 10000;

// The integer of a header line (its second field), 0 when there is none.
int HeaderCount(const std::vector<std::string>& lines, std::size_t index) {
  if (index >= lines.size()) return 0;
  const std::vector<std::string> fields = media::SplitString(lines[index], ",");
  if (fields.size() < 2) return 0;
  const long n = std::strtol(fields[1].c_str(), nullptr, 10);
  return n < 0 ? 0 : n > kMaxHeaderCount ? static_cast<int>(kMaxHeaderCount) : static_cast<int>(n);
}

// `size` slots of which the first `chosen` hold 1, shuffled with the
// generator.
std::vector<int> ShuffledSlots(int size, int chosen, engine::Random& random) {
  std::vector<int> slots(static_cast<std::size_t>(size), 0);
  for (int i = 0; i < chosen && i < size; ++i) slots[static_cast<std::size_t>(i)] = 1;
  for (int i = 0; i < size; ++i) {
    const int j = random.Rand() % size;
    std::swap(slots[static_cast<std::size_t>(i)], slots[static_cast<std::size_t>(j)]);
  }
  return slots;
}

// Stands a new object on the ground at its scale and adds it to the world.
Chara* Place(WorldObjects& world, std::unique_ptr<Chara> object, const Planet& planet,
             float scale) {
  const float d = object->DistanceToGround(planet);
  object->mHeight -= d;
  object->mScale = scale;
  Chara* placed = object.get();
  world.AddObject(std::move(object));
  return placed;
}

}  // namespace

std::vector<Rider> LoadObjectPositions(WorldObjects& world, const Planet& planet,
                                       engine::Random& random, RiderCounts counts,
                                       const std::string& path) {
  world.ClearObjects();
  std::vector<Rider> riders;
  std::string text, error;
  if (!platform::ReadWholeFile(path, kMaxPlacementFileBytes, &text, nullptr, &error)) {
    std::fprintf(stderr, "poromeko: %s; the planet stays bare\n", error.c_str());
    return riders;
  }
  const std::vector<std::string> lines = CompleteLines(text);

  // The slot lists are as long as the header says, or as the file really
  // is, whichever is more, so a wrong header never runs past their end.
  int trees = 0, flowers = 0;
  for (std::size_t i = kFirstDataLine - 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = media::SplitString(lines[i], ",");
    if (fields.empty()) continue;
    if (fields[0] == "Tree") ++trees;
    if (fields[0] == "Flower") ++flowers;
  }
  const int treeSlots = std::max(HeaderCount(lines, 0), trees);
  const int flowerSlots = std::max(HeaderCount(lines, 2), flowers);
  const std::vector<int> beetleOnTree = ShuffledSlots(treeSlots, counts.beetles, random);
  const std::vector<int> butterflyOnFlower = ShuffledSlots(flowerSlots, counts.butterflies, random);

  const float R = planet.R();
  std::size_t nextTree = 0, nextFlower = 0;
  for (std::size_t i = kFirstDataLine - 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = media::SplitString(lines[i], ",");
    if (fields.empty()) continue;
    const std::string& kind = fields[0];
    if (kind != "Tree" && kind != "Stump" && kind != "Flower") continue;
    float v[5] = {};
    bool ok = fields.size() >= 6;
    for (int f = 0; ok && f < 5; ++f)
      ok = ReadNumber(fields[static_cast<std::size_t>(f + 1)], &v[f]);
    if (!ok) {
      std::fprintf(stderr, "poromeko: %s line %zu: a %s needs w, x, y, z and a scale; skipped\n",
                   path.c_str(), i + 1, kind.c_str());
      continue;
    }
    if (!IsRotation(v[0], v[1], v[2], v[3])) {
      std::fprintf(stderr, "poromeko: %s line %zu: a %s's w, x, y, z are no rotation; skipped\n",
                   path.c_str(), i + 1, kind.c_str());
      continue;
    }
    const engine::Quaternion q{v[1], v[2], v[3], v[0]};
    const float scale = v[4];
    if (kind == "Tree") {
      Chara* tree = Place(world, std::make_unique<Tree>(R + 1.0f, q), planet, scale);
      if (nextTree < beetleOnTree.size() && beetleOnTree[nextTree] == 1) {
        const engine::Quaternion behind =
            engine::QuaternionMultiply(q, BackwardArcRotation(q, kBeetleBehindTree, R));
        riders.push_back({"BeetleBug", tree->mHeight, "Tree", behind});
      }
      ++nextTree;
    } else if (kind == "Flower") {
      Chara* flower = Place(world, std::make_unique<Flower>(q, R + 1.0f), planet, scale);
      if (nextFlower < butterflyOnFlower.size() && butterflyOnFlower[nextFlower] == 1) {
        riders.push_back({"Butterfly", flower->mHeight, "Flower", q});
      }
      ++nextFlower;
    } else {
      Chara* stump = Place(world, std::make_unique<Stump>(R + 1.0f, q), planet, scale);
      riders.push_back({"Fly", stump->mHeight, "Stump", q});
    }
  }
  if (world.objects.empty()) {
    std::fprintf(stderr, "poromeko: %s places no tree, stump or flower: the planet stays bare\n",
                 path.c_str());
  }
  return riders;
}

}  // namespace world
