#include "creatures/player.h"

#include <cmath>

#include "creatures/enemy_manager.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "media/sound_manager.h"

namespace creatures {

using engine::Matrix;
using engine::Quaternion;
using engine::QuaternionMultiply;
using engine::Vec3;
using platform::Key;

namespace {

constexpr float kTurnStep = 10.0f;
constexpr float kWalkArc = 0.20000000298023224f;
constexpr float kHover = 1.5f;  // times the size: how high the body's origin stands
constexpr float kShrink = 0.0010000000474974513f;
constexpr int kHungerQuickest = 10;
constexpr int kHungerSpeedUp = 3;
constexpr float kGlowStep = 0.009999999776482582f;
constexpr float kGlowEnd = 1.5f;
constexpr float kBiteEnd = 0.6779661178588867f;   // 40/59
constexpr float kChewEnd = 0.9322034120559692f;   // 55/59
constexpr float kRecoilStep = 0.016949153f;       // 1/59
constexpr float kHalfTurn = 3.1415927410125732f;  // the models face -Z

const char* const kDirectionNames[8] = {"kUp",   "kUpRight",  "kRight", "kDownRight",
                                        "kDown", "kDownLeft", "kLeft",  "kUpLeft"};

float Distance(const Vec3& a, const Vec3& b) { return engine::Vec3Length(a - b); }

}  // namespace

bool InBiteWindow(double bitePosition) {
  // In frames of 1/59 s: the bite's frame 14 however its clock was rounded,
  // never frame 13 or 15. A bite whose first update ran at another speed
  // (right after a recoil, 2.5 frames) stands at half frames; it is tested at
  // 13.5, as the frames 13 to 14 of the bite say.
  const double frame = bitePosition * 59.0;
  return frame > 13.25 && frame < 14.5;
}

Player::Player(const media::PlayerTuning& tuning, media::MeshManager& meshes) : meshes_(meshes) {
  mSize = kSmallestSize;
  mRotation = Quaternion{};
  mHeight = 0.0f;
  mAngle = 0.0f;
  bodySphere.radius = tuning.radius;
  biteSphere.radius = tuning.biteRadius;
  biteSphere.z = tuning.biteZ;
  biteSphere.y = tuning.biteY;
  biteSphere.x = tuning.biteX;
  mStartGravity = tuning.mStartGravity;
  mFrameMinus = tuning.mFrameMinus;
  mStartJumpV = tuning.mStartJumpV;
  mMaxGravity = tuning.mMaxGravity;
}

double Player::UpperBodyPosition() const { return BodyTrack(meshes_, kUpperBody).Position(); }

void Player::Update(const PlayerWorld& world) {
  if (!recoiling) ReadKeys(world.input);
  if (moving) TurnAndWalk(world);
  StartBite(world.input, world.sounds);
  PushOutOfInsects(world);
  PushOutOfObjects(world);
  if (biting) TestBite(world);
  Hunger();
  Glow();
  Animate(world.sounds);
}

void Player::ReadKeys(const platform::TickInput& input) {
  moving = true;
  if (input.Held(Key::Up)) {
    moveDirection = 0;
  } else if (input.Held(Key::Down)) {
    moveDirection = 180;
  } else if (input.Held(Key::Right)) {
    moveDirection = 90;
  } else if (input.Held(Key::Left)) {
    moveDirection = 270;
  } else {
    moving = false;
  }
}

void Player::TurnAndWalk(const PlayerWorld& world) {
  float target = static_cast<float>(moveDirection) + world.cameraYaw;
  if (target > 360.0f) target -= 360.0f;
  if (target < 0.0f) target += 360.0f;
  float right = target - mAngle;
  if (right < 0.0f) right += 360.0f;
  if (right > 360.0f) right -= 360.0f;
  float left = 360.0f - right;
  if (left < 0.0f) left += 360.0f;
  if (left > 360.0f) left -= 360.0f;

  // Ten degrees a frame the short way round; the frame that reaches the
  // target takes the overshoot back and walks.
  bool arrived = false;
  if (left <= right) {
    mRotation = QuaternionMultiply(mRotation, TurnLeft(kTurnStep));
    if (left < kTurnStep) {
      mRotation = QuaternionMultiply(mRotation, TurnRight(kTurnStep - left));
      arrived = true;
    }
  } else {
    mRotation = QuaternionMultiply(mRotation, TurnRight(kTurnStep));
    if (right < kTurnStep) {
      mRotation = QuaternionMultiply(mRotation, TurnLeft(kTurnStep - right));
      arrived = true;
    }
  }

  if (world.debugOut) {
    std::fprintf(world.debugOut, "--------------------------------------------------------\n");
    std::fprintf(world.debugOut, "%s\n", kDirectionNames[(moveDirection / 45) & 7]);
    std::fprintf(world.debugOut, "angle%f, camY%f\n", static_cast<double>(mAngle),
                 static_cast<double>(world.cameraYaw));
    std::fprintf(world.debugOut, "right_ang:%f, left_ang:%f\n", static_cast<double>(right),
                 static_cast<double>(left));
  }

  if (!arrived) return;
  const float R = world.planet.R();
  mRotation = QuaternionMultiply(mRotation, world::ForwardArcRotation(mRotation, kWalkArc, R));
  groundDistance = DistanceToGround(world.planet);
  mHeight += kHover * mSize - groundDistance;
}

void Player::StartBite(const platform::TickInput& input, media::SoundRequests& sounds) {
  if (!input.Held(Key::Space) || biting || chewing || recoiling) return;
  biting = true;
  sounds.PlaySoundOnce(content::sound::kEatHyoi);
  BodyTrack upper(meshes_, kUpperBody);
  upper.Set(kBite);
  upper.SetPosition(0.0);
}

void Player::PushOutOfInsects(const PlayerWorld& world) {
  const float R = world.planet.R();
  for (const auto& insect : world.enemies.enemies) {
    const Vec3 c = Position();
    for (const world::HitSphere& sphere : insect->GetHitSpheres()) {
      const float reach = bodySphere.radius + sphere.radius;
      const float d = Distance(c, sphere.Centre());
      if (d >= reach) continue;
      mRotation = QuaternionMultiply(mRotation, PushAwayRotation(reach - d, R, sphere.Centre()));
      groundDistance = DistanceToGround(world.planet);
      mHeight += kHover * mSize - groundDistance;
    }
  }
}

void Player::PushOutOfObjects(const PlayerWorld& world) {
  const float R = world.planet.R();
  for (const auto& object : world.objects.objects) {
    if (object->mName == "Flower") continue;  // the creature walks through flowers
    const Vec3 c = Position();
    for (const world::HitSphere& sphere : object->GetHitSpheres()) {
      const float reach = bodySphere.radius + sphere.radius;
      const float d = Distance(c, sphere.Centre());
      if (d >= reach) continue;
      mRotation = QuaternionMultiply(mRotation, PushAwayRotation(reach - d, R, sphere.Centre()));
    }
  }
}

Vec3 Player::MouthCentre() const {
  const Matrix m = engine::MatrixScaling(mSize, mSize, mSize) *
                   engine::MatrixTranslation(biteSphere.x, biteSphere.y, biteSphere.z) *
                   PlacementMatrix(mRotation);
  return m.Translation();
}

void Player::TestBite(const PlayerWorld& world) {
  if (!InBiteWindow(UpperBodyPosition())) return;
  const Vec3 mouth = MouthCentre();
  // The first insect whose sphere the mouth touches, in list order; the sum
  // takes the body's radius (the bite sphere's own radius plays no part).
  for (const auto& insect : world.enemies.enemies) {
    for (const world::HitSphere& sphere : insect->GetHitSpheres()) {
      if (Distance(mouth, sphere.Centre()) < bodySphere.radius + sphere.radius) {
        SettleBite(*this, *insect, world.score, world.sounds);
        return;
      }
    }
  }
}

void Player::Hunger() {
  ++hungerCounter;
  if (hungerCounter < hungerInterval) return;
  mSize -= kShrink;
  if (mSize < kSmallestSize) mSize = kSmallestSize;
  hungerInterval -= kHungerSpeedUp;
  if (hungerInterval < kHungerQuickest) hungerInterval = kHungerQuickest;
  hungerCounter = 0;
}

void Player::Glow() {
  if (!glowing) return;
  glowScale += kGlowStep;
  if (glowScale >= kGlowEnd) glowing = false;
}

void Player::Animate(media::SoundRequests& sounds) {
  BodyTrack upper(meshes_, kUpperBody), lower(meshes_, kLowerBody), hands(meshes_, kHands);
  upper.Advance(kPlayerFrameStep);
  lower.Advance(kPlayerFrameStep);
  hands.Advance(kPlayerFrameStep);

  bool idle = true;
  if (biting) {
    upper.Speed(1.0f);
    idle = false;
    if (upper.Position() >= kBiteEnd) {
      biting = false;
      upper.SetPosition(0.0);
      upper.Advance(0.0);
      idle = true;
    }
  } else if (chewing) {
    upper.Speed(4.0f);
    upper.Set(kChew);
    idle = false;
    if (upper.Position() >= kChewEnd) {
      Swallow(*this, sounds);
      chewing = false;
      upper.SetPosition(0.0);
      upper.Set(moving ? kRun : kIdle);
    }
  }
  if (moving) {
    lower.Set(kRun);
    lower.Speed(3.0f);
    hands.Set(kRun);
    hands.Speed(2.0f);
    if (!biting && !chewing) {
      upper.Set(kRun);
      upper.Speed(2.0f);
    }
    idle = false;
  }
  if (recoiling) {
    // The bite plays backwards from the moment of the hit, a frame a frame.
    upper.Speed(2.5f);
    recoilPosition -= kRecoilStep;
    if (recoilPosition < 0.0) {
      recoiling = false;
      recoilPosition = 0.0;
      upper.Set(kIdle);
    }
    upper.SetPosition(recoilPosition);
    upper.Advance(0.0);
  } else if (idle) {
    for (BodyTrack* part : {&lower, &hands, &upper}) {
      part->Set(kIdle);
      part->Speed(1.0f);
    }
  }
}

void SettleBite(Player& player, Enemy& insect, ScoreState& score, media::SoundRequests& sounds) {
  if (JudgeBite(player.mSize, insect, score, sounds) == Bite::Eaten) {
    player.hungerInterval = 50;
    player.hungerCounter = 0;
    player.chewing = true;
    player.lastEaten = insect.mName;
    return;
  }
  // Too big: the bite springs back from where it is.
  player.recoiling = true;
  player.biting = false;
  player.recoilPosition = player.UpperBodyPosition();
}

void Swallow(Player& player, media::SoundRequests& sounds) {
  player.mSize = SizeAfterMeal(player.mSize, player.lastEaten);
  player.glowScale = 1.0f;
  player.glowing = true;
  sounds.PlaySoundOnce(content::sound::kEatGoku);
}

Matrix Player::BodyMatrix(float scale) const {
  const Vec3 at = Position();
  return engine::MatrixScaling(scale, scale, scale) * engine::MatrixRotationY(kHalfTurn) *
         engine::MatrixRotationQuaternion(mRotation) * engine::MatrixTranslation(at.x, at.y, at.z);
}

void Player::Draw(platform::Device& device, media::MeshManager& meshes) {
  DrawBody(device, meshes, BodyMatrix(mSize));
}

void Player::DrawGlow(platform::Device& device, media::MeshManager& meshes) {
  if (!glowing) return;
  device.SetRenderState(platform::RenderState::DestBlend, platform::kBlendOne);
  const Matrix world = BodyMatrix(glowScale - 1.0f + mSize);
  const float alpha = (kGlowEnd - glowScale) * 255.0f;
  DrawBodyAlpha(device, meshes, world, alpha);
  device.SetRenderState(platform::RenderState::DestBlend, platform::kBlendInvSrcAlpha);
}

}  // namespace creatures
