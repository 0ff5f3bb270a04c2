#include "scenes/autoplay.h"

#include <cmath>
#include <limits>

#include "creatures/eating.h"
#include "creatures/enemy_manager.h"
#include "engine/trig.h"
#include "scenes/game/game_parent.h"
#include "scenes/game/game_play.h"
#include "scenes/result/game_result.h"
#include "scenes/title/title.h"
#include "scenes/title/title_parent.h"
#include "world/world_objects.h"

namespace scenes {

using engine::Quaternion;
using engine::Vec3;
using platform::Key;

namespace {

constexpr Key kArrows[4] = {Key::Up, Key::Right, Key::Down, Key::Left};  // 0, 90, 180, 270
// Swing the camera when the best arrow is further off than this (degrees).
constexpr float kAimSlack = 4.0f;
// How near an obstacle in the way must be to step round it.
constexpr float kObstacleMargin = 1.5f;
constexpr float kObstacleCone = 50.0f;  // degrees either side of the way
constexpr int kDetourFrames = 30;
constexpr int kStuckFrames = 40;
// Bite when the insect is this much nearer the mouth than the reach of the
// mouth test (it has 14 frames to come within reach).
constexpr float kBiteSlack = 1.2f;
constexpr float kBiteCone = 40.0f;
// Mischief: how often (one update in so many) each thing is done, and how
// long a question waits for its answer and a camera swing lasts (updates).
constexpr int kPauseOneIn = 3000;
constexpr int kSwingOneIn = 300;
constexpr int kSwingMin = 20;
constexpr int kSwingSpread = 160;
constexpr int kGiveUpOneIn = 5;
constexpr int kTitleQuitOneIn = 3;
constexpr int kTuningOneIn = 200;
constexpr int kResultPauseOneIn = 2;
constexpr int kAnswerWaitMin = 10;
constexpr int kAnswerWaitSpread = 170;

float Wrap180(float degrees) {
  while (degrees > 180.0f) degrees -= 360.0f;
  while (degrees <= -180.0f) degrees += 360.0f;
  return degrees;
}

// The direction from `from` to `to` along the ground at `up`.
Vec3 Along(const Vec3& from, const Vec3& to, const Vec3& up) {
  const Vec3 d = to - from;
  return d - up * engine::Vec3Dot(d, up);
}

// The heading (degrees, toward the right positive) of `direction` in the
// frame of forward `fwd` and right `right`.
float HeadingOf(const Vec3& direction, const Vec3& fwd, const Vec3& right) {
  return engine::Atan2(engine::Vec3Dot(direction, right), engine::Vec3Dot(direction, fwd)) *
         engine::kRadToDeg;
}

}  // namespace

platform::TickInput Autoplayer::AnswerWithEnter() {
  // Pressed every other update: every scene waits for Enter to be seen up
  // between two presses.
  platform::TickInput in;
  if (tick_ % 2 == 0) in.Press(Key::Return);
  return in;
}

platform::TickInput Autoplayer::Next(const SequenceParent& root, const Services& services) {
  ++tick_;
  const platform::TickInput planned = Planned(root, services);
  return mischief_ ? Mischief(root, planned) : planned;
}

platform::TickInput Autoplayer::Planned(const SequenceParent& root, const Services& services) {
  if (dynamic_cast<const TitleParent*>(root.child)) return AnswerWithEnter();
  if (const auto* game = dynamic_cast<const GameParent*>(root.child)) {
    if (dynamic_cast<const GameResult*>(game->child)) return AnswerWithEnter();
    if (const auto* play = dynamic_cast<const GamePlay*>(game->child)) {
      if (!play->fading && !game->paused) return Play(*game, services);
    }
  }
  return {};
}

platform::TickInput Autoplayer::Mischief(const SequenceParent& root, platform::TickInput planned) {
  // A question on screen: think a moment with no key down, then answer.
  auto answer = [&](bool mayGiveUp) {
    platform::TickInput in;
    if (answerWait_ > 0) {
      --answerWait_;
      return in;
    }
    in.Press(mayGiveUp && OneIn(kGiveUpOneIn) ? Key::Y : Key::N);
    return in;
  };
  auto ask = [&]() {
    platform::TickInput in;
    in.Press(Key::Escape);
    answerWait_ = kAnswerWaitMin + random_.Rand() % kAnswerWaitSpread;
    swingFrames_ = 0;
    return in;
  };

  if (const auto* parent = dynamic_cast<const TitleParent*>(root.child)) {
    const auto* title = dynamic_cast<const Title*>(parent->child);
    if (!title) return planned;
    // Never Y here: that would end the program.
    if (title->quitPrompt) return answer(false);
    if (OneIn(kTuningOneIn)) planned.Press(Key::E);
    // Instead of the Enter that would start the run, now and then ESC.
    if (title->titleState == Title::kWaiting && planned.Held(Key::Return) && OneIn(kTitleQuitOneIn))
      return ask();
    return planned;
  }
  const auto* game = dynamic_cast<const GameParent*>(root.child);
  if (!game) return planned;
  if (game->paused) return answer(true);
  if (const auto* result = dynamic_cast<const GameResult*>(game->child)) {
    if (result->phase == 3 && planned.Held(Key::Return) && OneIn(kResultPauseOneIn)) return ask();
    return planned;
  }
  const auto* play = dynamic_cast<const GamePlay*>(game->child);
  if (!play || play->fading) return planned;
  if (OneIn(kPauseOneIn)) return ask();
  if (swingFrames_ == 0 && OneIn(kSwingOneIn)) {
    swingFrames_ = kSwingMin + random_.Rand() % kSwingSpread;
    swingKey_ = OneIn(2) ? Key::Z : Key::X;
  }
  if (swingFrames_ > 0) {
    --swingFrames_;
    planned.Release(Key::Z);
    planned.Release(Key::X);
    planned.Hold(swingKey_);
  }
  return planned;
}

platform::TickInput Autoplayer::Play(const GameParent& game, const Services& services) {
  platform::TickInput in;
  const creatures::Player& p = *game.player;
  const Vec3 at = p.Position();
  const Vec3 up = world::Up(p.mRotation);

  // The frame the arrow keys are measured in: the creature's orientation
  // with its own heading taken out, as the camera takes it out.
  const Quaternion base = engine::QuaternionMultiply(
      p.mRotation, engine::QuaternionRotationAxis(up, -p.mAngle * engine::kDegToRad));
  const Vec3 fwd = world::Forward(base);
  const Vec3 right = engine::Vec3Cross(world::Up(base), fwd);

  // The nearest insect it may eat; those of its own size class count as a
  // little nearer (they feed it best).
  const float pct = creatures::SizePercent(p.mSize);
  const int sizeClass = p.SizeClass();
  const creatures::Enemy* target = nullptr;
  float best = std::numeric_limits<float>::max();
  for (const auto& insect : services.enemies->enemies) {
    const int kind = insect->Kind();
    if (!insect->alive || !creatures::IsEdible(kind, pct)) continue;
    float arc = world::SurfaceAngle(p.mRotation, insect->mRotation);
    if (kind == sizeClass) arc *= 0.7f;
    if (arc < best) {
      best = arc;
      target = insect.get();
    }
  }

  float wanted = p.mAngle;  // straight on when there is nothing to eat
  if (target) {
    const Vec3 way = Along(at, target->Position(), up);
    wanted = HeadingOf(way, fwd, right);

    // Bite when the insect is in front of the mouth and nearly in reach.
    const Vec3 mouth = p.MouthCentre();
    const float facing = Wrap180(HeadingOf(way, world::Forward(p.mRotation),
                                           engine::Vec3Cross(up, world::Forward(p.mRotation))));
    for (const world::HitSphere& sphere : target->GetHitSpheres()) {
      const float reach = p.bodySphere.radius + sphere.radius + kBiteSlack;
      if (engine::Vec3Length(sphere.Centre() - mouth) < reach && std::fabs(facing) < kBiteCone) {
        in.Hold(Key::Space);
      }
    }
  }

  // Step round trees and stumps in the way; if it has not moved for a while
  // anyway, walk sideways for a bit (the side drawn from its generator).
  if (detourFrames_ == 0) {
    for (const auto& object : services.objects->objects) {
      if (object->mName == "Flower") continue;
      for (const world::HitSphere& sphere : object->GetHitSpheres()) {
        const Vec3 toward = Along(at, sphere.Centre(), up);
        const float gap = engine::Vec3Length(toward) - sphere.radius - p.bodySphere.radius;
        if (gap > kObstacleMargin) continue;
        const float side = Wrap180(HeadingOf(toward, fwd, right) - wanted);
        if (std::fabs(side) > kObstacleCone) continue;
        // Go round on the side away from it.
        detourKey_ = side > 0.0f ? 3 : 1;
        detourFrames_ = kDetourFrames;
      }
    }
    if (engine::Vec3Length(at - lastPosition_) < 0.05f) {
      if (++stillFrames_ > kStuckFrames) {
        detourKey_ = random_.Rand() % 2 ? 1 : 3;
        detourFrames_ = kDetourFrames;
        stillFrames_ = 0;
      }
    } else {
      stillFrames_ = 0;
      lastPosition_ = at;
    }
  }

  // The arrow whose direction (its angle plus the camera's yaw) is nearest
  // the way it wants to go; the camera swings to make it nearer still.
  int arrow = 0;
  float off = 360.0f;
  for (int k = 0; k < 4; ++k) {
    const float d = Wrap180(wanted - (static_cast<float>(k) * 90.0f + game.cameraYaw));
    if (std::fabs(d) < std::fabs(off)) {
      off = d;
      arrow = k;
    }
  }
  if (detourFrames_ > 0) {
    --detourFrames_;
    arrow = (arrow + detourKey_) % 4;
  } else if (off > kAimSlack) {
    in.Hold(Key::X);
  } else if (off < -kAimSlack) {
    in.Hold(Key::Z);
  }
  in.Hold(kArrows[arrow]);
  return in;
}

}  // namespace scenes
