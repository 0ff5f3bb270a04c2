// The creature's body as play, the title and the result show it: three
// models (the upper body, the lower body, the hands) drawn with one world
// matrix, each animated by track 0 of its model's controller, whose clock
// runs at one fifty-ninth of a second an update.
#pragma once

#include <array>

#include "engine/math.h"
#include "media/mesh_manager.h"
#include "media/paths.h"
#include "platform/graphics.h"

namespace creatures {

// The body's animation sets, by index into each part's sets.
enum PlayerAnimation : int { kRun = 0, kBurp = 1, kIdle = 2, kBite = 3, kChew = 4 };

// The body's animation clocks run at one fifty-ninth of a second an update.
inline constexpr double kPlayerFrameStep = 0.016949152573943138;

// The three parts, in drawing order.
enum BodyPart : int { kUpperBody = 0, kLowerBody = 1, kHands = 2 };
inline constexpr std::array<const char*, 3> kBodyParts = {
    content::model::kPlayerUpBody, content::model::kPlayerDownBody, content::model::kPlayerHand};

// Track 0 of one part's controller; every call is a no-op for a part whose
// model is not loaded (its position reads 0).
class BodyTrack {
 public:
  BodyTrack(media::MeshManager& meshes, BodyPart part)
      : model_(meshes.FindAnimatedModel(kBodyParts[part])) {}
  void Set(int set) {
    if (Controller()) Controller()->SetTrackAnimationSet(0, model_->animationSets[set]);
  }
  void Speed(float speed) {
    if (Controller()) Controller()->SetTrackSpeed(0, speed);
  }
  void SetPosition(double seconds) {
    if (Controller()) Controller()->SetTrackPosition(0, seconds);
  }
  double Position() const {
    engine::TrackDesc desc;
    if (Controller()) Controller()->GetTrackDesc(0, &desc);
    return desc.position;
  }
  // Moves the clock on by `seconds` at the track's speed and poses the part
  // (0 poses it where it stands).
  void Advance(double seconds) {
    if (Controller()) Controller()->AdvanceTime(seconds);
  }

 private:
  engine::AnimationController* Controller() const {
    return model_ ? model_->controller.get() : nullptr;
  }
  media::AnimatedModel* model_;
};

// Draws the three parts as their controllers last posed them, with `world`;
// with `alpha` (0 to 255) their skinned parts take that diffuse alpha.
void DrawBody(platform::Device& device, media::MeshManager& meshes, const engine::Matrix& world);
void DrawBodyAlpha(platform::Device& device, media::MeshManager& meshes,
                   const engine::Matrix& world, float alpha);

}  // namespace creatures
