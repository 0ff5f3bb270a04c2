// Walking, turning and measuring on the sphere, against values worked by
// hand and against the geometry of a sphere in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/math.h"
#include "world/chara.h"
#include "world_checks.h"

namespace world {
namespace {

using checks::AboutX;
using checks::AboutY;
using checks::AboutZ;
using checks::DegreesBetween;
using checks::MatrixNear;
using checks::RandomOrientations;
using checks::Standing;
using checks::VecNear;
using engine::Matrix;
using engine::Quaternion;
using engine::QuaternionMultiply;
using engine::Vec3;

constexpr float kR = 60.0f;

Vec3 Right(const Quaternion& q) {
  return engine::Vec3TransformCoord({1, 0, 0}, engine::MatrixRotationQuaternion(q));
}

Matrix Rows(const Vec3& x, const Vec3& y, const Vec3& z, const Vec3& t) {
  Matrix m;
  const Vec3 rows[4] = {x, y, z, t};
  for (int r = 0; r < 4; ++r) {
    m.m[r][0] = rows[r].x;
    m.m[r][1] = rows[r].y;
    m.m[r][2] = rows[r].z;
    m.m[r][3] = r == 3 ? 1.0f : 0.0f;
  }
  return m;
}

TEST(PlacementMatrixTest, TurnsByTheOrientationThenStandsAtUpTimesHeight) {
  Standing c;
  // A quarter turn about Z lays +Y onto -X: the object stands on the -X side.
  c.mHeight = 50.0f;
  EXPECT_TRUE(MatrixNear(c.PlacementMatrix(AboutZ(90.0f)),
                         Rows({0, 1, 0}, {-1, 0, 0}, {0, 0, 1}, {-50, 0, 0}), 2e-5f));
  // A third of a turn about (1, 1, 1) sends X to Y, Y to Z and Z to X.
  c.mHeight = 10.0f;
  const Quaternion third{0.5f, 0.5f, 0.5f, 0.5f};
  EXPECT_EQ(c.PlacementMatrix(third), Rows({0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {0, 0, 10}));
  // The orientation given, not the object's own, places it; the height is
  // the object's.
  c.mRotation = AboutX(90.0f);
  EXPECT_EQ(c.PlacementMatrix(third).Translation(), (Vec3{0, 0, 10}));
  EXPECT_TRUE(VecNear(c.PlacementMatrix(c.mRotation).Translation(), c.Position(), 1e-5f));
  EXPECT_TRUE(VecNear(c.Position(), {0, 0, 10}, 1e-5f));
}

TEST(ArcRotationTest, AnArcOfZeroIsExactlyTheIdentity) {
  RandomOrientations random(1);
  std::vector<Quaternion> qs = {Quaternion{}, AboutX(180.0f), AboutY(-179.9f)};
  for (int i = 0; i < 50; ++i) qs.push_back(random.Next());
  for (const Quaternion& q : qs) {
    for (const Quaternion& r :
         {ForwardArcRotation(q, 0.0f, kR), BackwardArcRotation(q, 0.0f, kR)}) {
      EXPECT_EQ(r.x, 0.0f);
      EXPECT_EQ(r.y, 0.0f);
      EXPECT_EQ(r.z, 0.0f);
      EXPECT_EQ(r.w, 1.0f);
    }
  }
}

TEST(ArcRotationTest, AQuarterOfTheCircumferenceTurnsUpOntoForward) {
  const float quarter = 2.0f * kR * engine::kPi / 4.0f;
  // From the north pole facing +Z the walk ends on the equator at +Z,
  // facing the south pole, its right hand unchanged.
  const Quaternion q = QuaternionMultiply(Quaternion{}, ForwardArcRotation({}, quarter, kR));
  EXPECT_TRUE(VecNear(Up(q), {0, 0, 1}, 1e-6f));
  EXPECT_TRUE(VecNear(Forward(q), {0, -1, 0}, 1e-6f));
  EXPECT_TRUE(VecNear(Right(q), {1, 0, 0}, 1e-6f));
}

// On a sphere, walking s straight ahead from up u facing f ends at
// u cos(s / R) + f sin(s / R), with the right hand unchanged.
TEST(ArcRotationTest, AWalkGoesStraightAheadByTheArcAndNeverSideways) {
  RandomOrientations random(3);
  for (int i = 0; i < 200; ++i) {
    const Quaternion q = random.Next();
    const float s = random.Uniform(0.01f, 40.0f);
    const double a = double(s) / kR;
    const Vec3 u = Up(q), f = Forward(q);
    const Vec3 want{static_cast<float>(u.x * std::cos(a) + f.x * std::sin(a)),
                    static_cast<float>(u.y * std::cos(a) + f.y * std::sin(a)),
                    static_cast<float>(u.z * std::cos(a) + f.z * std::sin(a))};
    const Quaternion walked = QuaternionMultiply(q, ForwardArcRotation(q, s, kR));
    EXPECT_TRUE(VecNear(Up(walked), want, 2e-6f)) << "s " << s;
    EXPECT_TRUE(VecNear(Right(walked), Right(q), 2e-6f)) << "s " << s;
    EXPECT_NEAR(DegreesBetween(Up(walked), u), a * 180.0 / M_PI, 1e-3);
    // Backward is the same walk undone.
    const Quaternion back = QuaternionMultiply(walked, BackwardArcRotation(walked, s, kR));
    EXPECT_TRUE(VecNear(Up(back), u, 2e-6f)) << "s " << s;
    EXPECT_TRUE(VecNear(Forward(back), f, 2e-6f)) << "s " << s;
  }
}

TEST(TurnTest, TheHeadingWrapsByOneTurnOnlyPastTheEnds) {
  Standing c;
  c.mAngle = 355.0f;
  c.TurnRight(10.0f);
  EXPECT_EQ(c.mAngle, 5.0f);
  c.mAngle = 350.0f;
  c.TurnRight(10.0f);
  EXPECT_EQ(c.mAngle, 360.0f);
  c.mAngle = 5.0f;
  c.TurnLeft(10.0f);
  EXPECT_EQ(c.mAngle, 355.0f);
  c.mAngle = 10.0f;
  c.TurnLeft(10.0f);
  EXPECT_EQ(c.mAngle, 0.0f);
  c.mAngle = 100.0f;
  c.TurnRight(-30.0f);
  EXPECT_EQ(c.mAngle, 70.0f);
}

// A turn by a to the right from facing f with right hand r faces
// f cos a + r sin a, standing where it stood.
TEST(TurnTest, TurnsAreAboutTheObjectsOwnUpAndAreNotApplied) {
  Standing c;
  const Quaternion right = c.TurnRight(90.0f);
  EXPECT_EQ(c.mRotation, Quaternion{});
  EXPECT_TRUE(VecNear(Forward(QuaternionMultiply(c.mRotation, right)), {1, 0, 0}, 1e-6f));
  const Quaternion left = c.TurnLeft(90.0f);
  EXPECT_TRUE(VecNear(Forward(QuaternionMultiply(c.mRotation, left)), {-1, 0, 0}, 1e-6f));

  RandomOrientations random(4);
  for (int i = 0; i < 100; ++i) {
    c.mRotation = random.Next();
    const float degrees = random.Uniform(-170.0f, 170.0f);
    const double a = degrees * M_PI / 180.0;
    const Vec3 f = Forward(c.mRotation), r = Right(c.mRotation);
    const Vec3 want{static_cast<float>(f.x * std::cos(a) + r.x * std::sin(a)),
                    static_cast<float>(f.y * std::cos(a) + r.y * std::sin(a)),
                    static_cast<float>(f.z * std::cos(a) + r.z * std::sin(a))};
    const Quaternion turnedRight = QuaternionMultiply(c.mRotation, c.TurnRight(degrees));
    EXPECT_TRUE(VecNear(Forward(turnedRight), want, 2e-6f));
    EXPECT_TRUE(VecNear(Up(turnedRight), Up(c.mRotation), 2e-6f));
    const Quaternion turnedLeft = QuaternionMultiply(c.mRotation, c.TurnLeft(-degrees));
    EXPECT_TRUE(VecNear(Forward(turnedLeft), want, 2e-6f));
  }
}

TEST(SurfaceAngleTest, IsTheAngleBetweenUpAxesFromZeroTo180) {
  RandomOrientations random(5);
  for (int i = 0; i < 50; ++i) {
    const Quaternion q = random.Next();
    EXPECT_NEAR(SurfaceAngle(q, q), 0.0f, 0.05f);
    // Half a turn about the forward axis stands on the far side.
    const Quaternion opposite = QuaternionMultiply(
        q, engine::QuaternionRotationAxis(Forward(q), 180.0f * engine::kDegToRad));
    EXPECT_NEAR(SurfaceAngle(q, opposite), 180.0f, 0.05f);
  }
  EXPECT_EQ(SurfaceAngle({}, {}), 0.0f);
  EXPECT_NEAR(SurfaceAngle({}, AboutX(180.0f)), 180.0f, 1e-4f);
  // 30 degrees toward +Z and 40 toward -X: cos = cos 30 cos 40.
  EXPECT_NEAR(SurfaceAngle(AboutX(30.0f), AboutZ(40.0f)), 48.439237f, 1e-3f);
  // Turning in place does not move an object.
  EXPECT_NEAR(SurfaceAngle(AboutX(30.0f), QuaternionMultiply(AboutY(75.0f), AboutX(30.0f))), 0.0f,
              0.05f);
}

TEST(SurfaceAngleTest, RoundingPastPlusOrMinusOneIsClampedNotNaN) {
  // Orientations read from the placement file are not normalised: their up
  // axes are longer than 1, and so is the dot product of one with itself.
  const Quaternion longUp{0.6f, 0.0f, 0.0f, 0.81f};
  const Vec3 u = Up(longUp);
  ASSERT_GT(u.y * u.y + u.x * u.x + u.z * u.z, 1.0f);
  EXPECT_EQ(SurfaceAngle(longUp, longUp), 0.0f);
  // (1.01, 0, 0, 0) turns +Y onto (0, -1.0402, 0): past -1 against +Y.
  EXPECT_NEAR(SurfaceAngle({}, {1.01f, 0.0f, 0.0f, 0.0f}), 180.0f, 1e-4f);

  // Unit orientations whose up axis comes out a little longer than 1 in
  // float, and pairs whose up axes come out a little more than opposite.
  RandomOrientations random(6);
  int pastOne = 0, pastMinusOne = 0;
  for (int i = 0; i < 20000; ++i) {
    const Quaternion q = random.Next();
    const Vec3 a = Up(q);
    if (a.y * a.y + a.x * a.x + a.z * a.z > 1.0f) {
      ++pastOne;
      EXPECT_EQ(SurfaceAngle(q, q), 0.0f);
    }
    const Quaternion o =
        QuaternionMultiply(q, engine::QuaternionRotationAxis(Right(q), 180.0f * engine::kDegToRad));
    const Vec3 b = Up(o);
    if (a.y * b.y + a.x * b.x + a.z * b.z < -1.0f) {
      ++pastMinusOne;
      EXPECT_NEAR(SurfaceAngle(q, o), 180.0f, 1e-4f);
    }
  }
  EXPECT_GT(pastOne, 0) << "no orientation rounded past 1: the case is not exercised";
  EXPECT_GT(pastMinusOne, 0) << "no pair rounded past -1: the case is not exercised";
}

TEST(PoleTest, TheSouthPoleAndHalfTurnsAboutYBehaveLikeAnyOtherPlace) {
  Standing c;
  c.mHeight = 60.0f;
  const Quaternion south = AboutX(180.0f);
  EXPECT_TRUE(VecNear(c.PlacementMatrix(south).Translation(), {0, -60, 0}, 2e-5f));
  EXPECT_NEAR(SurfaceAngle({}, south), 180.0f, 1e-4f);
  // Facing -Z at the south pole; a quarter of the way round ends at -Z.
  EXPECT_TRUE(VecNear(Forward(south), {0, 0, -1}, 1e-6f));
  const float quarter = 2.0f * kR * engine::kPi / 4.0f;
  EXPECT_TRUE(VecNear(Up(QuaternionMultiply(south, ForwardArcRotation(south, quarter, kR))),
                      {0, 0, -1}, 2e-6f));
  // Another object at the south pole facing the other way stands in the
  // same place.
  EXPECT_NEAR(SurfaceAngle(south, AboutZ(180.0f)), 0.0f, 0.05f);
  EXPECT_TRUE(VecNear(Forward(AboutZ(180.0f)), {0, 0, 1}, 1e-6f));

  // +180 and -180 degrees about Y are one orientation written twice.
  const Quaternion plus = AboutY(180.0f), minus = AboutY(-180.0f);
  EXPECT_TRUE(MatrixNear(c.PlacementMatrix(plus), c.PlacementMatrix(minus), 2e-5f));
  const Quaternion walkPlus = QuaternionMultiply(plus, ForwardArcRotation(plus, 10.0f, kR));
  const Quaternion walkMinus = QuaternionMultiply(minus, ForwardArcRotation(minus, 10.0f, kR));
  EXPECT_TRUE(VecNear(Up(walkPlus), Up(walkMinus), 2e-6f));
  EXPECT_TRUE(VecNear(Up(walkPlus), {0, std::cos(10.0f / kR), -std::sin(10.0f / kR)}, 2e-6f));
  // Headings 0.2 degrees apart across the seam at 180 walk 10 units to
  // places sin(10 / 60) * 0.2 degrees = 0.0332 degrees apart.
  const Quaternion a = AboutY(179.9f), b = AboutY(-179.9f);
  const Quaternion walkA = QuaternionMultiply(a, ForwardArcRotation(a, 10.0f, kR));
  const Quaternion walkB = QuaternionMultiply(b, ForwardArcRotation(b, 10.0f, kR));
  EXPECT_NEAR(DegreesBetween(Up(walkA), Up(walkB)), 0.0332, 1e-3);
  // Heading 179.9 stops a little short of -Z, on the +X side.
  EXPECT_GT(Up(walkA).x, 0.0f);
  EXPECT_LT(Up(walkB).x, 0.0f);
}

TEST(PushAwayTest, PushesAlongTheSurfaceDirectlyAwayFromThePoint) {
  Standing c;
  c.mHeight = 50.0f;
  const Vec3 toTheRight{5.0f, 50.0f, 0.0f};
  // Away from a point on the +X side: 3 units of arc toward -X.
  const Quaternion away = QuaternionMultiply(c.mRotation, c.PushAwayRotation(3.0f, kR, toTheRight));
  EXPECT_TRUE(VecNear(Up(away), {-std::sin(0.05f), std::cos(0.05f), 0}, 1e-6f));
  const Quaternion toward =
      QuaternionMultiply(c.mRotation, c.PushAwayRotation(-3.0f, kR, toTheRight));
  EXPECT_TRUE(VecNear(Up(toward), {std::sin(0.05f), std::cos(0.05f), 0}, 1e-6f));

  RandomOrientations random(7);
  for (int i = 0; i < 100; ++i) {
    c.mRotation = random.Next();
    const Vec3 point = c.Position() + Forward(c.mRotation) * 2.0f + Right(c.mRotation) * 1.0f;
    const Quaternion pushed = QuaternionMultiply(c.mRotation, c.PushAwayRotation(2.0f, kR, point));
    // The arc walked, and farther from the point than before.
    EXPECT_NEAR(DegreesBetween(Up(pushed), Up(c.mRotation)), 2.0 / kR * 180.0 / M_PI, 1e-3);
    EXPECT_GT(engine::Vec3Length(Up(pushed) * c.mHeight - point),
              engine::Vec3Length(c.Position() - point));
  }
}

TEST(PushAwayTest, APointGivingNoDirectionLeavesTheObjectWhereItIs) {
  Standing c;
  c.mHeight = 50.0f;
  // Straight above, straight below (the centre) and on the object itself.
  for (const Vec3& point : {Vec3{0, 80, 0}, Vec3{0, 0, 0}, Vec3{0, 50, 0}}) {
    EXPECT_EQ(c.PushAwayRotation(3.0f, kR, point), Quaternion{}) << point.y;
  }
  // Anywhere else on the planet the same points come out of rounded
  // arithmetic, and still give no push, let alone a turn.
  RandomOrientations random(8);
  for (int i = 0; i < 500; ++i) {
    c.mRotation = random.Next();
    const Vec3 up = Up(c.mRotation);
    for (const Vec3& point : {c.Position(), Vec3{0, 0, 0}, up * 20.0f, up * 80.0f}) {
      const Quaternion r = c.PushAwayRotation(3.0f, kR, point);
      EXPECT_EQ(r, Quaternion{}) << i;
      EXPECT_NEAR(checks::Length(QuaternionMultiply(c.mRotation, r)), 1.0, 1e-6);
    }
  }
  // Zero arcs never move.
  EXPECT_EQ(c.PushAwayRotation(0.0f, kR, {10, 10, 10}).w, 1.0f);
}

// A target straight ahead of an object at the north pole heading 0 (facing
// +Z) needs no turn; one on its right a quarter turn right, and so on. A
// reference below the equator mirrors front and back.
TEST(YawErrorTest, TurnsNeededAtTheNorthPoleWorkedByHand) {
  const Vec3 north{0, 61, 0}, south{0, -61, 0};
  const Quaternion here{};
  const Quaternion ahead = AboutX(10.0f), behind = AboutX(-10.0f);
  const Quaternion onRight = AboutZ(-10.0f), onLeft = AboutZ(10.0f);
  ASSERT_GT(Up(onRight).x, 0.0f);
  EXPECT_NEAR(YawErrorToward(0.0f, north, here, ahead), 0.0f, 0.01f);
  EXPECT_NEAR(YawErrorToward(360.0f, north, here, ahead), 0.0f, 0.01f);
  EXPECT_NEAR(YawErrorToward(0.0f, north, here, onRight), 90.0f, 0.01f);
  EXPECT_NEAR(YawErrorToward(0.0f, north, here, onLeft), -90.0f, 0.01f);
  EXPECT_NEAR(YawErrorToward(0.0f, north, here, behind), 180.0f, 0.01f);
  EXPECT_NEAR(YawErrorToward(0.0f, south, here, ahead), 180.0f, 0.01f);
  EXPECT_NEAR(YawErrorToward(0.0f, south, here, behind), 0.0f, 0.01f);
  // Across the seam: a target 0.1 degrees left of ahead, from heading 0 or
  // from the heading 360 that TurnRight can leave.
  const Quaternion aLittleLeft = QuaternionMultiply(AboutX(10.0f), AboutY(-0.1f));
  ASSERT_LT(Up(aLittleLeft).x, 0.0f);
  EXPECT_NEAR(YawErrorToward(0.0f, north, here, aLittleLeft), -0.1f, 0.01f);
  EXPECT_NEAR(YawErrorToward(360.0f, north, here, aLittleLeft), -0.1f, 0.01f);

  EXPECT_NEAR(YawErrorAway(0.0f, north, here, behind), 0.0f, 0.01f);
  EXPECT_NEAR(YawErrorAway(360.0f, north, here, behind), 0.0f, 0.01f);
  EXPECT_NEAR(YawErrorAway(0.0f, north, here, ahead), 180.0f, 0.01f);
  EXPECT_NEAR(YawErrorAway(0.0f, south, here, ahead), 0.0f, 0.01f);
}

TEST(YawErrorTest, NeverLeavesMinus180To180AndIsNeverNaN) {
  RandomOrientations random(9);
  for (int i = 0; i < 5000; ++i) {
    // Headings far outside 0 to 360 too: a fleeing butterfly's heading is
    // never wrapped.
    const float angle = i % 2 ? random.Uniform(0.0f, 360.0f) : random.Uniform(-2000.0f, 2000.0f);
    const Quaternion qa = random.Next();
    // Every tenth pair stands in one place: no direction at all.
    const Quaternion qb = i % 10 == 0 ? qa : random.Next();
    const Vec3 reference = Up(random.Next()) * 60.0f;
    for (float e :
         {YawErrorToward(angle, reference, qa, qb), YawErrorAway(angle, reference, qa, qb)}) {
      ASSERT_FALSE(std::isnan(e)) << i;
      EXPECT_GE(e, -180.0f) << i;
      EXPECT_LE(e, 180.0f) << i;
    }
  }
  for (float angle : {0.0f, 360.0f, 180.0f}) {
    for (const Quaternion& q : {Quaternion{}, AboutX(180.0f), AboutY(180.0f), AboutY(-180.0f)}) {
      const float e = YawErrorToward(angle, {0, -60, 0}, q, QuaternionMultiply(q, AboutX(5.0f)));
      EXPECT_GE(e, -180.0f);
      EXPECT_LE(e, 180.0f);
    }
  }
}

}  // namespace
}  // namespace world
