// The camera behind the creature, worked by hand and against the geometry
// of the sphere, and the scenery drawn around the world.
#include "world/camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/math.h"
#include "world_checks.h"
#include "world_content.h"

namespace world {
namespace {

using checks::AboutX;
using checks::DegreesBetween;
using checks::MatrixNear;
using checks::RandomOrientations;
using checks::Standing;
using checks::VecNear;
using engine::Matrix;
using engine::Quaternion;
using engine::Vec3;

constexpr float kR = 60.0f;
constexpr float kDistance = 600.0f;  // the game's camera distance: 10 degrees back at R = 60

Vec3 Right(const Quaternion& q) {
  return engine::Vec3TransformCoord({1, 0, 0}, engine::MatrixRotationQuaternion(q));
}

// The eye of a creature at q heading `angle` with the camera turned `yaw`:
// R + 8 out, (distance / R) degrees of arc behind the direction yaw - angle
// from the creature's present forward.
Vec3 EyeOnTheSphere(const Quaternion& q, float angle, float yaw, float distance, float R) {
  const double back = distance / R * M_PI / 180.0;
  const double turn = (yaw - angle) * M_PI / 180.0;
  const Vec3 u = Up(q), f = Forward(q), r = Right(q);
  const double out = R + 8.0;
  auto component = [&](float uc, float fc, float rc) {
    return static_cast<float>(
        out * (uc * std::cos(back) - std::sin(back) * (fc * std::cos(turn) + rc * std::sin(turn))));
  };
  return {component(u.x, f.x, r.x), component(u.y, f.y, r.y), component(u.z, f.z, r.z)};
}

TEST(CameraTest, HangsTenDegreesBehindAndLooksAtTheGroundUnderTheCreature) {
  // sin 10 * 68 = 11.808076, cos 10 * 68 = 66.966927.
  const Camera c = UpdateCamera({}, 0.0f, 0.0f, kDistance, kR);
  EXPECT_TRUE(VecNear(c.eye, {0, 66.966927f, -11.808076f}, 1e-4f));
  EXPECT_TRUE(VecNear(c.up, {0, 0.98480775f, -0.17364818f}, 1e-6f));
  EXPECT_TRUE(VecNear(c.lookAt, {0, 60, 0}, 1e-5f));
  // Swung a quarter turn it hangs on the creature's left, then in front.
  EXPECT_TRUE(VecNear(UpdateCamera({}, 0.0f, 90.0f, kDistance, kR).eye,
                      {-11.808076f, 66.966927f, 0}, 1e-4f));
  EXPECT_TRUE(VecNear(UpdateCamera({}, 0.0f, 180.0f, kDistance, kR).eye,
                      {0, 66.966927f, 11.808076f}, 1e-4f));
  EXPECT_TRUE(VecNear(UpdateCamera({}, 0.0f, -90.0f, kDistance, kR).eye,
                      {11.808076f, 66.966927f, 0}, 1e-4f));
  // The distance is read as degrees of arc at any radius: 12.5 at R = 48.
  EXPECT_TRUE(VecNear(UpdateCamera({}, 0.0f, 0.0f, kDistance, 48.0f).eye,
                      {0, 56.0f * 0.97629601f, -56.0f * 0.21643961f}, 1e-4f));

  // The view puts the point under the creature straight ahead; the
  // projection is the 60-degree, 4:3 one from 1 to 1000.
  const Vec3 seen = engine::Vec3TransformCoord(c.lookAt, c.view);
  EXPECT_TRUE(VecNear(seen, {0, 0, engine::Vec3Length(c.lookAt - c.eye)}, 1e-4f));
  Matrix p = Matrix::Zero();
  p.m[0][0] = 1.2990381f;
  p.m[1][1] = 1.7320508f;
  p.m[2][2] = 1000.0f / 999.0f;
  p.m[2][3] = 1.0f;
  p.m[3][2] = -1000.0f / 999.0f;
  EXPECT_TRUE(MatrixNear(c.projection, p, 1e-5f));
}

TEST(CameraTest, EyeIsROnePlusEightOutAndFollowsTheYawAroundTheCreature) {
  RandomOrientations random(31);
  for (int i = 0; i < 300; ++i) {
    const Quaternion q = random.Next();
    const float angle = random.Uniform(0.0f, 360.0f);
    const float yaw = random.Uniform(-360.0f, 360.0f);
    const Camera c = UpdateCamera(q, angle, yaw, kDistance, kR);
    EXPECT_NEAR(engine::Vec3Length(c.eye), kR + 8.0f, 1e-3f);
    EXPECT_TRUE(VecNear(c.eye, EyeOnTheSphere(q, angle, yaw, kDistance, kR), 2e-4f));
    EXPECT_NEAR(DegreesBetween(c.eye, Up(q)), 10.0, 1e-3);
    EXPECT_TRUE(VecNear(c.up, c.eye * (1.0f / (kR + 8.0f)), 1e-5f));
    EXPECT_TRUE(VecNear(c.lookAt, Up(q) * kR, 1e-4f));
    // Swinging the camera moves the eye round the creature's up axis by the
    // swing, keeping it 10 degrees away.
    const Camera swung = UpdateCamera(q, angle, yaw + 40.0f, kDistance, kR);
    const Vec3 u = Up(q);
    auto flat = [&](const Vec3& e) { return e - u * engine::Vec3Dot(e, u); };
    EXPECT_NEAR(DegreesBetween(flat(c.eye), flat(swung.eye)), 40.0, 0.01);
    EXPECT_TRUE(VecNear(swung.lookAt, c.lookAt, 1e-5f));
  }
}

// Turning in place changes the heading and the orientation together; the
// camera takes the heading out again and stays where it was, also when the
// heading wraps past 360 or 0.
TEST(CameraTest, ACreatureTurningInPlaceDoesNotMoveTheCamera) {
  RandomOrientations random(32);
  Standing creature;
  for (int i = 0; i < 300; ++i) {
    creature.mRotation = random.Next();
    creature.mAngle = i % 3 == 0 ? 355.0f : i % 3 == 1 ? 5.0f : random.Uniform(0.0f, 360.0f);
    const float yaw = random.Uniform(-180.0f, 180.0f);
    const Camera before = UpdateCamera(creature.mRotation, creature.mAngle, yaw, kDistance, kR);
    for (int turn = 0; turn < 5; ++turn) {
      const float degrees = random.Uniform(1.0f, 20.0f);
      const Quaternion r =
          (turn % 2 == 0) ? creature.TurnRight(degrees) : creature.TurnLeft(degrees);
      creature.mRotation = engine::QuaternionMultiply(creature.mRotation, r);
    }
    const Camera after = UpdateCamera(creature.mRotation, creature.mAngle, yaw, kDistance, kR);
    EXPECT_TRUE(VecNear(after.eye, before.eye, 5e-4f)) << i;
    EXPECT_TRUE(VecNear(after.up, before.up, 1e-5f)) << i;
    EXPECT_TRUE(VecNear(after.lookAt, before.lookAt, 1e-4f)) << i;
  }
  // Walking does move it.
  creature.mRotation = {};
  creature.mAngle = 0.0f;
  const Camera here = UpdateCamera(creature.mRotation, 0.0f, 0.0f, kDistance, kR);
  const Camera there = UpdateCamera(AboutX(5.0f), 0.0f, 0.0f, kDistance, kR);
  EXPECT_NEAR(DegreesBetween(here.eye, there.eye), 5.0, 1e-3);
}

class SceneryTest : public checks::WorldContentTest {};

TEST_F(SceneryTest, TheCameraPlanetAndSkyGoToTheDevice) {
  const Camera c = UpdateCamera(AboutX(30.0f), 10.0f, 20.0f, kDistance, kR);
  ApplyCamera(*device_, c);
  EXPECT_EQ(device_->GetTransform(platform::TransformState::View), c.view);
  EXPECT_EQ(device_->GetTransform(platform::TransformState::Projection), c.projection);

  DrawPlanet(*device_, *meshes_, 60.0f);
  ASSERT_FALSE(device_->Draws().empty());
  for (const Matrix& w : DrawnWith()) EXPECT_EQ(w, engine::MatrixScaling(60, 60, 60));

  // The sky: 50 times the model, turned about the world's Y axis; a
  // quarter turn carries its +X onto -Z.
  device_->ClearDraws();
  DrawSky(*device_, *meshes_, 90.0f);
  ASSERT_FALSE(device_->Draws().empty());
  for (const Matrix& w : DrawnWith()) {
    EXPECT_TRUE(VecNear(engine::Vec3TransformCoord({1, 0, 0}, w), {0, 0, -50}, 1e-4f));
    EXPECT_TRUE(VecNear(engine::Vec3TransformCoord({0, 1, 0}, w), {0, 50, 0}, 1e-4f));
  }
}

}  // namespace
}  // namespace world
