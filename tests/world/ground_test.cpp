// Standing on the game's own planet: the ground rays against a brute-force
// ray cast over every face of the planet model.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/math.h"
#include "world/chara.h"
#include "world/test_planet.h"
#include "world_checks.h"

namespace world {
namespace {

using checks::AboutX;
using checks::AboutY;
using checks::AboutZ;
using checks::RandomOrientations;
using checks::Standing;
using engine::Quaternion;
using engine::Vec3;

class GroundTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { planet_ = testplanet::LoadGamePlanet().release(); }
  static void TearDownTestSuite() {
    delete planet_;
    planet_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(planet_, nullptr); }

  static const Planet& World() { return planet_->planet; }
  static float R() { return planet_->R(); }

  // The distance along a world ray to the planet's surface, over every face
  // of the model at its scale (world units for a unit direction); -1 for a
  // miss.
  static float BruteForce(const Vec3& origin, const Vec3& direction) {
    const float k = 1.0f / World().scale;
    const engine::IntersectResult hit =
        planet_->mesh->IntersectBruteForce(origin * k, direction * k);
    return hit.hit ? hit.distance : -1.0f;
  }
  // How far from the centre the surface lies in the direction `up` (a unit
  // vector), seen from far outside.
  static float SurfaceRadius(const Vec3& up) {
    const float t = BruteForce(up * (2.0f * R()), -up);
    EXPECT_GT(t, 0.0f);
    return 2.0f * R() - t;
  }
  // The poles, the equator on the axes and the seam at 180 degrees about Y,
  // then places at random.
  static std::vector<Quaternion> Places(unsigned seed, int count, bool axes = true) {
    std::vector<Quaternion> places;
    if (axes) {
      places = {Quaternion{},   AboutX(180.0f), AboutX(90.0f),   AboutX(-90.0f), AboutZ(90.0f),
                AboutZ(-90.0f), AboutY(180.0f), AboutY(-180.0f), AboutX(45.0f),  AboutZ(135.0f)};
    }
    RandomOrientations random(seed);
    for (int i = 0; i < count; ++i) places.push_back(random.Next());
    return places;
  }

  static testplanet::TestPlanet* planet_;
};

testplanet::TestPlanet* GroundTest::planet_ = nullptr;

TEST_F(GroundTest, ThePlanetIsTheModelsBoundingRadiusTimes60) {
  EXPECT_NEAR(R(), 60.0f, 1e-3f);
  // The surface is bumpy: lowest and highest ground over many places.
  float lowest = R(), highest = 0.0f;
  for (const Quaternion& q : Places(10, 500)) {
    const float r = SurfaceRadius(Up(q));
    lowest = std::min(lowest, r);
    highest = std::max(highest, r);
  }
  EXPECT_GT(lowest, 57.0f);
  EXPECT_LE(highest, R());
  EXPECT_GT(highest - lowest, 1.0f);
}

// Standing on the surface measures 0, hovering h measures h, and both agree
// with a brute-force ray cast straight down from the object.
TEST_F(GroundTest, OnTheSurfaceMeasuresZeroAndHoveringMeasuresTheHover) {
  Standing c;
  float worst = 0.0f;
  for (const Quaternion& q : Places(11, 400)) {
    c.mRotation = q;
    const Vec3 up = Up(q);
    const float surface = SurfaceRadius(up);
    // Exactly on the surface a ray cast from the object itself may slip
    // through the ground by rounding; the ground must not.
    c.mHeight = surface;
    EXPECT_NEAR(c.DistanceToGround(World()), 0.0f, 2e-4f);
    for (float hover : {0.01f, 0.2f, 1.5f, 5.0f}) {
      c.mHeight = surface + hover;
      const float d = c.DistanceToGround(World());
      const float straightDown = BruteForce(c.Position(), -up);
      EXPECT_NEAR(d, hover, 2e-4f) << "hover " << hover;
      EXPECT_NEAR(d, straightDown, 2e-4f) << "hover " << hover;
      worst = std::max(worst, std::fabs(d - straightDown));
    }
  }
  RecordProperty("WorstDifferenceFromBruteForce", std::to_string(worst));
}

// The loader puts an object R + 1 from the centre and takes the measured
// distance off: it then stands on the ground.
TEST_F(GroundTest, AnObjectLoweredFromROnePlusOneStandsOnTheGround) {
  Standing c;
  for (const Quaternion& q : Places(12, 300)) {
    c.mRotation = q;
    c.mHeight = R() + 1.0f;
    const float measured = c.StandOnGround(World(), 0.0f);
    EXPECT_GT(measured, 1.0f);
    EXPECT_NEAR(c.mHeight, SurfaceRadius(Up(q)), 2e-4f);
    EXPECT_NEAR(c.DistanceToGround(World()), 0.0f, 2e-4f);
    // Standing at a hover is the same, the hover higher.
    c.StandOnGround(World(), 1.5f);
    EXPECT_NEAR(c.DistanceToGround(World()), 1.5f, 2e-4f);
  }
}

// When the straight ray is R or longer the answer is the first leaning ray
// that is shorter, else the last one. The leaning rays point down from the
// places 10 units ahead (rays 1, 3 and 4) and behind (ray 2) along a great
// circle: -(u cos a +- f sin a), a = 10 / R. From R above the ground they
// are all longer too; from near the centre, where the straight ray reaches
// the far side, a leaning one can find lower ground.
// (Random places only: at the poles a ray along a seam of the model can
// slip between two faces by a rounding of its direction, and the reference
// ray is rounded differently from the game's.)
TEST_F(GroundTest, WhenTheStraightRayIsTooLongTheLeaningRaysAnswer) {
  Standing c;
  RandomOrientations random(13);
  int leaningShorter = 0, fallbacks = 0;
  for (const Quaternion& q : Places(14, 300, false)) {
    const Vec3 u = Up(q), f = Forward(q);
    const double a = 10.0 / R();
    const float ca = static_cast<float>(std::cos(a)), sa = static_cast<float>(std::sin(a));
    const Vec3 ahead = -(u * ca + f * sa), behind = -(u * ca - f * sa);
    c.mRotation = q;
    for (float height :
         {SurfaceRadius(u) + R() + random.Uniform(0.001f, 0.3f), random.Uniform(0.5f, 3.0f)}) {
      c.mHeight = height;
      const Vec3 origin = c.Position();
      if (BruteForce(origin, -u) < R()) continue;
      const float rays[4] = {BruteForce(origin, ahead), BruteForce(origin, behind),
                             BruteForce(origin, ahead), BruteForce(origin, ahead)};
      float want = rays[3];
      bool shorter = false;
      for (float t : rays) {
        if (t >= 0.0f && t < R()) {
          want = t;
          shorter = true;
          break;
        }
      }
      (shorter ? leaningShorter : fallbacks)++;
      EXPECT_NEAR(c.DistanceToGround(World()), want, 1e-3f) << "height " << height;
    }
  }
  // Both ways of answering were seen.
  EXPECT_GT(leaningShorter, 10);
  EXPECT_GT(fallbacks, 10);
}

TEST_F(GroundTest, FromInsideThePlanetOrWithoutOneTheAnswerIsFinite) {
  Standing c;
  for (const Quaternion& q : Places(15, 100)) {
    c.mRotation = q;
    for (float h : {0.0f, 1.0f, R() / 2.0f, R() - 5.0f, -5.0f}) {
      c.mHeight = h;
      const float d = c.DistanceToGround(World());
      EXPECT_TRUE(std::isfinite(d)) << "height " << h;
      EXPECT_LT(std::fabs(d), 3.0f * R()) << "height " << h;
    }
  }
  // No planet model: nothing to stand on, no correction.
  Planet bare;
  bare.radius = 1.0f;
  c.mHeight = 61.0f;
  EXPECT_EQ(c.DistanceToGround(bare), 0.0f);
  EXPECT_EQ(c.StandOnGround(bare, 0.0f), 0.0f);
  EXPECT_EQ(c.mHeight, 61.0f);
  EXPECT_FALSE(CastGroundRay(bare, {0, 61, 0}, {0, -1, 0}).hit);
}

}  // namespace
}  // namespace world
