// What is drawn: the view volume against points worked by hand and against
// the geometry of the view, the 80-degree cut for placed objects, and the
// trees that hide the creature drawn see-through.
#include "world/culling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "engine/math.h"
#include "world/camera.h"
#include "world/placed_objects.h"
#include "world/world_objects.h"
#include "world_checks.h"
#include "world_content.h"

namespace world {
namespace {

using checks::AboutX;
using checks::AboutZ;
using checks::Standing;
using engine::Matrix;
using engine::Vec3;

Matrix Projection() {
  return engine::MatrixPerspectiveFovLH(kCameraFov, kCameraAspect, kCameraNear, kCameraFar);
}

HitSphere Sphere(const Vec3& c, float radius = 0.0f) { return {c.x, c.y, c.z, radius}; }

bool OutsideBothWays(const Matrix& view, const HitSphere& s) {
  const bool once = ViewVolume(view, Projection()).SphereOutside(s);
  const bool rebuilt =
      SphereOutsideView(Projection(), engine::MatrixTranslation(s.x, s.y, s.z), s, view);
  EXPECT_EQ(once, rebuilt) << s.x << ", " << s.y << ", " << s.z << " r " << s.radius;
  return once;
}

// A camera at the origin looking down +Z sees, at depth z (1 to 1000),
// |y| up to z tan 30 = 0.57735 z and |x| up to 4/3 of that, 0.76980 z.
TEST(ViewVolumeTest, PointsInsideAndOutsideACameraLookingDownAnAxis) {
  const Matrix alongZ = engine::MatrixLookAtLH({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
  for (const Vec3& in : {Vec3{0, 0, 10}, Vec3{7.6f, 0, 10}, Vec3{-7.6f, 0, 10}, Vec3{0, 5.7f, 10},
                         Vec3{0, -5.7f, 10}, Vec3{0, 0, 1.01f}, Vec3{0, 0, 999}, Vec3{76, 57, 100},
                         Vec3{-76, -57, 100}}) {
    EXPECT_FALSE(OutsideBothWays(alongZ, Sphere(in))) << in.x << ", " << in.y << ", " << in.z;
  }
  for (const Vec3& out :
       {Vec3{7.8f, 0, 10}, Vec3{-7.8f, 0, 10}, Vec3{0, 5.85f, 10}, Vec3{0, -5.85f, 10},
        Vec3{0, 0, 0.99f}, Vec3{0, 0, 1001}, Vec3{0, 0, -10}, Vec3{78, 0, 100}}) {
    EXPECT_TRUE(OutsideBothWays(alongZ, Sphere(out))) << out.x << ", " << out.y << ", " << out.z;
  }
  // (8.5, 0, 10) lies (8.5 - 7.698) / sqrt(1 + 0.7698^2) = 0.6355 beyond
  // the right-hand plane.
  EXPECT_TRUE(OutsideBothWays(alongZ, Sphere({8.5f, 0, 10}, 0.62f)));
  EXPECT_FALSE(OutsideBothWays(alongZ, Sphere({8.5f, 0, 10}, 0.65f)));

  // From (10, 0, 0) toward the origin the camera looks down -X and world +Z
  // is on its right.
  const Matrix alongMinusX = engine::MatrixLookAtLH({10, 0, 0}, {0, 0, 0}, {0, 1, 0});
  EXPECT_FALSE(OutsideBothWays(alongMinusX, Sphere({0, 0, 7.6f})));
  EXPECT_FALSE(OutsideBothWays(alongMinusX, Sphere({0, 5.7f, 0})));
  EXPECT_TRUE(OutsideBothWays(alongMinusX, Sphere({0, 0, 7.8f})));
  EXPECT_TRUE(OutsideBothWays(alongMinusX, Sphere({0, 0, -7.8f})));
  EXPECT_TRUE(OutsideBothWays(alongMinusX, Sphere({20, 0, 0})));
}

TEST(ViewVolumeTest, ASphereTouchingAPlaneFromOutsideCountsAsInside) {
  const Matrix alongZ = engine::MatrixLookAtLH({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
  const ViewVolume volume(alongZ, Projection());
  // The near plane is z = 1, facing the camera.
  const engine::Plane nearPlane = volume.Planes()[0];
  ASSERT_EQ(nearPlane.a, 0.0f);
  ASSERT_EQ(nearPlane.b, 0.0f);
  ASSERT_EQ(nearPlane.c, -1.0f);
  ASSERT_EQ(nearPlane.d, 1.0f);
  EXPECT_FALSE(OutsideBothWays(alongZ, Sphere({0, 0, 0.5f}, 0.5f)));
  EXPECT_TRUE(OutsideBothWays(alongZ, Sphere({0, 0, 0.5f}, std::nextafter(0.5f, 0.0f))));

  // Every plane: a sphere outside it by exactly its radius is kept, one a
  // hair smaller is culled.
  const Matrix view = engine::MatrixLookAtLH({3, 4, -5}, {1, 2, 30}, {0, 1, 0});
  const ViewVolume tilted(view, Projection());
  Matrix toWorld;
  ASSERT_TRUE(engine::MatrixInverse(&toWorld, nullptr, view));
  // A point beyond each plane in view space (near, far, right, left, top,
  // bottom) and in the world.
  const Vec3 beyond[6] = {{0, 0, 0.5f}, {0, 0, 1010}, {60, 0, 50},
                          {-60, 0, 50}, {0, 45, 50},  {0, -45, 50}};
  for (int i = 0; i < 6; ++i) {
    const Vec3 c = engine::Vec3TransformCoord(beyond[i], toWorld);
    const engine::Plane& p = tilted.Planes()[static_cast<std::size_t>(i)];
    const float d = p.a * c.x + p.b * c.y + p.c * c.z + p.d;
    ASSERT_GT(d, 0.0f) << "plane " << i;
    EXPECT_FALSE(OutsideBothWays(view, Sphere(c, d))) << "plane " << i;
    EXPECT_TRUE(OutsideBothWays(view, Sphere(c, std::nextafter(d, 0.0f)))) << "plane " << i;
  }
}

// The six planes in the camera's own space, worked from the field of view:
// near z = 1, far z = 1000, and the four sides through the eye with slopes
// tan 30 = 0.57735 (top, bottom) and 4/3 of it (left, right). A sphere is
// outside when its centre is beyond one of them by more than its radius.
double ViewSpaceMargin(const Vec3& c, float radius) {
  const double ty = std::tan(M_PI / 6.0), tx = ty * 4.0 / 3.0;
  const double x = c.x, y = c.y, z = c.z;
  const double beyond[6] = {1.0 - z,
                            z - 1000.0,
                            (x - z * tx) / std::sqrt(1 + tx * tx),
                            (-x - z * tx) / std::sqrt(1 + tx * tx),
                            (y - z * ty) / std::sqrt(1 + ty * ty),
                            (-y - z * ty) / std::sqrt(1 + ty * ty)};
  double most = beyond[0];
  for (double b : beyond) most = std::max(most, b);
  return most - radius;  // > 0: outside
}

TEST(ViewVolumeTest, AgreesWithTheGeometryOfTheViewOnRandomSpheres) {
  std::mt19937 gen(17);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  auto randomVec = [&](float scale) { return Vec3{unit(gen), unit(gen), unit(gen)} * scale; };
  int inside = 0, outside = 0;
  for (int camera = 0; camera < 40; ++camera) {
    const Vec3 eye = randomVec(100.0f);
    const Vec3 dir = engine::Vec3Normalize(randomVec(1.0f));
    const Vec3 up = std::fabs(dir.y) > 0.95f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    const Matrix view = engine::MatrixLookAtLH(eye, eye + dir * 50.0f, up);
    for (int i = 0; i < 250; ++i) {
      const Vec3 c = eye + dir * (unit(gen) * 600.0f + 500.0f) + randomVec(500.0f);
      const HitSphere s = Sphere(c, (unit(gen) + 1.0f) * 15.0f);
      const double margin = ViewSpaceMargin(engine::Vec3TransformCoord(c, view), s.radius);
      const bool out = OutsideBothWays(view, s);
      // Too close to call in float (the far plane is rebuilt from corners
      // 1000 away).
      if (std::fabs(margin) < 0.05) continue;
      EXPECT_EQ(out, margin > 0) << "margin " << margin;
      (out ? outside : inside)++;
    }
  }
  EXPECT_GT(inside, 1000);
  EXPECT_GT(outside, 1000);
}

// Whatever the horizon hides lies behind the ground ball on every sight line
// to it: points all over each hidden sphere are checked against the ball.
// The spheres are thrown around the planet's far side, so that about half
// are hidden and half not.
TEST(HorizonTest, HidesOnlyWhatTheGroundBallHidesOnEverySightLine) {
  std::mt19937 rng(11);
  std::normal_distribution<float> gauss(0.0f, 1.0f);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  auto direction = [&] {
    const Vec3 d{gauss(rng), gauss(rng), gauss(rng)};
    return engine::Vec3Normalize(d);
  };
  const float ground = 57.7f;
  int hidden = 0, shown = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const Vec3 eye = direction() * (ground + 2.0f + 300.0f * unit(rng));
    const Vec3 centre = eye * (0.5f - 1.5f * unit(rng)) + direction() * (80.0f * unit(rng));
    const HitSphere sphere{centre.x, centre.y, centre.z, 30.0f * unit(rng) * unit(rng)};
    if (!Horizon(eye, ground).Hides(sphere)) {
      ++shown;
      continue;
    }
    ++hidden;
    for (int k = 0; k < 200; ++k) {
      const Vec3 p = centre + direction() * sphere.radius;
      // Where the sight line from the eye to p enters the ball, if it does.
      const Vec3 d = engine::Vec3Normalize(p - eye);
      const float b = engine::Vec3Dot(eye, d);
      const float disc = b * b - (engine::Vec3Dot(eye, eye) - ground * ground);
      ASSERT_GE(disc, 0.0f) << "trial " << trial << ": a sight line passes the ball";
      const float entry = -b - std::sqrt(disc);
      ASSERT_LE(entry, engine::Vec3Length(p - eye))
          << "trial " << trial << ": a point lies before the ground";
    }
  }
  EXPECT_GT(hidden, 800);
  EXPECT_GT(shown, 800);
}

TEST(HorizonTest, HandCases) {
  const Vec3 eye{0, 0, 200};
  const Horizon horizon(eye, 60.0f);
  // Straight behind: small, then wider than the planet's shadow there.
  EXPECT_TRUE(horizon.Hides({0, 0, -100, 10}));
  EXPECT_TRUE(horizon.Hides({0, 0, -100, 55}));
  EXPECT_FALSE(horizon.Hides({0, 0, -100, 100}));
  // On the near side, at the rim, off to one side, around the eye.
  EXPECT_FALSE(horizon.Hides({0, 0, 61, 1}));
  EXPECT_FALSE(horizon.Hides({70, 0, 0, 1}));
  // Past the rim as the eye sees it, which lies toward the eye: hidden.
  EXPECT_TRUE(horizon.Hides({61, 0, 0, 1}));
  EXPECT_FALSE(horizon.Hides({0, 90, -100, 5}));
  EXPECT_FALSE(horizon.Hides({0, 0, 200, 5}));
  // In the shadow's cone but reaching forward past the rim's distance.
  EXPECT_FALSE(horizon.Hides({0, 0, 15, 5}));
  // Nothing is hidden without a ground ball, or from inside it.
  EXPECT_FALSE(Horizon(eye, 0.0f).Hides({0, 0, -100, 1}));
  EXPECT_FALSE(Horizon({0, 0, 50}, 60.0f).Hides({0, 0, -100, 1}));
}

// The game's planet encloses a ball a little below its lowest ground.
using PlanetModelTest = checks::WorldContentTest;
TEST_F(PlanetModelTest, EnclosesABallJustBelowItsLowestGround) {
  const engine::Mesh* mesh = planet_.mesh;
  float lowest = 1e9f;
  for (std::uint32_t v = 0; v < mesh->GetNumVertices(); ++v)
    lowest = std::min(lowest, engine::Vec3Length(mesh->Position(v)));
  EXPECT_LE(planet_.innerRadius, lowest);
  EXPECT_GT(planet_.innerRadius, 0.98f * lowest);
}

class DrawObjectsCulledTest : public checks::WorldContentTest {
 protected:
  // A tree or a stump standing on the ground at q.
  template <class Kind>
  Chara* Place(const engine::Quaternion& q, float scale = 1.0f) {
    auto object = std::make_unique<Kind>(planet_.R() + 1.0f, q);
    object->StandOnGround(planet_, 0.0f);
    object->mScale = scale;
    Chara* placed = object.get();
    world.AddObject(std::move(object));
    return placed;
  }
  // The planet stands for itself as the game measures it, unless a ground
  // radius is given (0: nothing is hidden behind it).
  // Culled as an update ends, then drawn.
  void Draw(const Camera& camera, const engine::Mesh* treeMesh, float groundRadius = -1.0f) {
    CullObjects(*meshes_, world, camera, player, treeMesh,
                ViewVolume(camera.view, camera.projection),
                Horizon(camera.eye, groundRadius < 0 ? planet_.InnerR() : groundRadius));
    device_->ClearDraws();
    DrawObjectsCulled(*device_, *meshes_, world);
  }
  // Far out in front of the equator, looking at the planet.
  static Camera FrontCamera() {
    Camera front;
    front.eye = {0, 10, 300};
    front.lookAt = {0, 10, 0};
    front.up = {0, 1, 0};
    front.view = engine::MatrixLookAtLH(front.eye, front.lookAt, front.up);
    front.projection = Projection();
    return front;
  }

  WorldObjects world;
  Standing player;  // at the north pole facing +Z
};

// A camera far out in front of the equator sees both stumps; the one just
// past 80 degrees of arc from the creature is not drawn all the same, nor is
// one on the far side of the planet. Within the cut, one out of view is not
// drawn either.
TEST_F(DrawObjectsCulledTest, PlacedObjectsAreDrawnWithin80DegreesAndInView) {
  player.mHeight = planet_.R() + 1.0f;
  Chara* near = Place<Stump>(AboutX(79.9f));
  Chara* past = Place<Stump>(AboutX(80.1f));
  Chara* farSide = Place<Stump>(AboutX(100.0f));
  const Camera front = FrontCamera();
  for (Chara* o : {near, past, farSide}) {
    ASSERT_TRUE(ViewVolume(front.view, front.projection).AnyInside(o->GetHitSpheres()));
  }
  Draw(front, TreeMesh());
  EXPECT_TRUE(Drew(near->mWorld));
  EXPECT_FALSE(Drew(past->mWorld));
  EXPECT_FALSE(Drew(farSide->mWorld));

  // The game's camera behind the creature does not see a stump 70 degrees
  // off to its left.
  Chara* aside = Place<Stump>(AboutZ(70.0f));
  const Camera behind = UpdateCamera(player.mRotation, 0.0f, 0.0f, 600.0f, planet_.R());
  ASSERT_FALSE(ViewVolume(behind.view, behind.projection).AnyInside(aside->GetHitSpheres()));
  Draw(behind, TreeMesh());
  EXPECT_FALSE(Drew(aside->mWorld));
}

// A stump on the planet's far side, near the creature and inside the view
// volume, is left out once the planet hides it, and drawn when nothing
// stands for the planet.
TEST_F(DrawObjectsCulledTest, ObjectsTheHorizonHidesAreNotDrawn) {
  player.mHeight = planet_.R() + 1.0f;
  Chara* behind = Place<Stump>(AboutX(-60.0f));
  Chara* front = Place<Stump>(AboutX(60.0f));
  const Camera camera = FrontCamera();
  ASSERT_TRUE(ViewVolume(camera.view, camera.projection).AnyInside(behind->GetHitSpheres()));
  ASSERT_GT(planet_.InnerR(), 0.9f * planet_.R());

  Draw(camera, TreeMesh());
  EXPECT_FALSE(Drew(behind->mWorld));
  EXPECT_TRUE(Drew(front->mWorld));

  Draw(camera, TreeMesh(), 0.0f);
  EXPECT_TRUE(Drew(behind->mWorld));
  EXPECT_TRUE(Drew(front->mWorld));
}

// The creature hovers 1.5 above the ground at the north pole; the camera
// hangs 10 degrees of arc behind it (toward -Z). A tree 3 units behind the
// creature stands across the line of sight; one 2 units ahead stands
// beyond the creature.
TEST_F(DrawObjectsCulledTest, TreesBetweenTheCameraAndTheCreatureAreDrawnSeeThrough) {
  player.mHeight = planet_.R() + 5.0f;
  player.StandOnGround(planet_, 1.5f);
  const float R = planet_.R();
  const double arc = 180.0 / M_PI / R;  // degrees of arc per unit along the ground
  Chara* between = Place<Tree>(AboutX(static_cast<float>(-3.0 * arc)));
  Chara* beyond = Place<Tree>(AboutX(static_cast<float>(2.0 * arc)));
  Chara* stumpBetween = Place<Stump>(AboutX(static_cast<float>(-4.0 * arc)), 3.0f);
  const Camera camera = UpdateCamera(player.mRotation, 0.0f, 0.0f, 600.0f, R);

  // Where the line from the camera to the creature meets each model, by a
  // ray over every face.
  const Vec3 toPlayer = engine::Vec3Normalize(player.Position() - camera.eye);
  const float toCreature = engine::Vec3Length(player.Position() - camera.eye);
  auto hitAt = [&](const Chara& o) {
    Matrix inverse;
    EXPECT_TRUE(engine::MatrixInverse(&inverse, nullptr, o.mWorld));
    const engine::IntersectResult hit =
        TreeMesh()->IntersectBruteForce(engine::Vec3TransformCoord(camera.eye, inverse),
                                        engine::Vec3TransformNormal(toPlayer, inverse));
    return hit.hit ? hit.distance : -1.0f;
  };
  ASSERT_GT(hitAt(*between), 0.0f);
  ASSERT_LT(hitAt(*between), toCreature - 2.0f);
  ASSERT_GT(hitAt(*beyond), toCreature);

  world.seeThrough.push_back(beyond);  // last frame's list
  Draw(camera, TreeMesh());
  ASSERT_EQ(world.seeThrough.size(), 1u);
  EXPECT_EQ(world.seeThrough[0], between);
  EXPECT_FALSE(Drew(between->mWorld));
  EXPECT_TRUE(Drew(beyond->mWorld));
  // Only trees are seen through.
  EXPECT_TRUE(Drew(stumpBetween->mWorld));

  // Later in the frame the tree is drawn half see-through.
  device_->ClearDraws();
  DrawSeeThrough(*device_, *meshes_, world);
  ASSERT_FALSE(device_->Draws().empty());
  for (const platform::DrawRecord& d : device_->Draws()) {
    EXPECT_EQ(d.state.world[0], between->mWorld);
    EXPECT_FLOAT_EQ(d.state.material.diffuse.a, 0.5f);
  }

  // Without the tree model nothing is seen through.
  Draw(camera, nullptr);
  EXPECT_TRUE(world.seeThrough.empty());
  EXPECT_TRUE(Drew(between->mWorld));
  EXPECT_TRUE(Drew(beyond->mWorld));
}

}  // namespace
}  // namespace world
