#include "engine/animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace engine {
namespace {

constexpr float kEps = 1e-5f;
constexpr double kTps = 4800.0;

void ExpectMatrixNear(const Matrix& a, const Matrix& b, float eps = kEps) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], eps) << "at " << i << "," << j;
}

void ExpectVecNear(const Vec3& a, const Vec3& b, float eps = kEps) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

std::uint32_t Ticks(double seconds) { return static_cast<std::uint32_t>(seconds * kTps); }

// A channel that only moves its frame: translation keys at the given
// seconds.
AnimationChannel Moving(const std::string& frame, std::vector<std::pair<double, Vec3>> keys) {
  AnimationChannel c;
  c.frameName = frame;
  for (const auto& [t, v] : keys) c.translationKeys.push_back({Ticks(t), v});
  return c;
}

std::shared_ptr<AnimationSet> MakeSet(const std::string& name,
                                      std::vector<AnimationChannel> channels, double tps = kTps) {
  return std::make_shared<AnimationSet>(name, tps, std::move(channels));
}

Vec3 TranslationAt(const AnimationSet& set, double periodic, std::uint32_t channel = 0) {
  Vec3 s, t;
  Quaternion r;
  set.GetSRT(periodic, channel, &s, &r, &t);
  return t;
}

// --- Sets ---------------------------------------------------------------------

TEST(AnimationSetTest, LerpsBetweenKeysAndHoldsOutside) {
  // Keys at 0.5, 1 and 2 s; a second channel ends early at 1 s.
  auto set = MakeSet("walk", {Moving("body", {{0.5, {0, 0, 0}}, {1, {10, 0, 0}}, {2, {10, 20, 0}}}),
                              Moving("arm", {{0, {1, 1, 1}}, {1, {3, 3, 3}}})});
  EXPECT_DOUBLE_EQ(set->GetPeriod(), 2.0);
  EXPECT_DOUBLE_EQ(set->GetTicksPerSecond(), kTps);
  EXPECT_EQ(set->GetNumAnimations(), 2u);

  ExpectVecNear(TranslationAt(*set, 0.0), {0, 0, 0});  // before the first key
  ExpectVecNear(TranslationAt(*set, 0.5), {0, 0, 0});  // at a key
  ExpectVecNear(TranslationAt(*set, 0.75), {5, 0, 0});
  ExpectVecNear(TranslationAt(*set, 1.0), {10, 0, 0});
  ExpectVecNear(TranslationAt(*set, 1.25), {10, 5, 0});
  ExpectVecNear(TranslationAt(*set, 1.999), {10, 19.98f, 0}, 1e-3f);
  // The short channel holds its last key once past it.
  ExpectVecNear(TranslationAt(*set, 0.5, 1), {2, 2, 2});
  ExpectVecNear(TranslationAt(*set, 1.5, 1), {3, 3, 3});
  // A channel index past the end is the identity, not a crash.
  Vec3 s, t;
  Quaternion r;
  set->GetSRT(0.5, 7, &s, &r, &t);
  EXPECT_EQ(s, (Vec3{1, 1, 1}));
  EXPECT_EQ(t, (Vec3{0, 0, 0}));
}

TEST(AnimationSetTest, KeysGivenOutOfOrderAreSorted) {
  auto set = MakeSet("x", {Moving("body", {{1, {10, 0, 0}}, {0, {0, 0, 0}}, {2, {0, 0, 0}}})});
  ExpectVecNear(TranslationAt(*set, 0.5), {5, 0, 0});
  ExpectVecNear(TranslationAt(*set, 1.5), {5, 0, 0});
}

TEST(AnimationSetTest, RotationSlerpsTheShortArcAndComposesScaleRotationTranslation) {
  Quaternion quarterY = QuaternionRotationAxis({0, 1, 0}, kPi / 2);
  Quaternion negated{-quarterY.x, -quarterY.y, -quarterY.z, -quarterY.w};
  AnimationChannel c;
  c.frameName = "head";
  c.rotationKeys = {{0, Quaternion{}}, {Ticks(1), negated}};
  c.scaleKeys = {{0, {2, 2, 2}}};
  c.translationKeys = {{0, {1, 2, 3}}, {Ticks(2), {1, 2, 3}}};  // period 2 s
  AnimationChannel none;                                        // no keys at all
  none.frameName = "tail";
  auto set = MakeSet("turn", {c, none});

  Vec3 s, t;
  Quaternion r;
  set->GetSRT(0.5, 0, &s, &r, &t);
  // -q is the same rotation as q: halfway is 45 degrees, not the long way.
  ExpectMatrixNear(MatrixRotationQuaternion(r), MatrixRotationY(kPi / 4));

  auto controller = AnimationController({set});
  Matrix head, tail = MatrixTranslation(7, 7, 7);
  controller.RegisterAnimationOutput("head", &head);
  controller.RegisterAnimationOutput("tail", &tail);
  controller.SetTrackPosition(0, 1.0);
  controller.AdvanceTime(0);
  // Local = Scale * Rotation * Translation.
  ExpectMatrixNear(head,
                   MatrixScaling(2, 2, 2) * MatrixRotationY(kPi / 2) * MatrixTranslation(1, 2, 3));
  // A channel without keys gives the identity pose.
  ExpectMatrixNear(tail, Matrix::Identity());
}

TEST(AnimationSetTest, LoopsWithFmodAndWrapsToZeroAtThePeriod) {
  auto set = MakeSet("loop", {Moving("body", {{0, {0, 0, 0}}, {2, {8, 0, 0}}})});
  EXPECT_DOUBLE_EQ(set->GetPeriodicPosition(0.5), 0.5);
  EXPECT_DOUBLE_EQ(set->GetPeriodicPosition(2.5), 0.5);
  EXPECT_DOUBLE_EQ(set->GetPeriodicPosition(7.0), 1.0);
  // Exactly at the period the set is back at its first key, not its last.
  EXPECT_EQ(set->GetPeriodicPosition(2.0), 0.0);
  EXPECT_EQ(set->GetPeriodicPosition(4.0), 0.0);
  // Negative positions wrap into the period too.
  EXPECT_DOUBLE_EQ(set->GetPeriodicPosition(-0.5), 1.5);
  EXPECT_GE(set->GetPeriodicPosition(-1e-20), 0.0);
  EXPECT_LT(set->GetPeriodicPosition(-1e-20), 2.0);

  // A set whose keys are all at tick 0 (or that has none) has period 0 and
  // always sits at 0; a bad ticks-per-second falls back to 4800.
  auto still = MakeSet("still", {Moving("body", {{0, {1, 0, 0}}})});
  EXPECT_EQ(still->GetPeriod(), 0.0);
  EXPECT_EQ(still->GetPeriodicPosition(3.7), 0.0);
  auto noRate = MakeSet("noRate", {Moving("body", {{0, {0, 0, 0}}, {1, {1, 0, 0}}})}, 0.0);
  EXPECT_DOUBLE_EQ(noRate->GetTicksPerSecond(), 4800.0);
  EXPECT_DOUBLE_EQ(noRate->GetPeriod(), 1.0);
}

// --- Controller ------------------------------------------------------------------

// Three sets, in file order: "first" moves the body along x, "second" along
// y, "last" along z; each reaches 10 after 1 s and loops every 2 s.
struct Fixture {
  std::shared_ptr<AnimationSet> first =
      MakeSet("first", {Moving("body", {{0, {0, 0, 0}}, {1, {10, 0, 0}}, {2, {0, 0, 0}}})});
  std::shared_ptr<AnimationSet> second =
      MakeSet("second", {Moving("body", {{0, {0, 0, 0}}, {1, {0, 10, 0}}, {2, {0, 0, 0}}})});
  std::shared_ptr<AnimationSet> last =
      MakeSet("last", {Moving("body", {{0, {0, 0, 0}}, {1, {0, 0, 10}}, {2, {0, 0, 0}}})});
  AnimationController controller{{first, second, last}};
  Matrix body;
  Matrix other = MatrixRotationX(0.3f);

  Fixture() {
    controller.RegisterAnimationOutput("body", &body);
    controller.RegisterAnimationOutput("other", &other);
  }
};

TEST(AnimationControllerTest, SetsAreIndexedInReverseFileOrderAndTrackZeroPlaysTheLast) {
  Fixture f;
  ASSERT_FALSE(kAnimationSetsInFileOrder);
  ASSERT_EQ(f.controller.GetNumAnimationSets(), 3u);
  EXPECT_EQ(f.controller.GetAnimationSet(0), f.last.get());
  EXPECT_EQ(f.controller.GetAnimationSet(1), f.second.get());
  EXPECT_EQ(f.controller.GetAnimationSet(2), f.first.get());
  EXPECT_EQ(f.controller.GetAnimationSet(3), nullptr);
  EXPECT_EQ(f.controller.GetTrackAnimationSet(0), f.last.get());

  TrackDesc d0, d1;
  ASSERT_TRUE(f.controller.GetTrackDesc(0, &d0));
  EXPECT_TRUE(d0.enable);
  EXPECT_EQ(d0.speed, 1.0f);
  EXPECT_EQ(d0.weight, 1.0f);
  EXPECT_EQ(d0.position, 0.0);
  ASSERT_TRUE(f.controller.GetTrackDesc(1, &d1));
  EXPECT_FALSE(d1.enable);
  EXPECT_EQ(f.controller.GetTrackAnimationSet(1), nullptr);
  EXPECT_FALSE(f.controller.GetTrackDesc(2, &d1));

  f.controller.AdvanceTime(0.5);
  ExpectVecNear(f.body.Translation(), {0, 0, 5});
}

TEST(AnimationControllerTest, AdvanceKeepsThePositionUnwrappedAndHonoursSpeed) {
  Fixture f;
  f.controller.AdvanceTime(1.0);
  f.controller.AdvanceTime(1.0);
  f.controller.AdvanceTime(1.25);
  TrackDesc d;
  f.controller.GetTrackDesc(0, &d);
  EXPECT_DOUBLE_EQ(d.position, 3.25);  // not wrapped to 1.25
  EXPECT_DOUBLE_EQ(f.controller.GetTime(), 3.25);
  ExpectVecNear(f.body.Translation(), {0, 0, 7.5f});  // posed at 1.25

  f.controller.SetTrackSpeed(0, 2.0f);
  f.controller.AdvanceTime(0.25);  // 0.5 s of animation
  f.controller.GetTrackDesc(0, &d);
  EXPECT_DOUBLE_EQ(d.position, 3.75);
  ExpectVecNear(f.body.Translation(), {0, 0, 2.5f});

  // A disabled track stands still and poses nothing.
  f.controller.SetTrackEnable(0, false);
  f.body = Matrix::Identity();
  f.controller.AdvanceTime(0.5);
  f.controller.GetTrackDesc(0, &d);
  EXPECT_DOUBLE_EQ(d.position, 3.75);
  EXPECT_EQ(f.body, Matrix::Identity());
}

TEST(AnimationControllerTest, AdvanceByZeroPosesAtASetPositionAndSwappingSetsKeepsIt) {
  Fixture f;
  f.controller.SetTrackPosition(0, 0.25);
  EXPECT_EQ(f.body, Matrix::Identity());  // setting the position alone poses nothing
  f.controller.AdvanceTime(0);
  ExpectVecNear(f.body.Translation(), {0, 0, 2.5f});

  ASSERT_TRUE(f.controller.SetTrackAnimationSet(0, f.controller.GetAnimationSet(2)));
  f.controller.AdvanceTime(0);
  ExpectVecNear(f.body.Translation(), {2.5f, 0, 0});  // same position, other set
  TrackDesc d;
  f.controller.GetTrackDesc(0, &d);
  EXPECT_DOUBLE_EQ(d.position, 0.25);

  // Only the controller's own sets are accepted; bad track numbers fail.
  auto stranger = MakeSet("stranger", {Moving("body", {{0, {5, 5, 5}}})});
  EXPECT_FALSE(f.controller.SetTrackAnimationSet(0, stranger.get()));
  EXPECT_EQ(f.controller.GetTrackAnimationSet(0), f.first.get());
  EXPECT_FALSE(f.controller.SetTrackPosition(5, 1.0));
  EXPECT_FALSE(f.controller.SetTrackAnimationSet(5, f.first.get()));
}

TEST(AnimationControllerTest, UsersOfASharedControllerEachGetTheirOwnPose) {
  Fixture f;
  struct User {
    double time;
    int set;
  };
  User a{0.5, 0}, b{1.5, 2};
  Matrix poseA, poseB;
  for (int round = 0; round < 2; ++round) {
    for (User* u : {&a, &b}) {
      f.controller.SetTrackAnimationSet(0, f.controller.GetAnimationSet(u->set));
      f.controller.SetTrackPosition(0, u->time);
      f.controller.AdvanceTime(0);
      (u == &a ? poseA : poseB) = f.body;
    }
    ExpectVecNear(poseA.Translation(), {0, 0, 5});
    ExpectVecNear(poseB.Translation(), {5, 0, 0});
  }
}

TEST(AnimationControllerTest, TrackTimeAccumulatesInSinglePrecisionSoTheBiteFrameComes) {
  // The game advances by 1/59 s as a float and tests for the bite while the
  // position lies in [13/59, 14/59] (as floats). Single-precision track time
  // reaches that window on the 14th frame.
  Fixture f;
  const double step = 0.016949152573943138;
  std::vector<int> biteFrames;
  for (int frame = 1; frame <= 40; ++frame) {
    f.controller.AdvanceTime(step);
    TrackDesc d;
    f.controller.GetTrackDesc(0, &d);
    if (d.position >= 0.22033898532390594 && d.position <= 0.23728813230991364) {
      biteFrames.push_back(frame);
    }
    if (frame == 13) {
      EXPECT_DOUBLE_EQ(d.position, 0.22033895552158356);
    }
    if (frame == 14) {
      EXPECT_DOUBLE_EQ(d.position, 0.23728810250759125);
    }
  }
  EXPECT_EQ(biteFrames, std::vector<int>{14});
}

TEST(AnimationControllerTest, FramesNoEnabledTrackAnimatesKeepTheirMatrix) {
  Fixture f;
  Matrix before = f.other;
  f.controller.AdvanceTime(0.5);
  EXPECT_EQ(f.other, before);  // no set has a channel for "other"

  // An output registered without any channel, and names that match nothing,
  // are harmless.
  f.controller.RegisterAnimationOutput("nobody", nullptr);
  f.controller.AdvanceTime(0.5);
  EXPECT_EQ(f.other, before);

  // A controller without sets poses nothing and does not fail.
  AnimationController empty({});
  Matrix m = MatrixTranslation(1, 2, 3);
  empty.RegisterAnimationOutput("body", &m);
  empty.AdvanceTime(1.0);
  EXPECT_EQ(m, MatrixTranslation(1, 2, 3));
  EXPECT_EQ(empty.GetTrackAnimationSet(0), nullptr);
}

TEST(AnimationControllerTest, EnabledTracksBlendByNormalisedWeight) {
  Fixture f;
  // Enabling a track that has no set (as the game does for every set index)
  // changes nothing: the pose is exactly track 0's.
  TrackDesc on;
  on.enable = true;
  on.weight = 1.0f;
  on.speed = 1.0f;
  ASSERT_TRUE(f.controller.SetTrackDesc(1, on));
  f.controller.AdvanceTime(0.5);
  ExpectVecNear(f.body.Translation(), {0, 0, 5});

  // Track 0 plays "last" (z) at weight 1, track 1 "first" (x) at weight 3.
  f.controller.SetTrackAnimationSet(1, f.first.get());
  f.controller.SetTrackPosition(1, 0.5);
  f.controller.SetTrackWeight(1, 3.0f);
  f.controller.AdvanceTime(0);
  ExpectVecNear(f.body.Translation(), {3.75f, 0, 1.25f});

  // Weight does not scale a frame animated by one track alone.
  f.controller.SetTrackEnable(1, false);
  f.controller.SetTrackWeight(0, 0.25f);
  f.controller.AdvanceTime(0);
  ExpectVecNear(f.body.Translation(), {0, 0, 5});
}

}  // namespace
}  // namespace engine
