// Trees, stumps and flowers: their spheres and world matrices worked by
// hand, and the placement file (the shipped one and broken ones written to
// a temporary folder) placed on the game's own planet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/math.h"
#include "engine/random.h"
#include "world/placed_objects.h"
#include "world/test_planet.h"
#include "world/world_objects.h"
#include "world_checks.h"

namespace world {
namespace {

namespace fs = std::filesystem;
using checks::AboutZ;
using checks::MatrixNear;
using checks::RandomOrientations;
using checks::VecNear;
using engine::Matrix;
using engine::Quaternion;
using engine::Vec3;

// Every object in these hand-worked cases stands at (-50, 0, 0): a quarter
// turn about Z lays its up axis onto -X.
constexpr float kHeight = 50.0f;

void ExpectSphere(const HitSphere& s, const Vec3& centre, float radius) {
  EXPECT_TRUE(VecNear(s.Centre(), centre, 2e-5f));
  EXPECT_FLOAT_EQ(s.radius, radius);
}

TEST(PlacedObjectTest, TreesAndStumpsBlockAtTheFootAndThreeUnitsUp) {
  Tree tree(kHeight, AboutZ(90.0f));
  tree.mScale = 2.0f;
  EXPECT_EQ(tree.mName, "Tree");
  std::vector<HitSphere> s = tree.GetHitSpheres();
  ASSERT_EQ(s.size(), 2u);
  // 3 units up whatever the scale; the radius is 0.8 times the scale.
  ExpectSphere(s[0], {-50, 0, 0}, 1.6f);
  ExpectSphere(s[1], {-53, 0, 0}, 1.6f);

  Stump stump(kHeight, AboutZ(90.0f));
  stump.mScale = 0.5f;
  EXPECT_EQ(stump.mName, "Stump");
  s = stump.GetHitSpheres();
  ASSERT_EQ(s.size(), 2u);
  ExpectSphere(s[0], {-50, 0, 0}, 0.75f);
  ExpectSphere(s[1], {-53, 0, 0}, 0.75f);
}

TEST(PlacedObjectTest, TreesAndStumpsDrawScaledButFlowersDoNot) {
  Tree tree(kHeight, AboutZ(90.0f));
  tree.mScale = 2.0f;
  tree.UpdateWorldMatrix();
  // The model's own +Y (its top) points out along -X, twice as long.
  EXPECT_TRUE(VecNear(engine::Vec3TransformCoord({0, 1, 0}, tree.mWorld), {-52, 0, 0}, 2e-5f));
  EXPECT_TRUE(VecNear(engine::Vec3TransformCoord({1, 0, 0}, tree.mWorld), {-50, 2, 0}, 2e-5f));
  EXPECT_TRUE(VecNear(engine::Vec3TransformCoord({0, 0, 1}, tree.mWorld), {-50, 0, 2}, 2e-5f));

  // A flower of scale 2 looks like one of scale 1 but its sphere is twice
  // as big.
  Flower big(AboutZ(90.0f), kHeight), small(AboutZ(90.0f), kHeight);
  big.mScale = 2.0f;
  small.mScale = 1.0f;
  big.UpdateWorldMatrix();
  small.UpdateWorldMatrix();
  EXPECT_EQ(big.mWorld, small.mWorld);
  EXPECT_TRUE(MatrixNear(big.mWorld, big.PlacementMatrix(big.mRotation), 0.0f));
  EXPECT_TRUE(VecNear(engine::Vec3TransformCoord({0, 1, 0}, big.mWorld), {-51, 0, 0}, 2e-5f));
  const std::vector<HitSphere> s = big.GetHitSpheres();
  ASSERT_EQ(s.size(), 1u);
  ExpectSphere(s[0], {-50, 0, 0}, 2.0f);
  EXPECT_FLOAT_EQ(small.GetHitSpheres()[0].radius, 1.0f);
  EXPECT_EQ(big.mName, "Flower");
}

TEST(WorldObjectsTest, AddingBuildsTheWorldMatrixAndTheFlowersSway) {
  WorldObjects world;
  auto tree = std::make_unique<Tree>(kHeight, AboutZ(90.0f));
  tree->mScale = 3.0f;
  Chara* placed = tree.get();
  world.AddObject(std::move(tree));
  EXPECT_TRUE(VecNear(engine::Vec3TransformCoord({0, 1, 0}, placed->mWorld), {-53, 0, 0}, 2e-5f));
  auto flower = std::make_unique<Flower>(Quaternion{}, kHeight);
  Flower* f = flower.get();
  world.AddObject(std::move(flower));
  for (int i = 0; i < 60; ++i) world.UpdateObjects(60.0f);
  // Sixty steps of one sixtieth of a second, summed in float.
  EXPECT_NEAR(f->animClock, 1.0f, 1e-5f);
  ASSERT_EQ(world.objects.size(), 2u);
  EXPECT_EQ(world.objects[0].get(), placed);
  world.shown.push_back(placed);
  world.seeThrough.push_back(placed);
  world.ClearObjects();
  EXPECT_TRUE(world.objects.empty());
  // Nothing the next picture would show is left pointing at a gone object.
  EXPECT_TRUE(world.shown.empty());
  EXPECT_TRUE(world.seeThrough.empty());
}

// The placement file, read onto the game's planet.
class PlacementTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { planet_ = testplanet::LoadGamePlanet().release(); }
  static void TearDownTestSuite() {
    delete planet_;
    planet_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(planet_, nullptr);
    dir_ = fs::temp_directory_path() /
           ("poromeko_world_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static const Planet& World() { return planet_->planet; }
  static float R() { return planet_->R(); }
  static std::string Shipped() {
    return std::string(POROMEKO_SOURCE_DIR) + "/content/Data/ObjectPos.csv";
  }

  // A placement file with the given header numbers and data lines, each
  // ended with a line feed unless `lastEnded` is false for the last one.
  std::string Write(const std::string& name, int trees, int flowers,
                    const std::vector<std::string>& data, bool lastEnded = true,
                    const char* eol = "\n") {
    std::ostringstream text;
    text << "Tree," << trees << eol << "Stump,0" << eol << "Flower," << flowers << eol << "Total,0"
         << eol << "#,w,x,y,z,scale" << eol << "#" << eol;
    for (std::size_t i = 0; i < data.size(); ++i) {
      text << data[i];
      if (lastEnded || i + 1 < data.size()) text << eol;
    }
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text.str();
    return path.string();
  }
  // `count` data lines of a kind at spread-out places.
  static std::vector<std::string> Lines(const std::string& kind, int count, unsigned seed,
                                        float scale = 1.0f) {
    RandomOrientations random(seed);
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
      const Quaternion q = random.Next();
      char line[160];
      std::snprintf(line, sizeof line, "%s,%.6f,%.6f,%.6f,%.6f,%.6f", kind.c_str(), q.w, q.x, q.y,
                    q.z, scale);
      lines.push_back(line);
    }
    return lines;
  }

  std::vector<Rider> Load(const std::string& path, RiderCounts counts = {25, 30},
                          std::uint32_t seed = 7) {
    engine::Random random(seed);
    return LoadObjectPositions(objects, World(), random, counts, path);
  }
  int CountOf(const std::string& name) const {
    return static_cast<int>(std::count_if(objects.objects.begin(), objects.objects.end(),
                                          [&](const auto& o) { return o->mName == name; }));
  }
  static int CountOf(const std::vector<Rider>& riders, const std::string& kind,
                     const std::string& host) {
    return static_cast<int>(std::count_if(riders.begin(), riders.end(), [&](const Rider& r) {
      return r.kind == kind && r.host == host;
    }));
  }
  // The trees (by index into objects) that carry the beetles: the beetle
  // sits 0.8 behind its tree's foot, at the tree's height.
  std::vector<std::size_t> BeetleTrees(const std::vector<Rider>& riders) const {
    std::vector<std::size_t> trees;
    const double a = 0.8 / R();
    for (const Rider& r : riders) {
      if (r.kind != "BeetleBug") continue;
      std::size_t found = objects.objects.size();
      for (std::size_t i = 0; i < objects.objects.size(); ++i) {
        const Chara& t = *objects.objects[i];
        if (t.mName != "Tree" || t.mHeight != r.height) continue;
        const Vec3 u = Up(t.mRotation), f = Forward(t.mRotation);
        const Vec3 behind{static_cast<float>(u.x * std::cos(a) - f.x * std::sin(a)),
                          static_cast<float>(u.y * std::cos(a) - f.y * std::sin(a)),
                          static_cast<float>(u.z * std::cos(a) - f.z * std::sin(a))};
        if (VecNear(Up(r.rotation), behind, 2e-5f)) found = i;
      }
      EXPECT_LT(found, objects.objects.size()) << "a beetle sits on no tree";
      trees.push_back(found);
    }
    return trees;
  }

  static testplanet::TestPlanet* planet_;
  WorldObjects objects;
  fs::path dir_;
};

testplanet::TestPlanet* PlacementTest::planet_ = nullptr;

TEST_F(PlacementTest, TheShippedFilePlacesEveryObjectOnTheGroundInFileOrder) {
  const std::vector<Rider> riders = Load(Shipped());
  ASSERT_EQ(objects.objects.size(), 97u);
  EXPECT_EQ(CountOf("Tree"), 40);
  EXPECT_EQ(CountOf("Stump"), 12);
  EXPECT_EQ(CountOf("Flower"), 45);
  // The first data line: Tree,-0.033529,-0.757277,0.007955,0.652184,1.045550
  const Chara& first = *objects.objects[0];
  EXPECT_EQ(first.mName, "Tree");
  EXPECT_EQ(first.mRotation, (Quaternion{-0.757277f, 0.007955f, 0.652184f, -0.033529f}));
  EXPECT_FLOAT_EQ(first.mScale, 1.045550f);
  for (const auto& o : objects.objects) {
    // Lowered from R + 1 onto the ground, and drawn where it stands.
    EXPECT_LT(o->mHeight, R() + 1.0f);
    EXPECT_NEAR(o->DistanceToGround(World()), 0.0f, 2e-4f) << o->mName;
    const Matrix want = o->mName == "Flower"
                            ? o->PlacementMatrix(o->mRotation)
                            : engine::MatrixScaling(o->mScale, o->mScale, o->mScale) *
                                  o->PlacementMatrix(o->mRotation);
    EXPECT_EQ(o->mWorld, want) << o->mName;
  }
  EXPECT_EQ(riders.size(), 25u + 30u + 12u);
  EXPECT_EQ(CountOf(riders, "BeetleBug", "Tree"), 25);
  EXPECT_EQ(CountOf(riders, "Butterfly", "Flower"), 30);
  EXPECT_EQ(CountOf(riders, "Fly", "Stump"), 12);
}

TEST_F(PlacementTest, BeetlesSitBehindTreesButterfliesOnFlowersAndAFlyOnEveryStump) {
  const std::vector<Rider> riders = Load(Shipped());
  const std::vector<std::size_t> beetleTrees = BeetleTrees(riders);
  EXPECT_EQ(std::set<std::size_t>(beetleTrees.begin(), beetleTrees.end()).size(), 25u)
      << "two beetles on one tree";

  std::set<const Chara*> flowers, stumps;
  for (const Rider& r : riders) {
    if (r.kind == "BeetleBug") continue;
    const Chara* host = nullptr;
    for (const auto& o : objects.objects) {
      if (o->mRotation == r.rotation && o->mHeight == r.height) host = o.get();
    }
    ASSERT_NE(host, nullptr) << r.kind << " on nothing";
    EXPECT_EQ(host->mName, r.host);
    EXPECT_TRUE(r.kind == "Butterfly" ? flowers.insert(host).second : stumps.insert(host).second)
        << "two insects on one " << r.host;
  }
  EXPECT_EQ(flowers.size(), 30u);
  EXPECT_EQ(stumps.size(), 12u);
}

TEST_F(PlacementTest, TheSameSeedChoosesTheSameTreesAndFlowers) {
  const std::vector<Rider> first = Load(Shipped(), {25, 30}, 42);
  const std::vector<std::size_t> firstTrees = BeetleTrees(first);
  const std::vector<Rider> again = Load(Shipped(), {25, 30}, 42);
  ASSERT_EQ(first.size(), again.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(first[i].kind, again[i].kind);
    EXPECT_EQ(first[i].host, again[i].host);
    EXPECT_EQ(first[i].height, again[i].height);
    EXPECT_EQ(first[i].rotation, again[i].rotation);
  }
  // Another seed, another choice (of 40 choose 25 ways).
  const std::vector<Rider> other = Load(Shipped(), {25, 30}, 43);
  EXPECT_NE(BeetleTrees(other), firstTrees);
  EXPECT_EQ(objects.objects.size(), 97u) << "a second load adds to the first";
}

TEST_F(PlacementTest, WithAsManyBeetlesAsTreesEveryTreeGetsOne) {
  const std::string path = Write("every_tree.csv", 25, 0, Lines("Tree", 25, 20));
  const std::vector<Rider> riders = Load(path);
  ASSERT_EQ(objects.objects.size(), 25u);
  const std::vector<std::size_t> trees = BeetleTrees(riders);
  EXPECT_EQ(std::set<std::size_t>(trees.begin(), trees.end()).size(), 25u);
  // Fewer beetles than trees: exactly that many trees are chosen.
  const std::vector<Rider> few = Load(path, {10, 30});
  EXPECT_EQ(CountOf(few, "BeetleBug", "Tree"), 10);
  const std::vector<std::size_t> fewTrees = BeetleTrees(few);
  EXPECT_EQ(std::set<std::size_t>(fewTrees.begin(), fewTrees.end()).size(), 10u);
}

TEST_F(PlacementTest, OnlyTheExactKindsPlaceAnything) {
  std::vector<std::string> data;
  for (const char* kind : {"stump", "Tree ", " Tree", "Trees", "tree", "FLOWER", "Flowers", "Bush"})
    data.push_back(Lines(kind, 1, 21)[0]);
  data.push_back(Lines("Stump", 1, 22)[0]);
  // Fields past the sixth are not read.
  data.push_back(Lines("Flower", 1, 23, 2.0f)[0] + ",extra,9");
  const std::vector<Rider> riders = Load(Write("kinds.csv", 10, 10, data));
  ASSERT_EQ(objects.objects.size(), 2u);
  EXPECT_EQ(objects.objects[0]->mName, "Stump");
  EXPECT_EQ(objects.objects[1]->mName, "Flower");
  EXPECT_FLOAT_EQ(objects.objects[1]->mScale, 2.0f);
  // The stump's fly; the one flower is one of ten slots, chosen or not.
  EXPECT_EQ(CountOf(riders, "Fly", "Stump"), 1);
  EXPECT_EQ(CountOf(riders, "BeetleBug", "Tree"), 0);
}

TEST_F(PlacementTest, ALastLineWithoutALineFeedIsNotPlaced) {
  const std::vector<std::string> data = Lines("Stump", 3, 24);
  Load(Write("unended.csv", 0, 0, data, false));
  EXPECT_EQ(objects.objects.size(), 2u);
  Load(Write("ended.csv", 0, 0, data, true));
  EXPECT_EQ(objects.objects.size(), 3u);
  // Carriage returns before the line feeds change nothing.
  const std::vector<Rider> riders = Load(Write("crlf.csv", 0, 0, data, true, "\r\n"));
  EXPECT_EQ(objects.objects.size(), 3u);
  EXPECT_EQ(riders.size(), 3u);
}

TEST_F(PlacementTest, BrokenLinesAreSkippedWithTheirLineNumberAndTheRestIsPlaced) {
  std::vector<std::string> data = Lines("Tree", 4, 25);
  data.insert(data.begin() + 1, "Stump,1,0,0,0");        // line 8: no scale
  data.insert(data.begin() + 3, "Flower,1,0,zero,0,1");  // line 10: not a number
  data.insert(data.begin() + 4, "");                     // line 11: empty, not a problem
  data.insert(data.begin() + 5, "Stump,1,0,0,0,1.5kg");  // line 12: not only a number
  const std::string path = Write("broken.csv", 4, 1, data);
  ::testing::internal::CaptureStderr();
  const std::vector<Rider> riders = Load(path, {4, 1});
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(objects.objects.size(), 4u);
  EXPECT_EQ(CountOf("Tree"), 4);
  // Neither stump stands, so neither carries a fly.
  EXPECT_EQ(CountOf(riders, "BeetleBug", "Tree"), 4);
  EXPECT_EQ(riders.size(), 4u);
  EXPECT_NE(err.find(path), std::string::npos) << err;
  EXPECT_NE(err.find("line 8:"), std::string::npos) << err;
  EXPECT_NE(err.find("line 10:"), std::string::npos) << err;
  EXPECT_NE(err.find("line 12:"), std::string::npos) << err;
  EXPECT_EQ(err.find("line 11"), std::string::npos) << err;
  EXPECT_EQ(err.find("line 7:"), std::string::npos) << err;
}

TEST_F(PlacementTest, WrongHeadersAndMissingFilesDoNotCrash) {
  // The header says 2 trees, the file has 6: every tree can still carry one.
  Load(Write("few.csv", 2, 0, Lines("Tree", 6, 26)));
  EXPECT_EQ(objects.objects.size(), 6u);
  EXPECT_EQ(CountOf(Load(Write("few.csv", 2, 0, Lines("Tree", 6, 26))), "BeetleBug", "Tree"), 6);
  // More beetles than trees, no flowers for the butterflies, a header far
  // larger than the file, or none at all.
  const std::vector<Rider> many = Load(Write("many.csv", 500, 0, Lines("Tree", 3, 27)));
  EXPECT_LE(many.size(), 3u);
  EXPECT_EQ(objects.objects.size(), 3u);
  Load(Write("negative.csv", -4, -9, Lines("Flower", 2, 28)));
  EXPECT_EQ(objects.objects.size(), 2u);
  {
    std::ofstream(dir_ / "short.csv") << "Tree,40\nStump\n";
    EXPECT_TRUE(Load((dir_ / "short.csv").string()).empty());
    EXPECT_TRUE(objects.objects.empty());
  }
  // A missing file leaves the planet bare (the last run's objects are gone)
  // and says which file it wanted.
  Load(Shipped());
  ASSERT_FALSE(objects.objects.empty());
  const std::string missing = (dir_ / "nowhere.csv").string();
  ::testing::internal::CaptureStderr();
  const std::vector<Rider> riders = Load(missing);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(riders.empty());
  EXPECT_TRUE(objects.objects.empty());
  EXPECT_NE(err.find(missing), std::string::npos) << err;
  // A folder in its place, and a file that places nothing, say so too.
  for (const std::string& path : {dir_.string(), (dir_ / "short.csv").string()}) {
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(Load(path).empty());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(path == dir_.string()
                            ? path + ": a folder, not a regular file; the planet stays bare"
                            : path + " places no tree, stump or flower"),
              std::string::npos)
        << said;
  }
}

}  // namespace
}  // namespace world
